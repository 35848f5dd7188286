// Drawing instructions as data: style words, copies, bounds of every kind
// (paths of lines and arcs, turned ellipses, texts, images, grids), their
// descriptions, and what an instruction keeps once its layer and render
// options are gone.

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "engine/drawing/DrawingInstruction.h"
#include "engine/drawing/GraphicsStateInstruction.h"
#include "engine/drawing/GridInstruction.h"
#include "engine/drawing/ImageInstruction.h"
#include "engine/drawing/OvalInstruction.h"
#include "engine/drawing/PathInstruction.h"
#include "engine/drawing/QuartzPathInstruction.h"
#include "engine/drawing/RenderStrategy.h"
#include "engine/drawing/TextInstruction.h"
#include "engine/model/Layer.h"
#include "engine/services/TextCalculationService.h"
#include "platform/graphics/Path.h"
#include "tests/support/EngineServices.h"
#include "platform/foundation/OwnedList.h"

namespace {

using testsupport::RegisteredTextService;

constexpr double kPi = 3.14159265358979323846;

// The list that owns what it receives, as the viewer's render layers do.
struct OwnedList {
    tDrawingInstructions list;
    ~OwnedList() { platform::DeleteAll(list); }
};

std::string Printf(const char* format, const void* pointer, const char* rest = "") {
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, format, pointer, rest);
    return buffer;
}

void ExpectRect(const tDoubleRect& actual, double minY, double minX, double maxY, double maxX, const std::string& name,
                double tolerance = 1e-9) {
    EXPECT_NEAR(actual.minY, minY, tolerance) << name << " min y";
    EXPECT_NEAR(actual.minX, minX, tolerance) << name << " min x";
    EXPECT_NEAR(actual.maxY, maxY, tolerance) << name << " max y";
    EXPECT_NEAR(actual.maxX, maxX, tolerance) << name << " max x";
}

// Points along an arc drawn as the painter draws it: from `start`, going
// towards growing angles for direction 0 and falling ones otherwise, until
// `end` is reached (going round when it lies behind).
std::vector<CPoint> SampleArc(const CPoint& centre, double radius, double start, double end, int direction) {
    double sweep = end - start;
    if (direction == 0) {
        while (sweep < 0.0) sweep += 360.0;
    } else {
        while (sweep > 0.0) sweep -= 360.0;
    }
    std::vector<CPoint> points;
    for (int i = 0; i <= 3600; ++i) {
        const double a = (start + sweep * i / 3600.0) * kPi / 180.0;
        points.emplace_back(centre.x + radius * std::cos(a), centre.y + radius * std::sin(a));
    }
    return points;
}

// Every sample inside the bounds shrunk by `margin`, and each side touched
// by some sample to within `slack`.
void ExpectTightBounds(const tDoubleRect& bounds, const std::vector<CPoint>& samples, double margin, double slack,
                       const std::string& name) {
    double minX = DBL_MAX, minY = DBL_MAX, maxX = -DBL_MAX, maxY = -DBL_MAX;
    for (const CPoint& p : samples) {
        minX = std::min(minX, p.x);
        minY = std::min(minY, p.y);
        maxX = std::max(maxX, p.x);
        maxY = std::max(maxY, p.y);
    }
    EXPECT_LE(bounds.minX + margin, minX + 1e-9) << name;
    EXPECT_LE(bounds.minY + margin, minY + 1e-9) << name;
    EXPECT_GE(bounds.maxX - margin, maxX - 1e-9) << name;
    EXPECT_GE(bounds.maxY - margin, maxY - 1e-9) << name;
    EXPECT_NEAR(bounds.minX + margin, minX, slack) << name;
    EXPECT_NEAR(bounds.minY + margin, minY, slack) << name;
    EXPECT_NEAR(bounds.maxX - margin, maxX, slack) << name;
    EXPECT_NEAR(bounds.maxY - margin, maxY, slack) << name;
}

}  // namespace

