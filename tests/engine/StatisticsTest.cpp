// Statistics: parts counted by product number, their order, the element kind
// counts, and the lifetime of the counted copies.

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/model/CompositeGeometry.h"
#include "engine/model/ElementComponents.h"
#include "engine/model/FlexTrackBIG.h"
#include "engine/model/OvalBIG.h"
#include "engine/model/PolyBIG.h"
#include "engine/model/Statistics.h"
#include "engine/model/StraightBIG.h"
#include "engine/model/TextBIG.h"
#include "tests/support/TestContainer.h"

namespace {

using testsupport::TestContainer;

CBasicGeometry* Straight() {
    auto* straight = new CStraightBIG();
    straight->SetLength(100.0);
    straight->SetGauge(16.5);
    return straight;
}

// Library names: two bytes or more make a catalogue piece, less a piece the
// user drew.
constexpr const char* kLibrary = "Track Library";
constexpr const char* kUser = "";

CCompositeGeometry* Piece(const char* product, const char* library = kLibrary, CBasicGeometry* component = nullptr) {
    auto* element = new CCompositeGeometry();
    element->SetProductNumber(product);
    element->SetLibraryName(library);
    UElementComponents::AppendComponent(element, component != nullptr ? component : Straight());
    return element;
}

CCompositeGeometry* UserFlex(const char* product) {
    return Piece(
        product, kUser,
        UElementComponents::CreateFlexTrackComponent(CPoint(0, 0), CPoint(300, 0), true, true, 0, 0, 500, 16.5, 30, 1));
}

CCompositeGeometry* UserShape(std::int32_t polyKind) {
    return Piece(
        "", kUser,
        UElementComponents::CreatePolyComponent({CPoint(0, 0), CPoint(50, 0), CPoint(50, 30)}, 1, polyKind, 0, 0, 0));
}

std::vector<std::string> ProductNumbers(const tCountedElements& entries) {
    std::vector<std::string> products;
    for (const CCountedGeometry* entry : entries) products.push_back(entry->GetProductNumber());
    return products;
}

}  // namespace

TEST(Statistics, EmptyLayoutHasNoEntriesAndZeroCounts) {
    TestContainer layout;
    CTrackElementsStatistics statistics(&layout);
    statistics.Refresh(layout.GetElements());
    EXPECT_TRUE(statistics.GetCountedElements().empty());
    EXPECT_EQ(statistics.GetElementKindCounts(), (tElementKindCounts{0, 0, 0, 0, 0}));
    EXPECT_EQ(statistics.GetElementCount(""), 0);

    CTrackElementsStatistics detached(nullptr);
    EXPECT_EQ(detached.GetElementKindCounts(), (tElementKindCounts{0, 0, 0, 0, 0}));
}

TEST(Statistics, MergesByExactProductNumberAndSortsLongestFirst) {
    TestContainer layout;
    CCompositeGeometry* first = layout.Add(Piece("5100"));
    first->SetManufacturer("First Maker");
    first->SetDescription("Straight 188 mm");
    layout.Add(Piece("5100 "));
    // Same product number from another maker and library: still the same part.
    CCompositeGeometry* other = layout.Add(Piece("5100", "Other Library"));
    other->SetManufacturer("Second Maker");
    other->SetDescription("Something else");
    layout.Add(Piece("5100"));
    layout.Add(Piece("A"));
    layout.Add(Piece("ABC"));
    layout.Add(Piece("AB"));

    CTrackElementsStatistics statistics(&layout);
    statistics.Refresh(layout.GetElements());

    EXPECT_EQ(ProductNumbers(statistics.GetCountedElements()),
              (std::vector<std::string>{"5100 ", "5100", "ABC", "AB", "A"}));
    EXPECT_EQ(statistics.GetElementCount("5100"), 3);
    EXPECT_EQ(statistics.GetElementCount("5100 "), 1);
    EXPECT_EQ(statistics.GetElementCount("ABC"), 1);
    EXPECT_EQ(statistics.GetElementCount("510"), 0);
    EXPECT_EQ(statistics.GetElementCount("9999"), 0);

    // The entry is a copy of the first element met, with an identity of its own.
    const CCountedGeometry* entry =
        UCountedElementVectorOperations::FindByProductNumber(statistics.GetCountedElements(), "5100");
    ASSERT_NE(entry, nullptr);
    EXPECT_STREQ(entry->GetManufacturer(), "First Maker");
    EXPECT_STREQ(entry->GetDescription(), "Straight 188 mm");
    EXPECT_STREQ(entry->GetLibraryName(), kLibrary);
    EXPECT_NE(entry->GetIdentifier(), first->GetIdentifier());
    ASSERT_EQ(entry->GetComponents().size(), 1u);
    EXPECT_NE(entry->GetComponents()[0], first->GetComponents()[0]);

    // Copies: a change to the document shows only after the next refresh,
    // and a refresh replaces the counts instead of adding to them.
    first->SetManufacturer("Renamed");
    EXPECT_STREQ(entry->GetManufacturer(), "First Maker");
    statistics.Refresh(layout.GetElements());
    EXPECT_EQ(statistics.GetElementCount("5100"), 3);
    EXPECT_STREQ(UCountedElementVectorOperations::FindByProductNumber(statistics.GetCountedElements(), "5100")
                     ->GetManufacturer(),
                 "Renamed");
    EXPECT_EQ(statistics.GetCountedElements().size(), 5u);
}

