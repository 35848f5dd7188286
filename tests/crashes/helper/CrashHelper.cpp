// A program that enables the real crash reporter and then dies the way its
// first argument names. The crash reporter tests run it and read the report
// it leaves. Its functions are exported (linked with -rdynamic) so that the
// report names them, and none is inlined or called as a tail call, so that
// each stays a frame of its own.
//
// Usage: crash_helper MODE BASE_PATH MARKER_PATH
//        crash_helper service-MODE LOG_URL
//
// The second form starts the telemetry client with the crashes service,
// sending to LOG_URL, prints its process id and dies the way MODE names:
// "segv", "inflight-segv" (four events, the last with a target token, are
// held on their way to the database first), "kill" (SIGKILL, which no one
// sees), "cxx-latin1" (an uncaught filesystem error naming a path in
// Latin-1), "overflow-started-thread" (a stack overflow on a thread
// started through the platform's thread start) or "overflow-on:LABEL" (a
// stack overflow on the thread of the queue LABEL names, or of that name:
// threads that run before crash capture is set up). "start" does not die:
// it waits until the stored reports were processed and their logs stored,
// then ends.
//
// Every allocation while the crash path runs, from the signal handler's
// entry to the report's close, leaves MARKER_PATH behind.

#include "crashes/TelemetryCrashes/Internals/Util/TLMCrashesCXXExceptionWrapperException.h"
#include "crashes/TelemetryCrashes/TLMCrashes.h"
#include "crashes/reporter/setup/TLCrashReporter.h"
#include "crashes/reporter/setup/TLCrashSignalHandler.h"
#include "SharingModule/Model/QLCloudLayoutsCache.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/ThreadStart.h"
#include "platform/net/URLSession.h"
#include "telemetry/Internals/Model/TLMEventLog.h"
#include "telemetry/TLMAnalytics.h"
#include "telemetry/TLMLogger.h"
#include "telemetry/TLMTelemetry.h"
#include "telemetry/core/Util/TLMUuid.h"

#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#define HELPER extern "C" __attribute__((noinline, used, visibility("default")))
#define KEEP_FRAME() asm volatile("" ::: "memory")

namespace {

std::atomic<bool> gCrashPath{false};
const char* gMarker = "";

void markAllocation() {
    if (!gCrashPath.load()) return;
    const int fd = open(gMarker, O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd >= 0) {
        const char line[] = "allocation on the crash path\n";
        (void)!write(fd, line, sizeof line - 1);
        close(fd);
    }
}

// Runs first on every fatal signal: marks the crash path while the
// reporter's callback, next in the chain, writes the report.
bool watchCrashPath(int signo, siginfo_t* info, ucontext_t* uap, void*,
                    const tlcrash_signal_handler_continuation* next) {
    gCrashPath.store(true);
    const bool handled = tlcrash_signal_handler_forward(next, signo, info, uap);
    gCrashPath.store(false);
    return handled;
}

// What the crashes service does with an uncaught C++ exception.
void forwardCxxException(const TLMCrashesCXXExceptionInfo* info) {
    const TLMCrashesCXXExceptionWrapperException wrapper(info);
    if (TLCrashUncaughtExceptionHandler handler = TLCrashGetUncaughtExceptionHandler()) handler(wrapper);
    std::abort();
}

volatile int gZero = 0;
volatile int gSink = 0;

}  // namespace

extern "C" void* __libc_malloc(size_t);
extern "C" void* __libc_calloc(size_t, size_t);
extern "C" void* __libc_realloc(void*, size_t);
extern "C" void* __libc_memalign(size_t, size_t);

extern "C" void* malloc(size_t size) {
    markAllocation();
    return __libc_malloc(size);
}
extern "C" void* calloc(size_t count, size_t size) {
    markAllocation();
    return __libc_calloc(count, size);
}
extern "C" void* realloc(void* pointer, size_t size) {
    markAllocation();
    return __libc_realloc(pointer, size);
}
extern "C" void* aligned_alloc(size_t alignment, size_t size) {
    markAllocation();
    return __libc_memalign(alignment, size);
}
extern "C" void* memalign(size_t alignment, size_t size) {
    markAllocation();
    return __libc_memalign(alignment, size);
}
extern "C" int posix_memalign(void** out, size_t alignment, size_t size) {
    markAllocation();
    *out = __libc_memalign(alignment, size);
    return *out != nullptr ? 0 : ENOMEM;
}

