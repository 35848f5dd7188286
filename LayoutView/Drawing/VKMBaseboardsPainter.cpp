#include "LayoutView/Drawing/VKMBaseboardsPainter.h"

#include <cmath>
#include <memory>
#include <typeinfo>

#include "LayoutView/Drawing/VKMInstructionList.h"
#include "LayoutView/Drawing/VKMLayoutColors.h"
#include "LayoutView/Drawing/VKMLayoutDisplayParameters.h"
#include "engine/drawing/GraphicsStateInstruction.h"
#include "engine/drawing/GridInstruction.h"
#include "engine/drawing/PathInstruction.h"
#include "engine/model/BorderSegment.h"
#include "engine/model/Layer.h"
#include "engine/model/Layout.h"
#include "engine/services/ZDUtils.h"

namespace {

CColor SelectionColor() { return VKMLayoutColors::cColorWithColor(VKMLayoutColors::vkmElementSelectionColor()); }

// The baseboards that are drawn: those whose own layer is set and visible.
tBaseboardElements VisibleBaseboards(const tBaseboardElements& baseboards) {
    tBaseboardElements visible;
    for (CBaseboardElement* baseboard : baseboards) {
        if (baseboard != nullptr && baseboard->GetLayer() != nullptr && baseboard->GetLayer()->IsVisible())
            visible.push_back(baseboard);
    }
    return visible;
}

void Finish(std::unique_ptr<CDrawingInstruction> instruction, const CLayer* layer, tDrawingInstructions& instructions) {
    instruction->SetOwnerLayer(layer);
    instruction->CalcBoundingBox();
    VKMInstructionList::append(instructions, std::move(instruction));
}

}  // namespace

void VKMBaseboardsPainter::drawBaseboards(const tBaseboardElements& baseboards, const CLayout& layout,
                                          tDrawingInstructions& instructions) {
    const tBaseboardElements visible = VisibleBaseboards(baseboards);
    if (visible.empty()) return;
    drawBaseboardPartitions(visible, layout, instructions);
    drawDimensions(visible, layout, instructions);
}

void VKMBaseboardsPainter::drawBaseboardPartitions(const tBaseboardElements& baseboards, const CLayout& layout,
                                                   tDrawingInstructions& instructions) {
    for (const CBaseboardElement* baseboard : baseboards) {
        if (baseboard != nullptr) drawBaseboard(*baseboard, kFillPass, instructions);
    }
    if (layout.GetParameters().mShowGrid &&
        VKMLayoutDisplayParameters::gridColorMode(layout) != VKMLayoutDisplayParameters::kGridColorNone) {
        drawGridForBaseboardShapes(baseboards, layout, instructions);
    }
    for (const CBaseboardElement* baseboard : baseboards) {
        if (baseboard != nullptr) drawBaseboard(*baseboard, kOutlinePass, instructions);
    }
}

void VKMBaseboardsPainter::drawBaseboard(const CBaseboardElement& baseboard, int fillMode,
                                         tDrawingInstructions& instructions) {
    // The document keeps selection on border segments only; a whole
    // baseboard is outlined in its own border colour.
    const CColor border = baseboard.GetSecondColor();
    auto instruction = std::make_unique<CPathDrawingInstruction>(
        fillMode == kFillPass ? kDrawingStyleFill : kDrawingStyleStroke, false, baseboard.GetFirstColor(), border);
    const CBorderSegment* selected = nullptr;
    for (const CBorderSegment* segment : baseboard.GetBorderSegments()) {
        if (segment == nullptr) continue;
        drawBorder(*segment, baseboard, *instruction);
        if (segment->IsSelected()) selected = segment;
    }
    instruction->mLineWidth = kOutlineWidth;
    Finish(std::move(instruction), baseboard.GetLayer(), instructions);
    if (selected != nullptr) highlightSelectedBorder(*selected, baseboard, instructions);
}

