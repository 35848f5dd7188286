#pragma once
// CParallelPathCache: side lines of the track components of one element,
// worked out by the first render pass that needs them and taken again by the
// next. Whoever puts one on the drawing options empties it before each
// element, and nothing may change the element while it holds paths of it.

#include <cstddef>
#include <deque>
#include <vector>

#include "engine/geometry/Point.h"

class CBasicGeometry;

class CParallelPathCache {
public:
    // The two side lines of GetParallelPathPair for the component, element
    // angle and offsets; worked out on the first request, then handed out
    // again. The references stay valid until the next Clear.
    struct tPair {
        const std::vector<CPoint>& first;
        const std::vector<CPoint>& second;
    };
    tPair GetPair(CBasicGeometry& component, double elementAngle, double firstOffset, double secondOffset);

    // Forgets every path; the memory is kept for the next element.
    void Clear() { mUsed = 0; }

private:
    struct tEntry {
        const CBasicGeometry* component = nullptr;
        double elementAngle = 0.0;
        double firstOffset = 0.0;
        double secondOffset = 0.0;
        std::vector<CPoint> first;
        std::vector<CPoint> second;
    };
    // Entries from mUsed on are spare storage. A deque, so that paths
    // handed out stay where they are while more are added.
    std::deque<tEntry> mEntries;
    std::size_t mUsed = 0;
};
