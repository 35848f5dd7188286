#include "SharingModule/Model/QLServiceReplies.h"

#include "SharingModule/Model/QLJSONFields.h"
#include "SharingModule/Model/QLSharingErrors.h"

#include <algorithm>
#include <string_view>

namespace {

bool isHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// A signature's query text: "key=value" pairs joined by "&", each with a
// key, in printable ASCII without blanks, "?" or "#", every "%" starting an
// escape of two hexadecimal digits; one pair is a non-empty "sig", or the
// token signs nothing.
bool isWellFormedToken(std::string_view token) {
    if (token.empty()) return false;
    for (std::size_t i = 0; i < token.size(); ++i) {
        const char c = token[i];
        if (c <= ' ' || c > '~' || c == '?' || c == '#') return false;
        if (c == '%' && (i + 2 >= token.size() || !isHexDigit(token[i + 1]) || !isHexDigit(token[i + 2]))) {
            return false;
        }
    }
    bool signature = false;
    std::size_t start = 0;
    while (start <= token.size()) {
        const std::size_t end = std::min(token.find('&', start), token.size());
        const std::string_view pair = token.substr(start, end - start);
        const std::size_t equals = pair.find('=');
        if (equals == std::string_view::npos || equals == 0) return false;
        if (pair.substr(0, equals) == "sig" && equals + 1 < pair.size()) signature = true;
        start = end + 1;
    }
    return signature;
}

}  // namespace

std::optional<platform::Error> QLCheckUserSummary(const platform::Value& summary) {
    QLJSONFields fields(summary, "user summary");
    std::string ignored;
    if (fields.requireObject()) {
        fields.text("userName", ignored);
        fields.text("profileImage512", ignored);
    }
    return fields.error();
}

std::optional<QLStorageSignature> QLStorageSignature::signatureWithJSON(const platform::Value& json,
                                                                        const std::string& name,
                                                                        std::optional<platform::Error>& error) {
    QLJSONFields fields(json, "storage signature");
    std::string address;
    std::string token;
    std::optional<std::chrono::system_clock::time_point> expiresOn;
    if (fields.requireObject()) {
        fields.requiredText("containerUrl", address);
        fields.requiredText("sasToken", token);
        fields.date("expiresOn", expiresOn);
    }
    if (fields.error()) {
        error = fields.error();
        return std::nullopt;
    }
    auto url = platform::net::URL::parse(address);
    const bool valid = url && (url->scheme() == "https" || url->scheme() == "http") && !url->query() &&
                       !url->fragment() && !url->pathComponents().empty() && url->pathComponents().back() == name;
    if (!valid) {
        error = QLMakeSharingError(QLSharingErrorCode::InvalidReply,
                                   "The service's storage address is not the container \"" + name + "\".");
        return std::nullopt;
    }
    // The query text may come with its "?"; one is dropped, and what is left
    // must sign requests, or they would go out unsigned.
    if (token.front() == '?') token.erase(0, 1);
    if (!isWellFormedToken(token)) {
        error = QLMakeSharingError(QLSharingErrorCode::InvalidReply,
                                   "The service's storage signature for \"" + name + "\" is no signature.");
        return std::nullopt;
    }
    return QLStorageSignature{*url, std::move(token), expiresOn};
}
