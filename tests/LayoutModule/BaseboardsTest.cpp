// The baseboard painter: fills under the grid, outlines above it, the last
// selected border drawn again wide in the selection colour, arcs about
// their centre, dimension marks only while nothing is being edited.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <typeinfo>
#include <vector>

#include "LayoutView/Drawing/VKMBaseboardsPainter.h"
#include "LayoutView/Drawing/VKMDrawingInstructionsPainter.h"
#include "LayoutView/Drawing/VKMInstructionList.h"
#include "engine/drawing/GraphicsStateInstruction.h"
#include "engine/drawing/GridInstruction.h"
#include "engine/drawing/PathInstruction.h"
#include "engine/model/BorderSegment.h"
#include "engine/model/Layer.h"
#include "tests/LayoutModule/LayoutModuleTestSupport.h"

namespace {

const CColor kFill(0.0, 1.0, 0.0, 1.0);
const CColor kBorder(0.0, 0.0, 1.0, 1.0);

// A square board 100 wide at (x, y): points p0..p3, straight segments
// between them; with `arc`, the last side is an arc about the square's
// centre instead.
std::unique_ptr<CBaseboardElement> Board(double x, double y, CLayer* layer, bool arc = false) {
    auto board = std::make_unique<CBaseboardElement>(CPoint(0, 0), 0.0, "board", kFill, kBorder);
    board->SetLayer(layer);
    const CPoint corners[] = {CPoint(x, y), CPoint(x + 100, y), CPoint(x + 100, y + 100), CPoint(x, y + 100)};
    for (int i = 0; i < 4; ++i) board->SetBorderPoint("p" + std::to_string(i), corners[i]);
    for (int i = 0; i < 3; ++i)
        board->AddBorderSegment(new CStraightBorderSegment("p" + std::to_string(i), "p" + std::to_string(i + 1)));
    if (arc) {
        auto* segment = new CCircleArcBorderSegment("p3", "p0");
        segment->SetCentre(CPoint(x + 50, y + 50));
        board->AddBorderSegment(segment);
    } else {
        board->AddBorderSegment(new CStraightBorderSegment("p3", "p0"));
    }
    return board;
}

struct tPainted {
    VKMScopedInstructionList instructions;
    tDrawingInstructions& list() { return instructions.list(); }
};

const CPathDrawingInstruction* AsPath(const CDrawingInstruction* instruction) {
    return typeid(*instruction) == typeid(CPathDrawingInstruction)
               ? static_cast<const CPathDrawingInstruction*>(instruction)
               : nullptr;
}

}  // namespace

TEST(Baseboards, FillsLieUnderTheClippedGridAndOutlinesAboveIt) {
    layouttest::RegisterServices();
    CLayout layout;
    layout.GetParameters().mShowGrid = true;
    layout.GetParameters().mInt415 = 3;  // dark grid
    CLayer layer("Boards");
    layer.SetLayerType(CLayer::kBaseboardLayer);
    auto a = Board(0, 0, &layer);
    auto b = Board(200, 0, &layer);
    const tBaseboardElements boards = {a.get(), b.get()};
    tPainted painted;
    VKMBaseboardsPainter::drawBaseboards(boards, layout, painted.list());

    const tDrawingInstructions& list = painted.list();
    ASSERT_EQ(list.size(), 8u);
    for (int i : {0, 1}) {
        ASSERT_NE(AsPath(list[i]), nullptr);
        EXPECT_TRUE(list[i]->mUseFill && !list[i]->mUseStroke) << "fill " << i;
        EXPECT_DOUBLE_EQ(AsPath(list[i])->mLineWidth, 2.5);
    }
    EXPECT_EQ(static_cast<const CGraphicsStateDrawingInstruction*>(list[2])->mOperation, 1);
    ASSERT_NE(AsPath(list[3]), nullptr);
    EXPECT_FALSE(list[3]->mUseFill || list[3]->mUseStroke) << "the clip draws nothing";
    EXPECT_NE(std::get_if<CPathAddClipMicroInstruction>(&AsPath(list[3])->mPathMicroInstructions.back()), nullptr);
    const auto* grid = dynamic_cast<const CGridDrawingInstruction*>(list[4]);
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(grid->mFillColor, CColor::Gray20());
    EXPECT_DOUBLE_EQ(grid->mX, 0.5);
    EXPECT_EQ(static_cast<const CGraphicsStateDrawingInstruction*>(list[5])->mOperation, 2);
    for (int i : {6, 7}) {
        EXPECT_TRUE(!list[i]->mUseFill && list[i]->mUseStroke) << "outline " << i;
        EXPECT_EQ(list[i]->mStrokeColor, kBorder);
    }
    for (const CDrawingInstruction* instruction : list) EXPECT_EQ(instruction->GetOwnerLayer()->mName, "Boards");

    // Grid colour mode 0 draws no grid inside the boards.
    layout.GetParameters().mInt415 = 0;
    tPainted plain;
    VKMBaseboardsPainter::drawBaseboards(boards, layout, plain.list());
    EXPECT_EQ(plain.list().size(), 4u);

    // Painted, the boards are filled and outlined and the clip leaves no
    // trace on what follows.
    layout.GetParameters().mInt415 = 3;
    auto canvas = layouttest::Canvas(320, 120);
    VKMDrawingInstructionsPainter::draw(*canvas, list, {0, 0, 320, 120}, "BaseboardsTest");
    EXPECT_TRUE(layouttest::PixelNear(*canvas, 50, 50, 0, 255, 0, 255));
    EXPECT_TRUE(layouttest::PixelNear(*canvas, 50, 0, 0, 0, 255, 255));
    EXPECT_TRUE(layouttest::PixelNear(*canvas, 150, 50, 0, 0, 0, 0)) << "between the boards";
}

