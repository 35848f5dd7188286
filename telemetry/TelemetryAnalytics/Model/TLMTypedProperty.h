#pragma once
// Event properties that keep their type: a boolean, a date, a double, a
// 64-bit integer or a text, each with its name. An event writes them as its
// "typedProperties" array and archives them with itself.
//
// The name takes no part in equality: two properties of one kind with equal
// values are equal.

#include "telemetry/core/Model/TLMSerializableObject.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class TLMTypedProperty : public TLMSerializableObject {
public:
    TLMTypedProperty() = default;
    explicit TLMTypedProperty(const TLMKeyedUnarchiver& coder);

    // "boolean", "dateTime", "double", "long" or "string"; empty when absent.
    const std::string& type() const { return mType; }
    void setType(std::string type) { mType = std::move(type); }
    const std::string& name() const { return mName; }
    void setName(std::string name) { mName = std::move(name); }

    // "type" and "name" when set; each kind adds "value".
    TLMOrderedDictionary serializeToDictionary() const override;
    // Another typed property with the same type.
    bool isEqual(const TLMCoding& other) const override;
    void encodeWithCoder(TLMKeyedArchiver& coder) const override;

    // A new property of the same kind, name and value; none for the base.
    virtual std::shared_ptr<TLMTypedProperty> copy() const;

private:
    std::string mType;
    std::string mName;
};

// A kind with its value: equal to another of the same kind (or a subclass)
// with an equal value.
template <typename Kind, typename Value>
class TLMTypedPropertyWithValue : public TLMTypedProperty {
public:
    const Value& value() const { return mValue; }
    void setValue(Value value) { mValue = std::move(value); }

    bool isEqual(const TLMCoding& other) const override {
        const auto* property = dynamic_cast<const Kind*>(&other);
        return property != nullptr && TLMTypedProperty::isEqual(other) && mValue == property->mValue;
    }
    std::shared_ptr<TLMTypedProperty> copy() const override {
        auto copy = std::make_shared<Kind>();
        copy->setName(name());
        copy->setValue(mValue);
        return copy;
    }

protected:
    // With the value's default (none for an optional): made in place, as
    // GCC 12 misreads a moved-from empty optional as read uninitialised.
    explicit TLMTypedPropertyWithValue(const char* type) : mValue() { setType(type); }
    TLMTypedPropertyWithValue(const char* type, Value value) : mValue(std::move(value)) { setType(type); }
    TLMTypedPropertyWithValue(const TLMKeyedUnarchiver& coder, Value value)
        : TLMTypedProperty(coder), mValue(std::move(value)) {}

private:
    Value mValue;
};

class TLMBooleanTypedProperty : public TLMTypedPropertyWithValue<TLMBooleanTypedProperty, bool> {
public:
    TLMBooleanTypedProperty() : TLMTypedPropertyWithValue("boolean", false) {}
    explicit TLMBooleanTypedProperty(const TLMKeyedUnarchiver& coder);

    TLMOrderedDictionary serializeToDictionary() const override;
    void encodeWithCoder(TLMKeyedArchiver& coder) const override;
};

// The value is written as ISO 8601 text; none is no "value".
class TLMDateTimeTypedProperty
    : public TLMTypedPropertyWithValue<TLMDateTimeTypedProperty, std::optional<std::chrono::system_clock::time_point>> {
public:
    TLMDateTimeTypedProperty() : TLMTypedPropertyWithValue("dateTime") {}
    explicit TLMDateTimeTypedProperty(const TLMKeyedUnarchiver& coder);

    TLMOrderedDictionary serializeToDictionary() const override;
    void encodeWithCoder(TLMKeyedArchiver& coder) const override;
};

// Numerically equal values, so a NaN equals nothing.
class TLMDoubleTypedProperty : public TLMTypedPropertyWithValue<TLMDoubleTypedProperty, double> {
public:
    TLMDoubleTypedProperty() : TLMTypedPropertyWithValue("double", 0.0) {}
    explicit TLMDoubleTypedProperty(const TLMKeyedUnarchiver& coder);

    TLMOrderedDictionary serializeToDictionary() const override;
    void encodeWithCoder(TLMKeyedArchiver& coder) const override;
};

class TLMLongTypedProperty : public TLMTypedPropertyWithValue<TLMLongTypedProperty, std::int64_t> {
public:
    TLMLongTypedProperty() : TLMTypedPropertyWithValue("long", 0) {}
    explicit TLMLongTypedProperty(const TLMKeyedUnarchiver& coder);

    TLMOrderedDictionary serializeToDictionary() const override;
    void encodeWithCoder(TLMKeyedArchiver& coder) const override;
};

// An empty text is a value; none is its absence (no "value").
class TLMStringTypedProperty : public TLMTypedPropertyWithValue<TLMStringTypedProperty, std::optional<std::string>> {
public:
    TLMStringTypedProperty() : TLMTypedPropertyWithValue("string") {}
    explicit TLMStringTypedProperty(const TLMKeyedUnarchiver& coder);

    TLMOrderedDictionary serializeToDictionary() const override;
    void encodeWithCoder(TLMKeyedArchiver& coder) const override;
};
