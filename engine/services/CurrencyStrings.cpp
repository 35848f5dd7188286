#include "engine/services/CurrencyStrings.h"

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
