#include "crashes/reporter/async/TLCrashLogWriter.h"

#include "crashes/reporter/async/TLCrashAsyncFrameCursor.h"
#include "crashes/reporter/async/TLCrashAsyncSymbols.h"
#include "crashes/reporter/async/TLCrashAsyncThreads.h"
#include "crashes/reporter/async/TLCrashProtobufEncoder.h"

#include <signal.h>

#include <cstdint>
#include <ctime>

namespace {

size_t writeText(tlcrash_async_file* file, uint32_t field, const tlcrash_log_writer_string& text) {
    return tlcrash_writer_encode_bytes(file, field, text.value != nullptr ? text.value : "", text.length);
}

size_t processor(tlcrash_async_file* file, uint32_t field, uint64_t type, uint64_t subtype) {
    return tlcrash_writer_encode_message(file, field, [&](tlcrash_async_file* f) {
        return tlcrash_writer_encode_enum(f, 1, 1) + tlcrash_writer_encode_uint64(f, 2, type) +
               tlcrash_writer_encode_uint64(f, 3, subtype);
    });
}

// "#" and the decimal number, for any 32-bit value.
void numberName(char* out, int value) {
    char digits[12];
    size_t n = 0;
    uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
    do {
        digits[n++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    size_t at = 0;
    out[at++] = '#';
    if (value < 0) out[at++] = '-';
    while (n > 0) out[at++] = digits[--n];
    out[at] = '\0';
}

struct Writing {
    tlcrash_log_writer* writer;
    tlcrash_async_image_registry* registry;
};

// A stack frame as `field`; its symbol is looked up at `lookup`, which is
// one byte before a return address, so that a call at the very end of a
// function is named by that function and not the next.
size_t frame(const Writing& w, tlcrash_async_file* file, uint32_t field, uint64_t pc, uint64_t lookup) {
    return tlcrash_writer_encode_message(file, field, [&](tlcrash_async_file* f) {
        size_t n = tlcrash_writer_encode_uint64(f, 3, pc);
        if (w.writer->symbolication_strategy == 0) return n;
        tlcrash_async_image_registry_set_reading(w.registry, true);
        const tlcrash_async_image* image = tlcrash_async_image_registry_image_containing_address(w.registry, lookup);
        tlcrash_symbol_lookup_result symbol;
        if (image != nullptr &&
            tlcrash_async_find_symbol(image, w.writer->symbolication_strategy, lookup, &symbol) == TLCRASH_ERR_NONE) {
            n += tlcrash_writer_encode_message(f, 6, [&](tlcrash_async_file* g) {
                return tlcrash_writer_encode_string(g, 1, symbol.name) +
                       tlcrash_writer_encode_uint64(g, 2, symbol.start_address);
            });
        }
        tlcrash_async_image_registry_set_reading(w.registry, false);
        return n;
    });
}

struct ThreadJob {
    uint32_t number;
    bool crashed;
    const tlcrash_async_thread_state* state;
};

// The thread's body: number and flag always, then registers (crashed thread
// only) and frames while they fit in `budget` bytes. Deterministic, so the
// sizing run and the writing run agree.
size_t threadBody(const Writing& w, tlcrash_async_file* file, const ThreadJob& job, size_t budget) {
    size_t n = tlcrash_writer_encode_uint32(file, 1, job.number) + tlcrash_writer_encode_bool(file, 3, job.crashed);
    if (job.state == nullptr) return n;
    tlcrash_async_frame_cursor cursor;
    tlcrash_async_frame_cursor_open(&cursor, tlcrash_task_self(), job.state, w.registry);
    if (tlcrash_async_frame_cursor_step(&cursor) != TLCRASH_FRAME_SUCCESS) return n;
    if (job.crashed) {
        auto registers = [&](tlcrash_async_file* f) {
            size_t size = 0;
            for (uint32_t reg = 0; reg < tlcrash_async_frame_cursor_reg_count(&cursor); ++reg) {
                uint64_t value = 0;
                tlcrash_async_frame_cursor_read_reg(&cursor, reg, &value);
                size += tlcrash_writer_encode_message(f, 4, [&](tlcrash_async_file* g) {
                    return tlcrash_writer_encode_string(g, 1, tlcrash_async_frame_cursor_reg_label(&cursor, reg)) +
                           tlcrash_writer_encode_uint64(g, 2, value);
                });
            }
            return size;
        };
        if (n + registers(nullptr) <= budget) n += registers(file);
    }
    for (uint32_t count = 0; count < TLCRASH_MAX_FRAMES; ++count) {
        uint64_t pc;
        if (tlcrash_async_frame_cursor_read_reg(&cursor, TLCRASH_REG_IP, &pc) != TLCRASH_FRAME_SUCCESS) break;
        const uint64_t lookup = count > 0 && pc > 0 ? pc - 1 : pc;
        const size_t size = frame(w, nullptr, 2, pc, lookup);
        if (n + size > budget) break;
        n += frame(w, file, 2, pc, lookup);
        if (tlcrash_async_frame_cursor_step(&cursor) != TLCRASH_FRAME_SUCCESS) break;
    }
    tlcrash_async_frame_cursor_close(&cursor);
    return n;
}

constexpr size_t kUnlimited = SIZE_MAX;

size_t varintLength(uint64_t value) {
    uint8_t scratch[TLCRASH_VARINT_MAX_BYTES];
    return tlcrash_writer_encode_varint64(scratch, value);
}

// The thread message within `budget` bytes in all (at least its number and
// flag; kUnlimited for no limit): its size.
size_t thread(const Writing& w, tlcrash_async_file* file, const ThreadJob& job, size_t budget) {
    const size_t header = 1 + varintLength(budget);
    const size_t bodyBudget = budget == kUnlimited ? kUnlimited : budget > header ? budget - header : 0;
    return tlcrash_writer_encode_message(file, 3,
                                         [&](tlcrash_async_file* f) { return threadBody(w, f, job, bodyBudget); });
}

size_t image(tlcrash_async_file* file, const tlcrash_async_image* image) {
    return tlcrash_writer_encode_message(file, 4, [&](tlcrash_async_file* f) {
        size_t n = tlcrash_writer_encode_uint64(f, 2, image->text_size) +
                   tlcrash_writer_encode_uint64(f, 1, image->header_addr) +
                   tlcrash_writer_encode_string(f, 3, image->name != nullptr ? image->name : "");
        if (image->has_uuid) n += tlcrash_writer_encode_bytes(f, 4, image->uuid, sizeof image->uuid);
        uint64_t type, subtype;
        if (tlcrash_async_image_cpu_type(image, &type, &subtype)) n += processor(f, 5, type, subtype);
        return n;
    });
}

size_t reportInfo(const tlcrash_log_writer* writer, tlcrash_async_file* file) {
    return tlcrash_writer_encode_message(file, 9, [&](tlcrash_async_file* f) {
        return tlcrash_writer_encode_bool(f, 1, writer->report_info.user_requested) +
               tlcrash_writer_encode_bytes(f, 2, writer->report_info.uuid, 16);
    });
}

size_t systemInfo(const tlcrash_log_writer* writer, tlcrash_async_file* file, int64_t timestamp) {
    return tlcrash_writer_encode_message(file, 1, [&](tlcrash_async_file* f) {
        return tlcrash_writer_encode_enum(f, 1, 1) + writeText(f, 2, writer->system_info.os_version) +
               writeText(f, 5, writer->system_info.os_build) + tlcrash_writer_encode_enum(f, 3, 6) +
               tlcrash_writer_encode_int64(f, 4, timestamp);
    });
}

size_t machineInfo(const tlcrash_log_writer* writer, tlcrash_async_file* file) {
    const auto& m = writer->machine_info;
    return tlcrash_writer_encode_message(file, 8, [&](tlcrash_async_file* f) {
        size_t n = m.model.value != nullptr ? writeText(f, 1, m.model) : 0;
        return n + processor(f, 2, static_cast<uint64_t>(m.cpu_type), static_cast<uint64_t>(m.cpu_subtype)) +
               tlcrash_writer_encode_uint32(f, 3, m.processor_count) +
               tlcrash_writer_encode_uint32(f, 4, m.logical_processor_count);
    });
}

size_t applicationInfo(const tlcrash_log_writer* writer, tlcrash_async_file* file) {
    const auto& a = writer->application_info;
    return tlcrash_writer_encode_message(file, 2, [&](tlcrash_async_file* f) {
        return writeText(f, 1, a.identifier) + writeText(f, 2, a.version) + writeText(f, 3, a.marketing_version);
    });
}

size_t processInfo(const tlcrash_log_writer* writer, tlcrash_async_file* file) {
    const auto& p = writer->process_info;
    return tlcrash_writer_encode_message(file, 7, [&](tlcrash_async_file* f) {
        return writeText(f, 1, p.process_name) +
               tlcrash_writer_encode_uint32(f, 2, static_cast<uint32_t>(p.process_id)) +
               writeText(f, 3, p.process_path) + writeText(f, 4, p.parent_process_name) +
               tlcrash_writer_encode_uint32(f, 5, static_cast<uint32_t>(p.parent_process_id)) +
               tlcrash_writer_encode_bool(f, 6, p.native) +
               tlcrash_writer_encode_uint64(f, 7, static_cast<uint64_t>(p.start_time));
    });
}

size_t exception(const Writing& w, tlcrash_async_file* file) {
    const auto& e = w.writer->uncaught_exception;
    return tlcrash_writer_encode_message(file, 5, [&](tlcrash_async_file* f) {
        size_t n = tlcrash_writer_encode_string(f, 1, e.name) + tlcrash_writer_encode_string(f, 2, e.reason);
        for (size_t i = 0; i < e.call_stack_count && i < TLCRASH_MAX_FRAMES; ++i) {
            // Every address is a return address; frames are field 3 here.
            const uint64_t pc = e.call_stack[i];
            n += frame(w, f, 3, pc, pc > 0 ? pc - 1 : pc);
        }
        return n;
    });
}

size_t signal(const tlcrash_log_signal_info* info, tlcrash_async_file* file) {
    const tlcrash_log_bsd_signal_info& bsd = *info->bsd_info;
    return tlcrash_writer_encode_message(file, 6, [&](tlcrash_async_file* f) {
        char number[16];
        const char* name = tlcrash_log_signal_name(bsd.signo);
        if (name == nullptr) numberName(number, bsd.signo), name = number;
        size_t n = tlcrash_writer_encode_string(f, 1, name);
        char codeNumber[16];
        const char* code = tlcrash_log_signal_code_name(bsd.signo, bsd.code);
        if (code == nullptr) numberName(codeNumber, bsd.code), code = codeNumber;
        n += tlcrash_writer_encode_string(f, 2, code) + tlcrash_writer_encode_uint64(f, 3, bsd.address);
        if (info->mach_info != nullptr) {
            const tlcrash_log_mach_signal_info& mach = *info->mach_info;
            n += tlcrash_writer_encode_message(f, 4, [&](tlcrash_async_file* g) {
                size_t m = tlcrash_writer_encode_uint64(g, 1, mach.type);
                for (size_t i = 0; i < mach.code_count; ++i) m += tlcrash_writer_encode_uint64(g, 2, mach.codes[i]);
                return m;
            });
        }
        return n;
    });
}

}  // namespace

tlcrash_error_t tlcrash_log_writer_write(tlcrash_log_writer* writer, tlcrash_thread_t crashed_thread,
                                         tlcrash_async_image_registry* registry, tlcrash_async_file* file,
                                         const tlcrash_log_signal_info* signal_info,
                                         const tlcrash_async_thread_state* current_state) {
    const Writing w{writer, registry};
    const time_t now = time(nullptr);
    const int64_t timestamp = now == static_cast<time_t>(-1) ? 0 : now;
    const bool hasException = writer->uncaught_exception.has_exception;

    tlcrash_async_thread_list threads;
    tlcrash_async_threads_suspend(&threads);
    const tlcrash_thread_t self = tlcrash_current_thread_port();

    // The thread jobs, numbered without gaps.
    static ThreadJob jobs[TLCRASH_MAX_THREADS];
    size_t jobCount = 0;
    for (size_t i = 0; i < threads.count; ++i) {
        const tlcrash_async_thread_snapshot& t = threads.threads[i];
        const bool isSelf = t.tid == self;
        if (isSelf && current_state == nullptr) continue;
        const tlcrash_async_thread_state* state = isSelf ? current_state : t.has_state ? &t.state : nullptr;
        jobs[jobCount] = {static_cast<uint32_t>(jobCount), t.tid == crashed_thread, state};
        ++jobCount;
    }

    // What must be written whole, and what the limit leaves beside it.
    static constexpr char kHeader[8] = {'t', 'l', 'c', 'r', 'a', 's', 'h', 1};
    const size_t fixed = sizeof kHeader + reportInfo(writer, nullptr) + systemInfo(writer, nullptr, timestamp) +
                         machineInfo(writer, nullptr) + applicationInfo(writer, nullptr) +
                         processInfo(writer, nullptr) + (hasException ? exception(w, nullptr) : 0) +
                         signal(signal_info, nullptr);
    size_t limit = SIZE_MAX / 2;
    if (file->limit_bytes != 0)
        limit = file->limit_bytes > file->total_bytes ? file->limit_bytes - file->total_bytes : 0;
    static size_t minimal[TLCRASH_MAX_THREADS];
    size_t minimalAll = 0;
    for (size_t i = 0; i < jobCount; ++i) {
        minimal[i] = thread(w, nullptr, jobs[i], 0);
        minimalAll += minimal[i];
    }
    if (fixed + minimalAll > limit) {
        tlcrash_async_threads_resume(&threads);
        return TLCRASH_ERR_OUTPUT;
    }
    size_t spare = limit - fixed - minimalAll;

    // The crashed thread first, then the images, the custom data and the
    // other threads, each with what is left.
    size_t crashedBudget = 0;
    for (size_t i = 0; i < jobCount; ++i) {
        if (!jobs[i].crashed) continue;
        const size_t full = thread(w, nullptr, jobs[i], kUnlimited);
        if (full - minimal[i] <= spare) {
            crashedBudget = kUnlimited;
            spare -= full - minimal[i];
        } else {
            crashedBudget = minimal[i] + spare;
            spare -= thread(w, nullptr, jobs[i], crashedBudget) - minimal[i];
        }
    }
    size_t imageCount = 0;
    tlcrash_async_image_registry_set_reading(registry, true);
    for (const tlcrash_async_image_node* n = nullptr;
         (n = tlcrash_async_image_registry_next(registry, n)) != nullptr;) {
        const size_t size = image(nullptr, n->value);
        if (size > spare) break;
        spare -= size;
        ++imageCount;
    }
    const size_t customSize = writer->custom_data.data != nullptr
                                  ? tlcrash_writer_encode_bytes(nullptr, 10, nullptr, writer->custom_data.length)
                                  : 0;
    const bool withCustom = writer->custom_data.data != nullptr && customSize <= spare;
    if (withCustom) spare -= customSize;

    // Every section is checked: the first refused write ends the report.
    bool ok = tlcrash_async_file_write(file, kHeader, sizeof kHeader);
    if (ok) ok = (reportInfo(writer, file), !file->failed);
    if (ok) ok = (systemInfo(writer, file, timestamp), !file->failed);
    if (ok) ok = (machineInfo(writer, file), !file->failed);
    if (ok) ok = (applicationInfo(writer, file), !file->failed);
    if (ok) ok = (processInfo(writer, file), !file->failed);
    for (size_t i = 0; ok && i < jobCount; ++i) {
        if (jobs[i].crashed) {
            thread(w, file, jobs[i], crashedBudget);
        } else {
            spare -= thread(w, file, jobs[i], minimal[i] + spare) - minimal[i];
        }
        ok = !file->failed;
    }
    size_t written = 0;
    for (const tlcrash_async_image_node* n = nullptr;
         ok && written < imageCount && (n = tlcrash_async_image_registry_next(registry, n)) != nullptr; ++written) {
        image(file, n->value);
        ok = !file->failed;
    }
    tlcrash_async_image_registry_set_reading(registry, false);
    if (ok && hasException) ok = (exception(w, file), !file->failed);
    if (ok) ok = (signal(signal_info, file), !file->failed);
    if (ok && withCustom) {
        ok = (tlcrash_writer_encode_bytes(file, 10, writer->custom_data.data, writer->custom_data.length),
              !file->failed);
    }
    tlcrash_async_threads_resume(&threads);
    return ok ? TLCRASH_ERR_NONE : TLCRASH_ERR_OUTPUT;
}

tlcrash_error_t tlcrash_log_writer_close(tlcrash_log_writer*) { return TLCRASH_ERR_NONE; }

const char* tlcrash_log_signal_name(int signo) {
    static const struct {
        int signo;
        const char* name;
    } kNames[] = {
        {SIGHUP, "SIGHUP"},   {SIGINT, "SIGINT"},       {SIGQUIT, "SIGQUIT"}, {SIGILL, "SIGILL"},
        {SIGTRAP, "SIGTRAP"}, {SIGABRT, "SIGABRT"},     {SIGBUS, "SIGBUS"},   {SIGFPE, "SIGFPE"},
        {SIGKILL, "SIGKILL"}, {SIGUSR1, "SIGUSR1"},     {SIGSEGV, "SIGSEGV"}, {SIGUSR2, "SIGUSR2"},
        {SIGPIPE, "SIGPIPE"}, {SIGALRM, "SIGALRM"},     {SIGTERM, "SIGTERM"}, {SIGSTKFLT, "SIGSTKFLT"},
        {SIGCHLD, "SIGCHLD"}, {SIGCONT, "SIGCONT"},     {SIGSTOP, "SIGSTOP"}, {SIGTSTP, "SIGTSTP"},
        {SIGTTIN, "SIGTTIN"}, {SIGTTOU, "SIGTTOU"},     {SIGURG, "SIGURG"},   {SIGXCPU, "SIGXCPU"},
        {SIGXFSZ, "SIGXFSZ"}, {SIGVTALRM, "SIGVTALRM"}, {SIGPROF, "SIGPROF"}, {SIGWINCH, "SIGWINCH"},
        {SIGIO, "SIGIO"},     {SIGPWR, "SIGPWR"},       {SIGSYS, "SIGSYS"},
    };
    for (const auto& entry : kNames) {
        if (entry.signo == signo) return entry.name;
    }
    return nullptr;
}

const char* tlcrash_log_signal_code_name(int signo, int code) {
    static const struct {
        int signo;
        int code;
        const char* name;
    } kCodes[] = {
        {SIGILL, ILL_ILLOPC, "ILL_ILLOPC"},    {SIGILL, ILL_ILLOPN, "ILL_ILLOPN"},
        {SIGILL, ILL_ILLADR, "ILL_ILLADR"},    {SIGILL, ILL_ILLTRP, "ILL_ILLTRP"},
        {SIGILL, ILL_PRVOPC, "ILL_PRVOPC"},    {SIGILL, ILL_PRVREG, "ILL_PRVREG"},
        {SIGILL, ILL_COPROC, "ILL_COPROC"},    {SIGILL, ILL_BADSTK, "ILL_BADSTK"},
        {SIGFPE, FPE_INTDIV, "FPE_INTDIV"},    {SIGFPE, FPE_INTOVF, "FPE_INTOVF"},
        {SIGFPE, FPE_FLTDIV, "FPE_FLTDIV"},    {SIGFPE, FPE_FLTOVF, "FPE_FLTOVF"},
        {SIGFPE, FPE_FLTUND, "FPE_FLTUND"},    {SIGFPE, FPE_FLTRES, "FPE_FLTRES"},
        {SIGFPE, FPE_FLTINV, "FPE_FLTINV"},    {SIGFPE, FPE_FLTSUB, "FPE_FLTSUB"},
        {SIGSEGV, SEGV_MAPERR, "SEGV_MAPERR"}, {SIGSEGV, SEGV_ACCERR, "SEGV_ACCERR"},
        {SIGSEGV, 3, "SEGV_BNDERR"},           {SIGSEGV, 4, "SEGV_PKUERR"},
        {SIGBUS, BUS_ADRALN, "BUS_ADRALN"},    {SIGBUS, BUS_ADRERR, "BUS_ADRERR"},
        {SIGBUS, BUS_OBJERR, "BUS_OBJERR"},    {SIGBUS, 4, "BUS_MCEERR_AR"},
        {SIGBUS, 5, "BUS_MCEERR_AO"},          {SIGTRAP, TRAP_BRKPT, "TRAP_BRKPT"},
        {SIGTRAP, TRAP_TRACE, "TRAP_TRACE"},   {SIGTRAP, 3, "TRAP_BRANCH"},
        {SIGTRAP, 4, "TRAP_HWBKPT"},
    };
    for (const auto& entry : kCodes) {
        if (entry.signo == signo && entry.code == code) return entry.name;
    }
    // Codes of who sent it, shared by every signal.
    switch (code) {
        case SI_USER: return "SI_USER";
        case SI_KERNEL: return "SI_KERNEL";
        case SI_QUEUE: return "SI_QUEUE";
        case SI_TIMER: return "SI_TIMER";
        case SI_MESGQ: return "SI_MESGQ";
        case SI_ASYNCIO: return "SI_ASYNCIO";
        case SI_SIGIO: return "SI_SIGIO";
        case SI_TKILL: return "SI_TKILL";
        default: return nullptr;
    }
}
