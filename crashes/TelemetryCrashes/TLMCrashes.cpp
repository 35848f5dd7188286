#include "crashes/TelemetryCrashes/TLMCrashes.h"

#include "crashes/TelemetryCrashes/Internals/LogBuffer/TLMCrashesLogBuffer.h"
#include "crashes/TelemetryCrashes/Internals/Model/TLMAppleErrorLog.h"
#include "crashes/TelemetryCrashes/Internals/Model/TLMHandledErrorLog.h"
#include "crashes/TelemetryCrashes/Internals/Util/TLMApplicationForwarder.h"
#include "crashes/TelemetryCrashes/Internals/Util/TLMCrashesArchiverUtil.h"
#include "crashes/TelemetryCrashes/Internals/Util/TLMCrashesCXXExceptionWrapperException.h"
#include "crashes/TelemetryCrashes/Internals/Util/TLMCrashesUtil.h"
#include "crashes/TelemetryCrashes/Internals/Util/TLMErrorLogFormatter.h"
#include "crashes/TelemetryCrashes/Internals/Util/TLMWrapperExceptionManager.h"
#include "crashes/TelemetryCrashes/TLMCrashesDelegate.h"
#include "crashes/TelemetryCrashes/TLMWrapperCrashesHelper.h"
#include "crashes/reporter/setup/TLCrashReport.h"
#include "crashes/reporter/setup/TLCrashReporter.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/MainThread.h"
#include "telemetry/TLMLogger.h"
#include "telemetry/TLMTelemetry.h"
#include "telemetry/core/Context/TLMDeviceTracker.h"
#include "telemetry/core/Context/TLMSessionContext.h"
#include "telemetry/core/Context/TLMUserIdContext.h"
#include "telemetry/core/Model/UnifiedSchema/TLMUnifiedSchemaLog.h"
#include "telemetry/core/Util/TLMDispatcherUtil.h"
#include "telemetry/core/Util/TLMSharedInstance.h"
#include "telemetry/core/Util/TLMTelemetryUserDefaults.h"
#include "telemetry/core/Util/TLMUtility.h"
#include "telemetry/core/Util/TLMUuid.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <fstream>

namespace fs = std::filesystem;

namespace {

const char* const kTag = "TelemetryCrashes";

std::atomic<void (*)()> gAppCrashWriter{nullptr};

void crashCallback(siginfo_t*, ucontext_t*, void*) {
    TLMCrashesLogBuffer::saveAtCrash();
    if (void (*writer)() = gAppCrashWriter.load(std::memory_order_acquire)) writer();
}

const TLCrashCallbacks kCrashCallbacks{0, nullptr, crashCallback};

// An uncaught C++ exception goes to the installed uncaught-exception
// handler, which records it, then the process ends.
void forwardCxxException(const TLMCrashesCXXExceptionInfo* info) {
    const TLMCrashesCXXExceptionWrapperException wrapper(info);
    if (TLCrashUncaughtExceptionHandler handler = TLCrashGetUncaughtExceptionHandler()) handler(wrapper);
    std::abort();
}

std::optional<TLCrashReport::Data> readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    TLCrashReport::Data data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    return data;
}

bool endsWithAny(const std::string& name, std::initializer_list<const char*> suffixes) {
    for (const char* suffix : suffixes) {
        const std::string text(suffix);
        if (name.size() >= text.size() && name.compare(name.size() - text.size(), text.size(), text) == 0) return true;
    }
    return false;
}

std::string describe(const std::optional<platform::Error>& error) {
    return error ? error->localizedDescription() : std::string("unknown error");
}

// Never destroyed: the client's queues and the crash path may reach an
// instance while the process ends.
TLMSharedInstance<TLMCrashes>& sharedCrashes() {
    static auto* holder = new TLMSharedInstance<TLMCrashes>();
    return *holder;
}

}  // namespace

TLMCrashes& TLMCrashes::sharedInstance() {
    return sharedCrashes().get([] { return new TLMCrashes(); });
}

void TLMCrashes::resetSharedInstance() {
    TLMCrashes* old = sharedCrashes().reset();
    if (old == nullptr) return;
    std::lock_guard guard(old->lock());
    platform::NotificationCenter& center = platform::NotificationCenter::defaultCenter();
    center.removeObserver(old->mForegroundObserver);
    center.removeObserver(old->mMemoryWarningObserver);
    if (const std::shared_ptr<TLMChannelGroupDefault> group = old->channelGroup()) group->removeDelegate(old);
    // Added when its reporter was configured (unless under a debugger);
    // removing an absent one changes nothing.
    if (old->mCrashReporter)
        TLMCrashesUncaughtCXXExceptionHandlerManager::removeCXXExceptionHandler(forwardCxxException);
}

TLMCrashes::TLMCrashes()
    : TLMServiceAbstract("Crashes"),
      mChannelUnitConfiguration("Crashes", 2, 1, 1, 3),
      mSelfAsDelegate(this, [](TLMChannelDelegate*) {}),
      mAppStartTime(platform::Clock::shared()->now()) {
    TLMTelemetryUserDefaults::shared().migrateKeys(
        {
            {"TLTelemetryCrashesIsEnabled", TLMUserDefaultsPrefixKey("kTLCrashesIsEnabledKey")},
            {"TLTelemetryAppDidReceiveMemoryWarning", "TLAppDidReceiveMemoryWarning"},
            {"TLTelemetryCrashesUserConfirmation", "TLUserConfirmation"},
        },
        "Crashes");
    TLMCrashesArchiverUtil::addAllowedCrashesModuleClasses();
    const std::string bufferDir = TLMCrashesUtil::logBufferDir();
    if (const auto directory = TLMUtility::fullURLForPathComponent(bufferDir)) {
        if (!TLMCrashesLogBuffer::setup(*directory)) {
            TLMLogError(kTag, "The crash log buffer's paths are too long; logs in flight are not kept.");
        }
    }
}

