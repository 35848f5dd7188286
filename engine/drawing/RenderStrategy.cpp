#include "engine/drawing/RenderStrategy.h"

#include <new>
#include <typeinfo>
#include <utility>

#include "engine/drawing/Renderers.h"
#include "engine/model/CurveBIG.h"
#include "engine/model/FlexTrackBIG.h"
#include "engine/model/OvalBIG.h"
#include "engine/model/PolyBIG.h"
#include "engine/model/StraightBIG.h"
#include "engine/model/TextBIG.h"
#include "engine/services/ErrorHandling.h"
#include "engine/services/Logger.h"

namespace {

// The component as class T, or null when it is not one: the exact class is
// checked first, which is much quicker than the full cast it usually spares.
template <typename T>
T* AsComponent(CBasicGeometry* component) {
    if (typeid(*component) == typeid(T)) return static_cast<T*>(component);
    return dynamic_cast<T*>(component);
}

}  // namespace

// ------------------------------------------------------------ render options

CDrawingInstructionsRenderOptions::CDrawingInstructionsRenderOptions(tDrawingInstructions* output, int pass)
    : mPass(pass), mOutput(output), mShared(std::make_shared<tShared>()) {}

CDrawingInstructionsRenderOptions::CDrawingInstructionsRenderOptions(tDrawingInstructions* output, int pass,
                                                                     const CDrawingInstructionsRenderOptions& sameBuild)
    : mPass(pass), mOutput(output), mShared(sameBuild.mShared) {}

const tInstructionOwner& CDrawingInstructionsRenderOptions::CurrentOwner() {
    tShared& shared = *mShared;
    if (shared.owner != nullptr && shared.layer == mOwnerLayer && shared.owner->mIdentifier == mIdentifier)
        return *shared.owner;
    if (shared.layer != mOwnerLayer || shared.owner == nullptr) {
        const std::optional<tInstructionLayer> view = tInstructionOwner::LayerOf(mOwnerLayer);
        shared.layerCopy = tInstructionOwner::CopyLayerIn(*shared.arena, view ? &*view : nullptr);
        shared.layer = mOwnerLayer;
    }
    shared.owner = &tInstructionOwner::MakeIn(*shared.arena, shared.layerCopy, mIdentifier);
    return *shared.owner;
}

void CDrawingInstructionsRenderOptions::AddInstruction(CDrawingInstruction* instruction) {
    AddInstruction(std::unique_ptr<CDrawingInstruction>(instruction));
}

void CDrawingInstructionsRenderOptions::AddInstruction(std::unique_ptr<CDrawingInstruction> instruction) {
    Take(std::move(instruction), false);
}

void CDrawingInstructionsRenderOptions::AddInstructionWithBounds(std::unique_ptr<CDrawingInstruction> instruction) {
    Take(std::move(instruction), true);
}

void CDrawingInstructionsRenderOptions::Take(std::unique_ptr<CDrawingInstruction> instruction, bool boundsSet) {
    if (!instruction) return;
    UErrorHandling::ThrowIfNull(mOutput,
                                "void CDrawingInstructionsRenderOptions::AddInstruction(CDrawingInstruction *)",
                                "No output list for drawing instructions");
    if (!boundsSet) instruction->CalcBoundingBox();
    instruction->SetOwner(CurrentOwner());
    mOutput->push_back(instruction.get());
    instruction.release();
}

// ------------------------------------------------------------ strategy

CRenderStrategy::CRenderStrategy() = default;

CRenderStrategy::~CRenderStrategy() = default;

