// Layout bounds: the box of a list of elements, the content box of a layout
// in both modes and how long it is kept, the padded content rectangle (an
// empty layout included), moving a layout to its padding, and the centre of
// an element.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/drawing/TransientEdits.h"
#include "engine/model/Baseboard.h"
#include "engine/model/BorderSegment.h"
#include "engine/geometry/BoundsAccumulator.h"
#include "engine/model/CompositeGeometry.h"
#include "engine/model/ContentChanges.h"
#include "engine/model/CurveBIG.h"
#include "engine/model/ElementComponents.h"
#include "engine/model/ElementQueries.h"
#include "engine/model/Image.h"
#include "engine/model/Layer.h"
#include "engine/model/LayerManager.h"
#include "engine/model/Layout.h"
#include "engine/model/PolyBIG.h"
#include "engine/model/LayoutBounds.h"
#include "tests/support/LogWatch.h"
#include "tools/layoutgen/LayoutGen.h"

namespace {

using testsupport::LogWatch;

void ExpectRect(const tDoubleRect& r, double minX, double minY, double maxX, double maxY, const std::string& what) {
    EXPECT_NEAR(r.minX, minX, 1e-9) << what;
    EXPECT_NEAR(r.minY, minY, 1e-9) << what;
    EXPECT_NEAR(r.maxX, maxX, 1e-9) << what;
    EXPECT_NEAR(r.maxY, maxY, 1e-9) << what;
}

// An element of one rectangle polygon from (0, 0) to (w, h) with line width
// 0, so that its box is the rectangle itself.
std::unique_ptr<CCompositeGeometry> Box(const std::string& name, double x, double y, double w, double h) {
    auto element = ULayoutGen::CElementBuilder()
                       .Catalogue(name, "M", "", "d")
                       .Poly({CPoint(0, 0), CPoint(w, 0), CPoint(w, h), CPoint(0, h)}, kPolyKindRectangle, 0)
                       .Build();
    element->SetPosition(CPoint(x, y, 0));
    return element;
}

CImageElement* NewImage(double x, double y, double w, double h, CLayer* layer) {
    const std::uint8_t data[2] = {1, 2};
    auto* image = new CImageElement(data, 2);
    image->SetPosition(CPoint(x, y, 0));
    image->SetWidth(w);
    image->SetHeight(h);
    image->SetLayer(layer);
    return image;
}

CBaseboardElement* NewBoard(double x0, double y0, double x1, double y1, CLayer* layer) {
    auto* board = new CBaseboardElement();
    board->SetLayer(layer);
    board->SetBorderPoint("a", CPoint(x0, y0));
    board->SetBorderPoint("b", CPoint(x1, y1));
    board->AddBorderSegment(new CStraightBorderSegment("a", "b"));
    return board;
}

}  // namespace

TEST(LayoutBounds, ElementBoxesAreShiftedByTheirPositionAndDamagedPositionsCountAsZero) {
    EXPECT_EQ(UElementVectorOperations::GetBoundingBox({}), (tDoubleRect{0, 0, 0, 0}));

    auto a = Box("A", 10, 5, 30, 20);
    auto b = Box("B", -40, 100, 10, 10);
    ExpectRect(UElementVectorOperations::GetBoundingBox({a.get(), nullptr, b.get()}), -40, 5, 40, 110, "union");
    ExpectRect(UElementVectorOperations::GetBoundingBox({a.get()}), 10, 5, 40, 25, "one");

    auto far = Box("FAR", 2e7, 5, 30, 20);
    auto farY = Box("FARY", 10, -3e7, 30, 20);
    LogWatch watch;
    ExpectRect(UElementVectorOperations::GetBoundingBox({far.get()}), 0, 5, 30, 25, "x beyond 1e7");
    EXPECT_EQ(watch.Count("Auto-fixing illegal x coordinate for element 'FAR': 20000000.00"), 1);
    ExpectRect(UElementVectorOperations::GetBoundingBox({farY.get()}), 10, 0, 40, 20, "y beyond 1e7");
    EXPECT_EQ(watch.Count("Auto-fixing illegal y coordinate for element 'FARY': -30000000.00"), 1);
    // The element keeps its position.
    EXPECT_EQ(far->GetPosition().x, 2e7);
    UElementVectorOperations::GetBoundingBox({far.get()});
    EXPECT_EQ(watch.Count("Auto-fixing illegal x coordinate"), 2);

    // An element without components adds nothing.
    auto empty = ULayoutGen::CElementBuilder().Catalogue("E", "M", "", "d").Build();
    EXPECT_EQ(UElementVectorOperations::GetBoundingBox({empty.get()}), EmptyRect());
    ExpectRect(UElementVectorOperations::GetBoundingBox({empty.get(), a.get()}), 10, 5, 40, 25, "with empty");
}

