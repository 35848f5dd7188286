#include "platform/foundation/Locale.h"
#include "platform/foundation/TimeZone.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <latch>
#include <thread>
#include <vector>

using platform::Locale;

namespace {

// "1.234,50 €" as German formats it: a no-break space (U+00A0, C2 A0) keeps
// the sign on the amount's line; the euro sign is U+20AC (E2 82 AC).
const std::string kGermanEuroAmount = "1.234,50\xC2\xA0\xE2\x82\xAC";

}  // namespace

TEST(LocaleTest, MeasurementSystemAndLanguage) {
    struct Case {
        const char* id;
        bool metric;
        const char* language;
    };
    const Case cases[] = {
        {"en_US", false, "en"}, {"en_US.UTF-8", false, "en"}, {"de_DE", true, "de"},
        {"en_GB", true, "en"},  {"fr_FR", true, "fr"},        {"de_DE.UTF-8", true, "de"},
    };
    for (const auto& c : cases) {
        Locale locale(c.id);
        EXPECT_EQ(locale.usesMetricSystem(), c.metric) << c.id;
        EXPECT_EQ(locale.languageCode(), c.language) << c.id;
        EXPECT_EQ(locale.identifier(), c.id);
    }
}

TEST(LocaleTest, LocalizedStandardCompare) {
    struct Case {
        const char* name;
        const char* locale;
        std::string a;
        std::string b;
        int expected;
    };
    const Case cases[] = {
        {"equal texts", "en_US", "Layout", "Layout", 0},
        {"case differences compare equal", "en_US", "Track Plan", "track plan", 0},
        {"digits compare as numbers", "en_US", "file2", "file10", -1},
        {"digits compare as numbers, reversed", "en_US", "file10", "file2", 1},
        {"plain order", "en_US", "apple", "banana", -1},
        {"accents still count", "en_US", "r\xC3\xA9sum\xC3\xA9", "resume", 1},
        {"umlaut sorts with its base letter, not after z", "de_DE", "\xC3\x84pfel", "Birnen", -1},
        {"empty first", "en_US", "", "a", -1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Locale(c.locale).localizedStandardCompare(c.a, c.b), c.expected) << c.name;
    }
}

