// Part list and price list: currencies, the pricing step, prices kept across
// documents, the part list's copies and the delimited-text export.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine/services/CurrencyStrings.h"
#include "engine/model/CompositeGeometry.h"
#include "engine/model/ElementComponents.h"
#include "engine/model/FlexTrackBIG.h"
#include "engine/model/OvalBIG.h"
#include "engine/model/PartList.h"
#include "engine/model/PolyBIG.h"
#include "engine/model/Statistics.h"
#include "engine/model/StraightBIG.h"
#include "engine/services/LocalizationService.h"
#include "engine/services/PreferencesService.h"
#include "engine/services/ServiceLocator.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Locale.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/support/LogWatch.h"
#include "tests/support/TestContainer.h"

namespace {

using testsupport::LogHas;
using testsupport::TestContainer;

const std::string kEuro = "\xE2\x82\xAC";

// The engine services as the start-up registers them, in `locale`.
void StartServices(const char* locale) {
    platform::Locale::setCurrent(locale);
    platform::Bundle* bundle = platform::Bundle::main();
    ASSERT_NE(bundle, nullptr) << "the resources folder was not found";
    bundle->setPreferredLanguage(std::string("en"));
    CServiceLocator::Instance().RegisterService(new LocalizationService());
    CServiceLocator::Instance().RegisterService(new VKMPreferencesService());
    CPriceList::Instance().Clear();
}

CCompositeGeometry* Piece(const char* product, const char* library = "Track Library") {
    auto* element = new CCompositeGeometry();
    element->SetProductNumber(product);
    element->SetLibraryName(library);
    auto* straight = new CStraightBIG();
    straight->SetLength(100.0);
    UElementComponents::AppendComponent(element, straight);
    return element;
}

CCompositeGeometry* UserFlex(const char* product) {
    auto* element = new CCompositeGeometry();
    element->SetProductNumber(product);
    UElementComponents::AppendComponent(element, UElementComponents::CreateFlexTrackComponent(
                                                     CPoint(0, 0), CPoint(300, 0), true, true, 0, 0, 500, 16.5, 30, 1));
    return element;
}

CCompositeGeometry* UserRectangle() {
    auto* element = new CCompositeGeometry();
    UElementComponents::AppendComponent(
        element, UElementComponents::CreatePolyComponent({CPoint(0, 0), CPoint(50, 0), CPoint(50, 30)}, 1,
                                                         kPolyKindRectangle, 0, 0, 0));
    return element;
}

// The document's part of loading: statistics refreshed, then priced.
void Reprice(TestContainer& layout, CTrackElementsStatistics& statistics) {
    statistics.Refresh(layout.GetElements());
    UPriceList::ApplyPrices(&layout, statistics.GetCountedElements());
}

const CCountedGeometry* Entry(const CTrackElementsStatistics& statistics, const char* product) {
    return UCountedElementVectorOperations::FindByProductNumber(statistics.GetCountedElements(), product);
}

}  // namespace

TEST(PartList, DefaultCurrencyFollowsTheLocaleWithinTheKnownCurrencies) {
    struct Case {
        const char* locale;
        int expected;
    };
    const Case cases[] = {
        {"de_DE", 129},
        {"en_US", 130},
        {"en_GB", 131},
        {"de_CH", 132},
        {"sv_SE", 133},
        {"ja_JP", 134},
        {"da_DK", 135},
        {"en_AU", 136},
        {"en_CA", 137},
        {"nb_NO", 138},
        {"en_NZ", 139},
        {"en_US.UTF-8", 130},
        // Currencies the price list does not know fall back to euros.
        {"pl_PL", 129},
        {"pt_BR", 129},
        {"en_IN", 129},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.locale);
        platform::Locale::setCurrent(c.locale);
        {
            VKMPreferencesService preferences;
            EXPECT_EQ(preferences.GetInt("QLDefaultCurrency"), c.expected);
        }
        // A stored value would beat the next case's default.
        platform::UserDefaults::standard().removeObject("QLDefaultCurrency");
    }

    // A value the user chose is kept over the locale's.
    platform::Locale::setCurrent("de_DE");
    platform::UserDefaults::standard().setInteger("QLDefaultCurrency", 131);
    VKMPreferencesService preferences;
    EXPECT_EQ(preferences.GetInt("QLDefaultCurrency"), 131);
}

