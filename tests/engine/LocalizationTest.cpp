// The localisation service: string tables, formatted translations,
// comparison, currencies, and the accessors without a registered service.

#include "engine/services/LocalizationService.h"

#include "engine/services/ZDUtils.h"
#include "platform/foundation/Locale.h"
#include "platform/foundation/TextEncoding.h"
#include "tests/support/EngineServices.h"
#include "tests/support/LogWatch.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

using testing::HasSubstr;

namespace {

using testsupport::LogHas;
using testsupport::RegisterLocalization;

}  // namespace

TEST(Localization, TranslatesKeysAndGivesBackUnknownKeys) {
    LocalizationServiceBase* service = RegisterLocalization("en");
    ASSERT_NE(service, nullptr);
    EXPECT_EQ(service->GetServiceName(), "LocalizationService");

    EXPECT_EQ(ULocalization::GetLocalizedString("FailedToOpenFile"), "The layout file could not be opened.");
    EXPECT_EQ(ULocalization::GetLocalizedString("ElementType_PlainTrack"), "Track");
    EXPECT_EQ(service->GetLocalizedString("Feet", ""), "Feet");

    EXPECT_EQ(ULocalization::GetLocalizedString("NoSuchKey_4711"), "NoSuchKey_4711");
    EXPECT_TRUE(LogHas("No translation found for 'NoSuchKey_4711'"));
    // A key of another table is not found in "QLStrings".
    EXPECT_EQ(service->GetString("Feet"), "Feet");
    EXPECT_EQ(service->GetLocalizedString("OperationFailed", "Localizable"), "OperationFailed");

    EXPECT_EQ(ZDUtils::localizedString(static_cast<const char*>(nullptr)), "");
    EXPECT_EQ(ZDUtils::localizedString("OperationFailed"), "Operation failed");
    EXPECT_EQ(ZDUtils::localizedString(std::string("Cancel")), "Cancel");
}

TEST(Localization, PicksThePreferredLanguage) {
    LocalizationServiceBase* service = RegisterLocalization("de");
    ASSERT_NE(service, nullptr);
    EXPECT_EQ(ULocalization::GetLocalizedString("FailedToOpenFile"),
              "Die Gleisplandatei konnte nicht ge\xC3\xB6"
              "ffnet werden.");
    EXPECT_EQ(ZDUtils::localizedFormattedString("NewLayerName", 1), "Ebene 1");
    EXPECT_EQ(service->GetLocalizedString("Inch", ""), "Zoll");
    EXPECT_EQ(service->GetLocalizedString("Feet", "Localizable"), "Fu\xC3\x9F");
    // Escapes of the table come out as the characters.
    EXPECT_THAT(service->GetString("NetworkOfflineDescription"), HasSubstr("erreichbar.\nBitte"));
}

TEST(Localization, FormatsTranslationsAndCutsThemAt511Bytes) {
    ASSERT_NE(RegisterLocalization("en"), nullptr);
    EXPECT_EQ(ULocalization::GetLocalizedFormattedString("NewLayerName", 1), "Layer 1");
    EXPECT_EQ(ULocalization::GetLocalizedFormattedString("GenericRectName", 12.0, 3.5, "cm"),
              "Rectangle 12.0 \xC3\x97 3.5 cm");
    EXPECT_EQ(ZDUtils::localizedFormattedString("GenericPolyName", 5), "Polygon (5 points)");
    EXPECT_EQ(ZDUtils::localizedFormattedString(nullptr), "");

    // "Circle Ø 10.0 " is 15 bytes, then "x": 16. Each "ä" is two bytes, so
    // 247 of them end at byte 510 and the 248th would straddle the cut.
    std::string unit = "x";
    for (int i = 0; i < 300; ++i) unit += "\xC3\xA4";
    std::string expected = "Circle \xC3\x98 10.0 x";
    for (int i = 0; i < 247; ++i) expected += "\xC3\xA4";
    const std::string text = ULocalization::GetLocalizedFormattedString("GenericCircleName", 10.0, unit.c_str());
    EXPECT_EQ(text.size(), 510u);
    EXPECT_EQ(text, expected);
    EXPECT_TRUE(platform::isValidUtf8(text));

    // Exactly at the limit nothing more is lost.
    std::string ascii(600, 'y');
    const std::string cut = ZDUtils::localizedFormattedString("GenericCircleName", 1.0, ascii.c_str());
    EXPECT_EQ(cut.size(), 511u);
    EXPECT_EQ(cut.substr(0, 14), "Circle \xC3\x98 1.0 ");
}