void CRenderStrategy::RenderComponent(CBasicGeometry* component, const CPoint& position, double angle,
                                      const CGradeVector& grade, const CDrawingOptions& options) {
    static constexpr const char* kSignature =
        "void CRenderStrategy::RenderComponent(CBasicGeometry *, const CPoint &, double, const "
        "CGradeVector &, const CDrawingOptions &)";
    static constexpr const char* kNoRenderer = "No renderer for the component type";
    UErrorHandling::ThrowIfNull(component, kSignature, "Invalid component");

    const int type = component->GetType();
    switch (type) {
        case kComponentTypeStraight:
            if (auto* straight = AsComponent<CStraightBIG>(component)) {
                UErrorHandling::ThrowIfNull(mStraightRenderer.get(), kSignature, kNoRenderer)
                    ->Render(straight, position, angle, grade, options);
                return;
            }
            break;
        case kComponentTypeCurve:
            if (auto* curve = AsComponent<CCurveBIG>(component)) {
                UErrorHandling::ThrowIfNull(mCurveRenderer.get(), kSignature, kNoRenderer)
                    ->Render(curve, position, angle, grade, options);
                return;
            }
            break;
        case kComponentTypePoly:
            if (auto* poly = AsComponent<CPolyBIG>(component)) {
                UErrorHandling::ThrowIfNull(mPolyRenderer.get(), kSignature, kNoRenderer)
                    ->Render(poly, position, angle, grade, options);
                return;
            }
            break;
        case kComponentTypeText:
            if (auto* text = AsComponent<CTextBIG>(component)) {
                UErrorHandling::ThrowIfNull(mTextRenderer.get(), kSignature, kNoRenderer)
                    ->Render(text, position, angle, grade, options);
                return;
            }
            break;
        case kComponentTypeOval:
            if (auto* oval = AsComponent<COvalBIG>(component)) {
                UErrorHandling::ThrowIfNull(mOvalRenderer.get(), kSignature, kNoRenderer)
                    ->Render(oval, position, angle, grade, options);
                return;
            }
            break;
        case kComponentTypeFlexTrack:
            if (auto* flex = AsComponent<CFlexTrackBIG>(component)) {
                UErrorHandling::ThrowIfNull(mFlexTrackRenderer.get(), kSignature, kNoRenderer)
                    ->Render(flex, position, angle, grade, options);
                return;
            }
            break;
        default: break;
    }
    LogWarning("%s: Cannot render element: Unknown type %d", kSignature, type);
}

CDrawingInstructionsRenderStrategy::CDrawingInstructionsRenderStrategy() {
    static constexpr const char* kSignature =
        "CDrawingInstructionsRenderStrategy::CDrawingInstructionsRenderStrategy()";
    mStraightRenderer.reset(
        UErrorHandling::ThrowIfNull(new (std::nothrow) CDrawingInstructionsStraightRenderer(), kSignature,
                                    "Failed to instantiate CDrawingInstructionsStraightRenderer object"));
    mCurveRenderer.reset(UErrorHandling::ThrowIfNull(new (std::nothrow) CDrawingInstructionsCurveRenderer(), kSignature,
                                                     "Failed to instantiate CDrawingInstructionsCurveRenderer object"));
    mFlexTrackRenderer.reset(
        UErrorHandling::ThrowIfNull(new (std::nothrow) CDrawingInstructionsFlextrackRenderer(), kSignature,
                                    "Failed to instantiate CDrawingInstructionsFlextrackRenderer object"));
    mPolyRenderer.reset(UErrorHandling::ThrowIfNull(new (std::nothrow) CDrawingInstructionsPolyRenderer(), kSignature,
                                                    "Failed to instantiate CDrawingInstructionsPolyRenderer object"));
    mOvalRenderer.reset(UErrorHandling::ThrowIfNull(new (std::nothrow) CDrawingInstructionsOvalRenderer(), kSignature,
                                                    "Failed to instantiate CDrawingInstructionsOvalRenderer object"));
    mTextRenderer.reset(UErrorHandling::ThrowIfNull(new (std::nothrow) CDrawingInstructionsTextRenderer(), kSignature,
                                                    "Failed to instantiate CDrawingInstructionsTextRenderer object"));
}
