#include "LayoutModule/PartList/VKMPartListValueObject.h"

#include <cmath>
#include <cstdio>

#include "app/Utilities/Strings/ZDUtilsStrings.h"
#include "app/Utilities/System/PreferredLocaleHelper.h"
#include "engine/model/PartList.h"
#include "engine/services/CurrencyStrings.h"

namespace {

// Shorter manufacturer texts are placeholders of the libraries.
constexpr std::size_t kMinimumManufacturerLength = 4;

}  // namespace

std::shared_ptr<VKMPartListValueObject> VKMPartListValueObject::partListValueObjectForCountedCIG(
    CCountedGeometry* entry) {
    auto row = std::make_shared<VKMPartListValueObject>();
    if (entry == nullptr) return row;
    row->partsEntry = entry;
    row->productNr = entry->GetProductNumber();
    row->partDescription = entry->GetLocalizedDescription(PreferredLocaleHelper::preferredLanguageCode().value_or(""));
    std::string manufacturer = entry->GetManufacturer();
    if (manufacturer.size() < kMinimumManufacturerLength) manufacturer.clear();
    row->title = ZDUtils::stringByStrippingWhitespace(manufacturer + " " + row->productNr);
    row->count = std::to_string(entry->GetCount());
    return row;
}

std::string VKMPartListValueObject::price() const {
    if (partsEntry == nullptr) return {};
    return UPriceFormatting::FormatPrice(partsEntry->GetCurrencyId(), partsEntry->GetPrice() / 100.0);
}

void VKMPartListValueObject::setPrice(const std::optional<std::string>& text) {
    if (partsEntry == nullptr) return;
    const double amount = text ? UPriceFormatting::ParsePrice(*text, partsEntry->GetCurrencyId()) : 0.0;
    const double hundredths = std::round(amount * 100);
    const bool fits = std::isfinite(hundredths) && hundredths >= INT32_MIN && hundredths <= INT32_MAX;
    CPriceList::Instance().SetPrice(partsEntry, fits ? static_cast<std::int32_t>(hundredths) : 0);
}

std::string VKMPartListValueObject::description() const {
    char address[32];
    std::snprintf(address, sizeof address, "%p", static_cast<const void*>(this));
    const int raw = partsEntry != nullptr ? partsEntry->GetPrice() : 0;
    return "<VKMPartListValueObject ( " + std::string(address) + " ) : " + productNr + " (\"" + partDescription +
           "\"), " + count + "x, " + price() + " (" + std::to_string(raw) + ")>";
}
