// The crash reporter's folder and pending reports, enabling once, live
// reports of this process, and the writer's budget within a file limit.

#include "crashes/reporter/setup/TLCrashThreadsSetup.h"
#include "crashes/reporter/setup/TLCrashLogWriterSetup.h"
#include "crashes/reporter/setup/TLCrashImageRegistrySetup.h"
#include "crashes/reporter/setup/TLCrashReport.h"
#include "crashes/reporter/setup/TLCrashReporter.h"

#include "platform/foundation/Paths.h"
#include "tests/support/RunProgram.h"
#include "tests/support/TempRoot.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

namespace fs = std::filesystem;

namespace {

std::shared_ptr<TLCrashReporterConfig> configAt(const fs::path& base) {
    return std::make_shared<TLCrashReporterConfig>(TLCrashReporterConfig::BSD, TLCrashReporterConfig::None, true,
                                                   base.string());
}

void touch(const fs::path& path, const std::string& text) { std::ofstream(path) << text; }

TEST(CrashReporter, NamesItsFolderAndListsPendingReportsOldestFirst) {
    const fs::path base = testsupport::processRoot() / "pending";
    TLCrashReporter reporter("org.example/tracks/app", "7", std::nullopt, configAt(base));
    EXPECT_EQ(reporter.crashReportDirectory(),
              (base / "com.vekmont.crashreporter.crashdata" / "org.example_tracks_app").string());
    EXPECT_EQ(reporter.crashReportPath(), reporter.crashReportDirectory() + "/live_report.tlcrash");
    EXPECT_FALSE(reporter.hasPendingCrashReport());

    fs::create_directories(reporter.crashReportDirectory());
    const fs::path dir = reporter.crashReportDirectory();
    touch(dir / "live_report.10.tlcrash", "ten");
    touch(dir / "live_report.tlcrash", "plain");
    touch(dir / "live_report.9.tlcrash", "nine");
    touch(dir / "live_report.09.tlcrash", "not ours");
    touch(dir / "other.tlcrash", "not ours");
    EXPECT_EQ(
        reporter.pendingCrashReportPaths(),
        (std::vector<std::string>{(dir / "live_report.tlcrash").string(), (dir / "live_report.9.tlcrash").string(),
                                  (dir / "live_report.10.tlcrash").string()}));
    ASSERT_TRUE(reporter.loadPendingCrashReportData());
    EXPECT_EQ(*reporter.loadPendingCrashReportData(), (TLCrashReporter::Data{'p', 'l', 'a', 'i', 'n'}));
    EXPECT_TRUE(reporter.purgePendingCrashReport());
    EXPECT_EQ(*reporter.loadPendingCrashReportData(), (TLCrashReporter::Data{'n', 'i', 'n', 'e'}));

    const TLCrashReporter defaults("app", "1", std::nullopt, TLCrashReporterConfig::defaultConfiguration());
    EXPECT_EQ(fs::path(defaults.crashReportDirectory()).parent_path().parent_path(), platform::Paths::caches());
}

// Called after the crash report is written: leaves a file beside it.
void afterReport(siginfo_t* info, ucontext_t*, void* context) {
    const int fd = open(static_cast<const char*>(context), O_WRONLY | O_CREAT, 0644);
    const char signal = static_cast<char>('0' + info->si_signo);
    if (fd >= 0) (void)!write(fd, &signal, 1), close(fd);
}

// Enables a reporter in the Mach mode (which catches the same signals
// here) beside two pending reports, checks what must fail, and crashes.
[[noreturn]] void enableAndCrash(const fs::path& base, const std::string& called) {
    TLCrashReporter first("app", "1", std::nullopt,
                          std::make_shared<TLCrashReporterConfig>(TLCrashReporterConfig::Mach,
                                                                  TLCrashReporterConfig::None, true, base.string()));
    const TLCrashCallbacks callbacks{0, const_cast<char*>(called.c_str()), afterReport};
    first.setCrashCallbacks(&callbacks);
    fs::create_directories(first.crashReportDirectory());
    touch(fs::path(first.crashReportDirectory()) / "live_report.tlcrash", "waiting");
    touch(fs::path(first.crashReportDirectory()) / "live_report.3.tlcrash", "waiting");
    if (!first.enableCrashReporter()) _exit(1);
    if (first.crashTimeReportPath() != first.crashReportDirectory() + "/live_report.4.tlcrash") _exit(2);
    if (!fs::is_directory(first.queuedCrashReportDirectory())) _exit(3);
    TLCrashReporter second("app", "1", std::nullopt, configAt(base));
    std::optional<platform::Error> error;
    if (second.enableCrashReporter(&error) || !error || error->code() != 3) _exit(4);
    try {
        first.setCrashCallbacks(&callbacks);
        _exit(6);
    } catch (const std::logic_error&) {
    }
    raise(SIGTRAP);
    _exit(5);
}

TEST(CrashReporterDeathTest, EnablesOnceAndWritesACrashUnderANewName) {
    const fs::path base = testsupport::processRoot() / "enable";
    const std::string called = (base / "callback").string();
    EXPECT_EXIT(enableAndCrash(base, called), testing::KilledBySignal(SIGTRAP), "");
    TLCrashReporter reader("app", "1", std::nullopt, configAt(base));
    const std::vector<std::string> pending = reader.pendingCrashReportPaths();
    ASSERT_EQ(pending.size(), 3u);
    EXPECT_EQ(fs::path(pending.back()).filename(), "live_report.4.tlcrash");
    std::ifstream in(pending.back(), std::ios::binary);
    const TLCrashReport::Data bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto report = TLCrashReport::makeWithData(bytes);
    ASSERT_TRUE(report);
    EXPECT_EQ(report->signalInfo()->name(), "SIGTRAP");
    EXPECT_EQ(report->signalInfo()->code(), "SI_TKILL");
    EXPECT_EQ(report->signalInfo()->address(), 0u);
    EXPECT_EQ(testsupport::ReadWholeFile(called), "5");
}

size_t threadsOfThisProcess() {
    return static_cast<size_t>(std::distance(fs::directory_iterator("/proc/self/task"), fs::directory_iterator()));
}

TEST(CrashReporter, LiveReportsShowTheCallingOrTheRequestedThread) {
    const fs::path base = testsupport::processRoot() / "live";
    TLCrashReporter reporter("app", "1", std::string("1.0"), configAt(base));
    reporter.setCustomData(TLCrashReporter::Data{1, 2, 3});

    std::mutex lock;
    std::condition_variable changed;
    bool done = false;
    std::atomic<pid_t> waiterId{0};
    std::thread waiter([&] {
        waiterId = static_cast<pid_t>(gettid());
        std::unique_lock<std::mutex> guard(lock);
        changed.wait(guard, [&] { return done; });
    });
    while (waiterId.load() == 0) std::this_thread::yield();

    std::optional<platform::Error> error;
    const auto own = reporter.generateLiveReport(&error);
    ASSERT_TRUE(own) << (error ? error->localizedDescription() : "");
    const auto report = TLCrashReport::makeWithData(*own);
    ASSERT_TRUE(report);
    EXPECT_EQ(report->signalInfo()->name(), "SIGTRAP");
    EXPECT_EQ(report->signalInfo()->code(), "TRAP_TRACE");
    EXPECT_EQ(report->threads().size(), threadsOfThisProcess());
    EXPECT_EQ(*report->customData(), (TLCrashReporter::Data{1, 2, 3}));
    size_t crashed = 0;
    for (const auto& thread : report->threads()) {
        if (!thread->crashed()) continue;
        ++crashed;
        EXPECT_FALSE(thread->registers().empty());
        ASSERT_FALSE(thread->stackFrames().empty());
        // The first frame is in this program, where the report was asked for.
        const auto image = report->imageForAddress(thread->stackFrames().front()->instructionPointer());
        ASSERT_TRUE(image);
        EXPECT_EQ(image->imageName(), fs::read_symlink("/proc/self/exe").string());
    }
    EXPECT_EQ(crashed, 1u);

    const auto other = reporter.generateLiveReportWithThread(waiterId.load(), &error);
    ASSERT_TRUE(other);
    const auto otherReport = TLCrashReport::makeWithData(*other);
    ASSERT_TRUE(otherReport);
    EXPECT_EQ(otherReport->threads().size(), threadsOfThisProcess() - 1);
    for (const auto& thread : otherReport->threads()) {
        if (thread->crashed()) {
            EXPECT_GT(thread->stackFrames().size(), 2u);
        }
    }
    {
        std::lock_guard<std::mutex> guard(lock);
        done = true;
    }
    changed.notify_all();
    waiter.join();
    // The temporary files are gone.
    for (const auto& entry : fs::directory_iterator(platform::Paths::tmp())) {
        EXPECT_EQ(entry.path().filename().string().rfind("live_crash_report.", 0), std::string::npos);
    }
}

// Writes a report of this process through a file limited to `limit` bytes.
struct Written {
    tlcrash_error_t error;
    TLCrashReport::Data bytes;
};

tlcrash_async_image_registry& registry() { return tlcrash_async_image_registry_process(); }

struct WriteRequest {
    tlcrash_log_writer* writer;
    tlcrash_async_file* file;
    const tlcrash_log_signal_info* info;
};

tlcrash_error_t writeHere(tlcrash_async_thread_state* state, void* context) {
    auto* request = static_cast<WriteRequest*>(context);
    return tlcrash_log_writer_write(request->writer, tlcrash_current_thread_port(), &registry(), request->file,
                                    request->info, state);
}

__attribute__((noinline)) Written writeReport(size_t limit, int signo, int code, int depth = 0) {
    if (depth > 0) {
        Written deeper = writeReport(limit, signo, code, depth - 1);
        asm volatile("" ::: "memory");
        return deeper;
    }
    tlcrash_async_threads_install();
    tlcrash_log_writer writer;
    EXPECT_EQ(tlcrash_log_writer_init(&writer, "app", "1", nullptr, 0, true), 0);
    const std::vector<uint8_t> custom(3000, 0xAB);
    tlcrash_log_writer_set_custom_data(&writer, &custom);
    const fs::path path = testsupport::processRoot() / "limited.tlcrash";
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    tlcrash_async_file file;
    tlcrash_async_file_init(&file, fd, limit);
    const tlcrash_log_bsd_signal_info bsd{signo, code, 0};
    const tlcrash_log_signal_info info{&bsd, nullptr};
    WriteRequest request{&writer, &file, &info};
    Written written;
    written.error = tlcrash_async_capture_current_thread(writeHere, &request);
    tlcrash_async_file_close(&file);
    tlcrash_log_writer_free(&writer);
    std::ifstream in(path, std::ios::binary);
    written.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return written;
}

TEST(CrashReportWriter, StaysDecodableWithinItsLimitAndNamesAnySignalAndCode) {
    const Written unnamed = writeReport(0, 40, INT_MIN, 60);
    ASSERT_EQ(unnamed.error, 0);
    const auto numbered = TLCrashReport::makeWithData(unnamed.bytes);
    ASSERT_TRUE(numbered);
    EXPECT_EQ(numbered->signalInfo()->name(), "#40");
    EXPECT_EQ(numbered->signalInfo()->code(), "#-2147483648");

    // The whole report of the signal the cut ones name, so that a limit
    // below its size must cost them something.
    const Written full = writeReport(0, SIGABRT, SI_TKILL, 60);
    ASSERT_EQ(full.error, 0);
    const auto whole = TLCrashReport::makeWithData(full.bytes);
    ASSERT_TRUE(whole);
    EXPECT_TRUE(whole->customData());
    size_t frames = 0;
    for (const auto& thread : whole->threads()) frames += thread->stackFrames().size();

    // Too small for everything: frames, images and custom data give way,
    // and what is written still decodes.
    ASSERT_GT(full.bytes.size(), 3600u);
    for (size_t limit : {full.bytes.size() - 1, full.bytes.size() * 2 / 3, size_t{3500}}) {
        SCOPED_TRACE(limit);
        const Written cut = writeReport(limit, SIGABRT, SI_TKILL, 60);
        ASSERT_EQ(cut.error, 0);
        EXPECT_LE(cut.bytes.size(), limit);
        const auto report = TLCrashReport::makeWithData(cut.bytes);
        ASSERT_TRUE(report);
        EXPECT_EQ(report->signalInfo()->code(), "SI_TKILL");
        size_t cutFrames = 0;
        for (const auto& thread : report->threads()) cutFrames += thread->stackFrames().size();
        EXPECT_TRUE(cutFrames < frames || !report->customData() || report->images().size() < whole->images().size());
    }
    // Not even the fixed sections fit: a failure, not a broken report.
    EXPECT_EQ(writeReport(200, SIGSEGV, SEGV_MAPERR).error, TLCRASH_ERR_OUTPUT);
}

}  // namespace