TEST(LayoutBounds, ContentBoxesOfBothModes) {
    CLayout layout;
    CLayerManager& layers = layout.GetLayerManager();
    CLayer* tracks = layers.GetCurrentLayer();
    CLayer* hiddenTracks = layers.AddLayer("Versteckt", true);
    hiddenTracks->SetVisible(false);
    CLayer* pictures = layers.AddLayer("Bilder", true);
    pictures->SetLayerType(CLayer::kImageLayer);
    CLayer* hiddenPictures = layers.AddLayer("Alte Bilder", true);
    hiddenPictures->SetLayerType(CLayer::kImageLayer);
    hiddenPictures->SetVisible(false);

    auto shown = Box("S", 0, 0, 100, 50);
    auto hidden = Box("H", 500, 0, 10, 10);
    layout.AddElement(shown.release(), tracks);
    layout.AddElement(hidden.release(), hiddenTracks);
    layout.GetImages().push_back(NewImage(-50, -20, 10, 10, pictures));
    layout.GetImages().push_back(NewImage(0, 900, 10, 10, hiddenPictures));
    layout.GetBaseboards().push_back(NewBoard(-300, 0, 0, 60, nullptr));

    ExpectRect(ULayoutBounds::GetContentBoundingBox(layout, ULayoutBounds::kBoundsModeAll), -300, -20, 510, 910,
               "everything");
    // Without a baseboard layer the baseboards do not count as visible.
    ExpectRect(ULayoutBounds::GetContentBoundingBox(layout, ULayoutBounds::kBoundsModeVisible), -50, -20, 100, 50,
               "visible, no baseboard layer");
    CLayer* boards = layers.AddLayer("Bretter", true);
    boards->SetLayerType(CLayer::kBaseboardLayer);
    ExpectRect(ULayoutBounds::GetContentBoundingBox(layout, ULayoutBounds::kBoundsModeVisible), -300, -20, 100, 60,
               "visible with baseboards");
    boards->SetVisible(false);
    ExpectRect(ULayoutBounds::GetContentBoundingBox(layout, ULayoutBounds::kBoundsModeVisible), -50, -20, 100, 50,
               "baseboard layer hidden");
}

TEST(LayoutBounds, PaddedContentAndMovingTheLayoutToIt) {
    CLayout layout;
    CLayer* pictures = layout.GetLayerManager().AddLayer("Bilder", true);
    pictures->SetLayerType(CLayer::kImageLayer);
    // Content from (10, 5) to (110.2, 55).
    layout.GetImages().push_back(NewImage(10, 5, 100.2, 50, pictures));
    const tPaddedContent padded = ULayoutBounds::GetContentRectWithPadding(layout, 0, 20);
    EXPECT_DOUBLE_EQ(padded.dx, 10);
    EXPECT_DOUBLE_EQ(padded.dy, 15);
    EXPECT_DOUBLE_EQ(padded.width, 141);
    EXPECT_DOUBLE_EQ(padded.height, 90);

    auto element = Box("E", 30, 10, 20, 20);
    layout.AddElement(element.release(), layout.GetLayerManager().GetLayers()[0]);
    layout.GetBaseboards().push_back(NewBoard(12, 6, 40, 30, nullptr));
    ULayoutBounds::TranslateLayout(layout, padded);
    EXPECT_DOUBLE_EQ(layout.GetImages()[0]->GetPosition().x, 20);
    EXPECT_DOUBLE_EQ(layout.GetImages()[0]->GetPosition().y, 20);
    EXPECT_DOUBLE_EQ(layout.GetElements()[0]->GetPosition().x, 40);
    EXPECT_DOUBLE_EQ(layout.GetElements()[0]->GetPosition().y, 25);
    ExpectRect(UBaseboardElements::GetBoundingBox(layout.GetBaseboards()), 22, 21, 50, 45, "baseboard moved");
    EXPECT_EQ(layout.GetParameters().mWorkspaceWidth, 141);
    EXPECT_EQ(layout.GetParameters().mWorkspaceHeight, 90);
    // Moved content starts at the padding.
    ExpectRect(ULayoutBounds::GetContentBoundingBox(layout, 0), 20, 20, 120.2, 70, "after the move");

    // Sizes with fractions are cut to whole numbers.
    ULayoutBounds::TranslateLayout(layout, tPaddedContent{0, 0, 99.9, 10.5});
    EXPECT_EQ(layout.GetParameters().mWorkspaceWidth, 99);
    EXPECT_EQ(layout.GetParameters().mWorkspaceHeight, 10);
}