HELPER void helper_crash_segv() {
    volatile int* const unmapped = reinterpret_cast<volatile int*>(gSink + 0x10);
    *unmapped = 1;
    KEEP_FRAME();
}

// Ends in a call that never returns: its return address lies past its end.
HELPER [[noreturn]] void helper_crash_abort() { std::abort(); }

HELPER void helper_crash_ill() {
    asm volatile("ud2");
    KEEP_FRAME();
}

HELPER void helper_crash_fpe() {
    gSink = 7 / gZero;
    KEEP_FRAME();
}

HELPER void helper_crash_bus() {
    // A page of a file with no bytes behind it.
    FILE* file = tmpfile();
    void* page = mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fileno(file), 0);
    gSink = *static_cast<volatile int*>(page);
    KEEP_FRAME();
}

HELPER void helper_crash_trap() {
    asm volatile("int3");
    KEEP_FRAME();
}

HELPER void helper_crash_cxx() { throw std::runtime_error("helper failure: the track plan is upside down"); }

HELPER int helper_recurse(int depth, int limit) {
    volatile char frame[256];
    frame[0] = static_cast<char>(depth);
    if (limit > 0 && depth >= limit) {
        helper_crash_segv();
        return frame[0];
    }
    const int result = helper_recurse(depth + 1, limit);
    KEEP_FRAME();
    return result + frame[0];
}

HELPER void helper_overflow_on_signal(int) { helper_recurse(0, 0); }

HELPER void* helper_overflow_thread(void*) {
    TLCrashSignalHandler::attachCurrentThread();
    helper_recurse(0, 0);
    return nullptr;
}

std::atomic<int> gIdleThreads{0};

HELPER void helper_throw_latin1() {
    throw std::filesystem::filesystem_error("cannot open the layout", std::filesystem::path("/tmp/Caf\xE9.layout"),
                                            std::make_error_code(std::errc::no_such_file_or_directory));
}

HELPER void* helper_idle_thread(void*) {
    gIdleThreads.fetch_add(1);
    for (;;) pause();
}

HELPER void* helper_crashing_thread(void*) {
    helper_crash_segv();
    KEEP_FRAME();
    return nullptr;
}

HELPER void helper_level2(const std::string& mode) {
    if (mode == "segv") helper_crash_segv();
    if (mode == "abort") helper_crash_abort();
    if (mode == "ill") helper_crash_ill();
    if (mode == "fpe") helper_crash_fpe();
    if (mode == "bus") helper_crash_bus();
    if (mode == "trap") helper_crash_trap();
    if (mode == "cxx") helper_crash_cxx();
    if (mode == "deep") helper_recurse(0, 600);
    if (mode == "overflow") helper_recurse(0, 0);
    if (mode == "overflow-thread" || mode == "thread") {
        pthread_t threads[4];
        for (pthread_t& t : threads) pthread_create(&t, nullptr, helper_idle_thread, nullptr);
        while (gIdleThreads.load() < 4) sched_yield();
        pthread_t crasher;
        pthread_create(&crasher, nullptr, mode == "thread" ? helper_crashing_thread : helper_overflow_thread, nullptr);
        pthread_join(crasher, nullptr);
    }
    KEEP_FRAME();
}

HELPER void helper_level1(const std::string& mode) {
    helper_level2(mode);
    KEEP_FRAME();
}

// What the app has running before it starts telemetry: the telemetry
// logger's queue, the layouts cache's, the clock's timers and the URL
// session's worker (a transfer starts it).
void startThreadsBeforeCapture(const std::string& logUrl) {
    TLMLogger::currentLogLevel();
    QLCloudLayoutsCache::sharedInstance();
    platform::Clock::shared()->callAt(platform::Clock::shared()->instant(), [] {});
    static const auto session = platform::net::URLSession::sessionWithConfiguration(
        platform::net::URLSessionConfiguration::ephemeralSessionConfiguration(), nullptr, nullptr);
    session->dataTaskWithRequest(platform::net::URLRequest(*platform::net::URL::parse(logUrl)))->resume();
}

// The ids of this process's threads named `name`.
std::vector<pid_t> threadsNamed(const std::string& name) {
    std::vector<pid_t> found;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task", error)) {
        std::ifstream comm(entry.path() / "comm");
        std::string line;
        if (std::getline(comm, line) && line == name) found.push_back(std::stoi(entry.path().filename().string()));
    }
    return found;
}

