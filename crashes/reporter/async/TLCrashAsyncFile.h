#pragma once
// A buffered output file with an optional byte limit, for writing reports on
// the crash path. Async-signal-safe; lives wherever its owner puts it (no
// allocation).
//
// The first write that fails, whether refused by the limit or by the system,
// closes the file to writes: every later write is refused too. A report is
// thereby cut short at a write boundary, never left with a hole in the
// middle that a reader could take for other fields.

#include "crashes/reporter/async/TLCrashAsync.h"

constexpr size_t TLCRASH_ASYNC_FILE_BUFFER_SIZE = 256;

struct tlcrash_async_file {
    int fd;
    // 0 for none.
    size_t limit_bytes;
    // Bytes accepted so far, buffered or written.
    size_t total_bytes;
    size_t buflen;
    // Set by the first failed write: no more bytes are accepted.
    bool failed;
    char buffer[TLCRASH_ASYNC_FILE_BUFFER_SIZE];
};

// Takes an open descriptor; the file owns it from here (close closes it).
void tlcrash_async_file_init(tlcrash_async_file* file, int fd, size_t limit_bytes);

// Accepts `length` bytes: false when the limit would be passed (a write that
// ends exactly at the limit is accepted), when writing fails, or when an
// earlier write failed. A write that would overflow the buffer flushes it
// first; one longer than the buffer goes straight to the descriptor.
bool tlcrash_async_file_write(tlcrash_async_file* file, const void* data, size_t length);

// Writes what is buffered (bytes accepted before a refused write too);
// false when that fails.
bool tlcrash_async_file_flush(tlcrash_async_file* file);

// Flushes, then closes the descriptor; false when either fails.
bool tlcrash_async_file_close(tlcrash_async_file* file);