TEST(LayoutBounds, ContentBoxesAreKeptUntilTheDocumentChanges) {
    CLayout layout;
    CLayerManager& layers = layout.GetLayerManager();
    CLayer* tracks = layers.GetCurrentLayer();
    CLayer* pictures = layers.AddLayer("Bilder", true);
    pictures->SetLayerType(CLayer::kImageLayer);
    CLayer* boards = layers.AddLayer("Bretter", true);
    boards->SetLayerType(CLayer::kBaseboardLayer);

    CCompositeGeometry* shape = Box("S", 0, 0, 100, 50).release();
    layout.AddElement(shape, tracks);
    // Counted at x = 0, inside the shape's box, with a warning each time
    // the content box is worked out: what tells a kept box from a new one.
    layout.AddElement(Box("FAR", 2e7, 5, 30, 20).release(), tracks);
    auto straight = ULayoutGen::CElementBuilder().Catalogue("T", "M", "L", "d").Straight(100).Build();
    straight->SetPosition(CPoint(150, 100, 0));
    tDoubleRect track;
    straight->CalcBoundingBox(track);
    track = tDoubleRect{track.minY + 100, track.minX + 150, track.maxY + 100, track.maxX + 150};
    layout.AddElement(straight.release(), tracks);
    CImageElement* image = NewImage(-50, -20, 10, 10, pictures);
    layout.GetImages().push_back(image);
    CBaseboardElement* board = NewBoard(-300, 0, 0, 60, boards);
    layout.GetBaseboards().push_back(board);

    LogWatch watch;
    const auto workedOut = [&watch] { return watch.Count("Auto-fixing illegal x coordinate for element 'FAR'"); };
    const auto expectAll = [&layout](double minX, double minY, double maxX, double maxY, const std::string& what) {
        ExpectRect(ULayoutBounds::GetContentBoundingBox(layout, ULayoutBounds::kBoundsModeAll), minX, minY, maxX, maxY,
                   what);
    };

    // Worked out once per mode, then kept: the padded rectangle uses the
    // kept box too.
    expectAll(-300, -20, track.maxX, track.maxY, "first");
    expectAll(-300, -20, track.maxX, track.maxY, "again");
    EXPECT_DOUBLE_EQ(ULayoutBounds::GetContentRectWithPadding(layout, ULayoutBounds::kBoundsModeAll, 10).dx, 310);
    EXPECT_EQ(workedOut(), 1);
    ULayoutBounds::GetContentBoundingBox(layout, ULayoutBounds::kBoundsModeVisible);
    ULayoutBounds::GetContentBoundingBox(layout, ULayoutBounds::kBoundsModeVisible);
    EXPECT_EQ(workedOut(), 2);

    // Every kind of change is seen at the next call.
    shape->SetPosition(CPoint(0, -100, 0));
    expectAll(-300, -100, track.maxX, track.maxY, "element moved");
    EXPECT_EQ(workedOut(), 3);
    shape->SetAngle(90);  // about the centre of its box, (50, -75)
    expectAll(-300, -125, track.maxX, track.maxY, "element turned");
    CBasicGeometry* part = shape->GetComponents().front();
    expectAll(-300, -125, track.maxX, track.maxY, "component handed out");
    part->MoveBy(0, 1000);
    expectAll(-300, -20, track.maxX, 975, "component moved");
    CCompositeGeometry* added = Box("N", 1000, 0, 10, 10).release();
    layout.AddElement(added, tracks);
    expectAll(-300, -20, 1010, 975, "element added");
    auto donor = Box("D", 0, 0, 10, 10);
    CBasicGeometry* extra = donor->GetComponents().front();
    donor->GetComponents().clear();
    extra->MoveBy(50, 0);
    expectAll(-300, -20, 1010, 975, "component not yet added");
    ASSERT_TRUE(UElementComponents::AppendComponent(added, extra));
    expectAll(-300, -20, 1060, 975, "component added");
    layout.RemoveElements({added});
    std::unique_ptr<CCompositeGeometry> removed(added);
    expectAll(-300, -20, track.maxX, 975, "element removed");
    image->SetPosition(CPoint(-500, -20, 0));
    expectAll(-500, -20, track.maxX, 975, "image moved");
    image->SetHeight(2000);
    expectAll(-500, -20, track.maxX, 1980, "image taller");
    board->MoveBy(0, -1000);
    expectAll(-500, -1000, track.maxX, 1980, "baseboard moved");
    board->SetBorderPoint("a", CPoint(-900, -1000));
    expectAll(-900, -1000, track.maxX, 1980, "baseboard point moved");
    ULayoutBounds::TranslateLayout(layout, tPaddedContent{10, 20, 0, 0});
    expectAll(-890, -980, track.maxX + 10, 2000, "layout translated");

    // What the visible mode counts: layers shown and hidden.
    tracks->SetVisible(false);
    ExpectRect(ULayoutBounds::GetContentBoundingBox(layout, ULayoutBounds::kBoundsModeVisible), -890, -980, 10, 2000,
               "tracks hidden");
    boards->SetVisible(false);
    ExpectRect(ULayoutBounds::GetContentBoundingBox(layout, ULayoutBounds::kBoundsModeVisible), -490, 0, -480, 2000,
               "baseboards hidden too");
    tracks->SetVisible(true);
    boards->SetVisible(true);

    // A display edit applied and undone: only the track while it lasts.
    CTracksOnlyEditAction tracksOnly;
    {
        CTransientEditScope edits(layout, {&tracksOnly});
        expectAll(track.minX + 10, track.minY + 20, track.maxX + 10, track.maxY + 20, "tracks only");
    }
    expectAll(-890, -980, track.maxX + 10, 2000, "edit undone");
    // The same on lists taken from the document before the box was kept.
    CLayoutParameters& parameters = layout.GetParameters();
    tElements& elements = layout.GetElementList();
    tImages& images = layout.GetImages();
    tBaseboardElements& baseboards = layout.GetBaseboards();
    CTransientEditState saved(parameters, elements, images, baseboards);
    expectAll(-890, -980, track.maxX + 10, 2000, "lists taken");
    UTransientEditActions::ApplyAll({&tracksOnly}, parameters, elements, images, baseboards);
    expectAll(track.minX + 10, track.minY + 20, track.maxX + 10, track.maxY + 20, "applied to the lists");
    saved.Restore(parameters, elements, images, baseboards);
    expectAll(-890, -980, track.maxX + 10, 2000, "restored into the lists");
}

