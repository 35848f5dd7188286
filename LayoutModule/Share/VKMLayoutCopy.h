#pragma once
// A deep copy of a document for drawing it away from the main thread: its
// parameters and zoom, its layers, and copies of its elements, baseboards
// and images on the copies of their layers. The copy shares nothing with
// the source, so the source may be edited, redrawn or closed meanwhile.
// Groups, statistics and the joint index are not copied (drawing reads
// none of them). Make it on
// the main thread, where the source is read.

#include <memory>

class CLayout;

namespace VKMLayoutCopy {

std::unique_ptr<CLayout> copyForDrawing(const CLayout& source);

}  // namespace VKMLayoutCopy
