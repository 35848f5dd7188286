// Layers and the layer manager: names, insertion order, removal, the layer
// section read from hand-built bytes for every version gate, the writer's
// bytes and round trips, and damaged or hostile sections.

#include "engine/fileformat/TaggedFile.h"
#include "engine/model/CompositeGeometry.h"
#include "engine/model/Image.h"
#include "engine/model/Layer.h"
#include "engine/model/LayerManager.h"
#include "tests/support/EngineServices.h"
#include "tests/support/LogWatch.h"
#include "tests/support/RecordBytes.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <vector>

// Watches for one pointer to be freed, so a test can tell whether a removed
// layer was deleted. Everything else is freed as usual. New is replaced too,
// so that the pair still matches where a sanitizer keeps its own.
namespace {
std::atomic<const void*> gWatchedPointer{nullptr};
std::atomic<bool> gWatchedPointerFreed{false};
}  // namespace

void* operator new(std::size_t size) {
    if (void* pointer = std::malloc(size == 0 ? 1 : size)) return pointer;
    throw std::bad_alloc();
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size == 0 ? 1 : size); }

namespace {
void release(void* pointer) noexcept {
    if (pointer != nullptr && pointer == gWatchedPointer.load()) gWatchedPointerFreed = true;
    std::free(pointer);
}
}  // namespace

// Both forms free directly: a sized delete forwarding to the unsized one
// looks to the compiler like a mismatched pair once inlined.
void operator delete(void* pointer) noexcept { release(pointer); }

void operator delete(void* pointer, std::size_t) noexcept { release(pointer); }

namespace {

using testsupport::Bool;
using testsupport::Bytes;
using testsupport::Cat;
using testsupport::CountWith;
using testsupport::Int;
using testsupport::KindName;
using testsupport::Real;
using testsupport::Record;
using testsupport::RegisterLocalization;
using testsupport::Stream;
using testsupport::StreamKind;
using testsupport::Text;
using testsupport::Warnings;
using testsupport::Written;

// ------------------------------------------------ building sections by hand

// Name, locked and visible: the records of every version.
Bytes LayerBase(const std::string& name, bool locked, bool visible) {
    return Cat({Record(501, Text(name)), Record(502, Bool(locked)), Record(503, Bool(visible))});
}

// The records of version 8 (type, colour, 509) and 9 (510, 511).
Bytes LayerDetails(std::int32_t type, const Bytes& red, const Bytes& green, const Bytes& blue, const Bytes& alpha,
                   const Bytes& parameter509) {
    return Cat({Record(504, Int(type)), Record(505, red), Record(506, green), Record(507, blue), Record(508, alpha),
                Record(509, parameter509)});
}

Bytes LayerSwitches(bool switch510, bool switch511) {
    return Cat({Record(510, Bool(switch510)), Record(511, Bool(switch511))});
}

// The element count that follows the layers in a layout file.
const Bytes kLayerTrailer = Record(423, Int(7));

// True when the trailer comes after exactly `recordsBefore` records that the
// layer reader left: it took its own records and no more.
bool LayerTrailerFollows(FILE* file, int recordsBefore = 0) {
    CTaggedFile tags(file);
    std::int32_t count = 0;
    return tags.ReadInt(423, count) && count == 7 && tags.GetSkippedCount() == recordsBefore;
}

std::vector<std::string> Names(const CLayerManager& manager) {
    std::vector<std::string> names;
    for (const CLayer* layer : manager.GetLayers()) names.push_back(layer->GetName());
    return names;
}

const std::string kObsoleteText =
    "The object is not recognized by this version of Quenlor.\r\rPlease check the Quenlor Website for a newer "
    "version.";

}  // namespace

// ------------------------------------------------ layers in memory

