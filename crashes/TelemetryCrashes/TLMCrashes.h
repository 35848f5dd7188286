#pragma once
// The crashes service of the telemetry client. It installs crash capture,
// takes in the reports the crash reporter kept from earlier launches, turns
// each into an error log with the attachments the app's delegate supplies,
// sends it after the user's confirmation where the app asks for one, keeps
// the logs in flight at a crash (TLMCrashesLogBuffer) and reports handled
// errors.
//
// Threads: start, enabling and disabling run on the thread that starts the
// client (the main thread in the app); stored reports are processed on the
// global queue 1 second after enabling; the confirmation handler and the
// delegate's transmission callbacks run on the main thread.

#include "crashes/TelemetryCrashes/Model/TLMErrorAttachmentLog.h"
#include "crashes/TelemetryCrashes/Model/TLMErrorReport.h"
#include "crashes/TelemetryCrashes/Model/TLMExceptionModel.h"
#include "platform/dispatch/DispatchSemaphore.h"
#include "platform/foundation/NotificationCenter.h"
#include "telemetry/TLMServiceAbstract.h"
#include "telemetry/core/Channel/TLMChannelDelegate.h"
#include "telemetry/core/Util/TLMEncrypter.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class TLCrashReporter;
class TLCrashUncaughtException;
class TLMAppleErrorLog;
class TLMCrashesDelegate;

// The user's answer to the question whether to send crash reports.
enum TLMUserConfirmation : long {
    TLMUserConfirmationDontSend = 0,
    TLMUserConfirmationSend = 1,
    TLMUserConfirmationAlways = 2,
};

class TLMCrashes : public TLMServiceAbstract, public TLMChannelDelegate {
public:
    using Reports = std::vector<std::shared_ptr<TLMErrorReport>>;
    using Attachments = std::vector<std::shared_ptr<TLMErrorAttachmentLog>>;
    using Properties = std::map<std::string, std::string>;
    // Gets the waiting reports on the main thread; true when it asked the
    // user (the answer comes through notifyWithUserConfirmation), false to
    // send at once.
    using UserConfirmationHandler = std::function<bool(const Reports& reports)>;

    static constexpr const char* kMemoryWarningKey = "AppDidReceiveMemoryWarning";
    static constexpr const char* kUserConfirmationKey = "CrashesUserConfirmation";
    static constexpr const char* kAnalyzerFileName = "TLCrashes.analyzer";
    // Larger attachments are dropped.
    static constexpr std::size_t kMaxAttachmentSize = 7 * 1024 * 1024;
    // The application's notifications the service observes (the toolkit
    // posts them under these names).
    static constexpr const char* kApplicationWillEnterForegroundNotification =
        "UIApplicationWillEnterForegroundNotification";
    static constexpr const char* kApplicationDidReceiveMemoryWarningNotification =
        "UIApplicationDidReceiveMemoryWarningNotification";

    static TLMCrashes& sharedInstance();
    // Drops the shared instance: the next use makes a new one, which takes
    // in and processes the stored reports anew. The old one leaves the
    // channel group's delegates, stops observing the application and takes
    // its C++ exception handler off; it is kept, as queued blocks may still
    // reach it. The crash reporter it enabled stays enabled (capture is set
    // up once per process).
    static void resetSharedInstance();

