#include "SharingModule/Model/QLJSONFields.h"

#include "SharingModule/Model/QLSharingErrors.h"
#include "platform/foundation/DateFormatterISO8601.h"

#include <cmath>

QLJSONFields::QLJSONFields(const platform::Value& json, std::string what) : mJson(json), mWhat(std::move(what)) {}

bool QLJSONFields::requireObject() {
    if (mJson.isDictionary()) return true;
    if (!mError) {
        mError = QLMakeSharingError(QLSharingErrorCode::InvalidReply, "The service's " + mWhat + " is not an object.");
    }
    return false;
}

const platform::Value* QLJSONFields::field(const char* key) const {
    const platform::Value* value = mJson.find(key);
    return value == nullptr || value->isNull() ? nullptr : value;
}

void QLJSONFields::fail(const char* key, const char* expected) {
    if (mError) return;
    mError = QLMakeSharingError(QLSharingErrorCode::InvalidReply,
                                "The service's " + mWhat + " holds no " + expected + " under \"" + key + "\".");
}

void QLJSONFields::text(const char* key, std::string& out) {
    const platform::Value* value = field(key);
    if (value == nullptr) return;
    if (const std::string* text = value->asString()) {
        out = *text;
    } else {
        fail(key, "text");
    }
}

void QLJSONFields::requiredText(const char* key, std::string& out) {
    std::string read;
    text(key, read);
    if (read.empty()) {
        fail(key, "text");
        return;
    }
    out = std::move(read);
}

void QLJSONFields::texts(const char* key, std::vector<std::string>& out) {
    const platform::Value* value = field(key);
    if (value == nullptr) return;
    const auto* array = value->asArray();
    std::vector<std::string> read;
    for (std::size_t i = 0; array != nullptr && i < array->size(); ++i) {
        const std::string* text = (*array)[i].asString();
        if (text == nullptr) break;
        read.push_back(*text);
    }
    if (array == nullptr || read.size() != array->size()) {
        fail(key, "list of texts");
        return;
    }
    out = std::move(read);
}

void QLJSONFields::textMap(const char* key, std::map<std::string, std::string>& out) {
    const platform::Value* value = field(key);
    if (value == nullptr) return;
    const auto* dictionary = value->asDictionary();
    std::map<std::string, std::string> read;
    for (auto it = dictionary ? dictionary->begin() : platform::Value::Dictionary::const_iterator{};
         dictionary != nullptr && it != dictionary->end(); ++it) {
        const std::string* text = it->second.asString();
        if (text == nullptr) break;
        read.emplace(it->first, *text);
    }
    if (dictionary == nullptr || read.size() != dictionary->size()) {
        fail(key, "object of texts");
        return;
    }
    out = std::move(read);
}

void QLJSONFields::count(const char* key, std::int64_t& out) {
    const platform::Value* value = field(key);
    if (value == nullptr) return;
    const std::optional<std::int64_t> whole = value->numberAsInteger();
    const auto real = value->asReal();
    if (!whole || *whole < 0 || (real != nullptr && *real != std::trunc(*real))) {
        fail(key, "whole number");
        return;
    }
    out = *whole;
}

void QLJSONFields::date(const char* key, std::optional<Date>& out) {
    const platform::Value* value = field(key);
    if (value == nullptr) return;
    if (const std::string* text = value->asString()) {
        platform::DateFormatterISO8601 formatter;
        formatter.setDefaultTimeZone(platform::TimeZone::utc());
        platform::Range range;
        // The whole text must be the date.
        if (formatter.dateComponentsFromString(*text, nullptr, &range) &&
            range.location + range.length == text->size()) {
            // A date that reads but lies where no Date reaches (9999 for
            // "never", year 1 for "always") is left out, not taken for a
            // broken reply.
            if (auto read = formatter.dateFromString(*text)) out = read;
            return;
        }
    }
    fail(key, "ISO 8601 date");
}
