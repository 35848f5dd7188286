#include "crashes/TelemetryCrashes/Internals/Model/TLMAppleErrorLog.h"

TLMAppleErrorLog::TLMAppleErrorLog() { setType("appleError"); }

TLMAppleErrorLog::TLMAppleErrorLog(const TLMKeyedUnarchiver& coder)
    : TLMAbstractErrorLog(coder),
      mPrimaryArchitectureId(coder.decodeInteger("primaryArchitectureId")),
      mArchitectureVariantId(coder.decodeInteger("architectureVariantId")),
      mApplicationPath(coder.decodeOptionalString("applicationPath")),
      mOsExceptionType(coder.decodeOptionalString("osExceptionType")),
      mOsExceptionCode(coder.decodeOptionalString("osExceptionCode")),
      mOsExceptionAddress(coder.decodeOptionalString("osExceptionAddress")),
      mExceptionType(coder.decodeOptionalString("exceptionType")),
      mExceptionReason(coder.decodeOptionalString("exceptionReason")),
      mSelectorRegisterValue(coder.decodeOptionalString("selectorRegisterValue")),
      mThreads(coder.decodeArrayOfObjectsOfClass<TLMThread>("threads")),
      mBinaries(coder.decodeArrayOfObjectsOfClass<TLMBinary>("binaries")),
      mRegisters(coder.decodeOptionalStringDictionary("registers")),
      mException(coder.decodeObjectOfClass<TLMExceptionModel>("exception")) {}

TLMOrderedDictionary TLMAppleErrorLog::serializeToDictionary() const {
    TLMOrderedDictionary dictionary = TLMAbstractErrorLog::serializeToDictionary();
    setOptional(dictionary, mPrimaryArchitectureId, "primaryArchitectureId");
    setOptional(dictionary, mArchitectureVariantId, "architectureVariantId");
    setOptional(dictionary, mApplicationPath, "applicationPath");
    setOptional(dictionary, mOsExceptionType, "osExceptionType");
    setOptional(dictionary, mOsExceptionCode, "osExceptionCode");
    setOptional(dictionary, mOsExceptionAddress, "osExceptionAddress");
    setOptional(dictionary, mExceptionType, "exceptionType");
    setOptional(dictionary, mExceptionReason, "exceptionReason");
    setOptional(dictionary, mSelectorRegisterValue, "selectorRegisterValue");
    if (mThreads) dictionary.setObject(serializedArray(*mThreads), "threads");
    if (mBinaries) dictionary.setObject(serializedArray(*mBinaries), "binaries");
    if (mRegisters) dictionary.setObject(*mRegisters, "registers");
    if (mException) dictionary.setObject(mException->serializeToDictionary(), "exception");
    return dictionary;
}

bool TLMAppleErrorLog::isValid() const {
    if (!TLMAbstractErrorLog::isValid()) return false;
    if (!mPrimaryArchitectureId) return reportInvalidField("primaryArchitectureId");
    if (!mApplicationPath) return reportInvalidField("applicationPath");
    if (!mOsExceptionType) return reportInvalidField("osExceptionType");
    if (!mOsExceptionCode) return reportInvalidField("osExceptionCode");
    if (!mOsExceptionAddress) return reportInvalidField("osExceptionAddress");
    return true;
}

bool TLMAppleErrorLog::isEqual(const TLMCoding& other) const {
    const auto* log = dynamic_cast<const TLMAppleErrorLog*>(&other);
    return log != nullptr && TLMAbstractErrorLog::isEqual(other) &&
           mPrimaryArchitectureId == log->mPrimaryArchitectureId &&
           mArchitectureVariantId == log->mArchitectureVariantId && mApplicationPath == log->mApplicationPath &&
           mOsExceptionType == log->mOsExceptionType && mOsExceptionCode == log->mOsExceptionCode &&
           mOsExceptionAddress == log->mOsExceptionAddress && mExceptionType == log->mExceptionType &&
           mExceptionReason == log->mExceptionReason && mSelectorRegisterValue == log->mSelectorRegisterValue &&
           sameObjects(mThreads, log->mThreads) && sameObjects(mBinaries, log->mBinaries) &&
           mRegisters == log->mRegisters && sameObject(mException, log->mException);
}

void TLMAppleErrorLog::encodeWithCoder(TLMKeyedArchiver& coder) const {
    TLMAbstractErrorLog::encodeWithCoder(coder);
    coder.encodeOptionalInteger(mPrimaryArchitectureId, "primaryArchitectureId");
    coder.encodeOptionalInteger(mArchitectureVariantId, "architectureVariantId");
    coder.encodeOptionalString(mApplicationPath, "applicationPath");
    coder.encodeOptionalString(mOsExceptionType, "osExceptionType");
    coder.encodeOptionalString(mOsExceptionCode, "osExceptionCode");
    coder.encodeOptionalString(mOsExceptionAddress, "osExceptionAddress");
    coder.encodeOptionalString(mExceptionType, "exceptionType");
    coder.encodeOptionalString(mExceptionReason, "exceptionReason");
    coder.encodeOptionalString(mSelectorRegisterValue, "selectorRegisterValue");
    coder.encodeObjectArray(mThreads, "threads");
    coder.encodeObjectArray(mBinaries, "binaries");
    coder.encodeOptionalStringDictionary(mRegisters, "registers");
    coder.encodeObject(mException, "exception");
}
