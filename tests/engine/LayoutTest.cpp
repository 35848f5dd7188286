// The layout document: defaults, loading whole files of every version, the
// result codes with their log lines, joint connections after a load, groups
// restored by file position, adding and removing elements, damaged and
// hostile files, joint snapping and the tunnel predicates.

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/fileformat/TaggedFile.h"
#include "engine/model/Baseboard.h"
#include "engine/model/BorderSegment.h"
#include "engine/model/CompositeGeometry.h"
#include "engine/model/ElementQueries.h"
#include "engine/model/Groups.h"
#include "engine/model/Image.h"
#include "engine/model/JointSnapping.h"
#include "engine/model/Layer.h"
#include "engine/model/LayerManager.h"
#include "engine/model/Layout.h"
#include "engine/model/PartList.h"
#include "engine/model/Statistics.h"
#include "engine/services/PreferencesService.h"
#include "tests/support/EngineServices.h"
#include "tests/support/LogWatch.h"
#include "tests/support/RecordBytes.h"
#include "tests/support/TempRoot.h"
#include "tools/layoutgen/LayoutFileWriter.h"
#include "tools/layoutgen/LayoutGen.h"

namespace {

using testsupport::Bytes;
using testsupport::Header;
using testsupport::LogWatch;
using testsupport::ReadBytes;
using testsupport::RegisterServices;
using testsupport::WriteBytes;
using Owned = std::vector<std::unique_ptr<CCompositeGeometry>>;

// ------------------------------------------------------------ checks, files

void ExpectColor(const CColor& c, double r, double g, double b, double a, const char* what) {
    EXPECT_NEAR(c.mRed, r, 1e-6) << what;
    EXPECT_NEAR(c.mGreen, g, 1e-6) << what;
    EXPECT_NEAR(c.mBlue, b, 1e-6) << what;
    EXPECT_NEAR(c.mAlpha, a, 1e-6) << what;
}

using testsupport::PathFor;

// ------------------------------------------------------------ elements

std::unique_ptr<CCompositeGeometry> Straight(const std::string& product, const CPoint& position, double angle = 0.0,
                                             const std::string& layer = "") {
    ULayoutGen::CElementBuilder builder;
    builder.Catalogue(product, "Maker", "Lib", "desc").Straight(100.0).Angle(angle).Position(position);
    if (!layer.empty()) builder.LayerName(layer);
    return builder.Build();
}

// A straight turned by `angle` whose joint `index` lies at `target`.
std::unique_ptr<CCompositeGeometry> StraightWithJointAt(const std::string& product, int index, const CPoint& target,
                                                        double angle) {
    auto probe = Straight(product, CPoint(0, 0, 0), angle);
    const CPoint joint = probe->GetJoints(kJointFilterAll).at(index)->GetLayoutPoint();
    return Straight(product, CPoint(target.x - joint.x, target.y - joint.y, target.z - joint.z), angle);
}

std::vector<CCompositeGeometry*> Raw(const Owned& owned) {
    std::vector<CCompositeGeometry*> raw;
    for (const auto& e : owned) raw.push_back(e.get());
    return raw;
}

CCompositeGeometry* Find(const CLayout& layout, const std::string& product) {
    return layout.GetElementWithProductNumber(product);
}

// A file of `elements` at version 13 with one track layer; returns its path.
std::string WriteSimpleFile(const std::string& name, const Owned& elements, int version = 13) {
    ULayoutFileWriter::tLayoutFile file;
    file.version = version;
    file.elementRecordVersion = version;
    file.elements = Raw(elements);
    const std::string path = PathFor(name);
    EXPECT_TRUE(ULayoutFileWriter::WriteLayoutFile(path, file));
    return path;
}

}  // namespace

// ------------------------------------------------------------ construction

