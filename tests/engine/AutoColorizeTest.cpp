// Auto-colourise: the groups of each criterion, the colour assignment with
// its passes, the bulk colour operations, and layoutinfo's listing of
// generated elements. Elements are built from real components.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/generators/ComponentGenerator.h"
#include "engine/model/AutoColorize.h"
#include "engine/model/CompositeGeometry.h"
#include "engine/model/CurveBIG.h"
#include "engine/model/ElementComponents.h"
#include "engine/model/FlexTrackBIG.h"
#include "engine/model/Layer.h"
#include "engine/model/StraightBIG.h"
#include "engine/model/TextBIG.h"
#include "tests/support/LogWatch.h"
#include "tests/support/TempRoot.h"
#include "tools/layoutgen/LayoutComposer.h"
#include "tools/layoutgen/LayoutFileWriter.h"
#include "tools/layoutgen/LayoutGen.h"

namespace {

enum class tShape { Straight, Curve, Flex, Text };

// The elements of one test; they live as long as the fixture.
class Elements {
public:
    CCompositeGeometry* Add(tShape shape, std::int32_t type, double radius = 360.0, double z = 0.0) {
        auto element = std::make_unique<CCompositeGeometry>();
        CBasicGeometry* component = nullptr;
        switch (shape) {
            case tShape::Straight: {
                auto* straight = new CStraightBIG();
                straight->SetLength(100.0);
                component = straight;
                break;
            }
            case tShape::Curve: {
                auto* curve = new CCurveBIG();
                curve->SetRadius(radius);
                curve->SetArcAngle(30.0);
                component = curve;
                break;
            }
            case tShape::Flex:
                component = UElementComponents::CreateFlexTrackComponent(CPoint(0, 0), CPoint(200, 0), true, true, 0, 0,
                                                                         500, 16.5, 30, 1);
                break;
            case tShape::Text: component = new CTextBIG(); break;
        }
        UElementComponents::AppendComponent(element.get(), component);
        element->SetElementType(type);
        element->SetLibraryName("Test Library");
        element->SetPosition(CPoint(0.0, 0.0, z));
        mOwned.push_back(std::move(element));
        return mOwned.back().get();
    }
    // A plain flex track made by the curved flex-track generator; no radius
    // text leaves the radius key out.
    CCompositeGeometry* CurvedFlex(const char* radius) {
        CCompositeGeometry* flex = Add(tShape::Flex, 1);
        tGeneratorParameters parameters;
        parameters[4] = CGeneratorParameter("30");
        if (radius != nullptr) parameters[5] = CGeneratorParameter(radius);
        flex->GetGeneratorMap().emplace(kGeneratorCurvedFlexTrack, parameters);
        return flex;
    }
    CCompositeGeometry* Track(double z) { return Add(tShape::Straight, 1, 0.0, z); }
    CCompositeGeometry* Scenery(double z) { return Add(tShape::Text, 500, 0.0, z); }

private:
    std::vector<std::unique_ptr<CCompositeGeometry>> mOwned;
};

const CColor kA(1.0, 0.0, 0.0, 1.0);
const CColor kB(0.0, 1.0, 0.0, 1.0);
const CColor kC(0.0, 0.0, 1.0, 1.0);
const CColor kOld(0.3, 0.3, 0.3, 1.0);

}  // namespace

