#include "crashes/reporter/setup/TLCrashReporter.h"

#include "crashes/reporter/async/TLCrashReporterCrash.h"
#include "crashes/reporter/setup/TLCrashImageRegistrySetup.h"
#include "crashes/reporter/setup/TLCrashThreadsSetup.h"
#include "crashes/reporter/setup/TLCrashLog.h"
#include "crashes/reporter/setup/TLCrashLogWriterSetup.h"
#include "crashes/reporter/setup/TLCrashReporterError.h"
#include "crashes/reporter/setup/TLCrashSignalHandler.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

constexpr const char* kDataFolder = "com.vekmont.crashreporter.crashdata";
constexpr const char* kPendingName = TLCRASH_PENDING_REPORT_NAME;

std::atomic<bool> gEnabledOnce{false};
std::atomic<bool> gUncaughtSeen{false};

tlcrash_async_image_registry& registry() { return tlcrash_async_image_registry_process(); }

// The pending number of a file name: 0 for the plain name, N for
// "live_report.N.tlcrash", none for anything else.
std::optional<uint64_t> pendingNumber(const std::string& name) {
    if (name == kPendingName) return 0;
    const std::string prefix = "live_report.", suffix = ".tlcrash";
    if (name.size() <= prefix.size() + suffix.size() || name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
        return std::nullopt;
    }
    const std::string digits = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    if (digits.empty() || digits.size() > 18 || digits[0] == '0' ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    return std::stoull(digits);
}

void uncaughtExceptionHandler(const TLCrashUncaughtException& exception) {
    bool expected = false;
    if (!gUncaughtSeen.compare_exchange_strong(expected, true)) return;
    tlcrash_log_writer_set_exception(&tlcrash_reporter_context.writer, exception);
    abort();
}

std::optional<TLCrashReporter::Data> readFile(const std::string& path, TLCrashReporter::ErrorOut* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        TLCrashReporterPopulatePOSIXError(error, errno != 0 ? errno : ENOENT, "Failed to read " + path);
        return std::nullopt;
    }
    TLCrashReporter::Data data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        TLCrashReporterPopulatePOSIXError(error, EIO, "Failed to read " + path);
        return std::nullopt;
    }
    return data;
}

struct LiveWrite {
    int fd;
    tlcrash_log_writer* writer;
    const tlcrash_log_signal_info* info;
};

tlcrash_error_t writeLiveFromCapture(tlcrash_async_thread_state* state, void* context) {
    auto* live = static_cast<LiveWrite*>(context);
    return tlcrash_reporter_write_report(live->fd, live->writer, &registry(), tlcrash_current_thread_port(), live->info,
                                         state);
}

}  // namespace

std::shared_ptr<TLCrashReporterConfig> TLCrashReporterConfig::defaultConfiguration() {
    return std::make_shared<TLCrashReporterConfig>();
}

TLCrashReporter& TLCrashReporter::sharedReporter() {
    static TLCrashReporter* reporter = new TLCrashReporter();
    return *reporter;
}

namespace {

std::optional<std::string> bundleText(const char* key) {
    platform::Bundle* bundle = platform::Bundle::main();
    if (bundle == nullptr) return std::nullopt;
    const auto value = bundle->infoValue(key);
    if (!value || value->asString() == nullptr) return std::nullopt;
    return *value->asString();
}

std::string identifierOrProcessName() {
    if (auto identifier = bundleText("CFBundleIdentifier")) return *identifier;
    const char* name = program_invocation_short_name;
    if (name == nullptr || name[0] == '\0') {
        throw std::runtime_error("Can not determine process identifier or process name");
    }
    tlcrash_log("Warning -- bundle identifier, using process name %s", name);
    return name;
}

std::string bundleVersion() {
    if (auto version = bundleText("CFBundleVersion")) return *version;
    tlcrash_log("Warning -- bundle version unavailable");
    return "";
}

}  // namespace

TLCrashReporter::TLCrashReporter(std::shared_ptr<TLCrashReporterConfig> config)
    : TLCrashReporter(identifierOrProcessName(), bundleVersion(), bundleText("CFBundleShortVersionString"),
                      std::move(config)) {}