TEST(Layout, NewDocumentHasTheDefaults) {
    RegisterServices();
    UPreferences::SetInt("QLUnits", 2);
    UPreferences::SetInt("QLWSDefaultZoom", 75);
    UPreferences::SetInt("QLWSDefaultTrackStyle", 105);
    UPreferences::SetBool("QLDefaultWSShowElmNames", true);
    CLayout layout;
    const CLayoutParameters& p = layout.GetParameters();
    EXPECT_STREQ(p.mAuthor, "<TEST USER>");
    EXPECT_STREQ(p.mText403, "-");
    EXPECT_STREQ(p.mText404, "");
    EXPECT_STREQ(p.mText407, "");
    EXPECT_TRUE(std::regex_match(std::string(p.mCreationDate),
                                 std::regex("[A-Z][a-z]{2} [ 0-9][0-9]\\. [0-9]{4}, [0-9]{2}:[0-9]{2}:[0-9]{2}")))
        << p.mCreationDate;
    EXPECT_EQ(p.mWorkspaceWidth, 3000);
    EXPECT_EQ(p.mWorkspaceHeight, 3000);
    EXPECT_EQ(p.mZoomPercent, 75);
    EXPECT_DOUBLE_EQ(layout.GetZoom(), 0.75);
    EXPECT_EQ(p.mTrackStyle, 105);
    EXPECT_EQ(p.mDisplayFlags, 0x69);
    EXPECT_EQ(p.mParameter421[0], 0x20);
    EXPECT_EQ(p.mParameter421[1] | p.mParameter421[2] | p.mParameter421[3], 0);
    EXPECT_EQ(p.mInt413, 1);
    EXPECT_EQ(p.mInt414, 10);
    EXPECT_EQ(p.mInt415, 2);
    EXPECT_EQ(p.mInt428, 2);
    EXPECT_EQ(p.mInt435, 25);
    EXPECT_EQ(p.mInt440, 25);
    EXPECT_EQ(p.mInt441, 2);
    EXPECT_EQ(p.mTunnelDisplayMode, 0);
    EXPECT_EQ(p.mInt447, 50);
    EXPECT_EQ(p.mInt450, 1);
    EXPECT_EQ(p.mInt451, 24);
    ExpectColor(p.mFirstColor, 0, 0, 0, 1, "first colour");
    ExpectColor(p.mSecondColor, 0.25, 0.25, 0.25, 1, "second colour");
    ExpectColor(p.mThirdColor, 0.6, 0.6, 0.6, 1, "third colour");
    ASSERT_EQ(layout.GetLayerManager().GetLayers().size(), 1u);
    EXPECT_EQ(layout.GetLayerManager().GetLayers()[0]->GetName(), "Layer 1");
    EXPECT_TRUE(layout.GetElements().empty());
    EXPECT_EQ(layout.GetHighestElementNumber(), 0);
    // Half the H0 gauge of 16.5 at the snap factor of 100 percent.
    EXPECT_DOUBLE_EQ(layout.GetLayoutJoints().GetSnapDistance(), 8.25);

    UPreferences::SetInt("QLUnits", 4);
    UPreferences::SetInt("QLWSDefaultZoom", 9);
    UPreferences::SetBool("QLDefaultWSShowElmNames", false);
    CLayout imperial;
    EXPECT_EQ(imperial.GetParameters().mInt414, 12);
    EXPECT_EQ(imperial.GetParameters().mZoomPercent, 10);
    EXPECT_DOUBLE_EQ(imperial.GetZoom(), 0.1);
    EXPECT_EQ(imperial.GetParameters().mDisplayFlags, 0x68);
}

// ------------------------------------------------------------ result codes

TEST(Layout, EveryResultCodeIsReachedWithItsLogLine) {
    RegisterServices();
    Owned one;
    one.push_back(Straight("A", CPoint(0, 0)));
    const std::string good = WriteSimpleFile("good.wkst", one);
    Bytes goodBytes = ReadBytes(good);

    Bytes wrongType = goodBytes;
    wrongType[3] = 'x';
    WriteBytes(PathFor("wrongtype.wkst"), wrongType);
    WriteBytes(PathFor("short.wkst"), Bytes{'W', 'k', 'S'});
    Bytes v2 = Header("WkSt", 2);
    WriteBytes(PathFor("v2.wkst"), v2);
    Bytes v14 = Header("WkSt", 14);
    WriteBytes(PathFor("v14.wkst"), v14);

    // Two elements announced, one written: the second record is the groups.
    ULayoutFileWriter::tLayoutFile cut;
    cut.elements = Raw(one);
    cut.elementCount = 2;
    ASSERT_TRUE(ULayoutFileWriter::WriteLayoutFile(PathFor("cut.wkst"), cut));

    ULayoutFileWriter::tLayoutFile noTrackStyle;
    FILE* f = std::fopen(PathFor("no411.wkst").c_str(), "wb");
    ASSERT_TRUE(ULayoutFileWriter::WriteHeader(f, "WkSt", 13));
    ASSERT_TRUE(ULayoutFileWriter::WriteParameters(f, noTrackStyle.parameters, 13, 411));
    ASSERT_TRUE(CLayerManager("Layer 1").Save(f, 13));
    ASSERT_TRUE(ULayoutFileWriter::WriteElementCount(f, 0));
    ASSERT_TRUE(UGroups::WriteSerializedGroups(f, {}));
    std::fclose(f);

    struct Case {
        const char* name;
        std::string path;
        LayoutErrorCode code;
        std::string line;
    };
    const std::vector<Case> cases = {
        {"loaded", good, kLayoutLoaded, "Layout file '" + good + "' (v13) with 1 elements successfully loaded"},
        {"missing file", PathFor("absent.wkst"), kLayoutFailedToOpenFile,
         "Failed to load layout file: No such file or directory"},
        {"other magic", PathFor("wrongtype.wkst"), kLayoutWrongFileType, "Layout file type not recognized"},
        {"three bytes", PathFor("short.wkst"), kLayoutWrongFileType, "Layout file type not recognized"},
        {"version 2", PathFor("v2.wkst"), kLayoutObsoleteVersion, "Unsupported layout file version 2"},
        {"version 14", PathFor("v14.wkst"), kLayoutVersionNotSupported, "Layout file version 14 newer than expected"},
        {"element missing", PathFor("cut.wkst"), kLayoutElementsError,
         "LayoutErrorCode CLayout::LoadElements(FILE *, int): Failed to load layout, Element expected, bad header "
         "found."},
        {"track style missing", PathFor("no411.wkst"), kLayoutParameterError, "Failed to read layout parameters"},
    };
    for (const Case& c : cases) {
        LogWatch watch;
        CLayout layout;
        EXPECT_EQ(layout.Load(c.path), c.code) << c.name;
        EXPECT_EQ(watch.Count(c.line), 1) << c.name << ": " << c.line;
    }

    // The element read before the failing one stays.
    CLayout partial;
    ASSERT_EQ(partial.Load(PathFor("cut.wkst")), kLayoutElementsError);
    ASSERT_EQ(partial.GetElements().size(), 1u);
    EXPECT_STREQ(partial.GetElements()[0]->GetProductNumber(), "A");

    LogWatch watch;
    CLayout loaded;
    ASSERT_EQ(loaded.Load(good), kLayoutLoaded);
    EXPECT_EQ(watch.Count("Loading v13 layout file"), 1);
    EXPECT_EQ(loaded.GetFilePath(), good);
    EXPECT_EQ(loaded.GetFileVersion(), 13);
}

