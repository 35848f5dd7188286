#include "engine/model/TrackElementsContainer.h"

#include <algorithm>
#include <cstring>

#include "engine/model/CompositeGeometry.h"

CTrackElementsContainer::~CTrackElementsContainer() = default;

std::size_t CTrackElementsContainer::GetElementCount() const { return GetElements().size(); }

bool CTrackElementsContainer::ContainsElement(const CCompositeGeometry* element) const {
    const tElements& elements = GetElements();
    return std::find(elements.begin(), elements.end(), element) != elements.end();
}

CCompositeGeometry* CTrackElementsContainer::GetElementWithProductNumber(const std::string& productNumber) const {
    for (CCompositeGeometry* element : GetElements()) {
        if (element != nullptr && std::strcmp(element->GetProductNumber(), productNumber.c_str()) == 0) return element;
    }
    return nullptr;
}