// ---- The app's face

bool TLMCrashes::isEnabled() { return classIsEnabled(sharedInstance()); }

void TLMCrashes::setEnabled(bool isEnabled) { classSetEnabled(sharedInstance(), isEnabled); }

void TLMCrashes::setDelegate(std::weak_ptr<TLMCrashesDelegate> delegate) {
    TLMCrashes& crashes = sharedInstance();
    std::lock_guard guard(crashes.mStateMutex);
    crashes.mDelegate = std::move(delegate);
}

std::shared_ptr<TLMCrashesDelegate> TLMCrashes::delegate() {
    TLMCrashes& crashes = sharedInstance();
    std::lock_guard guard(crashes.mStateMutex);
    return crashes.mDelegate.lock();
}

bool TLMCrashes::hasCrashedInLastSession() { return sharedInstance().mDidCrashInLastSession.load(); }

bool TLMCrashes::hasReceivedMemoryWarningInLastSession() {
    return sharedInstance().mDidReceiveMemoryWarningInLastSession.load();
}

std::shared_ptr<TLMErrorReport> TLMCrashes::lastSessionCrashReport() {
    TLMCrashes& crashes = sharedInstance();
    std::lock_guard guard(crashes.mStateMutex);
    return crashes.mLastSessionCrashReport;
}

void TLMCrashes::setUserConfirmationHandler(UserConfirmationHandler handler) {
    TLMCrashes& crashes = sharedInstance();
    std::lock_guard guard(crashes.mStateMutex);
    crashes.mUserConfirmationHandler = std::move(handler);
}

void TLMCrashes::notifyWithUserConfirmation(long userConfirmation) {
    TLMCrashes& crashes = sharedInstance();
    bool usable = false;
    {
        std::lock_guard guard(crashes.mStateMutex);
        usable = crashes.mUserConfirmationHandler || crashes.mUnprocessed.has_value();
    }
    if (!usable) {
        TLMLogError(kTag,
                    "Incorrect usage of notifyWithUserConfirmation: it should only be called from "
                    "userConfirmationHandler. For more information refer to the documentation.");
        return;
    }
    crashes.handleUserConfirmation(userConfirmation);
}

void TLMCrashes::disableMachExceptionHandler() { sharedInstance().mEnableMachExceptionHandler = false; }

void TLMCrashes::applicationDidReportException(const TLCrashUncaughtException& exception) {
    const auto handler = sharedInstance().mExceptionHandler.load();
    if (handler != nullptr && !TLMTelemetry::isDebuggerAttached()) handler(exception);
}

void TLMCrashes::generateTestCrash() {
    TLMCrashes& crashes = sharedInstance();
    std::lock_guard guard(crashes.lock());
    if (!crashes.canBeUsed()) return;
    if (TLMUtility::currentAppEnvironment() == 0) {
        TLMLogWarning(kTag, "GenerateTestCrash was just called in an App Store environment. The call will be ignored.");
        return;
    }
    if (TLMTelemetry::isDebuggerAttached()) {
        TLMLogWarning(kTag, "The debugger is attached. The following crash cannot be detected by the SDK!");
    }
    std::raise(SIGTRAP);
    std::abort();
}

void TLMCrashes::setCrashWriter(void (*writer)()) { gAppCrashWriter.store(writer, std::memory_order_release); }

std::optional<std::string> TLMCrashes::trackError(const platform::Error& error, const Properties& properties,
                                                  const Attachments& attachments) {
    return sharedInstance().trackError(std::make_shared<TLMExceptionModel>(error), properties, attachments);
}

std::optional<std::string> TLMCrashes::trackException(std::shared_ptr<TLMExceptionModel> exception,
                                                      const Properties& properties, const Attachments& attachments) {
    return sharedInstance().trackError(std::move(exception), properties, attachments);
}

void TLMCrashes::sendErrorAttachments(const Attachments& attachments, const std::string& incidentIdentifier) {
    sharedInstance().sendErrorAttachmentsWithIncidentIdentifier(attachments, incidentIdentifier);
}

bool TLMCrashes::validatePropertiesForAttachment(const TLMErrorAttachmentLog& attachment) {
    const auto present = [](const std::optional<std::string>& text) { return text && !text->empty(); };
    return present(attachment.errorId()) && present(attachment.attachmentId()) && attachment.data() &&
           !attachment.data()->empty() && present(attachment.contentType());
}

// ---- The service

std::optional<TLMChannelUnitConfiguration> TLMCrashes::channelUnitConfiguration() const {
    return mChannelUnitConfiguration;
}

void TLMCrashes::startWithChannelGroup(TLMServiceHost& host, std::shared_ptr<TLMChannelGroupDefault> channelGroup,
                                       std::optional<std::string> appSecret,
                                       std::optional<std::string> transmissionTargetToken, bool fromApplication) {
    std::lock_guard guard(lock());
    TLMServiceAbstract::startWithChannelGroup(host, channelGroup, std::move(appSecret),
                                              std::move(transmissionTargetToken), fromApplication);
    if (channelGroup) channelGroup->addDelegate(mSelfAsDelegate);
    processLogBufferAfterCrash();
    processMemoryWarningInLastSession();
    TLMLogVerbose(kTag, "Started crash service.");
}

void TLMCrashes::updateConfigurationWithAppSecret(std::optional<std::string> appSecret,
                                                  std::optional<std::string> transmissionTargetToken) {
    std::lock_guard guard(lock());
    processLogBufferAfterCrash();
    TLMServiceAbstract::updateConfigurationWithAppSecret(std::move(appSecret), std::move(transmissionTargetToken));
}