TEST(AutoColorize, ByTypeFollowsTheFixedOrderOfTypes) {
    Elements e;
    CCompositeGeometry* straight = e.Add(tShape::Straight, 1);
    CCompositeGeometry* curve = e.Add(tShape::Curve, 1);
    CCompositeGeometry* flex = e.Add(tShape::Flex, 1);
    CCompositeGeometry* parallel = e.Add(tShape::Straight, 2);
    CCompositeGeometry* turnout = e.Add(tShape::Curve, 5);
    CCompositeGeometry* lastTrackType = e.Add(tShape::Straight, 20);
    CCompositeGeometry* symbol = e.Add(tShape::Text, 500);
    CCompositeGeometry* symbol2 = e.Add(tShape::Text, 501);
    CCompositeGeometry* plant = e.Add(tShape::Text, 300);
    CCompositeGeometry* unclassified = e.Add(tShape::Text, 0);
    CCompositeGeometry* vehicle = e.Add(tShape::Text, 107);
    CCompositeGeometry* building = e.Add(tShape::Text, 200);
    CCompositeGeometry* electric = e.Add(tShape::Text, 406);
    CCompositeGeometry* unlisted = e.Add(tShape::Text, 50);
    CCompositeGeometry* unlisted2 = e.Add(tShape::Straight, 21);
    const tElements all = {unlisted, building, straight, symbol2, curve,     vehicle,       flex,        turnout,
                           plant,    parallel, electric, symbol,  unlisted2, lastTrackType, unclassified};

    const tElementGroups groups = UAutoColorize::GroupElementsForOperation(all, kColorizeByType, 11);
    // 3 plain kinds, types 2 to 20, then 7 groups of the other types.
    ASSERT_EQ(groups.size(), 3u + 19u + 7u);
    EXPECT_EQ(groups[0], tElements{straight});
    EXPECT_EQ(groups[1], tElements{curve});
    EXPECT_EQ(groups[2], tElements{flex});
    EXPECT_EQ(groups[3], tElements{parallel});  // type 2
    EXPECT_TRUE(groups[4].empty());             // type 3
    EXPECT_EQ(groups[6], tElements{turnout});   // type 5
    EXPECT_EQ(groups[21], tElements{lastTrackType});
    EXPECT_EQ(groups[22], tElements{symbol});
    EXPECT_EQ(groups[23], tElements{symbol2});
    EXPECT_EQ(groups[24], tElements{plant});
    EXPECT_EQ(groups[25], tElements{unclassified});
    EXPECT_EQ(groups[26], tElements{vehicle});
    EXPECT_EQ(groups[27], tElements{building});
    EXPECT_EQ(groups[28], tElements{electric});

    // Types 21 to 99 and 50 keep their colour.
    unlisted->SetFirstColor(kOld);
    unlisted2->SetFirstColor(kOld);
    EXPECT_EQ(UAutoColorize::ApplyColorList(groups, {kA, kB, kC}, 0, 0), 1u);
    EXPECT_EQ(unlisted->GetFirstColor(), kOld);
    EXPECT_EQ(unlisted2->GetFirstColor(), kOld);
    // Mode 0 starts with the list reversed: C, B, A, C, ...; empty groups
    // take none.
    EXPECT_EQ(straight->GetFirstColor(), kC);
    EXPECT_EQ(curve->GetFirstColor(), kB);
    EXPECT_EQ(flex->GetFirstColor(), kA);
    EXPECT_EQ(parallel->GetFirstColor(), kC);
    EXPECT_EQ(turnout->GetFirstColor(), kB);

    // When nothing is left the track types stop early; the last seven
    // groups are pushed anyway.
    const tElementGroups tracksOnly =
        UAutoColorize::GroupElementsForOperation({straight, parallel}, kColorizeByType, 11);
    ASSERT_EQ(tracksOnly.size(), 3u + 1u + 7u);
    EXPECT_EQ(tracksOnly[3], tElements{parallel});
    for (std::size_t i = 4; i < tracksOnly.size(); ++i) EXPECT_TRUE(tracksOnly[i].empty()) << i;
}

TEST(AutoColorize, ByLayerManufacturerAndProductNumberInOrderOfFirstOccurrence) {
    Elements e;
    CLayer tracks("Tracks");
    CLayer scenery("Scenery");
    CCompositeGeometry* a = e.Track(0);
    CCompositeGeometry* b = e.Track(0);
    CCompositeGeometry* c = e.Track(0);
    CCompositeGeometry* d = e.Scenery(0);
    a->SetLayer(&scenery);
    b->SetLayer(&tracks);
    c->SetLayer(&scenery);
    // d has no layer: a group of its own.
    a->SetManufacturer("Maker");
    b->SetManufacturer("Maker ");
    c->SetManufacturer("Maker");
    a->SetProductNumber("R1");
    b->SetProductNumber("R1");
    c->SetProductNumber("r1");
    d->SetProductNumber("R1");
    const tElements all = {a, b, nullptr, c, d};

    EXPECT_EQ(UAutoColorize::GroupElementsForOperation(all, kColorizeByLayer, 11), (tElementGroups{{a, c}, {b}, {d}}));
    // Whole texts byte for byte; no manufacturer is the empty text's group.
    EXPECT_EQ(UAutoColorize::GroupElementsForOperation(all, kColorizeByManufacturer, 11),
              (tElementGroups{{a, c}, {b}, {d}}));
    EXPECT_EQ(UAutoColorize::GroupElementsForOperation(all, kColorizeByProductNumber, 11),
              (tElementGroups{{a, b, d}, {c}}));
}

