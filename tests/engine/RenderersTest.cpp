// Renderers as data: the instructions each track-style bit gives a straight
// and a curve in the fill and outline passes (kinds, order, points, colours,
// widths), polygons, ellipses, texts, hidden tunnels, marked elements,
// sleepers, dispatch by component type, and elements left untouched by
// drawing.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/drawing/DrawingOptions.h"
#include "engine/drawing/OvalInstruction.h"
#include "engine/drawing/PathInstruction.h"
#include "engine/drawing/RenderStrategy.h"
#include "engine/drawing/Renderers.h"
#include "engine/drawing/TextInstruction.h"
#include "engine/model/CompositeGeometry.h"
#include "engine/model/CurveBIG.h"
#include "engine/model/ElementComponents.h"
#include "engine/model/FlexTrackBIG.h"
#include "engine/model/Layer.h"
#include "engine/model/OvalBIG.h"
#include "engine/model/PolyBIG.h"
#include "engine/model/StraightBIG.h"
#include "engine/model/TextBIG.h"
#include "engine/services/TextCalculationService.h"
#include "tests/support/EngineServices.h"
#include "tests/support/LogWatch.h"
#include "platform/foundation/OwnedList.h"

namespace {

using testsupport::RecentLines;
using testsupport::RegisteredTextService;

constexpr double kPi = 3.14159265358979323846;
constexpr int kFill = CDrawingInstructionsRenderOptions::kFillPass;
constexpr int kOutline = CDrawingInstructionsRenderOptions::kOutlinePass;

// Colours that tell the roles apart.
const CColor kFirst(0.8, 0.1, 0.1, 1.0);   // element fill
const CColor kSecond(0.1, 0.1, 0.8, 1.0);  // element outline
const CColor kMarked(0.9, 0.6, 0.0, 1.0);  // given marked colour
const CColor kRail(0.975, 1.0);            // the viewer's light rail colour

// Owns what the renderers append.
struct OwnedList {
    tDrawingInstructions list;
    ~OwnedList() { Clear(); }
    void Clear() { platform::DeleteAll(list); }
};

// A straight of length 100 at offset 0: its centre line runs at y = gauge
// from x 0 to 100 in the element. Gauge 10, bed 20, rail 1.
CStraightBIG* NewStraight(double length = 100.0) {
    auto* straight = new CStraightBIG();
    straight->SetLength(length);
    straight->SetGauge(10.0);
    straight->SetTrackbedWidth(20.0);
    straight->SetRailWidth(1.0);
    return straight;
}

CCurveBIG* NewCurve() {
    auto* curve = new CCurveBIG();
    curve->SetRadius(100.0);
    curve->SetArcAngle(90.0);
    curve->SetGauge(10.0);
    curve->SetTrackbedWidth(20.0);
    curve->SetRailWidth(1.0);
    return curve;
}

std::unique_ptr<CCompositeGeometry> NewElement(CBasicGeometry* component, const CPoint& position = CPoint(1000, 2000)) {
    auto element = std::make_unique<CCompositeGeometry>();
    element->GetComponents().push_back(component);
    element->SetPosition(position);
    element->SetFirstColor(kFirst);
    element->SetSecondColor(kSecond);
    element->UpdateJoints();
    return element;
}

// Renders one pass of the element into `output`.
void RenderPass(CCompositeGeometry& element, int style, int pass, OwnedList& output, bool marked = false,
                bool tunnelHidden = false, bool fill = true) {
    CDrawingInstructionsRenderStrategy strategy;
    CDrawingInstructionsRenderOptions renderOptions(&output.list, pass);
    element.SetSecondFlag(marked);
    CDrawingOptions options(element, style, tunnelHidden, kMarked);
    options.mFill = fill;
    options.mRailColor = kRail;
    options.mRenderOptions = &renderOptions;
    element.Render(&strategy, element.GetPosition(), options);
}

const CPathDrawingInstruction& AsPath(const CDrawingInstruction* instruction) {
    const auto* path = dynamic_cast<const CPathDrawingInstruction*>(instruction);
    if (path == nullptr) throw std::logic_error("not a path instruction");
    return *path;
}

std::vector<CPoint> LinePoints(const CDrawingInstruction* instruction) {
    std::vector<CPoint> points;
    for (const auto& step : AsPath(instruction).mPathMicroInstructions) {
        const auto* line = std::get_if<CPathLineToMicroInstruction>(&step);
        if (line == nullptr) throw std::logic_error("not a line-to step");
        points.push_back(line->mPoint);
    }
    return points;
}

void ExpectPoints(const std::vector<CPoint>& actual, const std::vector<CPoint>& expected, const std::string& name) {
    ASSERT_EQ(actual.size(), expected.size()) << name;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_NEAR(actual[i].x, expected[i].x, 1e-9) << name << " point " << i;
        EXPECT_NEAR(actual[i].y, expected[i].y, 1e-9) << name << " point " << i;
        EXPECT_EQ(actual[i].z, 0.0) << name << " point " << i;
    }
}

// Stroke-only path in `stroke` at `width`.
void ExpectStroke(const CDrawingInstruction* instruction, const CColor& stroke, double width, const std::string& name) {
    const CPathDrawingInstruction& path = AsPath(instruction);
    EXPECT_FALSE(path.mUseFill) << name;
    EXPECT_TRUE(path.mUseStroke) << name;
    EXPECT_FALSE(path.mUsePattern) << name;
    EXPECT_EQ(path.mFillColor, CColor::White()) << name;
    EXPECT_EQ(path.mStrokeColor, stroke) << name;
    EXPECT_NEAR(path.mLineWidth, width, 1e-12) << name;
}

// Lines of the straight in the layout (element at (1000, 2000)): the line
// at lateral offset o runs at y = 2000 + 10 + o.
std::vector<CPoint> StraightLine(double lateralOffset) {
    return {CPoint(1000, 2010 + lateralOffset), CPoint(1100, 2010 + lateralOffset)};
}

// The closed outline between two lines: first forward, second backward,
// first point again.
std::vector<CPoint> ClosedBetween(double first, double second) {
    const auto a = StraightLine(first);
    const auto b = StraightLine(second);
    return {a[0], a[1], b[1], b[0], a[0]};
}

std::string LastLogLines() {
    std::string all;
    for (const std::string& line : RecentLines(20)) all += line + "\n";
    return all;
}

