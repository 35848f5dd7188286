#include "platform/foundation/AsciiText.h"

#include <gtest/gtest.h>

#include <cctype>
#include <clocale>
#include <cstring>
#include <string>

using namespace std::string_literals;
namespace ascii = platform::ascii;

TEST(AsciiText, ChangesTheCaseOfAsciiLettersOnly) {
    struct Case {
        const char* name;
        std::string text;
        std::string lower;
        std::string upper;
    };
    const Case cases[] = {
        {"empty", "", "", ""},
        {"mixed words and digits", "Content-Length 42", "content-length 42", "CONTENT-LENGTH 42"},
        {"the bytes beside the letter ranges", "@[`{", "@[`{", "@[`{"},
        {"first and last letters", "AZaz", "azaz", "AZAZ"},
        {"UTF-8 letters pass through", "\xC3\x84rger \xC3\x96l", "\xC3\x84rger \xC3\x96l", "\xC3\x84RGER \xC3\x96L"},
        {"a Latin-1 capital stays", "\xC4x", "\xC4x", "\xC4X"},
        {"embedded NUL", "A\0b"s, "a\0b"s, "A\0B"s},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ascii::lowercased(c.text), c.lower) << c.name;
        EXPECT_EQ(ascii::uppercased(c.text), c.upper) << c.name;
    }
}

TEST(AsciiText, ComparesIgnoringOnlyTheCaseOfLetters) {
    struct Case {
        const char* name;
        std::string a;
        std::string b;
        bool equal;
    };
    const Case cases[] = {
        {"both empty", "", "", true},
        {"header names", "Content-Length", "content-LENGTH", true},
        {"one letter differs", "blob", "blod", false},
        {"a prefix is not equal", "container", "contain", false},
        {"'@' is no capital of '`'", "@", "`", false},
        {"'[' is no capital of '{'", "x[", "X{", false},
        {"Latin-1 capital and small", "\xC4", "\xE4", false},
        {"after a NUL", "a\0B"s, "A\0b"s, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ascii::equalsIgnoringCase(c.a, c.b), c.equal) << c.name;
        EXPECT_EQ(ascii::equalsIgnoringCase(c.b, c.a), c.equal) << c.name << " (swapped)";
    }
}

TEST(AsciiText, TrimsTheGivenWhitespaceFromBothEnds) {
    struct Case {
        const char* name;
        std::string text;
        std::string_view whitespace;
        std::string expected;
    };
    const Case cases[] = {
        {"nothing to trim", "a b", ascii::kWhitespace, "a b"},
        {"blanks inside stay", "  a \t b \n", ascii::kWhitespace, "a \t b"},
        {"all six kinds", "\v\f\r\n\t x \v\f", ascii::kWhitespace, "x"},
        {"only whitespace", " \t\r\n", ascii::kWhitespace, ""},
        {"empty", "", ascii::kWhitespace, ""},
        {"a NUL is no whitespace", "\0 x "s, ascii::kWhitespace, "\0 x"s},
        {"a no-break space byte is no whitespace", "\xA0x\xA0", ascii::kWhitespace, "\xA0x\xA0"},
        {"a narrower set leaves the others", "\vx \r\n", " \t\r\n", "\vx"},
    };
    for (const Case& c : cases) EXPECT_EQ(ascii::trimmed(c.text, c.whitespace), c.expected) << c.name;
}

TEST(AsciiText, AgreesWithTheCLocaleForEveryByte) {
    ASSERT_STREQ(std::setlocale(LC_ALL, nullptr), "C");
    for (int byte = 0; byte < 256; ++byte) {
        const char c = static_cast<char>(byte);
        EXPECT_EQ(ascii::toLower(c), static_cast<char>(std::tolower(byte))) << byte;
        EXPECT_EQ(ascii::toUpper(c), static_cast<char>(std::toupper(byte))) << byte;
        EXPECT_EQ(ascii::isWhitespace(c), std::isspace(byte) != 0) << byte;
    }
}
