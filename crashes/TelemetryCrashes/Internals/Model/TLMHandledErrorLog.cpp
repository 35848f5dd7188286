#include "crashes/TelemetryCrashes/Internals/Model/TLMHandledErrorLog.h"

TLMHandledErrorLog::TLMHandledErrorLog() { setType("handledError"); }

TLMHandledErrorLog::TLMHandledErrorLog(const TLMKeyedUnarchiver& coder)
    : TLMLogWithProperties(coder),
      mErrorId(coder.decodeOptionalString("id")),
      mException(coder.decodeObjectOfClass<TLMExceptionModel>("exception")) {}

TLMOrderedDictionary TLMHandledErrorLog::serializeToDictionary() const {
    TLMOrderedDictionary dictionary = TLMLogWithProperties::serializeToDictionary();
    setOptional(dictionary, mErrorId, "id");
    if (mException) dictionary.setObject(mException->serializeToDictionary(), "exception");
    return dictionary;
}

bool TLMHandledErrorLog::isValid() const {
    if (!TLMLogWithProperties::isValid()) return false;
    if (!mErrorId) return reportInvalidField("errorId");
    if (!mException) return reportInvalidField("exception");
    return true;
}

bool TLMHandledErrorLog::isEqual(const TLMCoding& other) const {
    const auto* log = dynamic_cast<const TLMHandledErrorLog*>(&other);
    return log != nullptr && TLMLogWithProperties::isEqual(other) && mErrorId == log->mErrorId &&
           sameObject(mException, log->mException);
}

void TLMHandledErrorLog::encodeWithCoder(TLMKeyedArchiver& coder) const {
    TLMLogWithProperties::encodeWithCoder(coder);
    coder.encodeOptionalString(mErrorId, "id");
    coder.encodeObject(mException, "exception");
}