    // ---- The app's face
    static bool isEnabled();
    static void setEnabled(bool isEnabled);
    // The app's delegate, held weakly; any thread.
    static void setDelegate(std::weak_ptr<TLMCrashesDelegate> delegate);
    static std::shared_ptr<TLMCrashesDelegate> delegate();
    static bool hasCrashedInLastSession();
    static bool hasReceivedMemoryWarningInLastSession();
    static std::shared_ptr<TLMErrorReport> lastSessionCrashReport();
    static void setUserConfirmationHandler(UserConfirmationHandler handler);
    static void notifyWithUserConfirmation(long userConfirmation);
    // Before the service starts only.
    static void disableMachExceptionHandler();
    // An exception the app reports itself goes to the uncaught-exception
    // handler recorded at set-up (none under a debugger).
    static void applicationDidReportException(const TLCrashUncaughtException& exception);
    // Ends the process with a trap that the crash reporter records; ignored
    // in a store build.
    static void generateTestCrash();
    // A function of the app's the crash path runs after the report is
    // written (the app's buffered log lines go out there); it must be
    // async-signal-safe. Null for none.
    static void setCrashWriter(void (*writer)());
    // A handled error as an error log of its own; the error id, or none
    // when the service is not running.
    static std::optional<std::string> trackError(const platform::Error& error, const Properties& properties = {},
                                                 const Attachments& attachments = {});
    static std::optional<std::string> trackException(std::shared_ptr<TLMExceptionModel> exception,
                                                     const Properties& properties = {},
                                                     const Attachments& attachments = {});
    static void sendErrorAttachments(const Attachments& attachments, const std::string& incidentIdentifier);
    // Error id, attachment id, data and content type present and not empty.
    static bool validatePropertiesForAttachment(const TLMErrorAttachmentLog& attachment);

    // ---- The service
    std::string serviceName() const override { return "Crashes"; }
    std::string logTag() const override { return "TelemetryCrashes"; }
    // Started before the services of default priority.
    int initializationPriority() const override { return 999; }
    std::optional<TLMChannelUnitConfiguration> channelUnitConfiguration() const override;
    void startWithChannelGroup(TLMServiceHost& host, std::shared_ptr<TLMChannelGroupDefault> channelGroup,
                               std::optional<std::string> appSecret, std::optional<std::string> transmissionTargetToken,
                               bool fromApplication) override;
    void updateConfigurationWithAppSecret(std::optional<std::string> appSecret,
                                          std::optional<std::string> transmissionTargetToken) override;
    void applyEnabledState(bool isEnabled) override;

