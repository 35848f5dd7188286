#include "app/Utilities/Strings/ZDJSONUtils.h"

#include "app/Utilities/System/LocalDates.h"
#include "platform/foundation/Locale.h"
#include "platform/foundation/TextEncoding.h"

#include <cmath>
#include <cstdio>

namespace {

constexpr int kMaxDepth = 512;

// Why `value` cannot be written as JSON; empty when it can.
std::string unwritable(const platform::Value& value, int depth) {
    if (depth > kMaxDepth) return "JSON nested deeper than 512 levels";
    switch (value.type()) {
        case platform::Value::Type::Null:
        case platform::Value::Type::Bool:
        case platform::Value::Type::Integer: return {};
        case platform::Value::Type::Real: return std::isfinite(*value.asReal()) ? "" : "a number that is not finite";
        case platform::Value::Type::String:
            return platform::isValidUtf8(*value.asString()) ? "" : "a text that is not UTF-8";
        case platform::Value::Type::Data: return "data cannot be written as JSON";
        case platform::Value::Type::Date: return "a date cannot be written as JSON";
        case platform::Value::Type::Array:
            for (const platform::Value& item : *value.asArray()) {
                if (std::string why = unwritable(item, depth + 1); !why.empty()) return why;
            }
            return {};
        case platform::Value::Type::Dictionary:
            for (const auto& [key, item] : *value.asDictionary()) {
                if (!platform::isValidUtf8(key)) return "a key that is not UTF-8";
                if (std::string why = unwritable(item, depth + 1); !why.empty()) return why;
            }
            return {};
    }
    return "a value of unknown type";
}

}  // namespace

std::string ZDJSONUtils::dateString(platform::Value::Date date) {
    return VKMLocalDates::shortDateTime(date, platform::Locale::current().identifier());
}

std::optional<std::vector<std::uint8_t>> ZDJSONUtils::getJsonDataFromDictionary(const platform::Value& object) {
    std::string why;
    if (!object.isArray() && !object.isDictionary()) {
        why = "the top level of JSON must be an object or an array";
    } else {
        why = unwritable(object, 1);
    }
    if (!why.empty()) {
        std::fprintf(stderr, "Got an error: %s\n", why.c_str());
        return std::nullopt;
    }
    const std::string text = object.toJson(true);
    return std::vector<std::uint8_t>(text.begin(), text.end());
}
