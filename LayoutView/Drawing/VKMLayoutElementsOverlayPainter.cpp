#include "LayoutView/Drawing/VKMLayoutElementsOverlayPainter.h"

#include <cmath>

#include "LayoutView/Drawing/VKMLayoutColors.h"
#include "LayoutView/Drawing/VKMLayoutDisplayParameters.h"
#include "engine/drawing/OverlayPainters.h"
#include "engine/model/CompositeGeometry.h"
#include "engine/model/ElementQueries.h"
#include "engine/model/Layer.h"
#include "engine/model/Layout.h"
#include "engine/services/PerformanceCounters.h"

namespace {

constexpr std::int32_t kTunnelsHidden = 2;

// Runs `work` and records its time under `counter`.
template <typename Work>
void Timed(const char* counter, Work&& work) {
    CStopwatch stopwatch;
    stopwatch.Start();
    work();
    QLPerformanceCounters::addToCounter(counter, stopwatch.Stop());
}

}  // namespace

std::int32_t VKMLayoutElementsOverlayPainter::smallTextSize(std::int32_t textSize) {
    return static_cast<std::int32_t>(std::lround(textSize * 0.8));
}

std::unique_ptr<CElementOverlayDrawingParameters> VKMLayoutElementsOverlayPainter::buildParametersForLayout(
    const CLayout& layout, tDrawingInstructions& instructions, bool darkBackground) {
    const std::int32_t textSize = VKMLayoutDisplayParameters::labelTextSize(layout);
    const CColor labelColor = darkBackground
                                  ? VKMLayoutColors::cColorWithColor(VKMLayoutColors::vkmDarkBackgroundLabelColor())
                                  : VKMLayoutDisplayParameters::labelColor(layout);
    return std::make_unique<CElementOverlayDrawingParameters>(
        kFontName, layout.GetParameters().mDisplayFlags, textSize, smallTextSize(textSize), labelColor,
        VKMLayoutColors::cColorWithColor(VKMLayoutColors::vkmLayoutGridColor()), &instructions);
}

void VKMLayoutElementsOverlayPainter::drawOverlaysForElementsInLayout(const CLayout& layout,
                                                                      tDrawingInstructions& instructions,
                                                                      bool darkBackground) {
    const std::unique_ptr<CElementOverlayDrawingParameters> parameters =
        buildParametersForLayout(layout, instructions, darkBackground);
    const CLayoutParameters& settings = layout.GetParameters();
    tElements elements = layout.GetElements();
    if (settings.mTunnelDisplayMode == kTunnelsHidden) elements = removeTunnelTracks(elements);
    if (settings.mDisplayFlags & kShowNames) drawNamesForElements(elements, *parameters);
    if (settings.mDisplayFlags & kShowHeightLabels) drawHeightLabelsInLayout(layout, *parameters, elements);
    if (settings.mTrackStyle & kShowCurveCenters) drawCurveCentersForElements(elements, *parameters);
}

tElements VKMLayoutElementsOverlayPainter::removeTunnelTracks(const tElements& elements) {
    return UElementVectorOperations::SubtractElements(elements, UElementVectorOperations::GetTunnelTracks(elements));
}

void VKMLayoutElementsOverlayPainter::drawNamesForElements(const tElements& elements,
                                                           CElementOverlayDrawingParameters& parameters) {
    Timed("DrawElementNames", [&] {
        CElementNamePainter painter(&parameters);
        drawElements(elements, painter);
    });
}

void VKMLayoutElementsOverlayPainter::drawHeightLabelsInLayout(const CLayout& layout,
                                                               CElementOverlayDrawingParameters& parameters,
                                                               const tElements& elements) {
    Timed("DrawElementHeightLabels", [&] {
        CElementHeightLabelPainter painter(&layout, &parameters);
        painter.PaintHeightLabels(elements);
    });
}

void VKMLayoutElementsOverlayPainter::drawCurveCentersForElements(const tElements& elements,
                                                                  CElementOverlayDrawingParameters& parameters) {
    Timed("DrawCurveCenters", [&] {
        CCurveCenterOverlayPainter painter(&parameters);
        drawElements(elements, painter);
    });
}

void VKMLayoutElementsOverlayPainter::hiliteFreeJointsForElements(const tElements& elements,
                                                                  CElementOverlayDrawingParameters& parameters) {
    Timed("DrawFreeJoints", [&] {
        CJointOverlayPainter painter(&parameters);
        drawElements(elements, painter);
    });
}

void VKMLayoutElementsOverlayPainter::drawElements(const tElements& elements, CElementOverlayPainter& overlayPainter) {
    for (CCompositeGeometry* element : elements) {
        if (element == nullptr || element->GetLayer() == nullptr || !element->GetLayer()->IsVisible()) continue;
        overlayPainter.PaintElement(element);
    }
}
