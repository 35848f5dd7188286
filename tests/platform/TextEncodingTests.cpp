#include "platform/foundation/TextEncoding.h"

#include <gtest/gtest.h>

#include <string>

using namespace std::string_literals;

TEST(TextEncodingTest, Utf8Validity) {
    struct Case {
        const char* name;
        std::string bytes;
        bool valid;
    };
    const Case cases[] = {
        {"empty", "", true},
        {"ascii", "Layout 1", true},
        {"two-byte e acute", "\xC3\xA9", true},
        {"three-byte euro", "\xE2\x82\xAC", true},
        {"four-byte emoji", "\xF0\x9F\x98\x80", true},
        {"embedded NUL is a character", "a\0b"s, true},
        {"lone continuation byte", "\x80", false},
        {"overlong slash", "\xC0\xAF", false},
        {"overlong three-byte NUL", "\xE0\x80\x80", false},
        {"surrogate half", "\xED\xA0\x80", false},
        {"above U+10FFFF", "\xF4\x90\x80\x80", false},
        {"five-byte lead", "\xF8\x88\x80\x80\x80", false},
        {"truncated euro", "\xE2\x82", false},
        {"lead followed by ascii",
         "\xC3"
         "A",
         false},
        {"Latin-1 byte", "caf\xE9", false},
    };
    for (const auto& c : cases) EXPECT_EQ(platform::isValidUtf8(c.bytes), c.valid) << c.name;
}

TEST(TextEncodingTest, BytesThatAreNotUtf8BecomeReplacementCharacters) {
    const std::string r = "\xEF\xBF\xBD";  // U+FFFD
    const struct {
        const char* name;
        std::string bytes;
        std::string expected;
    } cases[] = {
        {"valid text is kept", "Caf\xC3\xA9 \xF0\x9F\x98\x80", "Caf\xC3\xA9 \xF0\x9F\x98\x80"},
        {"embedded NUL is kept", "a\0b"s, "a\0b"s},
        {"a Latin-1 letter", "/home/Caf\xE9/app", "/home/Caf" + r + "/app"},
        {"two Latin-1 letters", "\xE9\xE8", r + r},
        {"lone continuation byte", "a\x80z", "a" + r + "z"},
        {"truncated euro at the end", "x\xE2\x82", "x" + r + r},
        {"overlong slash", "\xC0\xAF", r + r},
        {"surrogate half", "\xED\xA0\x80", r + r + r},
        {"above U+10FFFF", "\xF4\x90\x80\x80", r + r + r + r},
        {"lead followed by ascii",
         "\xC3"
         "A",
         r + "A"},
    };
    for (const auto& c : cases) {
        const std::string made = platform::validUtf8(c.bytes);
        EXPECT_EQ(made, c.expected) << c.name;
        EXPECT_TRUE(platform::isValidUtf8(made)) << c.name;
    }
}

TEST(TextEncodingTest, SafePrefixNeverSplitsACharacter) {
    struct Case {
        const char* name;
        std::string text;
        std::size_t max;
        std::size_t expected;
    };
    const Case cases[] = {
        {"fits whole", "abc", 10, 3},
        {"exact fit", "abc", 3, 3},
        {"zero budget", "abc", 0, 0},
        {"cut before two-byte char", "a\xC3\xA9", 2, 1},
        {"two-byte char fits", "a\xC3\xA9", 3, 3},
        {"euro does not fit in 2",
         "\xE2\x82\xAC"
         "x",
         2, 0},
        {"cut between euros", "\xE2\x82\xAC\xE2\x82\xAC", 5, 3},
        {"emoji cut", "ab\xF0\x9F\x98\x80", 5, 2},
        {"invalid bytes count one by one", "\xFF\xFF\xFF", 2, 2},
        {"broken lead counts as one byte",
         "a\xE2\x82"
         "bcd",
         2, 2},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::utf8SafePrefixLength(c.text, c.max), c.expected) << c.name;
        EXPECT_EQ(platform::truncateUtf8(c.text, c.max), c.text.substr(0, c.expected)) << c.name;
    }
    EXPECT_EQ(platform::truncateUtf8("Gr\xC3\xBC\xC3\x9F"
                                     "e",
                                     3),
              "Gr");
    EXPECT_EQ(platform::truncateUtf8("Gr\xC3\xBC\xC3\x9F"
                                     "e",
                                     4),
              "Gr\xC3\xBC");
}

TEST(TextEncodingTest, MacRomanToUtf8) {
    struct Case {
        const char* name;
        std::string macRoman;
        std::string utf8;
    };
    const Case cases[] = {
        {"ascii unchanged", "Track 12", "Track 12"},
        {"0x80 A diaeresis", "\x80", "\xC3\x84"},
        {"0x8A a diaeresis", "\x8A", "\xC3\xA4"},
        {"0xA7 sharp s", "\xA7", "\xC3\x9F"},
        {"0xA5 bullet", "\xA5", "\xE2\x80\xA2"},
        {"0xCA no-break space", "\xCA", "\xC2\xA0"},
        {"0xDB euro", "\xDB", "\xE2\x82\xAC"},
        {"0xDE fi ligature", "\xDE", "\xEF\xAC\x81"},
        {"0xF0 private-use apple", "\xF0", "\xEF\xA3\xBF"},
        {"0xFF caron", "\xFF", "\xCB\x87"},
        {"mixed",
         "Stra\xA7"
         "e \x80",
         "Stra\xC3\x9F"
         "e \xC3\x84"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::macRomanToUtf8(c.macRoman), c.utf8) << c.name;
        EXPECT_EQ(platform::utf8ToMacRoman(c.utf8), c.macRoman) << c.name;
    }
}

TEST(TextEncodingTest, EveryMacRomanByteRoundTrips) {
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    const std::string utf8 = platform::macRomanToUtf8(all);
    EXPECT_TRUE(platform::isValidUtf8(utf8));
    EXPECT_EQ(platform::utf8ToMacRoman(utf8), all);
}

TEST(TextEncodingTest, Utf8ToMacRomanRejectsWhatItCannotHold) {
    struct Case {
        const char* name;
        std::string utf8;
    };
    const Case cases[] = {
        {"CJK character", "\xE4\xB8\xAD"}, {"emoji", "\xF0\x9F\x98\x80"}, {"Cyrillic", "\xD0\x96"},
        {"invalid UTF-8", "abc\xC3"},      {"Latin-1 byte", "caf\xE9"},
    };
    for (const auto& c : cases) EXPECT_EQ(platform::utf8ToMacRoman(c.utf8), std::nullopt) << c.name;
}
