#pragma once
// Helpers the model's own sources share; nothing outside the model uses
// them.

#include <algorithm>
#include <cstddef>

#include "engine/model/BasicGeometry.h"
#include "platform/dispatch/DispatchQueue.h"

namespace UModelInternal {

// Straight, curve and flex track components carry track; the others are
// drawing only.
inline bool IsTrackType(int type) {
    return type == kComponentTypeStraight || type == kComponentTypeCurve || type == kComponentTypeFlexTrack;
}

// Elements worked on by one thread in one go: a longer list is split into
// shares of this many, worked on side by side on the pool.
constexpr std::size_t kElementsPerShare = 2048;

inline std::size_t ShareCount(std::size_t count) { return (count + kElementsPerShare - 1) / kElementsPerShare; }

// Calls work(share, first, end) for each share [first, end) of [0, count):
// side by side on the pool when there is more than one, else here.
template <typename Work>
void ForEachShare(std::size_t count, const Work& work) {
    const std::size_t shares = ShareCount(count);
    if (shares <= 1) {
        if (count > 0) work(std::size_t{0}, std::size_t{0}, count);
        return;
    }
    platform::DispatchQueue::concurrentPerform(shares, [count, &work](std::size_t share) {
        const std::size_t first = share * kElementsPerShare;
        work(share, first, std::min(count, first + kElementsPerShare));
    });
}

}  // namespace UModelInternal