TEST(DrawingInstructions, StyleWordsSetFillAndStroke) {
    struct Case {
        const char* name;
        int style;
        bool fill;
        bool stroke;
    };
    const Case cases[] = {
        {"stroke only", 1, false, true},
        {"fill only", 2, true, false},
        {"both", 3, true, true},
        {"neither", 0, false, false},
        {"higher bits ignored", 4 | 2, true, false},
    };
    for (const Case& c : cases) {
        CPathDrawingInstruction path(c.style, true, CColor::Gray20(), CColor::Gray90());
        EXPECT_EQ(path.mUseFill, c.fill) << c.name;
        EXPECT_EQ(path.mUseStroke, c.stroke) << c.name;
        EXPECT_TRUE(path.mUsePattern) << c.name;
        // and the setter after construction, from the opposite state
        path.SetStyle(c.style ^ 3);
        EXPECT_EQ(path.mUseFill, !c.fill) << c.name << " after SetStyle";
        EXPECT_EQ(path.mUseStroke, !c.stroke) << c.name << " after SetStyle";
    }
}

TEST(DrawingInstructions, DefaultsAndFixedColoursOfEachKind) {
    const CPathDrawingInstruction path(1, false, CColor::White(), CColor::Black());
    EXPECT_EQ(path.mLineCapStyle, 0);
    EXPECT_TRUE(path.mPathMicroInstructions.empty());
    EXPECT_EQ(path.mLineWidth, 1.0);
    EXPECT_FALSE(path.mDrawWithDash);
    EXPECT_EQ(path.mDashPattern[0], 1.0);
    EXPECT_EQ(path.mDashPattern[1], 1.0);
    EXPECT_EQ(path.mScale, 1.0);
    EXPECT_EQ(path.mBounds, tDoubleRect{});
    EXPECT_FALSE(path.GetOwnerLayer().has_value());
    EXPECT_TRUE(path.GetIdentifier().empty());

    const CTextDrawingInstruction text(2, false, CColor::White(), CColor::Black());
    EXPECT_EQ(text.mTextSize, 12);
    EXPECT_EQ(text.mOutlineWidth, 0);
    EXPECT_EQ(text.mRotationAngle, 0.0);
    EXPECT_TRUE(text.mText.empty());
    EXPECT_TRUE(text.mFontName.empty());

    const COvalDrawingInstruction oval(2, false, CColor::White(), CColor::Black());
    EXPECT_EQ(oval.mRadiusX, 1.0);
    EXPECT_EQ(oval.mRadiusY, 1.0);
    EXPECT_EQ(oval.mLineWidth, 1.0);
    EXPECT_EQ(oval.mStartAngle, 0.0);
    EXPECT_EQ(oval.mEndAngle, 360.0);
    EXPECT_EQ(oval.mRotationAngle, 0.0);
    EXPECT_FALSE(oval.mDrawWithDash);

    const CImageDrawingInstruction image(nullptr, 0.0, 0.0);
    EXPECT_TRUE(image.mUseFill);
    EXPECT_FALSE(image.mUseStroke);
    EXPECT_FALSE(image.mUsePattern);
    EXPECT_EQ(image.mFillColor, CColor(0.5, 1.0));
    EXPECT_EQ(image.mStrokeColor, CColor(0.5, 1.0));
    EXPECT_EQ(image.mAlpha, 1.0);
    EXPECT_EQ(image.mRotationAngle, 0.0);

    const CColor gridColor(0.1, 0.2, 0.3, 0.4);
    const CGridDrawingInstruction grid(true, gridColor, 1, 2, 3, 4, 25, 2);
    EXPECT_TRUE(grid.mUseFill);
    EXPECT_FALSE(grid.mUseStroke);
    EXPECT_EQ(grid.mFillColor, gridColor);
    EXPECT_EQ(grid.mStrokeColor, gridColor);
    EXPECT_TRUE(grid.mClearBackground);
    EXPECT_EQ(grid.mGridSpacing, 25.0);
    EXPECT_EQ(grid.mGridZoom, 2.0);

    const CGraphicsStateDrawingInstruction state(CGraphicsStateDrawingInstruction::kRestore);
    EXPECT_TRUE(state.mUseFill);
    EXPECT_FALSE(state.mUseStroke);
    EXPECT_EQ(state.mFillColor, CColor(0.25, 1.0));
    EXPECT_EQ(state.mStrokeColor, CColor(0.25, 1.0));
    EXPECT_EQ(state.mOperation, 2);
}