TEST(AutoColorize, ByRadiusGroupsCurvesAndCurvedFlexByTheRadiiOfSingleCurves) {
    Elements e;
    CCompositeGeometry* text = e.Scenery(0);
    CCompositeGeometry* straight = e.Add(tShape::Straight, 1);
    CCompositeGeometry* plainFlex = e.Add(tShape::Flex, 1);
    CCompositeGeometry* wide = e.Add(tShape::Curve, 1, 437.5);
    CCompositeGeometry* r360 = e.Add(tShape::Curve, 1, 360.0);
    CCompositeGeometry* nearly360 = e.Add(tShape::Curve, 6, 360.0005);
    CCompositeGeometry* flexDefault = e.CurvedFlex(nullptr);  // 360.0
    CCompositeGeometry* flexWide = e.CurvedFlex("437.5");
    CCompositeGeometry* flexAlone = e.CurvedFlex("500");
    const tElements all = {text, flexAlone, wide, straight, flexWide, r360, plainFlex, nearly360, flexDefault};

    const tElementGroups groups = UAutoColorize::GroupElementsForOperation(all, kColorizeByRadius, 11);
    ASSERT_EQ(groups.size(), 4u);
    EXPECT_EQ(groups[0], tElements{text});
    EXPECT_EQ(groups[1], (tElements{straight, plainFlex}));
    EXPECT_EQ(groups[2], (tElements{r360, nearly360, flexDefault}));
    EXPECT_EQ(groups[3], (tElements{wide, flexWide}));
    // The flex track of 500 finds no single curve of its radius.

    EXPECT_DOUBLE_EQ(UColorizeByRadius::GetCurveRadius(wide), 437.5);
    EXPECT_DOUBLE_EQ(UColorizeByRadius::GetElementRadius(flexWide), 437.5);
    EXPECT_DOUBLE_EQ(UColorizeByRadius::GetElementRadius(flexDefault), 360.0);
    EXPECT_DOUBLE_EQ(UColorizeByRadius::GetElementRadius(plainFlex), 0.0);

    // Without a single curve of 360 the curved flex track is left out.
    const tElementGroups noCurve = UAutoColorize::GroupElementsForOperation({flexDefault, text}, kColorizeByRadius, 11);
    EXPECT_EQ(noCurve, (tElementGroups{{text}, {}}));

    // A straight has no curve radius: logged and thrown.
    straight->SetProductNumber("G231");
    testsupport::LogWatch watch;
    try {
        UColorizeByRadius::GetCurveRadius(straight);
        ADD_FAILURE() << "no error for a straight";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find("No curve component found in element G231 (Test Library)"),
                  std::string::npos)
            << error.what();
    }
    EXPECT_EQ(watch.Count("static double UColorizeByRadius::GetCurveRadius(const CCompositeGeometry *)"), 1);
    EXPECT_THROW(UColorizeByRadius::GetCurveRadius(nullptr), std::runtime_error);
}

