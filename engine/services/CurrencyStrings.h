#pragma once
// Currency texts in the user's current locale: names, symbols, formatting
// and parsing of amounts. Codes are ISO 4217 three-letter codes; every
// answer is nullopt where the locale cannot give one (an unknown code, a
// text that is no amount).

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
