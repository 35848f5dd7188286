#pragma once
// Typed reads of the fields of one JSON object from the sharing service.
// A missing key or a null leaves the destination as it is; a value of
// another type leaves it too and records an error naming the key, which
// the caller must look at before it uses anything read.

#include "platform/foundation/Error.h"
#include "platform/foundation/Value.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

class QLJSONFields {
public:
    using Date = std::chrono::system_clock::time_point;

    // `what` names the object in error texts ("layout", "user summary").
    QLJSONFields(const platform::Value& json, std::string what);

    // Records an error when the value is no object.
    bool requireObject();
    void text(const char* key, std::string& out);
    void texts(const char* key, std::vector<std::string>& out);
    void textMap(const char* key, std::map<std::string, std::string>& out);
    // A whole number of 0 or more (an integral real counts).
    void count(const char* key, std::int64_t& out);
    // An ISO 8601 date and time. A date that reads but lies outside what a
    // Date holds (about 1678 to 2261) leaves the destination as it is, as a
    // missing one does.
    void date(const char* key, std::optional<Date>& out);
    // Records an error for a missing or empty text.
    void requiredText(const char* key, std::string& out);

    // The first error recorded, if any.
    const std::optional<platform::Error>& error() const { return mError; }

private:
    // The value under the key, or nullptr when it is missing or null.
    const platform::Value* field(const char* key) const;
    void fail(const char* key, const char* expected);

    const platform::Value& mJson;
    std::string mWhat;
    std::optional<platform::Error> mError;
};