void VKMBaseboardsPainter::highlightSelectedBorder(const CBorderSegment& segment, const CBaseboardElement& baseboard,
                                                   tDrawingInstructions& instructions) {
    auto instruction =
        std::make_unique<CPathDrawingInstruction>(kDrawingStyleStroke, false, SelectionColor(), SelectionColor());
    drawBorder(segment, baseboard, *instruction);
    instruction->mLineWidth = kSelectedBorderWidth;
    Finish(std::move(instruction), baseboard.GetLayer(), instructions);
}

void VKMBaseboardsPainter::drawBorder(const CBorderSegment& segment, const CBaseboardElement& baseboard,
                                      CPathDrawingInstruction& instruction) {
    if (typeid(segment) == typeid(CStraightBorderSegment)) {
        drawStraightBorder(static_cast<const CStraightBorderSegment&>(segment), baseboard, instruction);
    } else if (typeid(segment) == typeid(CCircleArcBorderSegment)) {
        drawCircleArcBorder(static_cast<const CCircleArcBorderSegment&>(segment), baseboard, instruction);
    } else {
        ZDUtils::logWarning("Unsupported border type in %s", __func__);
    }
}

void VKMBaseboardsPainter::drawStraightBorder(const CStraightBorderSegment& segment, const CBaseboardElement& baseboard,
                                              CPathDrawingInstruction& instruction) {
    if (const CPoint* start = baseboard.FindBorderPoint(segment.GetStartPointId())) instruction.AddLineTo(*start);
    if (const CPoint* end = baseboard.FindBorderPoint(segment.GetEndPointId())) instruction.AddLineTo(*end);
}

void VKMBaseboardsPainter::drawCircleArcBorder(const CCircleArcBorderSegment& segment,
                                               const CBaseboardElement& baseboard,
                                               CPathDrawingInstruction& instruction) {
    const CPoint* start = baseboard.FindBorderPoint(segment.GetStartPointId());
    const CPoint* end = baseboard.FindBorderPoint(segment.GetEndPointId());
    if (start == nullptr || end == nullptr) return;
    if (std::fabs(start->x - end->x) < kDegenerateArcTolerance &&
        std::fabs(start->y - end->y) < kDegenerateArcTolerance)
        return;
    const CPoint& centre = segment.GetCentre();
    const double startAngle = centre.AngleTo(*start);
    const double endAngle = centre.AngleTo(*end);
    const double radius = centre.Distance2D(*start);
    if (std::isnan(startAngle) || std::isnan(endAngle) || std::isnan(radius)) return;
    instruction.AddArc(centre, segment.GetDirectionFlag() ? 1 : 0, startAngle, endAngle, radius);
}

void VKMBaseboardsPainter::drawGridForBaseboardShapes(const tBaseboardElements& baseboards, const CLayout& layout,
                                                      tDrawingInstructions& instructions) {
    if (baseboards.empty() || baseboards.front() == nullptr) return;
    const CLayer* layer = baseboards.front()->GetLayer();
    Finish(std::make_unique<CGraphicsStateDrawingInstruction>(CGraphicsStateDrawingInstruction::kSave), layer,
           instructions);
    applyClipForBaseboards(baseboards, instructions);
    addGridForLayout(layout, layer, instructions);
    Finish(std::make_unique<CGraphicsStateDrawingInstruction>(CGraphicsStateDrawingInstruction::kRestore), layer,
           instructions);
}

void VKMBaseboardsPainter::applyClipForBaseboards(const tBaseboardElements& baseboards,
                                                  tDrawingInstructions& instructions) {
    auto clip = std::make_unique<CPathDrawingInstruction>(0, false, CColor::Gray25(), CColor::Gray25());
    for (const CBaseboardElement* baseboard : baseboards) {
        if (baseboard == nullptr) continue;
        addClipPathForBaseboard(*baseboard, *clip);
        clip->StartNewPath();
    }
    clip->AddClip();
    const CLayer* layer =
        baseboards.empty() || baseboards.front() == nullptr ? nullptr : baseboards.front()->GetLayer();
    Finish(std::move(clip), layer, instructions);
}

