// The instruction painter on small bitmaps: what each kind of instruction
// leaves in which pixels, culling by the stored box (also with the boxes
// made beforehand), sub-paths, clips and graphics states, texts drawn again
// and drawn from layouts kept with their list, and the lists it must
// survive.

#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "LayoutView/Drawing/VKMDrawingInstructionsPainter.h"
#include "engine/drawing/GraphicsStateInstruction.h"
#include "engine/drawing/ImageInstruction.h"
#include "engine/drawing/OvalInstruction.h"
#include "engine/drawing/PathInstruction.h"
#include "engine/drawing/QuartzPathInstruction.h"
#include "engine/drawing/TextInstruction.h"
#include "engine/services/PerformanceCounters.h"
#include "platform/foundation/Paths.h"
#include "platform/graphics/DocumentContext.h"
#include "platform/graphics/Path.h"
#include "tests/LayoutModule/LayoutModuleTestSupport.h"
#include "tests/support/PixelCompare.h"

using layouttest::Canvas;
using layouttest::PixelNear;

namespace {

const CColor kRed(1.0, 0.0, 0.0, 1.0);
const CColor kBlue(0.0, 0.0, 1.0, 1.0);
const platform::Rect kPainterEverything{-1000, -1000, 3000, 3000};

// Owns the instructions of one test.
struct tList {
    std::vector<std::unique_ptr<CDrawingInstruction>> owned;
    tDrawingInstructions list;
    template <typename T>
    T& Add(std::unique_ptr<T> instruction) {
        T& ref = *instruction;
        list.push_back(instruction.get());
        owned.push_back(std::move(instruction));
        return ref;
    }
};

std::unique_ptr<CPathDrawingInstruction> Path(int style, const CColor& fill, const CColor& stroke) {
    return std::make_unique<CPathDrawingInstruction>(style, false, fill, stroke);
}

std::unique_ptr<CPathDrawingInstruction> Square(double x, double y, double side, const CColor& fill) {
    auto path = Path(kDrawingStyleFill, fill, fill);
    path->AddLineTo(CPoint(x, y));
    path->AddLineTo(CPoint(x + side, y));
    path->AddLineTo(CPoint(x + side, y + side));
    path->AddLineTo(CPoint(x, y + side));
    path->CalcBoundingBox();
    return path;
}

void Paint(platform::BitmapContext& canvas, const tDrawingInstructions& list) {
    VKMDrawingInstructionsPainter::draw(canvas, list, kPainterEverything, "PainterTest");
}

// An instruction of a class the painter does not know (a path would be
// drawn; this is only "a kind of" path).
class CDerivedPathInstruction : public CPathDrawingInstruction {
public:
    using CPathDrawingInstruction::CPathDrawingInstruction;
};

}  // namespace

TEST(Painter, PathsFillThenStrokeAndKeepTheirSubPathsApart) {
    layouttest::RegisterServices();
    auto canvas = Canvas(100, 100);
    tList list;
    // A filled and stroked square: blue fill inside, red edge on top.
    auto& square = list.Add(Square(10, 10, 40, kBlue));
    square.SetStyle(kDrawingStyleFillAndStroke);
    square.mStrokeColor = kRed;
    square.mLineWidth = 4;
    // Two strokes in one path: A-B and C-D, no line from B to C.
    auto& two = list.Add(Path(kDrawingStyleStroke, kBlue, kRed));
    two.AddLineTo(CPoint(60, 10));
    two.AddLineTo(CPoint(90, 10));
    two.StartNewPath();
    two.AddLineTo(CPoint(60, 40));
    two.AddLineTo(CPoint(90, 40));
    two.mLineWidth = 3;
    two.CalcBoundingBox();
    Paint(*canvas, list.list);

    EXPECT_TRUE(PixelNear(*canvas, 30, 30, 0, 0, 255, 255)) << "fill inside";
    EXPECT_TRUE(PixelNear(*canvas, 30, 10, 255, 0, 0, 255)) << "stroke over the fill's edge";
    EXPECT_TRUE(PixelNear(*canvas, 75, 10, 255, 0, 0, 255));
    EXPECT_TRUE(PixelNear(*canvas, 75, 40, 255, 0, 0, 255));
    EXPECT_TRUE(PixelNear(*canvas, 90, 25, 0, 0, 0, 0)) << "no line joins B to C";
    EXPECT_TRUE(PixelNear(*canvas, 75, 25, 0, 0, 0, 0)) << "the two lines were not filled as one shape";
}