void TLMCrashes::applyEnabledState(bool isEnabled) {
    std::lock_guard guard(lock());
    TLMServiceAbstract::applyEnabledState(isEnabled);
    platform::NotificationCenter& center = platform::NotificationCenter::defaultCenter();
    center.removeObserver(mForegroundObserver);
    center.removeObserver(mMemoryWarningObserver);
    if (isEnabled) {
        bool registerHandler = true;
        const std::shared_ptr<TLMCrashHandlerSetupDelegate> setup =
            TLMWrapperCrashesHelper::crashHandlerSetupDelegate();
        if (setup) {
            registerHandler = setup->shouldEnableUncaughtExceptionHandler();
            setup->willSetUpCrashHandlers();
        }
        configureCrashReporter(registerHandler);
        if (setup) setup->didSetUpCrashHandlers();

        mForegroundObserver = center.addObserverForName(kApplicationWillEnterForegroundNotification, nullptr,
                                                        [this](const platform::Notification&) {
                                                            bool pending = false;
                                                            {
                                                                std::lock_guard state(mStateMutex);
                                                                pending = !mCrashFiles.empty();
                                                            }
                                                            if (pending) startDelayedCrashProcessing();
                                                        });
        mMemoryWarningObserver = center.addObserverForName(
            kApplicationDidReceiveMemoryWarningNotification, nullptr, [](const platform::Notification&) {
                TLMTelemetryUserDefaults::shared().setObject(platform::Value(true), kMemoryWarningKey);
            });

        // Switched on after a disabled period: a crash of that time is dropped.
        if (!isInstanceEnabled()) purgePendingCrashReports();
        // Also when nothing is pending any more: a marker left behind would
        // name a later crash's report.
        if (mCrashReporter) dropReportGuardedByAnalyzerFile();
        if (mCrashReporter && mCrashReporter->hasPendingCrashReport()) {
            mDidCrashInLastSession = true;
            TLMLogDebug(kTag, "The application crashed in the last session.");
            handleLatestCrashReports();
        }
        std::vector<fs::path> files = persistedCrashReports();
        const bool any = !files.empty();
        {
            std::lock_guard state(mStateMutex);
            mCrashFiles = std::move(files);
        }
        if (any) {
            startDelayedCrashProcessing();
        } else {
            markProcessingDone();
            clearContextHistoryAndKeepCurrentSession();
        }
        if (TLMTelemetry::isDebuggerAttached()) {
            TLMLogInfo(kTag,
                       "Crashes service has been enabled but the service cannot detect crashes due to running the "
                       "application with a debugger attached.");
        } else {
            TLMLogInfo(kTag, "Crashes service has been enabled.");
        }
    } else {
        TLMLogDebug(kTag, "Cleaning up all crash files.");
        TLMWrapperExceptionManager::deleteAllWrapperExceptions();
        TLMUtility::deleteItemForPathComponent(TLMCrashesUtil::crashesDir());
        emptyLogBufferFiles();
        purgePendingCrashReports();
        {
            std::lock_guard state(mStateMutex);
            mCrashFiles.clear();
            if (mUnprocessed) mUnprocessed->clear();
        }
        clearContextHistoryAndKeepCurrentSession();
        TLMTelemetryUserDefaults::shared().removeObjectForKey(kMemoryWarningKey);
        TLMLogInfo(kTag, "Crashes service has been disabled.");
    }
}

void TLMCrashes::configureCrashReporter(bool enableUncaughtExceptionHandler) {
    if (mCrashReporter) {
        TLMLogDebug(kTag, "Already configured TLCrashReporter.");
        return;
    }
    if (enableUncaughtExceptionHandler) {
        TLMLogDebug(kTag, "EnableUncaughtExceptionHandler is set to YES");
    } else {
        TLMLogDebug(kTag, "EnableUncaughtExceptionHandler is set to NO, we're running in a wrapper runtime.");
    }
    unsigned type = TLCrashReporterConfig::BSD;
    if (mEnableMachExceptionHandler) {
        type = TLCrashReporterConfig::Mach;
        TLMLogVerbose(kTag, "Enabled Mach exception handler.");
    }
    auto config =
        std::make_shared<TLCrashReporterConfig>(type, TLCrashReporterConfig::None, enableUncaughtExceptionHandler);
    mCrashReporter = std::make_shared<TLCrashReporter>(config);
    TLMWrapperExceptionManager::setCrashReporter(mCrashReporter);
    if (TLMTelemetry::isDebuggerAttached()) {
        TLMLogWarning(kTag, "Detecting crashes is NOT enabled due to running the app with a debugger attached.");
        return;
    }
    const TLCrashUncaughtExceptionHandler before = TLCrashGetUncaughtExceptionHandler();
    mCrashReporter->setCrashCallbacks(&kCrashCallbacks);
    std::optional<platform::Error> error;
    if (!mCrashReporter->enableCrashReporter(&error)) {
        const std::string text = describe(error);
        TLMLogError(kTag, "Could not enable crash reporter: %s", text.c_str());
    }
    const TLCrashUncaughtExceptionHandler after = TLCrashGetUncaughtExceptionHandler();
    if (after != nullptr && after != before) {
        mExceptionHandler = after;
        TLMLogDebug(kTag, "Exception handler successfully initialized.");
    } else if (after == nullptr || enableUncaughtExceptionHandler) {
        TLMLogError(kTag, "Exception handler could not be set. Make sure there is no other exception handler set up!");
    } else {
        mExceptionHandler = after;
        TLMLogDebug(
            kTag, "Exception handler successfully initialized but it has not been registered due to the wrapper SDK.");
    }
    TLMCrashesUncaughtCXXExceptionHandlerManager::addCXXExceptionHandler(forwardCxxException);
    TLMApplicationForwarder::registerForwarding();
}