void VKMBaseboardsPainter::addClipPathForBaseboard(const CBaseboardElement& baseboard,
                                                   CPathDrawingInstruction& instruction) {
    for (const CBorderSegment* segment : baseboard.GetBorderSegments()) {
        if (segment != nullptr) drawBorder(*segment, baseboard, instruction);
    }
}

void VKMBaseboardsPainter::addGridForLayout(const CLayout& layout, const CLayer* layer,
                                            tDrawingInstructions& instructions) {
    const CLayoutParameters& parameters = layout.GetParameters();
    auto grid = std::make_unique<CGridDrawingInstruction>(
        false, getBaseboardGridColor(layout), 0.5, 0.5, parameters.mWorkspaceWidth, parameters.mWorkspaceHeight,
        VKMLayoutDisplayParameters::gridSpacing(layout), layout.GetZoom());
    Finish(std::move(grid), layer, instructions);
}

CColor VKMBaseboardsPainter::getBaseboardGridColor(const CLayout& layout) {
    switch (VKMLayoutDisplayParameters::gridColorMode(layout)) {
        case VKMLayoutDisplayParameters::kGridColorCustom: return VKMLayoutDisplayParameters::customGridColor(layout);
        case VKMLayoutDisplayParameters::kGridColorLight: return CColor::Gray90();
        case VKMLayoutDisplayParameters::kGridColorDark: return CColor::Gray20();
        default: return CColor::Black();
    }
}

void VKMBaseboardsPainter::drawDimensions(const tBaseboardElements& baseboards, const CLayout& layout,
                                          tDrawingInstructions& instructions) {
    if (isEditInProgress(baseboards)) return;
    for (const CBaseboardElement* baseboard : baseboards) {
        if (baseboard != nullptr) drawDimensionsInBaseboard(*baseboard, layout, instructions);
    }
}

bool VKMBaseboardsPainter::isEditInProgress(const tBaseboardElements& baseboards) {
    return UBaseboardElements::FindBaseboardBeingEdited(baseboards) != nullptr;
}

void VKMBaseboardsPainter::drawDimensionsInBaseboard(const CBaseboardElement& baseboard, const CLayout& /*layout*/,
                                                     tDrawingInstructions& instructions) {
    for (const CBorderSegment* segment : baseboard.GetBorderSegments()) {
        if (segment == nullptr || VKMLayoutDisplayParameters::dimensionMode(*segment) == 0) continue;
        if (typeid(*segment) == typeid(CCircleArcBorderSegment)) {
            drawDimensionForArcBorder(static_cast<const CCircleArcBorderSegment&>(*segment), baseboard, instructions);
        } else if (typeid(*segment) == typeid(CStraightBorderSegment)) {
            renderDimensionForBorder(static_cast<const CStraightBorderSegment&>(*segment), baseboard, instructions);
        }
    }
}

void VKMBaseboardsPainter::drawDimensionForArcBorder(const CCircleArcBorderSegment& segment,
                                                     const CBaseboardElement& baseboard,
                                                     tDrawingInstructions& instructions) {
    const CPoint& c = segment.GetCentre();
    const double h = kCrossHalfSize;
    const CPoint strokes[2][2] = {{CPoint(c.x - h, c.y - h), CPoint(c.x + h, c.y + h)},
                                  {CPoint(c.x + h, c.y - h), CPoint(c.x - h, c.y + h)}};
    for (const auto& stroke : strokes) {
        auto line = std::make_unique<CPathDrawingInstruction>(kDrawingStyleStroke, false, baseboard.GetFirstColor(),
                                                              CColor::Gray25());
        line->AddLineTo(stroke[0]);
        line->AddLineTo(stroke[1]);
        Finish(std::move(line), baseboard.GetLayer(), instructions);
    }
}

void VKMBaseboardsPainter::renderDimensionForBorder(const CStraightBorderSegment& /*segment*/,
                                                    const CBaseboardElement& /*baseboard*/,
                                                    tDrawingInstructions& /*instructions*/) {}

double VKMBaseboardsPainter::getOffsetForBorder(const CBorderSegment& segment, double factor) {
    return VKMLayoutDisplayParameters::dimensionMode(segment) == 2 ? -factor : factor;
}
