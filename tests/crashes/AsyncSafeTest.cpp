// The crash path's primitives: codes and their texts, byte order, byte
// copies, address sums and the valid UTF-8 prefix.

#include "crashes/reporter/async/TLCrashAsync.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

TEST(AsyncSafe, CodesHaveTheirTextsAndUnknownCodesOneText) {
    EXPECT_STREQ(tlcrash_async_strerror(TLCRASH_ERR_NONE), "No error");
    EXPECT_STREQ(tlcrash_async_strerror(TLCRASH_ERR_OUTPUT), "Output file can not be opened (or written to)");
    EXPECT_STREQ(tlcrash_async_strerror(TLCRASH_ERR_NOTFOUND), "Not found");
    EXPECT_STREQ(tlcrash_async_strerror(TLCRASH_ERR_BADDATA), "The input data is in an unknown or invalid format.");
    EXPECT_STREQ(tlcrash_async_strerror(10), "Unhandled error code");
    EXPECT_STREQ(tlcrash_async_strerror(-1), "Unhandled error code");
}

TEST(AsyncSafe, ByteOrdersSwapOrKeepEachWidth) {
    const tlcrash_async_byteorder* swapped = &tlcrash_async_byteorder_swapped;
    EXPECT_EQ(swapped->swap16(0x1234), 0x3412);
    EXPECT_EQ(swapped->swap32(0x12345678u), 0x78563412u);
    EXPECT_EQ(swapped->swap64(0x0102030405060708ull), 0x0807060504030201ull);
    const tlcrash_async_byteorder* host = tlcrash_async_byteorder_host();
    EXPECT_EQ(host->swap32(0x12345678u), 0x12345678u);
    // Little-endian data is read as it is on this (little-endian) host.
    EXPECT_EQ(tlcrash_async_byteorder_for(true), host);
    EXPECT_EQ(tlcrash_async_byteorder_for(false), swapped);
}

TEST(AsyncSafe, CopiesFillsAndComparesWithinTheirCounts) {
    char buffer[8] = "abcdefg";
    tlcrash_async_memcpy(buffer, "XY", 0);
    EXPECT_STREQ(buffer, "abcdefg");
    tlcrash_async_memcpy(buffer + 1, "XYZ", 3);
    EXPECT_STREQ(buffer, "aXYZefg");
    tlcrash_async_memset(buffer, '-', 0);
    tlcrash_async_memset(buffer + 5, '-', 2);
    EXPECT_STREQ(buffer, "aXYZe--");

    EXPECT_EQ(tlcrash_async_strncmp("abc", "abd", 2), 0);
    EXPECT_LT(tlcrash_async_strncmp("abc", "abd", 3), 0);
    // Bytes compare unsigned: 0xE9 lies above 'z'.
    EXPECT_GT(tlcrash_async_strncmp("\xE9", "z", 1), 0);
    // Equal up to a shared terminator, whatever lies after it.
    EXPECT_EQ(tlcrash_async_strncmp("ab\0x", "ab\0y", 4), 0);
    EXPECT_EQ(tlcrash_async_strlen(""), 0u);
    EXPECT_EQ(tlcrash_async_strlen("crash"), 5u);
}

TEST(AsyncSafe, OffsetAddressesRefuseToWrap) {
    struct Case {
        const char* name;
        uint64_t base;
        int64_t offset;
        bool fits;
        uint64_t sum;
    };
    const Case cases[] = {
        {"forward", 0x1000, 0x10, true, 0x1010},
        {"backward", 0x1000, -0x10, true, 0xFF0},
        {"down to zero", 0x10, -0x10, true, 0},
        {"below zero", 0x10, -0x11, false, 0},
        {"up to the top", UINT64_MAX - 1, 1, true, UINT64_MAX},
        {"past the top", UINT64_MAX, 1, false, 0},
        {"most negative offset from the top", UINT64_MAX, INT64_MIN, true, UINT64_MAX - (uint64_t{1} << 63)},
        {"most negative offset from below it", (uint64_t{1} << 63) - 1, INT64_MIN, false, 0},
    };
    for (const Case& c : cases) {
        uint64_t sum = 0xDEAD;
        EXPECT_EQ(tlcrash_async_offset_address(c.base, c.offset, &sum), c.fits) << c.name;
        EXPECT_EQ(sum, c.fits ? c.sum : 0xDEAD) << c.name;
    }
}

TEST(AsyncSafe, Utf8PrefixStopsBeforeTheFirstBadOrCutSequence) {
    struct Case {
        const char* name;
        std::string bytes;
        size_t prefix;
    };
    const Case cases[] = {
        {"ASCII", "process", 7},
        {"stops at a zero byte", std::string("ab\0cd", 5), 2},
        {"byte-order mark counts in", "\xEF\xBB\xBFname", 7},
        {"two-byte character", "caf\xC3\xA9", 5},
        {"two-byte character cut", "caf\xC3", 3},
        {"three-byte character cut after two", "a\xE2\x82", 1},
        {"four-byte character", "\xF0\x9F\x92\xA5!", 5},
        {"continuation byte as a lead", "ab\x80", 2},
        {"lead byte without continuation", "a\xC3z", 1},
        {"overlong two-byte slash", "a\xC0\xAF", 1},
        {"overlong three-byte form", "a\xE0\x80\xAF", 1},
        {"surrogate half", "a\xED\xA0\x80", 1},
        {"beyond U+10FFFF", "a\xF4\x90\x80\x80", 1},
        {"lead byte 0xF5", "a\xF5\x80\x80\x80", 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(tlcrash_async_utf8_prefix_length(reinterpret_cast<const uint8_t*>(c.bytes.data()), c.bytes.size()),
                  c.prefix)
            << c.name;
    }
    // n bounds the scan even where the bytes go on.
    EXPECT_EQ(tlcrash_async_utf8_prefix_length(reinterpret_cast<const uint8_t*>("abcdef"), 3), 3u);
    EXPECT_EQ(tlcrash_async_utf8_prefix_length(reinterpret_cast<const uint8_t*>("\xEF\xBB"), 2), 0u);
}
