// layoutgen's scenarios and generated layouts: bad lines are refused with
// their line number, tracks are laid end to end so that the reader connects
// them, every section reaches the file its version carries, and generated
// layouts are repeatable.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/model/Baseboard.h"
#include "engine/model/BorderSegment.h"
#include "engine/model/CompositeGeometry.h"
#include "engine/model/Layer.h"
#include "engine/model/LayerManager.h"
#include "engine/model/Layout.h"
#include "engine/model/TrackLibrary.h"
#include "tests/support/EngineServices.h"
#include "tests/support/TempRoot.h"
#include "tools/layoutgen/LargeLayout.h"
#include "tools/layoutgen/LayoutFileWriter.h"
#include "tools/layoutgen/Scenario.h"

namespace {

using testsupport::RegisterServices;

using testsupport::PathFor;

std::string ParseError(const std::string& text) {
    ULayoutGen::tLayoutDocument document;
    ULayoutGen::tScenarioSummary summary;
    std::string error;
    EXPECT_FALSE(ULayoutGen::ParseLayoutScenario(text, document, summary, error)) << text;
    return error;
}

// Parses, writes and loads a scenario.
void Load(const std::string& text, CLayout& layout, const std::string& name = "scenario.wkst") {
    ULayoutGen::tLayoutDocument document;
    ULayoutGen::tScenarioSummary summary;
    std::string error;
    ASSERT_TRUE(ULayoutGen::ParseLayoutScenario(text, document, summary, error)) << error;
    ASSERT_TRUE(ULayoutFileWriter::WriteLayoutFile(std::filesystem::path(PathFor(name)), document.FileContent()));
    ASSERT_EQ(layout.Load(PathFor(name)), kLayoutLoaded);
}

// The joints of an element at a layout point, within 0.01.
int JointsAt(CCompositeGeometry* element, double x, double y) {
    int found = 0;
    for (const CJoint* joint : element->GetJoints(kJointFilterAll)) {
        found += std::fabs(joint->GetLayoutPoint().x - x) < 0.01 && std::fabs(joint->GetLayoutPoint().y - y) < 0.01;
    }
    return found;
}

std::size_t Connected(const CLayout& layout) {
    std::size_t connected = 0;
    for (const CJoint* joint : layout.GetLayoutJoints().GetJoints()) connected += joint->IsConnected();
    return connected;
}

}  // namespace

