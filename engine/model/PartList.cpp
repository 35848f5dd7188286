#include "engine/model/PartList.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "engine/model/ElementQueries.h"
#include "engine/model/ModelInternal.h"
#include "engine/model/Statistics.h"
#include "engine/services/ErrorHandling.h"
#include "engine/services/CurrencyStrings.h"
#include "engine/services/LocalizationService.h"
#include "engine/services/Logger.h"
#include "engine/services/PreferencesService.h"
#include "platform/foundation/OwnedList.h"

// ---------------------------------------------------------------------------
// CCountedGeometry

CCountedGeometry::CCountedGeometry(const CCompositeGeometry& element) : CCompositeGeometry(element) {}

CCountedGeometry::CCountedGeometry(const CCountedGeometry& other) : CCompositeGeometry(other), mCount(other.mCount) {}

CCountedGeometry::~CCountedGeometry() = default;

// ---------------------------------------------------------------------------
// CPartList

CPartList::CPartList(CTrackElementsContainer* container, CTrackElementsStatistics* statistics)
    : mContainer(container), mStatistics(statistics) {
    Refresh();
}

CPartList::~CPartList() {
    // Our own copies: never null, so EraseAll cannot fail here.
    UCountedElementVectorOperations::EraseAll(mEntries);
}

void CPartList::Refresh() {
    UCountedElementVectorOperations::EraseAll(mEntries);
    if (mStatistics == nullptr) return;
    const tCountedElements& counted = mStatistics->GetCountedElements();
    mEntries.reserve(counted.size());
    for (const CCountedGeometry* entry : counted) {
        if (entry != nullptr) mEntries.push_back(new CCountedGeometry(*entry));
    }
}

std::string CPartList::ExportToString(char delimiter, const std::string& language) const {
    if (mEntries.empty()) {
        LogWarning("Export to part list failed - no elements to export.");
        return {};
    }

    // Sorted by product number on a copy; the list keeps its own order.
    tCountedElements sorted(mEntries);
    std::sort(sorted.begin(), sorted.end(), [](const CCountedGeometry* a, const CCountedGeometry* b) {
        return std::strcmp(a->GetProductNumber(), b->GetProductNumber()) < 0;
    });

    std::string text;
    int number = 0;
    for (const CCountedGeometry* entry : sorted) {
        ++number;
        char numberText[16];
        std::snprintf(numberText, sizeof numberText, "%03d", number);
        const std::string price = UPriceFormatting::FormatPrice(entry->GetCurrencyId(), entry->GetPrice() / 100.0);

        text += numberText;
        text += delimiter;
        text += UPartListExport::ReplaceDelimiter(entry->GetProductNumber(), delimiter);
        text += delimiter;
        text += UPartListExport::ReplaceDelimiter(entry->GetLocalizedDescription(language), delimiter);
        text += delimiter;
        text += UPartListExport::ReplaceDelimiter(entry->GetManufacturer(), delimiter);
        text += delimiter;
        text += UPartListExport::ReplaceDelimiter(price, delimiter);
        text += delimiter;
        text += std::to_string(entry->GetCount());
        // Whatever the length of the fields, a line always ends here.
        text += '\n';
    }
    return text;
}

// ---------------------------------------------------------------------------
// CPriceList

CPriceList& CPriceList::Instance() {
    static CPriceList instance;
    return instance;
}

CPriceList::~CPriceList() { Clear(); }

bool CPriceList::SetPrice(const CCompositeGeometry* element, std::int32_t price) {
    if (element == nullptr) return false;
    CCompositeGeometry* entry = FindEntry(element);
    if (entry == nullptr) {
        entry = CreateEntry(element, price);
        if (entry == nullptr) return false;
        mEntries.emplace(GetKey(element), entry);
    }
    entry->SetPrice(price);
    return true;
}

CCompositeGeometry* CPriceList::FindEntry(const CCompositeGeometry* element) const {
    if (element == nullptr) return nullptr;
    const auto found = mEntries.find(GetKey(element));
    return found != mEntries.end() ? found->second : nullptr;
}

