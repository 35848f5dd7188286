// Event properties, target tokens, the start string and text helpers.

#include "telemetry/core/Util/TLMUtility.h"

#include "platform/foundation/TextParts.h"
#include "platform/foundation/Value.h"
#include "platform/security/Crypto.h"
#include "telemetry/TLMLogger.h"

#include <unicode/regex.h>

#include <memory>
#include <string_view>
#include <vector>

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

}  // namespace

std::size_t TLMUtility::utf16Length(std::string_view text) {
    std::size_t units = 0;
    for (std::size_t at = 0; at < text.size();) {
        const Character character = characterAt(text, at);
        at += character.bytes;
        units += character.units;
    }
    return units;
}

std::string TLMUtility::utf16Prefix(std::string_view text, std::size_t maxUnits) {
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

namespace {

std::string withoutEvery(std::string text, std::string_view marker) {
    for (auto at = text.find(marker); at != std::string::npos; at = text.find(marker, at))
        text.erase(at, marker.size());
    return text;
}

}  // namespace

std::optional<std::string> TLMUtility::appSecretFrom(const std::string& string) {
    const bool platformParts = string.find("ios=") != std::string::npos;
    for (const auto& part : platform::split(string, ';')) {
        if (part.empty() || part.find("target=") != std::string::npos) continue;
        std::string secret;
        if (platformParts) {
            if (part.find("ios=") != std::string::npos) secret = withoutEvery(part, "ios=");
        } else if (part.find("appsecret=") == std::string::npos && part.find('=') == std::string::npos) {
            secret = part;
        } else {
            secret = withoutEvery(part, "appsecret=");
        }
        if (!secret.empty()) return secret;
    }
    return std::nullopt;
}

std::optional<std::string> TLMUtility::transmissionTargetTokenFrom(const std::string& string) {
    for (const auto& part : platform::split(string, ';')) {
        if (part.find("target=") == std::string::npos) continue;
        std::string token = withoutEvery(part, "target=");
        if (!token.empty()) return token;
    }
    return std::nullopt;
}

std::string TLMUtility::sha256(const std::string& text) {
    const auto digest = platform::security::sha256({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(digest.size() * 2);
    for (const auto byte : digest) {
        hex.push_back(kHex[byte >> 4]);
        hex.push_back(kHex[byte & 0x0F]);
    }
    return hex;
}

std::optional<std::string> TLMUtility::prettyPrintJson(const std::optional<Data>& data) {
    if (!data) return std::nullopt;
    std::string text(data->begin(), data->end());
    const auto value = platform::Value::fromJson(text);
    if (!value) return text;
    // Our writer never escapes "/", so there is no "\\/" to undo; undoing it
    // anyway would break an escaped backslash that precedes a slash.
    return value->toJson(true);
}

std::optional<std::string> TLMUtility::obfuscateString(const std::string& string, const std::string& pattern,
                                                       const std::string& replacement) {
    // ICU's matcher keeps its backtracking off the call stack, so a long
    // answer from a server cannot overflow it.
    UErrorCode status = U_ZERO_ERROR;
    UParseError where{};
    std::unique_ptr<icu::RegexPattern> compiled(
        icu::RegexPattern::compile(icu::UnicodeString::fromUTF8(pattern), UREGEX_CASE_INSENSITIVE, where, status));
    if (U_FAILURE(status)) {
        TLMLogError("Telemetry", "Couldn't create regular expression with pattern\"%s\": %s", pattern.c_str(),
                    u_errorName(status));
        return std::nullopt;
    }
    // The matcher reads the input in place: it must outlive the matcher.
    const icu::UnicodeString input = icu::UnicodeString::fromUTF8(string);
    std::unique_ptr<icu::RegexMatcher> matcher(compiled->matcher(input, status));
    icu::UnicodeString replaced;
    if (U_SUCCESS(status)) replaced = matcher->replaceAll(icu::UnicodeString::fromUTF8(replacement), status);
    if (U_FAILURE(status)) {
        TLMLogError("Telemetry", "Couldn't replace matches of pattern\"%s\": %s", pattern.c_str(), u_errorName(status));
        return std::nullopt;
    }
    std::string text;
    replaced.toUTF8String(text);
    return text;
}
