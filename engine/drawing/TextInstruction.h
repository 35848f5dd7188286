#pragma once
// CTextDrawingInstruction: a text drawn at mPosition in a named font, after
// translating by mTranslation and turning by mRotationAngle about
// mRotationCenter.

#include <cstdint>
#include <string>

#include "engine/drawing/DrawingInstruction.h"
#include "engine/geometry/Point.h"

class CTextDrawingInstruction : public CDrawingInstruction {
public:
    CTextDrawingInstruction(int style, bool usePattern, const CColor& fillColor, const CColor& strokeColor);
    CTextDrawingInstruction(const CTextDrawingInstruction& other) = default;

    // The measured box of the text turned by mRotationAngle
    // ("TextCalculationService"), moved by mPosition. Without the service
    // the bounds stay as they were.
    void CalcBoundingBox() override;
    std::string Dump() const override;

    // Where the text's top-left corner is drawn.
    CPoint mPosition;
    CPoint mRotationCenter;
    // Applied before the rotation.
    CPoint mTranslation;
    double mRotationAngle = 0.0;
    std::string mFontName;
    // UTF-8.
    std::string mText;
    std::int32_t mTextSize = 12;
    std::int32_t mOutlineWidth = 0;
};
