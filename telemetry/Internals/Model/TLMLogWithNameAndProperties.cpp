#include "telemetry/Internals/Model/TLMLogWithNameAndProperties.h"

bool TLMLogWithNameAndProperties::isValid() const {
    if (!TLMLogWithProperties::isValid()) return false;
    if (mName.empty()) return reportInvalidField("name");
    return true;
}

TLMLogWithNameAndProperties::TLMLogWithNameAndProperties(const TLMKeyedUnarchiver& coder)
    : TLMLogWithProperties(coder), mName(coder.decodeString("name")) {}

TLMOrderedDictionary TLMLogWithNameAndProperties::serializeToDictionary() const {
    TLMOrderedDictionary dictionary = TLMLogWithProperties::serializeToDictionary();
    setText(dictionary, mName, "name");
    return dictionary;
}

bool TLMLogWithNameAndProperties::isEqual(const TLMCoding& other) const {
    const auto* log = dynamic_cast<const TLMLogWithNameAndProperties*>(&other);
    return log != nullptr && TLMLogWithProperties::isEqual(other) && mName == log->mName;
}

void TLMLogWithNameAndProperties::encodeWithCoder(TLMKeyedArchiver& coder) const {
    TLMLogWithProperties::encodeWithCoder(coder);
    coder.encodeString(mName, "name");
}
