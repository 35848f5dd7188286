#include "engine/model/Statistics.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "engine/model/CompositeGeometry.h"
#include "engine/model/ElementQueries.h"
#include "engine/services/ErrorHandling.h"

namespace {

// Deletes a list in a destructor, where a failure must not escape: each
// failed pass has taken its null entry out of the list already.
void EraseAllQuietly(tCountedElements& list) {
    while (!list.empty()) {
        try {
            UCountedElementVectorOperations::EraseAll(list);
        } catch (const std::runtime_error&) {
        }
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// CTrackElementsStatistics

CTrackElementsStatistics::CTrackElementsStatistics(CTrackElementsContainer* container) : mContainer(container) {}

CTrackElementsStatistics::~CTrackElementsStatistics() { EraseAllQuietly(mEntries); }

void CTrackElementsStatistics::Refresh(const tElements& elements) {
    UCountedElementVectorOperations::EraseAll(mEntries);
    mEntries = UCountedElementVectorOperations::CountParts(elements);
}

tElementKindCounts CTrackElementsStatistics::GetElementKindCounts() const {
    if (mContainer == nullptr) return tElementKindCounts{};
    return UElementVectorOperations::CountElementsByKind(mContainer->GetElements());
}

std::int32_t CTrackElementsStatistics::GetElementCount(const std::string& productNumber) const {
    const CCountedGeometry* entry = UCountedElementVectorOperations::FindByProductNumber(mEntries, productNumber);
    return entry != nullptr ? entry->GetCount() : 0;
}

// ---------------------------------------------------------------------------
// UCountedElementVectorOperations

namespace UCountedElementVectorOperations {

tCountedElements CountElements(const tElements& elements, const tElementPredicate& predicate) {
    tCountedElements counted;
    // Looked up by product number rather than through the list: a document
    // of 100,000 elements uses hundreds of products.
    CCountedIndex index;
    for (const CCompositeGeometry* element : elements) {
        if (element == nullptr || !predicate(element)) continue;
        if (CCountedGeometry* entry = index.Find(element->GetProductNumber())) {
            entry->IncrementCount();
        } else {
            counted.push_back(new CCountedGeometry(*element));
            index.Add(counted.back());
        }
    }
    return counted;
}

tCountedElements CountParts(const tElements& elements) {
    tCountedElements counted = CountElements(elements, IsCountedPart);
    std::sort(counted.begin(), counted.end(), CompareProductNumberLength);
    return counted;
}

bool IsCountedPart(const CCompositeGeometry* element) {
    return !UElementInspector::IsUserCreatedElement(element) || UElementInspector::IsUserCreatedFlex(element);
}

bool CompareProductNumberLength(const CCountedGeometry* a, const CCountedGeometry* b) {
    return std::strlen(a->GetProductNumber()) > std::strlen(b->GetProductNumber());
}

CCountedGeometry* FindByProductNumber(const tCountedElements& list, const std::string& productNumber) {
    for (CCountedGeometry* entry : list) {
        if (entry != nullptr && productNumber == entry->GetProductNumber()) return entry;
    }
    return nullptr;
}

CCountedIndex::CCountedIndex(const tCountedElements& list) {
    for (CCountedGeometry* entry : list) Add(entry);
}

CCountedGeometry* CCountedIndex::Find(const char* productNumber) const {
    const auto found = mEntries.find(productNumber);
    return found != mEntries.end() ? found->second : nullptr;
}

void CCountedIndex::Add(CCountedGeometry* entry) {
    if (entry != nullptr) mEntries.emplace(entry->GetProductNumber(), entry);
}

void EraseAll(tCountedElements& list) {
    for (std::size_t index = 0; index < list.size(); ++index) {
        CCountedGeometry* entry = list[index];
        if (entry == nullptr) {
            // Everything up to the bad entry is gone; the rest stays listed.
            list.erase(list.begin(), list.begin() + static_cast<std::ptrdiff_t>(index) + 1);
            UErrorHandling::ThrowIfNull(entry,
                                        "static void UCountedElementVectorOperations::EraseAll(tCountedElements &)",
                                        "Bad CCountedGeometry reference fetched");
        }
        delete entry;
    }
    list.clear();
}

}  // namespace UCountedElementVectorOperations

// ---------------------------------------------------------------------------
// UElementVectorOperations

namespace UElementVectorOperations {

tElementKindCounts CountElementsByKind(const tElements& elements) {
    tElementKindCounts counts{};
    for (const CCompositeGeometry* element : elements) {
        if (element == nullptr) continue;
        if (!UElementInspector::IsUserCreatedElement(element)) {
            ++counts[UElementInspector::IsTrackElement(element) ? 0 : 1];
        } else if (UElementInspector::IsFlexTrack(element)) {
            ++counts[2];
        } else if (UElementInspector::IsTextElement(element)) {
            ++counts[4];
        } else {
            ++counts[3];
        }
    }
    return counts;
}

}  // namespace UElementVectorOperations