TEST(LayoutBounds, AnEmptyLayoutHasAFinitePaddedRectangleAndMovesNothing) {
    CLayout layout;
    EXPECT_EQ(ULayoutBounds::GetContentBoundingBox(layout, 0), EmptyRect());
    EXPECT_EQ(ULayoutBounds::GetContentBoundingBox(layout, 1), EmptyRect());
    const tPaddedContent padded = ULayoutBounds::GetContentRectWithPadding(layout, 1, 20);
    EXPECT_EQ(padded.dx, 0);
    EXPECT_EQ(padded.dy, 0);
    EXPECT_EQ(padded.width, 40);
    EXPECT_EQ(padded.height, 40);

    // Content too thin to count is no content either; nothing moves.
    auto line = Box("thin", 70, 80, 50, 0);
    CCompositeGeometry* thin = line.get();
    layout.AddElement(line.release(), layout.GetLayerManager().GetCurrentLayer());
    const tPaddedContent none = ULayoutBounds::GetContentRectWithPadding(layout, 0, 5);
    EXPECT_EQ(none.dx, 0);
    EXPECT_EQ(none.dy, 0);
    ULayoutBounds::TranslateLayout(layout, none);
    EXPECT_EQ(thin->GetPosition().x, 70);
    EXPECT_EQ(thin->GetPosition().y, 80);
    EXPECT_EQ(layout.GetParameters().mWorkspaceWidth, 10);
}