// ------------------------------------------------------------ versions

namespace {

CLayoutParameters MarkedParameters() {
    CLayoutParameters p;
    std::strcpy(p.mAuthor, "Autor Q");
    std::strcpy(p.mCreationDate, "Jan  1. 2020, 10:00:00");
    std::strcpy(p.mText403, "t403");
    std::strcpy(p.mText404, "long text 404");
    std::strcpy(p.mText405, "t405");
    std::strcpy(p.mText406, "t406");
    std::strcpy(p.mText407, "t407");
    const std::uint8_t raw[4] = {1, 2, 3, 4};
    std::memcpy(p.mLegacyRaw408, raw, 4);
    p.mLegacyInt409 = 409;
    p.mDisplayFlags = 0x7F;
    p.mTrackStyle = 0x44C;
    p.mInt413 = 3;
    p.mInt414 = 7;
    p.mInt415 = 5;
    p.mShowGrid = true;
    p.mZoomPercent = 150;
    p.mWorkspaceWidth = 1234;
    p.mWorkspaceHeight = 567;
    p.mFirstColor = CColor(1.0, 0.0, 0.0, 1.0);
    p.mParameter421[0] = 0x1234;
    p.mParameter421[1] = 2;
    p.mParameter421[2] = 3;
    p.mParameter421[3] = 0xFFFF;
    p.mRender3DTerrain = true;
    p.m3DOnlyTracks = true;
    p.mInt428 = 8;
    p.mInt429 = 9;
    p.mSwitch430 = true;
    p.mInt435 = 35;
    p.mSecondColor = CColor(0.5, 0.4, 0.3, 1.0);
    p.mInt440 = 40;
    p.mInt441 = 41;
    p.mTunnelDisplayMode = 2;
    p.mThirdColor = CColor(0.1, 0.2, 0.3, 0.5);
    p.mInt447 = 47;
    p.mInt448 = 48;
    p.mInt449 = 49;
    p.mInt450 = 50;
    p.mInt451 = 51;
    p.mInt452 = 52;
    return p;
}

// A file of `version` with every parameter marked, three layers, one
// element, and image and baseboard sections whatever the version: a reader
// that looks for them below their version would find them.
std::string WriteVersionFile(int version) {
    CLayerManager layers("Gleise");
    CLayer* images = layers.AddLayer("Bilder", true);
    images->SetLayerType(CLayer::kImageLayer);
    CLayer* boards = layers.AddLayer("Bretter", true);
    boards->SetLayerType(CLayer::kBaseboardLayer);

    auto element = Straight("S1", CPoint(10, 20), 0.0, version >= 4 ? "Gleise" : "");
    const std::string path = PathFor("v" + std::to_string(version) + ".wkst");
    FILE* f = std::fopen(path.c_str(), "wb");
    EXPECT_TRUE(ULayoutFileWriter::WriteHeader(f, "WkSt", static_cast<std::uint32_t>(version)));
    EXPECT_TRUE(ULayoutFileWriter::WriteParameters(f, MarkedParameters(), version));
    if (version >= 4) {
        EXPECT_TRUE(layers.Save(f, version));
    }
    EXPECT_TRUE(ULayoutFileWriter::WriteElementCount(f, 1));
    EXPECT_TRUE(element->Save(f, version));
    EXPECT_TRUE(UGroups::WriteSerializedGroups(f, {}));

    const std::uint8_t png[4] = {0x89, 'P', 'N', 'G'};
    CImageElement image(png, 4);
    image.SetName("Plan");
    image.SetWidth(100);
    image.SetHeight(50);
    image.SetLayer(images);
    EXPECT_TRUE(UImageElements::SaveImages({&image}, f));

    CBaseboardElement board(CPoint(0, 0), 0.0, "Brett", CColor::Gray50(), CColor::Black());
    board.SetLayer(boards);
    board.SetBorderPoint("a", CPoint(0, 0));
    board.SetBorderPoint("b", CPoint(400, 0));
    board.SetBorderPoint("c", CPoint(400, 300));
    board.AddBorderSegment(new CStraightBorderSegment("a", "b"));
    board.AddBorderSegment(new CStraightBorderSegment("b", "c"));
    board.AddBorderSegment(new CStraightBorderSegment("c", "a"));
    EXPECT_TRUE(UBaseboardElements::WriteBaseboards({&board}, f, std::max(version, 11)));
    std::fclose(f);
    return path;
}

}  // namespace