// A component of a type code no renderer knows.
class CUnknownComponent : public CBasicGeometry {
public:
    std::string Dump(int) const override { return "unknown"; }
    tDoubleRect CalcBoundingBox(double) override { return {}; }
    void UpdateJoints(const CPoint&, const CGradeVector&, int, double) override {}
    int GetType() const override { return 7; }
};

}  // namespace

TEST(Renderers, StraightFillPassPerStyle) {
    struct Case {
        const char* name;
        int style;
        std::vector<CPoint> outline;
    };
    const Case cases[] = {
        {"plain: between the rails", 0, ClosedBetween(-5, 5)},
        {"rails only matter in the outline pass", 64 | 8 | 128, ClosedBetween(-5, 5)},
        {"single line: between plus and minus the rail width", 4, ClosedBetween(-1, 1)},
        {"bed: the bed outline", 32, ClosedBetween(-10, 10)},
        {"rail colour: the bed outline", 512, ClosedBetween(-10, 10)},
        {"bed wins over single line", 4 | 32, ClosedBetween(-10, 10)},
    };
    for (const Case& c : cases) {
        auto element = NewElement(NewStraight());
        OwnedList output;
        RenderPass(*element, c.style, kFill, output);
        ASSERT_EQ(output.list.size(), 1u) << c.name;
        const CPathDrawingInstruction& fill = AsPath(output.list[0]);
        EXPECT_TRUE(fill.mUseFill) << c.name;
        EXPECT_FALSE(fill.mUseStroke) << c.name;
        EXPECT_FALSE(fill.mUsePattern) << c.name;
        EXPECT_EQ(fill.mFillColor, kFirst) << c.name;
        EXPECT_EQ(fill.mStrokeColor, CColor::Black()) << c.name;
        EXPECT_EQ(fill.mLineWidth, 1.0) << c.name;
        ExpectPoints(LinePoints(output.list[0]), c.outline, c.name);
    }
}

TEST(Renderers, StraightOutlinePassPerStyle) {
    // Joint 0 at (0, 10) points along +x, joint 1 at (100, 10) back along
    // -x: the end lines run across the bed at each end.
    const std::vector<CPoint> joint0End{CPoint(1000, 2000), CPoint(1000, 2020)};
    const std::vector<CPoint> joint1End{CPoint(1100, 2020), CPoint(1100, 2000)};
    struct Expected {
        std::vector<CPoint> points;
        CColor stroke;
        double width;
    };
    struct Case {
        const char* name;
        int style;
        std::vector<Expected> lines;
    };
    const double thick = 10.0 / 3.0;
    const Case cases[] = {
        {"nothing", 0, {}},
        {"joint ends", 8, {{joint0End, kSecond, 1}, {joint1End, kSecond, 1}}},
        {"rails at the rail width", 64, {{StraightLine(-5), kSecond, 1}, {StraightLine(5), kSecond, 1}}},
        {"single-line rails", 4 | 64, {{StraightLine(-1), kSecond, 1}, {StraightLine(1), kSecond, 1}}},
        {"bed lines at the base width", 32, {{StraightLine(-10), kSecond, 1}, {StraightLine(10), kSecond, 1}}},
        {"centre line at the rail width", 128, {{StraightLine(0), kSecond, 1}}},
        {"everything, in order",
         8 | 32 | 64 | 128,
         {{joint0End, kSecond, 1},
          {joint1End, kSecond, 1},
          {StraightLine(-5), kSecond, 1},
          {StraightLine(5), kSecond, 1},
          {StraightLine(-10), kSecond, 1},
          {StraightLine(10), kSecond, 1},
          {StraightLine(0), kSecond, 1}}},
        {"rail colour: thick rails only, no bed or centre lines",
         32 | 64 | 128 | 512,
         {{StraightLine(-5), kRail, thick}, {StraightLine(5), kRail, thick}}},
        {"rail colour keeps the joint ends in the outline colour",
         8 | 64 | 512,
         {{joint0End, kSecond, 1},
          {joint1End, kSecond, 1},
          {StraightLine(-5), kRail, thick},
          {StraightLine(5), kRail, thick}}},
        {"rail colour alone draws nothing", 512, {}},
    };
    for (const Case& c : cases) {
        auto element = NewElement(NewStraight());
        OwnedList output;
        RenderPass(*element, c.style, kOutline, output);
        ASSERT_EQ(output.list.size(), c.lines.size()) << c.name;
        for (std::size_t i = 0; i < c.lines.size(); ++i) {
            const std::string name = std::string(c.name) + " #" + std::to_string(i);
            ExpectStroke(output.list[i], c.lines[i].stroke, c.lines[i].width, name);
            ExpectPoints(LinePoints(output.list[i]), c.lines[i].points, name);
        }
    }
}

TEST(Renderers, RailWidthsFollowTheComponent) {
    struct Case {
        const char* name;
        double railWidth;
        double gauge;
        int style;
        double expected;
    };
    const Case cases[] = {
        {"thin rails", 0.5, 10, 64, 0.5},
        {"broad rails", 2.5, 10, 64, 2.5},
        {"thick: raised to a third of the gauge", 0.5, 9, 64 | 512, 3.0},
        {"thick: a rail broader than a third stays", 4.0, 9, 64 | 512, 4.0},
    };
    for (const Case& c : cases) {
        CStraightBIG* straight = NewStraight();
        straight->SetRailWidth(c.railWidth);
        straight->SetGauge(c.gauge);
        auto element = NewElement(straight);
        OwnedList output;
        RenderPass(*element, c.style, kOutline, output);
        ASSERT_EQ(output.list.size(), 2u) << c.name;
        EXPECT_EQ(AsPath(output.list[0]).mLineWidth, c.expected) << c.name;
        EXPECT_EQ(AsPath(output.list[1]).mLineWidth, c.expected) << c.name;
    }

    // The base line width of the options sets bed and joint-end lines.
    auto element = NewElement(NewStraight());
    OwnedList output;
    CDrawingInstructionsRenderStrategy strategy;
    CDrawingInstructionsRenderOptions renderOptions(&output.list, kOutline);
    renderOptions.mBaseLineWidth = 0.25;
    CDrawingOptions options(*element, 8 | 32, false, kMarked);
    options.mRenderOptions = &renderOptions;
    element->Render(&strategy, element->GetPosition(), options);
    ASSERT_EQ(output.list.size(), 4u);
    for (const CDrawingInstruction* line : output.list) EXPECT_EQ(AsPath(line).mLineWidth, 0.25);
}

