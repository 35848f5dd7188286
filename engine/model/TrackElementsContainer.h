#pragma once
// The read-only holder of a document's elements: the part list, the
// statistics and the element queries read elements through it without
// depending on the document class.

#include <cstddef>
#include <string>
#include <vector>

class CCompositeGeometry;

// Ordered; the container owns the elements, holders of the list do not.
using tElements = std::vector<CCompositeGeometry*>;

class CTrackElementsContainer {
public:
    virtual ~CTrackElementsContainer();

    virtual const tElements& GetElements() const = 0;
    virtual std::size_t GetElementCount() const;
    // Compares pointers: a copy of a listed element is not contained.
    virtual bool ContainsElement(const CCompositeGeometry* element) const;
    // The first element in list order whose product number equals `productNumber`
    // (C string comparison), or null.
    virtual CCompositeGeometry* GetElementWithProductNumber(const std::string& productNumber) const;
};