TLCrashReporter::TLCrashReporter(std::string applicationIdentifier, std::string applicationVersion,
                                 std::optional<std::string> applicationMarketingVersion,
                                 std::shared_ptr<TLCrashReporterConfig> config)
    : mConfig(std::move(config)),
      mApplicationIdentifier(std::move(applicationIdentifier)),
      mApplicationVersion(std::move(applicationVersion)),
      mApplicationMarketingVersion(std::move(applicationMarketingVersion)) {
    const fs::path base = mConfig->basePath() ? fs::path(*mConfig->basePath()) : platform::Paths::caches();
    std::string folder = mApplicationIdentifier;
    std::replace(folder.begin(), folder.end(), '/', '_');
    mCrashReportDirectory = (base / kDataFolder / folder).string();
}

std::string TLCrashReporter::queuedCrashReportDirectory() const {
    return (fs::path(mCrashReportDirectory) / "queued_reports").string();
}

std::string TLCrashReporter::crashReportPath() const {
    return (fs::path(mCrashReportDirectory) / kPendingName).string();
}

std::vector<std::string> TLCrashReporter::pendingCrashReportPaths() const {
    std::vector<std::pair<uint64_t, std::string>> found;
    std::error_code failure;
    for (fs::directory_iterator it(mCrashReportDirectory, failure), end; !failure && it != end; it.increment(failure)) {
        const auto number = pendingNumber(it->path().filename().string());
        if (number && it->is_regular_file(failure)) found.emplace_back(*number, it->path().string());
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> paths;
    for (auto& entry : found) paths.push_back(std::move(entry.second));
    return paths;
}

bool TLCrashReporter::hasPendingCrashReport() const { return !pendingCrashReportPaths().empty(); }

std::optional<TLCrashReporter::Data> TLCrashReporter::loadPendingCrashReportData(ErrorOut* error) const {
    const std::vector<std::string> paths = pendingCrashReportPaths();
    return readFile(paths.empty() ? crashReportPath() : paths.front(), error);
}

bool TLCrashReporter::purgePendingCrashReport(ErrorOut* error) {
    const std::vector<std::string> paths = pendingCrashReportPaths();
    const std::string path = paths.empty() ? crashReportPath() : paths.front();
    if (unlink(path.c_str()) != 0) {
        TLCrashReporterPopulatePOSIXError(error, errno, "Failed to remove " + path);
        return false;
    }
    return true;
}

bool TLCrashReporter::populateCrashReportDirectory(ErrorOut* error) {
    for (const std::string& folder : {mCrashReportDirectory, queuedCrashReportDirectory()}) {
        std::error_code failure;
        fs::create_directories(folder, failure);
        if (failure) {
            TLCrashReporterPopulatePOSIXError(error, failure.value(), "Failed to create " + folder);
            return false;
        }
        fs::permissions(folder, static_cast<fs::perms>(0755), failure);
    }
    return true;
}

std::string TLCrashReporter::crashTimeReportPath() const {
    if (!mEnabled) return {};
    char path[4200];
    return tlcrash_reporter_pending_path(path, sizeof path, tlcrash_reporter_context.number) ? path : "";
}

bool TLCrashReporter::enableCrashReporter(ErrorOut* error) {
    static std::mutex lock;
    {
        std::lock_guard<std::mutex> guard(lock);
        if (gEnabledOnce.exchange(true)) {
            TLCrashReporterPopulateError(error, TLCrashReporterError::ResourceBusy,
                                         "A TLCrashReporter instance has already been enabled");
            return false;
        }
    }
    if (!populateCrashReportDirectory(error)) return false;
    if (mCrashReportDirectory.size() + 64 >= sizeof tlcrash_reporter_context.directory) {
        TLCrashReporterPopulatePOSIXError(error, ENAMETOOLONG, "Failed to create " + mCrashReportDirectory);
        return false;
    }
    std::strcpy(tlcrash_reporter_context.directory, mCrashReportDirectory.c_str());
    uint64_t highest = 0;
    bool any = false;
    for (const std::string& path : pendingCrashReportPaths()) {
        any = true;
        highest = std::max(highest, pendingNumber(fs::path(path).filename().string()).value_or(0));
    }
    tlcrash_reporter_context.number = any ? highest + 1 : 0;

    const std::string* marketing = mApplicationMarketingVersion ? &*mApplicationMarketingVersion : nullptr;
    if (tlcrash_log_writer_init(&tlcrash_reporter_context.writer, mApplicationIdentifier, mApplicationVersion,
                                marketing, mapToAsyncSymbolicationStrategy(mConfig->symbolicationStrategy()),
                                false) != TLCRASH_ERR_NONE) {
        TLCrashReporterPopulateError(error, TLCrashReporterError::Unknown, "Failed to read the process information");
        return false;
    }
    if (mCustomData) tlcrash_log_writer_set_custom_data(&tlcrash_reporter_context.writer, &*mCustomData);
    tlcrash_reporter_context.registry = &registry();
    tlcrash_async_image_registry_sync(tlcrash_reporter_context.registry);
    if (!tlcrash_async_threads_install()) {
        tlcrash_log("No real-time signal is free: other threads will be reported without their registers");
    }

    const unsigned type = mConfig->signalHandlerType();
    if (type == TLCrashReporterConfig::BSD || type == TLCrashReporterConfig::Mach) {
        for (int signo : TLCRASH_FATAL_SIGNALS) {
            if (!TLCrashSignalHandler::sharedHandler().registerHandlerForSignal(signo, tlcrash_reporter_crash_callback,
                                                                                nullptr, error)) {
                return false;
            }
        }
    }
    if (mConfig->shouldRegisterUncaughtExceptionHandler()) TLCrashSetUncaughtExceptionHandler(uncaughtExceptionHandler);
    mEnabled = true;
    return true;
}

void TLCrashReporter::setCrashCallbacks(const TLCrashCallbacks* callbacks) {
    if (mEnabled) throw std::logic_error("The crash reporter has already been enabled");
    TLCRASH_ASSERT(callbacks->version == 0);
    tlcrash_reporter_context.callbacks = *callbacks;
}

void TLCrashReporter::setCustomData(std::optional<Data> data) {
    mCustomData = std::move(data);
    if (mEnabled)
        tlcrash_log_writer_set_custom_data(&tlcrash_reporter_context.writer, mCustomData ? &*mCustomData : nullptr);
}

std::optional<TLCrashReporter::Data> TLCrashReporter::generateLiveReport(ErrorOut* error) {
    return liveReport(tlcrash_current_thread_port(), true,
                      reinterpret_cast<uint64_t>(__builtin_extract_return_addr(__builtin_return_address(0))), error);
}

std::optional<TLCrashReporter::Data> TLCrashReporter::generateLiveReportWithThread(pid_t thread, ErrorOut* error) {
    return liveReport(thread, thread == tlcrash_current_thread_port(),
                      reinterpret_cast<uint64_t>(__builtin_extract_return_addr(__builtin_return_address(0))), error);
}

std::optional<TLCrashReporter::Data> TLCrashReporter::liveReport(pid_t thread, bool callingThread,
                                                                 uint64_t returnAddress, ErrorOut* error) {
    std::string path = (platform::Paths::tmp() / "live_crash_report.XXXXXX").string();
    const int fd = mkstemp(path.data());
    if (fd < 0) {
        TLCrashReporterPopulatePOSIXError(error, errno, "Failed to create temporary path");
        return std::nullopt;
    }
    tlcrash_async_image_registry_sync(&registry());
    tlcrash_async_threads_install();

    tlcrash_log_writer writer;
    const std::string* marketing = mApplicationMarketingVersion ? &*mApplicationMarketingVersion : nullptr;
    tlcrash_log_writer_init(&writer, mApplicationIdentifier, mApplicationVersion, marketing,
                            mapToAsyncSymbolicationStrategy(mConfig->symbolicationStrategy()), true);
    if (mCustomData) tlcrash_log_writer_set_custom_data(&writer, &*mCustomData);
    const tlcrash_log_bsd_signal_info bsd{SIGTRAP, TRAP_TRACE, returnAddress};
    const tlcrash_log_signal_info info{&bsd, nullptr};
    LiveWrite live{fd, &writer, &info};
    const tlcrash_error_t written =
        callingThread ? tlcrash_async_capture_current_thread(writeLiveFromCapture, &live)
                      : tlcrash_reporter_write_report(fd, &writer, &registry(), thread, &info, nullptr);
    tlcrash_log_writer_free(&writer);

    std::optional<Data> data;
    if (written != TLCRASH_ERR_NONE) {
        TLCrashReporterPopulateError(
            error, TLCrashReporterError::Unknown,
            std::string("Failed to write the live report: ") + tlcrash_async_strerror(written));
    } else {
        data = readFile(path, error);
    }
    if (unlink(path.c_str()) != 0) {
        tlcrash_log("Failure occured deleting live crash report: %s", std::strerror(errno));
    }
    return data;
}
