#include "crashes/TelemetryCrashes/Internals/Model/TLMAbstractErrorLog.h"

#include "telemetry/Internals/Util/TLMUtility.h"

TLMAbstractErrorLog::TLMAbstractErrorLog(const TLMKeyedUnarchiver& coder)
    : TLMLogWithProperties(coder),
      mErrorId(coder.decodeOptionalString("id")),
      mProcessId(coder.decodeInteger("processId")),
      mProcessName(coder.decodeOptionalString("processName")),
      mParentProcessId(coder.decodeInteger("parentProcessId")),
      mParentProcessName(coder.decodeOptionalString("parentProcessName")),
      mErrorThreadId(coder.decodeInteger("errorThreadId")),
      mErrorThreadName(coder.decodeOptionalString("errorThreadName")),
      mFatal(coder.decodeBool("fatal").value_or(false)),
      mAppLaunchTimestamp(coder.decodeDate("appLaunchTimestamp")),
      mArchitecture(coder.decodeOptionalString("architecture")) {}

TLMOrderedDictionary TLMAbstractErrorLog::serializeToDictionary() const {
    TLMOrderedDictionary dictionary = TLMLogWithProperties::serializeToDictionary();
    setOptional(dictionary, mErrorId, "id");
    setOptional(dictionary, mProcessId, "processId");
    setOptional(dictionary, mProcessName, "processName");
    setOptional(dictionary, mParentProcessId, "parentProcessId");
    setOptional(dictionary, mParentProcessName, "parentProcessName");
    setOptional(dictionary, mErrorThreadId, "errorThreadId");
    setOptional(dictionary, mErrorThreadName, "errorThreadName");
    dictionary.setObject(mFatal, "fatal");
    if (mAppLaunchTimestamp) {
        dictionary.setObject(TLMUtility::dateToISO8601(*mAppLaunchTimestamp), "appLaunchTimestamp");
    }
    setOptional(dictionary, mArchitecture, "architecture");
    return dictionary;
}

bool TLMAbstractErrorLog::isValid() const {
    if (!TLMLogWithProperties::isValid()) return false;
    if (!mErrorId) return reportInvalidField("errorId");
    if (!mProcessId) return reportInvalidField("processId");
    if (!mProcessName) return reportInvalidField("processName");
    return true;
}

bool TLMAbstractErrorLog::isEqual(const TLMCoding& other) const {
    const auto* log = dynamic_cast<const TLMAbstractErrorLog*>(&other);
    return log != nullptr && TLMLogWithProperties::isEqual(other) && mErrorId == log->mErrorId &&
           mProcessId == log->mProcessId && mProcessName == log->mProcessName &&
           mParentProcessId == log->mParentProcessId && mParentProcessName == log->mParentProcessName &&
           mErrorThreadId == log->mErrorThreadId && mErrorThreadName == log->mErrorThreadName &&
           mFatal == log->mFatal && mAppLaunchTimestamp == log->mAppLaunchTimestamp &&
           mArchitecture == log->mArchitecture;
}

void TLMAbstractErrorLog::encodeWithCoder(TLMKeyedArchiver& coder) const {
    TLMLogWithProperties::encodeWithCoder(coder);
    coder.encodeOptionalString(mErrorId, "id");
    coder.encodeOptionalInteger(mProcessId, "processId");
    coder.encodeOptionalString(mProcessName, "processName");
    coder.encodeOptionalInteger(mParentProcessId, "parentProcessId");
    coder.encodeOptionalString(mParentProcessName, "parentProcessName");
    coder.encodeOptionalInteger(mErrorThreadId, "errorThreadId");
    coder.encodeOptionalString(mErrorThreadName, "errorThreadName");
    coder.encodeBool(mFatal, "fatal");
    coder.encodeDate(mAppLaunchTimestamp, "appLaunchTimestamp");
    coder.encodeOptionalString(mArchitecture, "architecture");
}