TEST(PartList, CurrencyCodesAndPriceTexts) {
    StartServices("en_US");
    const char* codes[] = {"EUR", "USD", "GBP", "CHF", "SEK", "JPY", "DKK", "AUD", "CAD", "NOK", "NZD"};
    for (int id = 129; id <= 139; ++id) {
        SCOPED_TRACE(id);
        EXPECT_EQ(UPriceFormatting::GetCurrencyCode(id), codes[id - 129]);
    }
    for (int id : {0, 1, 128, 140, -129}) {
        SCOPED_TRACE(id);
        EXPECT_EQ(UPriceFormatting::GetCurrencyCode(id), "???");
    }

    EXPECT_EQ(UPriceFormatting::FormatPrice(129, 19.99), kEuro + "19.99");
    EXPECT_EQ(UPriceFormatting::FormatPrice(130, 1234.5), "$1,234.50");
    EXPECT_EQ(UPriceFormatting::FormatPrice(0, 19.99), "");
    EXPECT_DOUBLE_EQ(UPriceFormatting::ParsePrice("$5.25", 130), 5.25);
    EXPECT_DOUBLE_EQ(UPriceFormatting::ParsePrice(kEuro + "19.99", 129), 19.99);
    EXPECT_DOUBLE_EQ(UPriceFormatting::ParsePrice("", 129), 0.0);
}

TEST(PartList, PricingGivesEveryPartTheDefaultCurrency) {
    StartServices("en_US");
    TestContainer layout;
    CCompositeGeometry* a = layout.Add(Piece("5100"));
    a->SetPrice(250);
    a->SetCurrencyId(131);
    CCompositeGeometry* b = layout.Add(Piece("5100"));
    b->SetPrice(999);
    CCompositeGeometry* flex = layout.Add(UserFlex("Flex 1"));
    CCompositeGeometry* shape = layout.Add(UserRectangle());
    shape->SetPrice(777);
    shape->SetCurrencyId(133);

    CTrackElementsStatistics statistics(&layout);
    Reprice(layout, statistics);

    // The default currency is registered: US dollars here, never "???".
    ASSERT_EQ(statistics.GetCountedElements().size(), 2u);
    for (const CCountedGeometry* entry : statistics.GetCountedElements()) EXPECT_EQ(entry->GetCurrencyId(), 130);
    // Without a typed price the counted element keeps the price of the file's
    // first element, and every element of that part takes it.
    EXPECT_EQ(Entry(statistics, "5100")->GetPrice(), 250);
    EXPECT_EQ(a->GetPrice(), 250);
    EXPECT_EQ(b->GetPrice(), 250);
    EXPECT_EQ(a->GetCurrencyId(), 130);
    EXPECT_EQ(b->GetCurrencyId(), 130);
    EXPECT_EQ(flex->GetCurrencyId(), 130);
    // Drawn shapes are no parts and keep their own values.
    EXPECT_EQ(shape->GetPrice(), 777);
    EXPECT_EQ(shape->GetCurrencyId(), 133);

    CPartList parts(&layout, &statistics);
    EXPECT_EQ(parts.ExportToString(';', "en"), "001;5100;;;$2.50;2\n002;Flex 1;;;$0.00;1\n");
}

