// Side lines worked out two at a time and kept for an element's passes: the
// pair gives the very points of two single calls (bit for bit, also where
// the two arcs of a curve are split differently), the flex track's centre
// line is its Bezier curve, the cache works each pair out once until it is
// cleared, and the renderers draw the same with the cache as without.

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "engine/drawing/DrawingOptions.h"
#include "engine/drawing/ParallelPathCache.h"
#include "engine/drawing/PathInstruction.h"
#include "engine/drawing/RenderStrategy.h"
#include "engine/model/CompositeGeometry.h"
#include "engine/model/CurveBIG.h"
#include "engine/model/FlexTrackBIG.h"
#include "engine/model/PolyBIG.h"
#include "engine/model/StraightBIG.h"
#include "platform/foundation/OwnedList.h"

namespace {

bool SameBits(double a, double b) { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b); }

void ExpectSamePoints(const std::vector<CPoint>& actual, const std::vector<CPoint>& expected, const std::string& name) {
    ASSERT_EQ(actual.size(), expected.size()) << name;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_TRUE(SameBits(actual[i].x, expected[i].x) && SameBits(actual[i].y, expected[i].y) &&
                    SameBits(actual[i].z, expected[i].z))
            << name << " point " << i;
    }
}

std::unique_ptr<CCurveBIG> Curve(double radius, double arcAngle, double angle) {
    auto curve = std::make_unique<CCurveBIG>();
    curve->SetRadius(radius);
    curve->SetArcAngle(arcAngle);
    curve->SetAngle(angle);
    curve->SetGauge(16.5);
    curve->SetTrackbedWidth(40.0);
    curve->SetOffsetX(3.0);
    curve->SetOffsetY(-7.0);
    return curve;
}

std::unique_ptr<CFlexTrackBIG> Flex(const std::vector<CPoint>& controls, double angle) {
    auto flex = std::make_unique<CFlexTrackBIG>();
    flex->SetPoints(controls);
    flex->SetAngle(angle);
    return flex;
}

// The cubic Bezier curve in Bernstein form.
CPoint Bezier(const std::vector<CPoint>& c, double t) {
    const double u = 1.0 - t;
    const double b[4] = {u * u * u, 3 * u * u * t, 3 * u * t * t, t * t * t};
    CPoint p(0, 0, 0);
    for (int i = 0; i < 4; ++i) {
        p.x += b[i] * c[i].x;
        p.y += b[i] * c[i].y;
        p.z += b[i] * c[i].z;
    }
    return p;
}

// Counts the pairs worked out.
class CCountingStraight : public CStraightBIG {
public:
    void GetParallelPathPair(std::vector<CPoint>& first, std::vector<CPoint>& second, double elementAngle,
                             double firstOffset, double secondOffset) override {
        ++mPairs;
        CStraightBIG::GetParallelPathPair(first, second, elementAngle, firstOffset, secondOffset);
    }
    int mPairs = 0;
};

}  // namespace