TEST(LayoutBounds, ElementCentres) {
    // A straight: the centre of its unrotated box.
    auto straight = ULayoutGen::CElementBuilder().Catalogue("G", "M", "L", "d").Straight(100).Build();
    tDoubleRect box;
    straight->CalcBoundingBox(box);
    const CPoint rawStraight = UElementGeometry::GetElementCenter(straight.get(), true);
    EXPECT_NEAR(rawStraight.x, (box.minX + box.maxX) / 2, 1e-9);
    EXPECT_NEAR(rawStraight.y, (box.minY + box.maxY) / 2, 1e-9);
    const CPoint straightCentre = UElementGeometry::GetElementCenter(straight.get(), false);
    EXPECT_NEAR(straightCentre.x, 0, 1e-9);
    EXPECT_NEAR(straightCentre.y, 0, 1e-9);

    // A curve: the middle of its arc, a radius from the circle's centre and
    // as far from one end as from the other.
    for (double angle : {0.0, 30.0, 135.0}) {
        SCOPED_TRACE("element angle " + std::to_string(angle));
        auto curve = ULayoutGen::CElementBuilder().Catalogue("R", "M", "L", "d").Curve(300, 60).Angle(angle).Build();
        auto* arc = dynamic_cast<CCurveBIG*>(curve->GetComponents().at(0));
        ASSERT_NE(arc, nullptr);
        const CPoint middle = UElementGeometry::GetElementCenter(curve.get(), true);
        const CPoint centre = arc->GetCenterPoint(curve->GetAngle());
        EXPECT_NEAR(middle.Distance2D(centre), 300, 1e-6);
        curve->UpdateJoints();
        const tConstJoints joints = curve->GetJoints(kJointFilterAll);
        const double toStart = middle.Distance2D(joints[0]->GetElementPoint());
        const double toEnd = middle.Distance2D(joints[1]->GetElementPoint());
        EXPECT_NEAR(toStart, toEnd, 1e-6);
        // A 60 degree arc: its middle lies 2 r sin(15) from either end
        // along the chord of the centre line.
        EXPECT_NEAR(toStart, 2 * 300 * std::sin(15 * 3.14159265358979 / 180), 1e-3);

        tDoubleRect curveBox;
        curve->CalcBoundingBox(curveBox);
        const CPoint relative = UElementGeometry::GetElementCenter(curve.get(), false);
        EXPECT_NEAR(relative.x, middle.x - (curveBox.minX + curveBox.maxX) / 2, 1e-9);
        EXPECT_NEAR(relative.y, middle.y - (curveBox.minY + curveBox.maxY) / 2, 1e-9);
    }

    // Anything but a single track: half the box.
    auto house = Box("Haus", 0, 0, 80, 40);
    const CPoint rawHouse = UElementGeometry::GetElementCenter(house.get(), true);
    EXPECT_DOUBLE_EQ(rawHouse.x, 40);
    EXPECT_DOUBLE_EQ(rawHouse.y, 20);
    const tDoubleRect frame{0, 0, 10, 30};  // 30 wide, 10 high
    const CPoint origin = UElementGeometry::GetCenteredOrigin(house.get(), frame);
    EXPECT_DOUBLE_EQ(origin.x, -15);
    EXPECT_DOUBLE_EQ(origin.y, -5);

    const CPoint none = UElementGeometry::GetElementCenter(nullptr, false);
    EXPECT_EQ(none.x, 0);
    EXPECT_EQ(none.y, 0);
}

