#include "crashes/TelemetryCrashes/Internals/Model/TLMBinary.h"

TLMBinary::TLMBinary(const TLMKeyedUnarchiver& coder)
    : mBinaryId(coder.decodeOptionalString("id")),
      mStartAddress(coder.decodeOptionalString("startAddress")),
      mEndAddress(coder.decodeOptionalString("endAddress")),
      mName(coder.decodeOptionalString("name")),
      mPath(coder.decodeOptionalString("path")),
      mArchitecture(coder.decodeOptionalString("architecture")),
      mPrimaryArchitectureId(coder.decodeInteger("primaryArchitectureId")),
      mArchitectureVariantId(coder.decodeInteger("architectureVariantId")) {}

TLMOrderedDictionary TLMBinary::serializeToDictionary() const {
    TLMOrderedDictionary dictionary;
    setOptional(dictionary, mBinaryId, "id");
    setOptional(dictionary, mStartAddress, "startAddress");
    setOptional(dictionary, mEndAddress, "endAddress");
    setOptional(dictionary, mName, "name");
    setOptional(dictionary, mPath, "path");
    setOptional(dictionary, mArchitecture, "architecture");
    setOptional(dictionary, mPrimaryArchitectureId, "primaryArchitectureId");
    setOptional(dictionary, mArchitectureVariantId, "architectureVariantId");
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
    return binary != nullptr && mBinaryId == binary->mBinaryId && mStartAddress == binary->mStartAddress &&
           mEndAddress == binary->mEndAddress && mName == binary->mName && mPath == binary->mPath &&
           mArchitecture == binary->mArchitecture && mPrimaryArchitectureId == binary->mPrimaryArchitectureId &&
           mArchitectureVariantId == binary->mArchitectureVariantId;
}

void TLMBinary::encodeWithCoder(TLMKeyedArchiver& coder) const {
    coder.encodeOptionalString(mBinaryId, "id");
    coder.encodeOptionalString(mStartAddress, "startAddress");
    coder.encodeOptionalString(mEndAddress, "endAddress");
    coder.encodeOptionalString(mName, "name");
    coder.encodeOptionalString(mPath, "path");
    coder.encodeOptionalString(mArchitecture, "architecture");
    coder.encodeOptionalInteger(mPrimaryArchitectureId, "primaryArchitectureId");
    coder.encodeOptionalInteger(mArchitectureVariantId, "architectureVariantId");
}

std::string TLMBinary::description() const { return serializeToDictionary().jsonText(false).value_or(""); }