TEST(LayoutScenario, BadLinesAreRefusedWithTheirLineNumber) {
    struct Case {
        const char* name;
        std::string text;
        const char* error;
    };
    const Case cases[] = {
        {"unknown statement", "version 13\nstright length=10\n", "line 2: unknown statement 'stright'"},
        {"bad number", "straight length=ten\n", "line 1: bad number 'ten' for length"},
        {"missing setting", "# a curve\n\ncurve sweep=30\n", "line 3: curve needs radius="},
        {"unknown setting", "straight length=10 colour=1,0,0\n", "line 1: unknown setting colour= for straight"},
        {"setting twice", "straight length=10 length=20\n", "line 1: length= given twice"},
        {"unterminated quote", "layer \"Tracks\nstraight length=1\n", "line 1: unterminated quote"},
        {"version too new", "version 14\n", "line 1: version 14 is out of range (3 to 13)"},
        {"version too old", "version 2\n", "line 1: version 2 is out of range (3 to 13)"},
        {"zero sweep", "curve radius=300 sweep=0\n", "line 1: sweep must not be 0"},
        {"group of a missing element", "straight length=10\ngroup 0 1\n",
         "line 2: group member 1 is not an element (there are 1 so far)"},
        {"parent not earlier", "straight length=10\ngroup 0 parent=0\n", "line 2: parent 0 is not an earlier group"},
        {"layer twice", "layer \"A\"\nlayer \"B\"\nlayer \"A\"\n", "line 3: layer 'A' exists already"},
        {"unknown layer", "layer \"A\"\non \"B\"\n", "line 2: no layer 'B'"},
        {"image without image layer", "layer \"A\"\nimage \"Scan\" at=0,0 size=10,10\n",
         "line 2: image needs a layer of type image, or layer="},
        {"baseboard without points", "layer \"B\" type=baseboard\nbaseboard \"X\"\n",
         "line 2: baseboard needs rect= or points="},
        {"price of nothing", "straight length=10 product=A\nprice B 100\n",
         "line 2: no element has the product number 'B'"},
        {"from a shape", "text \"x\"\nstraight length=10 from=0\n", "line 2: element 0 is no track to go on from"},
        {"from a branch of a straight", "straight length=10\nstraight length=10 from=0:branch\n",
         "line 2: element 0 has no branch to go on from"},
        {"unknown parameter", "param colour 1\n", "line 1: unknown parameter 'colour'"},
        {"author too long", "param author \"" + std::string(128, 'a') + "\"\n", "line 1: author is at most 127 bytes"},
        {"colour out of range", "straight length=10 color=1,2,0\n", "line 1: colour channels of color lie in 0 to 1"},
        {"hand", "turnout length=100 radius=400 sweep=20 hand=up\n", "line 1: hand= is left or right, not 'up'"},
        {"words run together", "straight length=10\"x\"\n", "line 1: no space after 'length=10'"},
        {"extra word", "straight length=10 fast\n", "line 1: unexpected 'fast' after straight"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ParseError(c.text), c.error);
    }

    ULayoutGen::tLibraryDocument library;
    std::string error;
    EXPECT_FALSE(ULayoutGen::ParseLibraryScenario("version 3\nlayer \"A\"\n", library, error));
    EXPECT_EQ(error, "line 2: unknown statement 'layer' in a library scenario");
}

TEST(LayoutScenario, TracksAreLaidEndToEndAndConnectAfterLoading) {
    RegisterServices();
    CLayout layout;
    // A straight east from the origin, a quarter circle to the left (centre
    // 200,360, so it ends at 560,360 heading north), a straight north, and a
    // quarter circle to the right from the first straight's end.
    Load(
        "straight length=200 at=0,0 angle=0\n"
        "curve radius=360 sweep=90\n"
        "straight length=100\n"
        "curve radius=360 sweep=-90 from=0\n",
        layout);
    const tElements& elements = layout.GetElements();
    ASSERT_EQ(elements.size(), 4u);
    EXPECT_EQ(JointsAt(elements[0], 0, 0), 1);
    EXPECT_EQ(JointsAt(elements[0], 200, 0), 1);
    EXPECT_EQ(JointsAt(elements[1], 200, 0), 1);
    EXPECT_EQ(JointsAt(elements[1], 560, 360), 1);
    EXPECT_EQ(JointsAt(elements[2], 560, 460), 1);
    EXPECT_EQ(JointsAt(elements[3], 560, -360), 1);
    // 0-1 and 1-2 meet; the right-hand curve starts on the same end as 1, so
    // that end has two candidates and only one of them connects.
    EXPECT_EQ(Connected(layout), 4u);
}

TEST(LayoutScenario, TurnoutsBranchToTheSideTheirTypeNames) {
    RegisterServices();
    CLayout layout;
    // Sweep 20 at radius 500: the branch ends 500 sin 20 = 171.01 ahead and
    // 500 (1 - cos 20) = 30.15 aside.
    Load(
        "turnout length=200 radius=500 sweep=20 hand=right at=0,0 angle=0\n"
        "straight length=50 from=0:branch\n"
        "turnout length=200 radius=500 sweep=20 hand=left at=0,1000 angle=0\n"
        "straight length=50 from=2:branch\n",
        layout);
    const tElements& elements = layout.GetElements();
    ASSERT_EQ(elements.size(), 4u);
    const double ahead = 500.0 * std::sin(20.0 * M_PI / 180.0);
    const double aside = 500.0 * (1.0 - std::cos(20.0 * M_PI / 180.0));
    EXPECT_EQ(elements[0]->GetJoints(kJointFilterAll).size(), 3u) << "the common end is one joint";
    EXPECT_EQ(JointsAt(elements[0], 200, 0), 1);
    EXPECT_EQ(JointsAt(elements[0], ahead, aside), 1) << "right: counter-clockwise in the plan";
    EXPECT_EQ(JointsAt(elements[2], ahead, 1000 - aside), 1) << "left: clockwise in the plan";
    EXPECT_EQ(Connected(layout), 4u) << "each branch meets its straight";
}