TEST(LocaleTest, CurrencyNamesAndSymbols) {
    struct Case {
        const char* name;
        const char* locale;
        const char* code;
        std::optional<std::string> displayName;
        std::optional<std::string> symbol;
    };
    const Case cases[] = {
        {"euro in Germany", "de_DE", "EUR", "Euro", "\xE2\x82\xAC"},
        {"euro in the US", "en_US", "EUR", "Euro", "\xE2\x82\xAC"},
        {"dollar at home", "en_US", "USD", "US Dollar", "$"},
        {"dollar in Britain is marked", "en_GB", "USD", "US Dollar", "US$"},
        {"unknown code", "en_US", "XQZ", std::nullopt, std::nullopt},
        {"two letters", "en_US", "EU", std::nullopt, std::nullopt},
        {"digit in code", "en_US", "E1R", std::nullopt, std::nullopt},
        {"four letters", "en_US", "EURO", std::nullopt, std::nullopt},
        {"non-ASCII", "en_US", "\xC3\x84UR", std::nullopt, std::nullopt},
        {"empty", "en_US", "", std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        Locale locale(c.locale);
        EXPECT_EQ(locale.currencyName(c.code), c.displayName) << c.name;
        EXPECT_EQ(locale.currencySymbol(c.code), c.symbol) << c.name;
    }
}

TEST(LocaleTest, OwnCurrencyOfTheLocale) {
    EXPECT_EQ(Locale("de_DE").currencyCode(), std::optional<std::string>("EUR"));
    EXPECT_EQ(Locale("de_CH.UTF-8").currencyCode(), std::optional<std::string>("CHF"));
    EXPECT_EQ(Locale("en_GB").currencyCode(), std::optional<std::string>("GBP"));
    EXPECT_EQ(Locale("en_US").currencyCode(), std::optional<std::string>("USD"));
    // A language without a country names no currency.
    EXPECT_EQ(Locale("de").currencyCode(), std::nullopt);
}

TEST(LocaleTest, FormatCurrency) {
    struct Case {
        const char* name;
        const char* locale;
        double amount;
        const char* code;
        bool noFraction;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {"German euro amount", "de_DE", 1234.5, "EUR", false, kGermanEuroAmount},
        {"US dollars", "en_US", 1234.5, "USD", false, "$1,234.50"},
        {"negative euro in the US", "en_US", -3.25, "EUR", false,
         "-\xE2\x82\xAC"
         "3.25"},
        {"no fraction rounds half to even (down)", "en_US", 1234.5, "USD", true, "$1,234"},
        {"no fraction rounds half to even (up)", "en_US", 1235.5, "USD", true, "$1,236"},
        {"yen has no fraction digits of its own", "en_US", 1234.5, "JPY", false,
         "\xC2\xA5"
         "1,234"},
        {"unknown code", "de_DE", 1.0, "XQZ", false, std::nullopt},
        {"malformed code", "de_DE", 1.0, "12", false, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Locale(c.locale).formatCurrency(c.amount, c.code, c.noFraction), c.expected) << c.name;
    }
}

TEST(LocaleTest, ParseCurrency) {
    Locale de("de_DE");
    Locale us("en_US");
    struct Case {
        const char* name;
        const Locale& locale;
        std::string text;
        const char* code;
        std::optional<double> expected;
    };
    const Case cases[] = {
        {"German formatted amount", de, kGermanEuroAmount, "EUR", 1234.5},
        {"German number without sign", de, "1.234,50", "EUR", 1234.5},
        {"surrounding blanks", de, "  12,5  ", "EUR", 12.5},
        {"US dollars", us, "$1,234.50", "USD", 1234.5},
        {"US negative", us, "-$3.25", "USD", -3.25},
        {"US plain number", us, "12.5", "USD", 12.5},
        {"letters", de, "abc", "EUR", std::nullopt},
        {"number followed by letters", de, "12abc", "EUR", std::nullopt},
        {"empty", de, "", "EUR", std::nullopt},
        {"only blanks", de, "   ", "EUR", std::nullopt},
        {"another currency's sign", us,
         "\xE2\x82\xAC"
         "5",
         "USD", std::nullopt},
        {"unknown code", de, "12,5", "XQZ", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(c.locale.parseCurrency(c.text, c.code), c.expected) << c.name;

    // What formatCurrency writes, parseCurrency reads back.
    for (const double amount : {0.0, 0.01, 999.99, -42.5, 1000000.0}) {
        for (const Locale* locale : {&de, &us}) {
            auto text = locale->formatCurrency(amount, "EUR");
            ASSERT_TRUE(text.has_value());
            EXPECT_EQ(locale->parseCurrency(*text, "EUR"), amount) << locale->identifier() << " " << *text;
        }
    }
}

TEST(LocaleTest, SetCurrentKeepsEarlierReferencesValid) {
    Locale::setCurrent("en_US");
    const Locale& before = Locale::current();
    EXPECT_EQ(before.identifier(), "en_US");
    Locale::setCurrent("de_DE");
    EXPECT_EQ(Locale::current().identifier(), "de_DE");
    EXPECT_EQ(before.identifier(), "en_US");
    EXPECT_TRUE(Locale::current().usesMetricSystem());

    constexpr int kThreads = 8;
    std::latch start(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            start.arrive_and_wait();
            for (int i = 0; i < 50; ++i) {
                if (t == 0) Locale::setCurrent(i % 2 ? "de_DE" : "en_GB");
                const std::string id = Locale::current().identifier();
                EXPECT_TRUE(id == "de_DE" || id == "en_GB") << id;
                EXPECT_EQ(Locale::current().localizedStandardCompare("file2", "file10"), -1);
            }
        });
    }
    for (auto& t : threads) t.join();
}

// current() reads the environment once, so each case runs in a fresh process.
TEST(LocaleTest, CurrentComesFromTheEnvironment) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    struct Case {
        const char* name;
        const char* lcAll;
        const char* lcMonetary;
        const char* lang;
        const char* expected;
    };
    const Case cases[] = {
        {"LANG with encoding", nullptr, nullptr, "de_DE.UTF-8", "de_DE"},
        {"LC_ALL wins", "en_GB.UTF-8", "fr_FR", "de_DE.UTF-8", "en_GB"},
        {"LC_MONETARY before LANG", nullptr, "fr_FR.UTF-8", "de_DE", "fr_FR"},
        {"C means en_US", "C", nullptr, "de_DE", "en_US"},
        {"POSIX means en_US", nullptr, nullptr, "POSIX", "en_US"},
        {"nothing set", nullptr, nullptr, nullptr, "en_US"},
    };
    for (const auto& c : cases) {
        EXPECT_EXIT(
            {
                auto set = [](const char* name, const char* value) {
                    if (value) setenv(name, value, 1);
                    else unsetenv(name);
                };
                set("LC_ALL", c.lcAll);
                set("LC_MONETARY", c.lcMonetary);
                set("LANG", c.lang);
                const bool ok = Locale::current().identifier() == c.expected;
                std::exit(ok ? 0 : 1);
            },
            testing::ExitedWithCode(0), "")
            << c.name;
    }
}

TEST(LocaleTest, FormatDateInTheLocalesStylesAndTheProcessZone) {
    platform::TimeZone::setDefaultTimeZone(platform::TimeZone::named("Europe/Berlin"));
    // 2024-03-01 13:05:00 UTC, 14:05 in Berlin.
    const auto date = std::chrono::system_clock::time_point(std::chrono::seconds(1709298300));
    const std::string english =
        Locale("en_US").formatDate(date, platform::DateStyle::fullStyle, platform::DateStyle::shortStyle);
    EXPECT_NE(english.find("Friday, March 1, 2024"), std::string::npos) << english;
    EXPECT_NE(english.find("2:05"), std::string::npos) << english;
    const std::string german =
        Locale("de_DE").formatDate(date, platform::DateStyle::fullStyle, platform::DateStyle::shortStyle);
    EXPECT_NE(german.find("Freitag, 1. März 2024"), std::string::npos) << german;
    EXPECT_NE(german.find("14:05"), std::string::npos) << german;
    EXPECT_EQ(Locale("de_DE").formatDate(date, platform::DateStyle::noStyle, platform::DateStyle::noStyle), "");
    platform::TimeZone::setDefaultTimeZone(std::nullopt);
}
