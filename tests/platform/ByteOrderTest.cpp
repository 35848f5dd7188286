// Big-endian loads and stores: the most significant byte first, high bytes
// kept out of the sign of the unsigned reads, two's complement for the
// signed ones, and a store that reads back as the value stored.

#include <gtest/gtest.h>

#include <cstdint>

#include "platform/foundation/ByteOrder.h"

namespace {

constexpr std::uint8_t kCafe[] = {0xCA, 0xFE, 0xBA, 0xBE};
static_assert(platform::loadBigEndian16(kCafe) == 0xCAFE);
static_assert(platform::loadBigEndian32(kCafe) == 0xCAFEBABEu);

TEST(ByteOrder, LoadsTakeTheMostSignificantByteFirst) {
    struct tCase {
        const char* name;
        std::uint8_t bytes[4];
        std::uint16_t first16;
        std::uint32_t unsigned32;
        std::int32_t signed32;
    };
    const tCase cases[] = {
        {"zero", {0x00, 0x00, 0x00, 0x00}, 0, 0, 0},
        {"one in the last byte", {0x00, 0x00, 0x00, 0x01}, 0, 1, 1},
        {"order of four distinct bytes", {0x12, 0x34, 0x56, 0x78}, 0x1234, 0x12345678u, 0x12345678},
        {"high bit of the second byte only", {0x00, 0x80, 0x00, 0x00}, 0x0080, 0x00800000u, 0x00800000},
        {"largest positive int", {0x7F, 0xFF, 0xFF, 0xFF}, 0x7FFF, 0x7FFFFFFFu, 2147483647},
        {"smallest int", {0x80, 0x00, 0x00, 0x00}, 0x8000, 0x80000000u, -2147483647 - 1},
        {"all bits: 65535, not -1, as 16 bits", {0xFF, 0xFF, 0xFF, 0xFF}, 0xFFFF, 0xFFFFFFFFu, -1},
        {"minus two", {0xFF, 0xFF, 0xFF, 0xFE}, 0xFFFF, 0xFFFFFFFEu, -2},
    };
    for (const tCase& c : cases) {
        EXPECT_EQ(platform::loadBigEndian16(c.bytes), c.first16) << c.name;
        EXPECT_EQ(platform::loadBigEndian16(c.bytes + 2), static_cast<std::uint16_t>(c.unsigned32 & 0xFFFF)) << c.name;
        EXPECT_EQ(platform::loadBigEndian32(c.bytes), c.unsigned32) << c.name;
        EXPECT_EQ(platform::loadBigEndianInt32(c.bytes), c.signed32) << c.name;
    }
}

TEST(ByteOrder, StoresWriteOnlyTheirOwnBytesAndReadBack) {
    struct tCase {
        const char* name;
        std::int32_t value;
        std::uint8_t bytes[4];
    };
    const tCase cases[] = {
        {"zero", 0, {0x00, 0x00, 0x00, 0x00}},
        {"order of four distinct bytes", 0x01020304, {0x01, 0x02, 0x03, 0x04}},
        {"minus one", -1, {0xFF, 0xFF, 0xFF, 0xFF}},
        {"smallest int", -2147483647 - 1, {0x80, 0x00, 0x00, 0x00}},
        {"largest int", 2147483647, {0x7F, 0xFF, 0xFF, 0xFF}},
    };
    for (const tCase& c : cases) {
        std::uint8_t out[6] = {0xAA, 0, 0, 0, 0, 0xAA};
        platform::storeBigEndianInt32(out + 1, c.value);
        EXPECT_EQ(out[0], 0xAA) << c.name;
        EXPECT_EQ(out[5], 0xAA) << c.name;
        for (int i = 0; i < 4; ++i) EXPECT_EQ(out[1 + i], c.bytes[i]) << c.name << ", byte " << i;
        EXPECT_EQ(platform::loadBigEndianInt32(out + 1), c.value) << c.name;

        std::uint8_t unsignedOut[4] = {};
        platform::storeBigEndian32(unsignedOut, static_cast<std::uint32_t>(c.value));
        for (int i = 0; i < 4; ++i) EXPECT_EQ(unsignedOut[i], c.bytes[i]) << c.name << ", byte " << i;
    }

    const std::uint16_t words[] = {0x0000, 0x0001, 0x00FF, 0x0100, 0x7FFF, 0x8000, 0xABCD, 0xFFFF};
    for (const std::uint16_t word : words) {
        std::uint8_t out[3] = {0, 0, 0xAA};
        platform::storeBigEndian16(out, word);
        EXPECT_EQ(out[0], word >> 8) << word;
        EXPECT_EQ(out[1], word & 0xFF) << word;
        EXPECT_EQ(out[2], 0xAA) << word;
        EXPECT_EQ(platform::loadBigEndian16(out), word) << word;
    }
}

}  // namespace
