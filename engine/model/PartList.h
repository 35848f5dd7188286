#pragma once
// The part list of a document: which pieces it uses, how many of each and at
// what price. Counted elements (one per distinct product number) come from
// the document's statistics; a process-wide price list remembers a price per
// part; the pricing step hands currency and price to the counted elements
// and the document's priced elements; the export writes the list as
// delimited text for sharing.
//
// Prices are signed 32-bit hundredths of the currency unit. Currency ids 129
// to 139 are EUR, USD, GBP, CHF, SEK, JPY, DKK, AUD, CAD, NOK and NZD.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "engine/model/CompositeGeometry.h"
#include "engine/model/TrackElementsContainer.h"

class CTrackElementsStatistics;

// An element as counted: a deep copy of the first element met with its
// product number (its own identifier) and how many elements share it.
class CCountedGeometry : public CCompositeGeometry {
public:
    // A copy of `element` counted once.
    explicit CCountedGeometry(const CCompositeGeometry& element);
    // A copy of another entry, count included.
    CCountedGeometry(const CCountedGeometry& other);
    ~CCountedGeometry() override;

    std::int32_t GetCount() const { return mCount; }
    void SetCount(std::int32_t count) { mCount = count; }
    void IncrementCount() { ++mCount; }

private:
    std::int32_t mCount = 1;
};

// Owned by whoever holds the list; deleted with
// UCountedElementVectorOperations::EraseAll.
using tCountedElements = std::vector<CCountedGeometry*>;

// The parts of one document with their counts, in the statistics' order.
// Its entries are its own copies; it never changes the document.
class CPartList {
public:
    // Keeps both pointers (neither owned) and fills the entries at once.
    CPartList(CTrackElementsContainer* container, CTrackElementsStatistics* statistics);
    virtual ~CPartList();

    CPartList(const CPartList&) = delete;
    CPartList& operator=(const CPartList&) = delete;

    // Replaces the entries by copies of the statistics' counted elements,
    // in their order. The caller refreshes the statistics first. Without
    // statistics the list is empty.
    void Refresh();

    // One line per entry, sorted by product number (ascending bytes) and
    // numbered from 001: number, product number, description in `language`,
    // manufacturer, price text and count, separated by `delimiter`, each
    // line ending in a newline however long it is. In the text fields the
    // delimiter, CR and LF become "_". An empty list gives the empty text
    // and a warning.
    std::string ExportToString(char delimiter, const std::string& language) const;

    const tCountedElements& GetEntries() const { return mEntries; }
    CTrackElementsContainer* GetContainer() const { return mContainer; }

private:
    CTrackElementsContainer* mContainer;
    CTrackElementsStatistics* mStatistics;
    tCountedElements mEntries;
};

// The process-wide list of prices typed for parts, kept until the process
// ends: a price set once applies to the same part in every later document.
// Keyed by "<library name>@@@<product number>", or "USER_CREATED_FLEX@@@FLEX"
// for every user-created flex track. Main thread only (the first Instance
// call is safe from any thread).
class CPriceList {
public:
    static constexpr const char* kUserCreatedFlexLibrary = "USER_CREATED_FLEX";
    static constexpr const char* kKeySeparator = "@@@";
    static constexpr const char* kUserCreatedFlexProduct = "FLEX";

    static CPriceList& Instance();

    virtual ~CPriceList();
    CPriceList(const CPriceList&) = delete;
    CPriceList& operator=(const CPriceList&) = delete;

    // Sets the price of the element's part, creating its entry when needed.
    // False, with nothing changed, when no entry can be made (a null element,
    // or a user-created element other than flex track, which is never a
    // part).
    bool SetPrice(const CCompositeGeometry* element, std::int32_t price);
    // The entry of the element's key, or null.
    CCompositeGeometry* FindEntry(const CCompositeGeometry* element) const;
    // Stores `entry` (taking ownership) under its own key. False when the key
    // is taken already; then the entry stays the caller's.
    bool AddEntry(CCompositeGeometry* entry);
    // A new entry for the element's part with `price`: the shared
    // user-created flex element for a user-created flex track, else a copy
    // of the element itself; null for any other user-created element.
    CCompositeGeometry* CreateEntry(const CCompositeGeometry* element, std::int32_t price) const;
    // A new, empty element with the library name "USER_CREATED_FLEX".
    static CCompositeGeometry* GetElementForUserCreatedFlex();

    static std::string MakeKey(const std::string& libraryName, const std::string& productNumber);
    static std::string GetKey(const CCompositeGeometry* element);

    // Deletes every entry and empties the map.
    void Clear();
    std::size_t GetEntryCount() const { return mEntries.size(); }

private:
    CPriceList() = default;

    std::map<std::string, CCompositeGeometry*> mEntries;
};

namespace UPriceList {

// The pricing step, after the document refreshed its statistics:
// 1. every counted element gets the currency of the preference
//    "QLDefaultCurrency" and, when the price list has its part, that price;
// 2. every element of `layout` that is a part (not user-created, or a
//    user-created flex track) takes price and currency from the first
//    counted element of its product number.
// A null layout skips step 2.
void ApplyPrices(CTrackElementsContainer* layout, const tCountedElements& countedElements);

}  // namespace UPriceList

namespace UPartListExport {

// `field` with every byte equal to `delimiter`, and every CR and LF, made "_".
std::string ReplaceDelimiter(const std::string& field, char delimiter);

}  // namespace UPartListExport
