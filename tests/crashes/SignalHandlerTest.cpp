// The signal chain: order of callbacks, forwarding to the actions installed
// before, re-raising, alternate stacks per thread; each case in a child
// process, as actions stay installed for a process's life.

#include "crashes/reporter/async/TLCrashMachException.h"
#include "crashes/reporter/setup/TLCrashSignalHandler.h"

#include <gtest/gtest.h>

#include <pthread.h>
#include <unistd.h>

#include <string>

namespace {

std::string gOrder;

bool recordA(int, siginfo_t*, ucontext_t*, void* context, const tlcrash_signal_handler_continuation* next) {
    gOrder += static_cast<const char*>(context);
    return tlcrash_signal_handler_forward(next, SIGUSR1, nullptr, nullptr) || gOrder.size() > 100;
}

bool declineAndForward(int signo, siginfo_t* info, ucontext_t* uap, void*,
                       const tlcrash_signal_handler_continuation* next) {
    gOrder += "d";
    return tlcrash_signal_handler_forward(next, signo, info, uap);
}

int gPreviousCalls;
void previousWithInfo(int, siginfo_t*, void*) { ++gPreviousCalls; }

void install(int signo, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigaction(signo, &action, nullptr);
}

TEST(SignalHandlerDeathTest, RunsTheLatestCallbackFirstAndHandsOnDownTheChain) {
    EXPECT_EXIT(
        {
            install(SIGUSR1, SIG_IGN);
            auto& handler = TLCrashSignalHandler::sharedHandler();
            handler.registerHandlerForSignal(SIGUSR1, recordA, const_cast<char*>("a"));
            handler.registerHandlerForSignal(SIGUSR1, recordA, const_cast<char*>("b"));
            raise(SIGUSR1);
            // The previous action ignored it, so the process goes on.
            _exit(gOrder == "ba" ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

TEST(SignalHandlerDeathTest, ReRaisesASignalWhosePreviousActionIsTheDefault) {
    EXPECT_EXIT(
        {
            install(SIGUSR2, SIG_DFL);
            TLCrashSignalHandler::sharedHandler().registerHandlerForSignal(SIGUSR2, declineAndForward, nullptr);
            raise(SIGUSR2);
            _exit(0);
        },
        testing::KilledBySignal(SIGUSR2), "");
}

TEST(SignalHandlerDeathTest, CallsAPreviousHandlerOnceThoughRegisteredTwice) {
    EXPECT_EXIT(
        {
            struct sigaction previous {};
            previous.sa_sigaction = previousWithInfo;
            previous.sa_flags = SA_SIGINFO;
            sigaction(SIGUSR1, &previous, nullptr);
            auto& handler = TLCrashSignalHandler::sharedHandler();
            if (!handler.registerHandlerWithSignal(SIGUSR1) || !handler.registerHandlerWithSignal(SIGUSR1)) _exit(2);
            handler.registerHandlerForSignal(SIGUSR1, declineAndForward, nullptr);
            raise(SIGUSR1);
            _exit(gPreviousCalls == 1 && gOrder == "d" ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

// Overflows the stack of a new thread, attached or not, with the handler
// leaving through _exit(7).
bool leave(int, siginfo_t*, ucontext_t*, void*, const tlcrash_signal_handler_continuation*) { _exit(7); }

#pragma GCC diagnostic ignored "-Winfinite-recursion"
__attribute__((noinline)) int recurse(volatile char* previous) {
    volatile char frame[512];
    frame[0] = previous != nullptr ? previous[0] : 1;
    return recurse(frame) + frame[0];
}

void* overflow(void* attach) {
    if (attach != nullptr) TLCrashSignalHandler::attachCurrentThread();
    return reinterpret_cast<void*>(static_cast<intptr_t>(recurse(nullptr)));
}

void overflowOnThread(bool attach) {
    TLCrashSignalHandler::sharedHandler().registerHandlerForSignal(SIGSEGV, leave, nullptr);
    pthread_t thread;
    pthread_create(&thread, nullptr, overflow, attach ? &thread : nullptr);
    pthread_join(thread, nullptr);
    _exit(0);
}

TEST(SignalHandlerDeathTest, ReachesTheHandlerOnAnOverflowedThreadThatAttached) {
    EXPECT_EXIT(overflowOnThread(true), testing::ExitedWithCode(7), "");
#ifndef __SANITIZE_ADDRESS__
    // AddressSanitizer gives every thread an alternate stack of its own.
    EXPECT_EXIT(overflowOnThread(false), testing::KilledBySignal(SIGSEGV), "");
#endif
}

TEST(MachException, MapsToTheSignalsOfLinux) {
    const struct {
        uint32_t type;
        uint64_t code0;
        int signo;
        int code;
    } cases[] = {
        {1, 1, SIGSEGV, SEGV_MAPERR},
        {1, 2, SIGBUS, BUS_ADRERR},
        {2, 0, SIGILL, 0},
        {3, 0, SIGFPE, 0},
        {4, 0, SIGILL, 0},
        {5, 0x10000, SIGSYS, 0},
        {5, 0x10001, SIGPIPE, 0},
        {5, 0x10002, SIGABRT, 0},
        {5, 0x10003, SIGKILL, 0},
        {5, 7, SIGABRT, 0},
        {6, 0, SIGTRAP, TRAP_BRKPT},
    };
    for (const auto& c : cases) {
        const uint64_t codes[2] = {c.code0, 0xDEAD};
        int signo = 0, code = -1;
        uint64_t address = 0;
        ASSERT_TRUE(tlcrash_mach_exception_to_signal(c.type, codes, 2, &signo, &code, &address)) << c.type;
        EXPECT_EQ(signo, c.signo) << c.type << " " << c.code0;
        EXPECT_EQ(code, c.code) << c.type << " " << c.code0;
        EXPECT_EQ(address, 0xDEADu);
    }
    const uint64_t codes[2] = {1, 2};
    int signo, code;
    uint64_t address;
    EXPECT_FALSE(tlcrash_mach_exception_to_signal(1, codes, 1, &signo, &code, &address));
    EXPECT_FALSE(tlcrash_mach_exception_to_signal(7, codes, 2, &signo, &code, &address));
}

}  // namespace