TEST(LayoutScenario, EverySectionReachesTheVersionsThatCarryIt) {
    RegisterServices();
    for (int version = CLayout::kOldestFileVersion; version <= CLayout::kNewestFileVersion; ++version) {
        SCOPED_TRACE(version);
        ULayoutGen::tLayoutDocument document;
        ULayoutGen::tScenarioSummary summary;
        std::string error;
        ASSERT_TRUE(ULayoutGen::ParseLayoutScenario(ULayoutGen::SeedLayoutScenario(), document, summary, error))
            << error;
        document.version = document.recordVersion = version;
        const std::string path = PathFor("seed-v" + std::to_string(version) + ".wkst");
        ASSERT_TRUE(ULayoutFileWriter::WriteLayoutFile(std::filesystem::path(path), document.FileContent()));

        CLayout layout;
        ASSERT_EQ(layout.Load(path), kLayoutLoaded);
        EXPECT_EQ(layout.GetFileVersion(), version);
        EXPECT_EQ(layout.GetElements().size(), 15u);
        EXPECT_STREQ(layout.GetParameters().mAuthor, "Seed author");
        EXPECT_EQ(layout.GetParameters().mZoomPercent, 150);
        EXPECT_EQ(layout.GetParameters().mWorkspaceWidth, 3000);
        EXPECT_EQ(layout.GetParameters().mTrackStyle, 0x48);
        EXPECT_EQ(layout.GetGroupsManager().GetGroups().size(), 3u);
        EXPECT_EQ(layout.GetImages().size(), version >= 10 ? 1u : 0u);
        EXPECT_EQ(layout.GetBaseboards().size(), version >= 11 ? 2u : 0u);
        EXPECT_EQ(layout.GetParameters().mTunnelDisplayMode, version >= 9 ? 2 : 0);
        EXPECT_EQ(layout.GetParameters().mParameter421[1], version >= 8 ? 1 : 0);

        std::vector<std::string> layers;
        for (const CLayer* layer : layout.GetLayerManager().GetLayers()) layers.push_back(layer->GetName());
        if (version >= 4) {
            EXPECT_EQ(layers, (std::vector<std::string>{"Tracks", "Upper", "Labels", "Boards", "Plan"}));
            EXPECT_EQ(layout.GetElements()[6]->GetLayer()->GetName(), "Upper");
            EXPECT_EQ(layout.GetElements()[8]->GetLayer()->GetName(), "Labels");
        }
        // The later price statement wins over the element's own.
        for (const CCompositeGeometry* element : layout.GetElements()) {
            if (std::strcmp(element->GetProductNumber(), "G-188") == 0) {
                EXPECT_EQ(element->GetPrice(), 399);
            }
        }
    }
}

