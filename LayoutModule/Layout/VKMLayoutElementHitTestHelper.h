#pragma once
// Which element lies under a point of the drawn layout, pixel-exactly: the
// candidates are narrowed by their bounding boxes, then each is drawn alone
// into an image and the alpha under the point decides. The search sees the
// document as the user does (the display edits applied) and leaves it as it
// was on every way out. Main thread only.

#include <memory>
#include <utility>
#include <vector>

#include "engine/drawing/TransientEdits.h"
#include "engine/model/TrackElementsContainer.h"
#include "platform/graphics/Geometry.h"

namespace platform {
class Image;
}
class CCompositeGeometry;
class CLayer;
class CLayout;
class VKMElementIndex;

class VKMLayoutElementHitTestHelper {
public:
    static constexpr double kAlphaThreshold = 0.025;
    static constexpr float kRenderScale = 1.0f;
    static constexpr int kDrawingStyle = 33;
    static constexpr int kTunnelsHidden = 2;

    // An element with its ordering key: its element number, which the
    // document gives in the order elements are added (and drawn), so a
    // higher key lies on top.
    using tKeyedElement = std::pair<long, CCompositeGeometry*>;

    // `point` in layout units ((view point - content offset) / zoom). The
    // topmost element of the first visible layer (the one drawn on top)
    // that has a visible pixel there; null when none. Hidden tunnels are
    // never picked. Timed as "FindElementAtPosition". The element belongs to
    // the document: keep it no longer than the document.
    static CCompositeGeometry* findElementAtPosition(platform::Point point, CLayout& layout,
                                                     const tTransientEditActions& actions);
    // The same answer, looking only at the elements whose box the index
    // gives for the point. The index is made here, from the list as the
    // edits give it, when there is none or it was made from another layout
    // or a list of another length; the caller keeps it for the next search
    // until the document's elements change. When the list no longer has an
    // element where the index found it, every element is looked at and the
    // index is dropped.
    static CCompositeGeometry* findElementAtPosition(platform::Point point, CLayout& layout,
                                                     const tTransientEditActions& actions,
                                                     std::shared_ptr<const VKMElementIndex>& index);

    // A copy sorted by the ordering key, ascending.
    static std::vector<tKeyedElement> sortedElementControllers(const tElements& elements);
    // The hit among the layer's elements, highest key first.
    static CCompositeGeometry* findElement(const std::vector<tKeyedElement>& sorted, const CLayer* layer,
                                           int tunnelSectionStyle, platform::Point point);
    // Whether the element has a visible pixel at the point.
    static bool performHitTestForElement(CCompositeGeometry& element, platform::Point point);
    // True when the point lies outside the element's box (its position plus
    // its own bounding box).
    static bool canSkipElement(CCompositeGeometry& element, platform::Point point);
    // Alpha at the point (in the image's points) at least the threshold;
    // false outside the image.
    static bool isAlphaVisibleAtPoint(platform::Point point, const platform::Image& image);

private:
    static CCompositeGeometry* findElementAtPosition(platform::Point point, CLayout& layout,
                                                     const tTransientEditActions& actions,
                                                     std::shared_ptr<const VKMElementIndex>& index, bool indexed);
};
