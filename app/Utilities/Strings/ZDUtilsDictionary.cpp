#include "app/Utilities/Strings/ZDUtilsDictionary.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace ZDUtils {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

// Leading blanks, then an optional sign; the position of what follows and
// whether the sign was a minus.
std::size_t skipBlanksAndSign(const std::string& text, bool* negative) {
    std::size_t i = 0;
    while (i < text.size() && isBlank(text[i])) ++i;
    *negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) *negative = text[i++] == '-';
    return i;
}

std::int32_t leadingInt32(const std::string& text) {
    bool negative = false;
    std::size_t i = skipBlanksAndSign(text, &negative);
    std::int64_t magnitude = 0;
    const std::int64_t limit = negative ? -static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::min())
                                        : std::numeric_limits<std::int32_t>::max();
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        magnitude = std::min(limit, magnitude * 10 + (text[i] - '0'));
    }
    return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}

bool textIsTrue(const std::string& text) {
    bool negative = false;
    std::size_t i = skipBlanksAndSign(text, &negative);
    while (i < text.size() && text[i] == '0') ++i;
    if (i == text.size()) return false;
    const char c = text[i];
    return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

}  // namespace

const std::string* getValueAsStringForKey(const platform::Value& dictionary, const std::string& key) {
    const platform::Value* value = dictionary.find(key);
    return value ? value->asString() : nullptr;
}

std::optional<platform::Value> getValueAsNumberForKey(const platform::Value& dictionary, const std::string& key) {
    const platform::Value* value = dictionary.find(key);
    if (value == nullptr) return std::nullopt;
    if (value->isNumber()) return *value;
    if (const bool* flag = value->asBool()) return platform::Value(*flag ? 1 : 0);
    if (const std::string* text = value->asString()) return platform::Value(leadingInt32(*text));
    return std::nullopt;
}

bool getValueAsBoolForKey(const platform::Value& dictionary, const std::string& key) {
    const platform::Value* value = dictionary.find(key);
    if (value == nullptr) return false;
    if (const bool* flag = value->asBool()) return *flag;
    if (const std::int64_t* integer = value->asInteger()) return *integer != 0;
    if (const double* real = value->asReal()) return *real != 0.0;
    if (const std::string* text = value->asString()) return textIsTrue(*text);
    return false;
}

const platform::Value::Array* getValueAsArrayForKey(const platform::Value& dictionary, const std::string& key) {
    const platform::Value* value = dictionary.find(key);
    return value ? value->asArray() : nullptr;
}

const platform::Value::Dictionary* getValueAsDictionaryForKey(const platform::Value& dictionary,
                                                              const std::string& key) {
    const platform::Value* value = dictionary.find(key);
    return value ? value->asDictionary() : nullptr;
}

std::optional<platform::Value::Date> getValueAsDateForKey(const platform::Value& dictionary, const std::string& key) {
    const platform::Value* value = dictionary.find(key);
    if (value == nullptr || value->asDate() == nullptr) return std::nullopt;
    return *value->asDate();
}

}  // namespace ZDUtils