TEST(Layers, NewLayerHasTheDefaultsAndAFieldSizedName) {
    const CLayer layer("Bahnhof");
    EXPECT_EQ(layer.GetName(), "Bahnhof");
    EXPECT_FALSE(layer.IsLocked());
    EXPECT_TRUE(layer.IsVisible());
    EXPECT_EQ(layer.GetLayerType(), 1);
    EXPECT_EQ(layer.GetParameter509(), 0.0);
    EXPECT_FALSE(layer.GetSwitch510());
    EXPECT_FALSE(layer.GetSwitch511());
    EXPECT_EQ(layer.GetColor().mRed, 1.0);
    EXPECT_EQ(layer.GetColor().mGreen, 1.0);
    EXPECT_EQ(layer.GetColor().mBlue, 1.0);
    EXPECT_EQ(layer.GetColor().mAlpha, 1.0);

    const std::string seventy(70, 'x');
    EXPECT_EQ(CLayer(seventy).GetName(), std::string(63, 'x'));
    EXPECT_EQ(CLayer(std::string("Ober\0flur", 9)).GetName(), "Ober");
    CLayer renamed("a");
    renamed.SetName(seventy);
    EXPECT_EQ(renamed.GetName().size(), 63u);
}

TEST(Layers, ConstructionMakesOneCurrentLayer) {
    CLayerManager manager("Layer 1");
    ASSERT_EQ(manager.GetLayers().size(), 1u);
    EXPECT_EQ(manager.GetCurrentLayer(), manager.GetLayers()[0]);
    EXPECT_EQ(manager.GetCurrentLayer()->GetName(), "Layer 1");
    EXPECT_EQ(manager.GetNextLayerNumber(), 2);
}

TEST(Layers, AddedNamesAreMadeUniqueWithinTheField) {
    CLayerManager manager("Gleise");
    EXPECT_EQ(manager.AddLayer("Gleise", true)->GetName(), "Gleise*");
    EXPECT_EQ(manager.AddLayer("Gleise", true)->GetName(), "Gleise**");
    EXPECT_EQ(manager.MakeUniqueLayerName("Gleise"), "Gleise***");
    EXPECT_EQ(manager.MakeUniqueLayerName("gleise"), "gleise");
    EXPECT_EQ(manager.AddLayer(std::string(70, 'L').c_str(), true)->GetName(), std::string(63, 'L'));

    // A second name of 63 or more bytes must not be cut back onto the first.
    const std::string expectedSecond = std::string(62, 'L') + "*";
    EXPECT_EQ(manager.AddLayer(std::string(70, 'L').c_str(), true)->GetName(), expectedSecond);
    EXPECT_EQ(manager.AddLayer(std::string(63, 'L').c_str(), true)->GetName(), std::string(61, 'L') + "**");

    EXPECT_EQ(manager.AddLayer(nullptr, true)->GetName(), "");
    EXPECT_EQ(manager.GetLayers().size(), 7u);
    EXPECT_EQ(manager.GetNextLayerNumber(), 8);
}

TEST(Layers, InsertedLayersGoBeforeACurrentTrackLayerElseFirst) {
    CLayerManager manager("A");
    CLayer* b = manager.AddLayer("B", false);  // current A is a track layer
    EXPECT_EQ(Names(manager), (std::vector<std::string>{"B", "A"}));
    EXPECT_EQ(manager.GetCurrentLayer(), b);

    CLayer* c = manager.AddLayer("C", true);
    EXPECT_EQ(Names(manager), (std::vector<std::string>{"B", "A", "C"}));
    EXPECT_EQ(manager.GetCurrentLayer(), c);

    manager.AddLayer("D", false);  // before C
    EXPECT_EQ(Names(manager), (std::vector<std::string>{"B", "A", "D", "C"}));

    CLayer* image = manager.AddLayer("Plan", true);
    image->SetLayerType(CLayer::kImageLayer);
    manager.AddLayer("E", false);  // the current layer is an image layer
    EXPECT_EQ(Names(manager), (std::vector<std::string>{"E", "B", "A", "D", "C", "Plan"}));
    EXPECT_EQ(manager.GetCurrentLayer()->GetName(), "E");
    EXPECT_EQ(manager.GetNextLayerNumber(), 7);
}