// ---- Taking in the reports the crash reporter kept

void TLMCrashes::purgePendingCrashReports() {
    if (!mCrashReporter) return;
    // One purge per report pending now; a failed purge does not loop.
    for (std::size_t count = mCrashReporter->pendingCrashReportPaths().size(); count > 0; --count) {
        if (!mCrashReporter->purgePendingCrashReport()) break;
    }
}

std::string TLMCrashes::analyzerFilePathComponent() { return TLMCrashesUtil::crashesDir() + "/" + kAnalyzerFileName; }

void TLMCrashes::dropReportGuardedByAnalyzerFile() {
    const std::string analyzer = analyzerFilePathComponent();
    if (!TLMUtility::fileExistsForPathComponent(analyzer)) return;
    // The previous start died while reading the report the marker names;
    // an empty marker (as earlier releases wrote it) means the first one.
    const auto content = TLMUtility::loadDataForPathComponent(analyzer);
    const std::string guarded = content ? std::string(content->begin(), content->end()) : std::string();
    const std::vector<std::string> pending = mCrashReporter->pendingCrashReportPaths();
    const auto named = std::find_if(pending.begin(), pending.end(), [&](const std::string& path) {
        return guarded.empty() || fs::path(path).filename().string() == guarded;
    });
    if (named != pending.end()) {
        TLMLogError(kTag, "Error on loading the crash report, it will be purged.");
        std::error_code error;
        fs::remove(*named, error);
    }
    TLMUtility::deleteItemForPathComponent(analyzer);
}

void TLMCrashes::handleLatestCrashReports() {
    const std::string analyzer = analyzerFilePathComponent();
    // Oldest first; each is purged only once its copy is safely stored.
    for (std::size_t count = mCrashReporter->pendingCrashReportPaths().size(); count > 0; --count) {
        const std::vector<std::string> pending = mCrashReporter->pendingCrashReportPaths();
        if (pending.empty()) return;
        // The marker names the report being read, so that a start that dies
        // reading it costs the next start that report alone.
        const std::string name = fs::path(pending.front()).filename().string();
        if (!TLMUtility::createFileAtPathComponent(analyzer, TLMUtility::Data(name.begin(), name.end()), false, true)) {
            TLMLogError(kTag, "Couldn't create crash analyzer file.");
        }
        std::optional<platform::Error> error;
        const auto data = mCrashReporter->loadPendingCrashReportData(&error);
        std::shared_ptr<TLCrashReport> report;
        if (!data) {
            const std::string text = describe(error);
            TLMLogError(kTag, "Couldn't load crash report: %s", text.c_str());
        } else if (!(report = TLCrashReport::makeWithData(*data, &error))) {
            const std::string text = describe(error);
            TLMLogWarning(kTag, "Couldn't parse crash report: %s", text.c_str());
        } else {
            const std::string id = TLMErrorLogFormatter::errorIdForCrashReport(*report, *data);
            const std::string component = TLMCrashesUtil::crashesDir() + "/" + id;
            // The same report stored before (a start that died after the
            // copy) keeps its first copy.
            const bool stored = TLMUtility::fileExistsForPathComponent(component) ||
                                TLMUtility::createFileAtPathComponent(component, data, true, true).has_value();
            if (!stored) {
                // Kept pending: the next start tries again.
                TLMUtility::deleteItemForPathComponent(analyzer);
                return;
            }
            const auto errorReport = TLMErrorLogFormatter::errorReportFromCrashReport(report.get(), *data);
            {
                std::lock_guard state(mStateMutex);
                mLastSessionCrashReport = errorReport;
            }
            TLMWrapperExceptionManager::correlateLastSavedWrapperExceptionToReport({errorReport});
        }
        TLMUtility::deleteItemForPathComponent(analyzer);
        if (!mCrashReporter->purgePendingCrashReport()) return;
    }
}

std::filesystem::path TLMCrashes::crashesDirectory() const {
    return TLMUtility::fullURLForPathComponent(TLMCrashesUtil::crashesDir()).value_or(fs::path());
}

std::vector<fs::path> TLMCrashes::persistedCrashReports() const {
    const auto entries = TLMUtility::contentsOfDirectory(TLMCrashesUtil::crashesDir());
    if (!entries) {
        TLMLogError(kTag, "No persisted crashes found.");
        return {};
    }
    std::vector<std::pair<fs::file_time_type, fs::path>> files;
    for (const fs::path& entry : *entries) {
        std::error_code error;
        if (!fs::is_regular_file(fs::symlink_status(entry, error))) continue;
        const auto size = fs::file_size(entry, error);
        if (error || size < 1) continue;
        if (endsWithAny(entry.filename().string(), {".DS_Store", ".analyzer", ".plist", ".data", ".meta", ".desc"})) {
            continue;
        }
        files.emplace_back(fs::last_write_time(entry, error), entry);
    }
    std::stable_sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<fs::path> paths;
    for (auto& file : files) paths.push_back(std::move(file.second));
    return paths;
}

// ---- Processing

void TLMCrashes::markProcessingDone() {
    if (!mProcessingDone.exchange(true)) mProcessedSemaphore.signal();
}

bool TLMCrashes::waitForProcessing(std::chrono::milliseconds timeout) {
    if (!mProcessedSemaphore.wait(std::chrono::duration_cast<platform::Clock::Duration>(timeout))) return false;
    mProcessedSemaphore.signal();
    return true;
}

