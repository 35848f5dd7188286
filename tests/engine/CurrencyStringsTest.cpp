// Currency texts in fixed locales.

#include "engine/services/CurrencyStrings.h"

#include "platform/foundation/Locale.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

const std::string kNbsp = "\xC2\xA0";
const std::string kEuro = "\xE2\x82\xAC";

}  // namespace

TEST(CurrencyStrings, FormatsAmountsInTheCurrentLocale) {
    struct Case {
        const char* name;
        const char* locale;
        double amount;
        const char* code;
        bool noFractionDigits;
        std::string expected;
    };
    const Case cases[] = {
        {"dollars in the US", "en_US", 1234.5, "USD", false, "$1,234.50"},
        {"dollars rounded to whole units", "en_US", 1234.56, "USD", true, "$1,235"},
        {"yen have no fraction digits anyway", "en_US", 1234.56, "JPY", false,
         "\xC2\xA5"
         "1,235"},
        {"negative cents", "en_US", -0.994, "USD", false, "-$0.99"},
        {"euros in Germany", "de_DE", 1234.5, "EUR", false, "1.234,50" + kNbsp + kEuro},
        {"euros in Germany, whole", "de_DE", 19.99, "EUR", true, "20" + kNbsp + kEuro},
        {"dollars in Germany", "de_DE", 0.5, "USD", false, "0,50" + kNbsp + "$"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform::Locale::setCurrent(c.locale);
        const std::optional<std::string> text = c.noFractionDigits
                                                    ? UCurrencyStrings::currencyStringForAmount(c.amount, c.code, true)
                                                    : UCurrencyStrings::currencyStringForAmount(c.amount, c.code);
        ASSERT_TRUE(text.has_value());
        EXPECT_EQ(*text, c.expected);
    }
}

TEST(CurrencyStrings, ParsesCurrencyTextsThenPlainNumbers) {
    struct Case {
        const char* name;
        const char* locale;
        std::string text;
        const char* code;
        std::optional<double> expected;
    };
    const Case cases[] = {
        {"dollar text", "en_US", "$1,234.50", "USD", 1234.5},
        {"plain decimal number", "en_US", "12.99", "USD", 12.99},
        {"euro text in Germany", "de_DE", "1.234,50" + kNbsp + kEuro, "EUR", 1234.5},
        {"German decimal comma", "de_DE", "12,5", "EUR", 12.5},
        {"words are no amount", "en_US", "abc", "USD", std::nullopt},
        {"empty text is no amount", "de_DE", "", "EUR", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform::Locale::setCurrent(c.locale);
        const std::optional<double> amount = UCurrencyStrings::amountFromCurrencyString(c.text, c.code);
        ASSERT_EQ(amount.has_value(), c.expected.has_value());
        if (c.expected) {
            EXPECT_DOUBLE_EQ(*amount, *c.expected);
        }
    }
}

TEST(CurrencyStrings, NamesAndSymbolsFollowTheLocale) {
    platform::Locale::setCurrent("en_US");
    EXPECT_EQ(UCurrencyStrings::nameForCurrencyCode("USD"), "US Dollar");
    EXPECT_EQ(UCurrencyStrings::nameForCurrencyCode("GBP"), "British Pound");
    EXPECT_EQ(UCurrencyStrings::symbolForCurrencyCode("USD"), "$");
    EXPECT_EQ(UCurrencyStrings::symbolForCurrencyCode("EUR"), kEuro);

    platform::Locale::setCurrent("de_DE");
    EXPECT_EQ(UCurrencyStrings::nameForCurrencyCode("USD"), "US-Dollar");
    EXPECT_EQ(UCurrencyStrings::nameForCurrencyCode("JPY"), "Japanischer Yen");
    EXPECT_EQ(UCurrencyStrings::symbolForCurrencyCode("GBP"), "\xC2\xA3");

    EXPECT_EQ(UCurrencyStrings::nameForCurrencyCode("QQQ"), std::nullopt);
    EXPECT_EQ(UCurrencyStrings::symbolForCurrencyCode("QQQ"), std::nullopt);
    EXPECT_EQ(UCurrencyStrings::currencyStringForAmount(1.0, "QQQ"), std::nullopt);
    EXPECT_EQ(UCurrencyStrings::amountFromCurrencyString("1", "QQQ"), std::nullopt);
}
