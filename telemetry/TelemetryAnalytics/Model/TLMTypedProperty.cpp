#include "telemetry/TelemetryAnalytics/Model/TLMTypedProperty.h"

#include "telemetry/core/Util/TLMUtility.h"

TLMTypedProperty::TLMTypedProperty(const TLMKeyedUnarchiver& coder)
    : mType(coder.decodeString("type")), mName(coder.decodeString("name")) {}

TLMOrderedDictionary TLMTypedProperty::serializeToDictionary() const {
    TLMOrderedDictionary dictionary(3);
    setText(dictionary, mType, "type");
    setText(dictionary, mName, "name");
    return dictionary;
}

bool TLMTypedProperty::isEqual(const TLMCoding& other) const {
    const auto* property = dynamic_cast<const TLMTypedProperty*>(&other);
    return property != nullptr && mType == property->mType;
}

void TLMTypedProperty::encodeWithCoder(TLMKeyedArchiver& coder) const {
    coder.encodeString(mType, "type");
    coder.encodeString(mName, "name");
}

std::shared_ptr<TLMTypedProperty> TLMTypedProperty::copy() const { return nullptr; }

TLMBooleanTypedProperty::TLMBooleanTypedProperty(const TLMKeyedUnarchiver& coder)
    : TLMTypedPropertyWithValue(coder, coder.decodeBool("value").value_or(false)) {}

TLMOrderedDictionary TLMBooleanTypedProperty::serializeToDictionary() const {
    TLMOrderedDictionary dictionary = TLMTypedProperty::serializeToDictionary();
    dictionary.setObject(value(), "value");
    return dictionary;
}

void TLMBooleanTypedProperty::encodeWithCoder(TLMKeyedArchiver& coder) const {
    TLMTypedProperty::encodeWithCoder(coder);
    coder.encodeBool(value(), "value");
}

TLMDateTimeTypedProperty::TLMDateTimeTypedProperty(const TLMKeyedUnarchiver& coder)
    : TLMTypedPropertyWithValue(coder, coder.decodeDate("value")) {}

TLMOrderedDictionary TLMDateTimeTypedProperty::serializeToDictionary() const {
    TLMOrderedDictionary dictionary = TLMTypedProperty::serializeToDictionary();
    if (value()) dictionary.setObject(TLMUtility::dateToISO8601(*value()), "value");
    return dictionary;
}

void TLMDateTimeTypedProperty::encodeWithCoder(TLMKeyedArchiver& coder) const {
    TLMTypedProperty::encodeWithCoder(coder);
    coder.encodeDate(value(), "value");
}

TLMDoubleTypedProperty::TLMDoubleTypedProperty(const TLMKeyedUnarchiver& coder)
    : TLMTypedPropertyWithValue(coder, coder.decodeDouble("value").value_or(0)) {}

TLMOrderedDictionary TLMDoubleTypedProperty::serializeToDictionary() const {
    TLMOrderedDictionary dictionary = TLMTypedProperty::serializeToDictionary();
    dictionary.setObject(value(), "value");
    return dictionary;
}

void TLMDoubleTypedProperty::encodeWithCoder(TLMKeyedArchiver& coder) const {
    TLMTypedProperty::encodeWithCoder(coder);
    coder.encodeDouble(value(), "value");
}

TLMLongTypedProperty::TLMLongTypedProperty(const TLMKeyedUnarchiver& coder)
    : TLMTypedPropertyWithValue(coder, coder.decodeInteger("value").value_or(0)) {}

TLMOrderedDictionary TLMLongTypedProperty::serializeToDictionary() const {
    TLMOrderedDictionary dictionary = TLMTypedProperty::serializeToDictionary();
    dictionary.setObject(value(), "value");
    return dictionary;
}

void TLMLongTypedProperty::encodeWithCoder(TLMKeyedArchiver& coder) const {
    TLMTypedProperty::encodeWithCoder(coder);
    coder.encodeInteger(value(), "value");
}

TLMStringTypedProperty::TLMStringTypedProperty(const TLMKeyedUnarchiver& coder)
    : TLMTypedPropertyWithValue(coder, coder.decodeOptionalString("value")) {}

TLMOrderedDictionary TLMStringTypedProperty::serializeToDictionary() const {
    TLMOrderedDictionary dictionary = TLMTypedProperty::serializeToDictionary();
    if (value()) dictionary.setObject(*value(), "value");
    return dictionary;
}

void TLMStringTypedProperty::encodeWithCoder(TLMKeyedArchiver& coder) const {
    TLMTypedProperty::encodeWithCoder(coder);
    coder.encodeOptionalString(value(), "value");
}
