#include "crashes/TelemetryCrashes/Internals/Model/TLMAbstractErrorLog.h"

#include "telemetry/core/Util/TLMUtility.h"

using Field = TLMRecordField<TLMAbstractErrorLog>;

const Field TLMAbstractErrorLog::kFields[] = {
    {"id", &TLMAbstractErrorLog::mErrorId},
    {"processId", nullptr, &TLMAbstractErrorLog::mProcessId},
    {"processName", &TLMAbstractErrorLog::mProcessName},
    {"parentProcessId", nullptr, &TLMAbstractErrorLog::mParentProcessId},
    {"parentProcessName", &TLMAbstractErrorLog::mParentProcessName},
    {"errorThreadId", nullptr, &TLMAbstractErrorLog::mErrorThreadId},
    {"errorThreadName", &TLMAbstractErrorLog::mErrorThreadName},
};

TLMAbstractErrorLog::TLMAbstractErrorLog(const TLMKeyedUnarchiver& coder)
    : TLMLogWithProperties(coder),
      mFatal(coder.decodeBool("fatal").value_or(false)),
      mAppLaunchTimestamp(coder.decodeDate("appLaunchTimestamp")),
      mArchitecture(coder.decodeOptionalString("architecture")) {
    TLMDecodeFields<TLMAbstractErrorLog>(*this, kFields, coder);
}

TLMOrderedDictionary TLMAbstractErrorLog::serializeToDictionary() const {
    TLMOrderedDictionary dictionary = TLMLogWithProperties::serializeToDictionary();
    TLMSerializeFields<TLMAbstractErrorLog>(*this, kFields, dictionary);
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
    return log != nullptr && TLMLogWithProperties::isEqual(other) &&
           TLMSameFields<TLMAbstractErrorLog>(*this, *log, kFields) && mFatal == log->mFatal &&
           mAppLaunchTimestamp == log->mAppLaunchTimestamp && mArchitecture == log->mArchitecture;
}

void TLMAbstractErrorLog::encodeWithCoder(TLMKeyedArchiver& coder) const {
    TLMLogWithProperties::encodeWithCoder(coder);
    TLMEncodeFields<TLMAbstractErrorLog>(*this, kFields, coder);
    coder.encodeBool(mFatal, "fatal");
    coder.encodeDate(mAppLaunchTimestamp, "appLaunchTimestamp");
    coder.encodeOptionalString(mArchitecture, "architecture");
}
