#pragma once
// QLImageFromLayoutHelper: temporary one-layer layouts for layer previews,
// and the zoom that fits a layout's content into an image.

#include <memory>

#include "engine/model/Baseboard.h"
#include "engine/model/TrackElementsContainer.h"
#include "platform/graphics/Geometry.h"

class CLayer;
class CLayout;

class QLImageFromLayoutHelper {
public:
    // Track style of temporary layouts.
    static constexpr int kTemporaryTrackStyle = 105;

    // A new layout (show-grid off, track style 105, no overlays) holding
    // deep copies of that layer's content only; the caller owns it.
    static std::unique_ptr<CLayout> layoutWithLayer(CLayer* layer, CLayout& sourceLayout);
    // Such a layout with nothing in it yet.
    static std::unique_ptr<CLayout> temporaryLayout();
    // Tracks layer: its elements; baseboard layer: every baseboard; image
    // layer: its picture. Another type logs a warning and copies nothing.
    static void copyContentOfLayer(CLayer* layer, CLayout& fromLayout, CLayout& toLayout);
    // Copies of the layer's elements, in order, on the target's first
    // editable layer.
    static void cloneTracksLayer(CLayer* layer, CLayout& fromLayout, CLayout& toLayout);
    // Copies of all baseboards on a new baseboard layer "BASEBOARDS".
    static void cloneBaseboardLayerInLayout(CLayout& fromLayout, CLayout& toLayout);
    // A copy of the layer's picture on a new image layer "IMAGE"; nothing
    // when the layer has none.
    static void cloneImageLayer(CLayer* layer, CLayout& fromLayout, CLayout& toLayout);

    // The second half of cloneTracksLayer for copies made elsewhere: the
    // layout takes them over, in order, on its first editable layer,
    // numbered after its own elements. No joint index is made for them:
    // drawing never asks for connections.
    static void adoptTrackCopies(tElements copies, CLayout& toLayout);
    // The second half of cloneBaseboardLayerInLayout: the layout takes the
    // copies over on a new baseboard layer "BASEBOARDS".
    static void adoptBaseboardCopies(tBaseboardElements copies, CLayout& toLayout);

    // Moves the layout's visible content to start at the padding (the
    // workspace becoming content plus padding) and returns the largest zoom
    // at which that workspace fits the size. 1 for a workspace without area.
    static double calculateFittingZoomForSize(platform::Size size, CLayout& layout, int paddingMM);
};