TEST(Painter, AnArcAfterAStartNewBeginsItsOwnSubPath) {
    layouttest::RegisterServices();
    auto canvas = Canvas(100, 100);
    tList list;
    auto& path = list.Add(Path(kDrawingStyleStroke, kBlue, kRed));
    path.AddLineTo(CPoint(5, 10));
    path.AddLineTo(CPoint(20, 10));
    path.StartNewPath();
    // A half circle about (70, 70) from angle 0 (the point (90, 70)).
    path.AddArc(CPoint(70, 70), 0, 0.0, 180.0, 20.0);
    path.mLineWidth = 3;
    path.CalcBoundingBox();
    Paint(*canvas, list.list);

    EXPECT_TRUE(PixelNear(*canvas, 12, 10, 255, 0, 0, 255));
    EXPECT_TRUE(PixelNear(*canvas, 70, 90, 255, 0, 0, 255)) << "the arc's bottom (angles grow towards +y)";
    // A joining line would run from (20, 10) to (90, 70); its middle:
    EXPECT_TRUE(PixelNear(*canvas, 55, 40, 0, 0, 0, 0)) << "stray line from the previous sub-path";
}

TEST(Painter, DashesStartAtPhaseZeroAndSolidLinesStaySolid) {
    layouttest::RegisterServices();
    auto canvas = Canvas(100, 40);
    tList list;
    auto& dashed = list.Add(Path(kDrawingStyleStroke, kBlue, kRed));
    dashed.AddLineTo(CPoint(0, 10));
    dashed.AddLineTo(CPoint(100, 10));
    dashed.mLineWidth = 4;
    dashed.mDrawWithDash = true;
    dashed.mDashPattern = {10.0, 10.0};
    dashed.CalcBoundingBox();
    auto& solid = list.Add(Path(kDrawingStyleStroke, kBlue, kRed));
    solid.AddLineTo(CPoint(0, 30));
    solid.AddLineTo(CPoint(100, 30));
    solid.mLineWidth = 4;
    solid.CalcBoundingBox();
    Paint(*canvas, list.list);

    for (int x : {5, 25, 45}) EXPECT_TRUE(PixelNear(*canvas, x, 10, 255, 0, 0, 255)) << "dash at " << x;
    for (int x : {15, 35, 55}) EXPECT_TRUE(PixelNear(*canvas, x, 10, 0, 0, 0, 0)) << "gap at " << x;
    for (int x : {5, 15, 25, 35, 55}) EXPECT_TRUE(PixelNear(*canvas, x, 30, 255, 0, 0, 255)) << "solid at " << x;
}

