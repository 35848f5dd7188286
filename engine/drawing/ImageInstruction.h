#pragma once
// CImageDrawingInstruction: a picture drawn into the rectangle from
// mPlacement (top-left) of mWidth x mHeight, turned about the rectangle's
// centre by mRotationAngle, with mAlpha.

#include <memory>

#include "engine/drawing/DrawingInstruction.h"
#include "engine/geometry/Point.h"

namespace platform {
class Image;
}

class CImageDrawingInstruction : public CDrawingInstruction {
public:
    // Keeps the image (shared, so it lives as long as the instruction) and
    // its size in points; fill-only, grey 0.5.
    CImageDrawingInstruction(std::shared_ptr<const platform::Image> image, double width, double height);
    CImageDrawingInstruction(const CImageDrawingInstruction& other) = default;

    // The unturned rectangle; without an image the bounds stay as they were.
    void CalcBoundingBox() override;
    std::string Dump() const override;

    std::shared_ptr<const platform::Image> mImage;
    double mRotationAngle = 0.0;
    double mAlpha = 1.0;
    double mWidth = 0.0;
    double mHeight = 0.0;
    // Top-left corner.
    CPoint mPlacement;
};
