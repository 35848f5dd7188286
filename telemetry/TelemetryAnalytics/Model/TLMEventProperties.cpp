#include "telemetry/TelemetryAnalytics/Model/TLMEventProperties.h"

#include "telemetry/TLMLogger.h"

#include <cmath>

TLMEventProperties::TLMEventProperties(const std::map<std::string, std::string>& strings) {
    for (const auto& [key, value] : strings) {
        auto property = std::make_shared<TLMStringTypedProperty>();
        property->setName(key);
        property->setValue(value);
        mProperties.insert_or_assign(key, std::move(property));
    }
}

TLMEventProperties::TLMEventProperties(const TLMKeyedUnarchiver& coder) {
    const TLMArchiveValue* stored = coder.decodeObject("properties");
    if (stored == nullptr || stored->isNull()) return;
    const TLMArchiveValue::Dictionary* entries = stored->asDictionary();
    if (entries == nullptr) throw TLMArchiveError("\"properties\" is no dictionary");
    for (const auto& [name, value] : *entries) {
        const TLMArchiveValue::Object* object = value.asObject();
        auto property = object ? std::dynamic_pointer_cast<TLMTypedProperty>(*object) : nullptr;
        if (!property) throw TLMArchiveError("property \"" + name + "\" is no typed property");
        mProperties.insert_or_assign(name, std::move(property));
    }
}

bool TLMEventProperties::validateKey(const std::string& key) {
    if (!key.empty()) return true;
    TLMLogError(kTLMAnalyticsLogTag, "Key cannot be null. Property will not be added.");
    return false;
}

template <typename Kind, typename Value>
TLMEventProperties& TLMEventProperties::store(const std::string& key, Value value) {
    auto property = std::make_shared<Kind>();
    property->setName(key);
    property->setValue(std::move(value));
    std::lock_guard lock(mMutex);
    mProperties.insert_or_assign(key, std::move(property));
    return *this;
}

TLMEventProperties& TLMEventProperties::setString(const std::optional<std::string>& value, const std::string& key) {
    if (!validateKey(key)) return *this;
    if (!value) {
        TLMLogError(kTLMAnalyticsLogTag, "Value cannot be null. Property will not be added.");
        return *this;
    }
    return store<TLMStringTypedProperty>(key, value);
}

TLMEventProperties& TLMEventProperties::setDouble(double value, const std::string& key) {
    if (!validateKey(key)) return *this;
    if (!std::isfinite(value)) {
        TLMLogError(kTLMAnalyticsLogTag, "Double value for property '%s' must be finite (cannot be INFINITY or NAN).",
                    key.c_str());
        return *this;
    }
    return store<TLMDoubleTypedProperty>(key, value);
}

TLMEventProperties& TLMEventProperties::setInt64(std::int64_t value, const std::string& key) {
    if (!validateKey(key)) return *this;
    return store<TLMLongTypedProperty>(key, value);
}

TLMEventProperties& TLMEventProperties::setBool(bool value, const std::string& key) {
    if (!validateKey(key)) return *this;
    return store<TLMBooleanTypedProperty>(key, value);
}

TLMEventProperties& TLMEventProperties::setDate(const std::optional<Date>& value, const std::string& key) {
    if (!validateKey(key)) return *this;
    if (!value) {
        TLMLogError(kTLMAnalyticsLogTag, "Value cannot be null. Property will not be added.");
        return *this;
    }
    return store<TLMDateTimeTypedProperty>(key, value);
}

void TLMEventProperties::setProperty(std::shared_ptr<TLMTypedProperty> property) {
    if (!property) return;
    std::lock_guard lock(mMutex);
    const std::string name = property->name();
    mProperties.insert_or_assign(name, std::move(property));
}

void TLMEventProperties::removeProperty(const std::string& key) {
    std::lock_guard lock(mMutex);
    mProperties.erase(key);
}

TLMEventProperties::Properties TLMEventProperties::properties() const {
    std::lock_guard lock(mMutex);
    return mProperties;
}

bool TLMEventProperties::isEmpty() const {
    std::lock_guard lock(mMutex);
    return mProperties.empty();
}

std::size_t TLMEventProperties::count() const {
    std::lock_guard lock(mMutex);
    return mProperties.size();
}

TLMJsonValue::Array TLMEventProperties::serializeToArray() const {
    std::lock_guard lock(mMutex);
    TLMJsonValue::Array array;
    array.reserve(mProperties.size());
    for (const auto& entry : mProperties) array.emplace_back(entry.second->serializeToDictionary());
    return array;
}

void TLMEventProperties::mergeEventProperties(const TLMEventProperties& other) {
    if (&other == this) return;
    // One lock at a time: two containers merged into each other at once
    // must not wait for each other.
    const Properties incoming = other.properties();
    std::lock_guard lock(mMutex);
    for (const auto& [name, property] : incoming) mProperties.insert_or_assign(name, property);
}

bool TLMEventProperties::isEqual(const TLMCoding& other) const {
    const auto* container = dynamic_cast<const TLMEventProperties*>(&other);
    if (container == nullptr) return false;
    const Properties mine = properties();
    const Properties theirs = container->properties();
    if (mine.size() != theirs.size()) return false;
    for (const auto& [name, property] : mine) {
        const auto found = theirs.find(name);
        if (found == theirs.end() || !property->isEqual(*found->second)) return false;
    }
    return true;
}

void TLMEventProperties::encodeWithCoder(TLMKeyedArchiver& coder) const {
    TLMArchiveValue::Dictionary entries;
    for (const auto& [name, property] : properties()) entries.emplace(name, TLMArchiveValue(property));
    coder.encodeObject(TLMArchiveValue(std::move(entries)), "properties");
}
