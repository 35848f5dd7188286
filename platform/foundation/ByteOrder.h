#pragma once
// Big-endian integers in byte buffers, the order of our own files, their
// records and the image formats. Nothing here checks a length: the caller
// has made sure the bytes are there.

#include <cstdint>

namespace platform {

constexpr std::uint16_t loadBigEndian16(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>((std::uint16_t{bytes[0]} << 8) | bytes[1]);
}

// Widened before shifting, so a first byte of 0x80 or more is not shifted
// into the sign of an int.
constexpr std::uint32_t loadBigEndian32(const std::uint8_t* bytes) {
    return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) | (std::uint32_t{bytes[2]} << 8) |
           std::uint32_t{bytes[3]};
}

// Two's complement.
constexpr std::int32_t loadBigEndianInt32(const std::uint8_t* bytes) {
    return static_cast<std::int32_t>(loadBigEndian32(bytes));
}

constexpr void storeBigEndian16(std::uint8_t* bytes, std::uint16_t value) {
    bytes[0] = static_cast<std::uint8_t>(value >> 8);
    bytes[1] = static_cast<std::uint8_t>(value);
}

constexpr void storeBigEndian32(std::uint8_t* bytes, std::uint32_t value) {
    bytes[0] = static_cast<std::uint8_t>(value >> 24);
    bytes[1] = static_cast<std::uint8_t>(value >> 16);
    bytes[2] = static_cast<std::uint8_t>(value >> 8);
    bytes[3] = static_cast<std::uint8_t>(value);
}

// Two's complement.
constexpr void storeBigEndianInt32(std::uint8_t* bytes, std::int32_t value) {
    storeBigEndian32(bytes, static_cast<std::uint32_t>(value));
}

}  // namespace platform
