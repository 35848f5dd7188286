// Real crashes: the crash helper program, built with and without frame
// pointers, dies in each way a process can, and the report it leaves must
// decode and show the crash as it was.

#include "crashes/reporter/setup/TLCrashReport.h"
#include "crashes/reporter/setup/TLCrashReporter.h"

#include "tests/support/TempRoot.h"

#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

#ifdef VEKMONT_CRASH_HELPER_WITH_FP

namespace fs = std::filesystem;

struct Crash {
    int signal = 0;
    bool markerLeft = false;
    std::vector<std::string> reports;
    std::shared_ptr<TLCrashReport> report;
    std::string helper;
};

// Runs the helper in `mode` until it dies and decodes the report it left.
Crash crash(const std::string& helper, const std::string& mode) {
    static int run = 0;
    const fs::path base = testsupport::processRoot() / ("crash-" + std::to_string(++run));
    const fs::path marker = base / "allocations";
    fs::create_directories(base);
    std::vector<std::string> args = {helper, mode, base.string(), marker.string()};
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    Crash result;
    result.helper = helper;
    pid_t pid;
    if (posix_spawn(&pid, helper.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return result;
    int status = 0;
    waitpid(pid, &status, 0);
    result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    result.markerLeft = fs::exists(marker);

    TLCrashReporter reader("com.vekmont.crashhelper", "42", std::nullopt,
                           std::make_shared<TLCrashReporterConfig>(0, 0, true, base.string()));
    result.reports = reader.pendingCrashReportPaths();
    if (result.reports.size() != 1) return result;
    std::ifstream in(result.reports.front(), std::ios::binary);
    const TLCrashReport::Data bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::optional<platform::Error> error;
    result.report = TLCrashReport::makeWithData(bytes, &error);
    EXPECT_TRUE(result.report) << (error ? error->localizedDescription() : "");
    return result;
}

std::shared_ptr<TLCrashReportThreadInfo> crashedThread(const TLCrashReport& report) {
    std::shared_ptr<TLCrashReportThreadInfo> found;
    for (const auto& thread : report.threads()) {
        if (!thread->crashed()) continue;
        EXPECT_EQ(found, nullptr) << "two crashed threads";
        found = thread;
    }
    return found;
}

std::vector<std::string> frameNames(const TLCrashReportStackFrames& frames) {
    std::vector<std::string> names;
    for (const auto& frame : frames) {
        names.push_back(frame->symbolInfo() != nullptr ? frame->symbolInfo()->symbolName() : "?");
    }
    return names;
}

// The names from the first frame in the helper's own functions on.
std::vector<std::string> fromFirstHelperFrame(const std::vector<std::string>& names, size_t count) {
    size_t first = 0;
    while (first < names.size() && names[first].rfind("helper_", 0) != 0) ++first;
    std::vector<std::string> tail(names.begin() + static_cast<long>(first), names.end());
    if (tail.size() > count) tail.resize(count);
    return tail;
}

std::string readelfBuildIdText(const std::string& path) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(
        popen((std::string(VEKMONT_READELF) + " -n '" + path + "'").c_str(), "r"), pclose);
    std::string output;
    char buffer[4096];
    for (size_t n; pipe && (n = fread(buffer, 1, sizeof buffer, pipe.get())) > 0;) output.append(buffer, n);
    const size_t at = output.find("Build ID: ");
    if (at == std::string::npos) return "";
    std::istringstream hex(output.substr(at + 10));
    std::string digits;
    hex >> digits;
    digits.resize(32, '0');
    return digits;
}

const char* const kHelpers[] = {VEKMONT_CRASH_HELPER_WITH_FP, VEKMONT_CRASH_HELPER_WITHOUT_FP};

TEST(CrashReporterCrash, EachWayOfDyingLeavesAReportOfTheCrashAsItWas) {
    const struct {
        const char* mode;
        int signal;
        const char* name;
        const char* code;
        std::vector<std::string> frames;
    } cases[] = {
        {"segv", SIGSEGV, "SIGSEGV", "SEGV_MAPERR", {"helper_crash_segv", "helper_level2", "helper_level1", "main"}},
        {"abort", SIGABRT, "SIGABRT", "SI_TKILL", {"helper_crash_abort", "helper_level2", "helper_level1", "main"}},
        {"ill", SIGILL, "SIGILL", "ILL_ILLOPN", {"helper_crash_ill", "helper_level2", "helper_level1", "main"}},
        {"fpe", SIGFPE, "SIGFPE", "FPE_INTDIV", {"helper_crash_fpe", "helper_level2", "helper_level1", "main"}},
        {"bus", SIGBUS, "SIGBUS", "BUS_ADRERR", {"helper_crash_bus", "helper_level2", "helper_level1", "main"}},
        {"trap", SIGTRAP, "SIGTRAP", "SI_KERNEL", {"helper_crash_trap", "helper_level2", "helper_level1", "main"}},
    };
    for (const char* helper : kHelpers) {
        const std::string buildId = readelfBuildIdText(helper);
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(helper) + " " + c.mode);
            const Crash result = crash(helper, c.mode);
            EXPECT_EQ(result.signal, c.signal);
            EXPECT_FALSE(result.markerLeft) << "the crash path allocated";
            ASSERT_EQ(result.reports.size(), 1u);
            ASSERT_TRUE(result.report);
            const TLCrashReport& report = *result.report;
            EXPECT_EQ(report.signalInfo()->name(), c.name);
            EXPECT_EQ(report.signalInfo()->code(), c.code);
            EXPECT_EQ(report.applicationInfo()->applicationIdentifier(), "com.vekmont.crashhelper");
            EXPECT_EQ(report.processInfo()->processPath(), fs::canonical(helper).string());
            ASSERT_TRUE(report.customData());
            EXPECT_EQ(std::string(report.customData()->begin(), report.customData()->end()), "custom");
            const auto thread = crashedThread(report);
            ASSERT_TRUE(thread);
            std::vector<std::string> registers;
            for (const auto& reg : thread->registers()) registers.push_back(reg->registerName());
            EXPECT_NE(std::find(registers.begin(), registers.end(), "rip"), registers.end());
            EXPECT_NE(std::find(registers.begin(), registers.end(), "rsp"), registers.end());
            EXPECT_EQ(fromFirstHelperFrame(frameNames(thread->stackFrames()), c.frames.size()), c.frames);
            if (c.signal == SIGSEGV) {
                EXPECT_EQ(report.signalInfo()->address(), 0x10u);
            }

            const auto image = report.imageForAddress(thread->stackFrames().front()->instructionPointer());
            bool helperImage = false;
            for (const auto& candidate : report.images()) {
                if (candidate->imageName() != fs::canonical(helper).string()) continue;
                helperImage = true;
                EXPECT_EQ(candidate->imageUUID().value_or(""), buildId);
            }
            EXPECT_TRUE(helperImage);
            EXPECT_TRUE(image);
        }
    }
}