TEST(Renderers, MiddleRailAttributeAddsACentreLineToTheRails) {
    CStraightBIG* straight = NewStraight();
    straight->SetComponentAttribute(2);
    auto element = NewElement(straight);
    OwnedList output;
    RenderPass(*element, 64, kOutline, output);
    ASSERT_EQ(output.list.size(), 3u);
    ExpectPoints(LinePoints(output.list[2]), StraightLine(0), "middle rail");
    EXPECT_EQ(AsPath(output.list[2]).mLineWidth, 1.0);

    // bed lines are not rails: no middle line with them alone
    output.Clear();
    RenderPass(*element, 32, kOutline, output);
    EXPECT_EQ(output.list.size(), 2u);
}

TEST(Renderers, DisabledJointGetsNoEndLine) {
    CStraightBIG* straight = NewStraight();
    straight->DisableJoint(1);
    auto element = NewElement(straight);
    OwnedList output;
    RenderPass(*element, 8, kOutline, output);
    ASSERT_EQ(output.list.size(), 1u);
    ExpectPoints(LinePoints(output.list[0]), {CPoint(1000, 2000), CPoint(1000, 2020)}, "joint 0 only");

    straight->DisableJoint(0);
    output.Clear();
    RenderPass(*element, 8, kOutline, output);
    EXPECT_TRUE(output.list.empty());
}

TEST(Renderers, ElementAngleTurnsTheStraight) {
    auto element = NewElement(NewStraight());
    element->SetAngle(90);
    element->SetPosition(CPoint(0, 0));
    element->UpdateJoints();
    // The straight turns about the middle of its centre line, (50, 10) at
    // angle 0; SetAngle also moves it to keep the box centre in place, so
    // take the centre from the centre line drawn at 128.
    OwnedList output;
    RenderPass(*element, 64 | 128, kOutline, output);
    ASSERT_EQ(output.list.size(), 3u);
    const auto a = LinePoints(output.list[0]);
    const auto b = LinePoints(output.list[1]);
    const auto centre = LinePoints(output.list[2]);
    ASSERT_EQ(a.size(), 2u);
    // a quarter turn: every line runs along y, 100 long
    for (const auto* line : {&a, &b, &centre}) {
        EXPECT_NEAR((*line)[0].x, (*line)[1].x, 1e-9);
        EXPECT_NEAR((*line)[1].y - (*line)[0].y, 100.0, 1e-9);
    }
    // the rail at minus half the gauge lies to the right of travel (+x)
    EXPECT_NEAR(a[0].x - centre[0].x, 5.0, 1e-9);
    EXPECT_NEAR(b[0].x - centre[0].x, -5.0, 1e-9);
}

TEST(Renderers, CurveLinesLieOnTheirCircles) {
    struct Case {
        const char* name;
        int style;
        int pass;
        std::vector<double> radii;  // one per instruction; 0 marks a fill outline
    };
    const Case cases[] = {
        {"rails", 64, kOutline, {95, 105}},
        {"bed lines", 32, kOutline, {90, 110}},
        {"centre line", 128, kOutline, {100}},
        {"single-line rails", 4 | 64, kOutline, {99, 101}},
        {"thick rails", 64 | 512 | 32 | 128, kOutline, {95, 105}},
    };
    for (const Case& c : cases) {
        CCurveBIG* curve = NewCurve();
        auto element = NewElement(curve, CPoint(300, 400));
        const CPoint centre = curve->GetCenterPoint(0.0);
        OwnedList output;
        RenderPass(*element, c.style, c.pass, output);
        ASSERT_EQ(output.list.size(), c.radii.size()) << c.name;
        for (std::size_t i = 0; i < c.radii.size(); ++i) {
            const auto points = LinePoints(output.list[i]);
            ASSERT_GE(points.size(), 3u) << c.name;
            for (const CPoint& p : points)
                EXPECT_NEAR(std::hypot(p.x - 300 - centre.x, p.y - 400 - centre.y), c.radii[i], 1e-6)
                    << c.name << " #" << i;
            // a quarter of the circle from the first point to the last
            const double start = std::atan2(points.front().y - 400 - centre.y, points.front().x - 300 - centre.x);
            const double end = std::atan2(points.back().y - 400 - centre.y, points.back().x - 300 - centre.x);
            double sweep = (end - start) * 180.0 / kPi;
            if (sweep < 0) sweep += 360.0;
            EXPECT_NEAR(sweep, 90.0, 1e-6) << c.name << " #" << i;
        }
    }

    // Fill pass with the bed: the inner bed arc forward, the outer backward,
    // closed at the first point.
    CCurveBIG* curve = NewCurve();
    auto element = NewElement(curve, CPoint(300, 400));
    const CPoint centre = curve->GetCenterPoint(0.0);
    OwnedList output;
    RenderPass(*element, 32, kFill, output);
    ASSERT_EQ(output.list.size(), 1u);
    const auto points = LinePoints(output.list[0]);
    ASSERT_GE(points.size(), 5u);
    // the inner arc's points first, then the outer arc's
    std::size_t firstOuter = 0;
    while (firstOuter < points.size() &&
           std::fabs(std::hypot(points[firstOuter].x - 300 - centre.x, points[firstOuter].y - 400 - centre.y) - 90.0) <
               1e-6)
        ++firstOuter;
    ASSERT_GE(firstOuter, 2u);
    for (std::size_t i = firstOuter; i + 1 < points.size(); ++i)
        EXPECT_NEAR(std::hypot(points[i].x - 300 - centre.x, points[i].y - 400 - centre.y), 110.0, 1e-6)
            << "bed fill point " << i;
    EXPECT_GE(points.size() - 1 - firstOuter, 2u);
    EXPECT_NEAR(points.back().x, points.front().x, 1e-12);
    EXPECT_NEAR(points.back().y, points.front().y, 1e-12);
    // the outer arc runs backward: it ends beside the inner arc's start
    const CPoint& innerStart = points.front();
    const CPoint& outerEnd = points[points.size() - 2];
    EXPECT_NEAR(std::atan2(innerStart.y - 400 - centre.y, innerStart.x - 300 - centre.x),
                std::atan2(outerEnd.y - 400 - centre.y, outerEnd.x - 300 - centre.x), 1e-9);
    EXPECT_EQ(AsPath(output.list[0]).mFillColor, kFirst);
}

