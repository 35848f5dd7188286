#pragma once
// VKMRenderDataFactory: builds the three painted render layers of a layout
// from the document as it stands (display edits, when wanted, are applied
// by the caller): background (pictures and baseboards), content (elements)
// and overlays (names, height labels, curve centres).

#include <functional>
#include <memory>

#include "LayoutView/Drawing/VKMDrawingInstructionsRenderData.h"
#include "engine/drawing/DrawingInstruction.h"

class CLayout;

class VKMRenderDataFactory {
public:
    using tLayer = std::shared_ptr<VKMDrawingInstructionsRenderData>;

    // Each builds a fresh list, wraps it and records its time under
    // "CreateBackgroundRenderData", "CreateContentRenderData" or
    // "CreateOverlayRenderData". When a painter throws, the partial list is
    // deleted and the exception passes on.
    static tLayer getBackgroundDataForLayout(const CLayout& layout);
    // `stopped` leaves the rest of the elements undrawn once it says so.
    static tLayer getElementsDataForLayout(const CLayout& layout, const std::function<bool()>& stopped = {});
    // Names and labels for the dark background when `darkBackground`.
    static tLayer getOverlayDataForLayout(const CLayout& layout, bool darkBackground = false);

    // Visible layers from the last to the first: a baseboard layer adds the
    // baseboards that lie on it, an image layer its pictures. An empty layer
    // list logs a warning and adds nothing. The layout's pictures are
    // decoded by the first build, all of them, and kept by their elements.
    static void createBackgroundDrawingInstructionsForLayout(const CLayout& layout, tDrawingInstructions& instructions);
    static void createContentDrawingInstructions(tDrawingInstructions& instructions, const CLayout& layout,
                                                 const std::function<bool()>& stopped = {});
    static void createOverlayDrawingInstructions(tDrawingInstructions& instructions, const CLayout& layout,
                                                 bool darkBackground = false);
};