TEST(Painter, ReadyMadePathsAreFilledThenStrokedAtTheContextsLineWidth) {
    layouttest::RegisterServices();
    auto canvas = Canvas(100, 60);
    // Whatever width the context has: the instruction carries none.
    canvas->setLineWidth(6);
    auto square = std::make_shared<platform::Path>();
    square->addRect({20, 20, 20, 20});
    auto bar = std::make_shared<platform::Path>();
    bar->addRect({60, 20, 20, 20});
    tList list;
    auto& both = list.Add(
        std::make_unique<CQuartzPathDrawingInstruction>(square, kDrawingStyleFillAndStroke, false, kBlue, kRed));
    both.CalcBoundingBox();
    auto& fillOnly =
        list.Add(std::make_unique<CQuartzPathDrawingInstruction>(bar, kDrawingStyleFill, false, kBlue, kRed));
    fillOnly.CalcBoundingBox();
    list.Add(std::make_unique<CQuartzPathDrawingInstruction>(nullptr, kDrawingStyleFill, false, kBlue, kRed));
    list.Add(Square(0, 50, 10, kRed));
    Paint(*canvas, list.list);

    EXPECT_TRUE(PixelNear(*canvas, 30, 30, 0, 0, 255, 255)) << "filled inside";
    EXPECT_TRUE(PixelNear(*canvas, 21, 30, 255, 0, 0, 255)) << "the stroke lies over the fill's edge";
    EXPECT_TRUE(PixelNear(*canvas, 18, 30, 255, 0, 0, 255)) << "3 points out: half the context's width";
    EXPECT_TRUE(PixelNear(*canvas, 15, 30, 0, 0, 0, 0)) << "beyond half the width";
    EXPECT_TRUE(PixelNear(*canvas, 70, 30, 0, 0, 255, 255)) << "fill only";
    EXPECT_TRUE(PixelNear(*canvas, 61, 30, 0, 0, 255, 255)) << "fill only: no stroke over the edge";
    EXPECT_TRUE(PixelNear(*canvas, 58, 30, 0, 0, 0, 0)) << "fill only: nothing outside";
    EXPECT_TRUE(PixelNear(*canvas, 5, 55, 255, 0, 0, 255)) << "painting goes on after a path-less one";
    EXPECT_EQ(layouttest::CountWarnings("Skipping unsupported drawing instruction: "), 0);
}

TEST(Painter, ClipsHoldUntilRestoreAndOtherStateOperationsDoNothing) {
    layouttest::RegisterServices();
    struct Case {
        const char* name;
        int operationAfterClip;  // 2 restores, 0 and 3 do nothing
        bool drawnAfter;
    };
    const Case cases[] = {
        {"restore ends the empty clip", CGraphicsStateDrawingInstruction::kRestore, true},
        {"operation 0 changes nothing", 0, false},
        {"operation 3 changes nothing", 3, false},
    };
    for (const Case& c : cases) {
        auto canvas = Canvas(60, 60);
        tList list;
        list.Add(std::make_unique<CGraphicsStateDrawingInstruction>(CGraphicsStateDrawingInstruction::kSave));
        auto& clip = list.Add(Path(0, kBlue, kBlue));
        clip.AddClip();  // no lines: an empty clip
        list.Add(Square(5, 5, 20, kBlue));
        list.Add(std::make_unique<CGraphicsStateDrawingInstruction>(c.operationAfterClip));
        list.Add(Square(30, 30, 20, kRed));
        Paint(*canvas, list.list);
        EXPECT_TRUE(PixelNear(*canvas, 15, 15, 0, 0, 0, 0)) << c.name << ": nothing drawn inside the empty clip";
        EXPECT_EQ(PixelNear(*canvas, 40, 40, 255, 0, 0, 255), c.drawnAfter) << c.name;
    }
}

TEST(Painter, CullsByTheStoredBoxExceptNarrowBoxes) {
    layouttest::RegisterServices();
    struct Case {
        const char* name;
        tDoubleRect stored;  // min y, min x, max y, max x
        bool painted;
    };
    const Case cases[] = {
        {"box inside the dirty rectangle", {0, 0, 50, 50}, true},
        {"wide box outside", {200, 200, 300, 300}, false},
        {"box 1.0 wide outside", {200, 200, 300, 201}, true},
        {"box without size", {0, 0, 0, 0}, true},
    };
    for (const Case& c : cases) {
        auto canvas = Canvas(50, 50);
        tList list;
        auto& square = list.Add(Square(10, 10, 20, kRed));
        square.mBounds = c.stored;  // the painter must not recompute it
        VKMDrawingInstructionsPainter::draw(*canvas, list.list, {0, 0, 50, 50}, "PainterTest");
        EXPECT_EQ(PixelNear(*canvas, 20, 20, 255, 0, 0, 255), c.painted) << c.name;
    }
}