    // ---- Processing and sending
    bool isAutomaticProcessingEnabled() const { return mAutomaticProcessingEnabled.load(); }
    void setAutomaticProcessingEnabled(bool enabled) { mAutomaticProcessingEnabled = enabled; }
    // The reports waiting for confirmation, once processing has run (at most
    // `timeout` of waiting for it).
    Reports unprocessedCrashReports(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Drops the waiting reports not named, then sends or asks.
    bool sendCrashReportsOrAwaitUserConfirmationForFilteredIds(const std::vector<std::string>& incidentIdentifiers);
    std::optional<std::string> trackError(std::shared_ptr<TLMExceptionModel> exception, const Properties& properties,
                                          const Attachments& attachments);
    std::shared_ptr<TLMErrorReport> buildHandledErrorReportWithErrorID(const std::string& errorId);
    void sendErrorAttachmentsWithIncidentIdentifier(const Attachments& attachments,
                                                    const std::string& incidentIdentifier);
    // Blocks until the stored reports were processed, or `timeout`; true
    // when they were (tests and the wrapper helper).
    bool waitForProcessing(std::chrono::milliseconds timeout);

    // Stored report files, oldest first.
    std::vector<std::filesystem::path> persistedCrashReports() const;
    std::filesystem::path crashesDirectory() const;
    const std::shared_ptr<TLCrashReporter>& crashReporter() const { return mCrashReporter; }

    // ---- The channel group's events
    void channelDidPrepareLog(TLMChannelUnitDefault& channel, const std::shared_ptr<TLMAbstractLog>& log,
                              const std::string& internalId, TLMFlags flags) override;
    void channelDidCompleteEnqueueingLog(TLMChannelUnitDefault& channel, const std::shared_ptr<TLMAbstractLog>& log,
                                         const std::string& internalId) override;
    void channelDidStoreLog(TLMChannelUnitDefault& channel, const std::shared_ptr<TLMAbstractLog>& log) override;
    void channelWillSendLog(TLMChannelUnitDefault& channel, const std::shared_ptr<TLMAbstractLog>& log) override;
    void channelDidSucceedSendingLog(TLMChannelUnitDefault& channel,
                                     const std::shared_ptr<TLMAbstractLog>& log) override;
    void channelDidFailSendingLog(TLMChannelUnitDefault& channel, const std::shared_ptr<TLMAbstractLog>& log,
                                  const platform::Error& error) override;

    // The crash reporter's callback after a report was written.
    static void saveLogBufferAtCrash();

private:
    struct Unprocessed {
        std::shared_ptr<TLMAppleErrorLog> log;
        std::shared_ptr<TLMErrorReport> report;
        std::filesystem::path file;
    };

    TLMCrashes();

    void configureCrashReporter(bool enableUncaughtExceptionHandler);
    void handleLatestCrashReports();
    // "crashes/TLCrashes.analyzer": while a pending report is read, it holds
    // that report's file name.
    static std::string analyzerFilePathComponent();
    // A marker left by a start that died while reading a pending report:
    // that report is dropped (the first one for an empty marker) and the
    // marker removed.
    void dropReportGuardedByAnalyzerFile();
    void purgePendingCrashReports();
    void startDelayedCrashProcessing();
    void processCrashReports();
    bool sendCrashReportsOrAwaitUserConfirmation();
    void handleUserConfirmation(long userConfirmation);
    void sendCrashReport(const Unprocessed& entry);
    // False when the crash log cannot go: one that is not valid deletes its
    // report (it never will be), one JSON cannot hold keeps it for the next
    // start; either way nothing is enqueued.
    bool checkCrashLogBeforeSending(const Unprocessed& entry);
    void deleteCrashReport(const std::filesystem::path& file, const std::optional<std::string>& incidentId);
    void forgetCrashFile(const std::filesystem::path& file);
    void processLogBufferAfterCrash();
    void emptyLogBufferFiles();
    void processMemoryWarningInLastSession();
    void clearContextHistoryAndKeepCurrentSession();
    void markProcessingDone();
    template <typename Call>
    void notifyDelegateOfErrorLog(const std::shared_ptr<TLMAbstractLog>& log, Call call);

    TLMChannelUnitConfiguration mChannelUnitConfiguration;
    std::shared_ptr<TLMChannelDelegate> mSelfAsDelegate;  // not owning
    std::shared_ptr<TLMChannelUnitDefault> mBufferChannelUnit;
    TLMEncrypter mTargetTokenEncrypter;
    std::chrono::system_clock::time_point mAppStartTime;

    std::atomic<bool> mDidCrashInLastSession{false};
    std::atomic<bool> mDidReceiveMemoryWarningInLastSession{false};
    std::atomic<bool> mEnableMachExceptionHandler{true};
    std::atomic<bool> mAutomaticProcessingEnabled{true};
    std::atomic<bool> mProcessingScheduled{false};
    std::atomic<bool> mProcessingDone{false};

    std::shared_ptr<TLCrashReporter> mCrashReporter;
    std::atomic<void (*)(const TLCrashUncaughtException&)> mExceptionHandler{nullptr};
    platform::NotificationCenter::ObserverToken mForegroundObserver;
    platform::NotificationCenter::ObserverToken mMemoryWarningObserver;

    // Buffering and freeing logs; taken after the service's lock, never before.
    std::mutex mBufferMutex;
    // Guards what follows; never held while calling the delegate.
    mutable std::mutex mStateMutex;
    std::weak_ptr<TLMCrashesDelegate> mDelegate;
    UserConfirmationHandler mUserConfirmationHandler;
    std::shared_ptr<TLMErrorReport> mLastSessionCrashReport;
    std::vector<std::filesystem::path> mCrashFiles;
    std::optional<std::vector<Unprocessed>> mUnprocessed;  // none until processing has run
    // Crash logs enqueued and not yet stored: their files wait until then.
    std::map<const TLMAbstractLog*, std::pair<std::filesystem::path, std::optional<std::string>>> mAwaitingStorage;
    platform::DispatchSemaphore mProcessedSemaphore{0};
};
