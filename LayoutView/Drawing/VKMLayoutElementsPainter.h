#pragma once
// VKMLayoutElementsPainter: the layout's elements as drawing instructions,
// layer by layer from the last layer of the list to the first (so the first
// layer ends on top), each element filled and then outlined before the next.

#include <cstddef>
#include <cstdint>
#include <functional>

#include "engine/drawing/DrawingInstruction.h"
#include "engine/model/TrackElementsContainer.h"

class CLayout;
class CCompositeGeometry;
class CDrawingInstructionsRenderStrategy;
class CDrawingInstructionsRenderOptions;

class VKMLayoutElementsPainter {
public:
    // Tunnel display modes: tunnels shown, tunnels hidden.
    static constexpr std::int32_t kTunnelsShown = 1;
    static constexpr std::int32_t kTunnelsHidden = 2;
    // Track-style bit: tunnel stripes as wide as the track bed.
    static constexpr std::int32_t kFullTrackBed = 0x20;
    // Stripes over shown tunnels are this grey; every stripe this opaque.
    static constexpr double kShownTunnelGray = 0.3;
    static constexpr double kTunnelStripeAlpha = 0.75;
    // Track-style bit: outlines drawn light.
    static constexpr std::int32_t kLightOutline = 0x200;
    static constexpr double kLightOutlineGray = 0.975;

    // The elements of every visible layer, last layer first, with the
    // layout's track style and tunnel display mode; timed as
    // "CreateElementsRenderData". An empty layer list draws nothing. Once
    // `stopped` says so (asked on the drawing threads), the rest is left
    // undrawn.
    static void drawElementsInLayout(const CLayout& layout, tDrawingInstructions& instructions,
                                     const std::function<bool()>& stopped = {});
    // One render strategy for the whole list, a fill and an outline pass on
    // the same output.
    static void drawElements(const tElements& elements, std::int32_t trackStyle, std::int32_t tunnelStyle,
                             tDrawingInstructions& instructions);
    // The same with every outline in `outlineColor` instead of the
    // elements' second colours (null: their own); marked elements keep the
    // marked colour and rails their rail colour. A long list is drawn in
    // runs on a few threads at once (see setBuildThreads) and gives the same
    // instructions in the same order. The first exception of a run passes
    // on; what the other runs drew is deleted.
    static void drawElements(const tElements& elements, std::int32_t trackStyle, std::int32_t tunnelStyle,
                             tDrawingInstructions& instructions, const CColor* outlineColor,
                             const std::function<bool()>& stopped = {});
    // The elements from `from` to before `to`, on this thread.
    static void drawElementRange(const tElements& elements, std::size_t from, std::size_t to, std::int32_t trackStyle,
                                 std::int32_t tunnelStyle, tDrawingInstructions& instructions,
                                 const CColor* outlineColor, const std::function<bool()>& stopped = {});
    // This many threads draw a list (at most one per element); 0, the
    // default, is up to four as the machine has cores, each given at least
    // 2,048 elements.
    static void setBuildThreads(std::size_t threads);
    // With tunnels hidden a tunnel track is drawn with the tunnel flag; with
    // the light-outline bit the outline colour becomes grey 0.975 at the
    // alpha of the element's second colour.
    static void drawElement(CCompositeGeometry& element, CDrawingInstructionsRenderStrategy& renderStrategy,
                            CDrawingInstructionsRenderOptions& fillRenderOptions,
                            CDrawingInstructionsRenderOptions& outlineRenderOptions, std::int32_t trackStyle,
                            std::int32_t tunnelStyle, const CColor* outlineColor = nullptr);
    // The tunnel stripes of one layer's elements, in the document's
    // background colour (tunnels shown: grey 0.3) at alpha 0.75; none while
    // tunnels are hidden. Timed as "DrawPerLayerTunnelOverlays".
    static void drawOverlaysForElements(const tElements& elements, std::int32_t trackStyle, std::int32_t tunnelStyle,
                                        tDrawingInstructions& drawingInstructions);
};