TEST(Localization, ComparesTextsLikeTheFinder) {
    LocalizationServiceBase* service = RegisterLocalization("en");
    ASSERT_NE(service, nullptr);
    platform::Locale::setCurrent("en_US");
    EXPECT_EQ(service->CompareStrings("Layout", "Layout"), 0);
    EXPECT_EQ(service->CompareStrings("", ""), 0);
    EXPECT_EQ(service->CompareStrings("Track 2", "Track 10"), -1);
    EXPECT_EQ(service->CompareStrings("Track 10", "Track 2"), 1);
    EXPECT_EQ(service->CompareStrings("b", "A"), 1);
}

TEST(Localization, CurrenciesThroughTheService) {
    LocalizationServiceBase* service = RegisterLocalization("en");
    ASSERT_NE(service, nullptr);
    platform::Locale::setCurrent("en_US");
    EXPECT_EQ(ULocalization::FormatCurrency("USD", 19.99), "$19.99");
    EXPECT_DOUBLE_EQ(ULocalization::ParseCurrency("$1,234.50", "USD"), 1234.5);
    EXPECT_DOUBLE_EQ(ULocalization::ParseCurrency("not a price", "USD"), 0.0);
    EXPECT_EQ(service->NameForCurrencyCode("EUR"), "Euro");
    EXPECT_EQ(service->SymbolForCurrencyCode("USD"), "$");

    platform::Locale::setCurrent("de_DE");
    EXPECT_EQ(ULocalization::FormatCurrency("EUR", 19.99), "19,99\xC2\xA0\xE2\x82\xAC");
    EXPECT_DOUBLE_EQ(ULocalization::ParseCurrency("19,99\xC2\xA0\xE2\x82\xAC", "EUR"), 19.99);
    EXPECT_EQ(service->NameForCurrencyCode("USD"), "US-Dollar");

    // A code the locale does not know gives empty answers, not a failure.
    EXPECT_EQ(service->NameForCurrencyCode("QQQ"), "");
    EXPECT_EQ(service->SymbolForCurrencyCode("QQQ"), "");
    EXPECT_EQ(service->CurrencyStringForAmount("QQQ", 1.0), "");
    EXPECT_DOUBLE_EQ(service->AmountFromCurrencyString("1,00", "QQQ"), 0.0);
}

TEST(Localization, WithoutServiceGivesEmptyResultsAndWarns) {
    EXPECT_EQ(ULocalization::GetLocalizationService(), nullptr);
    EXPECT_TRUE(LogHas("Failed to locate service 'LocalizationService'"));
    EXPECT_TRUE(LogHas("Service 'LocalizationService' not found"));
    EXPECT_EQ(ULocalization::GetLocalizedString("FailedToOpenFile"), "");
    EXPECT_EQ(ULocalization::GetLocalizedFormattedString("NewLayerName", 1), "");
    EXPECT_EQ(ULocalization::FormatCurrency("EUR", 1.0), "");
    EXPECT_DOUBLE_EQ(ULocalization::ParseCurrency("1,00", "EUR"), 0.0);
    EXPECT_EQ(ZDUtils::localizedString("OperationFailed"), "");

    // Looked up on every call: registering later is enough.
    ASSERT_NE(RegisterLocalization("en"), nullptr);
    EXPECT_EQ(ULocalization::GetLocalizedString("OperationFailed"), "Operation failed");
}
