#pragma once
// CPathDrawingInstruction: a path of line and arc steps (the micro-
// instructions), filled and/or stroked, optionally dashed, or used as a clip.

#include <array>
#include <cstddef>
#include <memory>
#include <variant>
#include <vector>

#include "engine/drawing/DrawingInstruction.h"
#include "engine/geometry/Point.h"

// The steps of a path (the micro-instructions). They are plain values kept
// side by side in the path instruction's list: a path of many points costs
// one allocation, not one per point.

// The next line-to begins a new subpath (a move-to).
class CPathStartNewMicroInstruction {};

// A point of a path step: the coordinates of a CPoint without its virtual
// table, so that a line step takes 32 bytes rather than 40.
struct tPathPoint {
    double x = 0;
    double y = 0;
    double z = 0;

    operator CPoint() const { return CPoint(x, y, z); }
};

// A line to the point; the first step of a path, or the first after a
// start-new, moves there instead.
class CPathLineToMicroInstruction {
public:
    explicit CPathLineToMicroInstruction(const CPoint& point) : mPoint{point.x, point.y, point.z} {}
    tPathPoint mPoint;
};

// A circular arc appended to the current path. Angles are degrees from +x
// towards +y. Direction 0 runs from the start towards growing angles
// (clockwise on the painter's y-down screen); any other value towards
// falling ones. An end on the other side of the start is reached by going
// round, as the platform's arc does.
class CPathArcMicroInstruction {
public:
    CPathArcMicroInstruction(const CPoint& center, double radius, double startAngle, double endAngle, int direction)
        : mCenter(center), mRadius(radius), mStartAngle(startAngle), mEndAngle(endAngle), mDirection(direction) {}

    // The signed sweep the arc covers: positive for direction 0.
    double GetDrawnSweep() const;

    CPoint mCenter;
    double mRadius;
    double mStartAngle;
    double mEndAngle;
    int mDirection;
};

// Intersects the clip area with the path built so far.
class CPathAddClipMicroInstruction {};

// An arc as a path step. Arcs are rare and twice the size of a line step;
// kept out of line they leave every step at 32 bytes (72 with arcs and
// CPoints inline), which more than halves the memory a large layout's
// instructions are built in.
class CPathArcStep {
public:
    explicit CPathArcStep(const CPathArcMicroInstruction& arc)
        : mArc(std::make_unique<CPathArcMicroInstruction>(arc)) {}
    CPathArcStep(const CPathArcStep& other) : mArc(std::make_unique<CPathArcMicroInstruction>(*other.mArc)) {}
    CPathArcStep& operator=(const CPathArcStep& other) {
        if (this != &other) mArc = std::make_unique<CPathArcMicroInstruction>(*other.mArc);
        return *this;
    }
    // Only a step that is about to be destroyed or assigned is moved from.
    CPathArcStep(CPathArcStep&&) noexcept = default;
    CPathArcStep& operator=(CPathArcStep&&) noexcept = default;

    const CPathArcMicroInstruction& Get() const { return *mArc; }

private:
    std::unique_ptr<CPathArcMicroInstruction> mArc;
};

// One step of a path: exactly one of the four kinds. Tell them apart with
// std::get_if or std::visit; PathArcOf reads an arc.
using CPathMicroInstruction = std::variant<CPathStartNewMicroInstruction, CPathLineToMicroInstruction, CPathArcStep,
                                           CPathAddClipMicroInstruction>;

// The arc of an arc step, or null for any other kind.
inline const CPathArcMicroInstruction* PathArcOf(const CPathMicroInstruction& step) {
    const auto* arc = std::get_if<CPathArcStep>(&step);
    return arc != nullptr ? &arc->Get() : nullptr;
}

class CPathDrawingInstruction : public CDrawingInstruction {
public:
    // Platform line-cap code of a square cap.
    static constexpr int kLineCapSquare = 2;

    // The steps of a path made in an arena take their memory there: they
    // live and die with their instruction, so they are read, changed and
    // copied, never moved out of it.
    using tSteps = std::vector<CPathMicroInstruction, CInstructionArenaAllocator<CPathMicroInstruction>>;

    CPathDrawingInstruction(int style, bool usePattern, const CColor& fillColor, const CColor& strokeColor);
    // Every field but the bounds and the steps: a copy starts with an empty
    // path (renderers copy templates and fill in their own points).
    CPathDrawingInstruction(const CPathDrawingInstruction& other);
    // The same, with the steps taking memory from `allocator` (MakeIn
    // passes its arena's).
    using allocator_type = CInstructionArenaAllocator<std::byte>;
    CPathDrawingInstruction(std::allocator_arg_t, const allocator_type& allocator, int style, bool usePattern,
                            const CColor& fillColor, const CColor& strokeColor);
    CPathDrawingInstruction(std::allocator_arg_t, const allocator_type& allocator,
                            const CPathDrawingInstruction& other);
    ~CPathDrawingInstruction() override = default;

    // Each appends one step.
    void StartNewPath();
    void AddClip();
    void AddLineTo(const CPoint& point);
    // An angle or radius that is not a number is stored as 0.
    void AddArc(const CPoint& center, int direction, double startAngle, double endAngle, double radius);
    // Deletes every step.
    void ClearPathMicroInstructions();

    // Every line-to point and the whole extent of every arc (the sweep it is
    // drawn with), then widened by mLineWidth on every side. Without steps
    // the rectangle stays inverted (largest to lowest double) and meets no
    // area.
    void CalcBoundingBox() override;
    std::string Dump() const override;

    // The two small fields first: they fit in the room after the base's
    // flags.
    bool mDrawWithDash = false;
    // Platform line-cap code (0 butt, 2 square).
    int mLineCapStyle = 0;
    tSteps mPathMicroInstructions;
    double mLineWidth = 1.0;
    // Dash length, gap length.
    std::array<double, 2> mDashPattern{1.0, 1.0};

private:
    void PlacedIn(CInstructionArena& home) override;
};