TEST(LayoutScenario, VersionsWithoutASectionLeaveItOutAndSayWhich) {
    ULayoutGen::tLayoutDocument document;
    ULayoutGen::tScenarioSummary summary;
    std::string error;
    ASSERT_TRUE(ULayoutGen::ParseLayoutScenario(ULayoutGen::SeedLayoutScenario(), document, summary, error));
    ASSERT_EQ(summary.kinds.size(), 15u);
    EXPECT_EQ(summary.kinds[2], ULayoutGen::tElementKind::Turnout);
    EXPECT_EQ(summary.kinds[5], ULayoutGen::tElementKind::Flex);
    EXPECT_EQ(summary.kinds[8], ULayoutGen::tElementKind::Text);
    EXPECT_EQ(summary.kinds[13], ULayoutGen::tElementKind::Arrow);
    EXPECT_EQ(summary.kinds[14], ULayoutGen::tElementKind::Dimension);
    EXPECT_EQ(summary.groups, 3u);
    EXPECT_TRUE(document.SectionsLeftOut().empty());
    document.version = 10;
    EXPECT_EQ(document.SectionsLeftOut(), std::vector<std::string>{"baseboards"});
    document.version = 3;
    EXPECT_EQ(document.SectionsLeftOut(), (std::vector<std::string>{"layers", "images", "baseboards"}));
    // The groups: 3 groups; group 1 nested in group 0.
    EXPECT_EQ(document.groups, (tSerializedGroups{3, -1, 2, 0, 1, 1, 1, 0, 2, 3, 4, 0, -1, 2, 9, 10, 0}));
}

TEST(LayoutScenario, LibraryScenariosWriteLibrariesWithTheirTranslations) {
    RegisterServices();
    ULayoutGen::tLibraryDocument document;
    std::string error;
    ASSERT_TRUE(ULayoutGen::ParseLibraryScenario(ULayoutGen::SeedLibraryScenario(), document, error)) << error;
    const std::string path = PathFor("seed.rset");
    ASSERT_TRUE(ULayoutFileWriter::WriteTrackLibraryFile(std::filesystem::path(path), document.FileContent()));

    CTrackLibrary library(path);
    ASSERT_EQ(library.Load(kLoadingModeComplete), kTrackLibraryLoaded);
    EXPECT_EQ(library.GetVersion(), 3);
    EXPECT_EQ(library.GetModelScale(), 16);
    EXPECT_DOUBLE_EQ(library.GetTrackbedWidth(), 40.0);
    EXPECT_TRUE(library.GetSwitch116());
    EXPECT_STREQ(library.GetText107(), "layoutgen H0");
    ASSERT_EQ(library.GetElements().size(), 4u);
    EXPECT_EQ(library.GetElements()[0]->GetLocalizedDescription("de"), "Gerade");
    EXPECT_EQ(library.GetElements()[0]->GetPrice(), 395);
    EXPECT_EQ(UTranslationsMap::Lookup(library.GetTranslations(), "Title", "de"), "Seed-Bibliothek");
}

TEST(LayoutScenario, GeneratedLayoutsAreRepeatableConnectedAndCarryEverySection) {
    RegisterServices();
    auto bytes = [](std::size_t count, std::uint64_t seed, int version) {
        ULayoutGen::tLayoutDocument document;
        ULayoutGen::ComposeLargeLayout(document, count, seed, version);
        return ULayoutFileWriter::LayoutFileBytes(document.FileContent());
    };
    const std::vector<std::uint8_t> first = bytes(400, 5, 13);
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(bytes(400, 5, 13), first) << "same seed, same bytes";
    EXPECT_NE(bytes(400, 6, 13), first);

    for (const int version : {3, 9, 10, 11, 13}) {
        SCOPED_TRACE(version);
        ULayoutGen::tLayoutDocument document;
        ULayoutGen::ComposeLargeLayout(document, 400, 5, version);
        const std::string path = PathFor("large-v" + std::to_string(version) + ".wkst");
        ASSERT_TRUE(ULayoutFileWriter::WriteLayoutFile(std::filesystem::path(path), document.FileContent()));
        CLayout layout;
        ASSERT_EQ(layout.Load(path), kLayoutLoaded);
        EXPECT_EQ(layout.GetElements().size(), 400u);
        EXPECT_EQ(layout.GetImages().size(), version >= 10 ? 2u : 0u);
        EXPECT_EQ(layout.GetBaseboards().size(), version >= 11 ? 2u : 0u);
        EXPECT_EQ(layout.GetGroupsManager().GetGroups().size(), 10u) << "one group per 40 elements";
        // Chains of 20 to 200 pieces: all but a few ends connect.
        const std::size_t joints = layout.GetLayoutJoints().GetJoints().size();
        EXPECT_GT(joints, 500u);
        EXPECT_GT(Connected(layout), joints * 8 / 10);
    }
}