TEST(Layout, EveryVersionReadsTheParametersItCarriesAndKeepsTheDefaultsOfTheRest) {
    RegisterServices();
    for (int v = 3; v <= 13; ++v) {
        SCOPED_TRACE("version " + std::to_string(v));
        CLayout layout;
        const CLayoutParameters defaults = layout.GetParameters();
        ASSERT_EQ(layout.Load(WriteVersionFile(v)), kLayoutLoaded);
        const CLayoutParameters& p = layout.GetParameters();
        EXPECT_STREQ(p.mAuthor, "Autor Q");
        EXPECT_STREQ(p.mCreationDate, "Jan  1. 2020, 10:00:00");
        EXPECT_STREQ(p.mText403, "t403");
        EXPECT_STREQ(p.mText404, "long text 404");
        EXPECT_STREQ(p.mText405, "t405");
        EXPECT_STREQ(p.mText406, v >= 13 ? "t406" : "");
        EXPECT_STREQ(p.mText407, "t407");
        EXPECT_EQ(p.mLegacyRaw408[3], v <= 5 ? 4 : 0);
        EXPECT_EQ(p.mLegacyInt409, v <= 5 ? 409 : 0);
        EXPECT_EQ(p.mDisplayFlags, v <= 5 ? 0x79 : 0x7F);
        EXPECT_EQ(p.mTrackStyle, 0x44C);
        EXPECT_EQ(p.mInt413, 3);
        EXPECT_EQ(p.mInt414, 7);
        EXPECT_EQ(p.mInt415, 5);
        EXPECT_TRUE(p.mShowGrid);
        EXPECT_EQ(p.mZoomPercent, 150);
        EXPECT_DOUBLE_EQ(layout.GetZoom(), 1.5);
        EXPECT_EQ(p.mWorkspaceWidth, 1234);
        EXPECT_EQ(p.mWorkspaceHeight, 567);
        // Below version 6 from tag 420 (65535, 0, 0), from 6 on from 431-434.
        ExpectColor(p.mFirstColor, 1, 0, 0, 1, "first colour");
        const std::uint16_t words421[4] = {0x1234, 2, 3, 0xFFFF};
        for (int w = 0; w < 4; ++w) EXPECT_EQ(p.mParameter421[w], v >= 8 ? words421[w] : 0) << "word " << w;
        EXPECT_EQ(p.mRender3DTerrain, v >= 4 ? true : defaults.mRender3DTerrain);
        EXPECT_EQ(p.m3DOnlyTracks, v >= 4 ? true : defaults.m3DOnlyTracks);
        EXPECT_EQ(p.mInt428, v >= 5 ? 8 : 2);
        EXPECT_EQ(p.mInt429, v >= 5 ? 9 : 0);
        EXPECT_EQ(p.mSwitch430, v >= 5);
        EXPECT_EQ(p.mInt435, v >= 8 ? 35 : 25);
        if (v >= 8) {
            ExpectColor(p.mSecondColor, 0.5, 0.4, 0.3, 1, "second colour");
        } else {
            ExpectColor(p.mSecondColor, 0.25, 0.25, 0.25, 1, "second colour");
        }
        EXPECT_EQ(p.mInt440, v >= 8 ? 40 : 25);
        EXPECT_EQ(p.mInt441, v >= 9 ? 41 : 2);
        EXPECT_EQ(p.mTunnelDisplayMode, v >= 9 ? 2 : 0);
        if (v >= 9) {
            ExpectColor(p.mThirdColor, 0.1, 0.2, 0.3, 0.5, "third colour");
        } else {
            ExpectColor(p.mThirdColor, 0.6, 0.6, 0.6, 1, "third colour");
        }
        EXPECT_EQ(p.mInt447, v >= 9 ? 47 : 50);
        EXPECT_EQ(p.mInt448, v >= 9 ? 48 : 0);
        EXPECT_EQ(p.mInt449, v >= 11 ? 49 : 0);
        EXPECT_EQ(p.mInt450, v >= 11 ? 50 : 1);
        EXPECT_EQ(p.mInt451, v >= 11 ? 51 : 24);
        EXPECT_EQ(p.mInt452, v >= 11 ? 52 : 0);

        // Layers from 4, images from 10, baseboards from 11.
        const tLayers& layers = layout.GetLayerManager().GetLayers();
        EXPECT_EQ(layers.size(), v >= 4 ? 3u : 1u);
        ASSERT_EQ(layout.GetElements().size(), 1u);
        EXPECT_EQ(layout.GetElements()[0]->GetLayer()->GetName(), v >= 4 ? "Gleise" : "Layer 1");
        EXPECT_EQ(layout.GetImages().size(), v >= 10 ? 1u : 0u);
        EXPECT_EQ(layout.GetBaseboards().size(), v >= 11 ? 1u : 0u);
        if (v >= 10) {
            EXPECT_EQ(layout.GetImages()[0]->GetLayer(), layers[1]);
        }
        if (v >= 11) {
            EXPECT_EQ(layout.GetBaseboards()[0]->GetLayer(), layers[2]);
        }
    }
}

// ------------------------------------------------------------ elements of a load