TEST(Painter, NullAndUnknownInstructionsAreSkippedWithAWarningAndPaintingGoesOn) {
    layouttest::RegisterServices();
    auto canvas = Canvas(60, 30);
    tList list;
    list.list.push_back(nullptr);
    auto derived = std::make_unique<CDerivedPathInstruction>(kDrawingStyleFill, false, kBlue, kBlue);
    derived->AddLineTo(CPoint(0, 0));
    derived->AddLineTo(CPoint(30, 0));
    derived->AddLineTo(CPoint(30, 30));
    derived->CalcBoundingBox();
    list.Add(std::move(derived));
    list.Add(Square(35, 5, 20, kRed));
    Paint(*canvas, list.list);

    EXPECT_TRUE(PixelNear(*canvas, 45, 15, 255, 0, 0, 255)) << "the instruction after them is painted";
    EXPECT_TRUE(PixelNear(*canvas, 25, 5, 0, 0, 0, 0)) << "a subclass is not painted as its base";
    EXPECT_EQ(layouttest::CountWarnings("Skipping null drawing instruction"), 1);
    EXPECT_EQ(layouttest::CountWarnings("Skipping unsupported drawing instruction: "), 1);
}

TEST(Painter, OvalsWithTwoRadiiAreEllipsesTurnedWithTheirAxes) {
    layouttest::RegisterServices();
    struct Case {
        const char* name;
        double rotation;
        int inX, inY;    // inside the ellipse
        int outX, outY;  // inside the circle of radius X, outside the ellipse
    };
    const Case cases[] = {
        {"axes along x and y", 0, 75, 50, 50, 30},
        {"turned a quarter", 90, 50, 75, 75, 50},
    };
    for (const Case& c : cases) {
        auto canvas = Canvas(100, 100);
        tList list;
        auto& oval = list.Add(std::make_unique<COvalDrawingInstruction>(kDrawingStyleFill, false, kRed, kRed));
        oval.mPosition = CPoint(50, 50);
        oval.mRadiusX = 30;
        oval.mRadiusY = 10;
        oval.mRotationAngle = c.rotation;
        oval.CalcBoundingBox();
        Paint(*canvas, list.list);
        EXPECT_TRUE(PixelNear(*canvas, 50, 50, 255, 0, 0, 255)) << c.name;
        EXPECT_TRUE(PixelNear(*canvas, c.inX, c.inY, 255, 0, 0, 255)) << c.name;
        EXPECT_TRUE(PixelNear(*canvas, c.outX, c.outY, 0, 0, 0, 0)) << c.name;
    }
    // Equal radii and a part arc: a quarter circle from 0 to 90 degrees
    // (towards +y), stroked.
    auto canvas = Canvas(100, 100);
    tList list;
    auto& arc = list.Add(std::make_unique<COvalDrawingInstruction>(kDrawingStyleStroke, false, kRed, kBlue));
    arc.mPosition = CPoint(50, 50);
    arc.mRadiusX = arc.mRadiusY = 30;
    arc.mStartAngle = 0;
    arc.mEndAngle = 90;
    arc.mLineWidth = 3;
    arc.CalcBoundingBox();
    Paint(*canvas, list.list);
    EXPECT_TRUE(PixelNear(*canvas, 71, 71, 0, 0, 255, 255));
    EXPECT_TRUE(PixelNear(*canvas, 29, 29, 0, 0, 0, 0));
}

