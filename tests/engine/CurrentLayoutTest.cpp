// The current-layout holder: the document after a reset, loading with its
// failure messages, the tidy-up after a load (empty layers, unlocking,
// element types, rail widths and colours), and a read asked to stop.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/model/Baseboard.h"
#include "engine/model/BorderSegment.h"
#include "engine/model/CompositeGeometry.h"
#include "engine/model/CurrentCloudLayout.h"
#include "engine/model/Image.h"
#include "engine/model/Layer.h"
#include "engine/model/LayerManager.h"
#include "engine/model/Layout.h"
#include "engine/model/PolyBIG.h"
#include "engine/services/LocalizationService.h"
#include "engine/services/Logger.h"
#include "engine/services/ServiceLocator.h"
#include "tests/support/EngineServices.h"
#include "tests/support/LogWatch.h"
#include "tests/support/TempRoot.h"
#include "tools/layoutgen/LargeLayout.h"
#include "tools/layoutgen/LayoutFileWriter.h"
#include "tools/layoutgen/LayoutGen.h"

namespace {

using testsupport::LogWatch;
using testsupport::RegisterServices;
using Owned = std::vector<std::unique_ptr<CCompositeGeometry>>;

using testsupport::PathFor;

std::vector<std::string> LayerNames(const CLayout* layout) {
    std::vector<std::string> names;
    for (const CLayer* layer : layout->GetLayerManager().GetLayers()) names.push_back(layer->GetName());
    return names;
}

ULayoutGen::tTrackMeasures Rail(double width) {
    ULayoutGen::tTrackMeasures measures;
    measures.railWidth = width;
    return measures;
}

CBaseboardElement* NewBoard(CLayer* layer) {
    auto* board = new CBaseboardElement();
    board->SetLayer(layer);
    board->SetBorderPoint("a", CPoint(0, 0));
    board->SetBorderPoint("b", CPoint(100, 50));
    board->AddBorderSegment(new CStraightBorderSegment("a", "b"));
    return board;
}

}  // namespace

TEST(CurrentLayout, AResetLeavesAnEmptyDocumentWithOneLayerNamedNA) {
    RegisterServices();
    LogWatch watch;
    CCurrentCloudLayout& holder = CCurrentCloudLayout::Instance();
    EXPECT_EQ(watch.Count("Creating global layout instance"), 1);
    EXPECT_EQ(watch.Count("Resetting current layout"), 1);
    ASSERT_NE(holder.Layout(), nullptr);
    EXPECT_EQ(&CCurrentCloudLayout::Instance(), &holder);
    EXPECT_EQ(LayerNames(holder.Layout()), std::vector<std::string>{"N/A"});
    EXPECT_TRUE(holder.Layout()->GetElements().empty());

    holder.GetTransientEditActions().push_back(nullptr);
    const std::uint64_t generation = holder.Generation();
    holder.Reset();
    EXPECT_TRUE(holder.GetTransientEditActions().empty());
    EXPECT_EQ(LayerNames(holder.Layout()), std::vector<std::string>{"N/A"});
    EXPECT_EQ(watch.Count("Resetting current layout"), 2);
    // Another document, wherever it was made: another generation. A failed
    // load replaces the document too.
    EXPECT_NE(holder.Generation(), generation);
    const std::uint64_t reset = holder.Generation();
    EXPECT_FALSE(holder.LoadLayout(PathFor("missing.wkst")));
    EXPECT_NE(holder.Generation(), reset);

    // With every layer locked there is no editable layer to rename: the
    // reset layer is unlocked, so it is always renamed.
    EXPECT_FALSE(holder.Layout()->GetLayerManager().GetLayers()[0]->IsLocked());
}