// Priced side by side in shares: every element of a part, wherever it lies
// in the list, takes the price its part's first element brought.
TEST(PartList, PricingReachesEveryElementOfALargeDocument) {
    StartServices("en_US");
    TestContainer layout;
    std::vector<std::pair<CCompositeGeometry*, int>> pieces;
    std::vector<CCompositeGeometry*> shapes;
    for (int i = 0; i < 5000; ++i) {
        if (i % 7 == 0) {
            shapes.push_back(layout.Add(UserRectangle()));
            shapes.back()->SetPrice(777);
            continue;
        }
        const int part = i % 50;
        const std::string product = "P" + std::to_string(part);
        CCompositeGeometry* piece = layout.Add(Piece(product.c_str()));
        piece->SetPrice(i < 100 ? 10 * part + 1 : 5);
        pieces.emplace_back(piece, part);
    }
    CTrackElementsStatistics statistics(&layout);
    Reprice(layout, statistics);
    EXPECT_EQ(statistics.GetCountedElements().size(), 50u);
    for (const auto& [piece, part] : pieces) {
        EXPECT_EQ(piece->GetPrice(), 10 * part + 1) << piece->GetProductNumber();
        EXPECT_EQ(piece->GetCurrencyId(), 130);
    }
    for (const CCompositeGeometry* shape : shapes) EXPECT_EQ(shape->GetPrice(), 777);
}

TEST(PartList, TypedPricesAreKeptForCataloguePartsAndFlexTrack) {
    StartServices("de_DE");
    CPriceList& prices = CPriceList::Instance();

    TestContainer layout;
    CCompositeGeometry* a = layout.Add(Piece("5100"));
    CCompositeGeometry* b = layout.Add(Piece("5100"));
    CCompositeGeometry* flex = layout.Add(UserFlex("Flex 1"));
    CCompositeGeometry* shape = layout.Add(UserRectangle());
    CTrackElementsStatistics statistics(&layout);
    Reprice(layout, statistics);

    // The part-list screen sets prices on the counted elements it shows.
    EXPECT_TRUE(prices.SetPrice(Entry(statistics, "5100"), 1999));
    EXPECT_TRUE(prices.SetPrice(Entry(statistics, "Flex 1"), 450));
    EXPECT_FALSE(prices.SetPrice(shape, 100));
    EXPECT_FALSE(prices.SetPrice(nullptr, 100));
    EXPECT_EQ(prices.GetEntryCount(), 2u);

    const CCompositeGeometry* entry = prices.FindEntry(a);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->GetPrice(), 1999);
    EXPECT_STREQ(entry->GetProductNumber(), "5100");
    EXPECT_EQ(CPriceList::GetKey(a), "Track Library@@@5100");
    EXPECT_EQ(CPriceList::GetKey(flex), "USER_CREATED_FLEX@@@FLEX");
    EXPECT_EQ(CPriceList::MakeKey("USER_CREATED_FLEX", "anything"), "USER_CREATED_FLEX@@@FLEX");
    EXPECT_EQ(prices.FindEntry(shape), nullptr);

    // Setting a price does not touch the document; the next pricing step does.
    EXPECT_EQ(a->GetPrice(), 0);
    Reprice(layout, statistics);
    EXPECT_EQ(Entry(statistics, "5100")->GetPrice(), 1999);
    EXPECT_EQ(a->GetPrice(), 1999);
    EXPECT_EQ(b->GetPrice(), 1999);
    EXPECT_EQ(a->GetCurrencyId(), 129);
    EXPECT_EQ(flex->GetPrice(), 450);
    EXPECT_EQ(shape->GetPrice(), 0);

    // Changing a price changes the one entry.
    EXPECT_TRUE(prices.SetPrice(b, 2100));
    EXPECT_EQ(prices.GetEntryCount(), 2u);

    // A later document: the same part of the same library, and every
    // user-created flex track whatever its product number, take the prices.
    TestContainer next;
    CCompositeGeometry* same = next.Add(Piece("5100"));
    CCompositeGeometry* elsewhere = next.Add(Piece("5100X", "Other Library"));
    elsewhere->SetPrice(5);
    CCompositeGeometry* otherFlex = next.Add(UserFlex("Flex 2"));
    CTrackElementsStatistics nextStatistics(&next);
    Reprice(next, nextStatistics);
    EXPECT_EQ(same->GetPrice(), 2100);
    EXPECT_EQ(otherFlex->GetPrice(), 450);
    EXPECT_EQ(elsewhere->GetPrice(), 5);

    // The same product number from another library is another price entry.
    TestContainer third;
    CCompositeGeometry* foreign = third.Add(Piece("5100", "Other Library"));
    foreign->SetPrice(42);
    CTrackElementsStatistics thirdStatistics(&third);
    Reprice(third, thirdStatistics);
    EXPECT_EQ(foreign->GetPrice(), 42);
}

