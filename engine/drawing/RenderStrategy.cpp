#include "engine/drawing/RenderStrategy.h"

#include <new>
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

// ------------------------------------------------------------ render options

CDrawingInstructionsRenderOptions::CDrawingInstructionsRenderOptions(tDrawingInstructions* output,
                                                                     int pass, CInstructionArenaRef arena)
    : mPass(pass), mOutput(output), mArena(arena ? std::move(arena) : CInstructionArena::Create()) {}

const tInstructionOwner& CDrawingInstructionsRenderOptions::CurrentOwner() {
    if (mOwner != nullptr && mOwnerRecordLayer == mOwnerLayer && mOwner->mIdentifier == mIdentifier) return *mOwner;
    mOwner = &tInstructionOwner::MakeIn(*mArena, tInstructionOwner::LayerOf(mOwnerLayer), mIdentifier);
    mOwnerRecordLayer = mOwnerLayer;
    return *mOwner;
}

void CDrawingInstructionsRenderOptions::AddInstruction(CDrawingInstruction* instruction) {
    AddInstruction(std::unique_ptr<CDrawingInstruction>(instruction));
}

void CDrawingInstructionsRenderOptions::AddInstruction(
    std::unique_ptr<CDrawingInstruction> instruction) {
    if (!instruction) return;
    UErrorHandling::ThrowIfNull(
        mOutput, "void CDrawingInstructionsRenderOptions::AddInstruction(CDrawingInstruction *)",
        "No output list for drawing instructions");
    instruction->CalcBoundingBox();
    instruction->SetOwner(CurrentOwner(), *mArena);
    mOutput->push_back(instruction.get());
    instruction.release();
}

// ------------------------------------------------------------ strategy

CRenderStrategy::CRenderStrategy() = default;

CRenderStrategy::~CRenderStrategy() = default;

void CRenderStrategy::RenderComponent(CBasicGeometry* component, const CPoint& position,
                                      double angle, const CGradeVector& grade,
                                      const CDrawingOptions& options) {
    static constexpr const char* kSignature =
        "void CRenderStrategy::RenderComponent(CBasicGeometry *, const CPoint &, double, const "
        "CGradeVector &, const CDrawingOptions &)";
    static constexpr const char* kNoRenderer = "No renderer for the component type";
    UErrorHandling::ThrowIfNull(component, kSignature, "Invalid component");

    const int type = component->GetType();
    switch (type) {
        case kComponentTypeStraight:
            if (auto* straight = dynamic_cast<CStraightBIG*>(component)) {
                UErrorHandling::ThrowIfNull(mStraightRenderer.get(), kSignature, kNoRenderer)
                    ->Render(straight, position, angle, grade, options);
                return;
            }
            break;
        case kComponentTypeCurve:
            if (auto* curve = dynamic_cast<CCurveBIG*>(component)) {
                UErrorHandling::ThrowIfNull(mCurveRenderer.get(), kSignature, kNoRenderer)
                    ->Render(curve, position, angle, grade, options);
                return;
            }
            break;
        case kComponentTypePoly:
            if (auto* poly = dynamic_cast<CPolyBIG*>(component)) {
                UErrorHandling::ThrowIfNull(mPolyRenderer.get(), kSignature, kNoRenderer)
                    ->Render(poly, position, angle, grade, options);
                return;
            }
            break;
        case kComponentTypeText:
            if (auto* text = dynamic_cast<CTextBIG*>(component)) {
                UErrorHandling::ThrowIfNull(mTextRenderer.get(), kSignature, kNoRenderer)
                    ->Render(text, position, angle, grade, options);
                return;
            }
            break;
        case kComponentTypeOval:
            if (auto* oval = dynamic_cast<COvalBIG*>(component)) {
                UErrorHandling::ThrowIfNull(mOvalRenderer.get(), kSignature, kNoRenderer)
                    ->Render(oval, position, angle, grade, options);
                return;
            }
            break;
        case kComponentTypeFlexTrack:
            if (auto* flex = dynamic_cast<CFlexTrackBIG*>(component)) {
                UErrorHandling::ThrowIfNull(mFlexTrackRenderer.get(), kSignature, kNoRenderer)
                    ->Render(flex, position, angle, grade, options);
                return;
            }
            break;
        default:
            break;
    }
    LogWarning("%s: Cannot render element: Unknown type %d", kSignature, type);
}

CDrawingInstructionsRenderStrategy::CDrawingInstructionsRenderStrategy() {
    static constexpr const char* kSignature =
        "CDrawingInstructionsRenderStrategy::CDrawingInstructionsRenderStrategy()";
    mStraightRenderer.reset(UErrorHandling::ThrowIfNull(
        new (std::nothrow) CDrawingInstructionsStraightRenderer(), kSignature,
        "Failed to instantiate CDrawingInstructionsStraightRenderer object"));
    mCurveRenderer.reset(UErrorHandling::ThrowIfNull(
        new (std::nothrow) CDrawingInstructionsCurveRenderer(), kSignature,
        "Failed to instantiate CDrawingInstructionsCurveRenderer object"));
    mFlexTrackRenderer.reset(UErrorHandling::ThrowIfNull(
        new (std::nothrow) CDrawingInstructionsFlextrackRenderer(), kSignature,
        "Failed to instantiate CDrawingInstructionsFlextrackRenderer object"));
    mPolyRenderer.reset(UErrorHandling::ThrowIfNull(
        new (std::nothrow) CDrawingInstructionsPolyRenderer(), kSignature,
        "Failed to instantiate CDrawingInstructionsPolyRenderer object"));
    mOvalRenderer.reset(UErrorHandling::ThrowIfNull(
        new (std::nothrow) CDrawingInstructionsOvalRenderer(), kSignature,
        "Failed to instantiate CDrawingInstructionsOvalRenderer object"));
    mTextRenderer.reset(UErrorHandling::ThrowIfNull(
        new (std::nothrow) CDrawingInstructionsTextRenderer(), kSignature,
        "Failed to instantiate CDrawingInstructionsTextRenderer object"));
}