void TLMCrashes::startDelayedCrashProcessing() {
    platform::DispatchQueue::global().asyncAfter(std::chrono::seconds(1), [this] {
        if (isAutomaticProcessingEnabled() && TLMUtility::applicationState() == 2) {
            TLMLogWarning(kTag, "Crashes will not be processed because the application is in the background.");
            return;
        }
        if (mProcessingScheduled.exchange(true)) return;
        TLMLogDebug(kTag, "Start delayed crash processing");
        const auto recorded = mExceptionHandler.load();
        if (recorded != nullptr && TLCrashGetUncaughtExceptionHandler() != recorded) {
            TLMLogWarning(kTag,
                          "Another exception handler was added. If this invokes any kind of exit() after processing "
                          "the exception, which causes any subsequent error handler not to be invoked, these crashes "
                          "will NOT be reported to the telemetry service!");
        }
        processCrashReports();
        markProcessingDone();
    });
}

void TLMCrashes::processCrashReports() {
    if (!isInstanceEnabled()) {
        TLMLogDebug(kTag, "Crashes service is disabled; discard all crash reports");
        TLMUtility::deleteItemForPathComponent(TLMCrashesUtil::crashesDir());
        TLMWrapperExceptionManager::deleteAllWrapperExceptions();
        std::lock_guard state(mStateMutex);
        mCrashFiles.clear();
        mUnprocessed.emplace();
        return;
    }
    std::vector<fs::path> files;
    {
        std::lock_guard state(mStateMutex);
        files = mCrashFiles;
    }
    struct Parsed {
        fs::path file;
        TLCrashReport::Data data;
        std::shared_ptr<TLCrashReport> report;
        std::shared_ptr<TLMErrorReport> errorReport;
    };
    std::vector<Parsed> parsed;
    std::vector<std::shared_ptr<TLMErrorReport>> errorReports;
    for (const fs::path& file : files) {
        std::optional<platform::Error> error;
        auto data = readFile(file);
        std::shared_ptr<TLCrashReport> report;
        if (data) report = TLCrashReport::makeWithData(*data, &error);
        if (!report) {
            // Logged once and removed, not read again at every start.
            const std::string text = data ? describe(error) : std::string("the file cannot be read");
            TLMLogWarning(kTag, "Crash report found but couldn't parse it, discard the crash report: %s", text.c_str());
            TLMUtility::deleteFileAtURL(file);
            forgetCrashFile(file);
            continue;
        }
        auto errorReport = TLMErrorLogFormatter::errorReportFromCrashReport(report.get(), *data);
        errorReports.push_back(errorReport);
        parsed.push_back({file, std::move(*data), std::move(report), std::move(errorReport)});
    }
    TLMWrapperExceptionManager::correlateLastSavedWrapperExceptionToReport(errorReports);

    std::vector<Unprocessed> waiting;
    const std::shared_ptr<TLMCrashesDelegate> appDelegate = delegate();
    for (Parsed& entry : parsed) {
        TLMLogVerbose(kTag, "Crash reports found");
        auto log = TLMErrorLogFormatter::errorLogFromCrashReport(*entry.report, entry.data);
        const std::string shown = entry.errorReport->incidentIdentifier().value_or("");
        if (!isAutomaticProcessingEnabled()) {
            TLMLogDebug(kTag,
                        "Automatic crash processing is disabled, storing the crash report for later processing: %s",
                        shown.c_str());
        } else if (!appDelegate || appDelegate->crashesShouldProcessErrorReport(*this, *entry.errorReport)) {
            TLMLogDebug(kTag,
                        "shouldProcessErrorReport is not implemented or returned YES, processing the crash report: %s",
                        shown.c_str());
        } else {
            TLMLogDebug(kTag, "shouldProcessErrorReport returned NO, discard the crash report: %s", shown.c_str());
            deleteCrashReport(entry.file, entry.errorReport->incidentIdentifier());
            continue;
        }
        waiting.push_back({std::move(log), entry.errorReport, entry.file});
    }
    {
        std::lock_guard state(mStateMutex);
        mUnprocessed = std::move(waiting);
    }
    if (isAutomaticProcessingEnabled()) sendCrashReportsOrAwaitUserConfirmation();
}

TLMCrashes::Reports TLMCrashes::unprocessedCrashReports(std::chrono::milliseconds timeout) {
    if (!waitForProcessing(timeout)) {
        TLMLogWarning(kTag, "Crash reports are still being processed; none are waiting yet.");
        return {};
    }
    Reports reports;
    std::lock_guard state(mStateMutex);
    if (mUnprocessed) {
        for (const Unprocessed& entry : *mUnprocessed) reports.push_back(entry.report);
    }
    return reports;
}

void TLMCrashes::deleteCrashReport(const fs::path& file, const std::optional<std::string>& incidentId) {
    if (incidentId) TLMWrapperExceptionManager::deleteWrapperExceptionWithUUIDString(*incidentId);
    std::error_code error;
    if (fs::exists(file, error)) TLMUtility::deleteFileAtURL(file);
    forgetCrashFile(file);
}

void TLMCrashes::forgetCrashFile(const fs::path& file) {
    std::lock_guard state(mStateMutex);
    mCrashFiles.erase(std::remove(mCrashFiles.begin(), mCrashFiles.end(), file), mCrashFiles.end());
}

// ---- Confirmation and sending