// Tests that run one after another in a process find the holder as a new
// process does: made on its next use.
TEST(CurrentLayout, AfterForgettingItTheNextUseBeginsAgain) {
    RegisterServices();
    CCurrentCloudLayout& holder = CCurrentCloudLayout::Instance();
    holder.Layout()->GetLayerManager().GetLayers()[0]->SetName("Kept");
    holder.GetTransientEditActions().push_back(nullptr);
    EXPECT_FALSE(holder.LoadLayout(PathFor("missing.wkst")));
    ASSERT_FALSE(holder.GetLastLoadErrorMessage().empty());

    CCurrentCloudLayout::ForgetInstanceForTests();
    LogWatch watch;
    CCurrentCloudLayout& again = CCurrentCloudLayout::Instance();
    EXPECT_EQ(watch.Count("Creating global layout instance"), 1);
    EXPECT_EQ(watch.Count("Resetting current layout"), 1);
    ASSERT_NE(again.Layout(), nullptr);
    EXPECT_EQ(LayerNames(again.Layout()), std::vector<std::string>{"N/A"});
    EXPECT_TRUE(again.GetTransientEditActions().empty());
    EXPECT_TRUE(again.GetLastLoadErrorMessage().empty());
    // Begun once: later uses find it made.
    CCurrentCloudLayout::Instance();
    EXPECT_EQ(watch.Count("Creating global layout instance"), 1);
}

TEST(CurrentLayout, FailedLoadsKeepTheLocalisedMessageOfTheirCode) {
    RegisterServices();
    struct Case {
        LayoutErrorCode code;
        const char* text;
    };
    const Case cases[] = {
        {kLayoutLoaded, ""},
        {kLayoutFailedToOpenFile, "The layout file could not be opened."},
        {kLayoutWrongFileType, "The file is not a layout file."},
        {kLayoutObsoleteVersion, "The layout file was saved by an old version that is no longer supported."},
        {kLayoutVersionNotSupported, "The layout file was saved by a newer version. Please update the app."},
        {kLayoutElementsError, "The elements of the layout could not be read."},
        {kLayoutParameterError, "The settings of the layout could not be read."},
        {static_cast<LayoutErrorCode>(7), ""},
        {static_cast<LayoutErrorCode>(-1), ""},
    };
    for (const Case& c : cases) EXPECT_EQ(CCurrentCloudLayout::GetLoadErrorMessage(c.code), c.text) << c.code;

    CCurrentCloudLayout& holder = CCurrentCloudLayout::Instance();
    LogWatch watch;
    const std::string missing = PathFor("missing.wkst");
    EXPECT_FALSE(holder.LoadLayout(missing));
    EXPECT_EQ(holder.GetLastLoadErrorMessage(), "The layout file could not be opened.");
    EXPECT_EQ(watch.Count("Loading layout from '" + missing + "'"), 1);

    // A layout whose element records are cut short: what was read is not
    // kept, the holder's document is empty.
    Owned elements;
    elements.push_back(ULayoutGen::CElementBuilder().Catalogue("A", "M", "L", "d").Straight(100).Build());
    ULayoutFileWriter::tLayoutFile file;
    file.elements = {elements[0].get()};
    file.elementCount = 2;
    ASSERT_TRUE(ULayoutFileWriter::WriteLayoutFile(PathFor("cut.wkst"), file));
    EXPECT_FALSE(holder.LoadLayout(PathFor("cut.wkst")));
    EXPECT_EQ(holder.GetLastLoadErrorMessage(), "The elements of the layout could not be read.");
    EXPECT_TRUE(holder.Layout()->GetElements().empty());
    EXPECT_EQ(LayerNames(holder.Layout()), std::vector<std::string>{"N/A"});
    EXPECT_FALSE(holder.HasDocument()) << "no layout is open";

    file.elementCount.reset();
    ASSERT_TRUE(ULayoutFileWriter::WriteLayoutFile(PathFor("whole.wkst"), file));
    EXPECT_TRUE(holder.LoadLayout(PathFor("whole.wkst")));
    EXPECT_EQ(holder.GetLastLoadErrorMessage(), "");
    EXPECT_EQ(holder.Layout()->GetElements().size(), 1u);
    EXPECT_TRUE(holder.HasDocument());
    // A load that fails after it closes the open one.
    EXPECT_FALSE(holder.LoadLayout(missing));
    EXPECT_FALSE(holder.HasDocument());
    EXPECT_TRUE(holder.LoadLayout(PathFor("whole.wkst")));
    holder.Reset();
    EXPECT_FALSE(holder.HasDocument());
}

