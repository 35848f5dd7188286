#include "crashes/TelemetryCrashes/Internals/Model/TLMThread.h"

TLMThread::TLMThread(const TLMKeyedUnarchiver& coder)
    : mThreadId(coder.decodeInteger("id")),
      mName(coder.decodeOptionalString("name")),
      mFrames(coder.decodeArrayOfObjectsOfClass<TLMStackFrame>("frames")),
      mException(coder.decodeObjectOfClass<TLMExceptionModel>("exception")) {}

TLMOrderedDictionary TLMThread::serializeToDictionary() const {
    TLMOrderedDictionary dictionary;
    setOptional(dictionary, mThreadId, "id");
    setOptional(dictionary, mName, "name");
    if (mFrames) dictionary.setObject(serializedArray(*mFrames), "frames");
    if (mException) dictionary.setObject(mException->serializeToDictionary(), "exception");
    return dictionary;
}

bool TLMThread::isValid() const {
    if (!mThreadId) return reportInvalidField("threadId");
    if (!mFrames || mFrames->empty()) return reportInvalidField("frames");
    return true;
}

bool TLMThread::isEqual(const TLMCoding& other) const {
    const auto* thread = dynamic_cast<const TLMThread*>(&other);
    return thread != nullptr && mThreadId == thread->mThreadId && mName == thread->mName &&
           sameObjects(mFrames, thread->mFrames) && sameObject(mException, thread->mException);
}

void TLMThread::encodeWithCoder(TLMKeyedArchiver& coder) const {
    coder.encodeOptionalInteger(mThreadId, "id");
    coder.encodeOptionalString(mName, "name");
    coder.encodeObjectArray(mFrames, "frames");
    coder.encodeObject(mException, "exception");
}

std::string TLMThread::description() const { return serializeToDictionary().jsonText(false).value_or(""); }