bool TLMCrashes::sendCrashReportsOrAwaitUserConfirmation() {
    const bool alwaysSend = TLMTelemetryUserDefaults::shared().boolForKey(kUserConfirmationKey, false);
    Reports reports;
    UserConfirmationHandler handler;
    {
        std::lock_guard state(mStateMutex);
        if (mUnprocessed) {
            for (const Unprocessed& entry : *mUnprocessed) reports.push_back(entry.report);
        }
        handler = mUserConfirmationHandler;
    }
    if (reports.empty()) return alwaysSend;
    if (alwaysSend) {
        TLMLogDebug(kTag, "The flag for user confirmation is set to TLMUserConfirmationAlways, continue sending logs");
        handleUserConfirmation(TLMUserConfirmationSend);
        return alwaysSend;
    }
    if (!isAutomaticProcessingEnabled()) {
        TLMLogDebug(kTag,
                    "Automatic crash processing is disabled and \"AlwaysSend\" is false. Awaiting user "
                    "confirmation.");
        return alwaysSend;
    }
    if (!handler) {
        TLMLogDebug(kTag, "The user confirmation handler is not implemented or returned NO, continue sending logs");
        handleUserConfirmation(TLMUserConfirmationSend);
        return alwaysSend;
    }
    // The handler runs on the main thread. This queue does not wait for it:
    // the main thread may itself be waiting for the reports.
    auto ask = [this, handler, reports] {
        if (handler(reports)) return;
        TLMLogDebug(kTag, "The user confirmation handler is not implemented or returned NO, continue sending logs");
        platform::DispatchQueue::global().async([this] { handleUserConfirmation(TLMUserConfirmationSend); });
    };
    if (platform::isMainThread()) {
        ask();
    } else {
        platform::DispatchQueue::main().async(ask);
    }
    return alwaysSend;
}

void TLMCrashes::handleUserConfirmation(long userConfirmation) {
    std::vector<Unprocessed> waiting;
    {
        std::lock_guard state(mStateMutex);
        if (mUnprocessed) waiting.swap(*mUnprocessed);
    }
    if (userConfirmation != TLMUserConfirmationSend && userConfirmation != TLMUserConfirmationAlways) {
        if (userConfirmation != TLMUserConfirmationDontSend) {
            TLMLogError(kTag, "Unknown user confirmation %ld; the crash reports are not sent.", userConfirmation);
        }
        for (const Unprocessed& entry : waiting) deleteCrashReport(entry.file, entry.report->incidentIdentifier());
        clearContextHistoryAndKeepCurrentSession();
        return;
    }
    if (userConfirmation == TLMUserConfirmationAlways) {
        TLMTelemetryUserDefaults::shared().setObject(platform::Value(true), kUserConfirmationKey);
    }
    for (const Unprocessed& entry : waiting) sendCrashReport(entry);
    clearContextHistoryAndKeepCurrentSession();
}

bool TLMCrashes::checkCrashLogBeforeSending(const Unprocessed& entry) {
    const std::string id = entry.report->incidentIdentifier().value_or("");
    // The channel would refuse it at every start: the report can never be
    // sent, so it goes now.
    if (!entry.log->isValid()) {
        TLMLogError(kTag, "The crash report %s gives an error log that is not valid; the report is deleted.",
                    id.c_str());
        deleteCrashReport(entry.file, entry.report->incidentIdentifier());
        return false;
    }
    // Stored, it would cost the report file and then fail the batch.
    std::string reason;
    if (!entry.log->serializeToDictionary().jsonText(false, &reason)) {
        TLMLogError(kTag, "The error log of the crash report %s cannot be written as JSON (%s); the report is kept.",
                    id.c_str(), reason.c_str());
        forgetCrashFile(entry.file);
        return false;
    }
    return true;
}

void TLMCrashes::sendCrashReport(const Unprocessed& entry) {
    if (entry.log->timestamp()) {
        entry.log->setSid(TLMSessionContext::sharedInstance().sessionIdAt(*entry.log->timestamp()).value_or(""));
        entry.log->setUserId(TLMUserIdContext::sharedInstance().userIdAt(*entry.log->timestamp()).value_or(""));
    }
    // Nothing goes out for a log that will not: attachments would name an
    // error the service never receives.
    if (!checkCrashLogBeforeSending(entry)) return;
    Attachments attachments;
    if (const std::shared_ptr<TLMCrashesDelegate> appDelegate = delegate()) {
        attachments = appDelegate->attachmentsWithCrashes(*this, *entry.report);
        for (const auto& attachment : attachments) {
            if (attachment && !attachment->device()) attachment->setDevice(entry.log->device());
        }
    } else {
        TLMLogDebug(kTag, "attachmentsWithCrashes is not implemented");
    }
    const std::shared_ptr<TLMChannelUnitDefault> unit = channelUnit();
    if (!unit) return;
    {
        // The file goes once the log is in the database (channelDidStoreLog).
        std::lock_guard state(mStateMutex);
        mAwaitingStorage[entry.log.get()] = {entry.file, entry.report->incidentIdentifier()};
    }
    forgetCrashFile(entry.file);
    unit->enqueueItem(entry.log, TLMFlagsCritical);
    sendErrorAttachmentsWithIncidentIdentifier(attachments, entry.report->incidentIdentifier().value_or(""));
}

void TLMCrashes::sendErrorAttachmentsWithIncidentIdentifier(const Attachments& attachments,
                                                            const std::string& incidentIdentifier) {
    const std::shared_ptr<TLMChannelUnitDefault> unit = channelUnit();
    for (const auto& attachment : attachments) {
        if (!attachment) continue;
        attachment->setErrorId(incidentIdentifier);
        if (!validatePropertiesForAttachment(*attachment)) {
            TLMLogError(kTag, "Not all required fields are present in TLMErrorAttachmentLog.");
            continue;
        }
        const std::size_t size = attachment->data()->size();
        if (size > kMaxAttachmentSize) {
            const std::string name = attachment->filename().value_or("");
            TLMLogError(kTag, "Discarding attachment with size above %u bytes: size=%zu, fileName=%s.",
                        static_cast<unsigned>(kMaxAttachmentSize), size, name.c_str());
            continue;
        }
        if (unit) unit->enqueueItem(attachment, TLMFlagsNormal);
    }
}

