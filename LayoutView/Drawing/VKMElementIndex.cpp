#include "LayoutView/Drawing/VKMElementIndex.h"

#include <algorithm>

#include "engine/model/CompositeGeometry.h"
#include "engine/model/Layout.h"

VKMElementIndex::VKMElementIndex(CLayout& layout)
    : mLayout(&layout), mElements(layout.GetElements().begin(), layout.GetElements().end()) {
    // Each box worked out once: the index reads every box twice.
    std::vector<VKMBoxIndex::tBox> boxes(mElements.size());
    std::vector<VKMBoxIndex::Placement> placements(mElements.size(), VKMBoxIndex::Placement::never);
    for (std::size_t i = 0; i < mElements.size(); ++i) {
        CCompositeGeometry* const element = mElements[i];
        // Elements without a complete set of components are never picked.
        if (element == nullptr) continue;
        const tComponents& components = element->GetComponents();
        if (components.empty() || std::find(components.begin(), components.end(), nullptr) != components.end())
            continue;
        tDoubleRect own;
        element->CalcBoundingBox(own);
        const CPoint& position = element->GetPosition();
        // Summed as the hit test sums them, so that both see the same edges.
        boxes[i] = {position.x + own.minX, position.y + own.minY, position.x + own.maxX, position.y + own.maxY};
        placements[i] = VKMBoxIndex::Placement::placed;
    }
    mBoxes = VKMBoxIndex(mElements.size(), [&](std::size_t i, VKMBoxIndex::tBox& box) {
        box = boxes[i];
        return placements[i];
    });
}

void VKMElementIndex::candidatesAt(platform::Point point, std::vector<std::uint32_t>& out) const {
    mBoxes.query({point.x, point.y, point.x, point.y}, out);
}
