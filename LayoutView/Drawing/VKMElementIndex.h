#pragma once
// VKMElementIndex: the boxes of a layout's elements (each element's
// position plus its own bounding box, as the hit test bounds it) in a grid,
// so that picking looks only at the elements whose box holds the point.
// Made with the render layers, from the element list as they were built
// from (display edits applied); immutable after.
//
// It keeps the list position and address of each element, not the element:
// whoever reads one checks first that the list still has it there.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "LayoutView/Drawing/VKMBoxIndex.h"
#include "platform/graphics/Geometry.h"

class CCompositeGeometry;
class CLayout;

class VKMElementIndex {
public:
    // The layout's element list as it stands now.
    explicit VKMElementIndex(CLayout& layout);

    const CLayout* layout() const { return mLayout; }
    // The length of the element list it was made from.
    std::size_t listSize() const { return mElements.size(); }
    // What stood at list position `i` when it was made.
    CCompositeGeometry* elementAt(std::size_t i) const { return mElements[i]; }

    // The list positions, ascending, of the elements whose box may hold the
    // point (finite); every element whose box holds it is among them.
    void candidatesAt(platform::Point point, std::vector<std::uint32_t>& out) const;

private:
    const CLayout* mLayout;
    std::vector<CCompositeGeometry*> mElements;
    VKMBoxIndex mBoxes;
};
