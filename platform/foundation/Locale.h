#pragma once
// The user's locale through ICU: measurement system, language, collation and
// currency names, symbols, formatting and parsing. The current locale comes
// from $LC_ALL, $LC_MONETARY, $LANG ("en_US.UTF-8" style), else "en_US".

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// The platform's date and time styles, from none to the full text.
enum class DateStyle { noStyle, shortStyle, mediumStyle, longStyle, fullStyle };

class Locale {
public:
    static const Locale& current();
    // Test hook: make `identifier` ("de_DE", "en_US") the current locale.
    static void setCurrent(const std::string& identifier);
    // Test hook: the next current() reads the environment again, as in a
    // new process.
    static void forgetCurrent();

    // The user's preferred languages, most preferred first, as the
    // environment writes them ("de-CH", "de_CH.UTF-8"): $VEKMONT_LANGUAGE,
    // the entries of $LANGUAGE (a colon-separated list), $LC_ALL,
    // $LC_MESSAGES, $LANG; empty entries, "C" and "POSIX" are left out.
    static std::vector<std::string> preferredLanguages();

    explicit Locale(std::string identifier);

    const std::string& identifier() const { return mIdentifier; }
    std::string languageCode() const;  // "de" for "de_DE"
    bool usesMetricSystem() const;     // false only where the US system is used

    // Finder-like comparison: locale-aware, case-insensitive, digits
    // compared as numbers. Returns -1, 0 or 1.
    int localizedStandardCompare(const std::string& a, const std::string& b) const;
    // Locale-aware and case-insensitive; digits compared as text ("10"
    // before "2"). Returns -1, 0 or 1.
    int localizedCaseInsensitiveCompare(const std::string& a, const std::string& b) const;

    // The ISO 4217 code of the locale's own currency ("EUR" for "de_DE");
    // nullopt when the locale names no country with a currency.
    std::optional<std::string> currencyCode() const;

    // Display name and symbol of an ISO 4217 code; nullopt for a code ICU
    // does not know.
    std::optional<std::string> currencyName(const std::string& code) const;
    std::optional<std::string> currencySymbol(const std::string& code) const;

    // Currency-style formatting; nullopt when the code is not a currency.
    std::optional<std::string> formatCurrency(double amount, const std::string& code,
                                              bool noFractionDigits = false) const;
    // A date as the locale writes it in those styles, in the default time
    // zone (TimeZone::defaultTimeZone); empty when both styles are none.
    std::string formatDate(std::chrono::system_clock::time_point date, DateStyle dateStyle, DateStyle timeStyle) const;
    // Decimal style with the locale's grouping separators and at most three
    // fraction digits ("12,345" in en_US, "12.345" in de_DE).
    std::string formatDecimal(double value) const;
    // Currency-style parsing, then decimal style; nullopt when both fail.
    std::optional<double> parseCurrency(const std::string& text, const std::string& code) const;

private:
    struct Impl;  // ICU objects made on first use, shared by copies

    std::string mIdentifier;
    std::shared_ptr<Impl> mImpl;
};

}  // namespace platform