TEST(Layers, RemovingMovesTheCurrentLayerAndDeletesTheRemovedOne) {
    {
        // The current layer is first: the next one becomes current.
        CLayerManager manager("A");
        CLayer* b = manager.AddLayer("B", false);
        ASSERT_EQ(manager.GetLayerIndex(b), 0);
        gWatchedPointerFreed = false;
        gWatchedPointer = b;
        EXPECT_TRUE(manager.RemoveLayer(b));
        gWatchedPointer = nullptr;
        EXPECT_TRUE(gWatchedPointerFreed) << "the removed layer was not deleted";
        EXPECT_EQ(Names(manager), (std::vector<std::string>{"A"}));
        EXPECT_EQ(manager.GetCurrentLayer()->GetName(), "A");
    }
    {
        // The current layer is third: the second becomes current.
        CLayerManager manager("X");
        manager.AddLayer("Y", true);
        CLayer* z = manager.AddLayer("Z", true);
        manager.AddLayer("W", true);
        ASSERT_EQ(manager.GetCurrentLayer()->GetName(), "W");
        EXPECT_TRUE(manager.RemoveLayer(z));  // not current: the current layer stays
        EXPECT_EQ(manager.GetCurrentLayer()->GetName(), "W");
        EXPECT_TRUE(manager.RemoveLayer(manager.GetCurrentLayer()));
        EXPECT_EQ(Names(manager), (std::vector<std::string>{"X", "Y"}));
        EXPECT_EQ(manager.GetCurrentLayer()->GetName(), "Y");
    }
}

TEST(Layers, GuardsRefuseTheLastLayerAndStrangers) {
    CLayerManager manager("Only");
    CLayer* only = manager.GetCurrentLayer();
    EXPECT_FALSE(manager.RemoveLayer(only));
    EXPECT_EQ(CountWith(Warnings(), "Cannot delete last layer."), 1);
    ASSERT_EQ(manager.GetLayers().size(), 1u);
    EXPECT_EQ(manager.GetLayers()[0]->GetName(), "Only");

    manager.AddLayer("Second", true);
    CLayer stranger("Stranger");
    EXPECT_FALSE(manager.RemoveLayer(&stranger));
    EXPECT_EQ(CountWith(Warnings(), "Cannot remove layer from layer list (not found)."), 1);
    EXPECT_EQ(manager.GetLayers().size(), 2u);

    EXPECT_EQ(manager.GetLayerIndex(only), 0);
    EXPECT_EQ(manager.GetLayerIndex(&stranger), -1);
    EXPECT_EQ(CountWith(Warnings(), "Cannot get index of layer in layer list (not found)."), 1);
}

TEST(Layers, LookupsByNameTypeAndState) {
    CLayerManager manager("Gleise");
    CLayer* boards = manager.AddLayer("Platten", true);
    boards->SetLayerType(CLayer::kBaseboardLayer);
    CLayer* plan = manager.AddLayer("Plan", true);
    plan->SetLayerType(CLayer::kImageLayer);
    CLayer* second = manager.AddLayer("Plan2", true);
    second->SetLayerType(CLayer::kImageLayer);

    EXPECT_EQ(manager.FindLayerByName("Plan"), plan);
    EXPECT_EQ(manager.FindLayerByName("plan"), nullptr);
    EXPECT_EQ(manager.FindLayerByName("Pla"), nullptr);
    EXPECT_EQ(CLayerManager::FindLayerByName(manager.GetLayers(), "Platten"), boards);

    EXPECT_EQ(ULayers::FindFirstLayerOfType(manager.GetLayers(), CLayer::kImageLayer), plan);
    EXPECT_EQ(ULayers::FindFirstLayerOfType(manager.GetLayers(), CLayer::kBaseboardLayer), boards);
    EXPECT_EQ(ULayers::FindFirstLayerOfType(manager.GetLayers(), 9), nullptr);

    manager.GetLayers()[0]->SetLocked(true);
    boards->SetVisible(false);
    EXPECT_EQ(manager.GetFirstEditableLayer(), plan);
    plan->SetLocked(true);
    second->SetLocked(true);
    EXPECT_EQ(manager.GetFirstEditableLayer(), nullptr);

    ULayers::UnlockAllLayers(manager.GetLayers());
    for (const CLayer* layer : manager.GetLayers()) EXPECT_FALSE(layer->IsLocked()) << layer->GetName();
    EXPECT_FALSE(boards->IsVisible());
    EXPECT_EQ(manager.GetFirstEditableLayer(), manager.GetLayers()[0]);
}

