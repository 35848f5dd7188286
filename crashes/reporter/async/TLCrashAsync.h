#pragma once
// The primitives the crash path may use: status codes, byte order, byte
// copies, address arithmetic, writes that finish and the valid UTF-8 prefix
// of a byte buffer. Everything here is async-signal-safe: no allocation, no
// locks, no stdio.

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

// The crash path's status, as a plain 32-bit code.
typedef int32_t tlcrash_error_t;

enum : tlcrash_error_t {
    TLCRASH_ERR_NONE = 0,
    TLCRASH_ERR_UNKNOWN = 1,
    TLCRASH_ERR_OUTPUT = 2,
    TLCRASH_ERR_NOMEM = 3,
    TLCRASH_ERR_NOTSUP = 4,
    TLCRASH_ERR_INVAL = 5,
    TLCRASH_ERR_INTERNAL = 6,
    TLCRASH_ERR_ACCESS = 7,
    TLCRASH_ERR_NOTFOUND = 8,
    TLCRASH_ERR_BADDATA = 9,
};

// The constant text of a code; "Unhandled error code" for one outside the
// table.
const char* tlcrash_async_strerror(tlcrash_error_t error);

// Conversion from a memory image's byte order to the host's.
struct tlcrash_async_byteorder {
    uint16_t (*swap16)(uint16_t);
    uint32_t (*swap32)(uint32_t);
    uint64_t (*swap64)(uint64_t);
};

// Leaves values as they are.
extern const tlcrash_async_byteorder tlcrash_async_byteorder_direct;
// Reverses the bytes of each value.
extern const tlcrash_async_byteorder tlcrash_async_byteorder_swapped;

// `value` converted through `order`, by its width.
inline uint16_t tlcrash_async_swap(const tlcrash_async_byteorder* order, uint16_t value) {
    return order->swap16(value);
}
inline uint32_t tlcrash_async_swap(const tlcrash_async_byteorder* order, uint32_t value) {
    return order->swap32(value);
}
inline uint64_t tlcrash_async_swap(const tlcrash_async_byteorder* order, uint64_t value) {
    return order->swap64(value);
}

// The order of images built for this host (always the direct one).
const tlcrash_async_byteorder* tlcrash_async_byteorder_host();
// The conversion for data stored little-endian (true) or big-endian.
const tlcrash_async_byteorder* tlcrash_async_byteorder_for(bool littleEndian);

// Copies n bytes front to back; n = 0 copies nothing. Does not call the C
// library. The one way the crash path reads task memory in place: any
// readable range, unchecked by AddressSanitizer.
void* tlcrash_async_memcpy(void* dest, const void* source, size_t n);
// Fills n bytes; n = 0 fills nothing.
void* tlcrash_async_memset(void* dest, uint8_t value, size_t n);

// Element `i` of an array of 16- or 32-bit words in a table of an image, as
// stored. Tables give their words no alignment of their own (a section may
// start at any offset), so the words are copied out rather than read through
// a typed pointer.
inline uint32_t tlcrash_async_word32(const void* array, size_t i) {
    uint32_t value;
    tlcrash_async_memcpy(&value, static_cast<const uint8_t*>(array) + i * 4, 4);
    return value;
}
inline uint16_t tlcrash_async_word16(const void* array, size_t i) {
    uint16_t value;
    tlcrash_async_memcpy(&value, static_cast<const uint8_t*>(array) + i * 2, 2);
    return value;
}
// Compares at most n bytes and stops after a zero byte equal in both: the
// difference of the first unequal bytes, else 0.
int tlcrash_async_strncmp(const char* a, const char* b, size_t n);
// Bytes before the terminating zero.
size_t tlcrash_async_strlen(const char* text);

// base + offset into `result`; false, leaving `result` alone, when the sum
// wraps in either direction.
bool tlcrash_async_offset_address(uint64_t base, int64_t offset, uint64_t* result);

// Writes every byte, retrying on EINTR: the length, or -1 when write fails
// (errno tells why). A length of 0 returns 0.
ssize_t tlcrash_async_write_all(int fd, const void* data, size_t length);

// The length of the longest prefix of `bytes` that is well-formed UTF-8,
// stopping at a zero byte, at n and before the first sequence that is cut
// short or ill-formed (overlong forms and surrogates included, so the prefix
// is text every UTF-8 reader takes). A leading byte-order mark counts in.
size_t tlcrash_async_utf8_prefix_length(const uint8_t* bytes, size_t n);
