#include "engine/services/CurrencyStrings.h"

#include <iterator>

#include "engine/services/LocalizationService.h"
#include "engine/services/Logger.h"
#include "platform/foundation/Locale.h"

std::optional<std::string> UCurrencyStrings::currencyStringForAmount(double amount, const std::string& currencyCode) {
    return currencyStringForAmount(amount, currencyCode, false);
}

std::optional<std::string> UCurrencyStrings::currencyStringForAmount(double amount, const std::string& currencyCode,
                                                                     bool noFractionDigits) {
    return platform::Locale::current().formatCurrency(amount, currencyCode, noFractionDigits);
}

std::optional<double> UCurrencyStrings::amountFromCurrencyString(const std::string& text,
                                                                 const std::string& currencyCode) {
    return platform::Locale::current().parseCurrency(text, currencyCode);
}

std::optional<std::string> UCurrencyStrings::nameForCurrencyCode(const std::string& currencyCode) {
    return platform::Locale::current().currencyName(currencyCode);
}

std::optional<std::string> UCurrencyStrings::symbolForCurrencyCode(const std::string& currencyCode) {
    return platform::Locale::current().currencySymbol(currencyCode);
}

namespace UPriceFormatting {

namespace {

// Ids 129 to 139 in order.
constexpr const char* kCurrencyCodes[] = {"EUR", "USD", "GBP", "CHF", "SEK", "JPY", "DKK", "AUD", "CAD", "NOK", "NZD"};
static_assert(std::size(kCurrencyCodes) == kLastCurrencyId - kFirstCurrencyId + 1);

}  // namespace

std::string GetCurrencyCode(std::int32_t currencyId) {
    if (currencyId < kFirstCurrencyId || currencyId > kLastCurrencyId) {
        LogWarning("%s: Unknown currency id %d", "static std::string UPriceFormatting::GetCurrencyCode(int32_t)",
                   currencyId);
        return "???";
    }
    return kCurrencyCodes[currencyId - kFirstCurrencyId];
}

std::string FormatPrice(std::int32_t currencyId, double amount) {
    return ULocalization::FormatCurrency(GetCurrencyCode(currencyId), amount);
}

double ParsePrice(const std::string& text, std::int32_t currencyId) {
    return ULocalization::ParseCurrency(text, GetCurrencyCode(currencyId));
}

}  // namespace UPriceFormatting
