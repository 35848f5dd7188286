#include <gtest/gtest.h>

#include <string>

#include "app/Utilities/Localization/StringVekmont.h"
#include "app/Utilities/Strings/VKMFormattingHelper.h"
#include "app/Utilities/Strings/ZDUtilsStrings.h"
#include "tests/support/EngineServices.h"

namespace {

std::string numberedLines(int count, const char* separator) {
    std::string text;
    for (int i = 1; i <= count; ++i) {
        if (i > 1) text += separator;
        text += "line " + std::to_string(i);
    }
    return text;
}

}  // namespace

TEST(StringHelpers, SimilarityIsJaroWithAShortPrefixBonus) {
    struct Case {
        const char* name;
        const char* a;
        const char* b;
        double expected;
    };
    const Case cases[] = {
        {"a text to itself", "layout", "layout", 100.0},
        {"no common byte", "abc", "xyz", 0.0},
        {"an empty text", "", "abc", 0.0},
        {"one byte each, equal", "a", "a", 100.0},
        {"one transposition, two prefix bytes", "MARTHA", "MARHTA", 95.5556},
        {"different lengths, two prefix bytes", "DIXON", "DICKSONX", 81.3333},
        // Below 0.7 there is no bonus: Jaro of 2 common bytes of 6 and 9.
        {"no bonus under 0.7", "abcdef", "abxxxxxcd", 51.8519},
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(ZDUtils::similarityToString(c.a, c.b), c.expected, 0.01) << c.name;
        EXPECT_NEAR(ZDUtils::similarityToString(c.b, c.a), c.expected, 0.01) << c.name << " (swapped)";
    }
}

TEST(StringHelpers, AddressChecksTakeTheWholeTextForMailAndIpButSearchForWebAddresses) {
    struct Case {
        const char* text;
        bool email;
        bool ip;
        bool http;
    };
    const Case cases[] = {
        {"anna.berg@example.org", true, false, false},
        {"Anna.Berg@EXAMPLE.org", true, false, false},
        {"anna@[192.168.0.1]", true, false, false},
        {"anna@example", false, false, false},
        {"anna@@example.org", false, false, false},
        {" anna@example.org", false, false, false},
        {"192.168.0.1", false, true, false},
        {"256.1.1.1", false, false, false},
        {" 192.168.0.1", false, false, false},
        {"192.168.0.1 ", false, false, false},
        {"see https://example.org/layouts?id=7 for more", false, false, true},
        {"http://example.org", false, false, true},
        {"HTTPS://example.org", false, false, false},
        {"ftp://example.org", false, false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ZDUtils::isValidEmail(c.text), c.email) << c.text;
        EXPECT_EQ(ZDUtils::isValidInternetProtocolAddress(c.text), c.ip) << c.text;
        EXPECT_EQ(ZDUtils::isValidHTTPAddress(c.text), c.http) << c.text;
    }
}

TEST(StringHelpers, ACarriageReturnAndLineFeedIsOneLineBreak) {
    EXPECT_EQ(ZDUtils::lineCount("a\r\nb"), 2u);
    EXPECT_EQ(ZDUtils::lineCount("a\rb\nc\r\n"), 4u);
    EXPECT_EQ(ZDUtils::substringWithLastLines("l1\r\nl2\r\nl3", 2), "l2\nl3");
    EXPECT_EQ(ZDUtils::substringWithLines("l1\r\nl2\r\nl3", 2), "l1\nl2");

    // The crash attachment: the last 200 of a log written with CRLF lines.
    const std::string log = numberedLines(201, "\r\n");
    EXPECT_EQ(ZDUtils::substringWithLastLines(log, 200),
              numberedLines(201, "\n").substr(std::string("line 1\n").size()));
}

TEST(StringHelpers, LinesAreCountedAndCutAtEveryNewline) {
    EXPECT_EQ(ZDUtils::lineCount(""), 1u);
    EXPECT_EQ(ZDUtils::lineCount("one"), 1u);
    EXPECT_EQ(ZDUtils::lineCount("one\n"), 2u);
    EXPECT_EQ(ZDUtils::lineCount("a\n\nb"), 3u);
    EXPECT_EQ(ZDUtils::lineCount("a\u2028b\u0085c"), 3u);

    const std::string log201 = numberedLines(201, "\n");
    const std::string log200 = numberedLines(200, "\n");
    EXPECT_EQ(ZDUtils::substringWithLastLines(log201, 200), log201.substr(std::string("line 1\n").size()));
    EXPECT_EQ(ZDUtils::substringWithLastLines(log200, 200), log200);
    EXPECT_EQ(ZDUtils::substringWithLines(log201, 2), "line 1\nline 2");
    EXPECT_EQ(ZDUtils::substringWithLines("a\nb", 0), "");
    EXPECT_EQ(ZDUtils::substringWithLastLines("a\nb\n", 1), "");
}

TEST(StringHelpers, WordsAreCounted) {
    EXPECT_EQ(ZDUtils::wordCount(""), 0u);
    EXPECT_EQ(ZDUtils::wordCount("  \n "), 0u);
    EXPECT_EQ(ZDUtils::wordCount("Hello, world! It's 3 o'clock."), 5u);
    EXPECT_EQ(ZDUtils::wordCount("Gleisplan\tmit  Bahnhof\nund Tunnel"), 5u);
}

