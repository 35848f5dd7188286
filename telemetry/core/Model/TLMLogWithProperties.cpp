#include "telemetry/core/Model/TLMLogWithProperties.h"

TLMLogWithProperties::TLMLogWithProperties(const TLMKeyedUnarchiver& coder)
    : TLMAbstractLog(coder), mProperties(coder.decodeStringDictionary("properties")) {}

TLMOrderedDictionary TLMLogWithProperties::serializeToDictionary() const {
    TLMOrderedDictionary dictionary = TLMAbstractLog::serializeToDictionary();
    if (!mProperties.empty()) dictionary.setObject(mProperties, "properties");
    return dictionary;
}

bool TLMLogWithProperties::isEqual(const TLMCoding& other) const {
    const auto* log = dynamic_cast<const TLMLogWithProperties*>(&other);
    return log != nullptr && TLMAbstractLog::isEqual(other) && mProperties == log->mProperties;
}

void TLMLogWithProperties::encodeWithCoder(TLMKeyedArchiver& coder) const {
    TLMAbstractLog::encodeWithCoder(coder);
    coder.encodeStringDictionary(mProperties, "properties");
}
