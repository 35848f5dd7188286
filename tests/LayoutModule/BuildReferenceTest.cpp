// Building a generated layout's instructions gives what plain reference
// computations give, to the bit: each path's box is its points' extent
// widened by its line width, in every track style; a curve's side lines
// are the same whatever arcs were worked out before them on that thread;
// a layer drawn on several threads is the layer drawn on one, and a failure
// on one of them passes on with nothing left behind.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <thread>
#include <typeinfo>
#include <variant>
#include <vector>

#include "LayoutView/Drawing/VKMDrawingInstructionsRenderData.h"
#include "LayoutView/Drawing/VKMLayoutElementsPainter.h"
#include "LayoutView/Drawing/VKMRenderDataFactory.h"
#include "engine/drawing/DrawingOptions.h"
#include "engine/drawing/InstructionArena.h"
#include "engine/drawing/PathInstruction.h"
#include "engine/model/BasicGeometry.h"
#include "engine/model/CompositeGeometry.h"
#include "engine/model/Layout.h"
#include "platform/foundation/Paths.h"
#include "tests/LayoutModule/LayoutModuleTestSupport.h"
#include "tools/layoutgen/LargeLayout.h"
#include "tools/layoutgen/LayoutFileWriter.h"

namespace {

std::unique_ptr<CLayout> Generated(std::size_t count) {
    layouttest::RegisterServices();
    ULayoutGen::tLayoutDocument document;
    ULayoutGen::ComposeLargeLayout(document, count, 9146, CLayout::kNewestFileVersion);
    const std::filesystem::path file = std::filesystem::path(platform::Paths::root()) / "reference.wkst";
    if (!ULayoutFileWriter::WriteLayoutFile(file, document.FileContent())) return nullptr;
    auto layout = std::make_unique<CLayout>();
    if (layout->Load(file.string()) != kLayoutLoaded) return nullptr;
    return layout;
}

// Plain: the least and greatest coordinates of the points, then the line
// width on every side. Null for a path with other steps than lines.
std::unique_ptr<tDoubleRect> ReferenceBox(const CPathDrawingInstruction& path) {
    if (path.mPathMicroInstructions.empty()) return nullptr;
    std::vector<double> xs;
    std::vector<double> ys;
    for (const CPathMicroInstruction& step : path.mPathMicroInstructions) {
        const auto* line = std::get_if<CPathLineToMicroInstruction>(&step);
        if (line == nullptr) return nullptr;
        xs.push_back(line->mPoint.x);
        ys.push_back(line->mPoint.y);
    }
    auto box = std::make_unique<tDoubleRect>();
    box->minX = *std::min_element(xs.begin(), xs.end()) - path.mLineWidth;
    box->maxX = *std::max_element(xs.begin(), xs.end()) + path.mLineWidth;
    box->minY = *std::min_element(ys.begin(), ys.end()) - path.mLineWidth;
    box->maxY = *std::max_element(ys.begin(), ys.end()) + path.mLineWidth;
    return box;
}

bool IsCurve(const CBasicGeometry* component) {
    return component != nullptr && component->GetType() == kComponentTypeCurve;
}

}  // namespace

TEST(BuildReference, EveryPathsBoxIsItsPointsExtentWidenedByItsLineWidthInEveryTrackStyle) {
    const std::unique_ptr<CLayout> layout = Generated(500);
    ASSERT_NE(layout, nullptr);
    // Rails; rails with bed lines and joint ends; centre lines; single lines;
    // thick rails in the rail colour.
    const std::int32_t styles[] = {kTrackStyleRails, kTrackStyleRails | kTrackStyleBed | kTrackStyleJointEnds,
                                   kTrackStyleCenterLine, kTrackStyleSingleLine | kTrackStyleRails,
                                   kTrackStyleRails | kTrackStyleRailColor};
    const std::int32_t original = layout->GetParameters().mTrackStyle;
    for (const std::int32_t style : styles) {
        SCOPED_TRACE("track style " + std::to_string(style));
        layout->GetParameters().mTrackStyle = style;
        const VKMRenderDataFactory::tLayer layer = VKMRenderDataFactory::getElementsDataForLayout(*layout);
        std::size_t compared = 0;
        std::size_t differing = 0;
        for (const CDrawingInstruction* instruction : *layer->drawingInstructions()) {
            const auto* path = dynamic_cast<const CPathDrawingInstruction*>(instruction);
            if (path == nullptr) continue;
            const std::unique_ptr<tDoubleRect> expected = ReferenceBox(*path);
            if (!expected) continue;
            ++compared;
            const tDoubleRect& box = path->mBounds;
            differing += !(box.minX == expected->minX && box.minY == expected->minY && box.maxX == expected->maxX &&
                           box.maxY == expected->maxY);
        }
        EXPECT_GT(compared, 500u);
        EXPECT_EQ(differing, 0u) << "of " << compared;
    }
    layout->GetParameters().mTrackStyle = original;
}