TEST(Painter, TextsUseTheFillColourAndAnOutlineOnlyWhenItHasAWidth) {
    layouttest::RegisterServices();
    struct Case {
        const char* name;
        std::string font;
        int outline;
        bool light;  // outline pixels (white 0.9) expected
    };
    const Case cases[] = {
        {"known font, no outline", "DejaVu Sans", 0, false},
        {"unknown font falls back", "NoSuchFont-Bold", 0, false},
        {"outline width 3", "DejaVu Sans", 3, true},
    };
    for (const Case& c : cases) {
        auto canvas = Canvas(200, 60);
        canvas->setFillColor(platform::Color{0, 0, 0, 1});
        canvas->fillRect({0, 0, 200, 60});
        tList list;
        auto& text = list.Add(std::make_unique<CTextDrawingInstruction>(kDrawingStyleFill, false, kRed, kBlue));
        text.mText = "WWWW";
        text.mFontName = c.font;
        text.mTextSize = 40;
        text.mOutlineWidth = c.outline;
        text.mPosition = CPoint(10, 5);
        Paint(*canvas, list.list);
        const std::shared_ptr<platform::Image> image = canvas->makeImage();
        EXPECT_GT(layouttest::CountNear(*image, 0, 0, 200, 60, 255, 0, 0), 100) << c.name << ": red glyphs";
        EXPECT_EQ(layouttest::CountNear(*image, 0, 0, 200, 60, 230, 230, 230, 60) > 20, c.light) << c.name;
    }
}

TEST(Painter, PicturesSwapTheirSidesOnlyAtAQuarterTurn) {
    layouttest::RegisterServices();
    auto source = Canvas(40, 20);
    source->setFillColor(platform::Color{1, 0, 0, 1});
    source->fillRect({0, 0, 40, 20});
    const std::shared_ptr<const platform::Image> picture = source->makeImage();
    struct Case {
        const char* name;
        double angle;
        int inX, inY;
        int outX, outY;
    };
    // The picture is 40 x 20 at (30, 40): centre (50, 50).
    const Case cases[] = {
        {"upright", 0, 65, 50, 50, 65},
        {"half turn keeps its sides", 180, 65, 50, 50, 65},
        // Turned a quarter with the sides swapped it covers the same box.
        {"quarter turn", 90, 65, 50, 50, 65},
        {"three quarters", 270, 65, 50, 50, 65},
        {"negative quarter", -90, 65, 50, 50, 65},
        // At 45 degrees the long side runs along the diagonal.
        {"eighth turn", 45, 62, 62, 38, 62},
    };
    for (const Case& c : cases) {
        auto canvas = Canvas(100, 100);
        tList list;
        auto& image = list.Add(std::make_unique<CImageDrawingInstruction>(picture, 40, 20));
        image.mPlacement = CPoint(30, 40);
        image.mRotationAngle = c.angle;
        image.CalcBoundingBox();
        Paint(*canvas, list.list);
        EXPECT_TRUE(PixelNear(*canvas, c.inX, c.inY, 255, 0, 0, 255)) << c.name;
        EXPECT_TRUE(PixelNear(*canvas, c.outX, c.outY, 0, 0, 0, 0)) << c.name;
    }
}

TEST(Painter, AnEmptyListRecordsNoTimeAndAPaintedListDoes) {
    layouttest::RegisterServices();
    auto canvas = Canvas(20, 20);
    tList list;
    VKMDrawingInstructionsPainter::draw(*canvas, list.list, kPainterEverything, "PainterEmptyList");
    list.Add(Square(0, 0, 5, kRed));
    VKMDrawingInstructionsPainter::draw(*canvas, list.list, kPainterEverything, "PainterFullList");
    const auto lines = QLPerformanceCounters::getCountersAsStrings();
    ASSERT_TRUE(lines.has_value());
    std::string all;
    for (const std::string& line : *lines) all += line + "\n";
    EXPECT_NE(all.find("PainterFullList"), std::string::npos) << all;
    EXPECT_EQ(all.find("PainterEmptyList"), std::string::npos) << all;
}

TEST(Painter, ScaledDirtyRectangleDividesOriginAndSize) {
    const platform::Rect scaled = VKMDrawingInstructionsPainter::getScaledDirtyRect({10, 20, 100, 50}, 2.0);
    EXPECT_EQ(scaled, (platform::Rect{5, 10, 50, 25}));
}

