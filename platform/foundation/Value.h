#pragma once
// A property-list value: null, bool, integer, real, string, data, date,
// array or dictionary. The common currency of JSON replies, defaults,
// notification user info and bundle info values.

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace platform {

class Value {
public:
    using Array = std::vector<Value>;
    using Dictionary = std::map<std::string, Value>;
    using Data = std::vector<std::uint8_t>;
    using Date = std::chrono::system_clock::time_point;

    enum class Type { Null, Bool, Integer, Real, String, Data, Date, Array, Dictionary };

    Value() = default;
    Value(std::nullptr_t) {}
    Value(bool b) : mStorage(b) {}
    Value(int i) : mStorage(static_cast<std::int64_t>(i)) {}
    Value(std::int64_t i) : mStorage(i) {}
    Value(double d) : mStorage(d) {}
    Value(const char* s) : mStorage(std::string(s)) {}
    Value(std::string s) : mStorage(std::move(s)) {}
    Value(Data d) : mStorage(std::move(d)) {}
    Value(Date d) : mStorage(d) {}
    Value(Array a) : mStorage(std::move(a)) {}
    Value(Dictionary d) : mStorage(std::move(d)) {}

    Type type() const { return static_cast<Type>(mStorage.index()); }
    bool isNull() const { return type() == Type::Null; }
    bool isBool() const { return type() == Type::Bool; }
    bool isInteger() const { return type() == Type::Integer; }
    bool isReal() const { return type() == Type::Real; }
    bool isNumber() const { return isInteger() || isReal(); }
    bool isString() const { return type() == Type::String; }
    bool isArray() const { return type() == Type::Array; }
    bool isDictionary() const { return type() == Type::Dictionary; }

    // Typed access; nullptr when the value holds another type.
    const bool* asBool() const { return std::get_if<bool>(&mStorage); }
    const std::int64_t* asInteger() const { return std::get_if<std::int64_t>(&mStorage); }
    const double* asReal() const { return std::get_if<double>(&mStorage); }
    const std::string* asString() const { return std::get_if<std::string>(&mStorage); }
    const Data* asData() const { return std::get_if<Data>(&mStorage); }
    const Date* asDate() const { return std::get_if<Date>(&mStorage); }
    const Array* asArray() const { return std::get_if<Array>(&mStorage); }
    const Dictionary* asDictionary() const { return std::get_if<Dictionary>(&mStorage); }
    Array* asArray() { return std::get_if<Array>(&mStorage); }
    Dictionary* asDictionary() { return std::get_if<Dictionary>(&mStorage); }

    // A number of either kind as double / int64 (reals truncate toward zero);
    // nullopt for any other type.
    std::optional<double> numberAsDouble() const;
    std::optional<std::int64_t> numberAsInteger() const;

    // Dictionary member or nullptr (also when this is no dictionary).
    const Value* find(const std::string& key) const;

    bool operator==(const Value& other) const = default;

    // JSON text. Data becomes base64 text, a date ISO 8601 text in UTC.
    std::string toJson(bool pretty = false) const;
    // Parses JSON; nullopt (and `error` filled when given) on malformed text.
    static std::optional<Value> fromJson(const std::string& text, std::string* error = nullptr);

    // The stored file form: JSON that keeps every type (data and dates are
    // tagged), so a value read back equals the one written.
    std::string toStoredForm() const;
    static std::optional<Value> fromStoredForm(const std::string& text);

private:
    std::variant<std::monostate, bool, std::int64_t, double, std::string, Data, Date, Array, Dictionary> mStorage;
};

}  // namespace platform
