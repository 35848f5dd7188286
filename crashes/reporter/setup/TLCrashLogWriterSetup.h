#pragma once
// Filling and freeing the crash report writer's record at set-up time: it
// gathers the process, machine and system facts and copies every text, so
// the crash path only reads it (async/TLCrashLogWriter.h).

#include "crashes/reporter/async/TLCrashLogWriter.h"

#include <string>
#include <vector>

class TLCrashUncaughtException;

// Exception names and reasons are kept to this many bytes (a UTF-8 prefix).
constexpr size_t TLCRASH_MAX_EXCEPTION_TEXT = 16 * 1024;

// Gathers the process, machine and system facts (set-up time; allocates).
// TLCRASH_ERR_INVAL when the process cannot be read.
tlcrash_error_t tlcrash_log_writer_init(tlcrash_log_writer* writer, const std::string& identifier,
                                        const std::string& version, const std::string* marketing_version,
                                        uint32_t symbolication_strategy, bool user_requested);
// Replaces the custom data; null leaves none.
void tlcrash_log_writer_set_custom_data(tlcrash_log_writer* writer, const std::vector<uint8_t>* data);
// Records the uncaught exception; a second call is a fatal assertion.
void tlcrash_log_writer_set_exception(tlcrash_log_writer* writer, const TLCrashUncaughtException& exception);
void tlcrash_log_writer_free(tlcrash_log_writer* writer);
