#include "engine/drawing/PathInstruction.h"

#include <cmath>

#include "engine/geometry/BoundsAccumulator.h"
#include "engine/services/StringFormat.h"

// A large layout's paths hold millions of steps.
static_assert(sizeof(CPathMicroInstruction) <= 32);

namespace {

double ZeroIfNaN(double value) { return std::isnan(value) ? 0.0 : value; }

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

CPathDrawingInstruction::CPathDrawingInstruction(int style, bool usePattern, const CColor& fillColor,
                                                 const CColor& strokeColor)
    : CDrawingInstruction(style, usePattern, fillColor, strokeColor) {}

CPathDrawingInstruction::CPathDrawingInstruction(const CPathDrawingInstruction& other)
    : CPathDrawingInstruction(std::allocator_arg, allocator_type(), other) {}

CPathDrawingInstruction::CPathDrawingInstruction(std::allocator_arg_t, const allocator_type& allocator, int style,
                                                 bool usePattern, const CColor& fillColor, const CColor& strokeColor)
    : CDrawingInstruction(style, usePattern, fillColor, strokeColor), mPathMicroInstructions(allocator) {}

CPathDrawingInstruction::CPathDrawingInstruction(std::allocator_arg_t, const allocator_type& allocator,
                                                 const CPathDrawingInstruction& other)
    : CDrawingInstruction(other),
      mDrawWithDash(other.mDrawWithDash),
      mLineCapStyle(other.mLineCapStyle),
      mPathMicroInstructions(allocator),
      mLineWidth(other.mLineWidth),
      mDashPattern(other.mDashPattern) {}

void CPathDrawingInstruction::PlacedIn(CInstructionArena& home) {
    // Made by MakeIn with the arena's allocator: nothing to move.
    if (mPathMicroInstructions.get_allocator().arena() == &home) return;
    tSteps steps{CInstructionArenaAllocator<CPathMicroInstruction>(&home)};
    steps.reserve(mPathMicroInstructions.size());
    for (CPathMicroInstruction& step : mPathMicroInstructions) steps.push_back(std::move(step));
    mPathMicroInstructions = std::move(steps);
}

void CPathDrawingInstruction::StartNewPath() { mPathMicroInstructions.emplace_back(CPathStartNewMicroInstruction{}); }

void CPathDrawingInstruction::AddClip() { mPathMicroInstructions.emplace_back(CPathAddClipMicroInstruction{}); }

void CPathDrawingInstruction::AddLineTo(const CPoint& point) {
    mPathMicroInstructions.emplace_back(std::in_place_type<CPathLineToMicroInstruction>, point);
}

void CPathDrawingInstruction::AddArc(const CPoint& center, int direction, double startAngle, double endAngle,
                                     double radius) {
    mPathMicroInstructions.emplace_back(
        std::in_place_type<CPathArcStep>,
        CPathArcMicroInstruction(center, ZeroIfNaN(radius), ZeroIfNaN(startAngle), ZeroIfNaN(endAngle), direction));
}

void CPathDrawingInstruction::ClearPathMicroInstructions() { mPathMicroInstructions.clear(); }

void CPathDrawingInstruction::CalcBoundingBox() {
    tDoubleRect bounds;
    CBoundsAccumulator accumulator(bounds);
    // The sides grow in locals (registers) as the accumulator would grow
    // them, point after point; an arc goes through the accumulator itself.
    tDoubleRect growing = bounds;
    for (const CPathMicroInstruction& step : mPathMicroInstructions) {
        if (const auto* line = std::get_if<CPathLineToMicroInstruction>(&step)) {
            const tPathPoint& point = line->mPoint;
            growing.minY = point.y < growing.minY ? point.y : growing.minY;
            growing.minX = point.x < growing.minX ? point.x : growing.minX;
            growing.maxY = growing.maxY < point.y ? point.y : growing.maxY;
            growing.maxX = growing.maxX < point.x ? point.x : growing.maxX;
        } else if (const CPathArcMicroInstruction* arc = PathArcOf(step)) {
            bounds = growing;
            // The accumulator counts angles from -y; ours count from +x.
            accumulator.AddArc(arc->mCenter, arc->mStartAngle + 90.0, arc->GetDrawnSweep(), arc->mRadius);
            growing = bounds;
        }
    }
    bounds = growing;
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
                         static_cast<const void*>(this), static_cast<unsigned long>(mPathMicroInstructions.size()),
                         mLineWidth, mDrawWithDash ? 1 : 0, DumpStyle().c_str());
}