TEST(AutoColorize, ByHeightMakesBandsOfWholeNumberSteps) {
    Elements e;
    // 0 to 100 in 11 bands: step 10, bounds 0, 10, ..., 100.
    CCompositeGeometry* t0 = e.Track(0);
    CCompositeGeometry* t5 = e.Track(5);
    CCompositeGeometry* t10 = e.Track(10);
    CCompositeGeometry* t55 = e.Track(55);
    CCompositeGeometry* t99 = e.Track(99);
    CCompositeGeometry* t100 = e.Track(100);
    CCompositeGeometry* text = e.Scenery(50);
    const tElementGroups groups =
        UAutoColorize::GroupElementsForOperation({t100, t55, text, t0, t99, t10, t5}, kColorizeByHeight, 11);
    ASSERT_EQ(groups.size(), 12u);
    EXPECT_EQ(groups[0], tElements{text});
    EXPECT_EQ(groups[1], (tElements{t0, t5}));
    EXPECT_EQ(groups[2], tElements{t10});
    EXPECT_EQ(groups[6], tElements{t55});
    EXPECT_EQ(groups[10], tElements{t99});
    EXPECT_EQ(groups[11], tElements{t100});
    for (int empty : {3, 4, 5, 7, 8, 9}) EXPECT_TRUE(groups[empty].empty()) << empty;

    // One height: one group of everything, tracks or not.
    CCompositeGeometry* flat1 = e.Track(12.5);
    CCompositeGeometry* flat2 = e.Scenery(12.5004);
    EXPECT_EQ(UAutoColorize::GroupElementsForOperation({flat1, flat2}, kColorizeByHeight, 11),
              (tElementGroups{{flat1, flat2}}));
    // Nothing in, nothing to colour.
    EXPECT_TRUE(UAutoColorize::GroupElementsForOperation({}, kColorizeByHeight, 11).empty());
}

TEST(AutoColorize, ByHeightTheHighestBandHoldsTheHighestTracks) {
    Elements e;
    // 0 to 99 in 3 bands: step 33, bands 0-33, 33-66, 66-99.
    CCompositeGeometry* t0 = e.Track(0);
    CCompositeGeometry* t32 = e.Track(32.5);
    CCompositeGeometry* t33 = e.Track(33);
    CCompositeGeometry* t66 = e.Track(66);
    CCompositeGeometry* t99 = e.Track(99);
    const tElementGroups groups =
        UAutoColorize::GroupElementsForOperation({t0, t32, t33, t66, t99}, kColorizeByHeight, 3);
    ASSERT_EQ(groups.size(), 4u);
    EXPECT_TRUE(groups[0].empty());
    EXPECT_EQ(groups[1], (tElements{t0, t32}));
    EXPECT_EQ(groups[2], tElements{t33});
    // The track at the very top is not left out of the last band.
    EXPECT_EQ(groups[3], (tElements{t66, t99}));

    t99->SetFirstColor(kOld);
    UAutoColorize::ApplyColorList(groups, {kA, kB, kC}, 0, 0);
    EXPECT_EQ(t99->GetFirstColor(), t66->GetFirstColor());
    EXPECT_NE(t99->GetFirstColor(), kOld);
}

TEST(AutoColorize, ByHeightFewerThanTwoBandsMakeOneBand) {
    Elements e;
    CCompositeGeometry* low = e.Track(0);
    CCompositeGeometry* mid = e.Track(50);
    CCompositeGeometry* high = e.Track(100);
    CCompositeGeometry* text = e.Scenery(20);
    for (int count : {1, 0, -3, std::numeric_limits<int>::min()}) {
        EXPECT_EQ(UAutoColorize::GroupElementsForOperation({text, high, low, mid}, kColorizeByHeight, count),
                  (tElementGroups{{text}, {high, low, mid}}))
            << count;
    }
}

TEST(AutoColorize, HeightRangeKeepsItsBandWithTolerance) {
    Elements e;
    CCompositeGeometry* below = e.Track(9.998);
    CCompositeGeometry* atLower = e.Track(9.9995);
    CCompositeGeometry* inside = e.Track(15);
    CCompositeGeometry* nearTop = e.Track(19.9985);
    CCompositeGeometry* atTop = e.Track(19.9995);
    CCompositeGeometry* nan = e.Track(std::numeric_limits<double>::quiet_NaN());
    const tElements all = {below, atLower, inside, nearTop, atTop, nan, nullptr};

    testsupport::ScopedLogLevel debug(1);
    testsupport::LogWatch watch;
    EXPECT_EQ(UColorizeByHeight::TrackElementsInHeightRange(all, 10.0, 10.0), (tElements{atLower, inside, nearTop}));
    EXPECT_EQ(watch.Count("with lower = 10.0, partitionHeight = 10.0"), 1);
    EXPECT_EQ(watch.Count("(3/7 matching elements)"), 1);
    EXPECT_TRUE(UColorizeByHeight::TrackElementsInHeightRange(all, std::nan(""), 10.0).empty());

    // A track at a height that is no number lies in no band and does not
    // stretch the range.
    CCompositeGeometry* zero = e.Track(0);
    CCompositeGeometry* ten = e.Track(10);
    EXPECT_EQ(UAutoColorize::GroupElementsForOperation({nan, zero, ten}, kColorizeByHeight, 2),
              (tElementGroups{{}, {zero}, {ten}}));
}

