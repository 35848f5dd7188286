// Event properties and target tokens.

#include "telemetry/Internals/Util/TLMUtility.h"

#include "telemetry/TLMLogger.h"

#include <string_view>

namespace {

constexpr std::size_t kMaxProperties = 20;
constexpr std::size_t kMaxPropertyLength = 125;

// One character of UTF-8 text: its bytes and its UTF-16 code units. A byte
// that starts no well-formed character counts as one unit on its own.
struct Character {
    std::size_t bytes;
    std::size_t units;
};

Character characterAt(std::string_view text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t length = 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
    }
    if (at + length > text.size()) return {1, 1};
    for (std::size_t i = 1; i < length; ++i) {
        if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) return {1, 1};
    }
    // Characters beyond the basic plane are a surrogate pair in UTF-16.
    return {length, length == 4 ? 2u : 1u};
}

std::size_t utf16Length(std::string_view text) {
    std::size_t units = 0;
    for (std::size_t at = 0; at < text.size();) {
        const Character character = characterAt(text, at);
        at += character.bytes;
        units += character.units;
    }
    return units;
}

// At most `maxUnits` UTF-16 units of the text, ending between characters:
// a pair that would be cut in half is left out whole.
std::string utf16Prefix(std::string_view text, std::size_t maxUnits) {
    std::size_t units = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        const Character character = characterAt(text, at);
        if (units + character.units > maxUnits) break;
        at += character.bytes;
        units += character.units;
    }
    return std::string(text.substr(0, at));
}

}  // namespace

std::map<std::string, std::string> TLMUtility::validateProperties(const std::map<std::string, std::string>& properties,
                                                                  const std::string& logName,
                                                                  const std::string& logType) {
    std::map<std::string, std::string> valid;
    for (const auto& [givenKey, givenValue] : properties) {
        if (valid.size() >= kMaxProperties) {
            TLMLogWarning("Telemetry",
                          "%s '%s' : properties cannot contain more than %d items. Skipping other properties.",
                          logType.c_str(), logName.c_str(), static_cast<int>(kMaxProperties));
            break;
        }
        if (givenKey.empty()) {
            TLMLogWarning("Telemetry", "%s '%s' : a property key cannot be null or empty. Property will be skipped.",
                          logType.c_str(), logName.c_str());
            continue;
        }
        std::string key = givenKey;
        if (utf16Length(key) > kMaxPropertyLength) {
            TLMLogWarning("Telemetry",
                          "%s '%s' : property %s : property key length cannot be longer than %d characters. "
                          "Property key will be truncated.",
                          logType.c_str(), logName.c_str(), key.c_str(), static_cast<int>(kMaxPropertyLength));
            key = utf16Prefix(key, kMaxPropertyLength);
        }
        std::string value = givenValue;
        if (utf16Length(value) > kMaxPropertyLength) {
            TLMLogWarning("Telemetry",
                          "%s '%s' : property '%s' : property value cannot be longer than %d characters. "
                          "Property value will be truncated.",
                          logType.c_str(), logName.c_str(), key.c_str(), static_cast<int>(kMaxPropertyLength));
            value = utf16Prefix(value, kMaxPropertyLength);
        }
        valid.insert_or_assign(std::move(key), std::move(value));
    }
    return valid;
}

std::optional<std::string> TLMUtility::targetKeyFromTargetToken(const std::string& token) {
    std::string key = token.substr(0, token.find('-'));
    if (key.empty()) return std::nullopt;
    return key;
}

std::optional<std::string> TLMUtility::iKeyFromTargetToken(const std::string& token) {
    const auto key = targetKeyFromTargetToken(token);
    if (!key) return std::nullopt;
    return "o:" + *key;
}