TEST(DrawingInstructions, PathBoundsOfLines) {
    CPathDrawingInstruction path(1, false, CColor::White(), CColor::Black());
    path.AddLineTo(CPoint(0, 0));
    path.AddLineTo(CPoint(10, 5));
    path.CalcBoundingBox();
    // widened by the full line width
    ExpectRect(path.mBounds, -1, -1, 6, 11, "two points, width 1");

    // start-new and clip steps add nothing
    path.StartNewPath();
    path.AddClip();
    path.mLineWidth = 0.5;
    path.CalcBoundingBox();
    ExpectRect(path.mBounds, -0.5, -0.5, 5.5, 10.5, "with start-new and clip, width 0.5");

    // an empty path stays inverted and meets no area
    CPathDrawingInstruction empty(1, false, CColor::White(), CColor::Black());
    empty.CalcBoundingBox();
    EXPECT_EQ(empty.mBounds.minY, DBL_MAX);
    EXPECT_EQ(empty.mBounds.minX, DBL_MAX);
    EXPECT_EQ(empty.mBounds.maxY, -DBL_MAX);
    EXPECT_EQ(empty.mBounds.maxX, -DBL_MAX);
}

TEST(DrawingInstructions, PathBoundsOfLinesAndArcsHoldEveryPoint) {
    struct Arc {
        CPoint centre;
        double radius;
        double start;
        double end;
        int direction;
    };
    struct Case {
        const char* name;
        std::vector<CPoint> before;
        Arc arc;
        std::vector<CPoint> after;
    };
    const Case cases[] = {
        {"arc over the top between two short lines",
         {CPoint(-1, -1), CPoint(2, 0)},
         {CPoint(0, 0), 5, 45, 135, 0},
         {CPoint(0, 1)}},
        {"quarter arc continuing a line, then a line beyond it",
         {CPoint(0, 0), CPoint(10, 0)},
         {CPoint(10, 10), 10, -90, 0, 0},
         {CPoint(20, 30)}},
        {"arc far from the lines grows the box, never replaces it",
         {CPoint(0, 0), CPoint(1, 1)},
         {CPoint(100, 50), 3, 0, 180, 0},
         {}},
        {"lines after an arc keep the arc's extent", {}, {CPoint(0, 0), 20, 180, 270, 0}, {CPoint(1, 1), CPoint(2, 2)}},
        {"direction 0 to an end behind the start goes the long way round",
         {CPoint(0, 0)},
         {CPoint(0, 0), 10, 0, -90, 0},
         {}},
        {"direction 1 runs towards falling angles", {CPoint(0, 0)}, {CPoint(0, 0), 10, 0, -90, 1}, {}},
        {"direction 1 to an end beyond the start goes the long way round",
         {CPoint(0, 0)},
         {CPoint(0, 0), 10, 0, 90, 1},
         {}},
    };
    for (const Case& c : cases) {
        CPathDrawingInstruction path(1, false, CColor::White(), CColor::Black());
        path.mLineWidth = 0.25;
        std::vector<CPoint> samples;
        for (const CPoint& p : c.before) {
            path.AddLineTo(p);
            samples.push_back(p);
        }
        path.AddArc(c.arc.centre, c.arc.direction, c.arc.start, c.arc.end, c.arc.radius);
        for (const CPoint& p : SampleArc(c.arc.centre, c.arc.radius, c.arc.start, c.arc.end, c.arc.direction))
            samples.push_back(p);
        for (const CPoint& p : c.after) {
            path.AddLineTo(p);
            samples.push_back(p);
        }
        path.CalcBoundingBox();
        ExpectTightBounds(path.mBounds, samples, 0.25, 1e-3, c.name);
    }

    // The first case worked by hand: x from cos 135 x 5 to cos 45 x 5, y from
    // the line's -1 to the arc's top at 5.
    CPathDrawingInstruction path(1, false, CColor::White(), CColor::Black());
    path.mLineWidth = 0.0;
    path.AddLineTo(CPoint(-1, -1));
    path.AddArc(CPoint(0, 0), 0, 45, 135, 5);
    path.CalcBoundingBox();
    const double r = 5.0 / std::sqrt(2.0);
    ExpectRect(path.mBounds, -1, -r, 5, r, "hand-worked arc");
}

