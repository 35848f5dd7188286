#pragma once
// VKMLayoutElementsOverlayPainter: the overlays above the elements (names,
// height labels, curve centres) as drawing instructions, by the layout's
// overlay flags and track style.

#include <cstdint>
#include <memory>

#include "engine/drawing/DrawingInstruction.h"
#include "engine/model/TrackElementsContainer.h"

class CLayout;
class CElementOverlayDrawingParameters;
class CElementOverlayPainter;

class VKMLayoutElementsOverlayPainter {
public:
    static constexpr const char* kFontName = "AppleSDGothicNeo-Bold";
    // Overlay flags.
    static constexpr std::int32_t kShowNames = 0x1;
    static constexpr std::int32_t kShowHeightLabels = 0x10;
    // Track-style bit.
    static constexpr std::int32_t kShowCurveCenters = 0x400;

    // Names (flag 0x1), height labels (flag 0x10) and curve centres (style
    // bit 0x400), in that order; tunnel tracks get none while tunnels are
    // hidden. On the dark background names and labels are white.
    static void drawOverlaysForElementsInLayout(const CLayout& layout, tDrawingInstructions& instructions,
                                                bool darkBackground = false);
    // Font, the overlay flags, the label size and 0.8 of it (rounded, halves
    // away from zero), the label colour (white on the dark background), the
    // grid colour and the list.
    static std::unique_ptr<CElementOverlayDrawingParameters> buildParametersForLayout(
        const CLayout& layout, tDrawingInstructions& instructions, bool darkBackground = false);
    // The elements without tunnel tracks, order kept.
    static tElements removeTunnelTracks(const tElements& elements);
    static void drawNamesForElements(const tElements& elements, CElementOverlayDrawingParameters& parameters);
    static void drawHeightLabelsInLayout(const CLayout& layout, CElementOverlayDrawingParameters& parameters,
                                         const tElements& elements);
    static void drawCurveCentersForElements(const tElements& elements, CElementOverlayDrawingParameters& parameters);
    static void hiliteFreeJointsForElements(const tElements& elements, CElementOverlayDrawingParameters& parameters);
    // The painter's element operation for every element on a visible layer,
    // in list order.
    static void drawElements(const tElements& elements, CElementOverlayPainter& overlayPainter);

    // 0.8 of the label size, rounded halves away from zero.
    static std::int32_t smallTextSize(std::int32_t textSize);
};