TEST(CurrentLayout, ALoadedDocumentIsTidied) {
    RegisterServices();
    CLayerManager layers("Gleise");
    layers.GetCurrentLayer()->SetLocked(true);
    CLayer* emptyTracks = layers.AddLayer("Leer", true);
    CLayer* imageOnTrackLayer = layers.AddLayer("Bild auf Gleisebene", true);
    CLayer* pictures = layers.AddLayer("Bilder", true);
    pictures->SetLayerType(CLayer::kImageLayer);
    CLayer* boards = layers.AddLayer("Bretter", true);
    boards->SetLayerType(CLayer::kBaseboardLayer);
    CLayer* otherBoards = layers.AddLayer("Andere Bretter", true);
    otherBoards->SetLayerType(CLayer::kBaseboardLayer);
    CLayer* boardOnTrackLayer = layers.AddLayer("Brett auf Gleisebene", true);
    boardOnTrackLayer->SetLocked(true);
    (void)emptyTracks;
    (void)otherBoards;

    Owned elements;
    // Untyped pieces (record version 13 keeps the type): a straight, and a
    // track whose rail width is below the others', with a coloured second
    // colour.
    elements.push_back(ULayoutGen::CElementBuilder()
                           .Catalogue("G1", "M", "L", "d")
                           .Straight(100, Rail(1.0))
                           .LayerName("Gleise")
                           .Build());
    elements.push_back(ULayoutGen::CElementBuilder()
                           .Catalogue("G2", "M", "L", "d")
                           .Straight(100, Rail(0.8))
                           .Straight(50, Rail(0.5), ULayoutGen::tPlacement{0, 60, 0})
                           .ElementType(1)
                           .Colors(CColor::Gray50(), CColor(1.0, 0.0, 0.0, 1.0))
                           .Position(CPoint(0, 300))
                           .LayerName("Gleise")
                           .Build());
    elements.push_back(ULayoutGen::CElementBuilder()
                           .Catalogue("B1", "M", "L", "d")
                           .Straight(80, Rail(0.0))
                           .Poly({CPoint(0, 0), CPoint(5, 0), CPoint(5, 5)}, kPolyKindPolygon)
                           .ElementType(1)
                           .Position(CPoint(0, 600))
                           .LayerName("Gleise")
                           .Build());
    const std::uint8_t png[2] = {1, 2};
    CImageElement picture(png, 2);
    picture.SetLayer(imageOnTrackLayer);
    CImageElement other(png, 2);
    other.SetLayer(pictures);
    std::unique_ptr<CBaseboardElement> board(NewBoard(boardOnTrackLayer));

    ULayoutFileWriter::tLayoutFile file;
    file.layers = &layers;
    file.parameters.mDisplayFlags = 0x79;
    for (const auto& e : elements) file.elements.push_back(e.get());
    file.images = {&picture, &other};
    file.baseboards = {board.get()};
    ASSERT_TRUE(ULayoutFileWriter::WriteLayoutFile(PathFor("tidy.wkst"), file));

    LogWatch watch;
    CCurrentCloudLayout& holder = CCurrentCloudLayout::Instance();
    ASSERT_TRUE(holder.LoadLayout(PathFor("tidy.wkst")));
    CLayout* layout = holder.Layout();

    // "Leer" has nothing. The baseboard layers have no baseboard, but the
    // document has one, so they stay. The image and the baseboard keep the
    // track layers they lie on.
    EXPECT_EQ(LayerNames(layout), (std::vector<std::string>{"Gleise", "Bild auf Gleisebene", "Bilder", "Bretter",
                                                            "Andere Bretter", "Brett auf Gleisebene"}));
    const tLayers& kept = layout->GetLayerManager().GetLayers();
    ASSERT_EQ(layout->GetImages().size(), 2u);
    ASSERT_EQ(layout->GetBaseboards().size(), 1u);
    EXPECT_EQ(layout->GetImages()[0]->GetLayer(), kept[1]);
    EXPECT_EQ(layout->GetBaseboards()[0]->GetLayer(), kept[5]);
    EXPECT_EQ(watch.Count("Removing empty layer 'Leer'"), 1);
    for (const CLayer* layer : layout->GetLayerManager().GetLayers())
        EXPECT_FALSE(layer->IsLocked()) << layer->GetName();
    EXPECT_EQ(layout->GetParameters().mDisplayFlags, 0);

    CCompositeGeometry* g1 = layout->GetElementWithProductNumber("G1");
    CCompositeGeometry* g2 = layout->GetElementWithProductNumber("G2");
    CCompositeGeometry* b1 = layout->GetElementWithProductNumber("B1");
    // One straight with its two joints is a plain track.
    EXPECT_EQ(g1->GetElementType(), 1);
    EXPECT_EQ(watch.Count("Guessed type 1 (Track) for G1"), 1);
    EXPECT_EQ(watch.Count("ULayoutElementClassifier: 1 elements updated"), 1);

    // Reference rail width 0.8, the smallest of the tracks' largest widths.
    EXPECT_NEAR(g1->GetComponents()[0]->GetRailWidth(), 1.0, 1e-9);
    EXPECT_NEAR(g2->GetComponents()[0]->GetRailWidth(), 0.8, 1e-9);
    EXPECT_NEAR(g2->GetComponents()[1]->GetRailWidth(), 0.8, 1e-9);
    EXPECT_NEAR(b1->GetComponents()[0]->GetRailWidth(), 0.8, 1e-9);
    EXPECT_NEAR(b1->GetComponents()[1]->GetRailWidth(), 0.0, 1e-9);
    EXPECT_EQ(g2->GetSecondColor(), CColor::Black());
    EXPECT_EQ(watch.Count("ULayoutTrackRepairs: 2 tracks updated"), 1);
}