TEST(Renderers, FlexTrackIsDrawnAlongItsCentreLine) {
    auto* flex = new CFlexTrackBIG(CPoint(0, 0), CPoint(200, 0), true, true, 0, 0, 500, 10, 20, 1);
    auto element = NewElement(flex, CPoint(10, 20));
    OwnedList output;
    RenderPass(*element, 64, kOutline, output);
    ASSERT_EQ(output.list.size(), 2u);
    // a straight flex track: 26 points each, at y -5 and +5 from its line
    const auto a = LinePoints(output.list[0]);
    const auto b = LinePoints(output.list[1]);
    ASSERT_EQ(a.size(), 26u);
    ASSERT_EQ(b.size(), 26u);
    EXPECT_NEAR(b[0].y - a[0].y, 10.0, 1e-9);
    EXPECT_NEAR(a.back().x - a.front().x, 200.0, 1e-9);
    EXPECT_NEAR(a.front().x, 10.0, 1e-9);  // moved by the position
}

TEST(Renderers, FillFlagPassValueAndMarkedState) {
    auto element = NewElement(NewStraight());
    OwnedList output;

    RenderPass(*element, 32, kFill, output, false, false, /*fill=*/false);
    EXPECT_TRUE(output.list.empty()) << "fill flag off";

    RenderPass(*element, 32 | 64, 0, output);
    RenderPass(*element, 32 | 64, 3, output);
    EXPECT_TRUE(output.list.empty()) << "other pass values";

    // marked: the fill carries the pattern flag, outlines take the marked
    // colour, also for rails in the rail-colour style
    RenderPass(*element, 32, kFill, output, /*marked=*/true);
    ASSERT_EQ(output.list.size(), 1u);
    EXPECT_TRUE(output.list[0]->mUsePattern);
    EXPECT_EQ(output.list[0]->mFillColor, kFirst);
    output.Clear();
    RenderPass(*element, 64 | 512, kOutline, output, /*marked=*/true);
    ASSERT_EQ(output.list.size(), 2u);
    ExpectStroke(output.list[0], kMarked, 10.0 / 3.0, "marked thick rail");

    // a locked colour fills instead of the element's
    element->GetComponents()[0]->SetFixedColor(CColor::Gray60());
    output.Clear();
    RenderPass(*element, 0, kFill, output);
    ASSERT_EQ(output.list.size(), 1u);
    EXPECT_EQ(output.list[0]->mFillColor, CColor::Gray60());
}

TEST(Renderers, HiddenTunnels) {
    struct Case {
        const char* name;
        bool marked;
        int pass;
        std::size_t count;
    };
    const Case cases[] = {
        {"unmarked, fill pass", false, kFill, 0},
        {"unmarked, outline pass", false, kOutline, 0},
        {"marked, fill pass", true, kFill, 0},
        {"marked, outline pass", true, kOutline, 2},
    };
    for (const Case& c : cases) {
        auto element = NewElement(NewStraight());
        OwnedList output;
        RenderPass(*element, 64, c.pass, output, c.marked, /*tunnelHidden=*/true);
        ASSERT_EQ(output.list.size(), c.count) << c.name;
        for (const CDrawingInstruction* line : output.list) ExpectStroke(line, kMarked, 1, c.name);
    }

    // Shapes: kept when made by the tunnel-portal generator or marked.
    struct ShapeCase {
        const char* name;
        int generator;
        bool marked;
        bool drawn;
    };
    const ShapeCase shapes[] = {
        {"plain polygon", 0, false, false},
        {"tunnel portal polygon", 5, false, true},
        {"polygon of another generator", 3, false, false},
        {"marked polygon", 0, true, true},
    };
    for (const ShapeCase& c : shapes) {
        CPolyBIG* poly = UElementComponents::CreatePolyComponent({CPoint(0, 0), CPoint(10, 0), CPoint(10, 5)}, 1,
                                                                 kPolyKindPolygon, 0, 0, 0);
        if (c.generator != 0) {
            poly->SetGenerated(true);
            poly->SetComponentGeneratorID(c.generator);
        }
        auto element = NewElement(poly);
        for (int pass : {kFill, kOutline}) {
            OwnedList output;
            RenderPass(*element, 0, pass, output, c.marked, /*tunnelHidden=*/true);
            EXPECT_EQ(output.list.size(), c.drawn ? 1u : 0u) << c.name << " pass " << pass;
        }
    }
}

TEST(Renderers, Polygons) {
    const std::vector<CPoint> points{CPoint(0, 0), CPoint(10, 0), CPoint(10, 5), CPoint(0, 5)};
    const CPoint at(100, 200);
    std::vector<CPoint> moved;
    for (const CPoint& p : points) moved.emplace_back(p.x + at.x, p.y + at.y);
    std::vector<CPoint> closed = moved;
    closed.push_back(moved.front());

    struct Case {
        const char* name;
        bool closedShape;
        int lineWidth;
        int pass;
        bool drawn;
        std::vector<CPoint> expected;
        double width;
    };
    const Case cases[] = {
        {"closed, fill pass", true, 3, kFill, true, closed, 3},
        {"closed, outline pass", true, 3, kOutline, true, closed, 3},
        {"open line, fill pass: nothing", false, 3, kFill, false, {}, 0},
        {"open line, outline pass: not closed", false, 3, kOutline, true, moved, 3},
        {"width 0 rises to the base width", true, 0, kOutline, true, closed, 1},
    };
    for (const Case& c : cases) {
        CPolyBIG* poly = UElementComponents::CreatePolyComponent(points, c.lineWidth, kPolyKindPolygon, 0, 0, 0);
        poly->SetFillFlag(c.closedShape);
        auto element = NewElement(poly, at);
        OwnedList output;
        RenderPass(*element, 0, c.pass, output);
        ASSERT_EQ(output.list.size(), c.drawn ? 1u : 0u) << c.name;
        if (!c.drawn) continue;
        const CPathDrawingInstruction& path = AsPath(output.list[0]);
        EXPECT_EQ(path.mLineCapStyle, 2) << c.name;
        EXPECT_EQ(path.mLineWidth, c.width) << c.name;
        EXPECT_EQ(path.mUseFill, c.pass == kFill) << c.name;
        EXPECT_EQ(path.mUseStroke, c.pass == kOutline) << c.name;
        EXPECT_EQ(c.pass == kFill ? path.mFillColor : path.mStrokeColor, c.pass == kFill ? kFirst : kSecond) << c.name;
        ExpectPoints(LinePoints(output.list[0]), c.expected, c.name);
    }
}

