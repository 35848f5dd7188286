#include "engine/drawing/ParallelPathCache.h"

#include "engine/model/BasicGeometry.h"

CParallelPathCache::tPair CParallelPathCache::GetPair(CBasicGeometry& component, double elementAngle,
                                                      double firstOffset, double secondOffset) {
    for (std::size_t i = 0; i < mUsed; ++i) {
        const tEntry& entry = mEntries[i];
        if (entry.component == &component && entry.elementAngle == elementAngle && entry.firstOffset == firstOffset &&
            entry.secondOffset == secondOffset)
            return {entry.first, entry.second};
    }
    if (mUsed == mEntries.size()) mEntries.emplace_back();
    tEntry& entry = mEntries[mUsed];
    component.GetParallelPathPair(entry.first, entry.second, elementAngle, firstOffset, secondOffset);
    // Counted only once worked out: a throw leaves the slot spare.
    entry.component = &component;
    entry.elementAngle = elementAngle;
    entry.firstOffset = firstOffset;
    entry.secondOffset = secondOffset;
    ++mUsed;
    return {entry.first, entry.second};
}
