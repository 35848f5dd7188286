#include "crashes/reporter/setup/TLCrashThreadsSetup.h"

#include <signal.h>

#include <mutex>

bool tlcrash_async_threads_install() {
    static std::mutex lock;
    std::lock_guard<std::mutex> guard(lock);
    if (tlcrash_async_threads_signal() != 0) return true;
    for (int signo = SIGRTMAX; signo >= SIGRTMIN; --signo) {
        struct sigaction current {};
        if (sigaction(signo, nullptr, &current) != 0) continue;
        if ((current.sa_flags & SA_SIGINFO) != 0 || current.sa_handler != SIG_DFL) continue;
        struct sigaction action {};
        action.sa_sigaction = tlcrash_async_threads_answer;
        sigfillset(&action.sa_mask);
        action.sa_flags = SA_SIGINFO | SA_RESTART | SA_ONSTACK;
        if (sigaction(signo, &action, nullptr) != 0) return false;
        tlcrash_async_threads_use_signal(signo);
        return true;
    }
    return false;
}