TEST(DrawingInstructions, ArcStepsKeepTheirValuesAndZeroForNaN) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    CPathDrawingInstruction path(1, false, CColor::White(), CColor::Black());
    path.AddArc(CPoint(1, 2), 0, 30, 60, 7);
    path.AddArc(CPoint(1, 2), 1, nan, nan, nan);
    path.AddArc(CPoint(1, 2), 5, 10, nan, 3);
    ASSERT_EQ(path.mPathMicroInstructions.size(), 3u);

    const auto* plain = PathArcOf(path.mPathMicroInstructions[0]);
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(plain->mCenter.x, 1.0);
    EXPECT_EQ(plain->mCenter.y, 2.0);
    EXPECT_EQ(plain->mRadius, 7.0);
    EXPECT_EQ(plain->mStartAngle, 30.0);
    EXPECT_EQ(plain->mEndAngle, 60.0);
    EXPECT_EQ(plain->mDirection, 0);

    const auto* allNaN = PathArcOf(path.mPathMicroInstructions[1]);
    ASSERT_NE(allNaN, nullptr);
    EXPECT_EQ(allNaN->mStartAngle, 0.0);
    EXPECT_EQ(allNaN->mEndAngle, 0.0);
    EXPECT_EQ(allNaN->mRadius, 0.0);
    EXPECT_EQ(allNaN->mDirection, 1);

    const auto* endNaN = PathArcOf(path.mPathMicroInstructions[2]);
    ASSERT_NE(endNaN, nullptr);
    EXPECT_EQ(endNaN->mStartAngle, 10.0);
    EXPECT_EQ(endNaN->mEndAngle, 0.0);
    EXPECT_EQ(endNaN->mRadius, 3.0);
}

TEST(DrawingInstructions, StepsKeepTheirOrderAndClearEmptiesThePath) {
    CPathDrawingInstruction path(1, false, CColor::White(), CColor::Black());
    path.AddLineTo(CPoint(1, 1));
    path.StartNewPath();
    path.AddLineTo(CPoint(2, 2));
    path.AddArc(CPoint(0, 0), 0, 0, 90, 1);
    path.AddClip();
    ASSERT_EQ(path.mPathMicroInstructions.size(), 5u);
    EXPECT_NE(std::get_if<CPathLineToMicroInstruction>(&path.mPathMicroInstructions[0]), nullptr);
    EXPECT_NE(std::get_if<CPathStartNewMicroInstruction>(&path.mPathMicroInstructions[1]), nullptr);
    EXPECT_NE(std::get_if<CPathLineToMicroInstruction>(&path.mPathMicroInstructions[2]), nullptr);
    EXPECT_NE(PathArcOf(path.mPathMicroInstructions[3]), nullptr);
    EXPECT_NE(std::get_if<CPathAddClipMicroInstruction>(&path.mPathMicroInstructions[4]), nullptr);

    // Steps copied on their own (a list of steps growing past its room, or
    // a copy of it) carry their arc with them; the source keeps its own.
    CPathDrawingInstruction::tSteps copied = path.mPathMicroInstructions;
    for (int i = 0; i < 100; ++i) copied.emplace_back(CPathLineToMicroInstruction(CPoint(i, i, 1)));
    const CPathArcMicroInstruction* arc = PathArcOf(copied[3]);
    ASSERT_NE(arc, nullptr);
    EXPECT_NE(arc, PathArcOf(path.mPathMicroInstructions[3]));
    EXPECT_EQ(arc->mRadius, 1.0);
    EXPECT_EQ(arc->mEndAngle, 90.0);
    const CPoint last = std::get<CPathLineToMicroInstruction>(copied.back()).mPoint;
    EXPECT_EQ(last.z, 1.0);
    EXPECT_EQ(last.x, 99.0);

    path.ClearPathMicroInstructions();
    EXPECT_TRUE(path.mPathMicroInstructions.empty());
    EXPECT_EQ(PathArcOf(copied[3])->mRadius, 1.0);
}