TEST(CrashReporterCrash, AnUncaughtCxxExceptionKeepsItsTypeTextAndThrowSite) {
    for (const char* helper : kHelpers) {
        SCOPED_TRACE(helper);
        const Crash result = crash(helper, "cxx");
        EXPECT_EQ(result.signal, SIGABRT);
        EXPECT_FALSE(result.markerLeft);
        ASSERT_TRUE(result.report);
        ASSERT_TRUE(result.report->hasExceptionInfo());
        const auto& exception = *result.report->exceptionInfo();
        EXPECT_EQ(exception.exceptionName(), "std::runtime_error");
        EXPECT_EQ(exception.exceptionReason(), "helper failure: the track plan is upside down");
        ASSERT_TRUE(exception.stackFrames());
        // The throw site's frames, not those of the terminate path.
        EXPECT_EQ(fromFirstHelperFrame(frameNames(*exception.stackFrames()), 4),
                  (std::vector<std::string>{"helper_crash_cxx", "helper_level2", "helper_level1", "main"}));
    }
}

TEST(CrashReporterCrash, StackOverflowsAndDeepStacksAreReportedWithAtMost512Frames) {
    for (const char* helper : kHelpers) {
        for (const std::string mode : {"overflow", "overflow-thread", "deep"}) {
            SCOPED_TRACE(std::string(helper) + " " + mode);
            const Crash result = crash(helper, mode);
            EXPECT_EQ(result.signal, SIGSEGV);
            EXPECT_FALSE(result.markerLeft);
            ASSERT_TRUE(result.report);
            const auto thread = crashedThread(*result.report);
            ASSERT_TRUE(thread);
            const std::vector<std::string> names = frameNames(thread->stackFrames());
            EXPECT_EQ(names.size(), 512u);
            const size_t recursions = std::count(names.begin(), names.end(), "helper_recurse");
            EXPECT_GE(recursions, 500u);
        }
    }
}

TEST(CrashReporterCrash, ACrashOnASecondThreadListsEveryThreadWithItsFrames) {
    for (const char* helper : kHelpers) {
        SCOPED_TRACE(helper);
        const Crash result = crash(helper, "thread");
        EXPECT_EQ(result.signal, SIGSEGV);
        EXPECT_FALSE(result.markerLeft);
        ASSERT_TRUE(result.report);
        const auto& threads = result.report->threads();
        ASSERT_EQ(threads.size(), 6u);  // main, four idle, the crasher
        const auto thread = crashedThread(*result.report);
        ASSERT_TRUE(thread);
        EXPECT_EQ(fromFirstHelperFrame(frameNames(thread->stackFrames()), 2),
                  (std::vector<std::string>{"helper_crash_segv", "helper_crashing_thread"}));
        size_t idle = 0;
        for (size_t i = 0; i < threads.size(); ++i) {
            EXPECT_EQ(threads[i]->threadNumber(), static_cast<int64_t>(i));
            const std::vector<std::string> names = frameNames(threads[i]->stackFrames());
            idle += std::count(names.begin(), names.end(), "helper_idle_thread");
            if (!threads[i]->crashed()) {
                EXPECT_TRUE(threads[i]->registers().empty());
            }
        }
        EXPECT_EQ(idle, 4u);
    }
}

#endif

}  // namespace
