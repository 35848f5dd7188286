#include "crashes/reporter/async/TLCrashReporterCrash.h"

#include "crashes/reporter/async/TLCrashAsyncFile.h"

#include <fcntl.h>

#include <cerrno>

tlcrash_reporter_crash_context tlcrash_reporter_context;

namespace {

constexpr size_t kReportLimit = 256 * 1024;
// Names tried after the chosen one when another process took it.
constexpr uint64_t kNameAttempts = 64;

// Appends `text` at `at` within `size` bytes; false when it does not fit.
bool append(char* out, size_t size, size_t* at, const char* text) {
    for (; *text != '\0'; ++text) {
        if (*at + 1 >= size) return false;
        out[(*at)++] = *text;
    }
    out[*at] = '\0';
    return true;
}

// Opens a new pending report file, never one that exists.
int openNewPendingReport() {
    static char path[4200];
    for (uint64_t i = 0; i < kNameAttempts; ++i) {
        if (!tlcrash_reporter_pending_path(path, sizeof path, tlcrash_reporter_context.number + i)) return -1;
        const int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

}  // namespace

bool tlcrash_reporter_pending_path(char* out, size_t size, uint64_t number) {
    size_t at = 0;
    out[0] = '\0';
    if (!append(out, size, &at, tlcrash_reporter_context.directory) || !append(out, size, &at, "/")) return false;
    if (number == 0) return append(out, size, &at, TLCRASH_PENDING_REPORT_NAME);
    char digits[24];
    size_t n = 0;
    do {
        digits[n++] = static_cast<char>('0' + number % 10);
        number /= 10;
    } while (number != 0);
    char reversed[24];
    for (size_t i = 0; i < n; ++i) reversed[i] = digits[n - 1 - i];
    reversed[n] = '\0';
    return append(out, size, &at, "live_report.") && append(out, size, &at, reversed) &&
           append(out, size, &at, ".tlcrash");
}

tlcrash_error_t tlcrash_reporter_write_report(int fd, tlcrash_log_writer* writer,
                                              tlcrash_async_image_registry* registry, tlcrash_thread_t crashed,
                                              const tlcrash_log_signal_info* info,
                                              const tlcrash_async_thread_state* state) {
    tlcrash_async_file file;
    tlcrash_async_file_init(&file, fd, kReportLimit);
    const tlcrash_error_t written = tlcrash_log_writer_write(writer, crashed, registry, &file, info, state);
    tlcrash_log_writer_close(writer);
    if (!tlcrash_async_file_close(&file)) return TLCRASH_ERR_INTERNAL;
    return written;
}

bool tlcrash_reporter_crash_callback(int signo, siginfo_t* info, ucontext_t* uap, void*,
                                     const tlcrash_signal_handler_continuation*) {
    // A fault inside the reporter then ends the process the default way.
    for (int fatal : TLCRASH_FATAL_SIGNALS) {
        struct sigaction fallback {};
        fallback.sa_handler = SIG_DFL;
        sigemptyset(&fallback.sa_mask);
        sigaction(fatal, &fallback, nullptr);
    }
    tlcrash_async_thread_state state;
    tlcrash_async_thread_state_load_from_context(&state, uap);
    // Signals sent by a process or raise() carry the sender, not an address.
    const uint64_t address = info->si_code > 0 ? reinterpret_cast<uint64_t>(info->si_addr) : 0;
    const tlcrash_log_bsd_signal_info bsd{signo, info->si_code, address};
    const tlcrash_log_signal_info signalInfo{&bsd, nullptr};

    tlcrash_reporter_crash_context& context = tlcrash_reporter_context;
    const int fd = openNewPendingReport();
    if (fd < 0) return false;
    if (tlcrash_reporter_write_report(fd, &context.writer, context.registry, tlcrash_current_thread_port(), &signalInfo,
                                      &state) != TLCRASH_ERR_NONE) {
        return false;
    }
    if (context.callbacks.handleSignal != nullptr) {
        context.callbacks.handleSignal(info, uap, context.callbacks.context);
    }
    return false;
}
