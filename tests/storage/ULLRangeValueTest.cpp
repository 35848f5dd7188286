// Byte ranges kept in platform values: round trips and the stored bytes.

#include "storage/BLSULLRangeValue.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

using namespace NSValueBLSULLRangeExtensions;

TEST(ULLRangeValue, RoundTripsIncludingValuesAbove32Bits) {
    constexpr std::uint64_t k2to32 = 1ull << 32;
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    struct Case {
        const char* name;
        BLSULLRange range;
    };
    const Case cases[] = {
        {"empty range at 0 (whole blob)", {0, 0}},
        {"first page", {0, 512}},
        {"location just above 2^32", {k2to32 + 1, 512}},
        {"length just above 2^32", {7, k2to32 + 3}},
        {"both words at their maximum", {kMax, kMax}},
        {"words that differ only in their high halves", {k2to32 * 5, k2to32 * 6}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const platform::Value value = valueWithBLSULLRange(c.range);
        const std::optional<BLSULLRange> back = BLSULLRangeValue(value);
        ASSERT_TRUE(back.has_value());
        EXPECT_EQ(back->location, c.range.location);
        EXPECT_EQ(back->length, c.range.length);
    }
}

TEST(ULLRangeValue, StoresLocationThenLengthLittleEndian) {
    const platform::Value value = valueWithBLSULLRange({0x0102030405060708ull, 0x1112131415161718ull});
    const platform::Value::Data* bytes = value.asData();
    ASSERT_NE(bytes, nullptr);
    const platform::Value::Data expected = {0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01,
                                            0x18, 0x17, 0x16, 0x15, 0x14, 0x13, 0x12, 0x11};
    EXPECT_EQ(*bytes, expected);
    // Equal ranges give equal values, different ranges different ones.
    EXPECT_EQ(value, valueWithBLSULLRange({0x0102030405060708ull, 0x1112131415161718ull}));
    EXPECT_NE(value, valueWithBLSULLRange({0x0102030405060708ull, 0}));
}

TEST(ULLRangeValue, ValuesThatHoldNoRangeGiveNothing) {
    struct Case {
        const char* name;
        platform::Value value;
    };
    const Case cases[] = {
        {"null", platform::Value()},
        {"text", platform::Value("0-511")},
        {"integer", platform::Value(std::int64_t{512})},
        {"15 bytes", platform::Value(platform::Value::Data(15, 0xAB))},
        {"17 bytes", platform::Value(platform::Value::Data(17, 0xAB))},
        {"no bytes", platform::Value(platform::Value::Data{})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(BLSULLRangeValue(c.value).has_value());
    }
}
