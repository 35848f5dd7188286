// Elements and overlay layers prepared ahead of their refresh, by either
// road: an open's on the load queue, the screen's during its pause.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "LayoutModule/Layout/VKMLayoutPreparer.h"
#include "LayoutModule/Layout/VKMLayoutView.h"
#include "LayoutView/Drawing/VKMLayoutElementsPainter.h"
#include "LayoutView/Drawing/VKMPreparedRenderData.h"
#include "LayoutView/Drawing/VKMRenderDataKeeper.h"
#include "app/Helper/VKMLayoutDocumentHelper.h"
#include "engine/drawing/TransientEdits.h"
#include "engine/model/ContentChanges.h"
#include "engine/model/Layout.h"
#include "tests/LayoutModule/LayoutModuleTestSupport.h"
#include "tests/support/TempRoot.h"
#include "tools/layoutgen/LargeLayout.h"
#include "tools/layoutgen/LayoutFileWriter.h"

namespace {

const char* const kScenario = R"(version 13
param display-flags 0x1
layer "Top"
on "Top"
straight length=200 at=0,0 angle=0 product=TOP-1
straight length=200 product=TOP-2
rect size=100,50 at=0,300 product=SHAPE
)";

}  // namespace

TEST(PreparedRenderData, HoldOnlyWhileTheDocumentItsEditsAndTheStyleAreThoseTheyWereBuiltFrom) {
    auto layout = layouttest::LoadScenario(kScenario, "holds.wkst");
    auto other = layouttest::LoadScenario(kScenario, "other.wkst");
    CTracksOnlyEditAction tracksOnly;
    CSingleLineStyleEditAction singleLine;
    const tTransientEditActions both{&tracksOnly, &singleLine};
    struct Case {
        const char* name;
        tTransientEditActions builtWith;
        bool contentChanged;  // after the build
        const CLayout* checkedOn;
        tTransientEditActions checkedWith;
        bool dark;
        bool holds;
    };
    const Case cases[] = {
        {"nothing changed", {}, false, layout.get(), {}, false, true},
        {"the same display edits", both, false, layout.get(), both, false, true},
        {"another document", {}, false, other.get(), {}, false, false},
        {"the content changed", {}, true, layout.get(), {}, false, false},
        {"display edits added", {}, false, layout.get(), {&tracksOnly}, false, false},
        {"display edits taken off", both, false, layout.get(), {&tracksOnly}, false, false},
        {"the display edits in another order", both, false, layout.get(), {&singleLine, &tracksOnly}, false, false},
        {"the dark style turned on", {}, false, layout.get(), {}, true, false},
    };
    for (const Case& c : cases) {
        const VKMPreparedRenderData prepared = VKMPreparedRenderData::build(*layout, c.builtWith, false);
        ASSERT_TRUE(prepared.elements && prepared.overlays) << c.name;
        if (c.contentChanged) UContentChanges::Note();
        EXPECT_EQ(prepared.holdsFor(*c.checkedOn, c.checkedWith, c.dark), c.holds) << c.name;
    }
}

TEST(PreparedRenderData, ABuildStoppedWhileItDrawsLeavesTheRestUndrawn) {
    layouttest::RegisterServices();
    ULayoutGen::tLayoutDocument document;
    ULayoutGen::ComposeLargeLayout(document, 4000, 11, 13);
    const auto path = testsupport::processRoot() / "stopped-build.wkst";
    ASSERT_TRUE(ULayoutFileWriter::WriteLayoutFile(path, document.FileContent()));
    CLayout layout;
    ASSERT_EQ(layout.Load(path.string()), kLayoutLoaded);
    // One thread: the looks come in drawing order.
    VKMLayoutElementsPainter::setBuildThreads(1);
    const VKMPreparedRenderData whole = VKMPreparedRenderData::build(layout, {}, false);
    int looks = 0;
    const VKMPreparedRenderData stopped =
        VKMPreparedRenderData::build(layout, {}, false, [&looks] { return ++looks > 1; });
    VKMLayoutElementsPainter::setBuildThreads(0);
    ASSERT_TRUE(whole.elements && stopped.elements);
    EXPECT_LT(stopped.elements->drawingInstructions()->size(), whole.elements->drawingInstructions()->size() / 2);
    EXPECT_FALSE(stopped.overlays);
}

