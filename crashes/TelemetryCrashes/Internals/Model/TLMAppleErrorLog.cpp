#include "crashes/TelemetryCrashes/Internals/Model/TLMAppleErrorLog.h"

TLMAppleErrorLog::TLMAppleErrorLog() { setType("appleError"); }

const TLMRecordField<TLMAppleErrorLog> TLMAppleErrorLog::kFields[] = {
    {"primaryArchitectureId", nullptr, nullptr, &TLMAppleErrorLog::mPrimaryArchitectureId},
    {"architectureVariantId", nullptr, nullptr, &TLMAppleErrorLog::mArchitectureVariantId},
    {"applicationPath", &TLMAppleErrorLog::mApplicationPath},
    {"osExceptionType", &TLMAppleErrorLog::mOsExceptionType},
    {"osExceptionCode", &TLMAppleErrorLog::mOsExceptionCode},
    {"osExceptionAddress", &TLMAppleErrorLog::mOsExceptionAddress},
    {"exceptionType", &TLMAppleErrorLog::mExceptionType},
    {"exceptionReason", &TLMAppleErrorLog::mExceptionReason},
    {"selectorRegisterValue", &TLMAppleErrorLog::mSelectorRegisterValue},
};

TLMAppleErrorLog::TLMAppleErrorLog(const TLMKeyedUnarchiver& coder)
    : TLMAbstractErrorLog(coder),
      mThreads(coder.decodeArrayOfObjectsOfClass<TLMThread>("threads")),
      mBinaries(coder.decodeArrayOfObjectsOfClass<TLMBinary>("binaries")),
      mRegisters(coder.decodeOptionalStringDictionary("registers")),
      mException(coder.decodeObjectOfClass<TLMExceptionModel>("exception")) {
    TLMDecodeFields<TLMAppleErrorLog>(*this, kFields, coder);
}

TLMOrderedDictionary TLMAppleErrorLog::serializeToDictionary() const {
    TLMOrderedDictionary dictionary = TLMAbstractErrorLog::serializeToDictionary();
    TLMSerializeFields<TLMAppleErrorLog>(*this, kFields, dictionary);
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
           TLMSameFields<TLMAppleErrorLog>(*this, *log, kFields) && sameObjects(mThreads, log->mThreads) &&
           sameObjects(mBinaries, log->mBinaries) && mRegisters == log->mRegisters &&
           sameObject(mException, log->mException);
}

void TLMAppleErrorLog::encodeWithCoder(TLMKeyedArchiver& coder) const {
    TLMAbstractErrorLog::encodeWithCoder(coder);
    TLMEncodeFields<TLMAppleErrorLog>(*this, kFields, coder);
    coder.encodeObjectArray(mThreads, "threads");
    coder.encodeObjectArray(mBinaries, "binaries");
    coder.encodeOptionalStringDictionary(mRegisters, "registers");
    coder.encodeObject(mException, "exception");
}
