#pragma once
// CDrawingInstruction: one device-independent drawing step (a path, a text,
// an oval, an image, a grid or a graphics-state change). The renderers and
// the overlay painters make them, the layout viewer keeps them in lists per
// render layer and paints them many times.
//
// An instruction owns everything it refers to: the identifier text and what
// it needs of its layer are copies (the identifier text, which never
// changes, is shared by the instructions of one element). Lists are deleted
// on a background queue, possibly after the document and its layers are
// gone, so a view into the render options or a pointer to a CLayer could
// dangle.
//
// Coordinates are layout millimetres, angles degrees.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/geometry/Color.h"
#include "engine/geometry/DoubleRect.h"

class CLayer;

// Style words of the constructors: bit 1 fills, bit 0 strokes.
constexpr int kDrawingStyleStroke = 1;
constexpr int kDrawingStyleFill = 2;
constexpr int kDrawingStyleFillAndStroke = 3;

// What an instruction keeps of the layer of the element it was made for.
struct tInstructionLayer {
    std::string mName;
    bool mVisible = true;
    std::int32_t mLayerType = 1;

    bool operator==(const tInstructionLayer&) const = default;
};

class CDrawingInstruction {
public:
    virtual ~CDrawingInstruction() = default;

    CDrawingInstruction& operator=(const CDrawingInstruction&) = delete;

    // Recomputes and stores mBounds.
    virtual void CalcBoundingBox() = 0;
    // The debug description, at most 255 bytes.
    virtual std::string Dump() const;

    // mUseFill from bit 1 and mUseStroke from bit 0 of `style`.
    void SetStyle(int style);

    // Copies the layer's name, visibility and type; null forgets the layer.
    void SetOwnerLayer(const CLayer* layer);
    const std::optional<tInstructionLayer>& GetOwnerLayer() const { return mOwnerLayer; }

    void SetIdentifier(const std::string& identifier);
    // Takes a text that other instructions hold as well; null is empty.
    void SetIdentifier(std::shared_ptr<const std::string> identifier) {
        mIdentifier = std::move(identifier);
    }
    const std::string& GetIdentifier() const;

    // Min y, min x, max y, max x; all zero until CalcBoundingBox runs.
    tDoubleRect mBounds{};
    bool mUseFill = false;
    // Set for fills of marked elements; the painter decides how it looks.
    bool mUsePattern = false;
    bool mUseStroke = false;
    CColor mFillColor;
    CColor mStrokeColor;
    // Always 1.0; kept for the painters.
    double mScale = 1.0;

protected:
    CDrawingInstruction(int style, bool usePattern, const CColor& fillColor,
                        const CColor& strokeColor);
    // Every field but the bounds, which start at zero.
    CDrawingInstruction(const CDrawingInstruction& other);

    // "mUseFill:%d, mUseStroke:%d, mFillColor:%s, mStrokeColor:%s", the tail
    // of most descriptions.
    std::string DumpStyle() const;

private:
    std::optional<tInstructionLayer> mOwnerLayer;
    std::shared_ptr<const std::string> mIdentifier;
};

// An ordered list of instructions. Whoever holds the list owns the
// instructions and deletes them.
using tDrawingInstructions = std::vector<CDrawingInstruction*>;
