#pragma once
// The JSON of the telemetry client's records: a dictionary that keeps its
// keys in the order they were first set, and the values it holds (JSON's
// kinds, with objects as ordered dictionaries again). Every record writes
// its JSON through it, so the fields of a request body come out in the
// order the record sets them.

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

class TLMJsonValue;

class TLMOrderedDictionary {
public:
    TLMOrderedDictionary() = default;
    // Room for `capacity` keys without growing.
    explicit TLMOrderedDictionary(std::size_t capacity);

    // A new key goes at the end; a key set again keeps its place.
    void setObject(TLMJsonValue value, const std::string& key);
    // The value under the key, or nullptr. A value handed out stays where it
    // is while other keys are set or removed.
    const TLMJsonValue* objectForKey(const std::string& key) const;
    TLMJsonValue* objectForKey(const std::string& key);
    void removeObjectForKey(const std::string& key);
    std::size_t count() const { return mOrder.size(); }
    void removeAllObjects();

    // The keys in first-insertion order; every enumeration walks them.
    const std::vector<std::string>& order() const { return mOrder; }
    const std::vector<std::string>& keyEnumerator() const { return mOrder; }
    const std::map<std::string, TLMJsonValue>& dictionary() const { return mDictionary; }

    // Equal pairs set in the same order.
    bool isEqualToDictionary(const TLMOrderedDictionary& other) const;
    bool operator==(const TLMOrderedDictionary& other) const { return isEqualToDictionary(other); }
    // Equal pairs in any order, nested dictionaries alike: the equality of
    // a plain dictionary, which has no order of its own.
    bool hasEqualPairs(const TLMOrderedDictionary& other) const;

    // The JSON text, keys in order, compact or indented by two spaces; "/"
    // is never escaped. None, with the reason in `error`, when a text is
    // not UTF-8 or a number is not finite: JSON can hold neither.
    std::optional<std::string> jsonText(bool prettyPrint, std::string* error = nullptr) const;

private:
    std::vector<std::string> mOrder;
    std::map<std::string, TLMJsonValue> mDictionary;
};

class TLMJsonValue {
public:
    using Array = std::vector<TLMJsonValue>;
    // Unsigned holds what a signed 64-bit number cannot (processor codes
    // with their top bit set); it is written as JSON's plain digits.
    enum class Kind { Null, Bool, Integer, Real, String, Array, Dictionary, Unsigned };

    TLMJsonValue() = default;
    TLMJsonValue(std::nullptr_t) {}
    TLMJsonValue(bool value) : mStorage(value) {}
    TLMJsonValue(int value) : mStorage(static_cast<std::int64_t>(value)) {}
    TLMJsonValue(std::int64_t value) : mStorage(value) {}
    TLMJsonValue(std::uint64_t value) : mStorage(value) {}
    TLMJsonValue(double value) : mStorage(value) {}
    TLMJsonValue(const char* value) : mStorage(std::string(value)) {}
    TLMJsonValue(std::string value) : mStorage(std::move(value)) {}
    TLMJsonValue(Array value) : mStorage(std::move(value)) {}
    TLMJsonValue(TLMOrderedDictionary value) : mStorage(std::move(value)) {}
    // A list of texts, as JSON's array of strings.
    TLMJsonValue(const std::vector<std::string>& texts) : mStorage(Array(texts.begin(), texts.end())) {}
    // A dictionary of texts, keys in the map's order.
    TLMJsonValue(const std::map<std::string, std::string>& texts);

    Kind kind() const { return static_cast<Kind>(mStorage.index()); }

    const bool* asBool() const { return std::get_if<bool>(&mStorage); }
    const std::int64_t* asInteger() const { return std::get_if<std::int64_t>(&mStorage); }
    const std::uint64_t* asUnsigned() const { return std::get_if<std::uint64_t>(&mStorage); }
    const double* asReal() const { return std::get_if<double>(&mStorage); }
    const std::string* asString() const { return std::get_if<std::string>(&mStorage); }
    const Array* asArray() const { return std::get_if<Array>(&mStorage); }
    const TLMOrderedDictionary* asDictionary() const { return std::get_if<TLMOrderedDictionary>(&mStorage); }
    TLMOrderedDictionary* asDictionary() { return std::get_if<TLMOrderedDictionary>(&mStorage); }

    bool operator==(const TLMJsonValue& other) const = default;

private:
    std::variant<std::monostate, bool, std::int64_t, double, std::string, Array, TLMOrderedDictionary, std::uint64_t>
        mStorage;
};
