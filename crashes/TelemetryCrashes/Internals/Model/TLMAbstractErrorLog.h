#pragma once
// The base of the crash error log: the identity of the process and thread
// that failed. Texts and numbers may be absent; an empty text is a value.

#include "crashes/TelemetryCrashes/Internals/Util/TLMRecordFields.h"
#include "telemetry/core/Model/TLMLogWithProperties.h"

#include <cstdint>
#include <optional>
#include <string>

class TLMAbstractErrorLog : public TLMLogWithProperties {
public:
    using Date = TLMAbstractLog::Timestamp;

    // Attachments name it in their "errorId"; a UUID text.
    const std::optional<std::string>& errorId() const { return mErrorId; }
    void setErrorId(std::optional<std::string> value) { mErrorId = std::move(value); }
    const std::optional<std::int64_t>& processId() const { return mProcessId; }
    void setProcessId(std::optional<std::int64_t> value) { mProcessId = value; }
    const std::optional<std::string>& processName() const { return mProcessName; }
    void setProcessName(std::optional<std::string> value) { mProcessName = std::move(value); }
    const std::optional<std::int64_t>& parentProcessId() const { return mParentProcessId; }
    void setParentProcessId(std::optional<std::int64_t> value) { mParentProcessId = value; }
    const std::optional<std::string>& parentProcessName() const { return mParentProcessName; }
    void setParentProcessName(std::optional<std::string> value) { mParentProcessName = std::move(value); }
    const std::optional<std::int64_t>& errorThreadId() const { return mErrorThreadId; }
    void setErrorThreadId(std::optional<std::int64_t> value) { mErrorThreadId = value; }
    const std::optional<std::string>& errorThreadName() const { return mErrorThreadName; }
    void setErrorThreadName(std::optional<std::string> value) { mErrorThreadName = std::move(value); }
    // Whether the error ended the app.
    bool isFatal() const { return mFatal; }
    void setFatal(bool value) { mFatal = value; }
    const std::optional<Date>& appLaunchTimestamp() const { return mAppLaunchTimestamp; }
    void setAppLaunchTimestamp(std::optional<Date> value) { mAppLaunchTimestamp = value; }
    const std::optional<std::string>& architecture() const { return mArchitecture; }
    void setArchitecture(std::optional<std::string> value) { mArchitecture = std::move(value); }

    // The base's keys, then "id", "processId", "processName",
    // "parentProcessId", "parentProcessName", "errorThreadId",
    // "errorThreadName" when present, "fatal" always, then
    // "appLaunchTimestamp" (ISO 8601) and "architecture" when present.
    TLMOrderedDictionary serializeToDictionary() const override;
    // The base's checks, then the identifier (logged as "errorId"), the
    // process number and the process name must be present.
    bool isValid() const override;
    bool isEqual(const TLMCoding& other) const override;
    // The base's fields, then these under their JSON keys; the launch time
    // as a date, so it reads back exact.
    void encodeWithCoder(TLMKeyedArchiver& coder) const override;

protected:
    TLMAbstractErrorLog() = default;
    explicit TLMAbstractErrorLog(const TLMKeyedUnarchiver& coder);

private:
    // "id" to "errorThreadName".
    static const TLMRecordField<TLMAbstractErrorLog> kFields[];

    std::optional<std::string> mErrorId;
    std::optional<std::int64_t> mProcessId;
    std::optional<std::string> mProcessName;
    std::optional<std::int64_t> mParentProcessId;
    std::optional<std::string> mParentProcessName;
    std::optional<std::int64_t> mErrorThreadId;
    std::optional<std::string> mErrorThreadName;
    bool mFatal = false;
    std::optional<Date> mAppLaunchTimestamp;
    std::optional<std::string> mArchitecture;
};