TEST(CurrentLayout, TheLastLayerStaysAndTypedElementsAreNotClassified) {
    RegisterServices();
    // Only a baseboard layer without baseboards and an empty track layer.
    CLayerManager layers("Leer");
    CLayer* boards = layers.AddLayer("Bretter", true);
    boards->SetLayerType(CLayer::kBaseboardLayer);
    ULayoutFileWriter::tLayoutFile file;
    file.layers = &layers;
    ASSERT_TRUE(ULayoutFileWriter::WriteLayoutFile(PathFor("bare.wkst"), file));
    LogWatch watch;
    CCurrentCloudLayout& holder = CCurrentCloudLayout::Instance();
    ASSERT_TRUE(holder.LoadLayout(PathFor("bare.wkst")));
    EXPECT_EQ(holder.Layout()->GetLayerManager().GetLayers().size(), 1u);
    EXPECT_EQ(watch.Count("Removing empty layer 'Bretter'"), 1);
    EXPECT_EQ(watch.Count("Removing empty layer 'Leer'"), 1);
    EXPECT_EQ(watch.Count("elements updated"), 0);
    EXPECT_EQ(watch.Count("tracks updated"), 0);

    // A baseboard layer with a typed track on it stays, baseboards or not.
    auto onBoards = ULayoutGen::CElementBuilder()
                        .Catalogue("T", "M", "L", "d")
                        .Straight(100)
                        .ElementType(1)
                        .LayerName("Bretter")
                        .Build();
    file.elements = {onBoards.get()};
    ASSERT_TRUE(ULayoutFileWriter::WriteLayoutFile(PathFor("track-on-boards.wkst"), file));
    ASSERT_TRUE(holder.LoadLayout(PathFor("track-on-boards.wkst")));
    EXPECT_EQ(LayerNames(holder.Layout()), std::vector<std::string>{"Bretter"});
    EXPECT_EQ(holder.Layout()->GetElements()[0]->GetLayer(), holder.Layout()->GetLayerManager().GetLayers()[0]);

    // The repairs on their own: no track at all leaves everything alone, and
    // elements that all carry a type are not classified.
    auto typed = ULayoutGen::CElementBuilder().Catalogue("T", "M", "L", "d").Straight(100).ElementType(7).Build();
    EXPECT_EQ(ULayoutElementClassifier::ClassifyElements({typed.get()}), 0);
    EXPECT_EQ(typed->GetElementType(), 7);
    auto shape = ULayoutGen::CElementBuilder()
                     .Catalogue("S", "M", "", "d")
                     .Line(CPoint(0, 0), CPoint(10, 0))
                     .Colors(CColor::White(), CColor::Gray50())
                     .Build();
    EXPECT_EQ(ULayoutTrackRepairs::RepairTracks({shape.get()}), 0);
    EXPECT_EQ(shape->GetSecondColor(), CColor::Gray50());

    // Tracks without a rail width take the default of the first track's
    // scale: 0.7 for N.
    auto bare =
        ULayoutGen::CElementBuilder().Catalogue("N", "M", "L", "d").ModelScale(12).Straight(100, Rail(0.0)).Build();
    EXPECT_EQ(ULayoutTrackRepairs::RepairTracks({bare.get()}), 1);
    EXPECT_NEAR(bare->GetComponents()[0]->GetRailWidth(), 0.7, 1e-9);
}

