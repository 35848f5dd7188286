#pragma once
// Small pictures of layout elements (the part list's, and previews like
// it): the elements drawn alone by the layout painters into an image that
// just holds them. Main thread only.

#include <memory>

#include "engine/model/TrackElementsContainer.h"
#include "platform/graphics/Color.h"

namespace platform {
class Image;
}
class CCompositeGeometry;

namespace UIImageCCompositeGeometry {

// The list forms with one element (a null element is an empty list).
std::shared_ptr<platform::Image> imageFromCCompositeGeometry(CCompositeGeometry* element, float scale,
                                                             int drawingStyle);
std::shared_ptr<platform::Image> imageFromCCompositeGeometry(CCompositeGeometry* element, float scale, int drawingStyle,
                                                             const platform::Color& outlineColor);
// Outlined in black.
std::shared_ptr<platform::Image> imageFromCCompositeGeometries(const tElements& elements, float scale,
                                                               int drawingStyle);
// The elements' bounding box at `scale` points a unit (at least a point a
// side) at the screen's scale, its corner at the image's top-left; the
// elements filled in their own colours and outlined in `outlineColor`,
// in the drawing style as track style. An empty list logs a warning and
// gives none; so does a box too large for an image.
std::shared_ptr<platform::Image> imageFromCCompositeGeometries(const tElements& elements, float scale, int drawingStyle,
                                                               const platform::Color& outlineColor);

}  // namespace UIImageCCompositeGeometry
