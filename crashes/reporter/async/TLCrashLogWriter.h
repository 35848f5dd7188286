#pragma once
// The crash report writer: the state of the running process as one report
// file (the 8-byte header, then one tlcrash.CrashReport message). What needs
// allocation is gathered beforehand into a tlcrash_log_writer
// (setup/TLCrashLogWriterSetup.h); writing runs inside a signal handler and
// is async-signal-safe.
//
// A report always fits its file's byte limit and stays decodable: the
// sections of fixed size are sized first, then the crashed thread's frames,
// the images, the custom data and the other threads' frames get what is
// left, in that order, each cut to fit. Every write is checked; a report
// that cannot be made whole reports failure.

#include "crashes/reporter/async/TLCrashAsyncFile.h"
#include "crashes/reporter/async/TLCrashAsyncImageRegistry.h"
#include "crashes/reporter/async/TLCrashAsyncThreadState.h"

#include <cstdint>

// A copied, zero-terminated text.
struct tlcrash_log_writer_string {
    size_t length;
    char* value;
};

struct tlcrash_log_writer {
    uint32_t symbolication_strategy;
    struct {
        bool user_requested;
        uint8_t uuid[16];
    } report_info;
    struct {
        tlcrash_log_writer_string os_version;
        tlcrash_log_writer_string os_build;
    } system_info;
    struct {
        tlcrash_log_writer_string model;
        int64_t cpu_type;
        int64_t cpu_subtype;
        uint32_t processor_count;
        uint32_t logical_processor_count;
    } machine_info;
    struct {
        tlcrash_log_writer_string identifier;
        tlcrash_log_writer_string version;
        tlcrash_log_writer_string marketing_version;
    } application_info;
    struct {
        tlcrash_log_writer_string process_name;
        int32_t process_id;
        tlcrash_log_writer_string process_path;
        int64_t start_time;
        tlcrash_log_writer_string parent_process_name;
        int32_t parent_process_id;
        bool native;
    } process_info;
    struct {
        bool has_exception;
        char* name;
        char* reason;
        uint64_t* call_stack;
        size_t call_stack_count;
    } uncaught_exception;
    struct {
        size_t length;
        uint8_t* data;
    } custom_data;
};

struct tlcrash_log_bsd_signal_info {
    int signo;
    int code;
    uint64_t address;
};

struct tlcrash_log_mach_signal_info {
    uint64_t type;
    const uint64_t* codes;
    size_t code_count;
};

struct tlcrash_log_signal_info {
    const tlcrash_log_bsd_signal_info* bsd_info;
    // Null unless the signal came from a Mach exception.
    const tlcrash_log_mach_signal_info* mach_info;
};

// The most frames written for one thread or exception.
constexpr uint32_t TLCRASH_MAX_FRAMES = 512;

// Writes the report of the own process. `crashed_thread` is marked crashed;
// `current_state` is the calling thread's state (null leaves the calling
// thread out). TLCRASH_ERR_OUTPUT when the file refused a write or not even
// the fixed sections fit its limit.
tlcrash_error_t tlcrash_log_writer_write(tlcrash_log_writer* writer, tlcrash_thread_t crashed_thread,
                                         tlcrash_async_image_registry* registry, tlcrash_async_file* file,
                                         const tlcrash_log_signal_info* signal_info,
                                         const tlcrash_async_thread_state* current_state);
tlcrash_error_t tlcrash_log_writer_close(tlcrash_log_writer* writer);
// The name of a Linux signal, or null; the name of a code of a signal, or
// null. Codes shared by every signal (SI_USER, SI_TKILL, ...) included.
const char* tlcrash_log_signal_name(int signo);
const char* tlcrash_log_signal_code_name(int signo, int code);