TEST(LayoutScenario, ElementsPlacedSideBySideWhileReadingAreWholeAndJoined) {
    RegisterServices();
    // More elements than a few shares of those placed side by side, texts
    // among them.
    ULayoutGen::tLayoutDocument document;
    ULayoutGen::ComposeLargeLayout(document, 2600, 7, 13);
    const std::vector<std::uint8_t> bytes = ULayoutFileWriter::LayoutFileBytes(document.FileContent());
    const auto expectPlacedAndJoined = [](const CLayout& layout, bool connected, const std::string& what) {
        std::size_t misplaced = 0;
        std::size_t components = 0;
        for (CCompositeGeometry* element : layout.GetElements()) {
            tDoubleRect box;
            element->CalcBoundingBox(box);
            if (std::fabs(box.minX) > 1e-6 || std::fabs(box.minY) > 1e-6) ++misplaced;
            components += element->GetComponents().size();
        }
        EXPECT_EQ(misplaced, 0u) << what << ": every box starts at the element's position";
        const std::size_t joints = layout.GetLayoutJoints().GetJoints().size();
        EXPECT_GT(joints, components) << what;
        // Joints where the pieces were laid end to end meet.
        if (connected) {
            EXPECT_GT(Connected(layout), joints * 8 / 10) << what;
        }
    };

    const std::string path = PathFor("placed.wkst");
    ASSERT_TRUE(ULayoutFileWriter::WriteLayoutFile(std::filesystem::path(path), document.FileContent()));
    CLayout layout;
    ASSERT_EQ(layout.Load(path), kLayoutLoaded);
    EXPECT_EQ(layout.GetElements().size(), 2600u);
    expectPlacedAndJoined(layout, true, "whole file");

    // Cut short in the middle of the records: what was read before is
    // placed and its joints are the document's all the same (a failed read
    // connects nothing).
    const std::string cut = PathFor("placed-cut.wkst");
    {
        std::FILE* file = std::fopen(cut.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size() * 6 / 10, file), bytes.size() * 6 / 10);
        std::fclose(file);
    }
    CLayout partial;
    EXPECT_EQ(partial.Load(cut), kLayoutElementsError);
    EXPECT_GT(partial.GetElements().size(), 1100u);
    EXPECT_LT(partial.GetElements().size(), 2600u);
    expectPlacedAndJoined(partial, false, "cut short");
}

TEST(LayoutScenario, TinyPngsHaveTheChunksOfTheirSize) {
    const std::vector<std::uint8_t> png = ULayoutGen::TinyPng(5, 3, 1);
    // Signature, IHDR (12 + 13), IDAT (12 + zlib header 2 + one stored block
    // head 5 + 3 rows of 1 + 15 bytes + Adler-32 4), IEND (12).
    ASSERT_EQ(png.size(), 8u + 25u + (12u + 2u + 5u + 48u + 4u) + 12u);
    EXPECT_EQ(std::memcmp(png.data(), "\x89PNG\r\n\x1a\n", 8), 0);
    EXPECT_EQ(std::memcmp(png.data() + 12, "IHDR\0\0\0\x05\0\0\0\x03\x08\x02", 14), 0);
    // The CRC of an empty IEND chunk is the same in every PNG.
    EXPECT_EQ(std::memcmp(png.data() + png.size() - 4, "\xAE\x42\x60\x82", 4), 0) << "IEND CRC";
    EXPECT_EQ(std::memcmp(png.data() + png.size() - 12, "\0\0\0\0IEND", 8), 0);
}

