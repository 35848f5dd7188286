#include "platform/net/URLRequest.h"

#include "platform/foundation/AsciiText.h"

#include <algorithm>
#include <string>

namespace platform::net {

namespace {

bool isTokenChar(char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

// A printable rendering of a header name or value for error messages:
// control bytes appear as "\xNN" so the message itself stays on one line.
std::string printable(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0F];
        } else {
            out += c;
        }
    }
    return out;
}

void check(std::string_view name, std::string_view value) {
    if (!isValidHeaderName(name)) {
        throw InvalidHeaderError("invalid HTTP header name \"" + printable(name) + "\"");
    }
    if (!isValidHeaderValue(value)) {
        throw InvalidHeaderError("invalid value for HTTP header \"" + std::string(name) +
                                 "\": control characters are not allowed (\"" + printable(value) + "\")");
    }
}

}  // namespace

bool isValidHeaderName(std::string_view name) {
    return !name.empty() && std::all_of(name.begin(), name.end(), isTokenChar);
}

bool isValidHeaderValue(std::string_view value) {
    return std::none_of(value.begin(), value.end(), [](char c) {
        auto byte = static_cast<unsigned char>(c);
        return (byte < 0x20 && byte != '\t') || byte == 0x7F;
    });
}

void HTTPHeaders::set(std::string_view name, std::string_view value) {
    check(name, value);
    for (auto& field : mFields) {
        if (ascii::equalsIgnoringCase(field.first, name)) {
            field.second = std::string(value);
            return;
        }
    }
    mFields.emplace_back(std::string(name), std::string(value));
}

void HTTPHeaders::add(std::string_view name, std::string_view value) {
    check(name, value);
    for (auto& field : mFields) {
        if (ascii::equalsIgnoringCase(field.first, name)) {
            field.second += ',';
            field.second += value;
            return;
        }
    }
    mFields.emplace_back(std::string(name), std::string(value));
}

void HTTPHeaders::remove(std::string_view name) {
    std::erase_if(mFields, [&](const Field& field) { return ascii::equalsIgnoringCase(field.first, name); });
}

const std::string* HTTPHeaders::get(std::string_view name) const {
    for (const auto& field : mFields) {
        if (ascii::equalsIgnoringCase(field.first, name)) return &field.second;
    }
    return nullptr;
}

}  // namespace platform::net