namespace {

// Counts the translations asked for.
class CountingLocalization : public LocalizationService {
public:
    std::string GetString(const std::string& key) const override {
        ++lookups;
        return LocalizationService::GetString(key);
    }
    mutable int lookups = 0;
};

}  // namespace

// The classifier names each guessed type in an info line; below that level
// the name is never looked up.
TEST(CurrentLayout, TheClassifierLooksUpTypeNamesOnlyForLinesTheLevelKeeps) {
    RegisterServices();
    auto* counting = new CountingLocalization();  // kept, as at start-up
    CServiceLocator::Instance().RegisterService(counting);
    Owned owned;
    tElements elements;
    for (const char* number : {"S1", "S2"}) {
        owned.push_back(
            ULayoutGen::CElementBuilder().Catalogue(number, "M", "L", "d").Straight(100, Rail(1.0)).Build());
        elements.push_back(owned.back().get());
    }
    CLogger& logger = CLogger::Instance();
    const int level = logger.GetLevel();
    LogWatch watch;
    logger.SetLevel(3);
    EXPECT_EQ(ULayoutElementClassifier::ClassifyElements({elements[0]}), 1);
    EXPECT_EQ(counting->lookups, 0);
    EXPECT_EQ(elements[0]->GetElementType(), 1);
    logger.SetLevel(2);
    EXPECT_EQ(ULayoutElementClassifier::ClassifyElements({elements[1]}), 1);
    EXPECT_EQ(counting->lookups, 1);
    logger.SetLevel(level);
    EXPECT_EQ(watch.Count("Guessed type 1 (Track) for S1"), 0);
    EXPECT_EQ(watch.Count("Guessed type 1 (Track) for S2"), 1);
    CServiceLocator::Instance().RegisterService(new LocalizationService());
}

// Guesses are made in shares side by side; types are taken and lines logged
// in the list's order, an element listed twice once.
TEST(CurrentLayout, TheClassifierTakesGuessesInListOrderAcrossShares) {
    RegisterServices();
    Owned owned;
    tElements elements;
    std::vector<std::string> expected;
    for (int i = 0; i < 5000; ++i) {
        if (i % 7 == 3) {
            elements.push_back(nullptr);
            continue;
        }
        const std::string number = "S" + std::to_string(i);
        ULayoutGen::CElementBuilder builder;
        builder.Catalogue(number, "M", "L", "d").Straight(100, Rail(1.0));
        if (i % 5 == 0) builder.ElementType(7);
        owned.push_back(builder.Build());
        elements.push_back(owned.back().get());
        if (i % 5 != 0) expected.push_back("Guessed type 1 (Track) for " + number);
    }
    // Listed again in the last share: already classified by then.
    elements.push_back(elements[1]);
    testsupport::ScopedLogLevel info(2);
    LogWatch watch;
    EXPECT_EQ(ULayoutElementClassifier::ClassifyElements(elements), static_cast<int>(expected.size()));
    std::vector<std::string> guessed;
    for (const std::string& line : watch.Lines()) {
        const auto at = line.find("Guessed type");
        if (at != std::string::npos) guessed.push_back(line.substr(at));
    }
    EXPECT_EQ(guessed, expected);
    for (std::size_t i = 0; i < owned.size(); ++i) {
        const std::string number = owned[i]->GetProductNumber();
        EXPECT_EQ(owned[i]->GetElementType(), std::stoi(number.substr(1)) % 5 == 0 ? 7 : 1) << number;
    }
}