bool TLMCrashes::sendCrashReportsOrAwaitUserConfirmationForFilteredIds(
    const std::vector<std::string>& incidentIdentifiers) {
    std::vector<Unprocessed> dropped;
    {
        std::lock_guard state(mStateMutex);
        if (mUnprocessed) {
            auto keep = std::stable_partition(mUnprocessed->begin(), mUnprocessed->end(), [&](const Unprocessed& e) {
                const auto& id = e.report->incidentIdentifier();
                return id && std::find(incidentIdentifiers.begin(), incidentIdentifiers.end(), *id) !=
                                 incidentIdentifiers.end();
            });
            dropped.assign(keep, mUnprocessed->end());
            mUnprocessed->erase(keep, mUnprocessed->end());
        }
    }
    for (const Unprocessed& entry : dropped) deleteCrashReport(entry.file, entry.report->incidentIdentifier());
    return sendCrashReportsOrAwaitUserConfirmation();
}

// ---- Handled errors

std::optional<std::string> TLMCrashes::trackError(std::shared_ptr<TLMExceptionModel> exception,
                                                  const Properties& properties, const Attachments& attachments) {
    std::lock_guard guard(lock());
    if (!canBeUsed() || !isInstanceEnabled()) return std::nullopt;
    auto log = std::make_shared<TLMHandledErrorLog>();
    log->setUserId(TLMUserIdContext::sharedInstance().userId().value_or(""));
    const std::string errorId = TLMNewUuidString();
    log->setErrorId(errorId);
    log->setException(std::move(exception));
    if (!properties.empty()) {
        log->setProperties(TLMUtility::validateProperties(properties, "ErrorLog: " + errorId, log->type()));
    }
    if (const std::shared_ptr<TLMChannelUnitDefault> unit = channelUnit()) unit->enqueueItem(log, TLMFlagsNormal);
    if (!attachments.empty()) sendErrorAttachmentsWithIncidentIdentifier(attachments, errorId);
    return errorId;
}

std::shared_ptr<TLMErrorReport> TLMCrashes::buildHandledErrorReportWithErrorID(const std::string& errorId) {
    return std::make_shared<TLMErrorReport>(errorId, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                                            mAppStartTime, platform::Clock::shared()->now(), std::nullopt, std::nullopt,
                                            std::nullopt, std::nullopt, std::nullopt,
                                            TLMDeviceTracker::sharedInstance().device(), 0);
}

// ---- The channel group's events

void TLMCrashes::channelDidPrepareLog(TLMChannelUnitDefault&, const std::shared_ptr<TLMAbstractLog>& log,
                                      const std::string& internalId, TLMFlags) {
    if (!log || !isInstanceEnabled()) return;
    // Unified-schema logs are made again from their log's tokens when it is
    // enqueued anew.
    if (std::dynamic_pointer_cast<TLMAppleErrorLog>(log) || std::dynamic_pointer_cast<TLMErrorAttachmentLog>(log) ||
        std::dynamic_pointer_cast<TLMUnifiedSchemaLog>(log)) {
        return;
    }
    std::lock_guard guard(mBufferMutex);
    const auto archive = TLMUtility::archiveKeyedData(TLMArchiveValue(log));
    if (!archive || archive->empty()) return;
    std::string token;
    if (const auto tokens = log->transmissionTargetTokens(); tokens && !tokens->empty()) {
        token = mTargetTokenEncrypter.encryptString(*tokens->begin()).value_or("");
    }
    const std::string sid = log->sid();
    const std::string type = log->type();
    TLMLogVerbose(kTag, "Storing a log to Crashes Buffer: (sid: %s, type: %s)", sid.c_str(), type.c_str());
    const double now = std::chrono::duration<double>(platform::Clock::shared()->now().time_since_epoch()).count();
    const auto stored = TLMCrashesLogBuffer::store(*archive, token, internalId, now);
    if (!stored) {
        TLMLogDebug(kTag, "The log of type %s does not fit a crash buffer slot (%zu bytes).", type.c_str(),
                    archive->size());
    } else if (stored->overwrote) {
        TLMLogVerbose(kTag, "Overwrote buffered log at index %ld.", static_cast<long>(stored->index));
    }
}

void TLMCrashes::channelDidCompleteEnqueueingLog(TLMChannelUnitDefault&, const std::shared_ptr<TLMAbstractLog>& log,
                                                 const std::string& internalId) {
    std::lock_guard guard(mBufferMutex);
    for (const std::size_t index : TLMCrashesLogBuffer::free(internalId)) {
        TLMLogVerbose(kTag, "Deleting a log from buffer with id %s", internalId.c_str());
        // After a crash write (the process goes on, as in a live report) the
        // file would otherwise bring the log back at the next start.
        if (TLMCrashesLogBuffer::savedAtCrash()) {
            std::error_code error;
            fs::remove(TLMCrashesLogBuffer::logPath(index), error);
            fs::remove(TLMCrashesLogBuffer::tokenPath(index), error);
            const std::string sid = log ? log->sid() : std::string();
            const std::string type = log ? log->type() : std::string();
            TLMLogVerbose(kTag, "Deleted a log from Crashes Buffer (sid: %s, type: %s)", sid.c_str(), type.c_str());
        }
    }
    std::lock_guard state(mStateMutex);
    // Not stored (filtered or dropped): the report file stays for the next start.
    mAwaitingStorage.erase(log.get());
}

void TLMCrashes::channelDidStoreLog(TLMChannelUnitDefault&, const std::shared_ptr<TLMAbstractLog>& log) {
    std::optional<std::pair<fs::path, std::optional<std::string>>> file;
    {
        std::lock_guard state(mStateMutex);
        const auto found = mAwaitingStorage.find(log.get());
        if (found == mAwaitingStorage.end()) return;
        file = found->second;
        mAwaitingStorage.erase(found);
    }
    deleteCrashReport(file->first, file->second);
}