TEST(PartList, PriceListEntriesAndKeys) {
    StartServices("en_US");
    CPriceList& prices = CPriceList::Instance();

    CCompositeGeometry* flexEntry = CPriceList::GetElementForUserCreatedFlex();
    EXPECT_STREQ(flexEntry->GetLibraryName(), "USER_CREATED_FLEX");
    EXPECT_STREQ(flexEntry->GetProductNumber(), "");
    EXPECT_TRUE(prices.AddEntry(flexEntry));
    // The map takes no second entry for a key; the refused one stays ours.
    std::unique_ptr<CCompositeGeometry> second(CPriceList::GetElementForUserCreatedFlex());
    EXPECT_FALSE(prices.AddEntry(second.get()));
    std::unique_ptr<CCompositeGeometry> flex(UserFlex("F"));
    EXPECT_EQ(prices.FindEntry(flex.get()), flexEntry);

    // A catalogue part's entry is made from the part itself.
    std::unique_ptr<CCompositeGeometry> piece(Piece("24188", "Catalogue"));
    piece->SetManufacturer("Maker");
    std::unique_ptr<CCompositeGeometry> created(prices.CreateEntry(piece.get(), 1234));
    ASSERT_NE(created, nullptr);
    EXPECT_EQ(created->GetPrice(), 1234);
    EXPECT_EQ(CPriceList::GetKey(created.get()), "Catalogue@@@24188");
    EXPECT_STREQ(created->GetManufacturer(), "Maker");

    prices.Clear();
    EXPECT_EQ(prices.GetEntryCount(), 0u);
    EXPECT_EQ(prices.FindEntry(flex.get()), nullptr);
}

TEST(PartList, RefreshCopiesTheStatisticsEntriesInTheirOrder) {
    StartServices("en_US");
    TestContainer layout;
    for (const char* product : {"A", "ABC", "AB", "ABC"}) layout.Add(Piece(product));
    CTrackElementsStatistics statistics(&layout);
    Reprice(layout, statistics);

    CPartList parts(&layout, &statistics);
    ASSERT_EQ(parts.GetEntries().size(), 3u);
    const char* order[] = {"ABC", "AB", "A"};
    const int counts[] = {2, 1, 1};
    for (std::size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(order[i]);
        EXPECT_STREQ(parts.GetEntries()[i]->GetProductNumber(), order[i]);
        EXPECT_EQ(parts.GetEntries()[i]->GetCount(), counts[i]);
        EXPECT_EQ(parts.GetEntries()[i]->GetCurrencyId(), 130);
        EXPECT_NE(parts.GetEntries()[i], statistics.GetCountedElements()[i]);
    }

    // The part list keeps its copies until it is refreshed itself.
    layout.Add(Piece("ABCD"));
    Reprice(layout, statistics);
    EXPECT_EQ(parts.GetEntries().size(), 3u);
    parts.Refresh();
    ASSERT_EQ(parts.GetEntries().size(), 4u);
    EXPECT_STREQ(parts.GetEntries()[0]->GetProductNumber(), "ABCD");

    EXPECT_TRUE(CPartList(&layout, nullptr).GetEntries().empty());
}