TEST(BuildReference, ACurvesSideLinesDoNotDependOnTheArcsWorkedOutBefore) {
    const std::unique_ptr<CLayout> layout = Generated(900);
    ASSERT_NE(layout, nullptr);
    struct tCurve {
        CBasicGeometry* component;
        double elementAngle;
    };
    std::vector<tCurve> curves;
    for (CCompositeGeometry* element : layout->GetElements()) {
        for (CBasicGeometry* component : element->GetComponents()) {
            if (IsCurve(component)) curves.push_back({component, element->GetAngle()});
        }
    }
    ASSERT_GT(curves.size(), 200u);
    // Every curve's sides worked out on this thread first, so that later
    // ones may find the turns of earlier ones kept, or of others in their
    // place.
    std::vector<CPoint> first;
    std::vector<CPoint> second;
    for (const tCurve& curve : curves) {
        const double half = curve.component->GetGauge() / 2;
        curve.component->GetParallelPathPair(first, second, curve.elementAngle, -half, half);
    }
    for (std::size_t at = curves.size(); at-- > 0;) {
        if (at % 4 != 0) continue;
        const tCurve& curve = curves[at];
        const double half = curve.component->GetGauge() / 2;
        curve.component->GetParallelPathPair(first, second, curve.elementAngle, -half, half);
        // The reference: a thread of its own, which has worked out nothing.
        std::vector<CPoint> freshFirst;
        std::vector<CPoint> freshSecond;
        std::thread([&] {
            curve.component->GetParallelPathPair(freshFirst, freshSecond, curve.elementAngle, -half, half);
        }).join();
        ASSERT_EQ(first.size(), freshFirst.size());
        ASSERT_EQ(second.size(), freshSecond.size());
        std::size_t differing = 0;
        for (std::size_t i = 0; i < first.size(); ++i) {
            differing += !(first[i].x == freshFirst[i].x && first[i].y == freshFirst[i].y);
            differing += !(second[i].x == freshSecond[i].x && second[i].y == freshSecond[i].y);
        }
        EXPECT_EQ(differing, 0u) << "curve " << at;
    }
}

TEST(BuildReference, ALayerDrawnOnSeveralThreadsIsTheLayerDrawnOnOne) {
    const std::unique_ptr<CLayout> layout = Generated(700);
    ASSERT_NE(layout, nullptr);
    VKMLayoutElementsPainter::setBuildThreads(1);
    const VKMRenderDataFactory::tLayer one = VKMRenderDataFactory::getElementsDataForLayout(*layout);
    VKMLayoutElementsPainter::setBuildThreads(3);
    const VKMRenderDataFactory::tLayer three = VKMRenderDataFactory::getElementsDataForLayout(*layout);
    VKMLayoutElementsPainter::setBuildThreads(0);
    const tDrawingInstructions& a = *one->drawingInstructions();
    const tDrawingInstructions& b = *three->drawingInstructions();
    ASSERT_EQ(a.size(), b.size());
    ASSERT_GT(a.size(), 1000u);
    std::size_t differing = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const CDrawingInstruction& x = *a[i];
        const CDrawingInstruction& y = *b[i];
        bool same = typeid(x) == typeid(y) && x.mBounds.minX == y.mBounds.minX && x.mBounds.minY == y.mBounds.minY &&
                    x.mBounds.maxX == y.mBounds.maxX && x.mBounds.maxY == y.mBounds.maxY &&
                    x.mFillColor == y.mFillColor && x.mStrokeColor == y.mStrokeColor && x.mUseFill == y.mUseFill &&
                    x.mUseStroke == y.mUseStroke && x.mUsePattern == y.mUsePattern &&
                    x.GetIdentifier() == y.GetIdentifier() && x.GetOwnerLayer() == y.GetOwnerLayer();
        const auto* p = dynamic_cast<const CPathDrawingInstruction*>(&x);
        const auto* q = dynamic_cast<const CPathDrawingInstruction*>(&y);
        if (same && p != nullptr && q != nullptr) {
            same =
                p->mLineWidth == q->mLineWidth && p->mPathMicroInstructions.size() == q->mPathMicroInstructions.size();
            for (std::size_t k = 0; same && k < p->mPathMicroInstructions.size(); ++k) {
                const auto* s = std::get_if<CPathLineToMicroInstruction>(&p->mPathMicroInstructions[k]);
                const auto* t = std::get_if<CPathLineToMicroInstruction>(&q->mPathMicroInstructions[k]);
                same = (s == nullptr) == (t == nullptr) &&
                       (s == nullptr || (s->mPoint.x == t->mPoint.x && s->mPoint.y == t->mPoint.y));
            }
        }
        differing += !same;
    }
    EXPECT_EQ(differing, 0u);
}

TEST(BuildReference, AFailureOnAnotherThreadPassesOnAndLeavesNothingBehind) {
    const std::unique_ptr<CLayout> layout = Generated(300);
    ASSERT_NE(layout, nullptr);
    // A broken element late in the list, where a thread of its own draws it.
    CCompositeGeometry* broken = nullptr;
    for (std::size_t i = layout->GetElements().size(); i-- > 200;) {
        CCompositeGeometry* element = layout->GetElements()[i];
        if (element->GetLayer() == layout->GetElements()[0]->GetLayer()) {
            broken = element;
            break;
        }
    }
    ASSERT_NE(broken, nullptr);
    broken->GetComponents().push_back(nullptr);
    const std::size_t aliveBefore = CInstructionArena::CountAlive();
    VKMLayoutElementsPainter::setBuildThreads(3);
    EXPECT_THROW(VKMRenderDataFactory::getElementsDataForLayout(*layout), std::exception);
    VKMLayoutElementsPainter::setBuildThreads(0);
    broken->GetComponents().pop_back();
    // Every instruction drawn before the failure, on every thread, is gone.
    VKMDrawingInstructionsRenderData::waitForPendingReleases();
    EXPECT_EQ(CInstructionArena::CountAlive(), aliveBefore);
}