TEST(LayoutScenario, BumpersPortalsGradesAndFlexConnectionsKeepTheTracksJoined) {
    RegisterServices();
    CLayout layout;
    Load(
        "straight length=200 at=0,0 angle=0 bumper=end\n"
        "straight length=300 at=0,300 angle=0 tunnel=0,100 portal=both\n"
        "straight length=200 at=0,600,10 angle=0 rise=8\n"
        "curve radius=400 sweep=30 rise=-8\n"
        "straight length=100 at=0,900 angle=0\n"
        "straight length=100 at=600,1100 angle=90\n"
        "flex to=5 from=4\n",
        layout);
    const tElements& elements = layout.GetElements();
    ASSERT_EQ(elements.size(), 7u);

    // The bumper closes the far end and leaves the near one where it was.
    EXPECT_EQ(elements[0]->GetJoints(kJointFilterAll).size(), 1u);
    EXPECT_EQ(JointsAt(elements[0], 0, 0), 1);
    EXPECT_EQ(JointsAt(elements[0], 200, 0), 0);
    EXPECT_EQ(elements[0]->GetComponents().size(), 3u) << "track, bracket outline and bar";

    // A portal across each end: 40 mm bed over twice the 16.5 mm gauge
    // scales the 70 wide outline to 84.85, centred on the track.
    EXPECT_EQ(JointsAt(elements[1], 0, 300), 1);
    EXPECT_EQ(JointsAt(elements[1], 300, 300), 1);
    ASSERT_EQ(elements[1]->GetComponents().size(), 3u);
    tDoubleRect box;
    elements[1]->CalcBoundingBox(box);
    const double y = elements[1]->GetPosition().y;
    EXPECT_NEAR(box.minY + y, 300 - 35 * 40 / 33.0, 0.5);
    EXPECT_NEAR(box.maxY + y, 300 + 35 * 40 / 33.0, 0.5);

    // Up 8 over the straight and down again over the curve: the ends meet at
    // their heights.
    auto zAt = [](CCompositeGeometry* element, int joint) {
        return element->GetJoints(kJointFilterAll).at(joint)->GetLayoutPoint().z;
    };
    EXPECT_NEAR(zAt(elements[2], 0), 10.0, 1e-6);
    EXPECT_NEAR(zAt(elements[2], 1), 18.0, 1e-6);
    double curveLow = zAt(elements[3], 0);
    double curveHigh = zAt(elements[3], 1);
    if (curveLow > curveHigh) std::swap(curveLow, curveHigh);
    EXPECT_NEAR(curveLow, 10.0, 1e-6);
    EXPECT_NEAR(curveHigh, 18.0, 1e-6);

    // The flex track leaves along the first straight and arrives along the
    // second.
    EXPECT_EQ(JointsAt(elements[6], 100, 900), 1);
    EXPECT_EQ(JointsAt(elements[6], 600, 1100), 1);
    std::size_t free = 0;
    for (const CJoint* joint : layout.GetLayoutJoints().GetJoints()) free += joint->IsFree();
    // Open: the bumper track's start, both portal track ends, the straight
    // before the grade, the end after the curve, the flex pair's outer ends.
    EXPECT_EQ(free, 7u);
    EXPECT_EQ(Connected(layout), 6u) << "the grade's middle and both ends of the flex track";
}