TEST(PartList, ExportsSortedNumberedDelimitedLines) {
    StartServices("en_US");
    TestContainer layout;
    CCompositeGeometry* track = layout.Add(Piece("B;22"));
    track->SetDescription("Straight 188 mm");
    track->SetLocalizedDescription("Straight; 188 mm", "en");
    track->SetLocalizedDescription("Gerades Gleis", "de");
    track->SetManufacturer("Maker;Co");
    layout.Add(Piece("B;22"));
    CCompositeGeometry* turnout = layout.Add(Piece("A1"));
    turnout->SetDescription("Left\r\nturnout");
    turnout->SetManufacturer("Maker");
    CCompositeGeometry* bumper = layout.Add(Piece("C\t777"));
    bumper->SetDescription("Bumper");
    CTrackElementsStatistics statistics(&layout);
    Reprice(layout, statistics);
    CPriceList::Instance().SetPrice(Entry(statistics, "B;22"), 1999);
    CPriceList::Instance().SetPrice(Entry(statistics, "A1"), 1234567);
    Reprice(layout, statistics);

    CPartList parts(&layout, &statistics);
    auto listOrder = [&parts] {
        std::vector<std::string> products;
        for (const CCountedGeometry* entry : parts.GetEntries()) products.push_back(entry->GetProductNumber());
        return products;
    };
    const std::vector<std::string> longestFirst{"C\t777", "B;22", "A1"};
    ASSERT_EQ(listOrder(), longestFirst);

    // Semicolons: the delimiter and line breaks inside fields become "_";
    // the tab is an ordinary byte here.
    EXPECT_EQ(parts.ExportToString(';', "en"),
              "001;A1;Left__turnout;Maker;$12,345.67;1\n"
              "002;B_22;Straight_ 188 mm;Maker_Co;$19.99;2\n"
              "003;C\t777;Bumper;;$0.00;1\n");
    // Tabs, and the description in the language asked for.
    EXPECT_EQ(parts.ExportToString('\t', "de"),
              "001\tA1\tLeft__turnout\tMaker\t$12,345.67\t1\n"
              "002\tB;22\tGerades Gleis\tMaker;Co\t$19.99\t2\n"
              "003\tC_777\tBumper\t\t$0.00\t1\n");
    // The export sorts a copy; the list keeps the statistics' order.
    EXPECT_EQ(listOrder(), longestFirst);
}

TEST(PartList, EveryExportLineEndsWithItsNewlineHoweverLong) {
    StartServices("en_US");
    TestContainer layout;
    CCompositeGeometry* piece = layout.Add(Piece("LONG"));
    const std::string longText(600, 'x');
    piece->SetLocalizedDescription(longText, "en");
    CTrackElementsStatistics statistics(&layout);
    Reprice(layout, statistics);

    CPartList parts(&layout, &statistics);
    const std::string expected = "001;LONG;" + longText + ";;$0.00;1\n";
    EXPECT_EQ(parts.ExportToString(';', "en"), expected);
}

TEST(PartList, NumbersGrowPastThreeDigits) {
    StartServices("en_US");
    TestContainer layout;
    // Added in reverse so that only the export's sort gives the numbering.
    for (int i = 1000; i >= 1; --i) {
        char product[16];
        std::snprintf(product, sizeof product, "P%04d", i);
        layout.Add(Piece(product));
    }
    CTrackElementsStatistics statistics(&layout);
    Reprice(layout, statistics);
    CPartList parts(&layout, &statistics);
    const std::string text = parts.ExportToString(',', "en");

    ASSERT_EQ(std::count(text.begin(), text.end(), '\n'), 1000);
    ASSERT_EQ(text.back(), '\n');
    std::vector<std::string> lines;
    for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    EXPECT_EQ(lines[0], "001,P0001,,,$0.00,1");
    EXPECT_EQ(lines[9], "010,P0010,,,$0.00,1");
    EXPECT_EQ(lines[99], "100,P0100,,,$0.00,1");
    EXPECT_EQ(lines[999], "1000,P1000,,,$0.00,1");
}

TEST(PartList, EmptyListExportsNothingWithAWarning) {
    StartServices("en_US");
    TestContainer layout;
    layout.Add(UserRectangle());
    CTrackElementsStatistics statistics(&layout);
    Reprice(layout, statistics);
    CPartList parts(&layout, &statistics);
    EXPECT_EQ(parts.ExportToString(';', "en"), "");
    EXPECT_TRUE(LogHas("Export to part list failed - no elements to export."));
}