TEST(Renderers, OvalsAreEllipsesAboutTheirCentre) {
    struct Case {
        const char* name;
        double rx;
        double ry;
        double ownAngle;
        double elementAngle;
        int lineWidth;
        double start;
        double end;
    };
    const Case cases[] = {
        {"circle", 10, 10, 0, 0, 1, 0, 360},
        {"wide ellipse", 30, 8, 0, 0, 2, 0, 360},
        {"tall ellipse turned by the component", 6, 25, 30, 0, 1, 0, 360},
        {"ellipse turned by component and element", 20, 5, 30, 15, 3, 0, 360},
        {"arc of an ellipse", 20, 5, 10, 0, 1, 45, 180},
    };
    const CPoint at(500, 600);
    for (const Case& c : cases) {
        auto* oval = new COvalBIG();
        oval->SetRadiusX(c.rx);
        oval->SetRadiusY(c.ry);
        oval->SetOffsetX(4);
        oval->SetOffsetY(9);
        oval->SetAngle(c.ownAngle);
        oval->SetLineWidth(c.lineWidth);
        oval->SetStartAngle(c.start);
        oval->SetEndAngle(c.end);
        auto element = NewElement(oval, at);
        OwnedList output;
        CDrawingInstructionsRenderStrategy strategy;
        CDrawingInstructionsRenderOptions renderOptions(&output.list, kOutline);
        CDrawingOptions options(*element, 0, false, kMarked);
        options.mRenderOptions = &renderOptions;
        // the element angle as the renderer gets it
        strategy.RenderComponent(oval, at, c.elementAngle, CGradeVector::Null(), options);
        ASSERT_EQ(output.list.size(), 1u) << c.name;
        const auto* drawn = dynamic_cast<const COvalDrawingInstruction*>(output.list[0]);
        ASSERT_NE(drawn, nullptr) << c.name;

        // the centre is the box corner plus both radii
        EXPECT_NEAR(drawn->mPosition.x, 500 + 4 + c.rx, 1e-12) << c.name;
        EXPECT_NEAR(drawn->mPosition.y, 600 + 9 + c.ry, 1e-12) << c.name;
        EXPECT_EQ(drawn->mRadiusX, c.rx) << c.name;
        EXPECT_EQ(drawn->mRadiusY, c.ry) << c.name;
        const double turn = c.ownAngle + c.elementAngle;
        EXPECT_EQ(drawn->mRotationAngle, turn) << c.name;
        EXPECT_EQ(drawn->mStartAngle, c.start + turn) << c.name;
        EXPECT_EQ(drawn->mEndAngle, c.end + turn) << c.name;
        EXPECT_EQ(drawn->mLineWidth, std::max(1.0, double(c.lineWidth))) << c.name;
        EXPECT_TRUE(drawn->mUseStroke && !drawn->mUseFill) << c.name;
        EXPECT_EQ(drawn->mStrokeColor, kSecond) << c.name;

        // The bounds hold the whole drawn ellipse, sampled densely from the
        // oval's own description, and are tight on every side for full
        // ellipses.
        const double t0 = turn * kPi / 180.0;
        double minX = 1e300, minY = 1e300, maxX = -1e300, maxY = -1e300;
        for (int i = 0; i <= 7200; ++i) {
            const double p = 2.0 * kPi * i / 7200.0;
            const double ex = c.rx * std::cos(p);
            const double ey = c.ry * std::sin(p);
            const double x = 500 + 4 + c.rx + ex * std::cos(t0) - ey * std::sin(t0);
            const double y = 600 + 9 + c.ry + ex * std::sin(t0) + ey * std::cos(t0);
            minX = std::min(minX, x);
            maxX = std::max(maxX, x);
            minY = std::min(minY, y);
            maxY = std::max(maxY, y);
        }
        const double lw = drawn->mLineWidth;
        EXPECT_LE(drawn->mBounds.minX, minX - lw + 1e-9) << c.name;
        EXPECT_LE(drawn->mBounds.minY, minY - lw + 1e-9) << c.name;
        EXPECT_GE(drawn->mBounds.maxX, maxX + lw - 1e-9) << c.name;
        EXPECT_GE(drawn->mBounds.maxY, maxY + lw - 1e-9) << c.name;
        EXPECT_NEAR(drawn->mBounds.minX, minX - lw, 1e-3) << c.name;
        EXPECT_NEAR(drawn->mBounds.maxY, maxY + lw, 1e-3) << c.name;

        // and the arc's ends are points of the component's own ellipse: the
        // component's box (half the line width) lies within ours
        const tDoubleRect own = oval->CalcBoundingBox(c.elementAngle);
        EXPECT_LE(drawn->mBounds.minX, own.minX + 500 + 1e-9) << c.name;
        EXPECT_GE(drawn->mBounds.maxY, own.maxY + 600 - 1e-9) << c.name;
        const CPoint startPoint = drawn->GetPointAt(drawn->mStartAngle);
        const double sp = c.start * kPi / 180.0;
        EXPECT_NEAR(startPoint.x,
                    500 + 4 + c.rx + c.rx * std::cos(sp) * std::cos(t0) - c.ry * std::sin(sp) * std::sin(t0), 1e-9)
            << c.name;
        EXPECT_NEAR(startPoint.y,
                    600 + 9 + c.ry + c.rx * std::cos(sp) * std::sin(t0) + c.ry * std::sin(sp) * std::cos(t0), 1e-9)
            << c.name;
    }

    // The fill pass fills in the element's colour; a marked oval carries the
    // pattern flag and is outlined in the marked colour.
    auto* oval = new COvalBIG();
    auto element = NewElement(oval);
    OwnedList output;
    RenderPass(*element, 0, kFill, output, /*marked=*/true);
    RenderPass(*element, 0, kOutline, output, /*marked=*/true);
    ASSERT_EQ(output.list.size(), 2u);
    EXPECT_TRUE(output.list[0]->mUseFill && !output.list[0]->mUseStroke);
    EXPECT_TRUE(output.list[0]->mUsePattern);
    EXPECT_EQ(output.list[0]->mFillColor, kFirst);
    EXPECT_EQ(output.list[1]->mStrokeColor, kMarked);
    EXPECT_FALSE(output.list[1]->mUsePattern);
}

