#pragma once
// Bounds of layout content: of a list of elements, of a whole layout with
// padding (to size a layout to its content, fit the zoom and crop exported
// images), and the centre of an element. Rectangles are tDoubleRect values
// grown with CBoundsAccumulator.

#include "engine/model/CompositeGeometry.h"
#include "engine/geometry/DoubleRect.h"
#include "engine/geometry/Point.h"
#include "engine/model/TrackElementsContainer.h"

class CLayout;

// The shift that moves a layout's content so that it starts at the padding,
// and the size of the content with the padding on every side.
struct tPaddedContent {
    double dx = 0.0;
    double dy = 0.0;
    double width = 0.0;
    double height = 0.0;
};

namespace ULayoutBounds {

// What GetContentBoundingBox counts.
constexpr int kBoundsModeAll = 0;
constexpr int kBoundsModeVisible = 1;  // only what lies on visible layers

// The union of the elements' box, the images' box and the baseboards' box
// (in mode 1 those on visible layers; baseboards only while the first
// baseboard layer exists and is visible). A box less than 0.001 wide or high
// adds nothing, so a layout with nothing to bound gives the empty rectangle
// (EmptyRect). The box is kept in the document until anything it counts
// changes (UContentChanges).
tDoubleRect GetContentBoundingBox(CLayout& layout, int mode);

// dx = padding - min x, dy = padding - min y, width = ceil(max x - min x) +
// 2 x padding, height likewise. For a layout without content the shift is
// 0 and the size twice the padding.
tPaddedContent GetContentRectWithPadding(CLayout& layout, int mode, double padding);

// Moves the images, the elements and the baseboards by (dx, dy), then sets
// the workspace size to width and height (truncated to integers, saturated
// to the int range).
void TranslateLayout(CLayout& layout, const tPaddedContent& content);

}  // namespace ULayoutBounds

namespace UElementVectorOperations {

// All zero for an empty list. Otherwise the union (CBoundsAccumulator::
// AddRect) of each element's own box shifted by its position; a position
// coordinate beyond +-1e7 counts as 0 here, with a warning, and the element
// keeps it. Null entries are skipped.
tDoubleRect GetBoundingBox(const tElements& elements);

}  // namespace UElementVectorOperations

namespace UElementGeometry {

// The element's centre in element coordinates: the middle of the arc of a
// curved track, the centre point of a flex track, the centre of the first
// track component's unrotated box of another single-track element, and half
// the box's extent of any other element. Unless `raw`, relative to the
// centre of the element's box. A null element gives the origin.
CPoint GetElementCenter(CCompositeGeometry* element, bool raw);

// Where a box of the rectangle's size must start to be centred on the
// element's centre (GetElementCenter, not raw).
CPoint GetCenteredOrigin(CCompositeGeometry* element, const tDoubleRect& rect);

}  // namespace UElementGeometry