TEST(AutoColorize, UnknownOperationsGiveNoGroups) {
    Elements e;
    CCompositeGeometry* track = e.Track(0);
    for (int operation : {0, 7, -1}) {
        testsupport::LogWatch watch;
        EXPECT_TRUE(UAutoColorize::GroupElementsForOperation({track}, operation, 11).empty());
        EXPECT_EQ(watch.Count("Colorize operation <" + std::to_string(operation) + "> not recognized"), 1);
    }
}

TEST(AutoColorize, ColoursGoToNonEmptyGroupsInTurn) {
    Elements e;
    CCompositeGeometry* x = e.Track(0);
    CCompositeGeometry* y = e.Track(0);
    CCompositeGeometry* x2 = e.Track(0);
    // Mode 0's first pass reverses the list, so C, B, A hands out A first.
    EXPECT_EQ(UAutoColorize::ApplyColorList({{x, x2}, {}, {nullptr}, {y}}, {kC, kB, kA}, 0, 0), 1u);
    EXPECT_EQ(x->GetFirstColor(), kA);
    EXPECT_EQ(x2->GetFirstColor(), kA);
    EXPECT_EQ(y->GetFirstColor(), kB);

    // Twelve groups, eleven colours: the twelfth wraps round to the first.
    tColorList eleven;
    for (int i = 0; i < 11; ++i) eleven.push_back(CColor(i / 10.0, 1.0));
    tElementGroups twelve;
    for (int i = 0; i < 12; ++i) twelve.push_back({e.Track(0)});
    EXPECT_EQ(UAutoColorize::ApplyColorList(twelve, eleven, 0, 0), 1u);
    EXPECT_EQ(twelve[0][0]->GetFirstColor(), eleven[10]);
    EXPECT_EQ(twelve[10][0]->GetFirstColor(), eleven[0]);
    EXPECT_EQ(twelve[11][0]->GetFirstColor(), twelve[0][0]->GetFirstColor());
}

TEST(AutoColorize, AnUnchangedColouringIsTriedAgain) {
    Elements e;
    CCompositeGeometry* x = e.Track(0);
    // The first pass (A, B reversed) gives x the colour it has; the second
    // (A, B as given) changes it.
    x->SetFirstColor(kB);
    EXPECT_EQ(UAutoColorize::ApplyColorList({{x}}, {kA, kB}, 0, 0), 2u);
    EXPECT_EQ(x->GetFirstColor(), kA);

    // One colour that every element has already: ten passes, then it gives up.
    CCompositeGeometry* y = e.Track(0);
    y->SetFirstColor(kC);
    EXPECT_EQ(UAutoColorize::ApplyColorList({{y}}, {kC}, 1, 1), 10u);
    EXPECT_EQ(y->GetFirstColor(), kC);
}

TEST(AutoColorize, ShuffledColoursStillGiveEachGroupOneColour) {
    Elements e;
    tElementGroups groups;
    for (int g = 0; g < 5; ++g) groups.push_back({e.Track(0), e.Track(1), e.Track(2)});
    tColorList colors;
    for (int i = 0; i < 11; ++i) colors.push_back(CColor(0.05 * i, 0.5, 1.0 - 0.05 * i, 1.0));
    for (int mode : {1, 2}) {
        const unsigned passes = UAutoColorize::ApplyColorList(groups, colors, 1, mode);
        EXPECT_GE(passes, 1u);
        EXPECT_LE(passes, 10u);
        std::set<std::string> used;
        for (const tElements& group : groups) {
            const CColor first = group[0]->GetFirstColor();
            for (const CCompositeGeometry* element : group) EXPECT_EQ(element->GetFirstColor(), first);
            bool listed = false;
            for (const CColor& color : colors) listed = listed || color == first;
            EXPECT_TRUE(listed);
            used.insert(first.ToHexString());
        }
        // Five consecutive places of eleven distinct colours.
        EXPECT_EQ(used.size(), 5u) << mode;
    }
}