TEST(Layout, ElementsAreNumberedSkippedWhenEmptyAndPlacedOnTheirLayers) {
    RegisterServices();
    CLayerManager layers("Gleise");
    layers.AddLayer("Oben", true);
    Owned elements;
    elements.push_back(Straight("E0", CPoint(0, 0), 0.0, "Oben"));
    elements.push_back(ULayoutGen::CElementBuilder().Catalogue("EMPTY", "M", "EmptyLib", "d").Build());
    elements.push_back(Straight("E2", CPoint(0, 300), 0.0, "Nowhere"));
    elements.push_back(Straight("E3", CPoint(0, 600)));
    ULayoutFileWriter::tLayoutFile file;
    file.layers = &layers;
    file.elements = Raw(elements);
    ASSERT_TRUE(ULayoutFileWriter::WriteLayoutFile(PathFor("numbers.wkst"), file));

    LogWatch watch;
    CLayout layout;
    ASSERT_EQ(layout.Load(PathFor("numbers.wkst")), kLayoutLoaded);
    EXPECT_EQ(watch.Count("Empty element 'EMPTY' (EmptyLib) encountered - skipping"), 1);
    EXPECT_EQ(watch.Count("No components for 'EMPTY' (EmptyLib) - cannot calculate bounding box!"), 0)
        << "a skipped element is placed (and measured) all the same";
    EXPECT_EQ(watch.Count("Layer 'Nowhere' not in layer list for current layout"), 1);
    ASSERT_EQ(layout.GetElements().size(), 3u);
    const tLayers& loaded = layout.GetLayerManager().GetLayers();
    EXPECT_EQ(Find(layout, "E0")->GetLayer(), loaded[1]);
    EXPECT_EQ(Find(layout, "E2")->GetLayer(), layout.GetLayerManager().GetCurrentLayer());
    EXPECT_EQ(Find(layout, "E3")->GetLayer(), layout.GetLayerManager().GetCurrentLayer());
    EXPECT_EQ(Find(layout, "E0")->GetAttributeValue(), 1);
    EXPECT_EQ(Find(layout, "E2")->GetAttributeValue(), 2);
    EXPECT_EQ(Find(layout, "E3")->GetAttributeValue(), 3);
    EXPECT_EQ(layout.GetHighestElementNumber(), 3);

    // Added elements go on numbering; an own layer of another type is warned
    // about and used.
    loaded[1]->SetLayerType(CLayer::kImageLayer);
    auto extra = Straight("X", CPoint(0, 900), 0.0, "Oben");
    LogWatch addWatch;
    layout.AddElements({extra.get()}, true, true);
    CCompositeGeometry* added = extra.release();
    EXPECT_EQ(addWatch.Count("Invalid layer type for track element"), 1);
    EXPECT_EQ(added->GetLayer(), loaded[1]);
    EXPECT_EQ(added->GetAttributeValue(), 4);
    EXPECT_EQ(layout.GetHighestElementNumber(), 4);

    auto current = Straight("Y", CPoint(0, 1200), 0.0, "Oben");
    layout.AddElements({current.get()}, false, false);
    EXPECT_EQ(current.release()->GetLayer(), layout.GetLayerManager().GetCurrentLayer());
    EXPECT_EQ(layout.GetElements().size(), 5u);
}

TEST(Layout, GroupsReferToElementsByTheirRecordPositionAcrossSkippedElements) {
    RegisterServices();
    Owned elements;
    elements.push_back(Straight("E0", CPoint(0, 0)));
    elements.push_back(ULayoutGen::CElementBuilder().Catalogue("EMPTY", "M", "L", "d").Build());
    elements.push_back(Straight("E2", CPoint(0, 300)));
    elements.push_back(Straight("E3", CPoint(0, 600)));
    ULayoutFileWriter::tLayoutFile file;
    file.elements = Raw(elements);
    // Group 0: members 2 and 3. Group 1: member 1 (the empty record) and 0.
    file.groups = {2, -1, 2, 2, 3, 0, -1, 2, 1, 0, 0};
    ASSERT_TRUE(ULayoutFileWriter::WriteLayoutFile(PathFor("groups.wkst"), file));

    CLayout layout;
    ASSERT_EQ(layout.Load(PathFor("groups.wkst")), kLayoutLoaded);
    ASSERT_EQ(layout.GetElements().size(), 3u);
    CGroupsManager& groups = layout.GetGroupsManager();
    CGroup* pair = groups.GetGroup(Find(layout, "E2"));
    ASSERT_NE(pair, nullptr);
    EXPECT_EQ(groups.GetGroup(Find(layout, "E3")), pair);
    ASSERT_EQ(pair->GetMembers().size(), 2u);
    CGroup* single = groups.GetGroup(Find(layout, "E0"));
    ASSERT_NE(single, nullptr);
    EXPECT_NE(single, pair);
    EXPECT_EQ(single->GetMembers().size(), 1u);
    EXPECT_EQ(groups.GetGroups().size(), 2u);

    // Clearing the elements drops the groups that referred to them.
    layout.ClearElements();
    EXPECT_TRUE(layout.GetGroupsManager().GetGroups().empty());
    EXPECT_TRUE(layout.GetLayoutJoints().GetJoints().empty());
}

TEST(Layout, ASuccessfulLoadRefreshesTheStatisticsAndAppliesThePrices) {
    RegisterServices();
    UPreferences::SetInt("QLDefaultCurrency", 131);
    Owned elements;
    elements.push_back(Straight("P1", CPoint(0, 0)));
    elements.push_back(Straight("P1", CPoint(0, 300)));
    elements.push_back(Straight("P2", CPoint(0, 600)));
    for (auto& e : elements) e->SetCurrencyId(129);
    CLayout layout;
    ASSERT_EQ(layout.Load(WriteSimpleFile("priced.wkst", elements)), kLayoutLoaded);
    EXPECT_EQ(layout.GetStatistics().GetElementCount("P1"), 2);
    EXPECT_EQ(layout.GetStatistics().GetElementCount("P2"), 1);
    EXPECT_EQ(layout.GetStatistics().GetCountedElements().size(), 2u);
    for (const CCompositeGeometry* e : layout.GetElements()) EXPECT_EQ(e->GetCurrencyId(), 131);

    layout.ClearElements();
    EXPECT_EQ(layout.GetStatistics().GetElementCount("P1"), 0);
}