TEST(CurrentLayout, EmptyLayersAreThoseNoElementOfAnyLayerLiesOn) {
    RegisterServices();
    CLayerManager layers("A");
    CLayer* a = layers.GetCurrentLayer();
    CLayer* b = layers.AddLayer("B", true);
    layers.AddLayer("C", true);
    CLayer* d = layers.AddLayer("D", true);
    d->SetLayerType(CLayer::kBaseboardLayer);
    layers.AddLayer("E", true)->SetLayerType(CLayer::kBaseboardLayer);
    layers.AddLayer("F", true)->SetLayerType(CLayer::kImageLayer);
    // The elements' layers alternate; one lies on a baseboard layer of a
    // document without baseboards.
    Owned owned;
    tElements elements;
    for (CLayer* layer : {a, a, b, a, d, b}) {
        owned.push_back(ULayoutGen::CElementBuilder().Catalogue("G", "M", "L", "d").Straight(100).Build());
        owned.back()->SetLayer(layer);
        elements.push_back(owned.back().get());
    }
    elements.insert(elements.begin() + 2, nullptr);
    EXPECT_EQ(URemoveEmptyLayers::RemoveEmptyLayers(layers, elements, {}, {}), 2);
    std::vector<std::string> names;
    for (const CLayer* layer : layers.GetLayers()) names.push_back(layer->GetName());
    EXPECT_EQ(names, (std::vector<std::string>{"A", "B", "D", "F"}));
}

TEST(CurrentLayout, AReadAskedToStopEndsAtItsNextLookWithNoDocument) {
    RegisterServices();
    ULayoutGen::tLayoutDocument document;
    ULayoutGen::ComposeLargeLayout(document, 40, 3, 13);
    const std::string path = PathFor("stopped.wkst");
    ASSERT_TRUE(ULayoutFileWriter::WriteLayoutFile(std::filesystem::path(path), document.FileContent()));
    int looks = 0;
    ASSERT_TRUE(CCurrentCloudLayout::ReadLayout(path, [&looks] { return ++looks < 0; }).layout);
    ASSERT_GT(looks, 40) << "one look before each record at least";

    // Stopped at any of its looks (records, sections, tidy-up), a read
    // gives up there.
    for (int stopAt = 1; stopAt <= looks; ++stopAt) {
        int seen = 0;
        const LogWatch watch;
        const auto read = CCurrentCloudLayout::ReadLayout(path, [&] { return ++seen >= stopAt; });
        EXPECT_EQ(read.code, kLayoutLoadStopped) << stopAt;
        EXPECT_FALSE(read.layout) << stopAt;
        EXPECT_EQ(seen, stopAt) << "no look after the stop";
        EXPECT_EQ(watch.Count(" stopped"), 1) << stopAt;
    }
    EXPECT_TRUE(CCurrentCloudLayout::GetLoadErrorMessage(kLayoutLoadStopped).empty());

    // The document keeps the elements read before the stop.
    CLayout layout;
    int records = 0;
    EXPECT_EQ(layout.Load(path, [&records] { return ++records > 10; }), kLayoutLoadStopped);
    EXPECT_EQ(layout.GetElements().size(), 10u);
}
