#pragma once
// The error log of a crash of an earlier launch, made from its crash report.
// It keeps the session of the crashed launch: the session tracker does not
// stamp it with the current one.

#include "crashes/TelemetryCrashes/Internals/Model/TLMAbstractErrorLog.h"
#include "crashes/TelemetryCrashes/Internals/Model/TLMBinary.h"
#include "crashes/TelemetryCrashes/Internals/Model/TLMThread.h"
#include "crashes/TelemetryCrashes/Model/TLMExceptionModel.h"
#include "telemetry/core/Model/TLMNoAutoAssignSessionIdLog.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TLMAppleErrorLog : public TLMAbstractErrorLog, public TLMNoAutoAssignSessionIdLog {
public:
    using Threads = std::vector<std::shared_ptr<TLMThread>>;
    using Binaries = std::vector<std::shared_ptr<TLMBinary>>;
    using Registers = std::map<std::string, std::string>;

    // Of type "appleError".
    TLMAppleErrorLog();
    explicit TLMAppleErrorLog(const TLMKeyedUnarchiver& coder);

    // The processor type and subtype codes of the crashed process.
    // The crashed process's processor type and subtype, unsigned as the
    // report has them.
    const std::optional<std::uint64_t>& primaryArchitectureId() const { return mPrimaryArchitectureId; }
    void setPrimaryArchitectureId(std::optional<std::uint64_t> value) { mPrimaryArchitectureId = value; }
    const std::optional<std::uint64_t>& architectureVariantId() const { return mArchitectureVariantId; }
    void setArchitectureVariantId(std::optional<std::uint64_t> value) { mArchitectureVariantId = value; }
    const std::optional<std::string>& applicationPath() const { return mApplicationPath; }
    void setApplicationPath(std::optional<std::string> value) { mApplicationPath = std::move(value); }
    // The signal or operating-system exception: name, code, faulting address.
    const std::optional<std::string>& osExceptionType() const { return mOsExceptionType; }
    void setOsExceptionType(std::optional<std::string> value) { mOsExceptionType = std::move(value); }
    const std::optional<std::string>& osExceptionCode() const { return mOsExceptionCode; }
    void setOsExceptionCode(std::optional<std::string> value) { mOsExceptionCode = std::move(value); }
    const std::optional<std::string>& osExceptionAddress() const { return mOsExceptionAddress; }
    void setOsExceptionAddress(std::optional<std::string> value) { mOsExceptionAddress = std::move(value); }
    // The uncaught language exception, if any.
    const std::optional<std::string>& exceptionType() const { return mExceptionType; }
    void setExceptionType(std::optional<std::string> value) { mExceptionType = std::move(value); }
    const std::optional<std::string>& exceptionReason() const { return mExceptionReason; }
    void setExceptionReason(std::optional<std::string> value) { mExceptionReason = std::move(value); }
    const std::optional<std::string>& selectorRegisterValue() const { return mSelectorRegisterValue; }
    void setSelectorRegisterValue(std::optional<std::string> value) { mSelectorRegisterValue = std::move(value); }
    const std::optional<Threads>& threads() const { return mThreads; }
    void setThreads(std::optional<Threads> value) { mThreads = std::move(value); }
    const std::optional<Binaries>& binaries() const { return mBinaries; }
    void setBinaries(std::optional<Binaries> value) { mBinaries = std::move(value); }
    // The crashed thread's registers: name to value text.
    const std::optional<Registers>& registers() const { return mRegisters; }
    void setRegisters(std::optional<Registers> value) { mRegisters = std::move(value); }
    // A wrapper SDK's exception saved for this crash, if any.
    const std::shared_ptr<TLMExceptionModel>& exception() const { return mException; }
    void setException(std::shared_ptr<TLMExceptionModel> value) { mException = std::move(value); }

    // The abstract error log's keys, then these in the order above when
    // present: threads and binaries as arrays of their objects (an empty
    // list too), the registers and the exception as objects.
    TLMOrderedDictionary serializeToDictionary() const override;
    // The abstract error log's checks, then the primary architecture, the
    // application path and the three OS exception fields must be present.
    // Threads, binaries and the exception are not looked at.
    bool isValid() const override;
    bool isEqual(const TLMCoding& other) const override;
    void encodeWithCoder(TLMKeyedArchiver& coder) const override;

private:
    // "primaryArchitectureId" to "selectorRegisterValue".
    static const TLMRecordField<TLMAppleErrorLog> kFields[];

    std::optional<std::uint64_t> mPrimaryArchitectureId;
    std::optional<std::uint64_t> mArchitectureVariantId;
    std::optional<std::string> mApplicationPath;
    std::optional<std::string> mOsExceptionType;
    std::optional<std::string> mOsExceptionCode;
    std::optional<std::string> mOsExceptionAddress;
    std::optional<std::string> mExceptionType;
    std::optional<std::string> mExceptionReason;
    std::optional<std::string> mSelectorRegisterValue;
    std::optional<Threads> mThreads;
    std::optional<Binaries> mBinaries;
    std::optional<Registers> mRegisters;
    std::shared_ptr<TLMExceptionModel> mException;
};
