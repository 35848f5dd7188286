#include "engine/drawing/PathInstruction.h"

#include <cmath>

#include "engine/model/BoundsAccumulator.h"
#include "engine/services/StringFormat.h"

namespace {

double ZeroIfNaN(double value) {
    return std::isnan(value) ? 0.0 : value;
}

}  // namespace

double CPathArcMicroInstruction::GetDrawnSweep() const {
    const double sweep = mEndAngle - mStartAngle;
    if (mDirection == 0) {
        // An end behind the start is reached by going on round: -90 is 270.
        if (sweep < 0.0) return 360.0 - std::fmod(-sweep, 360.0);
        return sweep;
    }
    if (sweep > 0.0) return -(360.0 - std::fmod(sweep, 360.0));
    return sweep;
}

CPathDrawingInstruction::CPathDrawingInstruction(int style, bool usePattern,
                                                 const CColor& fillColor,
                                                 const CColor& strokeColor)
    : CDrawingInstruction(style, usePattern, fillColor, strokeColor) {}

CPathDrawingInstruction::CPathDrawingInstruction(const CPathDrawingInstruction& other)
    : CDrawingInstruction(other),
      mLineCapStyle(other.mLineCapStyle),
      mLineWidth(other.mLineWidth),
      mDrawWithDash(other.mDrawWithDash),
      mDashPattern(other.mDashPattern) {}

CPathDrawingInstruction::~CPathDrawingInstruction() {
    ClearPathMicroInstructions();
}

void CPathDrawingInstruction::StartNewPath() {
    mPathMicroInstructions.push_back(std::make_unique<CPathStartNewMicroInstruction>());
}

void CPathDrawingInstruction::AddClip() {
    mPathMicroInstructions.push_back(std::make_unique<CPathAddClipMicroInstruction>());
}

void CPathDrawingInstruction::AddLineTo(const CPoint& point) {
    mPathMicroInstructions.push_back(std::make_unique<CPathLineToMicroInstruction>(point));
}

void CPathDrawingInstruction::AddArc(const CPoint& center, int direction, double startAngle,
                                     double endAngle, double radius) {
    mPathMicroInstructions.push_back(std::make_unique<CPathArcMicroInstruction>(
        center, ZeroIfNaN(radius), ZeroIfNaN(startAngle), ZeroIfNaN(endAngle), direction));
}

void CPathDrawingInstruction::ClearPathMicroInstructions() {
    while (!mPathMicroInstructions.empty()) mPathMicroInstructions.pop_back();
}

void CPathDrawingInstruction::CalcBoundingBox() {
    tDoubleRect bounds;
    CBoundsAccumulator accumulator(bounds);
    for (const auto& step : mPathMicroInstructions) {
        if (step->mKind == CPathMicroInstruction::Kind::LineTo) {
            accumulator.AddPoint(static_cast<const CPathLineToMicroInstruction&>(*step).mPoint);
        } else if (step->mKind == CPathMicroInstruction::Kind::Arc) {
            const auto* arc = static_cast<const CPathArcMicroInstruction*>(step.get());
            // The accumulator counts angles from -y; ours count from +x.
            accumulator.AddArc(arc->mCenter, arc->mStartAngle + 90.0, arc->GetDrawnSweep(),
                               arc->mRadius);
        }
    }
    bounds.minY -= mLineWidth;
    bounds.minX -= mLineWidth;
    bounds.maxY += mLineWidth;
    bounds.maxX += mLineWidth;
    mBounds = bounds;
}

std::string CPathDrawingInstruction::Dump() const {
    return FormatStringN(255,
                         "CPathDrawingInstruction<%p> (mPathMicroInstructions:%lu points, "
                         "mLineWidth:%.1f, mDrawWithDash:%d, %s)",
                         static_cast<const void*>(this),
                         static_cast<unsigned long>(mPathMicroInstructions.size()), mLineWidth,
                         mDrawWithDash ? 1 : 0, DumpStyle().c_str());
}
