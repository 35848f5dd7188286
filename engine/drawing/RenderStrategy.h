#pragma once
// CRenderStrategy: one renderer per component kind; RenderComponent hands
// each component to the renderer of its type code.
// CDrawingInstructionsRenderStrategy fills the six slots with the renderers
// that append drawing instructions, and CDrawingInstructionsRenderOptions
// says where they go and for which pass.

#include <memory>
#include <string>
#include <utility>

#include "engine/drawing/DrawingInstruction.h"

class CBasicGeometry;
class CDrawingOptions;
class CGradeVector;
class CLayer;
class CPoint;
class CStraightRendererBase;
class CCurveRendererBase;
class CFlexTrackRendererBase;
class CPolyRendererBase;
class COvalRendererBase;
class CTextRendererBase;

// The settings of one render pass, whatever the strategy.
class CRenderStrategyOptions {
public:
    virtual ~CRenderStrategyOptions() = default;

protected:
    CRenderStrategyOptions() = default;
};

class CDrawingInstructionsRenderOptions : public CRenderStrategyOptions {
public:
    static constexpr int kOutlinePass = 1;
    static constexpr int kFillPass = 2;

    // `output` is not owned and must outlive the options. Instructions are
    // made in an arena of the options' own.
    CDrawingInstructionsRenderOptions(tDrawingInstructions* output, int pass);
    // Options for another pass of the same build: they share the arena and
    // the records of the elements with `sameBuild`.
    CDrawingInstructionsRenderOptions(tDrawingInstructions* output, int pass,
                                      const CDrawingInstructionsRenderOptions& sameBuild);

    // A new instruction of class T in the options' arena, for AddInstruction.
    template <typename T, typename... Args>
    std::unique_ptr<T> NewInstruction(Args&&... args) const {
        return CDrawingInstruction::MakeIn<T>(*mShared->arena, std::forward<Args>(args)...);
    }

    // Takes the instruction: computes its bounds, gives it a copy of the
    // owner layer and of the identifier (one copy for all the instructions
    // of an element), and appends it to the output. A null output list
    // deletes the instruction and fails through UErrorHandling::ThrowIfNull;
    // a null instruction is ignored.
    void AddInstruction(CDrawingInstruction* instruction);
    void AddInstruction(std::unique_ptr<CDrawingInstruction> instruction);
    // The same for an instruction whose mBounds the caller has already set
    // to what CalcBoundingBox would give (worked out while the path was
    // made, sparing a second walk over its steps).
    void AddInstructionWithBounds(std::unique_ptr<CDrawingInstruction> instruction);

private:
    void Take(std::unique_ptr<CDrawingInstruction> instruction, bool boundsSet);

public:
    // 2 fill pass, 1 outline pass.
    int mPass;
    // Width of bed, joint-end and sleeper lines; the least width of polygon
    // and oval lines.
    double mBaseLineWidth = 1.0;
    tDrawingInstructions* mOutput;
    // The layer of the element being drawn; not owned, set by the caller
    // before each element. Instructions keep a copy of what they need of
    // it, made once while the options draw on that layer: a layer must not
    // change while its elements are drawn.
    CLayer* mOwnerLayer = nullptr;
    // A text of the element being drawn; instructions keep a copy.
    std::string mIdentifier;

private:
    // What the options of one build share: the arena, and the last records
    // made there, of a layer and of an element.
    struct tShared {
        CInstructionArenaRef arena = CInstructionArena::Create();
        const CLayer* layer = nullptr;
        const tInstructionLayer* layerCopy = nullptr;
        const tInstructionOwner* owner = nullptr;
    };

    // The record of the element being drawn, made again when the owner
    // layer or the identifier changes.
    const tInstructionOwner& CurrentOwner();

    std::shared_ptr<tShared> mShared;
};

class CRenderStrategy {
public:
    virtual ~CRenderStrategy();

    CRenderStrategy(const CRenderStrategy&) = delete;
    CRenderStrategy& operator=(const CRenderStrategy&) = delete;

    // By type code: 1 straight, 2 curve, 3 poly, 4 text, 5 oval, 6 flex
    // track. Any other code (or a component that is not of its code's class)
    // is logged as a warning and draws nothing. A null component fails
    // through UErrorHandling::ThrowIfNull.
    void RenderComponent(CBasicGeometry* component, const CPoint& position, double angle, const CGradeVector& grade,
                         const CDrawingOptions& options);

protected:
    CRenderStrategy();

    std::unique_ptr<CStraightRendererBase> mStraightRenderer;
    std::unique_ptr<CCurveRendererBase> mCurveRenderer;
    std::unique_ptr<CFlexTrackRendererBase> mFlexTrackRenderer;
    std::unique_ptr<CPolyRendererBase> mPolyRenderer;
    std::unique_ptr<COvalRendererBase> mOvalRenderer;
    std::unique_ptr<CTextRendererBase> mTextRenderer;
};

class CDrawingInstructionsRenderStrategy : public CRenderStrategy {
public:
    CDrawingInstructionsRenderStrategy();
};
