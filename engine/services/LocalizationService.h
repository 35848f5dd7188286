#pragma once
// Translated texts of the string table "QLStrings", locale-aware comparison
// and currency texts, as one stateless service registered under
// "LocalizationService". Engine code reaches it through ULocalization.

#include "engine/services/ServiceLocator.h"

#include <cstdarg>
#include <string>

class LocalizationServiceBase : public CLocatableService {
public:
    // Translation of `key` in "QLStrings", or the key itself.
    virtual std::string GetString(const std::string& key) const = 0;
    // Translation of `key` in `table` ("Localizable" when empty), or the key.
    virtual std::string GetLocalizedString(const std::string& key, const std::string& table) const = 0;
    // Finder-like comparison of `a` with `b`: -1, 0 or 1.
    virtual int CompareStrings(const std::string& a, const std::string& b) const = 0;
    // Currency texts of the current locale; the empty text (0.0 for an
    // amount) where the locale has no answer.
    virtual std::string NameForCurrencyCode(const std::string& currencyCode) const = 0;
    virtual std::string SymbolForCurrencyCode(const std::string& currencyCode) const = 0;
    virtual std::string CurrencyStringForAmount(const std::string& currencyCode, double amount) const = 0;
    virtual double AmountFromCurrencyString(const std::string& text, const std::string& currencyCode) const = 0;
};

class LocalizationService : public LocalizationServiceBase {
public:
    static constexpr const char* kServiceName = "LocalizationService";
    static constexpr const char* kStringTable = "QLStrings";

    std::string GetServiceName() const override { return kServiceName; }
    std::string GetString(const std::string& key) const override;
    std::string GetLocalizedString(const std::string& key, const std::string& table) const override;
    int CompareStrings(const std::string& a, const std::string& b) const override;
    std::string NameForCurrencyCode(const std::string& currencyCode) const override;
    std::string SymbolForCurrencyCode(const std::string& currencyCode) const override;
    std::string CurrencyStringForAmount(const std::string& currencyCode, double amount) const override;
    double AmountFromCurrencyString(const std::string& text, const std::string& currencyCode) const override;
};

namespace ULocalization {

// Looked up on every call; null (after two warnings) when nothing is registered.
LocalizationServiceBase* GetLocalizationService();

// Without a registered service these give the empty text or 0.0.
std::string GetLocalizedString(const std::string& key);
// The translation of `key` used as a printf format for the arguments; the
// result is cut to 511 bytes at a UTF-8 character boundary.
std::string GetLocalizedFormattedString(const char* key, ...);
std::string GetLocalizedFormattedStringV(const char* key, va_list arguments);
std::string FormatCurrency(const std::string& currencyCode, double amount);
double ParseCurrency(const std::string& text, const std::string& currencyCode);

}  // namespace ULocalization