TEST(Renderers, TextsAreDrawnInTheFillPassOnly) {
    VKMTextCalculationService& service = RegisteredTextService();

    auto* label = new CTextBIG();
    label->SetText("Bahnhof");
    label->SetFontName("DejaVu Sans");
    label->SetTextSize(20);
    label->SetOffsetX(5);
    label->SetOffsetY(6);
    label->SetAngle(60);
    const CPoint at(1000, 2000);
    auto element = NewElement(label, at);

    OwnedList output;
    CDrawingInstructionsRenderStrategy strategy;
    CDrawingInstructionsRenderOptions outline(&output.list, kOutline);
    CDrawingOptions options(*element, 0, false, kMarked);
    options.mRenderOptions = &outline;
    strategy.RenderComponent(label, at, 30, CGradeVector::Null(), options);
    EXPECT_TRUE(output.list.empty()) << "outline pass";

    CDrawingInstructionsRenderOptions fill(&output.list, kFill);
    options.mRenderOptions = &fill;
    strategy.RenderComponent(label, at, 30, CGradeVector::Null(), options);
    ASSERT_EQ(output.list.size(), 1u);
    const auto* text = dynamic_cast<const CTextDrawingInstruction*>(output.list[0]);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->mText, "Bahnhof");
    EXPECT_EQ(text->mFontName, "DejaVu Sans");
    EXPECT_EQ(text->mTextSize, 20);
    EXPECT_TRUE(text->mUseFill && !text->mUseStroke);
    EXPECT_EQ(text->mFillColor, kFirst);
    EXPECT_EQ(text->mStrokeColor, CColor::Black());
    EXPECT_EQ(text->mPosition.x, 1005);
    EXPECT_EQ(text->mPosition.y, 2006);
    EXPECT_EQ(text->mRotationAngle, 90);

    // A quarter turn about the text's centre, then moved so that the turned
    // box's corner is the drawing position again: the turned box is h wide
    // and w high.
    const tDoubleRect measured = service.GetTextBounds("DejaVu Sans", 20, "Bahnhof", 0);
    const double w = measured.maxX;
    const double h = measured.maxY;
    ASSERT_GT(w, h);
    EXPECT_NEAR(text->mRotationCenter.x, 1005 + w / 2, 1e-9);
    EXPECT_NEAR(text->mRotationCenter.y, 2006 + h / 2, 1e-9);
    EXPECT_NEAR(text->mTranslation.x, h / 2 - w / 2, 1e-9);
    EXPECT_NEAR(text->mTranslation.y, w / 2 - h / 2, 1e-9);
    EXPECT_NEAR(text->mBounds.minX, 1005, 1e-9);
    EXPECT_NEAR(text->mBounds.minY, 2006, 1e-9);
    EXPECT_NEAR(text->mBounds.maxX, 1005 + h, 1e-9);
    EXPECT_NEAR(text->mBounds.maxY, 2006 + w, 1e-9);
}

TEST(Renderers, TextsNeedTheMeasurementService) {
    auto* label = new CTextBIG();
    auto element = NewElement(label);
    OwnedList output;
    RenderPass(*element, 0, kFill, output);
    EXPECT_TRUE(output.list.empty());
}

TEST(Renderers, SleepersAlongAStraight) {
    // Length 10, gauge 1: spacing 0.55, 10 / 0.55 = 18.18 gives 18 sleepers,
    // the first at (10 - 17 x 0.55) / 2 = 0.325.
    CStraightBIG* straight = NewStraight(10.0);
    straight->SetGauge(1.0);
    straight->SetTrackbedWidth(3.0);
    auto element = NewElement(straight);
    OwnedList output;
    CDrawingInstructionsRenderOptions renderOptions(&output.list, kFill);
    CDrawingInstructionsStraightRenderer renderer;
    CPathDrawingInstruction pathTemplate(1, false, CColor::White(), kSecond);
    renderer.AddSleepers(renderOptions, pathTemplate, straight, CPoint(100, 200, 5), 0.0);
    ASSERT_EQ(output.list.size(), 18u);

    // length 1 + 0.75 x (3 - 1) = 2.5 across the track, width 0.2 along it;
    // the centre line runs at y = gauge = 1
    auto corners = [](double x) {
        return std::vector<CPoint>{CPoint(100 + x + 0.1, 201 + 1.25, 5), CPoint(100 + x - 0.1, 201 + 1.25, 5),
                                   CPoint(100 + x - 0.1, 201 - 1.25, 5), CPoint(100 + x + 0.1, 201 - 1.25, 5)};
    };
    for (std::size_t i : {std::size_t(0), std::size_t(17)}) {
        const auto points = LinePoints(output.list[i]);
        const auto expected = corners(0.325 + 0.55 * static_cast<double>(i));
        ASSERT_EQ(points.size(), 4u);
        for (std::size_t k = 0; k < 4; ++k) {
            EXPECT_NEAR(points[k].x, expected[k].x, 1e-9) << "sleeper " << i << " corner " << k;
            EXPECT_NEAR(points[k].y, expected[k].y, 1e-9) << "sleeper " << i << " corner " << k;
            EXPECT_NEAR(points[k].z, 5, 1e-12) << "sleeper " << i << " corner " << k;
        }
    }
    const CPathDrawingInstruction& sleeper = AsPath(output.list[0]);
    EXPECT_TRUE(sleeper.mUseFill);
    EXPECT_FALSE(sleeper.mUseStroke);
    EXPECT_EQ(sleeper.mFillColor, CColor(0.36, 0.25, 0.2, 1.0));
    EXPECT_EQ(sleeper.mLineWidth, 1.0);

    // Too short for one sleeper: 0.2 / 0.55 rounds to 0.
    straight->SetLength(0.2);
    output.Clear();
    renderer.AddSleepers(renderOptions, pathTemplate, straight, CPoint(), 0.0);
    EXPECT_TRUE(output.list.empty());
}

