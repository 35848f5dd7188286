#include "crashes/TelemetryCrashes/Internals/Model/TLMWrapperException.h"

#include "platform/security/Crypto.h"

TLMWrapperException::TLMWrapperException(const TLMKeyedUnarchiver& coder)
    : mModelException(coder.decodeObjectOfClass<TLMExceptionModel>("modelException")),
      mExceptionData(coder.decodeData("exceptionData")),
      mProcessId(coder.decodeInteger("processId")) {}

TLMOrderedDictionary TLMWrapperException::serializeToDictionary() const {
    TLMOrderedDictionary dictionary;
    if (mModelException) dictionary.setObject(mModelException->serializeToDictionary(), "modelException");
    setOptional(dictionary, mProcessId, "processId");
    if (mExceptionData) dictionary.setObject(platform::security::base64Encode(*mExceptionData), "exceptionData");
    return dictionary;
}

void TLMWrapperException::encodeWithCoder(TLMKeyedArchiver& coder) const {
    coder.encodeObject(mModelException, "modelException");
    coder.encodeData(mExceptionData, "exceptionData");
    coder.encodeOptionalInteger(mProcessId, "processId");
}
