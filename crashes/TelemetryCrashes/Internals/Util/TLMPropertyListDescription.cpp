#include "crashes/TelemetryCrashes/Internals/Util/TLMPropertyListDescription.h"

#include "telemetry/core/Util/TLMKeyedArchiver.h"

#include <cstdint>
#include <map>

namespace {

std::string quoted(const std::string& text) {
    bool plain = !text.empty();
    for (const char c : text) {
        const bool word = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                          std::string_view("_$.:/-").find(c) != std::string_view::npos;
        plain = plain && word;
    }
    if (plain) return text;
    std::string result = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            result += '\\';
            result += c;
        } else if (c == '\n') {
            result += "\\n";
        } else {
            result += c;
        }
    }
    return result + "\"";
}

std::string indentOf(int level) { return std::string(static_cast<std::size_t>(level) * 4, ' '); }

std::string describe(const std::any& value, int level);

std::string describeUserInfo(const platform::Error::UserInfo& userInfo, int level) {
    std::string text = "{\n";
    for (const auto& [key, value] : userInfo) {
        text += indentOf(level + 1) + quoted(key) + " = " + describe(value, level + 1) + ";\n";
    }
    return text + indentOf(level) + "}";
}

template <typename Number>
bool describeNumber(const std::any& value, std::string& text) {
    if (const auto* number = std::any_cast<Number>(&value)) {
        text = std::to_string(*number);
        return true;
    }
    return false;
}

std::string describe(const std::any& value, int level) {
    std::string text;
    if (const auto* string = std::any_cast<std::string>(&value)) return quoted(*string);
    if (const auto* chars = std::any_cast<const char*>(&value)) return quoted(*chars);
    if (const auto* flag = std::any_cast<bool>(&value)) return *flag ? "1" : "0";
    if (describeNumber<int>(value, text) || describeNumber<long>(value, text) ||
        describeNumber<long long>(value, text) || describeNumber<unsigned>(value, text) ||
        describeNumber<unsigned long>(value, text) || describeNumber<unsigned long long>(value, text)) {
        return text;
    }
    if (const auto* real = std::any_cast<double>(&value)) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%.17g", *real);
        return buffer;
    }
    if (const auto* lines = std::any_cast<std::vector<std::string>>(&value)) {
        text = "(\n";
        for (std::size_t i = 0; i < lines->size(); ++i) {
            text += indentOf(level + 1) + quoted((*lines)[i]) + (i + 1 < lines->size() ? ",\n" : "\n");
        }
        return text + indentOf(level) + ")";
    }
    if (const auto* texts = std::any_cast<std::map<std::string, std::string>>(&value)) {
        platform::Error::UserInfo entries(texts->begin(), texts->end());
        return describeUserInfo(entries, level);
    }
    if (const auto* error = std::any_cast<platform::Error>(&value)) {
        text = "Error Domain=" + error->domain() + " Code=" + std::to_string(error->code()) + " \"" +
               error->localizedDescription() + "\"";
        if (!error->userInfo().empty()) text += " UserInfo=" + describeUserInfo(error->userInfo(), level);
        return text;
    }
    return "<" + TLMClassName(value.type()) + ">";
}

}  // namespace

std::string TLMDescriptionOfLines(const std::vector<std::string>& lines) { return describe(std::any(lines), 0); }

std::string TLMDescriptionOfUserInfo(const platform::Error::UserInfo& userInfo) {
    return describeUserInfo(userInfo, 0);
}