TEST(Renderers, EveryInstructionCarriesTheElementsLayerAndIdentifier) {
    CLayer layer("Yard");
    auto element = NewElement(NewStraight());
    element->GetComponents().push_back(new COvalBIG());
    OwnedList output;
    CDrawingInstructionsRenderStrategy strategy;
    CDrawingInstructionsRenderOptions renderOptions(&output.list, kOutline);
    renderOptions.mOwnerLayer = &layer;
    renderOptions.mIdentifier = element->GetIdentifier();
    CDrawingOptions options(*element, 8 | 64, false, kMarked);
    options.mRenderOptions = &renderOptions;
    element->Render(&strategy, element->GetPosition(), options);
    ASSERT_EQ(output.list.size(), 5u);
    for (const CDrawingInstruction* instruction : output.list) {
        ASSERT_TRUE(instruction->GetOwnerLayer().has_value());
        EXPECT_EQ(instruction->GetOwnerLayer()->mName, "Yard");
        EXPECT_EQ(instruction->GetIdentifier(), element->GetIdentifier());
        EXPECT_LE(instruction->mBounds.minX, instruction->mBounds.maxX);  // bounds computed
        EXPECT_NE(instruction->mBounds, tDoubleRect{});
    }
    // the oval comes last, after the straight's lines
    EXPECT_NE(dynamic_cast<const COvalDrawingInstruction*>(output.list[4]), nullptr);
}

TEST(Renderers, UnknownTypesAreSkippedAndTheRestDrawn) {
    auto element = NewElement(NewStraight());
    element->GetComponents().insert(element->GetComponents().begin(), new CUnknownComponent());
    OwnedList output;
    RenderPass(*element, 64, kOutline, output);
    EXPECT_EQ(output.list.size(), 2u);
    EXPECT_NE(
        LastLogLines().find("void CRenderStrategy::RenderComponent(CBasicGeometry *, const CPoint &, double, "
                            "const CGradeVector &, const CDrawingOptions &): Cannot render element: Unknown type 7"),
        std::string::npos)
        << LastLogLines();
}

TEST(Renderers, BrokenPreconditionsThrow) {
    auto element = NewElement(NewStraight());
    CDrawingInstructionsRenderStrategy strategy;
    OwnedList output;

    // no render options, and options of another class
    CDrawingOptions options(*element, 64, false, kMarked);
    EXPECT_THROW(element->Render(&strategy, element->GetPosition(), options), std::runtime_error);
    class COtherOptions : public CRenderStrategyOptions {
    } other;
    options.mRenderOptions = &other;
    EXPECT_THROW(element->Render(&strategy, element->GetPosition(), options), std::runtime_error);
    EXPECT_TRUE(output.list.empty());

    // a null component in the element
    CDrawingInstructionsRenderOptions renderOptions(&output.list, kOutline);
    options.mRenderOptions = &renderOptions;
    element->SetProductNumber("24188");
    element->GetComponents().push_back(nullptr);
    EXPECT_THROW(element->Render(&strategy, element->GetPosition(), options), std::runtime_error);
    EXPECT_NE(LastLogLines().find("Invalid component in '24188' (), total of 2 components"), std::string::npos)
        << LastLogLines();
    element->GetComponents().pop_back();
    EXPECT_EQ(output.list.size(), 2u);  // the straight before it was drawn

    EXPECT_THROW(element->Render(nullptr, element->GetPosition(), options), std::runtime_error);
}

namespace {

// Records what Render hands to the curve renderer.
struct RecordedCall {
    CCurveBIG* component;
    CPoint position;
    double angle;
    CGradeVector grade;
};

class CRecordingCurveRenderer : public CCurveRendererBase {
public:
    explicit CRecordingCurveRenderer(std::vector<RecordedCall>& calls) : mCalls(calls) {}
    void Render(CCurveBIG* component, const CPoint& position, double angle, const CGradeVector& grade,
                const CDrawingOptions&) const override {
        mCalls.push_back({component, position, angle, grade});
    }

private:
    std::vector<RecordedCall>& mCalls;
};

class CRecordingStrategy : public CRenderStrategy {
public:
    explicit CRecordingStrategy(std::vector<RecordedCall>& calls) {
        mCurveRenderer = std::make_unique<CRecordingCurveRenderer>(calls);
    }
};

}  // namespace

TEST(Renderers, RenderHandsEachComponentWithPositionAngleAndGrade) {
    struct Case {
        const char* name;
        int elementType;
        bool ownGrades;
    };
    const Case cases[] = {
        {"two curves of a plain element take the element grade", 0, false},
        {"a curved parallel track takes each curve's own grade", 2, true},
    };
    for (const Case& c : cases) {
        auto element = std::make_unique<CCompositeGeometry>();
        CCurveBIG* inner = NewCurve();
        CCurveBIG* outer = NewCurve();
        outer->SetRadius(150);
        element->GetComponents().push_back(inner);
        element->GetComponents().push_back(outer);
        element->SetElementType(c.elementType);
        element->SetPosition(CPoint(10, 20, 30));
        element->SetAngle(45);
        const CGradeVector grade(CPoint(1, 2, 0), CPoint(50, 60, 0), 7);
        element->SetGrade(grade);
        element->UpdateJoints();

        std::vector<RecordedCall> calls;
        CRecordingStrategy strategy(calls);
        CDrawingOptions options(*element, 0, false, kMarked);
        const CPoint drawAt(-5, -6, 0);
        element->Render(&strategy, drawAt, options);
        ASSERT_EQ(calls.size(), 2u) << c.name;
        EXPECT_EQ(calls[0].component, inner) << c.name;
        EXPECT_EQ(calls[1].component, outer) << c.name;
        for (const RecordedCall& call : calls) {
            EXPECT_EQ(call.position.x, -5) << c.name;
            EXPECT_EQ(call.position.y, -6) << c.name;
            EXPECT_EQ(call.angle, 45) << c.name;
            EXPECT_EQ(call.grade.height, 7) << c.name;
            if (!c.ownGrades) {
                EXPECT_EQ(call.grade.start.x, 1) << c.name;
                EXPECT_EQ(call.grade.end.y, 60) << c.name;
                continue;
            }
            // from the lower joint to the other, relative to the element
            const CJoint* j0 = call.component->GetJoint(0);
            const CJoint* j1 = call.component->GetJoint(1);
            const CJoint* low = j0->GetLayoutPoint().z > j1->GetLayoutPoint().z ? j1 : j0;
            const CJoint* high = low == j0 ? j1 : j0;
            EXPECT_NEAR(call.grade.start.x, low->GetLayoutPoint().x - 10, 1e-9) << c.name;
            EXPECT_NEAR(call.grade.start.y, low->GetLayoutPoint().y - 20, 1e-9) << c.name;
            EXPECT_EQ(call.grade.start.z, 0) << c.name;
            EXPECT_NEAR(call.grade.end.x, high->GetLayoutPoint().x - 10, 1e-9) << c.name;
            EXPECT_NEAR(call.grade.end.y, high->GetLayoutPoint().y - 20, 1e-9) << c.name;
            EXPECT_EQ(call.grade.end.z, 0) << c.name;
        }
    }
}

