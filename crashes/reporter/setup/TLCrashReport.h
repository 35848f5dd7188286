#pragma once
// A crash report file decoded into the report's parts. The file is the 7
// bytes "tlcrash", the version byte 1 and one protocol-buffer message (the
// schema is tlcrash.proto beside this file).
//
// The bytes are untrusted: the crash that wrote them may have cut them
// short. A report is made whole or not at all: the first missing part ends
// the reading with an error naming it, and nothing half-read is returned.

#include "crashes/reporter/setup/TLCrashReportModels.h"
#include "platform/foundation/Error.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class TLCrashReport {
public:
    using Data = std::vector<std::uint8_t>;
    using ErrorOut = std::optional<platform::Error>;
    using Uuid = std::array<std::uint8_t, 16>;
    using Threads = std::vector<std::shared_ptr<TLCrashReportThreadInfo>>;
    using Images = std::vector<std::shared_ptr<TLCrashReportBinaryImageInfo>>;

    // The report in the bytes of a whole file; null when they hold none,
    // with an error of TLCrashReporterErrorDomain, code 2, in `error` (when
    // given) whose description names the first missing or damaged part.
    static std::shared_ptr<TLCrashReport> makeWithData(const std::uint8_t* data, std::size_t size,
                                                       ErrorOut* error = nullptr);
    static std::shared_ptr<TLCrashReport> makeWithData(const Data& data, ErrorOut* error = nullptr) {
        return makeWithData(data.data(), data.size(), error);
    }

    const std::shared_ptr<TLCrashReportSystemInfo>& systemInfo() const { return mSystemInfo; }
    // Null when the file has no machine section.
    const std::shared_ptr<TLCrashReportMachineInfo>& machineInfo() const { return mMachineInfo; }
    bool hasMachineInfo() const { return mMachineInfo != nullptr; }
    const std::shared_ptr<TLCrashReportApplicationInfo>& applicationInfo() const { return mApplicationInfo; }
    // Null when the file has no process section.
    const std::shared_ptr<TLCrashReportProcessInfo>& processInfo() const { return mProcessInfo; }
    bool hasProcessInfo() const { return mProcessInfo != nullptr; }
    const std::shared_ptr<TLCrashReportSignalInfo>& signalInfo() const { return mSignalInfo; }
    // Null unless the signal came from a Mach exception.
    const std::shared_ptr<TLCrashReportMachExceptionInfo>& machExceptionInfo() const { return mMachExceptionInfo; }
    // In file order; never empty.
    const Threads& threads() const { return mThreads; }
    const Images& images() const { return mImages; }
    // Null unless the crash was an uncaught exception.
    const std::shared_ptr<TLCrashReportExceptionInfo>& exceptionInfo() const { return mExceptionInfo; }
    bool hasExceptionInfo() const { return mExceptionInfo != nullptr; }
    // The bytes the application handed to the reporter, when there were any.
    const std::optional<Data>& customData() const { return mCustomData; }
    // The report's own identifier, when it has one.
    const std::optional<Uuid>& uuidRef() const { return mUuid; }

    // The first image, in file order, whose range [base, base + size) holds
    // the address; null when none does.
    std::shared_ptr<TLCrashReportBinaryImageInfo> imageForAddress(std::uint64_t address) const;

private:
    class Reader;
    TLCrashReport() = default;

    std::shared_ptr<TLCrashReportSystemInfo> mSystemInfo;
    std::shared_ptr<TLCrashReportMachineInfo> mMachineInfo;
    std::shared_ptr<TLCrashReportApplicationInfo> mApplicationInfo;
    std::shared_ptr<TLCrashReportProcessInfo> mProcessInfo;
    std::shared_ptr<TLCrashReportSignalInfo> mSignalInfo;
    std::shared_ptr<TLCrashReportMachExceptionInfo> mMachExceptionInfo;
    Threads mThreads;
    Images mImages;
    std::shared_ptr<TLCrashReportExceptionInfo> mExceptionInfo;
    std::optional<Data> mCustomData;
    std::optional<Uuid> mUuid;
};