TEST(ParallelPaths, APairIsTwoSingleCallsBitForBit) {
    struct Case {
        std::string name;
        std::unique_ptr<CBasicGeometry> component;
        double elementAngle;
        double firstOffset;
        double secondOffset;
    };
    auto straight = std::make_unique<CStraightBIG>();
    straight->SetLength(188.3);
    straight->SetGauge(16.5);
    straight->SetAngle(30.0);
    std::vector<Case> cases;
    cases.push_back({"straight turned", std::move(straight), 15.0, -8.25, 8.25});
    cases.push_back({"curve, both arcs split alike", Curve(437.5, 24.28, 10.0), 33.0, -8.25, 8.25});
    // sagitta 0.962 inside, 1.038 outside: one split inside, two outside.
    cases.push_back({"curve, arcs split differently", Curve(262.8, 10.0, 0.0), 0.0, -10.0, 10.0});
    cases.push_back({"curve at element angle 0 and no turn", Curve(360.0, 15.0, 0.0), 0.0, -20.0, 20.0});
    cases.push_back({"curve whose inner arc is a point", Curve(5.0, 30.0, 45.0), 12.0, -4.9995, 3.0});
    cases.push_back({"curve of 10,000 km, depth at its cap", Curve(1.0e10, 90.0, 0.0), 0.0, -8.25, 8.25});
    cases.push_back({"flex of two points along x", Flex({CPoint(0, 0), CPoint(100, 0)}, 0.0), 0.0, -5.0, 5.0});
    cases.push_back(
        {"flex of three points", Flex({CPoint(0, 0), CPoint(50, 20), CPoint(100, 0)}, 20.0), 7.0, -8.25, 8.25});
    cases.push_back({"flex of four points with heights",
                     Flex({CPoint(0, 0, 1), CPoint(30, 60, 2), CPoint(90, -20, 3), CPoint(120, 10, 4)}, 0.0), -45.0,
                     -20.0, 20.0});
    for (Case& c : cases) {
        std::vector<CPoint> first, second, singleFirst, singleSecond;
        c.component->GetParallelPathPair(first, second, c.elementAngle, c.firstOffset, c.secondOffset);
        c.component->GetParallelPath(singleFirst, c.elementAngle, c.firstOffset);
        c.component->GetParallelPath(singleSecond, c.elementAngle, c.secondOffset);
        EXPECT_FALSE(first.empty()) << c.name;
        ExpectSamePoints(first, singleFirst, c.name + ", first side");
        ExpectSamePoints(second, singleSecond, c.name + ", second side");
    }

    // The split depth shows in the number of points: 2 chords inside, 4 outside.
    auto curve = Curve(262.8, 10.0, 0.0);
    std::vector<CPoint> inner, outer;
    curve->GetParallelPathPair(inner, outer, 0.0, -10.0, 10.0);
    EXPECT_EQ(inner.size(), 3u);
    EXPECT_EQ(outer.size(), 5u);
    // 16 halvings at most.
    auto huge = Curve(1.0e10, 90.0, 0.0);
    huge->GetParallelPathPair(inner, outer, 0.0, -8.25, 8.25);
    EXPECT_EQ(inner.size(), 65537u);

    // A polygon has no side lines: both lists are left as they were.
    CPolyBIG polygon;
    polygon.SetPoints({CPoint(0, 0), CPoint(10, 0), CPoint(10, 10)});
    std::vector<CPoint> keptFirst{CPoint(1, 2)}, keptSecond;
    polygon.GetParallelPathPair(keptFirst, keptSecond, 0.0, -1.0, 1.0);
    ExpectSamePoints(keptFirst, {CPoint(1, 2)}, "polygon, first list");
    EXPECT_TRUE(keptSecond.empty());
}

TEST(ParallelPaths, TheFlexCentreLineIsItsBezierCurve) {
    const std::vector<CPoint> controls{CPoint(0, 0, 0), CPoint(30, 60, 2), CPoint(90, -20, 4), CPoint(120, 10, 6)};
    // Angle 0 at offset 0: the control points are used as they are.
    auto flex = Flex(controls, 0.0);
    std::vector<CPoint> line;
    flex->GetParallelPath(line, 0.0, 0.0);
    ASSERT_EQ(line.size(), 26u);
    for (std::size_t i = 0; i < line.size(); ++i) {
        const CPoint expected = Bezier(controls, static_cast<double>(i) / 25.0);
        EXPECT_NEAR(line[i].x, expected.x, 1e-9) << i;
        EXPECT_NEAR(line[i].y, expected.y, 1e-9) << i;
        EXPECT_NEAR(line[i].z, expected.z, 1e-9) << i;
    }
    struct Case {
        double t;
        double expectedT;
    };
    const Case cases[] = {{0.0, 0.0},
                          {0.3, 0.3},
                          {0.5, 0.5},
                          {1.0, 1.0},
                          {-2.0, 0.0},
                          {7.0, 1.0},
                          {std::numeric_limits<double>::quiet_NaN(), 0.0}};
    for (const Case& c : cases) {
        const CPoint point = flex->GetCenterLinePoint(c.t, 0.0);
        const CPoint expected = Bezier(controls, c.expectedT);
        EXPECT_NEAR(point.x, expected.x, 1e-9) << c.t;
        EXPECT_NEAR(point.y, expected.y, 1e-9) << c.t;
    }
    // Two control points: a straight line; its length is the distance.
    auto straight = Flex({CPoint(0, 0), CPoint(30, 40)}, 0.0);
    EXPECT_NEAR(straight->GetTrackLength(), 50.0, 1e-9);
    EXPECT_NEAR(straight->GetCenterLinePoint(0.2, 0.0).y, 8.0, 1e-12);
}

