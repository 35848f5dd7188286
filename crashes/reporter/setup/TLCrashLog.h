#pragma once
// The crash reporter's own diagnostics and fatal assertions. Neither is for
// the crash path.

// Writes "[TLCrashReporter] " and the printf-formatted message as one line
// to standard error, whatever the telemetry logger's level: these are the
// few messages that say why crash reports will be missing.
void tlcrash_log(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Ends the process through the C library's assertion failure with the
// expression, the source file's name and the function, whether or not
// NDEBUG is set.
[[noreturn]] void tlcrash_assert_fail(const char* expression, const char* file, unsigned line, const char* function);

#define TLCRASH_ASSERT(expression) \
    ((expression) ? void(0) : tlcrash_assert_fail(#expression, __FILE_NAME__, __LINE__, __PRETTY_FUNCTION__))
