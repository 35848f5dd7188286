#include "telemetry/Internals/Model/UnifiedSchema/TLMCSData.h"

TLMOrderedDictionary TLMCSData::serializeToDictionary() const {
    TLMOrderedDictionary dictionary(mProperties.count());
    for (const char* leading : {"baseType", "baseData"}) {
        if (const TLMJsonValue* value = mProperties.objectForKey(leading)) dictionary.setObject(*value, leading);
    }
    for (const std::string& key : mProperties.order()) dictionary.setObject(*mProperties.objectForKey(key), key);
    return dictionary;
}

bool TLMCSData::isEqual(const TLMCoding& other) const {
    const auto* data = dynamic_cast<const TLMCSData*>(&other);
    return data != nullptr && mProperties.hasEqualPairs(data->mProperties);
}

void TLMCSData::encodeWithCoder(TLMKeyedArchiver& coder) const {
    coder.encodeJsonDictionary(mProperties, "properties");
}