template <typename Call>
void TLMCrashes::notifyDelegateOfErrorLog(const std::shared_ptr<TLMAbstractLog>& log, Call call) {
    const auto errorLog = std::dynamic_pointer_cast<TLMAppleErrorLog>(log);
    const std::shared_ptr<TLMCrashesDelegate> appDelegate = delegate();
    if (!errorLog || !appDelegate) return;
    std::shared_ptr<TLMErrorReport> report = TLMErrorLogFormatter::errorReportFromLog(*errorLog);
    TLMDispatcherUtil::performBlockOnMainThread([this, appDelegate, report, call] { call(*appDelegate, *report); });
}

void TLMCrashes::channelWillSendLog(TLMChannelUnitDefault&, const std::shared_ptr<TLMAbstractLog>& log) {
    notifyDelegateOfErrorLog(
        log, [this](TLMCrashesDelegate& d, const TLMErrorReport& r) { d.crashesWillSendErrorReport(*this, r); });
}

void TLMCrashes::channelDidSucceedSendingLog(TLMChannelUnitDefault&, const std::shared_ptr<TLMAbstractLog>& log) {
    notifyDelegateOfErrorLog(log, [this](TLMCrashesDelegate& d, const TLMErrorReport& r) {
        d.crashesDidSucceedSendingErrorReport(*this, r);
    });
}

void TLMCrashes::channelDidFailSendingLog(TLMChannelUnitDefault&, const std::shared_ptr<TLMAbstractLog>& log,
                                          const platform::Error& error) {
    notifyDelegateOfErrorLog(log, [this, error](TLMCrashesDelegate& d, const TLMErrorReport& r) {
        d.crashesDidFailSendingErrorReport(*this, r, error);
    });
}

// ---- The crash-time log buffer

void TLMCrashes::saveLogBufferAtCrash() { TLMCrashesLogBuffer::saveAtCrash(); }

void TLMCrashes::processLogBufferAfterCrash() {
    const std::shared_ptr<TLMChannelGroupDefault> group = channelGroup();
    if (!group) return;
    if (!mBufferChannelUnit) {
        mBufferChannelUnit =
            group->addChannelUnitWithConfiguration(TLMChannelUnitConfiguration("CrashesBuffer", 2, 1, 50, 1));
    }
    const auto entries = TLMUtility::contentsOfDirectory(TLMCrashesUtil::logBufferDir());
    if (!entries) return;
    const std::string logExtension = std::string(".") + TLMCrashesLogBuffer::kLogExtension;
    for (const fs::path& entry : *entries) {
        if (entry.extension() != logExtension) continue;
        fs::path tokenFile = entry;
        tokenFile.replace_extension(TLMCrashesLogBuffer::kTokenExtension);
        const auto data = readFile(entry);
        std::error_code error;
        if (data && !data->empty()) {
            std::shared_ptr<TLMAbstractLog> log;
            if (const auto value = TLMUtility::unarchiveKeyedData(*data); value && value->asObject()) {
                log = std::dynamic_pointer_cast<TLMAbstractLog>(*value->asObject());
            }
            if (!log) {
                // Logged once; emptied so that it is not read at every start.
                TLMLogError(TLMTelemetry::logTag(), "Deserialization failed for log: %s",
                            "The log deserialized to NULL.");
            } else {
                if (const auto token = readFile(tokenFile); token && !token->empty()) {
                    const std::string text(token->begin(), token->end());
                    if (const auto decrypted = mTargetTokenEncrypter.decryptString(text)) {
                        log->addTransmissionTargetToken(*decrypted);
                    } else {
                        TLMLogError(TLMTelemetry::logTag(), "Failed to decrypt the target token.");
                    }
                }
                const std::string type = log->type();
                TLMLogDebug(kTag, "Re-enqueueing buffered log, type: %s.", type.c_str());
                mBufferChannelUnit->enqueueItem(log, TLMFlagsNormal);
            }
        }
        // A token never outlives its log's file.
        fs::remove(tokenFile, error);
        if (data && !data->empty()) TLMUtility::createFileAtPath(entry, {});
    }
}

void TLMCrashes::emptyLogBufferFiles() {
    const std::string directory = TLMCrashesUtil::logBufferDir();
    const auto entries = TLMUtility::contentsOfDirectory(directory);
    if (!entries) {
        TLMLogError(kTag, "Couldn't get files in the directory \"%s\"", directory.c_str());
        return;
    }
    const std::string logExtension = std::string(".") + TLMCrashesLogBuffer::kLogExtension;
    for (const fs::path& entry : *entries) {
        std::error_code error;
        if (entry.extension() == logExtension && fs::file_size(entry, error) >= 1 && !error) {
            TLMUtility::createFileAtPath(entry, {});
        }
    }
}

// ---- Context and memory warnings

void TLMCrashes::processMemoryWarningInLastSession() {
    if (!isInstanceEnabled()) return;
    TLMTelemetryUserDefaults& defaults = TLMTelemetryUserDefaults::shared();
    const bool warned = defaults.boolForKey(kMemoryWarningKey, false);
    mDidReceiveMemoryWarningInLastSession = warned;
    if (warned) TLMLogDebug(kTag, "The application received a low memory warning in the last session.");
    defaults.removeObjectForKey(kMemoryWarningKey);
}

void TLMCrashes::clearContextHistoryAndKeepCurrentSession() {
    TLMDeviceTracker::sharedInstance().clearDevices();
    TLMSessionContext::sharedInstance().clearSessionHistoryAndKeepCurrentSession(true);
    TLMUserIdContext::sharedInstance().clearUserIdHistory();
}