namespace {

// Everything observable of an element's components: their records, their
// descriptions and their joints.
struct ComponentState {
    std::vector<std::uint8_t> record;
    std::string dump;
    double angles[2];
    CPoint layoutPoints[2];
    CPoint elementPoints[2];
    std::uint8_t marks[2];
    bool free[2];
    CJoint* partners[2];
};

std::vector<ComponentState> Snapshot(CCompositeGeometry& element) {
    std::vector<ComponentState> states;
    for (CBasicGeometry* component : element.GetComponents()) {
        ComponentState state;
        state.record.resize(component->GetSerializedSize());
        component->Serialize(state.record.data());
        state.dump = component->Dump(1);
        for (int i = 0; i < 2; ++i) {
            const CJoint* joint = component->GetJoint(i);
            state.angles[i] = joint->GetAngle();
            state.layoutPoints[i] = joint->GetLayoutPoint();
            state.elementPoints[i] = joint->GetElementPoint();
            state.marks[i] = joint->GetMark();
            state.free[i] = joint->IsFree();
            state.partners[i] = joint->GetPartner();
        }
        states.push_back(state);
    }
    return states;
}

void ExpectSameState(const std::vector<ComponentState>& before, const std::vector<ComponentState>& after,
                     const std::string& name) {
    ASSERT_EQ(before.size(), after.size()) << name;
    for (std::size_t c = 0; c < before.size(); ++c) {
        EXPECT_EQ(before[c].record, after[c].record) << name << " component " << c;
        EXPECT_EQ(before[c].dump, after[c].dump) << name << " component " << c;
        for (int i = 0; i < 2; ++i) {
            const std::string where = name + " component " + std::to_string(c) + " joint " + std::to_string(i);
            EXPECT_EQ(before[c].angles[i], after[c].angles[i]) << where;
            for (auto member : {&CPoint::x, &CPoint::y, &CPoint::z}) {
                EXPECT_EQ(before[c].layoutPoints[i].*member, after[c].layoutPoints[i].*member) << where;
                EXPECT_EQ(before[c].elementPoints[i].*member, after[c].elementPoints[i].*member) << where;
            }
            EXPECT_EQ(before[c].marks[i], after[c].marks[i]) << where;
            EXPECT_EQ(before[c].free[i], after[c].free[i]) << where;
            EXPECT_EQ(before[c].partners[i], after[c].partners[i]) << where;
        }
    }
}

}  // namespace

TEST(Renderers, DrawingLeavesTheElementAsItWas) {
    RegisteredTextService();

    auto element = std::make_unique<CCompositeGeometry>();
    element->GetComponents().push_back(NewStraight());
    element->GetComponents().push_back(NewCurve());
    element->GetComponents().push_back(
        new CFlexTrackBIG(CPoint(0, 0), CPoint(120, 40), true, false, 3, 4, 500, 10, 20, 1));
    element->GetComponents().push_back(UElementComponents::CreatePolyComponent(
        {CPoint(0, 0), CPoint(30, 0), CPoint(30, 20)}, 2, kPolyKindPolygon, 5, 5, 20));
    element->GetComponents().push_back(new COvalBIG());
    element->GetComponents().push_back(new CTextBIG());
    element->SetPosition(CPoint(250, -80, 12));
    element->SetAngle(33);
    // a grade puts heights on the joints that a drawing pass at the origin
    // without grade would lose
    element->SetGrade(CGradeVector(CPoint(0, 0, 0), CPoint(200, 0, 0), 15));
    element->UpdateJoints();

    // another element's joint connected to the straight's joint 0
    CStraightBIG neighbour;
    CJoint::Connect(element->GetComponents()[0]->GetJoint(0), neighbour.GetJoint(1));

    // (the element's own box query places joints at the origin: take it
    // first and bring the joints back into the layout)
    tDoubleRect boxBefore;
    element->CalcBoundingBox(boxBefore);
    element->UpdateJoints();
    const auto before = Snapshot(*element);
    const CPoint positionBefore = element->GetPosition();

    for (int style : {8 | 32 | 64 | 128, 4 | 8 | 64, 8 | 64 | 512}) {
        OwnedList output;
        RenderPass(*element, style, kFill, output);
        RenderPass(*element, style, kOutline, output);
        ASSERT_FALSE(output.list.empty());
        ExpectSameState(before, Snapshot(*element), "style " + std::to_string(style));
    }
    CDrawingInstructionsRendererBase helper;
    OwnedList sleepers;
    CDrawingInstructionsRenderOptions renderOptions(&sleepers.list, kFill);
    CPathDrawingInstruction pathTemplate(2, false, CColor::White(), CColor::Black());
    for (CBasicGeometry* component : element->GetComponents())
        helper.AddSleepers(renderOptions, pathTemplate, component, element->GetPosition(), 33);
    EXPECT_FALSE(sleepers.list.empty());
    ExpectSameState(before, Snapshot(*element), "sleepers");

    tDoubleRect boxAfter;
    element->CalcBoundingBox(boxAfter);
    EXPECT_EQ(boxBefore, boxAfter);
    EXPECT_EQ(element->GetPosition().x, positionBefore.x);
    EXPECT_EQ(element->GetAngle(), 33);
    EXPECT_EQ(element->GetComponents()[0]->GetJoint(0)->GetPartner(), neighbour.GetJoint(1));
}
