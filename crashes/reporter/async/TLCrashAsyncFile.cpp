#include "crashes/reporter/async/TLCrashAsyncFile.h"

#include <unistd.h>

void tlcrash_async_file_init(tlcrash_async_file* file, int fd, size_t limit_bytes) {
    file->fd = fd;
    file->limit_bytes = limit_bytes;
    file->total_bytes = 0;
    file->buflen = 0;
    file->failed = false;
}

namespace {

bool fail(tlcrash_async_file* file) {
    file->failed = true;
    return false;
}

}  // namespace

bool tlcrash_async_file_write(tlcrash_async_file* file, const void* data, size_t length) {
    if (file->failed) return false;
    if (file->limit_bytes != 0) {
        if (length > file->limit_bytes - file->total_bytes) return fail(file);
        file->total_bytes += length;
    }
    if (file->buflen + length > sizeof file->buffer && !tlcrash_async_file_flush(file)) return false;
    if (length > sizeof file->buffer) {
        return tlcrash_async_write_all(file->fd, data, length) >= 0 || fail(file);
    }
    tlcrash_async_memcpy(file->buffer + file->buflen, data, length);
    file->buflen += length;
    return true;
}

bool tlcrash_async_file_flush(tlcrash_async_file* file) {
    if (file->buflen == 0) return true;
    const bool written = tlcrash_async_write_all(file->fd, file->buffer, file->buflen) >= 0;
    file->buflen = 0;
    return written || fail(file);
}

bool tlcrash_async_file_close(tlcrash_async_file* file) {
    const bool flushed = tlcrash_async_file_flush(file);
    const bool closed = close(file->fd) == 0;
    return flushed && closed;
}
