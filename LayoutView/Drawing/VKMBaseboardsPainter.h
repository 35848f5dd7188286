#pragma once
// VKMBaseboardsPainter: the layout's baseboards as drawing instructions:
// all fills first, then the grid clipped to the boards, then all outlines
// (the selected border segment once more, wide, in the selection colour),
// then the centre marks of arc borders that show a dimension.

#include <cstdint>

#include "engine/drawing/DrawingInstruction.h"
#include "engine/model/Baseboard.h"

class CLayout;
class CLayer;
class CPathDrawingInstruction;
class CBorderSegment;
class CStraightBorderSegment;
class CCircleArcBorderSegment;

class VKMBaseboardsPainter {
public:
    static constexpr double kOutlineWidth = 2.5;
    static constexpr double kSelectedBorderWidth = 5.0;
    static constexpr double kCrossHalfSize = 7.5;
    static constexpr double kDegenerateArcTolerance = 0.001;
    static constexpr int kFillPass = 2;
    static constexpr int kOutlinePass = 1;

    // Appends the instructions of the baseboards whose own layer is set and
    // visible; the others add nothing.
    static void drawBaseboards(const tBaseboardElements& baseboards, const CLayout& layout,
                               tDrawingInstructions& instructions);

    static void drawBaseboardPartitions(const tBaseboardElements& baseboards, const CLayout& layout,
                                        tDrawingInstructions& instructions);
    // Pass 2 fills only, pass 1 strokes only.
    static void drawBaseboard(const CBaseboardElement& baseboard, int fillMode, tDrawingInstructions& instructions);
    static void highlightSelectedBorder(const CBorderSegment& segment, const CBaseboardElement& baseboard,
                                        tDrawingInstructions& instructions);

    // Appends the segment's steps to the path. Straight: line-tos to its
    // start and end points. Arc: one arc step about its centre, nothing when
    // its ends coincide. Another kind is skipped with a warning.
    static void drawBorder(const CBorderSegment& segment, const CBaseboardElement& baseboard,
                           CPathDrawingInstruction& instruction);
    static void drawStraightBorder(const CStraightBorderSegment& segment, const CBaseboardElement& baseboard,
                                   CPathDrawingInstruction& instruction);
    static void drawCircleArcBorder(const CCircleArcBorderSegment& segment, const CBaseboardElement& baseboard,
                                    CPathDrawingInstruction& instruction);

    // Save, clip to the boards, a grid instruction, restore; nothing for an
    // empty list.
    static void drawGridForBaseboardShapes(const tBaseboardElements& baseboards, const CLayout& layout,
                                           tDrawingInstructions& instructions);
    static void applyClipForBaseboards(const tBaseboardElements& baseboards, tDrawingInstructions& instructions);
    static void addClipPathForBaseboard(const CBaseboardElement& baseboard, CPathDrawingInstruction& instruction);
    static void addGridForLayout(const CLayout& layout, const CLayer* layer, tDrawingInstructions& instructions);
    // Mode 1 the custom colour, 2 grey 0.9, 3 grey 0.2, any other black.
    static CColor getBaseboardGridColor(const CLayout& layout);

    // Nothing while any baseboard of the list is being edited.
    static void drawDimensions(const tBaseboardElements& baseboards, const CLayout& layout,
                               tDrawingInstructions& instructions);
    static bool isEditInProgress(const tBaseboardElements& baseboards);
    static void drawDimensionsInBaseboard(const CBaseboardElement& baseboard, const CLayout& layout,
                                          tDrawingInstructions& instructions);
    // A cross of two grey strokes over the arc's centre.
    static void drawDimensionForArcBorder(const CCircleArcBorderSegment& segment, const CBaseboardElement& baseboard,
                                          tDrawingInstructions& instructions);
    // Straight borders show no dimension mark.
    static void renderDimensionForBorder(const CStraightBorderSegment& segment, const CBaseboardElement& baseboard,
                                         tDrawingInstructions& instructions);
    // Minus `factor` for dimension mode 2 (inner side), else `factor`.
    static double getOffsetForBorder(const CBorderSegment& segment, double factor);
};