TEST(ParallelPaths, TheCacheWorksEachPairOutOnceUntilCleared) {
    CCountingStraight straight;
    straight.SetLength(100.0);
    straight.SetGauge(10.0);
    CParallelPathCache cache;

    const CParallelPathCache::tPair rails = cache.GetPair(straight, 0.0, -5.0, 5.0);
    const std::vector<CPoint>* firstAddress = &rails.first;
    const std::vector<CPoint> railsBefore = rails.first;
    EXPECT_EQ(straight.mPairs, 1);
    const CParallelPathCache::tPair again = cache.GetPair(straight, 0.0, -5.0, 5.0);
    EXPECT_EQ(straight.mPairs, 1) << "asked again: handed out again";
    EXPECT_EQ(&again.first, firstAddress);

    // Other offsets, angle or component are other pairs; the first stays put.
    CCountingStraight other;
    other.SetLength(50.0);
    cache.GetPair(straight, 0.0, -10.0, 10.0);
    cache.GetPair(straight, 90.0, -5.0, 5.0);
    cache.GetPair(other, 0.0, -5.0, 5.0);
    for (int i = 0; i < 40; ++i) cache.GetPair(straight, static_cast<double>(i), -1.0, 1.0);
    EXPECT_EQ(straight.mPairs, 43);
    EXPECT_EQ(other.mPairs, 1);
    EXPECT_EQ(&cache.GetPair(straight, 0.0, -5.0, 5.0).first, firstAddress);
    ExpectSamePoints(*firstAddress, railsBefore, "the first pair after many more");
    ExpectSamePoints(cache.GetPair(straight, 0.0, -5.0, 5.0).second, {CPoint(0, 15), CPoint(100, 15)},
                     "second side at +5");

    // Cleared: a changed component is worked out afresh.
    cache.Clear();
    straight.SetLength(200.0);
    const CParallelPathCache::tPair longer = cache.GetPair(straight, 0.0, -5.0, 5.0);
    EXPECT_EQ(straight.mPairs, 44);
    ExpectSamePoints(longer.first, {CPoint(0, 5), CPoint(200, 5)}, "after clearing");
}

TEST(ParallelPaths, RenderersDrawTheSameWithTheCacheAsWithout) {
    // A turnout-like element (a straight and a curve) and a flex track.
    auto turnout = std::make_unique<CCompositeGeometry>();
    auto* through = new CStraightBIG();
    through->SetLength(188.3);
    through->SetGauge(16.5);
    through->SetTrackbedWidth(40.0);
    auto* branch = Curve(437.5, 24.28, 0.0).release();
    branch->SetOffsetX(0.0);
    branch->SetOffsetY(0.0);
    turnout->GetComponents().push_back(through);
    turnout->GetComponents().push_back(branch);
    turnout->SetPosition(CPoint(500, -300));
    turnout->SetAngle(17.0);
    turnout->UpdateJoints();
    auto flexElement = std::make_unique<CCompositeGeometry>();
    flexElement->GetComponents().push_back(Flex({CPoint(0, 0), CPoint(40, 30), CPoint(120, 10)}, 0.0).release());
    flexElement->SetAngle(-60.0);
    flexElement->UpdateJoints();

    const int styles[] = {64, 4 | 8 | 64, 8 | 32 | 64 | 128, 8 | 64 | 512, 32 | 64 | 128 | 512};
    for (CCompositeGeometry* element : {turnout.get(), flexElement.get()}) {
        for (int style : styles) {
            tDrawingInstructions lists[2];
            for (int cached = 0; cached < 2; ++cached) {
                CDrawingInstructionsRenderStrategy strategy;
                CDrawingInstructionsRenderOptions fill(&lists[cached], CDrawingInstructionsRenderOptions::kFillPass);
                CDrawingInstructionsRenderOptions outline(&lists[cached],
                                                          CDrawingInstructionsRenderOptions::kOutlinePass);
                CParallelPathCache cache;
                CDrawingOptions options(*element, style, false, CColor::White());
                if (cached == 1) options.mPathCache = &cache;
                options.mRenderOptions = &fill;
                element->Render(&strategy, element->GetPosition(), options);
                options.mRenderOptions = &outline;
                element->Render(&strategy, element->GetPosition(), options);
            }
            const std::string name = "style " + std::to_string(style);
            ASSERT_EQ(lists[0].size(), lists[1].size()) << name;
            ASSERT_FALSE(lists[0].empty()) << name;
            for (std::size_t i = 0; i < lists[0].size(); ++i) {
                const auto& plain = dynamic_cast<const CPathDrawingInstruction&>(*lists[0][i]);
                const auto& cached = dynamic_cast<const CPathDrawingInstruction&>(*lists[1][i]);
                EXPECT_EQ(plain.mUseFill, cached.mUseFill) << name;
                EXPECT_TRUE(SameBits(plain.mLineWidth, cached.mLineWidth)) << name;
                std::vector<CPoint> plainPoints, cachedPoints;
                for (const CPathMicroInstruction& step : plain.mPathMicroInstructions)
                    plainPoints.push_back(std::get<CPathLineToMicroInstruction>(step).mPoint);
                for (const CPathMicroInstruction& step : cached.mPathMicroInstructions)
                    cachedPoints.push_back(std::get<CPathLineToMicroInstruction>(step).mPoint);
                ExpectSamePoints(cachedPoints, plainPoints, name + ", instruction " + std::to_string(i));
            }
            for (tDrawingInstructions& list : lists) {
                platform::DeleteAll(list);
            }
        }
    }
}
