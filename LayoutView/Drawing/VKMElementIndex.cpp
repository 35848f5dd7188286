#include "LayoutView/Drawing/VKMElementIndex.h"

#include <algorithm>

#include "engine/model/CompositeGeometry.h"
#include "engine/model/Layout.h"

VKMElementIndex::VKMElementIndex(CLayout& layout)
    : mLayout(&layout), mElements(layout.GetElements().begin(), layout.GetElements().end()) {
    mBoxes = VKMBoxIndex(mElements.size(), [&](std::size_t i, VKMBoxIndex::tBox& box) {
        CCompositeGeometry* const element = mElements[i];
        // Elements without a complete set of components are never picked.
        if (element == nullptr) return VKMBoxIndex::Placement::never;
        const tComponents& components = element->GetComponents();
        if (components.empty() || std::find(components.begin(), components.end(), nullptr) != components.end())
            return VKMBoxIndex::Placement::never;
        tDoubleRect own;
        element->CalcBoundingBox(own);
        const CPoint& position = element->GetPosition();
        // Summed as the hit test sums them, so that both see the same edges.
        box = {position.x + own.minX, position.y + own.minY, position.x + own.maxX, position.y + own.maxY};
        return VKMBoxIndex::Placement::placed;
    });
}

void VKMElementIndex::candidatesAt(platform::Point point, std::vector<std::uint32_t>& out) const {
    mBoxes.query({point.x, point.y, point.x, point.y}, out);
}
