#include "telemetry/core/Model/UnifiedSchema/TLMCSData.h"

TLMOrderedDictionary TLMCSData::serializeToDictionary() const {
    const TLMOrderedDictionary properties = mProperties.get();
    TLMOrderedDictionary dictionary(properties.count());
    for (const char* leading : {"baseType", "baseData"}) {
        if (const TLMJsonValue* value = properties.objectForKey(leading)) dictionary.setObject(*value, leading);
    }
    for (const std::string& key : properties.order()) dictionary.setObject(*properties.objectForKey(key), key);
    return dictionary;
}

bool TLMCSData::isEqual(const TLMCoding& other) const {
    const auto* data = dynamic_cast<const TLMCSData*>(&other);
    return data != nullptr && mProperties.get().hasEqualPairs(data->mProperties.get());
}

void TLMCSData::encodeWithCoder(TLMKeyedArchiver& coder) const {
    coder.encodeJsonDictionary(mProperties.get(), "properties");
}
