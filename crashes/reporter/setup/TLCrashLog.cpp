#include "crashes/reporter/setup/TLCrashLog.h"

#include "crashes/reporter/async/TLCrashAsync.h"

// The C library declares its assertion failure only without NDEBUG.
#undef NDEBUG
#include <assert.h>
#include <cstdarg>
#include <cstdio>
#include <unistd.h>

void tlcrash_log(const char* format, ...) {
    static constexpr char kPrefix[] = "[TLCrashReporter] ";
    char line[1024];
    constexpr size_t kPrefixLength = sizeof kPrefix - 1;
    tlcrash_async_memcpy(line, kPrefix, kPrefixLength);
    va_list arguments;
    va_start(arguments, format);
    const int formatted = std::vsnprintf(line + kPrefixLength, sizeof line - kPrefixLength, format, arguments);
    va_end(arguments);
    if (formatted < 0) return;
    // A long message is cut to the buffer, keeping room for the newline.
    size_t length = kPrefixLength + static_cast<size_t>(formatted);
    if (length > sizeof line - 2) length = sizeof line - 2;
    line[length++] = '\n';
    // One write, so that lines of several threads do not mix.
    tlcrash_async_write_all(STDERR_FILENO, line, length);
}

void tlcrash_assert_fail(const char* expression, const char* file, unsigned line, const char* function) {
    __assert_fail(expression, file, line, function);
}