TEST(PreparedRenderData, ARefreshPutsThemInOnlyWhileTheyHoldAndTheyGoEitherWay) {
    auto layout = layouttest::LoadScenario(kScenario, "refresh.wkst");
    VKMRenderDataKeeper keeper;
    keeper.rebuild(*layout, {}, false, false);
    keeper.keepPrepared(VKMPreparedRenderData::build(*layout, {}, false));
    keeper.rebuild(*layout, {}, false, true);
    EXPECT_TRUE(keeper.hasPrepared()) << "a background-only rebuild keeps them";
    const std::uint64_t generation = keeper.generation();
    const auto prepared = VKMPreparedRenderData::build(*layout, {}, false);
    keeper.keepPrepared(prepared);
    keeper.refreshWithPrepared(*layout, {}, false);
    EXPECT_FALSE(keeper.hasPrepared());
    EXPECT_EQ(keeper.renderData()->elementsData(), prepared.elements) << "still holding: put in";
    EXPECT_EQ(keeper.renderData()->overlayData(), prepared.overlays);
    EXPECT_GT(keeper.generation(), generation);

    const auto stale = VKMPreparedRenderData::build(*layout, {}, false);
    keeper.keepPrepared(stale);
    UContentChanges::Note();
    keeper.refreshWithPrepared(*layout, {}, false);
    EXPECT_NE(keeper.renderData()->elementsData(), stale.elements) << "changed since: built anew";
    EXPECT_NE(keeper.renderData()->elementsData(), nullptr);

    // The screen's road, built now: a full rebuild or a clearing drops them.
    keeper.prepare(*layout, {}, false);
    ASSERT_TRUE(keeper.hasPrepared());
    keeper.rebuild(*layout, {}, false, false);
    EXPECT_FALSE(keeper.hasPrepared()) << "a full rebuild";
    keeper.prepare(*layout, {}, false);
    keeper.clear();
    EXPECT_FALSE(keeper.hasPrepared()) << "a clearing";
}

TEST(PreparedRenderData, AnOpensLayersHoldFromTheAdoptionOfTheirDocument) {
    auto layout = layouttest::LoadScenario(kScenario, "open.wkst");
    auto run = VKMLayoutPreparer::shared()->beginPreparing();
    run(*layout, {});
    EXPECT_FALSE(VKMLayoutPreparer::shared()->hasPreparedFor(*layout)) << "not adopted yet";
    // Taking the document frees the one before: changes counted meanwhile.
    UContentChanges::Note();
    VKMLayoutPreparer::shared()->documentAdopted(*layout);
    auto taken = VKMLayoutPreparer::shared()->take(*layout);
    ASSERT_TRUE(taken.has_value());
    EXPECT_TRUE(taken->fitDelta.has_value());
    EXPECT_TRUE(taken->holdsFor(*layout, {}, VKMLayoutView::isDarkBackground()));
    EXPECT_FALSE(VKMLayoutPreparer::shared()->take(*layout).has_value()) << "handed out once";
    UContentChanges::Note();
    EXPECT_FALSE(taken->holdsFor(*layout, {}, VKMLayoutView::isDarkBackground())) << "changed after the adoption";

    // Prepared and never adopted: never handed out.
    run = VKMLayoutPreparer::shared()->beginPreparing();
    run(*layout, {});
    EXPECT_FALSE(VKMLayoutPreparer::shared()->take(*layout).has_value());

    // Adopted, never taken, then closed: its layers go with the document.
    VKMLayoutDocumentHelper::setDocumentPreparer(VKMLayoutPreparer::shared());
    run = VKMLayoutPreparer::shared()->beginPreparing();
    run(*layout, {});
    VKMLayoutPreparer::shared()->documentAdopted(*layout);
    VKMLayoutDocumentHelper::closeCurrentLayout();
    VKMLayoutDocumentHelper::setDocumentPreparer(nullptr);
    EXPECT_FALSE(VKMLayoutPreparer::shared()->take(*layout).has_value()) << "kept past the close";
}
