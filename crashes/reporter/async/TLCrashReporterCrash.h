#pragma once
// The crash reporter's crash path: the callback the signal chain runs for a
// fatal signal, which writes the report to a new pending file, and the
// context it reads, filled when the reporter is enabled
// (setup/TLCrashReporter.h). Async-signal-safe.

#include "crashes/reporter/async/TLCrashAsyncImageRegistry.h"
#include "crashes/reporter/async/TLCrashCallbacks.h"
#include "crashes/reporter/async/TLCrashLogWriter.h"
#include "crashes/reporter/async/TLCrashSignalDispatch.h"

#include <signal.h>
#include <ucontext.h>

#include <cstdint>

// The first pending report's name; later ones are "live_report.<N>.tlcrash".
inline constexpr const char* TLCRASH_PENDING_REPORT_NAME = "live_report.tlcrash";
// The signals the reporter catches.
inline constexpr int TLCRASH_FATAL_SIGNALS[] = {SIGABRT, SIGBUS, SIGFPE, SIGILL, SIGSEGV, SIGTRAP};

// Gathered at enable time; the crash path only reads it.
struct tlcrash_reporter_crash_context {
    tlcrash_log_writer writer;
    char directory[4096];
    uint64_t number;  // 0: the plain name
    TLCrashCallbacks callbacks;
    tlcrash_async_image_registry* registry;
};
extern tlcrash_reporter_crash_context tlcrash_reporter_context;

// The pending path of `number` in the context's folder: false when it does
// not fit in `size` bytes.
bool tlcrash_reporter_pending_path(char* out, size_t size, uint64_t number);

// Writes the report to `fd` within the report limit and closes it.
tlcrash_error_t tlcrash_reporter_write_report(int fd, tlcrash_log_writer* writer,
                                              tlcrash_async_image_registry* registry, tlcrash_thread_t crashed,
                                              const tlcrash_log_signal_info* info,
                                              const tlcrash_async_thread_state* state);

// The reporter's link of the signal chain: writes the report of the signal
// to a new pending file and runs the application's callback; never takes the
// signal, so the process still dies of it.
bool tlcrash_reporter_crash_callback(int signo, siginfo_t* info, ucontext_t* uap, void* context,
                                     const tlcrash_signal_handler_continuation* next);
