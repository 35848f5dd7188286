#pragma once
// The statistics of a document: how many pieces of each product it uses
// (elements merged by product number alone) and how many elements of each
// kind it holds. The part list, the pricing step and the screens read them.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "engine/model/PartList.h"
#include "engine/model/TrackElementsContainer.h"

// Element kind counts, in this order:
//   0 library elements that are tracks,
//   1 library elements that are not tracks,
//   2 user-created flex tracks,
//   3 user-created elements that are neither flex tracks nor texts,
//   4 user-created texts.
// The track total of the part-list screen is [0] + [2].
using tElementKindCounts = std::array<std::uint32_t, 5>;

class CTrackElementsStatistics {
public:
    // No entries yet; `container` (not owned) is the document counted for.
    explicit CTrackElementsStatistics(CTrackElementsContainer* container);
    // Deletes the entries.
    virtual ~CTrackElementsStatistics();

    CTrackElementsStatistics(const CTrackElementsStatistics&) = delete;
    CTrackElementsStatistics& operator=(const CTrackElementsStatistics&) = delete;

    // Replaces the entries by the parts of `elements`, counted and sorted
    // (UCountedElementVectorOperations::CountParts).
    void Refresh(const tElements& elements);
    // Counted over the container's current elements, not over the entries;
    // all zero without a container.
    tElementKindCounts GetElementKindCounts() const;
    // The count of the entry with this product number, 0 when there is none.
    std::int32_t GetElementCount(const std::string& productNumber) const;

    // The entries; the pricing step writes price and currency into them.
    const tCountedElements& GetCountedElements() const { return mEntries; }
    CTrackElementsContainer* GetContainer() const { return mContainer; }

private:
    CTrackElementsContainer* mContainer;
    tCountedElements mEntries;
};

namespace UCountedElementVectorOperations {

using tElementPredicate = std::function<bool(const CCompositeGeometry*)>;

// For each element in order that `predicate` accepts: the entry of its
// product number (exact bytes) counts one more, or a new entry copied from
// it is appended with count 1. Null elements are skipped. The caller owns
// the result.
tCountedElements CountElements(const tElements& elements, const tElementPredicate& predicate);
// CountElements with IsCountedPart, then sorted by
// CompareProductNumberLength (longer product numbers first; the order among
// equal lengths is not fixed).
tCountedElements CountParts(const tElements& elements);
// Not created by the user, or a user-created flex track.
bool IsCountedPart(const CCompositeGeometry* element);
// True when `a` has the longer product number (in bytes).
bool CompareProductNumberLength(const CCountedGeometry* a, const CCountedGeometry* b);
// The first entry with this product number (exact bytes), or null.
CCountedGeometry* FindByProductNumber(const tCountedElements& list, const std::string& productNumber);
// The entries of a list by product number (exact bytes), for a lookup per
// element of a document: finds what FindByProductNumber finds. It points
// into the entries, which must outlive it and keep their product numbers.
class CCountedIndex {
public:
    CCountedIndex() = default;
    explicit CCountedIndex(const tCountedElements& list);
    CCountedGeometry* Find(const char* productNumber) const;
    // Listed unless an entry of its product number already is.
    void Add(CCountedGeometry* entry);

private:
    std::unordered_map<std::string_view, CCountedGeometry*> mEntries;
};
// Deletes the entries from the front one at a time; leaves `list` empty. A
// null entry fails through UErrorHandling::ThrowIfNull with "Bad
// CCountedGeometry reference fetched" (the entries before it are deleted,
// the rest stay in the list).
void EraseAll(tCountedElements& list);

}  // namespace UCountedElementVectorOperations

namespace UElementVectorOperations {

// The five kind counts of tElementKindCounts; null entries are not counted.
tElementKindCounts CountElementsByKind(const tElements& elements);

}  // namespace UElementVectorOperations