// Overflows the stack of the thread that bears `label` (as much of it as a
// thread's name holds), in the handler of a signal sent to that thread
// alone: the handler runs on the thread's own stack. Returns only when not
// one thread bears the name (7 when several do, 8 when none came) or when
// the process outlived the overflow (4).
int overflowOnThread(const std::string& label) {
    constexpr std::size_t kNameLength = 15;
    const std::string name = label.size() <= kNameLength ? label : label.substr(label.size() - kNameLength);
    struct sigaction action {};
    action.sa_handler = helper_overflow_on_signal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGUSR1, &action, nullptr);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
        const std::vector<pid_t> found = threadsNamed(name);
        if (found.size() > 1) return 7;
        if (found.size() == 1) {
            syscall(SYS_tgkill, getpid(), found[0], SIGUSR1);
            break;
        }
        if (std::chrono::steady_clock::now() > deadline) return 8;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::this_thread::sleep_for(std::chrono::seconds(10));
    return 4;
}

int serviceMain(const std::string& mode, const std::string& logUrl) {
    const std::string overflowOn = "overflow-on:";
    const bool overflowOnNamedThread = mode.rfind(overflowOn, 0) == 0;
    if (overflowOnNamedThread) startThreadsBeforeCapture(logUrl);
    TLMTelemetry::setLogUrl(logUrl);
    TLMTelemetry::start("3f0c21d7-9a4e-4b6b-8e15-2c90f4a6d7e3",
                        {[]() -> TLMServiceAbstract& { return TLMAnalytics::sharedInstance(); },
                         []() -> TLMServiceAbstract& { return TLMCrashes::sharedInstance(); }});
    std::printf("%d\n", static_cast<int>(getpid()));
    std::fflush(stdout);
    if (mode == "inflight-segv") {
        // The logs queue is held, so the events stay between prepared and stored.
        std::atomic<bool> held{false};
        TLMTelemetry::sharedInstance().channelGroup()->logsDispatchQueue()->async([&held] {
            held = true;
            for (;;) pause();
        });
        while (!held.load()) sched_yield();
        for (int i = 0; i < 4; ++i) {
            auto event = std::make_shared<TLMEventLog>();
            event->setName("InFlight" + std::to_string(i));
            event->setEventId(TLMNewUuidString());
            // The last one is for a transmission target only.
            if (i == 3) event->addTransmissionTargetToken("inflightkey-token");
            TLMAnalytics::sharedInstance().channelUnit()->enqueueItem(event, TLMFlagsDefault);
        }
    }
    if (overflowOnNamedThread) return overflowOnThread(mode.substr(overflowOn.size()));
    if (mode == "kill") raise(SIGKILL);
    if (mode == "cxx-latin1") helper_throw_latin1();
    if (mode == "overflow-started-thread") {
        platform::startThread([] { helper_recurse(0, 0); }).join();
    }
    if (mode == "start") {
        TLMCrashes& crashes = TLMCrashes::sharedInstance();
        if (!crashes.waitForProcessing(std::chrono::seconds(10))) return 5;
        // A report's file goes once its log is in the database.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!crashes.persistedCrashReports().empty()) {
            if (std::chrono::steady_clock::now() > deadline) return 6;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return 0;
    }
    helper_level1("segv");
    return 4;
}

int main(int argc, char** argv) {
    if (argc == 3 && std::strncmp(argv[1], "service-", 8) == 0) return serviceMain(argv[1] + 8, argv[2]);
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s MODE BASE_PATH MARKER_PATH\n", argv[0]);
        return 2;
    }
    gMarker = argv[3];
    auto config = std::make_shared<TLCrashReporterConfig>(TLCrashReporterConfig::BSD,
                                                          TLCrashReporterConfig::SymbolTable, true, argv[2]);
    TLCrashReporter reporter("com.vekmont.crashhelper", "42", std::string("4.2"), config);
    reporter.setCustomData(TLCrashReporter::Data{'c', 'u', 's', 't', 'o', 'm'});
    std::optional<platform::Error> error;
    if (!reporter.enableCrashReporter(&error)) {
        std::fprintf(stderr, "enable failed\n");
        return 3;
    }
    for (int signo : {SIGABRT, SIGBUS, SIGFPE, SIGILL, SIGSEGV, SIGTRAP}) {
        TLCrashSignalHandler::sharedHandler().registerHandlerForSignal(signo, watchCrashPath, nullptr);
    }
    TLMCrashesUncaughtCXXExceptionHandlerManager::addCXXExceptionHandler(forwardCxxException);
    helper_level1(argv[1]);
    return 4;
}
