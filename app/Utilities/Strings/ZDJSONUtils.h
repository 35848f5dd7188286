#pragma once
// JSON and date texts for replies, requests and logs.

#include "platform/foundation/Value.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class ZDJSONUtils {
public:
    // The date in the current locale's short date and short time styles.
    static std::string dateString(platform::Value::Date date);

    // Pretty-printed JSON of an object or array. What JSON cannot hold (a
    // top-level scalar, data, a date, a number that is not finite, text that
    // is not UTF-8, nesting deeper than 512) gives nothing, and the reason
    // goes to standard error as "Got an error: <reason>".
    static std::optional<std::vector<std::uint8_t>> getJsonDataFromDictionary(const platform::Value& object);
};
