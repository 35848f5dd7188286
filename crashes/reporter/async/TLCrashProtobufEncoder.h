#pragma once
// The report writer's protocol-buffer encoder: the binary wire format of
// proto2, written field by field through a bounded file without allocating.
// Async-signal-safe.
//
// Every field writer writes the field's key and value and returns the bytes
// they take. Given a null file it writes nothing and only counts: a nested
// message is first encoded that way to learn its length, then its key and
// length are written, then it is encoded again into the file
// (tlcrash_writer_encode_message). The encoding must therefore depend on
// nothing but its inputs.
//
// Write failures are not reported here: the file refuses every write after
// its first failure, so a report that does not fit is cut short, never left
// with a hole.

#include "crashes/reporter/async/TLCrashAsyncFile.h"

#include <cstddef>
#include <cstdint>

// The most bytes a 64-bit varint takes.
constexpr size_t TLCRASH_VARINT_MAX_BYTES = 10;

// Writes `value` as a base-128 varint, low groups first, into `out` (room for
// TLCRASH_VARINT_MAX_BYTES): the bytes used.
size_t tlcrash_writer_encode_varint64(uint8_t* out, uint64_t value);

// Varints; a negative int32 or int64 takes ten bytes (two's complement).
size_t tlcrash_writer_encode_int32(tlcrash_async_file* file, uint32_t field, int32_t value);
size_t tlcrash_writer_encode_int64(tlcrash_async_file* file, uint32_t field, int64_t value);
size_t tlcrash_writer_encode_uint32(tlcrash_async_file* file, uint32_t field, uint32_t value);
size_t tlcrash_writer_encode_uint64(tlcrash_async_file* file, uint32_t field, uint64_t value);
size_t tlcrash_writer_encode_bool(tlcrash_async_file* file, uint32_t field, bool value);
size_t tlcrash_writer_encode_enum(tlcrash_async_file* file, uint32_t field, int32_t value);
// Zig-zag varints, so that small negative values stay short.
size_t tlcrash_writer_encode_sint32(tlcrash_async_file* file, uint32_t field, int32_t value);
size_t tlcrash_writer_encode_sint64(tlcrash_async_file* file, uint32_t field, int64_t value);
// Little-endian fixed widths.
size_t tlcrash_writer_encode_fixed32(tlcrash_async_file* file, uint32_t field, uint32_t value);
size_t tlcrash_writer_encode_sfixed32(tlcrash_async_file* file, uint32_t field, int32_t value);
size_t tlcrash_writer_encode_float(tlcrash_async_file* file, uint32_t field, float value);
size_t tlcrash_writer_encode_fixed64(tlcrash_async_file* file, uint32_t field, uint64_t value);
size_t tlcrash_writer_encode_sfixed64(tlcrash_async_file* file, uint32_t field, int64_t value);
size_t tlcrash_writer_encode_double(tlcrash_async_file* file, uint32_t field, double value);

// Length-delimited: the key and length in one write, the bytes in a second.
// A string is its bytes up to the terminating zero, which is not written.
size_t tlcrash_writer_encode_string(tlcrash_async_file* file, uint32_t field, const char* value);
size_t tlcrash_writer_encode_bytes(tlcrash_async_file* file, uint32_t field, const void* data, size_t length);

// The key and length of a nested message whose body is `length` bytes; the
// caller writes the body.
size_t tlcrash_writer_encode_message_header(tlcrash_async_file* file, uint32_t field, uint64_t length);

// Writes a nested message whose body `body(file)` encodes (returning its
// bytes; with a null file it must only count): sized by a dry run, then
// written after its key and length. The bytes of key, length and body.
template <typename Body>
size_t tlcrash_writer_encode_message(tlcrash_async_file* file, uint32_t field, Body&& body) {
    const size_t length = body(static_cast<tlcrash_async_file*>(nullptr));
    const size_t header = tlcrash_writer_encode_message_header(file, field, length);
    if (file != nullptr) body(file);
    return header + length;
}