bool CPriceList::AddEntry(CCompositeGeometry* entry) {
    if (entry == nullptr) return false;
    return mEntries.emplace(GetKey(entry), entry).second;
}

CCompositeGeometry* CPriceList::CreateEntry(const CCompositeGeometry* element, std::int32_t price) const {
    if (element == nullptr) return nullptr;
    CCompositeGeometry* entry = nullptr;
    if (UElementInspector::IsUserCreatedFlex(element) ||
        std::strcmp(element->GetLibraryName(), kUserCreatedFlexLibrary) == 0) {
        entry = GetElementForUserCreatedFlex();
    } else if (UElementInspector::IsUserCreatedElement(element)) {
        LogWarning("No price entry for user-created element '%s'", element->GetProductNumber());
        return nullptr;
    } else {
        // The part's own data: the counted element is a copy of the piece
        // as the library made it.
        entry = new CCompositeGeometry(*element);
    }
    entry->SetPrice(price);
    return entry;
}

CCompositeGeometry* CPriceList::GetElementForUserCreatedFlex() {
    auto* element = new CCompositeGeometry();
    UErrorHandling::ThrowIfNull(element, "static CCompositeGeometry *CPriceList::GetElementForUserCreatedFlex()",
                                "Failed to create CCompositeGeometry instance");
    element->SetLibraryName(kUserCreatedFlexLibrary);
    return element;
}

std::string CPriceList::MakeKey(const std::string& libraryName, const std::string& productNumber) {
    std::string key = libraryName;
    key += kKeySeparator;
    key += libraryName == kUserCreatedFlexLibrary ? std::string(kUserCreatedFlexProduct) : productNumber;
    return key;
}

std::string CPriceList::GetKey(const CCompositeGeometry* element) {
    if (UElementInspector::IsUserCreatedFlex(element)) return MakeKey(kUserCreatedFlexLibrary, "");
    return MakeKey(element->GetLibraryName(), element->GetProductNumber());
}

void CPriceList::Clear() { platform::DeleteAll(mEntries); }

// ---------------------------------------------------------------------------
// UPriceList

namespace UPriceList {

void ApplyPrices(CTrackElementsContainer* layout, const tCountedElements& countedElements) {
    const std::int32_t currencyId = UPreferences::GetInt("QLDefaultCurrency");
    const CPriceList& prices = CPriceList::Instance();
    for (CCountedGeometry* counted : countedElements) {
        if (counted == nullptr) continue;
        counted->SetCurrencyId(currencyId);
        if (const CCompositeGeometry* entry = prices.FindEntry(counted)) counted->SetPrice(entry->GetPrice());
    }

    if (layout == nullptr) return;
    const UCountedElementVectorOperations::CCountedIndex index(countedElements);
    // Each element takes its own entry's price: side by side on the pool,
    // the entries only read.
    const tElements& elements = layout->GetElements();
    UModelInternal::ForEachShare(elements.size(), [&elements, &index](std::size_t, std::size_t first, std::size_t end) {
        for (std::size_t i = first; i < end; ++i) {
            CCompositeGeometry* element = elements[i];
            if (element == nullptr || !UCountedElementVectorOperations::IsCountedPart(element)) continue;
            const CCountedGeometry* counted = index.Find(element->GetProductNumber());
            if (counted == nullptr) continue;
            element->SetPrice(counted->GetPrice());
            element->SetCurrencyId(counted->GetCurrencyId());
        }
    });
}

}  // namespace UPriceList

// ---------------------------------------------------------------------------
// UPartListExport

namespace UPartListExport {

std::string ReplaceDelimiter(const std::string& field, char delimiter) {
    std::string result = field;
    for (char& byte : result) {
        // A CR or LF would split the line as surely as the delimiter splits
        // the columns.
        if (byte == delimiter || byte == '\r' || byte == '\n') byte = '_';
    }
    return result;
}

}  // namespace UPartListExport
