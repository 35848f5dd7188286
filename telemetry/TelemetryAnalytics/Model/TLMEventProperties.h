#pragma once
// The typed properties of one event, by name: a later value of a name
// replaces the earlier one. Setters refuse a property without a key or
// value (an empty key is none, as everywhere in the client's records) and a
// double that is not finite, with an error, and leave the container as it
// was. Thread-safe.

#include "telemetry/TelemetryAnalytics/Model/TLMTypedProperty.h"
#include "telemetry/core/Model/TLMSerializableObject.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

class TLMEventProperties : public TLMCoding {
public:
    using Properties = std::map<std::string, std::shared_ptr<TLMTypedProperty>>;
    using Date = std::chrono::system_clock::time_point;

    TLMEventProperties() = default;
    // One string property per entry, unchecked.
    explicit TLMEventProperties(const std::map<std::string, std::string>& strings);
    // The properties archived under "properties"; anything but typed
    // properties there fails the archive.
    explicit TLMEventProperties(const TLMKeyedUnarchiver& coder);

    TLMEventProperties& setString(const std::optional<std::string>& value, const std::string& key);
    TLMEventProperties& setDouble(double value, const std::string& key);
    TLMEventProperties& setInt64(std::int64_t value, const std::string& key);
    TLMEventProperties& setBool(bool value, const std::string& key);
    TLMEventProperties& setDate(const std::optional<Date>& value, const std::string& key);
    // Stores the property under its name as it is (already checked).
    void setProperty(std::shared_ptr<TLMTypedProperty> property);
    void removeProperty(const std::string& key);

    // A snapshot, in name order.
    Properties properties() const;
    bool isEmpty() const;
    std::size_t count() const;
    // Each property's JSON object, in name order.
    TLMJsonValue::Array serializeToArray() const;
    // Every property of `other` into this one; `other`'s win on equal names.
    void mergeEventProperties(const TLMEventProperties& other);

    // Another container whose properties are equal name by name.
    bool isEqual(const TLMCoding& other) const override;
    void encodeWithCoder(TLMKeyedArchiver& coder) const override;

    // True for a non-empty key; otherwise logs "Key cannot be null. Property
    // will not be added." at error level.
    static bool validateKey(const std::string& key);

private:
    template <typename Kind, typename Value>
    TLMEventProperties& store(const std::string& key, Value value);

    mutable std::mutex mMutex;
    Properties mProperties;
};
