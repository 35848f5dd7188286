#pragma once
// Currency texts in the user's current locale: names, symbols, formatting
// and parsing of amounts. Codes are ISO 4217 three-letter codes; every
// answer is nullopt where the locale cannot give one (an unknown code, a
// text that is no amount).

#include <cstdint>
#include <optional>
#include <string>

class UCurrencyStrings {
public:
    // Currency style with the currency's usual fraction digits.
    static std::optional<std::string> currencyStringForAmount(double amount, const std::string& currencyCode);
    // Currency style; with `noFractionDigits` the amount is rounded to whole units.
    static std::optional<std::string> currencyStringForAmount(double amount, const std::string& currencyCode,
                                                              bool noFractionDigits);
    // Read as a currency text first, then as a plain decimal number.
    static std::optional<double> amountFromCurrencyString(const std::string& text, const std::string& currencyCode);

    static std::optional<std::string> nameForCurrencyCode(const std::string& currencyCode);
    static std::optional<std::string> symbolForCurrencyCode(const std::string& currencyCode);
};

// The part list's price currencies, stored as ids 129 to 139.
namespace UPriceFormatting {

constexpr std::int32_t kFirstCurrencyId = 129;
constexpr std::int32_t kLastCurrencyId = 139;

// The ISO 4217 code of the id; "???" (with a warning) for another id.
std::string GetCurrencyCode(std::int32_t currencyId);
// The localisation service's currency text of `amount` in the id's code.
std::string FormatPrice(std::int32_t currencyId, double amount);
// The localisation service's amount of `text` read in the id's code.
double ParsePrice(const std::string& text, std::int32_t currencyId);

}  // namespace UPriceFormatting
