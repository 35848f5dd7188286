#include "telemetry/core/Model/UnifiedSchema/TLMProtocolExtension.h"

TLMProtocolExtension::TLMProtocolExtension(const TLMKeyedUnarchiver& coder)
    : mTicketKeys(coder.decodeStringArray("ticketKeys")) {
    decodeTextFields(coder);
}

TLMOrderedDictionary TLMProtocolExtension::serializeToDictionary() const {
    TLMOrderedDictionary dictionary;
    if (mTicketKeys) dictionary.setObject(*mTicketKeys, "ticketKeys");
    const TLMOrderedDictionary texts = TLMCSTextFieldsRecord::serializeToDictionary();
    for (const std::string& key : texts.order()) dictionary.setObject(*texts.objectForKey(key), key);
    return dictionary;
}

bool TLMProtocolExtension::isEqual(const TLMCoding& other) const {
    const auto* record = dynamic_cast<const TLMProtocolExtension*>(&other);
    return record != nullptr && mTicketKeys == record->mTicketKeys && TLMCSTextFieldsRecord::isEqual(other);
}

void TLMProtocolExtension::encodeWithCoder(TLMKeyedArchiver& coder) const {
    coder.encodeStringArray(mTicketKeys, "ticketKeys");
    TLMCSTextFieldsRecord::encodeWithCoder(coder);
}
