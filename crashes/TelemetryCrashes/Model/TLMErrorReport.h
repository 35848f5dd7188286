#pragma once
// The read-only summary of one error that the crashes service hands to the
// app: for a crash made from its error log, for a handled error only its
// identifier, times and device. It has no equality or archive of its own.

#include "crashes/TelemetryCrashes/Internals/Model/TLMBinary.h"
#include "crashes/TelemetryCrashes/Internals/Model/TLMThread.h"
#include "telemetry/Model/TLMDevice.h"
#include "telemetry/core/Util/TLMOrderedDictionary.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TLMErrorReport {
public:
    using Date = std::chrono::system_clock::time_point;
    using Threads = std::vector<std::shared_ptr<TLMThread>>;
    using Binaries = std::vector<std::shared_ptr<TLMBinary>>;

    // The values as given (any may be absent); `errorId` is the incident
    // identifier. Note that the code type comes before the architecture name.
    TLMErrorReport(std::optional<std::string> errorId, std::optional<std::string> reporterKey,
                   std::optional<std::string> signal, std::optional<std::string> exceptionName,
                   std::optional<std::string> exceptionReason, std::optional<Date> appStartTime,
                   std::optional<Date> appErrorTime, std::optional<std::string> codeType,
                   std::optional<std::string> archName, std::optional<std::string> applicationPath,
                   std::optional<Threads> threads, std::optional<Binaries> binaries, std::shared_ptr<TLMDevice> device,
                   std::uint64_t appProcessIdentifier);

    const std::optional<std::string>& incidentIdentifier() const { return mIncidentIdentifier; }
    // The installation identifier as text; empty when there is none.
    const std::optional<std::string>& reporterKey() const { return mReporterKey; }
    const std::optional<std::string>& signal() const { return mSignal; }
    void setSignal(std::optional<std::string> signal) { mSignal = std::move(signal); }
    const std::optional<std::string>& exceptionName() const { return mExceptionName; }
    const std::optional<std::string>& exceptionReason() const { return mExceptionReason; }
    const std::optional<Date>& appStartTime() const { return mAppStartTime; }
    const std::optional<Date>& appErrorTime() const { return mAppErrorTime; }
    const std::optional<std::string>& codeType() const { return mCodeType; }
    const std::optional<std::string>& archName() const { return mArchName; }
    const std::optional<std::string>& applicationPath() const { return mApplicationPath; }
    const std::optional<Threads>& threads() const { return mThreads; }
    const std::optional<Binaries>& binaries() const { return mBinaries; }
    const std::shared_ptr<TLMDevice>& device() const { return mDevice; }
    // 0 when unknown.
    std::uint64_t appProcessIdentifier() const { return mAppProcessIdentifier; }

    // Whether the signal is SIGKILL, in any case.
    bool isAppKill() const;

    // For diagnostics only, never sent: the present fields in the order
    // above, dates as ISO 8601 texts, threads, binaries and device as their
    // objects, then "appProcessIdentifier" as decimal text unless 0.
    TLMOrderedDictionary serializeToDictionary() const;
    // Its JSON text.
    std::string description() const;

private:
    std::optional<std::string> mIncidentIdentifier;
    std::optional<std::string> mReporterKey;
    std::optional<std::string> mSignal;
    std::optional<std::string> mExceptionName;
    std::optional<std::string> mExceptionReason;
    std::optional<Date> mAppStartTime;
    std::optional<Date> mAppErrorTime;
    std::optional<std::string> mCodeType;
    std::optional<std::string> mArchName;
    std::optional<std::string> mApplicationPath;
    std::optional<Threads> mThreads;
    std::optional<Binaries> mBinaries;
    std::shared_ptr<TLMDevice> mDevice;
    std::uint64_t mAppProcessIdentifier;
};
