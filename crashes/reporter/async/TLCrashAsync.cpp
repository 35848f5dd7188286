#include "crashes/reporter/async/TLCrashAsync.h"

#include <cerrno>
#include <unistd.h>

// Keeps the byte loops below from being turned into calls of the C library's
// memcpy and memset, which the crash path avoids.
#if defined(__clang__)
#define TLCRASH_NO_LIBC_CALLS __attribute__((no_builtin))
#elif defined(__GNUC__)
#define TLCRASH_NO_LIBC_CALLS __attribute__((optimize("no-tree-loop-distribute-patterns")))
#else
#define TLCRASH_NO_LIBC_CALLS
#endif

const char* tlcrash_async_strerror(tlcrash_error_t error) {
    switch (error) {
        case TLCRASH_ERR_NONE: return "No error";
        case TLCRASH_ERR_UNKNOWN: return "Unknown error";
        case TLCRASH_ERR_OUTPUT: return "Output file can not be opened (or written to)";
        case TLCRASH_ERR_NOMEM: return "No memory available";
        case TLCRASH_ERR_NOTSUP: return "Operation not supported";
        case TLCRASH_ERR_INVAL: return "Invalid argument";
        case TLCRASH_ERR_INTERNAL: return "Internal error";
        case TLCRASH_ERR_ACCESS: return "Access denied";
        case TLCRASH_ERR_NOTFOUND: return "Not found";
        case TLCRASH_ERR_BADDATA: return "The input data is in an unknown or invalid format.";
    }
    return "Unhandled error code";
}

namespace {

uint16_t same16(uint16_t value) { return value; }
uint32_t same32(uint32_t value) { return value; }
uint64_t same64(uint64_t value) { return value; }
uint16_t swap16(uint16_t value) { return __builtin_bswap16(value); }
uint32_t swap32(uint32_t value) { return __builtin_bswap32(value); }
uint64_t swap64(uint64_t value) { return __builtin_bswap64(value); }

}  // namespace

const tlcrash_async_byteorder tlcrash_async_byteorder_direct = {same16, same32, same64};
const tlcrash_async_byteorder tlcrash_async_byteorder_swapped = {swap16, swap32, swap64};

const tlcrash_async_byteorder* tlcrash_async_byteorder_host() { return &tlcrash_async_byteorder_direct; }

const tlcrash_async_byteorder* tlcrash_async_byteorder_for(bool littleEndian) {
    constexpr bool hostIsLittle = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;
    return littleEndian == hostIsLittle ? &tlcrash_async_byteorder_direct : &tlcrash_async_byteorder_swapped;
}

// The crash path reads task memory only through this copy (memory objects,
// their tables, the stack window), and any range the kernel says is readable
// may be read: under AddressSanitizer the copy is left unchecked against the
// program's own bookkeeping (redzones, freed blocks, the sanitizer's shadow),
// which says nothing of whether the kernel lets the bytes be read.
#if defined(__clang__) || defined(__GNUC__)
#define TLCRASH_READS_ANY_MEMORY __attribute__((no_sanitize("address")))
#else
#define TLCRASH_READS_ANY_MEMORY
#endif

TLCRASH_READS_ANY_MEMORY TLCRASH_NO_LIBC_CALLS void* tlcrash_async_memcpy(void* dest, const void* source, size_t n) {
    auto* to = static_cast<uint8_t*>(dest);
    const auto* from = static_cast<const uint8_t*>(source);
    for (size_t i = 0; i < n; ++i) to[i] = from[i];
    return dest;
}

TLCRASH_NO_LIBC_CALLS void* tlcrash_async_memset(void* dest, uint8_t value, size_t n) {
    auto* to = static_cast<uint8_t*>(dest);
    for (size_t i = 0; i < n; ++i) to[i] = value;
    return dest;
}

int tlcrash_async_strncmp(const char* a, const char* b, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        const auto left = static_cast<unsigned char>(a[i]);
        const auto right = static_cast<unsigned char>(b[i]);
        if (left != right) return left - right;
        if (left == 0) break;
    }
    return 0;
}

size_t tlcrash_async_strlen(const char* text) {
    size_t length = 0;
    while (text[length] != '\0') ++length;
    return length;
}

bool tlcrash_async_offset_address(uint64_t base, int64_t offset, uint64_t* result) {
    uint64_t sum;
    if (offset >= 0) {
        if (__builtin_add_overflow(base, static_cast<uint64_t>(offset), &sum)) return false;
    } else {
        // The magnitude of the most negative offset still fits unsigned.
        const uint64_t magnitude = 0 - static_cast<uint64_t>(offset);
        if (magnitude > base) return false;
        sum = base - magnitude;
    }
    *result = sum;
    return true;
}

ssize_t tlcrash_async_write_all(int fd, const void* data, size_t length) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    size_t written = 0;
    while (written < length) {
        const ssize_t result = write(fd, bytes + written, length - written);
        if (result <= 0) {
            if (result < 0 && errno == EINTR) continue;
            // A write that takes nothing would loop for ever.
            if (result == 0) errno = EIO;
            return -1;
        }
        written += static_cast<size_t>(result);
    }
    return static_cast<ssize_t>(written);
}

size_t tlcrash_async_utf8_prefix_length(const uint8_t* bytes, size_t n) {
    size_t i = 0;
    if (n >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) i = 3;
    while (i < n) {
        const uint8_t lead = bytes[i];
        if (lead == 0) break;
        if (lead < 0x80) {
            ++i;
            continue;
        }
        // The length of the sequence and the range its second byte must lie
        // in, which rules out overlong forms, surrogates and values beyond
        // U+10FFFF.
        size_t length;
        uint8_t low = 0x80, high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            if (lead == 0xE0) low = 0xA0;
            if (lead == 0xED) high = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            if (lead == 0xF0) low = 0x90;
            if (lead == 0xF4) high = 0x8F;
        } else {
            break;
        }
        if (n - i < length) break;
        if (bytes[i + 1] < low || bytes[i + 1] > high) break;
        size_t k = 2;
        while (k < length && (bytes[i + k] & 0xC0) == 0x80) ++k;
        if (k < length) break;
        i += length;
    }
    return i;
}