TEST(Layout, LoadingTwiceReplacesImagesAndBaseboardsWithThoseOfTheNewLayers) {
    RegisterServices();
    const std::string path = WriteVersionFile(13);
    CLayout layout;
    ASSERT_EQ(layout.Load(path), kLayoutLoaded);
    ASSERT_EQ(layout.Load(path), kLayoutLoaded);
    const tLayers& layers = layout.GetLayerManager().GetLayers();
    ASSERT_EQ(layout.GetImages().size(), 1u);
    ASSERT_EQ(layout.GetBaseboards().size(), 1u);
    EXPECT_NE(std::find(layers.begin(), layers.end(), layout.GetImages()[0]->GetLayer()), layers.end());
    EXPECT_NE(std::find(layers.begin(), layers.end(), layout.GetBaseboards()[0]->GetLayer()), layers.end());
    EXPECT_EQ(layout.GetElements().size(), 1u);
}

// ------------------------------------------------------------ joints

TEST(Layout, FacingTracksConnectAfterLoadingAndNearMissesAreMarked) {
    RegisterServices();
    UPreferences::SetInt("QLJointDistanceTolerancePercent", 25);
    UPreferences::SetInt("QLJointAngleTolerance", 30);
    // H0: gauge 16.5, so the tolerance is 4.125 and half a gauge 8.25.
    struct Case {
        const char* name;
        double dx, dy, dz, angle;
        bool connected;
        int state;
    };
    const Case cases[] = {
        {"touching", 0, 0, 0, 0, true, 0},
        {"1 mm apart", 1, 0, 0, 0, true, 0},
        {"4 mm to the side", 0, 4, 0, 0, true, 0},
        {"turned by 2 degrees", 0, 0, 0, 2, true, 0},
        {"5 mm apart", 5, 0, 0, 0, false, 1},
        {"6 mm to the side", 0, 6, 0, 0, false, 1},
        {"9 mm apart", 9, 0, 0, 0, false, 0},
        {"5 mm higher", 1, 0, 5, 0, false, 2},
        {"turned by 20 degrees", 0, 0, 0, 20, false, 3},
        {"turned by -40 degrees", 0, 0, 0, -40, false, 3},
        {"turned by 90 degrees", 0, 0, 0, 90, false, 0},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Owned elements;
        elements.push_back(Straight("A", CPoint(0, 0)));
        const CPoint end = elements[0]->GetJoints(kJointFilterAll).at(1)->GetLayoutPoint();
        elements.push_back(StraightWithJointAt("B", 0, CPoint(end.x + c.dx, end.y + c.dy, end.z + c.dz), c.angle));
        const CPoint start = elements[1]->GetJoints(kJointFilterAll).at(0)->GetLayoutPoint();
        ASSERT_NEAR(start.x - end.x, c.dx, 1e-6);
        ASSERT_NEAR(start.y - end.y, c.dy, 1e-6);
        ASSERT_NEAR(start.z - end.z, c.dz, 1e-6);

        CLayout layout;
        ASSERT_EQ(layout.Load(WriteSimpleFile("joints" + std::to_string(n++) + ".wkst", elements)), kLayoutLoaded);
        const CCompositeGeometry* a = Find(layout, "A");
        const CCompositeGeometry* b = Find(layout, "B");
        CJoint* aEnd = a->GetJoints(kJointFilterAll).at(1);
        CJoint* bStart = b->GetJoints(kJointFilterAll).at(0);
        EXPECT_EQ(aEnd->GetPartner() == bStart, c.connected);
        EXPECT_EQ(bStart->GetPartner() == aEnd, c.connected);
        EXPECT_EQ(aEnd->IsFree(), !c.connected);
        EXPECT_EQ(bStart->IsFree(), !c.connected);
        EXPECT_EQ(aEnd->GetMark(), c.state);
        EXPECT_EQ(bStart->GetMark(), c.state);
        // The outer ends meet nothing.
        EXPECT_TRUE(a->GetJoints(kJointFilterAll).at(0)->IsFree());
        EXPECT_TRUE(b->GetJoints(kJointFilterAll).at(1)->IsFree());
        EXPECT_EQ(layout.GetLayoutJoints().GetJoints().size(), 4u);
    }
}