TEST(Layers, ALayerIsEmptyOnlyWhenNothingLiesOnIt) {
    CLayerManager manager("Gleise");
    CLayer* tracks = manager.GetCurrentLayer();
    CLayer* boards = manager.AddLayer("Platten", true);
    boards->SetLayerType(CLayer::kBaseboardLayer);
    CLayer* plan = manager.AddLayer("Plan", true);
    plan->SetLayerType(CLayer::kImageLayer);
    CLayer* spare = manager.AddLayer("Reserve", true);
    // A track layer that carries only an image (a file may put one there).
    CLayer* mixed = manager.AddLayer("Gemischt", true);

    CCompositeGeometry element;
    element.SetLayer(tracks);
    const tElements elements{&element};
    CImageElement onPlan(nullptr, 0);
    onPlan.SetLayer(plan);
    CImageElement onMixed(nullptr, 0);
    onMixed.SetLayer(mixed);
    const tImages images{&onPlan, &onMixed};
    std::vector<const CLayer*> inUse = UImageElements::GetLayersInUse(images);
    inUse.push_back(boards);  // a baseboard lies there

    EXPECT_FALSE(manager.IsLayerEmpty(tracks, elements, inUse));
    EXPECT_FALSE(manager.IsLayerEmpty(boards, elements, inUse));
    EXPECT_FALSE(manager.IsLayerEmpty(plan, elements, inUse));
    EXPECT_FALSE(manager.IsLayerEmpty(mixed, elements, inUse));
    EXPECT_TRUE(manager.IsLayerEmpty(spare, elements, inUse));
    EXPECT_TRUE(manager.IsLayerEmpty(tracks, {}, {}));

    CLayer stranger("Fremd");
    EXPECT_FALSE(manager.IsLayerEmpty(&stranger, {}, {}));
    EXPECT_FALSE(manager.IsLayerEmpty(nullptr, {}, {}));
}

// ------------------------------------------------ reading the layer section