TEST(Painter, BoxesMadeBeforehandSkipAsTheStoredBoxesDo) {
    layouttest::RegisterServices();
    tList list;
    list.Add(Square(5, 5, 20, kRed));
    auto& outside = list.Add(Square(30, 5, 20, kBlue));
    outside.mBounds = {200, 200, 300, 300};  // stored far away: skipped
    auto& narrow = list.Add(Square(30, 30, 10, kRed));
    narrow.mBounds = {200, 200, 300, 201};  // far away but 1.0 wide: painted
    list.list.push_back(nullptr);
    auto& stroke = list.Add(Path(kDrawingStyleStroke, kBlue, kBlue));
    stroke.AddLineTo(CPoint(0, 55));
    stroke.AddLineTo(CPoint(60, 55));
    stroke.mLineWidth = 3;
    stroke.CalcBoundingBox();

    const std::vector<platform::Rect> boxes = VKMDrawingInstructionsPainter::boxesOf(list.list);
    ASSERT_EQ(boxes.size(), list.list.size());
    const std::vector<platform::Rect> wrongSize(boxes.begin(), boxes.end() - 1);
    struct Case {
        const char* name;
        const std::vector<platform::Rect>* boxes;
    };
    const Case cases[] = {{"without boxes", nullptr}, {"with boxes", &boxes}, {"boxes of another list", &wrongSize}};
    std::vector<std::uint8_t> first;
    long warnings = layouttest::CountWarnings("Skipping null drawing instruction");
    for (const Case& c : cases) {
        auto canvas = Canvas(60, 60);
        VKMDrawingInstructionsPainter::draw(*canvas, list.list, c.boxes, {0, 0, 60, 60}, "PainterTest");
        EXPECT_TRUE(PixelNear(*canvas, 15, 15, 255, 0, 0, 255)) << c.name;
        EXPECT_TRUE(PixelNear(*canvas, 40, 15, 0, 0, 0, 0)) << c.name << ": skipped by its stored box";
        EXPECT_TRUE(PixelNear(*canvas, 35, 35, 255, 0, 0, 255)) << c.name << ": narrow box painted";
        EXPECT_TRUE(PixelNear(*canvas, 30, 55, 0, 0, 255, 255)) << c.name << ": after the null entry";
        EXPECT_EQ(layouttest::CountWarnings("Skipping null drawing instruction"), ++warnings) << c.name;
        const std::vector<std::uint8_t> png = canvas->makeImage()->pngData();
        if (first.empty()) first = png;
        EXPECT_EQ(png, first) << c.name << ": the same pixels";
    }
}

TEST(Painter, TextsDrawnAgainLookTheSameAndDifferentTextsDiffer) {
    layouttest::RegisterServices();
    // Each text is drawn three times over other texts, on fresh canvases;
    // a kept layout must serve only the same text, font and size.
    struct Case {
        const char* text;
        const char* font;
        int size;
    };
    const Case cases[] = {
        {"Vekmont", "DejaVu Sans", 20}, {"Vekmont", "DejaVu Sans", 30}, {"Vekmont", "DejaVu Serif", 20},
        {"Vekmonu", "DejaVu Sans", 20}, {"Vekmont", "NoSuchFont", 20},
    };
    auto draw = [](const Case& c) {
        auto canvas = Canvas(160, 50);
        tList list;
        auto& text = list.Add(std::make_unique<CTextDrawingInstruction>(kDrawingStyleFill, false, kRed, kBlue));
        text.mText = c.text;
        text.mFontName = c.font;
        text.mTextSize = c.size;
        text.mPosition = CPoint(5, 5);
        Paint(*canvas, list.list);
        return canvas->makeImage()->pngData();
    };
    std::vector<std::vector<std::uint8_t>> firsts;
    for (int round = 0; round < 3; ++round) {
        for (std::size_t i = 0; i < std::size(cases); ++i) {
            const std::vector<std::uint8_t> png = draw(cases[i]);
            if (round == 0) {
                firsts.push_back(png);
            } else {
                EXPECT_EQ(png, firsts[i]) << cases[i].text << " " << cases[i].font << " " << cases[i].size;
            }
        }
    }
    // Size, font and text each change the picture (the unknown font draws
    // in the system font, DejaVu Sans).
    EXPECT_NE(firsts[0], firsts[1]);
    EXPECT_NE(firsts[0], firsts[2]);
    EXPECT_NE(firsts[0], firsts[3]);
    EXPECT_EQ(firsts[0], firsts[4]);
}

