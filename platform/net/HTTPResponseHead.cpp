#include "platform/net/HTTPResponseHead.h"

#include "platform/foundation/AsciiText.h"

#include <algorithm>

namespace platform::net {

namespace {

// Blanks and line ends around a header field.
std::string_view trimWhitespace(std::string_view text) { return platform::ascii::trimmed(text, " \t\r\n"); }

}  // namespace

std::optional<std::int64_t> parseContentLength(std::string_view text) {
    text = trimWhitespace(text);
    if (text.empty() || text.size() > 18) return std::nullopt;
    std::int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

bool HTTPResponseHeadReader::addLine(std::string_view line) {
    if (line.starts_with("HTTP/")) {
        startOver();
        const std::size_t space = line.find(' ');
        if (space != std::string_view::npos && line.size() >= space + 4) {
            int status = 0;
            for (char c : line.substr(space + 1, 3)) status = c >= '0' && c <= '9' ? status * 10 + (c - '0') : -1000;
            mStatusCode = std::max(status, 0);
        }
        return false;
    }
    const std::string_view content = trimWhitespace(line);
    if (content.empty()) return true;
    if (line.front() == ' ' || line.front() == '\t') {
        // An obsolete folded line continues the previous field.
        if (!mFields.empty()) mFields.back().second += " " + std::string(content);
        return false;
    }
    const std::size_t colon = content.find(':');
    if (colon != std::string_view::npos) {
        mFields.emplace_back(std::string(trimWhitespace(content.substr(0, colon))),
                             std::string(trimWhitespace(content.substr(colon + 1))));
    }
    return false;
}

HTTPURLResponse HTTPResponseHeadReader::response(const URL& url) const {
    HTTPURLResponse response;
    response.url = url;
    response.statusCode = mStatusCode;
    for (const auto& [name, value] : mFields) {
        try {
            response.headers.add(name, value);
        } catch (const InvalidHeaderError&) {
            // A field no header may hold (control characters) is left out.
        }
    }
    if (const std::string* length = response.headers.get("Content-Length")) {
        response.expectedContentLength = parseContentLength(*length).value_or(-1);
    }
    return response;
}

void HTTPResponseHeadReader::startOver() {
    mStatusCode = 0;
    mFields.clear();
}

}  // namespace platform::net
