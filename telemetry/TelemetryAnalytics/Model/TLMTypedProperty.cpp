#include "telemetry/TelemetryAnalytics/Model/TLMTypedProperty.h"

#include "telemetry/Internals/Util/TLMUtility.h"

namespace {

// The property of the same kind made with the value of `from`.
template <typename Kind>
std::shared_ptr<TLMTypedProperty> copyOf(const Kind& from) {
    auto copy = std::make_shared<Kind>();
    copy->setName(from.name());
    copy->setValue(from.value());
    return copy;
}

// `other` as the kind of `self` (or a subclass) with equal base fields, or
// nullptr.
template <typename Kind>
const Kind* sameKind(const Kind& self, const TLMCoding& other) {
    const auto* property = dynamic_cast<const Kind*>(&other);
    return property != nullptr && self.TLMTypedProperty::isEqual(other) ? property : nullptr;
}

}  // namespace

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

// ---- boolean

TLMBooleanTypedProperty::TLMBooleanTypedProperty(const TLMKeyedUnarchiver& coder)
    : TLMTypedProperty(coder), mValue(coder.decodeBool("value").value_or(false)) {}

TLMOrderedDictionary TLMBooleanTypedProperty::serializeToDictionary() const {
    TLMOrderedDictionary dictionary = TLMTypedProperty::serializeToDictionary();
    dictionary.setObject(mValue, "value");
    return dictionary;
}

bool TLMBooleanTypedProperty::isEqual(const TLMCoding& other) const {
    const auto* property = sameKind(*this, other);
    return property != nullptr && mValue == property->mValue;
}

void TLMBooleanTypedProperty::encodeWithCoder(TLMKeyedArchiver& coder) const {
    TLMTypedProperty::encodeWithCoder(coder);
    coder.encodeBool(mValue, "value");
}

std::shared_ptr<TLMTypedProperty> TLMBooleanTypedProperty::copy() const { return copyOf(*this); }

// ---- date and time

TLMDateTimeTypedProperty::TLMDateTimeTypedProperty(const TLMKeyedUnarchiver& coder)
    : TLMTypedProperty(coder), mValue(coder.decodeDate("value")) {}

TLMOrderedDictionary TLMDateTimeTypedProperty::serializeToDictionary() const {
    TLMOrderedDictionary dictionary = TLMTypedProperty::serializeToDictionary();
    if (mValue) dictionary.setObject(TLMUtility::dateToISO8601(*mValue), "value");
    return dictionary;
}

bool TLMDateTimeTypedProperty::isEqual(const TLMCoding& other) const {
    const auto* property = sameKind(*this, other);
    return property != nullptr && mValue == property->mValue;
}

void TLMDateTimeTypedProperty::encodeWithCoder(TLMKeyedArchiver& coder) const {
    TLMTypedProperty::encodeWithCoder(coder);
    coder.encodeDate(mValue, "value");
}

std::shared_ptr<TLMTypedProperty> TLMDateTimeTypedProperty::copy() const { return copyOf(*this); }

// ---- double

TLMDoubleTypedProperty::TLMDoubleTypedProperty(const TLMKeyedUnarchiver& coder)
    : TLMTypedProperty(coder), mValue(coder.decodeDouble("value").value_or(0)) {}

TLMOrderedDictionary TLMDoubleTypedProperty::serializeToDictionary() const {
    TLMOrderedDictionary dictionary = TLMTypedProperty::serializeToDictionary();
    dictionary.setObject(mValue, "value");
    return dictionary;
}

bool TLMDoubleTypedProperty::isEqual(const TLMCoding& other) const {
    const auto* property = sameKind(*this, other);
    return property != nullptr && mValue == property->mValue;
}

void TLMDoubleTypedProperty::encodeWithCoder(TLMKeyedArchiver& coder) const {
    TLMTypedProperty::encodeWithCoder(coder);
    coder.encodeDouble(mValue, "value");
}

std::shared_ptr<TLMTypedProperty> TLMDoubleTypedProperty::copy() const { return copyOf(*this); }

// ---- long

TLMLongTypedProperty::TLMLongTypedProperty(const TLMKeyedUnarchiver& coder)
    : TLMTypedProperty(coder), mValue(coder.decodeInteger("value").value_or(0)) {}

TLMOrderedDictionary TLMLongTypedProperty::serializeToDictionary() const {
    TLMOrderedDictionary dictionary = TLMTypedProperty::serializeToDictionary();
    dictionary.setObject(mValue, "value");
    return dictionary;
}

bool TLMLongTypedProperty::isEqual(const TLMCoding& other) const {
    const auto* property = sameKind(*this, other);
    return property != nullptr && mValue == property->mValue;
}

void TLMLongTypedProperty::encodeWithCoder(TLMKeyedArchiver& coder) const {
    TLMTypedProperty::encodeWithCoder(coder);
    coder.encodeInteger(mValue, "value");
}

std::shared_ptr<TLMTypedProperty> TLMLongTypedProperty::copy() const { return copyOf(*this); }

// ---- string

TLMStringTypedProperty::TLMStringTypedProperty(const TLMKeyedUnarchiver& coder)
    : TLMTypedProperty(coder), mValue(coder.decodeOptionalString("value")) {}

TLMOrderedDictionary TLMStringTypedProperty::serializeToDictionary() const {
    TLMOrderedDictionary dictionary = TLMTypedProperty::serializeToDictionary();
    if (mValue) dictionary.setObject(*mValue, "value");
    return dictionary;
}

bool TLMStringTypedProperty::isEqual(const TLMCoding& other) const {
    const auto* property = sameKind(*this, other);
    return property != nullptr && mValue == property->mValue;
}

void TLMStringTypedProperty::encodeWithCoder(TLMKeyedArchiver& coder) const {
    TLMTypedProperty::encodeWithCoder(coder);
    coder.encodeOptionalString(mValue, "value");
}

std::shared_ptr<TLMTypedProperty> TLMStringTypedProperty::copy() const { return copyOf(*this); }