TEST(AutoColorize, NoColoursColourNothingAndReturnAtOnce) {
    Elements e;
    CCompositeGeometry* x = e.Track(0);
    x->SetFirstColor(kOld);
    for (int mode : {0, 1, 2}) {
        EXPECT_EQ(UAutoColorize::ApplyColorList({{x}, {}}, {}, 1, mode), 0u) << mode;
        EXPECT_EQ(x->GetFirstColor(), kOld);
    }
    EXPECT_EQ(UAutoColorize::ApplyColorList({}, {kA}, 1, 1), 0u);
    EXPECT_EQ(UAutoColorize::ApplyColorList({{}, {nullptr}}, {kA}, 1, 1), 0u);
}

TEST(AutoColorize, ElementColoursReadAndWrittenInBulk) {
    Elements e;
    CCompositeGeometry* x = e.Track(0);
    CCompositeGeometry* y = e.Track(0);
    x->SetFirstColor(kA);
    x->SetSecondColor(kB);
    y->SetFirstColor(kC);
    y->SetSecondColor(kA);

    const tElementColorMap first = UElementColors::GetColorsById({x, nullptr, y}, 0);
    const tElementColorMap second = UElementColors::GetColorsById({x, y}, 5);
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(first.at(x->GetIdentifier()), kA);
    EXPECT_EQ(first.at(y->GetIdentifier()), kC);
    EXPECT_EQ(second.at(x->GetIdentifier()), kB);
    EXPECT_EQ(second.at(y->GetIdentifier()), kA);

    // Only identifiers in the map change, and only the selected colour.
    UElementColors::SetColorsById({x, y}, {{y->GetIdentifier(), kOld}, {"unknown", kB}}, 1);
    EXPECT_EQ(x->GetSecondColor(), kB);
    EXPECT_EQ(y->GetSecondColor(), kOld);
    EXPECT_EQ(y->GetFirstColor(), kC);
    UElementColors::SetColorsById({x, y}, first, 0);
    EXPECT_EQ(y->GetFirstColor(), kC);

    UElementColors::SetColors({x, nullptr, y}, nullptr, &kC);
    EXPECT_EQ(x->GetFirstColor(), kA);
    EXPECT_EQ(x->GetSecondColor(), kC);
    EXPECT_EQ(y->GetSecondColor(), kC);
    UElementColors::SetColors({x}, &kB, nullptr);
    EXPECT_EQ(x->GetFirstColor(), kB);
    EXPECT_EQ(x->GetSecondColor(), kC);
}

#ifdef VEKMONT_LAYOUTINFO
TEST(AutoColorize, LayoutInfoListsGeneratedElementsWithTheirParameters) {
    ULayoutGen::tLayoutDocument document;
    ULayoutGen::CElementBuilder builder;
    document.elements.push_back(
        builder.Catalogue("S200", "Maker", "layoutgen H0", "Straight").LayerName("Layer 1").Straight(200.0).Build());
    document.elements.push_back(builder.Catalogue("ARROW", "", "", "Arrow")
                                    .LayerName("Layer 1")
                                    .Line(CPoint(0, 0), CPoint(100, 0))
                                    .MarkGenerated(kGeneratorArrow)
                                    .Generator(kGeneratorArrow, {{10, "0"}, {12, "100"}})
                                    .Generator(kGeneratorDimension, {{3, "x y"}})
                                    .Build());
    const std::filesystem::path path = testsupport::processRoot() / "generated.wkst";
    ASSERT_TRUE(ULayoutFileWriter::WriteLayoutFile(path, document.FileContent()));

    const std::string command =
        "VEKMONT_LANGUAGE=en '" + std::string(VEKMONT_LAYOUTINFO) + "' '" + path.string() + "' 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string out;
    char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, got);
    const int status = pclose(pipe);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << out;
    EXPECT_NE(out.find("generated        1 elements\n"
                       "  1 \"ARROW\"\n"
                       "    generator 3 (arrow): [ 10 ] = 0, [ 12 ] = 100\n"
                       "    generator 4 (dimension): [ 3 ] = x y\n"),
              std::string::npos)
        << out;
}
#endif
