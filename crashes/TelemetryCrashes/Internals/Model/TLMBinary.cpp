#include "crashes/TelemetryCrashes/Internals/Model/TLMBinary.h"

const TLMRecordField<TLMBinary> TLMBinary::kFields[] = {
    {"id", &TLMBinary::mBinaryId},
    {"startAddress", &TLMBinary::mStartAddress},
    {"endAddress", &TLMBinary::mEndAddress},
    {"name", &TLMBinary::mName},
    {"path", &TLMBinary::mPath},
    {"architecture", &TLMBinary::mArchitecture},
    {"primaryArchitectureId", nullptr, nullptr, &TLMBinary::mPrimaryArchitectureId},
    {"architectureVariantId", nullptr, nullptr, &TLMBinary::mArchitectureVariantId},
};

TLMBinary::TLMBinary(const TLMKeyedUnarchiver& coder) { TLMDecodeFields<TLMBinary>(*this, kFields, coder); }

TLMOrderedDictionary TLMBinary::serializeToDictionary() const {
    TLMOrderedDictionary dictionary;
    TLMSerializeFields<TLMBinary>(*this, kFields, dictionary);
    return dictionary;
}

bool TLMBinary::isValid() const {
    if (!mBinaryId) return reportInvalidField("binaryId");
    if (!mStartAddress) return reportInvalidField("startAddress");
    if (!mEndAddress) return reportInvalidField("endAddress");
    if (!mName) return reportInvalidField("name");
    if (!mPath) return reportInvalidField("path");
    return true;
}

bool TLMBinary::isEqual(const TLMCoding& other) const {
    const auto* binary = dynamic_cast<const TLMBinary*>(&other);
    return binary != nullptr && TLMSameFields<TLMBinary>(*this, *binary, kFields);
}

void TLMBinary::encodeWithCoder(TLMKeyedArchiver& coder) const { TLMEncodeFields<TLMBinary>(*this, kFields, coder); }

std::string TLMBinary::description() const { return serializeToDictionary().jsonText(false).value_or(""); }