TEST(Statistics, CountsKindsButOnlyPartsBecomeEntries) {
    TestContainer layout;
    layout.Add(Piece("G1"));
    layout.Add(Piece("G1"));
    layout.Add(Piece("B789", "Buildings", UElementComponents::CreateCircleComponent(1, 0, 0, 40)));
    layout.Add(UserFlex("FLEX-A"));
    layout.Add(UserFlex("FLEX-A"));
    layout.Add(UserShape(kPolyKindRectangle));
    layout.Add(UserShape(kPolyKindLine));
    layout.Add(UserShape(kPolyKindPolygon));
    layout.Add(Piece("", kUser, UElementComponents::CreateCircleComponent(1, 0, 0, 40)));
    layout.Add(Piece("", kUser, new CTextBIG()));
    // A user-drawn straight is neither flex track nor text.
    layout.Add(Piece("USR", kUser));

    CTrackElementsStatistics statistics(&layout);
    statistics.Refresh(layout.GetElements());

    EXPECT_EQ(statistics.GetElementKindCounts(), (tElementKindCounts{2, 1, 2, 5, 1}));
    EXPECT_EQ(ProductNumbers(statistics.GetCountedElements()), (std::vector<std::string>{"FLEX-A", "B789", "G1"}));
    EXPECT_EQ(statistics.GetElementCount("FLEX-A"), 2);
    EXPECT_EQ(statistics.GetElementCount("G1"), 2);
    EXPECT_EQ(statistics.GetElementCount("USR"), 0);
    EXPECT_EQ(statistics.GetElementCount(""), 0);

    // Kind counts follow the document at once; the entries wait for a refresh.
    layout.Add(Piece("G1"));
    EXPECT_EQ(statistics.GetElementKindCounts(), (tElementKindCounts{3, 1, 2, 5, 1}));
    EXPECT_EQ(statistics.GetElementCount("G1"), 2);
    statistics.Refresh(layout.GetElements());
    EXPECT_EQ(statistics.GetElementCount("G1"), 3);
}

TEST(Statistics, CountElementsTakesAnyPredicateAndSkipsNulls) {
    TestContainer layout;
    layout.Add(Piece("X"));
    layout.Add(Piece("Y"));
    layout.Add(Piece("X"));
    tElements elements = layout.GetElements();
    elements.insert(elements.begin() + 1, nullptr);

    tCountedElements onlyX = UCountedElementVectorOperations::CountElements(
        elements, [](const CCompositeGeometry* element) { return element->GetProductNumber()[0] == 'X'; });
    ASSERT_EQ(onlyX.size(), 1u);
    EXPECT_EQ(onlyX[0]->GetCount(), 2);
    UCountedElementVectorOperations::EraseAll(onlyX);
    EXPECT_TRUE(onlyX.empty());
}

TEST(Statistics, EraseAllRefusesANullEntry) {
    TestContainer layout;
    CCompositeGeometry* piece = layout.Add(Piece("P"));
    tCountedElements list{new CCountedGeometry(*piece), nullptr, new CCountedGeometry(*piece)};
    try {
        UCountedElementVectorOperations::EraseAll(list);
        ADD_FAILURE() << "a null entry was accepted";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()), "<<< Bad CCountedGeometry reference fetched >>>");
    }
    // The entries before the bad one are gone with it; the rest is still listed.
    ASSERT_EQ(list.size(), 1u);
    ASSERT_NE(list[0], nullptr);
    UCountedElementVectorOperations::EraseAll(list);
    EXPECT_TRUE(list.empty());
}