TEST(LayoutBounds, LongListsAreBoundedAndMovedInSharesAsOneByOne) {
    // Long enough to be split into shares worked on side by side; what
    // decides each side lies in a different share.
    constexpr int kCount = 3 * 2048 + 100;
    std::vector<std::unique_ptr<CCompositeGeometry>> owned;
    tElements list;
    for (int i = 0; i < kCount; ++i) {
        if (i % 1000 == 999) {
            list.push_back(nullptr);
            continue;
        }
        owned.push_back(Box("E" + std::to_string(i), i * 10.0, (i % 7) * 3.0, 5, 4));
        list.push_back(owned.back().get());
    }
    const auto put = [&](int index, std::unique_ptr<CCompositeGeometry> element) {
        owned.push_back(std::move(element));
        list[index] = owned.back().get();
    };
    put(2100, Box("WEST", -500, 10, 5, 4));
    // Damaged: counted at x = 0, with one warning each time.
    put(4200, Box("FAR", 2e7, 1000, 5, 5));
    // Too thin to count, however far out.
    put(6200, Box("THIN", 0, -9999, 50, 0));
    auto straight = ULayoutGen::CElementBuilder().Catalogue("T", "M", "L", "d").Straight(100).Build();
    straight->SetPosition(CPoint(40, 10, 0));
    put(5000, std::move(straight));
    CCompositeGeometry* track = list[5000];
    track->UpdateJoints();
    const CPoint joint = track->GetComponents()[0]->GetJoint(0)->GetLayoutPoint();
    tDoubleRect trackBox;
    track->CalcBoundingBox(trackBox);

    const double maxX = (kCount - 1) * 10.0 + 5.0;
    LogWatch watch;
    ExpectRect(UElementVectorOperations::GetBoundingBox(list), -500, std::min(0.0, 10 + trackBox.minY), maxX, 1005,
               "in shares");
    EXPECT_EQ(watch.Count("Auto-fixing illegal x coordinate for element 'FAR'"), 1);

    UElementVectorOperations::TranslateElements(list, 3, -2);
    for (int i = 0; i < kCount; ++i) {
        if (list[i] == nullptr || i == 2100 || i == 4200 || i == 5000 || i == 6200) continue;
        ASSERT_EQ(list[i]->GetPosition().x, i * 10.0 + 3) << i;
        ASSERT_EQ(list[i]->GetPosition().y, (i % 7) * 3.0 - 2) << i;
    }
    EXPECT_EQ(list[2100]->GetPosition().x, -497);
    EXPECT_EQ(list[4200]->GetPosition().x, 2e7 + 3);
    EXPECT_EQ(list[6200]->GetPosition().y, -10001);
    const CPoint moved = track->GetComponents()[0]->GetJoint(0)->GetLayoutPoint();
    EXPECT_NEAR(moved.x, joint.x + 3, 1e-9) << "joints follow the element";
    EXPECT_NEAR(moved.y, joint.y - 2, 1e-9);
    // The same boxes at the new places; the damaged one still at x = 0.
    ExpectRect(UElementVectorOperations::GetBoundingBox(list), -497, std::min(-2.0, 8 + trackBox.minY), maxX + 3, 1003,
               "moved");
    EXPECT_EQ(watch.Count("Auto-fixing illegal x coordinate for element 'FAR'"), 2);
}

// Adding a layer's worth at once numbers on from the highest number, as
// adding them one by one does.
TEST(LayoutBounds, ElementsAddedToALayerAtOnceAreNumberedAsOneByOne) {
    CLayout layout;
    CLayer* layer = layout.GetLayerManager().GetLayers()[0];
    auto first = Box("A", 0, 0, 10, 10);
    first->SetAttributeValue(0);
    layout.AddElement(first.release(), layer);
    layout.GetElements()[0]->SetAttributeValue(7);
    tElements batch;
    for (const char* name : {"B", "C", "D"}) batch.push_back(Box(name, 20, 0, 10, 10).release());
    layout.AddElementsToLayer(batch, layer);
    ASSERT_EQ(layout.GetElements().size(), 4u);
    for (std::size_t i = 1; i < 4; ++i) {
        EXPECT_EQ(layout.GetElements()[i]->GetAttributeValue(), 7 + static_cast<int>(i));
        EXPECT_EQ(layout.GetElements()[i]->GetLayer(), layer);
    }
    EXPECT_EQ(layout.GetHighestElementNumber(), 10);
}

// Changes noted on the main thread are counted apart as well; a layout
// changed on another thread moves only the count of all changes, so that a
// reader of the open document between the main thread's turns is not sent
// back by other threads' work on layouts of their own.
TEST(LayoutBounds, ChangesOnTheMainThreadAreCountedApart) {
    CLayout mainLayout;
    const std::uint64_t all = UContentChanges::Count();
    const std::uint64_t main = UContentChanges::MainThreadCount();
    std::thread([] {
        CLayout own;
        own.GetLayerManager().AddLayer("Elsewhere", true);
    }).join();
    EXPECT_GT(UContentChanges::Count(), all);
    EXPECT_EQ(UContentChanges::MainThreadCount(), main);

    mainLayout.GetLayerManager().AddLayer("Here", true);
    EXPECT_GT(UContentChanges::MainThreadCount(), main);
}