TEST(Painter, TextsKeptWithTheirListAreLaidOutOnceAndDrawAsFromTheirCharacters) {
    layouttest::RegisterServices();
    // Texts of two fonts, turned, outlined, of no size and of broken bytes,
    // between paths: four draw.
    const std::tuple<const char*, int, int, double> cases[] = {
        {"Vekmont", 14, 0, 0}, {"Gleis 12", 9, 0, 30}, {"W", 31, 3, 0}, {"none", 0, 0, 0}, {"br\377ken", 12, 0, -90}};
    tList list;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        list.Add(Square(4 + 35.0 * i, 3, 9, kBlue));
        auto& text = list.Add(std::make_unique<CTextDrawingInstruction>(kDrawingStyleFill, false, kRed, kBlue));
        std::tie(text.mText, text.mTextSize, text.mOutlineWidth, text.mRotationAngle) = cases[i];
        text.mFontName = i % 2 == 0 ? "DejaVu Sans" : "DejaVu Serif";
        text.mRotationCenter = CPoint(30 + 35.0 * i, 40);
        text.mPosition = CPoint(8 + 35.0 * i, 30 + 7.0 * i);
        text.mBounds.minX = 8 + 35.0 * i;
        text.mBounds.maxX = 38 + 35.0 * i;
        text.mBounds.maxY = 100;
    }
    const auto draw = [&](platform::Context& context, const VKMKeptTexts* kept) {
        VKMDrawingInstructionsPainter::draw(context, list.list, nullptr, nullptr, kept, kPainterEverything,
                                            "PainterTest");
    };
    const auto picture = [&](const VKMKeptTexts* kept) {
        auto canvas = Canvas(200, 100);
        draw(*canvas, kept);
        return canvas->makeImage();
    };
    const VKMKeptTexts kept(list.list);
    const auto characters = picture(nullptr);
    // Threads drawing the list at once share the layouts, made once.
    std::vector<std::shared_ptr<platform::Image>> drawn(4);
    std::vector<std::thread> threads;
    for (auto& image : drawn) threads.emplace_back([&] { image = picture(&kept); });
    for (auto& thread : threads) thread.join();
    // A layout for each text, the one of no size too (never drawn from it).
    EXPECT_EQ(kept.made(), 5u);
    EXPECT_TRUE(kept.allMade());
    for (const auto& image : drawn)
        EXPECT_EQ(testsupport::DifferingPixels(*image, *characters, 24), 0) << "looks as drawn from characters";

    // Laid out ahead, the drawing makes none and looks the same.
    const VKMKeptTexts ahead(list.list);
    VKMDrawingInstructionsPainter::layOutTexts(list.list, ahead);
    EXPECT_TRUE(ahead.allMade());
    EXPECT_EQ(ahead.made(), 5u);
    EXPECT_EQ(testsupport::DifferingPixels(*picture(&ahead), *characters, 24), 0);
    EXPECT_EQ(ahead.made(), 5u);
    // A drawing of part of the list makes the layouts of what it draws only.
    const VKMKeptTexts part(list.list);
    auto left = Canvas(200, 100);
    VKMDrawingInstructionsPainter::draw(*left, list.list, nullptr, nullptr, &part, {0, 0, 60, 100}, "PainterTest");
    EXPECT_EQ(part.made(), 2u);
    EXPECT_TRUE(part.isMade(1) && part.isMade(3));
    EXPECT_FALSE(part.allMade());

    // A PDF keeps the characters of its texts: nothing is laid out for it.
    const VKMKeptTexts forDocument(list.list);
    auto pdf = platform::DocumentContext::createPdf(platform::Paths::tmp() / "kept-texts.pdf", {200, 100});
    ASSERT_NE(pdf, nullptr);
    draw(*pdf, &forDocument);
    EXPECT_EQ(forDocument.made(), 0u);
}