TEST(Layout, RemovingAnElementDisconnectsItsPartners) {
    RegisterServices();
    Owned elements;
    elements.push_back(Straight("A", CPoint(0, 0)));
    const CPoint end = elements[0]->GetJoints(kJointFilterAll).at(1)->GetLayoutPoint();
    elements.push_back(StraightWithJointAt("B", 0, end, 0.0));
    const CPoint bEnd = elements[1]->GetJoints(kJointFilterAll).at(1)->GetLayoutPoint();
    elements.push_back(StraightWithJointAt("C", 0, bEnd, 0.0));
    CLayout layout;
    ASSERT_EQ(layout.Load(WriteSimpleFile("chain.wkst", elements)), kLayoutLoaded);
    CCompositeGeometry* a = Find(layout, "A");
    CCompositeGeometry* b = Find(layout, "B");
    CCompositeGeometry* c = Find(layout, "C");
    ASSERT_TRUE(a->GetJoints(kJointFilterAll).at(1)->IsConnected());
    ASSERT_TRUE(c->GetJoints(kJointFilterAll).at(0)->IsConnected());

    layout.RemoveElements({b});
    std::unique_ptr<CCompositeGeometry> removed(b);
    EXPECT_EQ(layout.GetElements().size(), 2u);
    EXPECT_FALSE(layout.ContainsElement(b));
    EXPECT_EQ(layout.GetLayoutJoints().GetJoints().size(), 4u);
    EXPECT_FALSE(a->GetJoints(kJointFilterAll).at(1)->IsConnected());
    EXPECT_TRUE(a->GetJoints(kJointFilterAll).at(1)->IsFree());
    EXPECT_FALSE(c->GetJoints(kJointFilterAll).at(0)->IsConnected());
    for (CJoint* joint : removed->GetJoints(kJointFilterAll)) EXPECT_FALSE(joint->IsConnected());

    // The index on its own: removing counts the joints taken out.
    CLayoutJoints joints;
    joints.AddElementJoints(a);
    joints.AddElementJoints(c);
    EXPECT_EQ(joints.RemoveElementJoints(a), 2);
    EXPECT_EQ(joints.RemoveElementJoints(a), 0);
    ASSERT_EQ(joints.GetJoints().size(), 2u);
    EXPECT_EQ(joints.GetJoints()[0]->GetParent(), c);
}

// ------------------------------------------------------------ damaged and hostile files

TEST(Layout, AMissingTagOfTheFileVersionFailsTheParameters) {
    RegisterServices();
    struct Case {
        int version;
        std::uint16_t omitted;
    };
    const Case cases[] = {{13, 400}, {13, 411}, {13, 419}, {13, 431}, {13, 434}, {13, 421}, {13, 422}, {13, 452},
                          {5, 401},  {5, 408},  {5, 412},  {5, 420},  {4, 427},  {8, 439},  {9, 442},  {11, 449}};
    for (const Case& c : cases) {
        SCOPED_TRACE("version " + std::to_string(c.version) + " without tag " + std::to_string(c.omitted));
        const std::string path = PathFor("omit" + std::to_string(c.omitted) + ".wkst");
        FILE* f = std::fopen(path.c_str(), "wb");
        CLayoutParameters p;
        ASSERT_TRUE(ULayoutFileWriter::WriteHeader(f, "WkSt", static_cast<std::uint32_t>(c.version)));
        ASSERT_TRUE(ULayoutFileWriter::WriteParameters(f, p, c.version, c.omitted));
        if (c.version >= 4) {
            ASSERT_TRUE(CLayerManager("Layer 1").Save(f, c.version));
        }
        ASSERT_TRUE(ULayoutFileWriter::WriteElementCount(f, 0));
        ASSERT_TRUE(UGroups::WriteSerializedGroups(f, {}));
        std::fclose(f);
        CLayout layout;
        EXPECT_EQ(layout.Load(path), kLayoutParameterError);
    }

    // A header with nothing after it is not a layout.
    WriteBytes(PathFor("header.wkst"), Header("WkSt", 13));
    CLayout headerOnly;
    EXPECT_EQ(headerOnly.Load(PathFor("header.wkst")), kLayoutParameterError);
    EXPECT_EQ(headerOnly.GetLayerManager().GetLayers().size(), 1u);

    // The element count must follow the layers.
    const std::string noCount = PathFor("nocount.wkst");
    FILE* f = std::fopen(noCount.c_str(), "wb");
    ASSERT_TRUE(ULayoutFileWriter::WriteHeader(f, "WkSt", 13));
    ASSERT_TRUE(ULayoutFileWriter::WriteParameters(f, CLayoutParameters(), 13));
    ASSERT_TRUE(CLayerManager("Layer 1").Save(f, 13));
    std::fclose(f);
    CLayout withoutCount;
    EXPECT_EQ(withoutCount.Load(noCount), kLayoutParameterError);
}

TEST(Layout, ElementCountsStartAtZeroAndAreBoundedByTheFile) {
    RegisterServices();
    // A negative count reads no element and still reads what follows.
    Owned none;
    CLayerManager layers("Gleise");
    CLayer* pictures = layers.AddLayer("Bilder", true);
    pictures->SetLayerType(CLayer::kImageLayer);
    const std::uint8_t png[3] = {1, 2, 3};
    CImageElement image(png, 3);
    image.SetLayer(pictures);
    ULayoutFileWriter::tLayoutFile negative;
    negative.layers = &layers;
    negative.elementCount = -5;
    negative.images = {&image};
    ASSERT_TRUE(ULayoutFileWriter::WriteLayoutFile(PathFor("negative.wkst"), negative));
    CLayout layout;
    ASSERT_EQ(layout.Load(PathFor("negative.wkst")), kLayoutLoaded);
    EXPECT_TRUE(layout.GetElements().empty());
    EXPECT_EQ(layout.GetImages().size(), 1u);

    // The largest count with one element: stops at the first missing record.
    Owned one;
    one.push_back(Straight("A", CPoint(0, 0)));
    ULayoutFileWriter::tLayoutFile huge;
    huge.elements = Raw(one);
    huge.elementCount = INT_MAX;
    ASSERT_TRUE(ULayoutFileWriter::WriteLayoutFile(PathFor("huge.wkst"), huge));
    LogWatch watch;
    CLayout big;
    EXPECT_EQ(big.Load(PathFor("huge.wkst")), kLayoutElementsError);
    EXPECT_EQ(big.GetElements().size(), 1u);
    EXPECT_EQ(watch.Count("Element count 2147483647 exceeds what the file can hold"), 1);

    // A version 4 file whose layer section holds no layer keeps one layer.
    const std::string noLayers = PathFor("nolayers.wkst");
    FILE* f = std::fopen(noLayers.c_str(), "wb");
    ASSERT_TRUE(ULayoutFileWriter::WriteHeader(f, "WkSt", 4));
    ASSERT_TRUE(ULayoutFileWriter::WriteParameters(f, CLayoutParameters(), 4));
    {
        CTaggedFile tags(f);
        ASSERT_TRUE(tags.WriteInt(500, 0));
    }
    ASSERT_TRUE(ULayoutFileWriter::WriteElementCount(f, 1));
    ASSERT_TRUE(one[0]->Save(f, 4));
    ASSERT_TRUE(UGroups::WriteSerializedGroups(f, {}));
    std::fclose(f);
    CLayout empty;
    ASSERT_EQ(empty.Load(noLayers), kLayoutLoaded);
    ASSERT_EQ(empty.GetLayerManager().GetLayers().size(), 1u);
    EXPECT_EQ(empty.GetElements()[0]->GetLayer(), empty.GetLayerManager().GetLayers()[0]);
}