TEST(StringHelpers, TrimmingAndCleaningUseTheUnicodeCharacterClasses) {
    EXPECT_EQ(ZDUtils::stringByStrippingWhitespace(" \t\u00A0Gleis 1\u2028\r\n"), "Gleis 1");
    EXPECT_EQ(ZDUtils::stringByStrippingLeadingWhitespace("  a b  "), "a b  ");
    EXPECT_EQ(ZDUtils::stringByStrippingTrailingWhitespace("  a b  "), "  a b");
    EXPECT_EQ(ZDUtils::stringByStrippingWhitespace(" \n\t "), "");
    EXPECT_EQ(ZDUtils::stringByStrippingWhitespace(""), "");
    EXPECT_EQ(ZDUtils::stringByTrimmingLeadingCharactersInSet("0042", [](char32_t c) { return c == U'0'; }), "42");
    EXPECT_EQ(ZDUtils::stringByTrimmingTrailingCharactersInSet("4200", [](char32_t c) { return c == U'0'; }), "42");
    EXPECT_EQ(ZDUtils::stringByRemovingAllWhitespace(" a\tb\u00A0c\nd "), "abcd");
    EXPECT_EQ(ZDUtils::stringValidForFileNames("Bahnhof: Süd/Nord? (v2) a+b_c,d.-e"), "Bahnhof SüdNord v2 a+b_c,d.-e");
    EXPECT_EQ(ZDUtils::alphanumericString("Zürich-2 Hbf!"), "Zürich2Hbf");
    EXPECT_EQ(ZDUtils::ZDURLEncodedString("a b/ä?~-._!*'()@=&+$,;:#[]%"),
              "a%20b%2F%C3%A4%3F~-._%21%2A%27%28%29%40%3D%26%2B%24%2C%3B%3A%23%5B%5D%25");
}

TEST(StringHelpers, TextsAreRepairedReversedSearchedAndDefused) {
    EXPECT_EQ(ZDUtils::stringFromUnicodeCPPString("Gleis"), "Gleis");
    EXPECT_EQ(ZDUtils::stringFromUnicodeCPPString("ab\xFF"
                                                  "cd\xC3"),
              "ab*cd*");
    EXPECT_EQ(ZDUtils::stringFromUnicodeCPPString("Ø \xE2\x82"), "Ø *");

    EXPECT_EQ(ZDUtils::reverseString("añb"), "bña");
    EXPECT_EQ(ZDUtils::reverseString("x\U0001F682y"), "y\U0001F682x");

    EXPECT_TRUE(ZDUtils::containsStringInsensitive("Bahnhof Süd", "SÜD"));
    EXPECT_FALSE(ZDUtils::containsString("Bahnhof Süd", "SÜD", 0));
    EXPECT_FALSE(ZDUtils::containsStringInsensitive("Bahnhof Süd", "sud"));
    EXPECT_TRUE(ZDUtils::containsString("Bahnhof Süd", "sud",
                                        ZDUtils::kCaseInsensitiveSearch | ZDUtils::kDiacriticInsensitiveSearch));
    EXPECT_FALSE(ZDUtils::containsStringInsensitive("abc", ""));

    EXPECT_EQ(ZDUtils::safePercentString("100% of %s"), "100<PERCENT_SIGN> of <PERCENT_SIGN>s");
}

TEST(StringHelpers, CatalogueTextsShowScalesWithRatiosAndCountsInThousands) {
    EXPECT_EQ(VKMFormattingHelper::formattedModelScaleTxt("H0"), "H0 (1:87)");
    EXPECT_EQ(VKMFormattingHelper::formattedModelScaleTxt("G"), "G (1:22)");
    EXPECT_EQ(VKMFormattingHelper::formattedModelScaleTxt("Custom Scale"), "Custom Scale");
    EXPECT_EQ(VKMFormattingHelper::formattedModelScaleTxt("Märklin"), "Märklin");

    EXPECT_EQ(VKMFormattingHelper::adaptiveStringFromNumber(999), "999");
    EXPECT_EQ(VKMFormattingHelper::adaptiveStringFromNumber(1000), "1.0k");
    EXPECT_EQ(VKMFormattingHelper::adaptiveStringFromNumber(1099), "1.0k");
    EXPECT_EQ(VKMFormattingHelper::adaptiveStringFromNumber(12345), "12.3k");
    EXPECT_EQ(VKMFormattingHelper::adaptiveStringFromNumber(-5000), "-5000");
}

TEST(StringHelpers, TranslatedFormatsAreFilledWithoutTrustingThem) {
    using StringVekmont::fillFormat;
    EXPECT_EQ(fillFormat("%@ has %d layouts", {"Anna", 3}), "Anna has 3 layouts");
    EXPECT_EQ(fillFormat("%s and %s", {"a", "b"}), "a and b");
    EXPECT_EQ(fillFormat("%2$@ before %1$@", {"one", "two"}), "two before one");
    EXPECT_EQ(fillFormat("%.2f mm, %5.1f%%", {1.5, 2}), "1.50 mm,   2.0%");
    EXPECT_EQ(fillFormat("%ld of %d", {"many", 2.9}), "many of 2");
    EXPECT_EQ(fillFormat("%@ and %@", {"only"}), "only and ");
    EXPECT_EQ(fillFormat("%n%99999d%", {1}), "%n%99999d%");

    testsupport::RegisterServices("de");
    EXPECT_EQ(StringVekmont::localized("OperationFailed"), "Vorgang fehlgeschlagen");
    EXPECT_EQ(StringVekmont::localizedFormat("GenericCircleName", {12.5, "cm"}), "Kreis Ø 12.5 cm");
}