TEST(DrawingInstructions, CopiesStartWithZeroBoundsAndAnEmptyPath) {
    CLayer layer("Tracks");
    CPathDrawingInstruction source(3, true, CColor::Gray20(), CColor::Gray60());
    source.mLineCapStyle = 2;
    source.mLineWidth = 4.5;
    source.mDrawWithDash = true;
    source.mDashPattern = {3.0, 2.0};
    source.AddLineTo(CPoint(5, 5));
    source.AddLineTo(CPoint(9, 9));
    source.SetOwnerLayer(&layer);
    source.SetIdentifier("element-1");
    source.CalcBoundingBox();
    ASSERT_NE(source.mBounds, tDoubleRect{});

    const CPathDrawingInstruction copy(source);
    EXPECT_EQ(copy.mBounds, tDoubleRect{});
    EXPECT_TRUE(copy.mPathMicroInstructions.empty());
    EXPECT_EQ(source.mPathMicroInstructions.size(), 2u);  // the source keeps its own
    EXPECT_TRUE(copy.mUseFill);
    EXPECT_TRUE(copy.mUseStroke);
    EXPECT_TRUE(copy.mUsePattern);
    EXPECT_EQ(copy.mFillColor, CColor::Gray20());
    EXPECT_EQ(copy.mStrokeColor, CColor::Gray60());
    EXPECT_EQ(copy.mLineCapStyle, 2);
    EXPECT_EQ(copy.mLineWidth, 4.5);
    EXPECT_TRUE(copy.mDrawWithDash);
    EXPECT_EQ(copy.mDashPattern[0], 3.0);
    EXPECT_EQ(copy.mDashPattern[1], 2.0);
    ASSERT_TRUE(copy.GetOwnerLayer().has_value());
    EXPECT_EQ(copy.GetOwnerLayer()->mName, "Tracks");
    EXPECT_EQ(copy.GetIdentifier(), "element-1");

    COvalDrawingInstruction oval(2, false, CColor::White(), CColor::Black());
    oval.mRadiusX = 4;
    oval.CalcBoundingBox();
    const COvalDrawingInstruction ovalCopy(oval);
    EXPECT_EQ(ovalCopy.mBounds, tDoubleRect{});
    EXPECT_EQ(ovalCopy.mRadiusX, 4.0);
}

TEST(DrawingInstructions, EllipsesAreBoundedByBothRadiiAndTheirTurn) {
    struct Case {
        const char* name;
        double rx;
        double ry;
        double turn;
        double lineWidth;
    };
    const Case cases[] = {
        {"circle", 7, 7, 0, 1},
        {"tall ellipse, unturned", 5, 20, 0, 1},
        {"wide ellipse, unturned", 20, 5, 0, 2},
        {"tall ellipse, a quarter turn", 5, 20, 90, 1},
        {"ellipse turned 30 degrees", 12, 4, 30, 0.5},
        {"ellipse turned -100 degrees", 3, 9, -100, 1.5},
    };
    const CPoint centre(40, -15);
    for (const Case& c : cases) {
        COvalDrawingInstruction oval(1, false, CColor::White(), CColor::Black());
        oval.mPosition = centre;
        oval.mRadiusX = c.rx;
        oval.mRadiusY = c.ry;
        oval.mRotationAngle = c.turn;
        oval.mLineWidth = c.lineWidth;
        oval.CalcBoundingBox();

        // the ellipse (rx cos t, ry sin t), turned about its centre
        std::vector<CPoint> samples;
        const double turn = c.turn * kPi / 180.0;
        for (int i = 0; i < 7200; ++i) {
            const double t = 2.0 * kPi * i / 7200.0;
            const double ex = c.rx * std::cos(t);
            const double ey = c.ry * std::sin(t);
            samples.emplace_back(centre.x + ex * std::cos(turn) - ey * std::sin(turn),
                                 centre.y + ex * std::sin(turn) + ey * std::cos(turn));
        }
        ExpectTightBounds(oval.mBounds, samples, c.lineWidth, 1e-3, c.name);
    }

    // Radii 5 and 20 reach 20 up and down, not just 5.
    COvalDrawingInstruction tall(1, false, CColor::White(), CColor::Black());
    tall.mRadiusX = 5;
    tall.mRadiusY = 20;
    tall.CalcBoundingBox();
    ExpectRect(tall.mBounds, -21, -6, 21, 6, "radii 5 and 20 at the origin, width 1");
}

