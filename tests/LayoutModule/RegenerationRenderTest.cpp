// Regenerating the generated elements of a layout that layoutgen writes
// (flex tracks made by the flex-track generators, arrows and dimension
// lines, among plain tracks, texts and shapes): twice gives the same
// components as once, and the layout draws as it did before, both as
// drawing instructions and as pixels.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <typeinfo>
#include <vector>

#include "LayoutView/Drawing/VKMDrawingInstructionsPainter.h"
#include "LayoutView/Drawing/VKMRenderDataFactory.h"
#include "engine/drawing/GraphicsStateInstruction.h"
#include "engine/drawing/OvalInstruction.h"
#include "engine/drawing/PathInstruction.h"
#include "engine/drawing/TextInstruction.h"
#include "engine/generators/Regeneration.h"
#include "engine/model/CompositeGeometry.h"
#include "engine/model/Layout.h"
#include "engine/model/LayoutBounds.h"
#include "engine/model/PolyBIG.h"
#include "platform/foundation/Paths.h"
#include "tests/LayoutModule/LayoutModuleTestSupport.h"
#include "tools/layoutgen/LargeLayout.h"
#include "tools/layoutgen/LayoutFileWriter.h"
#include "platform/foundation/OwnedList.h"

namespace {

constexpr double kTolerance = 1e-6;

std::unique_ptr<CLayout> GeneratedLayout(std::size_t count) {
    layouttest::RegisterServices();
    ULayoutGen::tLayoutDocument document;
    ULayoutGen::ComposeLargeLayout(document, count, 4242, CLayout::kNewestFileVersion, true);
    const std::filesystem::path file = std::filesystem::path(platform::Paths::root()) / "generated.layout";
    if (!ULayoutFileWriter::WriteLayoutFile(file, document.FileContent())) return nullptr;
    auto layout = std::make_unique<CLayout>();
    if (layout->Load(file.string()) != kLayoutLoaded) return nullptr;
    return layout;
}

// Every number of every component, in order, with its kind and marks.
struct tComponentData {
    int type = 0;
    bool generated = false;
    int generatorID = 0;
    int lineWidth = 0;
    std::vector<double> values;
};

std::vector<tComponentData> ComponentsOf(const CCompositeGeometry& element) {
    std::vector<tComponentData> list;
    for (const CBasicGeometry* component : element.GetComponents()) {
        tComponentData data;
        data.type = component->GetType();
        data.generated = component->IsGenerated();
        data.generatorID = component->GetComponentGeneratorID();
        data.lineWidth = component->GetLineWidth();
        data.values = {component->GetOffsetX(),    component->GetOffsetY(),   component->GetAngle(),
                       component->GetGauge(),      component->GetRailWidth(), component->GetTrackbedWidth(),
                       component->GetTrackLength()};
        if (const auto* poly = dynamic_cast<const CPolyBIG*>(component)) {
            for (const CPoint& point : poly->GetPoints()) {
                data.values.push_back(point.x);
                data.values.push_back(point.y);
                data.values.push_back(point.z);
            }
        }
        list.push_back(data);
    }
    return list;
}

struct tElementData {
    CPoint position;
    double angle = 0.0;
    std::vector<tComponentData> components;
};

tElementData DataOf(const CCompositeGeometry& element) {
    return {element.GetPosition(), element.GetAngle(), ComponentsOf(element)};
}

void ExpectSameElement(const tElementData& a, const tElementData& b, const std::string& what) {
    EXPECT_NEAR(a.position.x, b.position.x, kTolerance) << what;
    EXPECT_NEAR(a.position.y, b.position.y, kTolerance) << what;
    EXPECT_NEAR(a.angle, b.angle, kTolerance) << what;
    ASSERT_EQ(a.components.size(), b.components.size()) << what;
    for (std::size_t i = 0; i < a.components.size(); ++i) {
        const std::string where = what + ", component " + std::to_string(i);
        EXPECT_EQ(a.components[i].type, b.components[i].type) << where;
        EXPECT_EQ(a.components[i].generated, b.components[i].generated) << where;
        EXPECT_EQ(a.components[i].generatorID, b.components[i].generatorID) << where;
        EXPECT_EQ(a.components[i].lineWidth, b.components[i].lineWidth) << where;
        ASSERT_EQ(a.components[i].values.size(), b.components[i].values.size()) << where;
        for (std::size_t k = 0; k < a.components[i].values.size(); ++k) {
            EXPECT_NEAR(a.components[i].values[k], b.components[i].values[k], kTolerance) << where << " value " << k;
        }
    }
}

// The content layer's instructions, owned.
struct tInstructions {
    tDrawingInstructions list;
    ~tInstructions() { platform::DeleteAll(list); }
};

void ExpectNear(const CPoint& a, const CPoint& b, double tolerance, const std::string& what) {
    EXPECT_NEAR(a.x, b.x, tolerance) << what;
    EXPECT_NEAR(a.y, b.y, tolerance) << what;
    EXPECT_NEAR(a.z, b.z, tolerance) << what;
}

// Same instructions in the same order: class, element, style, colours, box
// and every number of the geometry.
void ExpectSameInstructions(const tDrawingInstructions& before, const tDrawingInstructions& after, double tolerance) {
    ASSERT_EQ(before.size(), after.size());
    for (std::size_t i = 0; i < before.size(); ++i) {
        const CDrawingInstruction& a = *before[i];
        const CDrawingInstruction& b = *after[i];
        const std::string what = "instruction " + std::to_string(i) + " (" + a.Dump() + ")";
        ASSERT_EQ(typeid(a), typeid(b)) << what;
        EXPECT_EQ(a.GetIdentifier(), b.GetIdentifier()) << what;
        EXPECT_EQ(a.GetOwnerLayer(), b.GetOwnerLayer()) << what;
        EXPECT_EQ(a.mUseFill, b.mUseFill) << what;
        EXPECT_EQ(a.mUseStroke, b.mUseStroke) << what;
        EXPECT_EQ(a.mUsePattern, b.mUsePattern) << what;
        EXPECT_TRUE(a.mFillColor == b.mFillColor) << what;
        EXPECT_TRUE(a.mStrokeColor == b.mStrokeColor) << what;
        EXPECT_NEAR(a.mBounds.minX, b.mBounds.minX, tolerance) << what;
        EXPECT_NEAR(a.mBounds.minY, b.mBounds.minY, tolerance) << what;
        EXPECT_NEAR(a.mBounds.maxX, b.mBounds.maxX, tolerance) << what;
        EXPECT_NEAR(a.mBounds.maxY, b.mBounds.maxY, tolerance) << what;
        if (const auto* pa = dynamic_cast<const CPathDrawingInstruction*>(&a)) {
            const auto& pb = dynamic_cast<const CPathDrawingInstruction&>(b);
            EXPECT_EQ(pa->mLineWidth, pb.mLineWidth) << what;
            EXPECT_EQ(pa->mDrawWithDash, pb.mDrawWithDash) << what;
            EXPECT_EQ(pa->mLineCapStyle, pb.mLineCapStyle) << what;
            ASSERT_EQ(pa->mPathMicroInstructions.size(), pb.mPathMicroInstructions.size()) << what;
            for (std::size_t k = 0; k < pa->mPathMicroInstructions.size(); ++k) {
                const CPathMicroInstruction& ma = pa->mPathMicroInstructions[k];
                const CPathMicroInstruction& mb = pb.mPathMicroInstructions[k];
                const std::string step = what + " step " + std::to_string(k);
                ASSERT_EQ(ma.index(), mb.index()) << step;
                if (const auto* la = std::get_if<CPathLineToMicroInstruction>(&ma)) {
                    ExpectNear(la->mPoint, std::get<CPathLineToMicroInstruction>(mb).mPoint, tolerance, step);
                } else if (const auto* aa = PathArcOf(ma)) {
                    const auto& ab = std::get<CPathArcStep>(mb).Get();
                    ExpectNear(aa->mCenter, ab.mCenter, tolerance, step);
                    EXPECT_NEAR(aa->mRadius, ab.mRadius, tolerance) << step;
                    EXPECT_NEAR(aa->GetDrawnSweep(), ab.GetDrawnSweep(), tolerance) << step;
                    EXPECT_NEAR(std::remainder(aa->mStartAngle - ab.mStartAngle, 360.0), 0.0, tolerance) << step;
                }
            }
        } else if (const auto* ta = dynamic_cast<const CTextDrawingInstruction*>(&a)) {
            const auto& tb = dynamic_cast<const CTextDrawingInstruction&>(b);
            EXPECT_EQ(ta->mText, tb.mText) << what;
            EXPECT_EQ(ta->mFontName, tb.mFontName) << what;
            EXPECT_EQ(ta->mTextSize, tb.mTextSize) << what;
            ExpectNear(ta->mPosition, tb.mPosition, tolerance, what);
            ExpectNear(ta->mRotationCenter, tb.mRotationCenter, tolerance, what);
            ExpectNear(ta->mTranslation, tb.mTranslation, tolerance, what);
            EXPECT_NEAR(std::remainder(ta->mRotationAngle - tb.mRotationAngle, 360.0), 0.0, tolerance) << what;
        } else if (const auto* oa = dynamic_cast<const COvalDrawingInstruction*>(&a)) {
            const auto& ob = dynamic_cast<const COvalDrawingInstruction&>(b);
            ExpectNear(oa->mPosition, ob.mPosition, tolerance, what);
            EXPECT_NEAR(oa->mRadiusX, ob.mRadiusX, tolerance) << what;
            EXPECT_NEAR(oa->mRadiusY, ob.mRadiusY, tolerance) << what;
            EXPECT_NEAR(oa->mRotationAngle, ob.mRotationAngle, tolerance) << what;
        } else {
            EXPECT_EQ(a.Dump(), b.Dump()) << what;
        }
    }
}

// The instructions painted into a small bitmap, the content fitted in.
std::unique_ptr<platform::BitmapContext> Paint(const tDrawingInstructions& list, const tDoubleRect& content) {
    constexpr int kSide = 160;
    auto canvas = layouttest::Canvas(kSide, kSide);
    const double scale = kSide / std::max(content.maxX - content.minX, content.maxY - content.minY) * 0.95;
    canvas->scale(scale, scale);
    canvas->translate(-content.minX, -content.minY);
    VKMDrawingInstructionsPainter::draw(
        *canvas, list,
        platform::Rect{content.minX, content.minY, content.maxX - content.minX, content.maxY - content.minY},
        "RegenerationRenderTest");
    return canvas;
}

void Regenerate(CLayout& layout, CCompositeGeometry* element) { layout.RegenerateElement(element); }

}  // namespace