TEST(Layers, SectionIsReadByVersion) {
    const Bytes section = Cat({
        Record(500, Int(3)),
        LayerBase("Rails", true, true),
        LayerDetails(2, Real(0, 5000000), Real(0, 2500000), Real(0, 0), Real(1, 0), Real(2, 5000000)),
        LayerSwitches(true, true),
        LayerBase("Photo", false, false),
        LayerDetails(3, Real(0, 0), Real(0, 0), Real(1, 0), Real(0, 5000000), Real(-1, -5000000)),
        LayerSwitches(false, true),
        LayerBase("Track", false, true),
        LayerDetails(1, Real(0, 0), Real(0, 0), Real(0, 0), Real(1, 0), Real(0, 0)),
        LayerSwitches(true, false),
        kLayerTrailer,
    });

    struct Expected {
        std::int32_t type;
        double red, green, blue, alpha, parameter509;
        bool switch510, switch511;
    };
    const Expected defaults{1, 1, 1, 1, 1, 0, false, false};
    struct Case {
        int version;
        Expected rails, photo, track;
    };
    const Case cases[] = {
        {4, defaults, defaults, defaults},
        {7, defaults, defaults, defaults},
        {8,
         {2, 0.5, 0.25, 0, 1, 2.5, false, false},
         {3, 0, 0, 1, 0.5, -1.5, false, false},
         {1, 0, 0, 0, 1, 0, false, false}},
        {9,
         {2, 0.5, 0.25, 0, 1, 2.5, true, true},
         {3, 0, 0, 1, 0.5, -1.5, false, true},
         {1, 0, 0, 0, 1, 0, true, false}},
        {13,
         {2, 0.5, 0.25, 0, 1, 2.5, true, true},
         {3, 0, 0, 1, 0.5, -1.5, false, true},
         {1, 0, 0, 0, 1, 0, true, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("version " + std::to_string(c.version));
        for (StreamKind kind : {StreamKind::MemoryBuffer, StreamKind::DiskFile}) {
            Stream stream(section, kind);
            CLayerManager manager("Old");
            std::string error;
            ASSERT_TRUE(manager.Load(stream.handle, c.version, error));
            EXPECT_EQ(error, "");
            ASSERT_EQ(Names(manager), (std::vector<std::string>{"Rails", "Photo", "Track"}));
            const CLayer* layers[] = {manager.GetLayers()[0], manager.GetLayers()[1], manager.GetLayers()[2]};
            const Expected* expected[] = {&c.rails, &c.photo, &c.track};
            for (int i = 0; i < 3; ++i) {
                SCOPED_TRACE(layers[i]->GetName());
                EXPECT_EQ(layers[i]->GetLayerType(), expected[i]->type);
                EXPECT_DOUBLE_EQ(layers[i]->GetColor().mRed, expected[i]->red);
                EXPECT_DOUBLE_EQ(layers[i]->GetColor().mGreen, expected[i]->green);
                EXPECT_DOUBLE_EQ(layers[i]->GetColor().mBlue, expected[i]->blue);
                EXPECT_DOUBLE_EQ(layers[i]->GetColor().mAlpha, expected[i]->alpha);
                EXPECT_DOUBLE_EQ(layers[i]->GetParameter509(), expected[i]->parameter509);
                EXPECT_EQ(layers[i]->GetSwitch510(), expected[i]->switch510);
                EXPECT_EQ(layers[i]->GetSwitch511(), expected[i]->switch511);
            }
            EXPECT_TRUE(layers[0]->IsLocked());
            EXPECT_FALSE(layers[1]->IsVisible());
            // Rails is locked and Photo hidden: Track is the first editable.
            EXPECT_EQ(manager.GetCurrentLayer(), layers[2]);
            EXPECT_EQ(manager.GetNextLayerNumber(), 4);
            // The last layer's records of newer versions stay unread.
            const int unread = c.version < 8 ? 8 : c.version < 9 ? 2 : 0;
            EXPECT_TRUE(LayerTrailerFollows(stream.handle, unread));
        }
    }
}

TEST(Layers, VersionsBeforeFourHaveNoLayerSection) {
    Stream stream(Cat({Record(500, Int(1)), LayerBase("New", false, true), kLayerTrailer}));
    CLayerManager manager("Kept");
    std::string error;
    EXPECT_FALSE(manager.Load(stream.handle, 3, error));
    EXPECT_EQ(error, kObsoleteText);
    EXPECT_EQ(Names(manager), (std::vector<std::string>{"Kept"}));
    CTaggedFile tags(stream.handle);
    std::int32_t count = 0;
    EXPECT_TRUE(tags.ReadInt(500, count)) << "nothing of the stream may be read";
}

TEST(Layers, WithoutAnEditableLayerTheFirstIsCurrent) {
    const Bytes details = LayerDetails(1, Real(0, 0), Real(0, 0), Real(0, 0), Real(1, 0), Real(0, 0));
    Stream stream(Cat({Record(500, Int(3)), LayerBase("L1", true, true), details, LayerBase("L2", false, false),
                       details, LayerBase("L3", true, false), details}));
    CLayerManager manager("Old");
    std::string error;
    ASSERT_TRUE(manager.Load(stream.handle, 8, error));
    ASSERT_EQ(manager.GetLayers().size(), 3u);
    EXPECT_EQ(manager.GetCurrentLayer(), manager.GetLayers()[0]);
}

TEST(Layers, NamesFromTheFileAreCutAndMadeUnique) {
    const std::string seventy(70, 'n');
    Stream stream(Cat({Record(500, Int(3)), LayerBase("Gleise", false, true), LayerBase("Gleise", false, true),
                       LayerBase(seventy, false, true), kLayerTrailer}));
    CLayerManager manager("Old");
    std::string error;
    ASSERT_TRUE(manager.Load(stream.handle, 4, error));
    EXPECT_EQ(Names(manager), (std::vector<std::string>{"Gleise", "Gleise*", std::string(63, 'n')}));
    EXPECT_EQ(manager.GetCurrentLayer()->GetName(), "Gleise");
    EXPECT_TRUE(LayerTrailerFollows(stream.handle));
}

TEST(Layers, ASectionWithoutLayersLeavesOneNewLayer) {
    RegisterLocalization("en");
    struct Case {
        const char* name;
        Bytes section;
        bool trailerFollows;
        bool whole;
    };
    const Case cases[] = {
        {"count 0", Cat({Record(500, Int(0)), kLayerTrailer}), true, true},
        {"negative count", Cat({Record(500, Int(-5)), LayerBase("Never", false, true), kLayerTrailer}), false, true},
        {"no count record", Cat({kLayerTrailer}), false, true},
        // Announced layers the file cannot hold are damage, not a shorter list.
        {"count without a layer record", Cat({Record(500, Int(2)), kLayerTrailer}), true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Stream stream(c.section);
        CLayerManager manager("Old");
        std::string error;
        EXPECT_EQ(manager.Load(stream.handle, 9, error), c.whole);
        EXPECT_EQ(error.empty(), c.whole) << error;
        EXPECT_EQ(Names(manager), (std::vector<std::string>{"Layer 1"}));
        ASSERT_NE(manager.GetCurrentLayer(), nullptr);
        EXPECT_EQ(manager.GetCurrentLayer(), manager.GetLayers()[0]);
        EXPECT_EQ(manager.GetCurrentLayer()->GetLayerType(), CLayer::kTrackLayer);
        if (c.trailerFollows) {
            EXPECT_TRUE(LayerTrailerFollows(stream.handle));
        }
    }
}

TEST(Layers, HostileCountsAreBoundedByTheBytesLeft) {
    for (StreamKind kind : {StreamKind::MemoryBuffer, StreamKind::DiskFile}) {
        SCOPED_TRACE(KindName(kind));
        Stream stream(
            Cat({Record(500, Int(0x7FFFFFFF)), LayerBase("A", false, true), LayerBase("B", true, true), kLayerTrailer}),
            kind);
        CLayerManager manager("Old");
        std::string error;
        // The count is damage: the section fails, with the layers it holds.
        EXPECT_FALSE(manager.Load(stream.handle, 4, error));
        EXPECT_EQ(error, "The layer count exceeds what the file can hold");
        EXPECT_EQ(Names(manager), (std::vector<std::string>{"A", "B"}));
        // Two layer records and the trailer leave no room for a third layer:
        // the trailer stays for the next reader.
        EXPECT_TRUE(LayerTrailerFollows(stream.handle));
        EXPECT_GE(CountWith(Warnings(), "Layer section announces 2147483647 layers"), 1);
    }
}

TEST(Layers, ReadingStopsAtTheFirstDamagedRecord) {
    // A's locked flag is a record without data; B would follow.
    const Bytes emptyLocked = {0x01, 0xF6, 0x00, 0x00};
    Stream stream(Cat({Record(500, Int(2)), Record(501, Text("A")), emptyLocked, Record(503, Bool(false)),
                       LayerBase("B", false, true), LayerBase("C", false, true)}));
    CLayerManager manager("Old");
    std::string error;
    EXPECT_FALSE(manager.Load(stream.handle, 4, error));
    EXPECT_EQ(error, "Layer 1 cannot be read (ZeroLength)");
    ASSERT_EQ(Names(manager), (std::vector<std::string>{"A"}));
    EXPECT_FALSE(manager.GetLayers()[0]->IsLocked());
    EXPECT_TRUE(manager.GetLayers()[0]->IsVisible());
    EXPECT_EQ(CountWith(Warnings(), "Layer section ends in layer 1 of 2"), 1);
}

// ------------------------------------------------ writing the layer section

TEST(Layers, WriterProducesTheSectionBytes) {
    CLayerManager manager("A");
    bool ok = false;
    const Bytes v4 = Written([&](FILE* f) { return manager.Save(f, 4); }, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(v4, (Bytes{0x01, 0xF4, 0x00, 0x04, 0x00, 0x00, 0x00, 0x01,  // 500: 1
                         0x01, 0xF5, 0x00, 0x02, 'A',  0x00,              // 501: "A"
                         0x01, 0xF6, 0x00, 0x01, 0x00,                    // 502: unlocked
                         0x01, 0xF7, 0x00, 0x01, 0x01}));                 // 503: visible

    CLayer* layer = manager.GetCurrentLayer();
    layer->SetLayerType(CLayer::kImageLayer);
    layer->SetColor(CColor(0.5, 0.25, 0.0, 1.0));
    layer->SetParameter509(-1.5);
    layer->SetSwitch511(true);
    const Bytes v9 = Written([&](FILE* f) { return manager.Save(f, 9); });
    const Bytes expected =
        Cat({Record(500, Int(1)), LayerBase("A", false, true),
             LayerDetails(3, Real(0, 5000000), Real(0, 2500000), Real(0, 0), Real(1, 0), Real(-1, -5000000)),
             LayerSwitches(false, true)});
    EXPECT_EQ(v9, expected);

    const Bytes v3 = Written([&](FILE* f) { return manager.Save(f, 3); }, &ok);
    EXPECT_FALSE(ok);
    EXPECT_TRUE(v3.empty());
}

TEST(Layers, SavedSectionsReadBackByVersion) {
    CLayerManager source("Gleise");
    CLayer* tracks = source.GetCurrentLayer();
    tracks->SetLocked(true);
    tracks->SetColor(CColor(0.1, 0.2, 0.3, 0.4));
    CLayer* plan = source.AddLayer("Plan", true);
    plan->SetLayerType(CLayer::kImageLayer);
    plan->SetVisible(false);
    plan->SetParameter509(12.75);
    plan->SetSwitch510(true);
    CLayer* boards = source.AddLayer(std::string(63, 'b').c_str(), true);
    boards->SetLayerType(CLayer::kBaseboardLayer);
    boards->SetSwitch511(true);

    for (int version : {4, 7, 8, 9, 13}) {
        SCOPED_TRACE("version " + std::to_string(version));
        const Bytes bytes = Written([&](FILE* f) { return source.Save(f, version); });
        Stream stream(Cat({bytes, kLayerTrailer}));
        CLayerManager copy("Old");
        std::string error;
        ASSERT_TRUE(copy.Load(stream.handle, version, error));
        ASSERT_EQ(Names(copy), (std::vector<std::string>{"Gleise", "Plan", std::string(63, 'b')}));
        EXPECT_TRUE(LayerTrailerFollows(stream.handle));
        for (std::size_t i = 0; i < 3; ++i) {
            const CLayer* from = source.GetLayers()[i];
            const CLayer* to = copy.GetLayers()[i];
            SCOPED_TRACE(from->GetName());
            EXPECT_EQ(to->IsLocked(), from->IsLocked());
            EXPECT_EQ(to->IsVisible(), from->IsVisible());
            const bool details = version >= 8;
            const bool switches = version >= 9;
            EXPECT_EQ(to->GetLayerType(), details ? from->GetLayerType() : 1);
            EXPECT_EQ(to->GetColor(), details ? from->GetColor() : CColor());
            EXPECT_NEAR(to->GetColor().mAlpha, details ? from->GetColor().mAlpha : 1.0, 1e-7);
            EXPECT_DOUBLE_EQ(to->GetParameter509(), details ? from->GetParameter509() : 0.0);
            EXPECT_EQ(to->GetSwitch510(), switches && from->GetSwitch510());
            EXPECT_EQ(to->GetSwitch511(), switches && from->GetSwitch511());
        }
        // Gleise is locked and Plan hidden.
        EXPECT_EQ(copy.GetCurrentLayer()->GetName(), std::string(63, 'b'));
    }
}