TEST(DrawingInstructions, OvalPointsFollowTheArcAnglesAndTheTurn) {
    COvalDrawingInstruction circle(1, false, CColor::White(), CColor::Black());
    circle.mPosition = CPoint(3, 4);
    circle.mRadiusX = circle.mRadiusY = 2;
    circle.mRotationAngle = 35;  // a circle reads the same whatever its turn
    for (double a : {0.0, 45.0, 90.0, 200.0}) {
        const CPoint p = circle.GetPointAt(a);
        EXPECT_NEAR(p.x, 3 + 2 * std::cos(a * kPi / 180), 1e-12) << a;
        EXPECT_NEAR(p.y, 4 + 2 * std::sin(a * kPi / 180), 1e-12) << a;
    }

    // An ellipse turned a quarter: its own x axis points up the plan's y.
    COvalDrawingInstruction ellipse(1, false, CColor::White(), CColor::Black());
    ellipse.mRadiusX = 10;
    ellipse.mRadiusY = 2;
    ellipse.mRotationAngle = 90;
    const CPoint tip = ellipse.GetPointAt(90);  // parameter 0: the end of the long axis
    EXPECT_NEAR(tip.x, 0, 1e-12);
    EXPECT_NEAR(tip.y, 10, 1e-12);
    const CPoint side = ellipse.GetPointAt(180);  // parameter 90: the end of the short axis
    EXPECT_NEAR(side.x, -2, 1e-12);
    EXPECT_NEAR(side.y, 0, 1e-12);
}

TEST(DrawingInstructions, ReadyMadePathsAreBoundedByEveryPointTheyHold) {
    // A line, then a curve whose control points reach further than it does.
    auto path = std::make_shared<platform::Path>();
    path->moveTo({2, 3});
    path->lineTo({10, 3});
    path->addCurveTo({14, -6}, {20, 12}, {12, 8});
    path->closePath();
    CQuartzPathDrawingInstruction quartz(path, kDrawingStyleFillAndStroke, true, CColor::Gray20(), CColor::Gray60());
    EXPECT_TRUE(quartz.mUseFill);
    EXPECT_TRUE(quartz.mUseStroke);
    EXPECT_TRUE(quartz.mUsePattern);
    quartz.CalcBoundingBox();
    ExpectRect(quartz.mBounds, -6, 2, 12, 20, "control points included, no line width");
    char expected[256];
    std::snprintf(expected, sizeof expected,
                  "CQuartzPathDrawingInstruction<%p> (mPath:%p, mUseFill:1, mUseStroke:1, "
                  "mFillColor:#FF333333, mStrokeColor:#FF999999)",
                  static_cast<const void*>(&quartz), static_cast<const void*>(path.get()));
    EXPECT_EQ(quartz.Dump(), expected);

    // A copy shares the path and starts with zero bounds.
    const CQuartzPathDrawingInstruction copy(quartz);
    EXPECT_EQ(copy.mPath, path);
    EXPECT_EQ(copy.mBounds, tDoubleRect{});

    CQuartzPathDrawingInstruction empty(std::make_shared<platform::Path>(), kDrawingStyleFill, false, CColor::White(),
                                        CColor::Black());
    empty.CalcBoundingBox();
    EXPECT_GT(empty.mBounds.minX, empty.mBounds.maxX) << "an empty path meets no area";

    CQuartzPathDrawingInstruction none(nullptr, kDrawingStyleFill, false, CColor::White(), CColor::Black());
    none.mBounds = {1, 2, 3, 4};
    none.CalcBoundingBox();
    EXPECT_EQ(none.mBounds, (tDoubleRect{1, 2, 3, 4})) << "without a path the bounds stay";
}