// ------------------------------------------------------------ joint snapping

TEST(Layout, JointSnappingReadsItsTolerancesFromThePreferences) {
    RegisterServices();
    UPreferences::SetInt("QLJointAngleTolerance", 10);
    UPreferences::SetInt("QLSnapAreaFactor", 100);
    struct Case {
        const char* name;
        double a, b;
        bool opposite;
    };
    const Case angles[] = {
        {"exactly opposite", 90, 270, true}, {"two degrees off", 90, 268, false}, {"half a degree off", 0, 180.5, true},
        {"across 360", 350, 170.9, true},    {"same direction", 45, 45, false},   {"negative angles", -90, 90, true},
    };
    for (const Case& c : angles) EXPECT_EQ(UJointSnapping::AreAnglesOpposite(c.a, c.b), c.opposite) << c.name;
    EXPECT_DOUBLE_EQ(UJointSnapping::GetSnapDistance(4), 3.0);
    EXPECT_DOUBLE_EQ(UJointSnapping::GetSnapDistance(20), 10.0);
    UPreferences::SetInt("QLSnapAreaFactor", 50);
    EXPECT_DOUBLE_EQ(UJointSnapping::GetSnapDistance(40), 10.0);
    UPreferences::SetInt("QLJointAngleTolerance", 30);
    EXPECT_TRUE(UJointSnapping::AreAnglesOpposite(90, 268));
}

// ------------------------------------------------------------ tunnel predicates

TEST(Layout, TunnelTracksAreTracksWithATunnelSection) {
    RegisterServices();
    struct Case {
        const char* name;
        std::int32_t start, end;
        bool track;
        bool tunnel;
        bool partial;
    };
    const Case cases[] = {
        {"no tunnel", 0, 0, true, false, false},
        {"tunnel all along", 0, 100, true, true, false},
        {"tunnel from the middle", 50, 100, true, true, true},
        {"tunnel to the middle", 0, 50, true, true, true},
        {"tunnel ends at 1 percent", 0, 1, true, true, true},
        {"tunnel ends at 99 percent", 0, 99, true, true, true},
        {"negative start only", -5, 0, true, true, false},
        {"a shape with tunnel values", 10, 50, false, false, false},
    };
    Owned owned;
    tElements elements;
    for (const Case& c : cases) {
        ULayoutGen::CElementBuilder builder;
        builder.Catalogue(c.name, "M", "L", "d").Trims(c.start, c.end);
        if (c.track) {
            builder.Straight(100);
        } else {
            builder.Line(CPoint(0, 0), CPoint(10, 0));
        }
        owned.push_back(builder.Build());
        elements.push_back(owned.back().get());
        EXPECT_EQ(UElementInspector::IsTunnelTrack(owned.back().get()), c.tunnel) << c.name;
        EXPECT_EQ(UElementInspector::IsPartialTunnelTrack(owned.back().get()), c.partial) << c.name;
    }
    const tElements tunnels = UElementVectorOperations::GetTunnelTracks(elements);
    std::vector<std::string> names;
    for (const CCompositeGeometry* e : tunnels) names.push_back(e->GetProductNumber());
    EXPECT_EQ(names, (std::vector<std::string>{"tunnel all along", "tunnel from the middle", "tunnel to the middle",
                                               "tunnel ends at 1 percent", "tunnel ends at 99 percent",
                                               "negative start only"}));
    EXPECT_THROW(UElementInspector::IsTunnelTrack(nullptr), std::runtime_error);
    EXPECT_THROW(UElementInspector::IsPartialTunnelTrack(nullptr), std::runtime_error);

    // Visible layers: a layer, and a visible one.
    CLayer shown("shown");
    CLayer hidden("hidden");
    hidden.SetVisible(false);
    owned[0]->SetLayer(&shown);
    owned[1]->SetLayer(&hidden);
    owned[2]->SetLayer(&shown);
    const tElements visible = UElementVectorOperations::GetElementsOnVisibleLayers(
        {elements[0], elements[1], nullptr, elements[2], elements[3]});
    EXPECT_EQ(visible, (tElements{elements[0], elements[2]}));
}