TEST(RegenerationRender, RegeneratingTwiceGivesTheSameComponentsAndTheSameDrawing) {
    std::unique_ptr<CLayout> layout = GeneratedLayout(600);
    ASSERT_NE(layout, nullptr);

    // The generated elements, and which generators made them: all four
    // kinds the layout carries must be there for the test to mean much.
    std::vector<CCompositeGeometry*> generated;
    std::set<int> generators;
    for (CCompositeGeometry* element : layout->GetElements()) {
        if (element->GetGeneratorMap().empty()) continue;
        generated.push_back(element);
        for (const auto& entry : element->GetGeneratorMap()) generators.insert(entry.first);
    }
    ASSERT_GE(generated.size(), 40u);
    EXPECT_EQ(generators, (std::set<int>{kGeneratorStraightFlexTrack, kGeneratorCurvedFlexTrack, kGeneratorArrow,
                                         kGeneratorDimension}));

    const tDoubleRect content = ULayoutBounds::GetContentBoundingBox(*layout, ULayoutBounds::kBoundsModeVisible);
    tInstructions before;
    VKMRenderDataFactory::createContentDrawingInstructions(before.list, *layout);
    ASSERT_FALSE(before.list.empty());
    const auto paintedBefore = Paint(before.list, content);

    std::vector<tElementData> once;
    for (CCompositeGeometry* element : generated) {
        Regenerate(*layout, element);
        once.push_back(DataOf(*element));
    }
    layout->GetLayoutJoints().RebuildConnections();
    tInstructions after;
    VKMRenderDataFactory::createContentDrawingInstructions(after.list, *layout);
    const auto paintedAfter = Paint(after.list, content);

    for (std::size_t i = 0; i < generated.size(); ++i) {
        Regenerate(*layout, generated[i]);
        ExpectSameElement(once[i], DataOf(*generated[i]), "generated element " + std::to_string(i));
    }
    layout->GetLayoutJoints().RebuildConnections();

    // The file keeps what the generators gave; regenerating brings back the
    // same drawing (to the file's precision).
    ExpectSameInstructions(before.list, after.list, 1e-3);

    // The bitmap shows the layout at all: some pixels are no longer blank.
    int painted = 0;
    for (int y = 0; y < paintedBefore->pixelHeight(); ++y) {
        for (int x = 0; x < paintedBefore->pixelWidth(); ++x) {
            if (paintedBefore->pixel(x, y)->alpha != 0) ++painted;
        }
    }
    EXPECT_GT(painted, 200);

    int differing = 0;
    for (int y = 0; y < paintedBefore->pixelHeight(); ++y) {
        for (int x = 0; x < paintedBefore->pixelWidth(); ++x) {
            const platform::Pixel p = *paintedBefore->pixel(x, y);
            if (!layouttest::PixelNear(*paintedAfter, x, y, p.red, p.green, p.blue, p.alpha, 8)) ++differing;
        }
    }
    EXPECT_EQ(differing, 0);
}