TEST(DrawingInstructions, ImageGridAndGraphicsStateBounds) {
    CImageDrawingInstruction empty(nullptr, 10, 20);
    empty.mPlacement = CPoint(3, 4);
    empty.CalcBoundingBox();
    EXPECT_EQ(empty.mBounds, tDoubleRect{});
    EXPECT_EQ(empty.Dump(), "CImageDrawingInstruction<empty>");

    // Any object stands for the platform picture: the instruction only holds it.
    auto owner = std::make_shared<int>(7);
    std::shared_ptr<const platform::Image> picture(owner, reinterpret_cast<const platform::Image*>(owner.get()));
    CImageDrawingInstruction image(picture, 10, 20);
    image.mPlacement = CPoint(3, 4);
    image.CalcBoundingBox();
    ExpectRect(image.mBounds, 4, 3, 24, 13, "image");
    char expected[128];
    std::snprintf(expected, sizeof expected, "CImageDrawingInstruction<%p> (mImage:%p)",
                  static_cast<const void*>(&image), static_cast<const void*>(owner.get()));
    EXPECT_EQ(image.Dump(), expected);
    // the instruction keeps the picture alive
    const long before = owner.use_count();
    {
        CImageDrawingInstruction another(picture, 1, 1);
        EXPECT_EQ(owner.use_count(), before + 1);
    }
    EXPECT_EQ(owner.use_count(), before);

    CGridDrawingInstruction grid(false, CColor::Gray50(), 1, 2, 30, 40, 10, 1);
    grid.CalcBoundingBox();
    ExpectRect(grid.mBounds, 2, 1, 42, 31, "grid");

    CGraphicsStateDrawingInstruction save(CGraphicsStateDrawingInstruction::kSave);
    save.CalcBoundingBox();
    EXPECT_EQ(save.mBounds, tDoubleRect{});
}

TEST(DrawingInstructions, TextBoundsComeFromTheMeasurementService) {
    CTextDrawingInstruction text(2, false, CColor::Black(), CColor::Black());
    text.mFontName = "DejaVu Sans";
    text.mTextSize = 14;
    text.mText = "Bahnhof";
    text.mPosition = CPoint(100, 50);
    text.mRotationAngle = 90;

    // without the service the bounds stay as they were
    text.CalcBoundingBox();
    EXPECT_EQ(text.mBounds, tDoubleRect{});

    VKMTextCalculationService& service = RegisteredTextService();
    const tDoubleRect measured = service.GetTextBounds("DejaVu Sans", 14, "Bahnhof", 90);
    ASSERT_GT(measured.maxY, measured.maxX);  // turned a quarter: taller than wide
    text.CalcBoundingBox();
    ExpectRect(text.mBounds, 50 + measured.minY, 100 + measured.minX, 50 + measured.maxY, 100 + measured.maxX,
               "text turned 90");
}

