#include "telemetry/core/Model/UnifiedSchema/TLMSDKExtension.h"

TLMSDKExtension::TLMSDKExtension(const TLMKeyedUnarchiver& coder)
    : mSeq(coder.decodeInteger("seq").value_or(0)), mInstallId(coder.decodeUuid("installId")) {
    decodeTextFields(coder);
}

TLMOrderedDictionary TLMSDKExtension::serializeToDictionary() const {
    TLMOrderedDictionary dictionary = TLMCSTextFieldsRecord::serializeToDictionary();
    if (mSeq != 0) dictionary.setObject(mSeq, "seq");
    if (mInstallId) dictionary.setObject(TLMUuidString(*mInstallId), "installId");
    return dictionary;
}

bool TLMSDKExtension::isEqual(const TLMCoding& other) const {
    const auto* record = dynamic_cast<const TLMSDKExtension*>(&other);
    return record != nullptr && TLMCSTextFieldsRecord::isEqual(other) && mSeq == record->mSeq &&
           mInstallId == record->mInstallId;
}

void TLMSDKExtension::encodeWithCoder(TLMKeyedArchiver& coder) const {
    TLMCSTextFieldsRecord::encodeWithCoder(coder);
    coder.encodeInteger(mSeq, "seq");
    coder.encodeUuid(mInstallId, "installId");
}