TEST(Baseboards, TheLastSelectedBorderIsDrawnAgainWideInTheSelectionColour) {
    layouttest::RegisterServices();
    CLayout layout;
    layout.GetParameters().mShowGrid = false;
    CLayer layer("Boards");
    auto board = Board(0, 0, &layer);
    board->GetBorderSegments()[0]->SetSelected(true);
    board->GetBorderSegments()[2]->SetSelected(true);
    tPainted painted;
    VKMBaseboardsPainter::drawBaseboards({board.get()}, layout, painted.list());
    const tDrawingInstructions& list = painted.list();
    // Each pass ends with the highlight: fill, highlight, outline, highlight,
    // so the last thing drawn is the highlight above the outline.
    ASSERT_EQ(list.size(), 4u);
    EXPECT_TRUE(list[2]->mUseStroke && list[2]->mStrokeColor == kBorder) << "the outline";
    const CPathDrawingInstruction* highlight = AsPath(list[3]);
    ASSERT_NE(highlight, nullptr);
    EXPECT_DOUBLE_EQ(highlight->mLineWidth, 5.0);
    EXPECT_EQ(highlight->mStrokeColor, CColor(1.0, 0.2, 0.2, 1.0));
    // Segment 2 runs from (100, 100) to (0, 100).
    ASSERT_EQ(highlight->mPathMicroInstructions.size(), 2u);
    const auto* from = std::get_if<CPathLineToMicroInstruction>(&highlight->mPathMicroInstructions[0]);
    const auto* to = std::get_if<CPathLineToMicroInstruction>(&highlight->mPathMicroInstructions[1]);
    ASSERT_TRUE(from && to);
    EXPECT_EQ(from->mPoint.x, 100.0);
    EXPECT_EQ(from->mPoint.y, 100.0);
    EXPECT_EQ(to->mPoint.x, 0.0);
    EXPECT_EQ(to->mPoint.y, 100.0);
}

TEST(Baseboards, ArcsRunAboutTheirCentreAndVanishWhenTheirEndsMeet) {
    layouttest::RegisterServices();
    CLayer layer("Boards");
    auto board = Board(0, 0, &layer, true);
    CPathDrawingInstruction path(kDrawingStyleStroke, false, kFill, kBorder);
    const CBorderSegment& arc = *board->GetBorderSegments()[3];
    VKMBaseboardsPainter::drawBorder(arc, *board, path);
    ASSERT_EQ(path.mPathMicroInstructions.size(), 1u);
    const auto* step = PathArcOf(path.mPathMicroInstructions[0]);
    ASSERT_NE(step, nullptr);
    EXPECT_DOUBLE_EQ(step->mCenter.x, 50.0);
    EXPECT_NEAR(step->mRadius, 50.0 * std::sqrt(2.0), 1e-9);
    EXPECT_NEAR(step->mStartAngle, 135.0, 1e-9);  // towards (0, 100)
    EXPECT_NEAR(step->mEndAngle, -135.0, 1e-9);   // towards (0, 0)
    EXPECT_EQ(step->mDirection, 0);

    // Start and end closer than 0.001: nothing.
    board->SetBorderPoint("p0", CPoint(0.0005, 100.0004));
    CPathDrawingInstruction degenerate(kDrawingStyleStroke, false, kFill, kBorder);
    VKMBaseboardsPainter::drawBorder(arc, *board, degenerate);
    EXPECT_TRUE(degenerate.mPathMicroInstructions.empty());
}

TEST(Baseboards, DimensionMarksOnlyWhileNothingIsBeingEdited) {
    layouttest::RegisterServices();
    CLayout layout;
    layout.GetParameters().mShowGrid = false;
    CLayer layer("Boards");
    auto arcBoard = Board(0, 0, &layer, true);
    auto other = Board(300, 0, &layer);
    arcBoard->GetBorderSegments()[3]->SetInteger723(1);  // show the arc's dimension
    other->GetBorderSegments()[0]->SetInteger723(2);     // a straight one shows no mark
    EXPECT_DOUBLE_EQ(VKMBaseboardsPainter::getOffsetForBorder(*other->GetBorderSegments()[0], 3.0), -3.0);
    EXPECT_DOUBLE_EQ(VKMBaseboardsPainter::getOffsetForBorder(*arcBoard->GetBorderSegments()[3], 3.0), 3.0);

    tPainted painted;
    VKMBaseboardsPainter::drawBaseboards({arcBoard.get(), other.get()}, layout, painted.list());
    ASSERT_EQ(painted.list().size(), 6u);  // 2 fills, 2 outlines, the cross's 2 strokes
    const CPathDrawingInstruction* cross = AsPath(painted.list()[4]);
    ASSERT_NE(cross, nullptr);
    EXPECT_EQ(cross->mStrokeColor, CColor::Gray25());
    const auto* start = std::get_if<CPathLineToMicroInstruction>(&cross->mPathMicroInstructions[0]);
    ASSERT_NE(start, nullptr);
    EXPECT_DOUBLE_EQ(start->mPoint.x, 42.5);
    EXPECT_DOUBLE_EQ(start->mPoint.y, 42.5);

    other->SetEditInProgress(true);
    tPainted editing;
    VKMBaseboardsPainter::drawBaseboards({arcBoard.get(), other.get()}, layout, editing.list());
    EXPECT_EQ(editing.list().size(), 4u);
}
