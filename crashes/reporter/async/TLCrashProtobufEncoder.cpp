#include "crashes/reporter/async/TLCrashProtobufEncoder.h"

namespace {

enum WireType : uint8_t { kVarint = 0, kFixed64 = 1, kLengthDelimited = 2, kFixed32 = 5 };

// Field numbers reach 2^29 - 1, so a key needs more than 32 bits.
size_t encodeKey(uint8_t* out, uint32_t field, WireType type) {
    return tlcrash_writer_encode_varint64(out, (static_cast<uint64_t>(field) << 3) | type);
}

size_t emit(tlcrash_async_file* file, const uint8_t* bytes, size_t length) {
    if (file != nullptr) tlcrash_async_file_write(file, bytes, length);
    return length;
}

size_t varintField(tlcrash_async_file* file, uint32_t field, uint64_t value) {
    uint8_t buffer[2 * TLCRASH_VARINT_MAX_BYTES];
    size_t length = encodeKey(buffer, field, kVarint);
    length += tlcrash_writer_encode_varint64(buffer + length, value);
    return emit(file, buffer, length);
}

size_t fixedField(tlcrash_async_file* file, uint32_t field, uint64_t bits, size_t width) {
    uint8_t buffer[TLCRASH_VARINT_MAX_BYTES + 8];
    size_t length = encodeKey(buffer, field, width == 4 ? kFixed32 : kFixed64);
    for (size_t i = 0; i < width; ++i) buffer[length++] = static_cast<uint8_t>(bits >> (8 * i));
    return emit(file, buffer, length);
}

size_t lengthHeader(tlcrash_async_file* file, uint32_t field, uint64_t length) {
    uint8_t buffer[2 * TLCRASH_VARINT_MAX_BYTES];
    size_t used = encodeKey(buffer, field, kLengthDelimited);
    used += tlcrash_writer_encode_varint64(buffer + used, length);
    return emit(file, buffer, used);
}

// Sign extension to 64 bits, as the wire format wants negative int32s.
uint64_t widen(int64_t value) { return static_cast<uint64_t>(value); }

}  // namespace

size_t tlcrash_writer_encode_varint64(uint8_t* out, uint64_t value) {
    size_t used = 0;
    while (value >= 0x80) {
        out[used++] = static_cast<uint8_t>(value | 0x80);
        value >>= 7;
    }
    out[used++] = static_cast<uint8_t>(value);
    return used;
}

size_t tlcrash_writer_encode_int32(tlcrash_async_file* file, uint32_t field, int32_t value) {
    return varintField(file, field, widen(value));
}

size_t tlcrash_writer_encode_int64(tlcrash_async_file* file, uint32_t field, int64_t value) {
    return varintField(file, field, widen(value));
}

size_t tlcrash_writer_encode_uint32(tlcrash_async_file* file, uint32_t field, uint32_t value) {
    return varintField(file, field, value);
}

size_t tlcrash_writer_encode_uint64(tlcrash_async_file* file, uint32_t field, uint64_t value) {
    return varintField(file, field, value);
}

size_t tlcrash_writer_encode_bool(tlcrash_async_file* file, uint32_t field, bool value) {
    return varintField(file, field, value ? 1 : 0);
}

size_t tlcrash_writer_encode_enum(tlcrash_async_file* file, uint32_t field, int32_t value) {
    return varintField(file, field, widen(value));
}

size_t tlcrash_writer_encode_sint32(tlcrash_async_file* file, uint32_t field, int32_t value) {
    const uint32_t zigzag = (static_cast<uint32_t>(value) << 1) ^ static_cast<uint32_t>(value >> 31);
    return varintField(file, field, zigzag);
}

size_t tlcrash_writer_encode_sint64(tlcrash_async_file* file, uint32_t field, int64_t value) {
    const uint64_t zigzag = (static_cast<uint64_t>(value) << 1) ^ static_cast<uint64_t>(value >> 63);
    return varintField(file, field, zigzag);
}

size_t tlcrash_writer_encode_fixed32(tlcrash_async_file* file, uint32_t field, uint32_t value) {
    return fixedField(file, field, value, 4);
}

size_t tlcrash_writer_encode_sfixed32(tlcrash_async_file* file, uint32_t field, int32_t value) {
    return fixedField(file, field, static_cast<uint32_t>(value), 4);
}

size_t tlcrash_writer_encode_float(tlcrash_async_file* file, uint32_t field, float value) {
    uint32_t bits;
    tlcrash_async_memcpy(&bits, &value, sizeof bits);
    return fixedField(file, field, bits, 4);
}

size_t tlcrash_writer_encode_fixed64(tlcrash_async_file* file, uint32_t field, uint64_t value) {
    return fixedField(file, field, value, 8);
}

size_t tlcrash_writer_encode_sfixed64(tlcrash_async_file* file, uint32_t field, int64_t value) {
    return fixedField(file, field, static_cast<uint64_t>(value), 8);
}

size_t tlcrash_writer_encode_double(tlcrash_async_file* file, uint32_t field, double value) {
    uint64_t bits;
    tlcrash_async_memcpy(&bits, &value, sizeof bits);
    return fixedField(file, field, bits, 8);
}

size_t tlcrash_writer_encode_string(tlcrash_async_file* file, uint32_t field, const char* value) {
    return tlcrash_writer_encode_bytes(file, field, value, tlcrash_async_strlen(value));
}

size_t tlcrash_writer_encode_bytes(tlcrash_async_file* file, uint32_t field, const void* data, size_t length) {
    const size_t header = lengthHeader(file, field, length);
    if (file != nullptr && length > 0) tlcrash_async_file_write(file, data, length);
    return header + length;
}

size_t tlcrash_writer_encode_message_header(tlcrash_async_file* file, uint32_t field, uint64_t length) {
    return lengthHeader(file, field, length);
}
