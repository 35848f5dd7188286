// The painter's two roads for a path instruction: a polyline (line steps
// alone) goes straight into the context, anything else through a path built
// step by step. On the same polyline both roads must leave the same pixels;
// a trailing start-new step, which begins no sub-path since no line follows
// it, sends the same polyline down the general road.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "LayoutView/Drawing/VKMDrawingInstructionsPainter.h"
#include "engine/drawing/PathInstruction.h"
#include "tests/LayoutModule/LayoutModuleTestSupport.h"

namespace {

constexpr int kSize = 64;
// Per channel; the roads hand Cairo the same path, so any antialiasing
// difference beyond this is a real one.
constexpr int kTolerance = 2;
const platform::Rect kEverything{-1000, -1000, 3000, 3000};

struct tPolyline {
    std::string name;
    std::vector<CPoint> points;
    int style = kDrawingStyleStroke;
    double lineWidth = 1;
    int lineCap = 0;
    bool dashed = false;
    double zoom = 1;  // the context's scale, as the layout view zooms
};

enum class Road { Polyline, General, GeneralWithCallersPath };

std::unique_ptr<CPathDrawingInstruction> Instruction(const tPolyline& polyline, Road road) {
    auto path = std::make_unique<CPathDrawingInstruction>(polyline.style, false, CColor(0.1, 0.5, 0.9, 0.6),
                                                          CColor(0.9, 0.2, 0.1, 0.8));
    for (const CPoint& point : polyline.points) path->AddLineTo(point);
    if (road != Road::Polyline) path->StartNewPath();
    path->mLineWidth = polyline.lineWidth;
    path->mLineCapStyle = polyline.lineCap;
    path->mDrawWithDash = polyline.dashed;
    path->mDashPattern = {3.0, 2.0};
    path->CalcBoundingBox();
    return path;
}

std::unique_ptr<platform::BitmapContext> Paint(const tPolyline& polyline, Road road) {
    auto canvas = layouttest::Canvas(kSize, kSize);
    canvas->scale(polyline.zoom, polyline.zoom);
    const auto instruction = Instruction(polyline, road);
    if (road == Road::GeneralWithCallersPath) {
        // A path of the caller's in the context: the painter must keep out
        // of it, so it builds its own.
        canvas->moveTo({1, 1});
        canvas->lineTo({2, 2});
        VKMDrawingInstructionsPainter::drawPath(*canvas, *instruction);
        canvas->beginPath();
    } else {
        VKMDrawingInstructionsPainter::draw(*canvas, {instruction.get()}, kEverything, "PainterRoadsTest");
    }
    return canvas;
}

// Pixels whose channels differ by more than the tolerance, and whether
// anything was drawn at all (a case that draws nothing proves little).
struct tComparison {
    int different = 0;
    bool painted = false;
};

tComparison Compare(const platform::BitmapContext& a, const platform::BitmapContext& b) {
    tComparison result;
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            const platform::Pixel p = *a.pixel(x, y);
            const platform::Pixel q = *b.pixel(x, y);
            if (p.alpha != 0) result.painted = true;
            if (!layouttest::Near(p, q.red, q.green, q.blue, q.alpha, kTolerance)) ++result.different;
        }
    }
    return result;
}

std::vector<tPolyline> NamedCases() {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    return {
        {"filled triangle", {{5, 5, 0}, {60, 10, 0}, {20, 58, 0}}, kDrawingStyleFill},
        {"stroked zigzag, round caps", {{4, 50, 0}, {20, 10, 0}, {36, 50, 0}, {52, 10, 0}}, kDrawingStyleStroke, 3, 1},
        {"self-crossing star filled and stroked",
         {{32, 2, 0}, {50, 60, 0}, {2, 22, 0}, {62, 22, 0}, {14, 60, 0}, {32, 2, 0}},
         kDrawingStyleFillAndStroke,
         2},
        {"dashed line, square caps", {{4, 32, 0}, {60, 40, 0}}, kDrawingStyleStroke, 4, 2, true},
        {"one point, round cap", {{30, 30, 0}}, kDrawingStyleStroke, 8, 1},
        {"a point repeated", {{30, 30, 0}, {30, 30, 0}, {40, 30, 0}}, kDrawingStyleFillAndStroke, 5, 2},
        {"far outside the canvas", {{-1e6, -1e6, 0}, {1e6, 40, 0}, {20, 1e6, 0}}, kDrawingStyleFillAndStroke, 3},
        {"stroke too thin to draw", {{4, 4, 0}, {60, 60, 0}, {4, 60, 0}}, kDrawingStyleFillAndStroke, 0.01},
        {"points that are not numbers are left out",
         {{nan, 3, 0}, {5, 5, 0}, {inf, 9, 0}, {60, 8, 0}, {30, nan, 0}, {30, 60, 0}},
         kDrawingStyleFillAndStroke,
         2},
        {"zoomed in", {{1, 1, 0}, {6, 2, 0}, {3, 7, 0}}, kDrawingStyleFillAndStroke, 0.5, 0, true, 8},
        {"zoomed out, hairline", {{10, 10, 0}, {500, 90, 0}, {200, 600, 0}}, kDrawingStyleStroke, 0.3, 0, false, 0.1},
    };
}

// Seeded, so a failure names a case that can be painted again.
std::vector<tPolyline> RandomCases(int count) {
    std::mt19937 random(20240517);
    std::uniform_real_distribution<double> coordinate(-10, kSize + 10);
    std::uniform_real_distribution<double> width(0.05, 6);
    std::uniform_int_distribution<int> points(3, 12);
    std::uniform_int_distribution<int> style(kDrawingStyleStroke, kDrawingStyleFillAndStroke);
    std::uniform_int_distribution<int> cap(0, 2);
    std::vector<tPolyline> cases;
    for (int i = 0; i < count; ++i) {
        tPolyline polyline;
        polyline.name = "random " + std::to_string(i);
        for (int n = points(random); n > 0; --n)
            polyline.points.emplace_back(coordinate(random), coordinate(random), 0);
        polyline.style = style(random);
        polyline.lineWidth = width(random);
        polyline.lineCap = cap(random);
        polyline.dashed = random() % 4 == 0;
        cases.push_back(std::move(polyline));
    }
    return cases;
}

}  // namespace

TEST(PainterRoads, PolylinesPaintTheSameOnBothRoads) {
    layouttest::RegisterServices();
    std::vector<tPolyline> cases = NamedCases();
    for (tPolyline& polyline : RandomCases(150)) cases.push_back(std::move(polyline));
    int painted = 0;
    for (const tPolyline& polyline : cases) {
        SCOPED_TRACE(polyline.name);
        const auto fast = Paint(polyline, Road::Polyline);
        for (const Road road : {Road::General, Road::GeneralWithCallersPath}) {
            const tComparison comparison = Compare(*fast, *Paint(polyline, road));
            EXPECT_EQ(comparison.different, 0) << (road == Road::General ? "general road" : "with the caller's path");
            if (road == Road::General && comparison.painted) ++painted;
        }
    }
    // Nearly every case marks pixels; only the stroke too thin to draw and a
    // lone unstroked point may not.
    EXPECT_GE(painted, static_cast<int>(cases.size()) - 10);
}