TEST(DrawingInstructions, Descriptions) {
    CPathDrawingInstruction path(2, false, CColor(0.0, 1.0, 0.0, 1.0), CColor::Black());
    path.AddLineTo(CPoint(0, 0));
    path.AddLineTo(CPoint(1, 0));
    path.StartNewPath();
    path.mLineWidth = 1.5;
    path.mDrawWithDash = true;
    EXPECT_EQ(path.Dump(), Printf("CPathDrawingInstruction<%p> (mPathMicroInstructions:3 points, mLineWidth:1.5, "
                                  "mDrawWithDash:1, mUseFill:1, mUseStroke:0, mFillColor:#FF00FF00, "
                                  "mStrokeColor:#FF000000)",
                                  &path));

    COvalDrawingInstruction oval(1, false, CColor::White(), CColor(1.0, 0.0, 0.0, 0.5));
    oval.mPosition = CPoint(1, 2);
    oval.mRadiusX = 5;
    oval.mRadiusY = 20;
    oval.mLineWidth = 2;
    EXPECT_EQ(oval.Dump(), Printf("COvalDrawingInstruction<%p> (mPosition:%s, mRadiusX:5.0, mRadiusY:20.0, "
                                  "mLineWidth:2.0, mDrawWithDash:0, mUseFill:0, mUseStroke:1, "
                                  "mFillColor:#FFFFFFFF, mStrokeColor:#7FFF0000)",
                                  &oval, oval.mPosition.Dump(3).c_str()));

    CTextDrawingInstruction text(2, false, CColor::Black(), CColor::White());
    text.mPosition = CPoint(7, 8);
    text.mText = "Depot";
    text.mFontName = "DejaVu Sans";
    text.mTextSize = 18;
    EXPECT_EQ(text.Dump(), Printf("CTextDrawingInstruction<%p> (mPosition:%s, mText:Depot, mFontName:DejaVu Sans, "
                                  "mTextSize:18, mUseFill:1, mUseStroke:0, mFillColor:#FF000000, "
                                  "mStrokeColor:#FFFFFFFF)",
                                  &text, text.mPosition.Dump(3).c_str()));

    const CGridDrawingInstruction grid(true, CColor::Gray50(), 0, 0, 1, 1, 1, 1);
    EXPECT_EQ(grid.Dump(), Printf("CGridDrawingInstruction<%p> (mClearBackground:1)", &grid));
    const CGraphicsStateDrawingInstruction state(2);
    EXPECT_EQ(state.Dump(), Printf("CGraphicsStateDrawingInstruction<%p> (mOperation:2)", &state));

    // descriptions are cut to 255 bytes
    text.mText = std::string(400, 'x');
    EXPECT_EQ(text.Dump().size(), 255u);
}

TEST(DrawingInstructions, AnInstructionOwnsItsIdentifierAndLayerCopy) {
    OwnedList output;
    auto layer = std::make_unique<CLayer>("Station");
    layer->SetVisible(false);
    layer->SetLayerType(CLayer::kBaseboardLayer);
    {
        CDrawingInstructionsRenderOptions options(&output.list, 2);
        options.mOwnerLayer = layer.get();
        options.mIdentifier = "5F0C2C1E-element";
        auto* path = new CPathDrawingInstruction(1, false, CColor::White(), CColor::Black());
        path->AddLineTo(CPoint(2, 3));
        options.AddInstruction(path);

        // the next element's identifier must not show through
        options.mIdentifier = "another element";
        options.mOwnerLayer = nullptr;
        options.AddInstruction(new CGraphicsStateDrawingInstruction(1));
    }
    // the layer and the render options die before the list is painted
    layer.reset();

    ASSERT_EQ(output.list.size(), 2u);
    const CDrawingInstruction* first = output.list[0];
    EXPECT_EQ(first->GetIdentifier(), "5F0C2C1E-element");
    ASSERT_TRUE(first->GetOwnerLayer().has_value());
    EXPECT_EQ(first->GetOwnerLayer()->mName, "Station");
    EXPECT_FALSE(first->GetOwnerLayer()->mVisible);
    EXPECT_EQ(first->GetOwnerLayer()->mLayerType, CLayer::kBaseboardLayer);
    // AddInstruction computed the bounds
    ExpectRect(first->mBounds, 2, 1, 4, 3, "added path");

    EXPECT_EQ(output.list[1]->GetIdentifier(), "another element");
    EXPECT_FALSE(output.list[1]->GetOwnerLayer().has_value());
}

TEST(DrawingInstructions, AddingWithoutAnOutputListFailsCleanly) {
    CDrawingInstructionsRenderOptions options(nullptr, 1);
    EXPECT_THROW(options.AddInstruction(new CGraphicsStateDrawingInstruction(1)), std::runtime_error);
    // a null instruction is ignored
    OwnedList output;
    CDrawingInstructionsRenderOptions good(&output.list, 1);
    good.AddInstruction(static_cast<CDrawingInstruction*>(nullptr));
    EXPECT_TRUE(output.list.empty());
}