TEST(LayoutScenario, ArrowsDimensionsAndArcBordersLieWhereTheScenarioSays) {
    RegisterServices();
    testsupport::RegisteredTextService();
    CLayout layout;
    Load(
        "layer \"Marks\"\n"
        "layer \"Boards\" type=baseboard\n"
        "on \"Marks\"\n"
        "arrow at=100,50 to=400,50 head=100 tail=200\n"
        "dimension at=100,200 to=400,200\n"
        "baseboard \"B\" points=0,0;1000,0;ccw@1000,250;1000,500;0,500;cw@-100,250\n",
        layout);
    const tElements& elements = layout.GetElements();
    ASSERT_EQ(elements.size(), 2u);
    auto box = [](CCompositeGeometry* element) {
        tDoubleRect local;
        element->CalcBoundingBox(local);
        const CPoint at = element->GetPosition();
        return tDoubleRect{local.minY + at.y, local.minX + at.x, local.maxY + at.y, local.maxX + at.x};
    };
    // A bare shaft from point to point.
    const tDoubleRect shaft = box(elements[0]);
    EXPECT_NEAR(shaft.minX, 100, 1.0);
    EXPECT_NEAR(shaft.maxX, 400, 1.0);
    EXPECT_NEAR(shaft.minY, 50, 1.0);
    // Extension lines stand on the measured points; the dimension line runs
    // 30 aside with its text centred on it, so the text reaches past the
    // extension lines' 235 by less than its height.
    const tDoubleRect dimension = box(elements[1]);
    EXPECT_NEAR(dimension.minX, 100, 1.0);
    EXPECT_NEAR(dimension.maxX, 400, 1.0);
    EXPECT_NEAR(dimension.minY, 200, 1.0);
    EXPECT_GT(dimension.maxY, 235.0);
    EXPECT_LT(dimension.maxY, 230.0 + 18.0);

    ASSERT_EQ(layout.GetBaseboards().size(), 1u);
    const tBorderSegments& border = layout.GetBaseboards()[0]->GetBorderSegments();
    ASSERT_EQ(border.size(), 4u);
    const auto* right = dynamic_cast<const CCircleArcBorderSegment*>(border[1]);
    const auto* left = dynamic_cast<const CCircleArcBorderSegment*>(border[3]);
    ASSERT_NE(right, nullptr);
    ASSERT_NE(left, nullptr);
    EXPECT_EQ(dynamic_cast<const CCircleArcBorderSegment*>(border[0]), nullptr);
    EXPECT_DOUBLE_EQ(right->GetCentre().x, 1000);
    EXPECT_DOUBLE_EQ(right->GetCentre().y, 250);
    EXPECT_FALSE(right->GetDirectionFlag());
    EXPECT_DOUBLE_EQ(left->GetCentre().x, -100);
    EXPECT_TRUE(left->GetDirectionFlag());
}

TEST(LayoutScenario, BadEndsMarksAndArcsAreRefused) {
    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"straight length=10 bumper=middle\n", "line 1: bumper= begins with start or end, not 'middle'"},
        {"straight length=10 bumper=end:wooden\n",
         "line 1: bumper kind is bracket, hayes, earthen or friction, not 'wooden'"},
        {"turnout length=100 radius=400 sweep=20 bumper=end\n",
         "line 1: bumpers and portals go on a straight, curve or flex"},
        {"straight length=10 portal=both:5\n", "line 1: portal style 5 is out of range (1 to 4)"},
        {"straight length=10\nflex to=0:branch\n", "line 2: element 0 has no branch end to go to"},
        {"straight length=10\nflex to=0 length=20\n", "line 2: a flex track takes to= or length=, not both"},
        {"straight length=10\nflex to=0:end\n", "line 2: flex to= needs an end at least 1 away"},
        {"arrow to=10,10\n", "line 1: arrow needs at="},
        {"dimension at=5,5 to=5,5.5\n", "line 1: dimension needs at= and to= at least 1 apart"},
        {"layer \"B\" type=baseboard\nbaseboard \"X\" points=ccw@0,0;0,0;1,0;1,1\n",
         "line 2: an arc of points= comes after a corner, not 'ccw@0,0'"},
        {"layer \"B\" type=baseboard\nbaseboard \"X\" points=0,0;up@1,1;1,0;1,1\n",
         "line 2: an arc of points= is ccw@X,Y or cw@X,Y, not 'up@1,1'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ParseError(c.text), c.error);
    }
}
