#pragma once
// Event properties that keep their type: a boolean, a date, a double, a
// 64-bit integer or a text, each with its name. An event writes them as its
// "typedProperties" array and archives them with itself.
//
// The name takes no part in equality: two properties of one kind with equal
// values are equal.

#include "telemetry/Internals/Model/TLMSerializableObject.h"

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

    // A new property of the same kind, name and value.
    virtual std::shared_ptr<TLMTypedProperty> copy() const;

private:
    std::string mType;
    std::string mName;
};

class TLMBooleanTypedProperty : public TLMTypedProperty {
public:
    TLMBooleanTypedProperty() { setType("boolean"); }
    explicit TLMBooleanTypedProperty(const TLMKeyedUnarchiver& coder);

    bool value() const { return mValue; }
    void setValue(bool value) { mValue = value; }

    TLMOrderedDictionary serializeToDictionary() const override;
    bool isEqual(const TLMCoding& other) const override;
    void encodeWithCoder(TLMKeyedArchiver& coder) const override;
    std::shared_ptr<TLMTypedProperty> copy() const override;

private:
    bool mValue = false;
};

class TLMDateTimeTypedProperty : public TLMTypedProperty {
public:
    using Date = std::chrono::system_clock::time_point;

    TLMDateTimeTypedProperty() { setType("dateTime"); }
    explicit TLMDateTimeTypedProperty(const TLMKeyedUnarchiver& coder);

    const std::optional<Date>& value() const { return mValue; }
    void setValue(std::optional<Date> value) { mValue = value; }

    // "value" as ISO 8601 text when set.
    TLMOrderedDictionary serializeToDictionary() const override;
    bool isEqual(const TLMCoding& other) const override;
    void encodeWithCoder(TLMKeyedArchiver& coder) const override;
    std::shared_ptr<TLMTypedProperty> copy() const override;

private:
    std::optional<Date> mValue;
};

class TLMDoubleTypedProperty : public TLMTypedProperty {
public:
    TLMDoubleTypedProperty() { setType("double"); }
    explicit TLMDoubleTypedProperty(const TLMKeyedUnarchiver& coder);

    double value() const { return mValue; }
    void setValue(double value) { mValue = value; }

    TLMOrderedDictionary serializeToDictionary() const override;
    // Numerically equal values, so a NaN equals nothing.
    bool isEqual(const TLMCoding& other) const override;
    void encodeWithCoder(TLMKeyedArchiver& coder) const override;
    std::shared_ptr<TLMTypedProperty> copy() const override;

private:
    double mValue = 0;
};

class TLMLongTypedProperty : public TLMTypedProperty {
public:
    TLMLongTypedProperty() { setType("long"); }
    explicit TLMLongTypedProperty(const TLMKeyedUnarchiver& coder);

    std::int64_t value() const { return mValue; }
    void setValue(std::int64_t value) { mValue = value; }

    TLMOrderedDictionary serializeToDictionary() const override;
    bool isEqual(const TLMCoding& other) const override;
    void encodeWithCoder(TLMKeyedArchiver& coder) const override;
    std::shared_ptr<TLMTypedProperty> copy() const override;

private:
    std::int64_t mValue = 0;
};

class TLMStringTypedProperty : public TLMTypedProperty {
public:
    TLMStringTypedProperty() { setType("string"); }
    explicit TLMStringTypedProperty(const TLMKeyedUnarchiver& coder);

    // An empty text is a value; none is its absence.
    const std::optional<std::string>& value() const { return mValue; }
    void setValue(std::optional<std::string> value) { mValue = std::move(value); }

    TLMOrderedDictionary serializeToDictionary() const override;
    bool isEqual(const TLMCoding& other) const override;
    void encodeWithCoder(TLMKeyedArchiver& coder) const override;
    std::shared_ptr<TLMTypedProperty> copy() const override;

private:
    std::optional<std::string> mValue;
};
