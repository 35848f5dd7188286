#pragma once
// The entry to crash capture: configuration, the crash data folder and its
// pending reports, the signal handlers, the uncaught-exception hook and live
// reports of the running process.
//
// Pending reports. A crash writes its report under a name no pending report
// holds: "live_report.tlcrash" when the folder has no pending report, else
// "live_report.<N>.tlcrash" with N one above the highest pending number
// (the plain name counting as 0). Numbers only grow while reports wait, so
// pendingCrashReportPaths() — the plain name first, then by N — lists them
// oldest first, and a report not yet taken in is never overwritten.

#include "crashes/reporter/async/TLCrashCallbacks.h"
#include "crashes/reporter/setup/TLCrashUncaughtException.h"
#include "platform/foundation/Error.h"

#include <signal.h>
#include <ucontext.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class TLCrashReporterConfig {
public:
    enum SignalHandlerType : unsigned { BSD = 0, Mach = 1 };
    // Bit 0: the images' symbol tables; bit 1: object-runtime metadata.
    enum SymbolicationStrategy : unsigned { None = 0, SymbolTable = 1, ObjC = 2, All = 3 };

    static std::shared_ptr<TLCrashReporterConfig> defaultConfiguration();

    explicit TLCrashReporterConfig(unsigned signalHandlerType = BSD, unsigned symbolicationStrategy = None,
                                   bool shouldRegisterUncaughtExceptionHandler = true,
                                   std::optional<std::string> basePath = std::nullopt)
        : mSignalHandlerType(signalHandlerType),
          mSymbolicationStrategy(symbolicationStrategy),
          mShouldRegisterUncaughtExceptionHandler(shouldRegisterUncaughtExceptionHandler),
          mBasePath(std::move(basePath)) {}

    unsigned signalHandlerType() const { return mSignalHandlerType; }
    unsigned symbolicationStrategy() const { return mSymbolicationStrategy; }
    bool shouldRegisterUncaughtExceptionHandler() const { return mShouldRegisterUncaughtExceptionHandler; }
    const std::optional<std::string>& basePath() const { return mBasePath; }

private:
    unsigned mSignalHandlerType;
    unsigned mSymbolicationStrategy;
    bool mShouldRegisterUncaughtExceptionHandler;
    std::optional<std::string> mBasePath;
};

class TLCrashReporter {
public:
    using Data = std::vector<std::uint8_t>;
    using ErrorOut = std::optional<platform::Error>;

    // Made once from the main bundle and the default configuration.
    static TLCrashReporter& sharedReporter();

    // The bundle's identifier and version; without an identifier the
    // process name (std::runtime_error when there is neither).
    explicit TLCrashReporter(
        std::shared_ptr<TLCrashReporterConfig> config = TLCrashReporterConfig::defaultConfiguration());
    TLCrashReporter(std::string applicationIdentifier, std::string applicationVersion,
                    std::optional<std::string> applicationMarketingVersion,
                    std::shared_ptr<TLCrashReporterConfig> config);

    const std::string& crashReportDirectory() const { return mCrashReportDirectory; }
    std::string queuedCrashReportDirectory() const;
    // The first pending name, "live_report.tlcrash".
    std::string crashReportPath() const;
    // Every pending report, oldest first.
    std::vector<std::string> pendingCrashReportPaths() const;

    bool hasPendingCrashReport() const;
    // The oldest pending report.
    std::optional<Data> loadPendingCrashReportData(ErrorOut* error = nullptr) const;
    bool purgePendingCrashReport(ErrorOut* error = nullptr);

    // Once per process, whatever the instance: a second call fails with
    // code 3, also after a first that failed.
    bool enableCrashReporter(ErrorOut* error = nullptr);
    bool isEnabled() const { return mEnabled; }
    // Where this process's crash would be written (empty before enabling).
    std::string crashTimeReportPath() const;

    // A report of the running process; the calling thread is the crashed
    // one. With another thread's id that thread is, and the caller is left
    // out.
    std::optional<Data> generateLiveReport(ErrorOut* error = nullptr);
    std::optional<Data> generateLiveReportWithThread(pid_t thread, ErrorOut* error = nullptr);

    // Before enabling only (std::logic_error after); version must be 0.
    void setCrashCallbacks(const TLCrashCallbacks* callbacks);
    void setCustomData(std::optional<Data> data);
    const std::optional<Data>& customData() const { return mCustomData; }

    unsigned mapToAsyncSymbolicationStrategy(unsigned strategy) const { return strategy & 3; }

private:
    bool populateCrashReportDirectory(ErrorOut* error);
    std::optional<Data> liveReport(pid_t thread, bool callingThread, uint64_t returnAddress, ErrorOut* error);

    std::shared_ptr<TLCrashReporterConfig> mConfig;
    bool mEnabled = false;
    std::string mApplicationIdentifier;
    std::string mApplicationVersion;
    std::optional<std::string> mApplicationMarketingVersion;
    std::string mCrashReportDirectory;
    std::optional<Data> mCustomData;
};
