#include "platform/foundation/Locale.h"

#include "platform/foundation/AsciiText.h"
#include "platform/foundation/TimeZone.h"

#include <unicode/coll.h>
#include <unicode/datefmt.h>
#include <unicode/timezone.h>
#include <unicode/locid.h>
#include <unicode/numfmt.h>
#include <unicode/parsepos.h>
#include <unicode/ucurr.h>
#include <unicode/ulocdata.h>
#include <unicode/unistr.h>

#include <cstdlib>
#include <deque>
#include <mutex>
#include <sstream>

namespace platform {

struct Locale::Impl {
    std::mutex mutex;  // ICU collators are not to be shared between threads unguarded
    bool collatorTried = false;
    std::unique_ptr<icu::Collator> collator;
    bool caseInsensitiveTried = false;
    std::unique_ptr<icu::Collator> caseInsensitive;
};

namespace {

// "de_DE.UTF-8" -> "de_DE", "de_DE@euro" -> "de_DE"; "C" and "POSIX" -> "en_US".
std::string cleanIdentifier(std::string id) {
    const std::size_t cut = id.find_first_of(".@");
    if (cut != std::string::npos) id.resize(cut);
    if (id.empty() || id == "C" || id == "POSIX") return "en_US";
    return id;
}

icu::Locale icuLocale(const std::string& identifier) { return icu::Locale(cleanIdentifier(identifier).c_str()); }

// Three ASCII letters, upper-cased; nullopt for anything else.
std::optional<std::u16string> isoCode(const std::string& code) {
    if (code.size() != 3) return std::nullopt;
    std::u16string out;
    for (char c : ascii::uppercased(code)) {
        if (c < 'A' || c > 'Z') return std::nullopt;
        out += static_cast<char16_t>(c);
    }
    return out;
}

std::optional<std::string> currencyDisplay(const std::string& identifier, const std::string& code,
                                           UCurrNameStyle style) {
    auto iso = isoCode(code);
    if (!iso) return std::nullopt;
    UErrorCode status = U_ZERO_ERROR;
    UBool isChoiceFormat = false;
    int32_t length = 0;
    const UChar* name =
        ucurr_getName(iso->c_str(), cleanIdentifier(identifier).c_str(), style, &isChoiceFormat, &length, &status);
    if (U_FAILURE(status) || name == nullptr) return std::nullopt;
    const std::u16string result(name, static_cast<std::size_t>(length));
    // ICU hands back the code itself, with this warning, for codes it does not know.
    if (status == U_USING_DEFAULT_WARNING && result == *iso) return std::nullopt;
    std::string utf8;
    icu::UnicodeString(name, length).toUTF8String(utf8);
    return utf8;
}

bool isKnownCurrency(const std::string& identifier, const std::string& code) {
    return currencyDisplay(identifier, code, UCURR_SYMBOL_NAME).has_value();
}

std::unique_ptr<icu::NumberFormat> currencyFormatter(const std::string& identifier, const std::u16string& iso) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::NumberFormat> format(icu::NumberFormat::createCurrencyInstance(icuLocale(identifier), status));
    if (U_FAILURE(status) || !format) return nullptr;
    format->setCurrency(iso.c_str(), status);
    if (U_FAILURE(status)) return nullptr;
    return format;
}

// The value only when `format` consumed all of `text`.
std::optional<double> parseWhole(const icu::NumberFormat& format, const icu::UnicodeString& text) {
    icu::Formattable result;
    icu::ParsePosition position(0);
    format.parse(text, result, position);
    if (position.getErrorIndex() >= 0 || position.getIndex() != text.length()) return std::nullopt;
    UErrorCode status = U_ZERO_ERROR;
    const double value = result.getDouble(status);
    if (U_FAILURE(status)) return std::nullopt;
    return value;
}

struct CurrentLocale {
    std::mutex mutex;
    std::deque<Locale> made;  // never shrinks: references handed out stay valid
    const Locale* current = nullptr;
};

CurrentLocale& currentLocale() {
    static CurrentLocale state;
    return state;
}

std::string environmentIdentifier() {
    for (const char* name : {"LC_ALL", "LC_MONETARY", "LANG"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return cleanIdentifier(value);
    }
    return "en_US";
}

}  // namespace

const Locale& Locale::current() {
    auto& state = currentLocale();
    std::lock_guard lock(state.mutex);
    if (state.current == nullptr) state.current = &state.made.emplace_back(environmentIdentifier());
    return *state.current;
}

void Locale::setCurrent(const std::string& identifier) {
    auto& state = currentLocale();
    std::lock_guard lock(state.mutex);
    state.current = &state.made.emplace_back(identifier);
}

void Locale::forgetCurrent() {
    auto& state = currentLocale();
    std::lock_guard lock(state.mutex);
    state.current = nullptr;
}

std::vector<std::string> Locale::preferredLanguages() {
    std::vector<std::string> out;
    for (const char* name : {"VEKMONT_LANGUAGE", "LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value == nullptr) continue;
        std::stringstream list(value);
        std::string entry;
        while (std::getline(list, entry, ':')) {
            const std::string language = entry.substr(0, entry.find_first_of("_.@-"));
            if (!language.empty() && language != "C" && language != "POSIX") out.push_back(entry);
        }
    }
    return out;
}

Locale::Locale(std::string identifier) : mIdentifier(std::move(identifier)), mImpl(std::make_shared<Impl>()) {}

std::string Locale::languageCode() const { return icuLocale(mIdentifier).getLanguage(); }

bool Locale::usesMetricSystem() const {
    UErrorCode status = U_ZERO_ERROR;
    const UMeasurementSystem system = ulocdata_getMeasurementSystem(cleanIdentifier(mIdentifier).c_str(), &status);
    if (U_FAILURE(status)) return true;
    return system != UMS_US;
}

namespace {

// Secondary strength ignores case but keeps accents; numeric collation puts
// "file2" before "file10".
std::unique_ptr<icu::Collator> makeCollator(const std::string& identifier, bool numeric) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Collator> collator(icu::Collator::createInstance(icuLocale(identifier), status));
    if (U_FAILURE(status) || !collator) return nullptr;
    collator->setStrength(icu::Collator::SECONDARY);
    if (numeric) collator->setAttribute(UCOL_NUMERIC_COLLATION, UCOL_ON, status);
    return U_SUCCESS(status) ? std::move(collator) : nullptr;
}

// Compares with the collator, made on first use; bytes when there is none.
int compareWith(bool& tried, std::unique_ptr<icu::Collator>& made, const std::string& identifier, bool numeric,
                const std::string& a, const std::string& b) {
    if (!tried) {
        tried = true;
        made = makeCollator(identifier, numeric);
    }
    const icu::Collator* collator = made.get();
    UErrorCode status = U_ZERO_ERROR;
    const UCollationResult r = collator ? collator->compareUTF8(a, b, status) : UCOL_EQUAL;
    if (!collator || U_FAILURE(status)) return a < b ? -1 : (a == b ? 0 : 1);
    return r == UCOL_LESS ? -1 : (r == UCOL_EQUAL ? 0 : 1);
}

}  // namespace

int Locale::localizedStandardCompare(const std::string& a, const std::string& b) const {
    std::lock_guard lock(mImpl->mutex);
    return compareWith(mImpl->collatorTried, mImpl->collator, mIdentifier, true, a, b);
}

int Locale::localizedCaseInsensitiveCompare(const std::string& a, const std::string& b) const {
    std::lock_guard lock(mImpl->mutex);
    return compareWith(mImpl->caseInsensitiveTried, mImpl->caseInsensitive, mIdentifier, false, a, b);
}

std::optional<std::string> Locale::currencyCode() const {
    UChar buffer[4] = {};
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length = ucurr_forLocale(cleanIdentifier(mIdentifier).c_str(), buffer, 4, &status);
    if (U_FAILURE(status) || length != 3) return std::nullopt;
    return std::string{static_cast<char>(buffer[0]), static_cast<char>(buffer[1]), static_cast<char>(buffer[2])};
}

std::optional<std::string> Locale::currencyName(const std::string& code) const {
    return currencyDisplay(mIdentifier, code, UCURR_LONG_NAME);
}

std::optional<std::string> Locale::currencySymbol(const std::string& code) const {
    return currencyDisplay(mIdentifier, code, UCURR_SYMBOL_NAME);
}

std::optional<std::string> Locale::formatCurrency(double amount, const std::string& code, bool noFractionDigits) const {
    auto iso = isoCode(code);
    if (!iso || !isKnownCurrency(mIdentifier, code)) return std::nullopt;
    auto format = currencyFormatter(mIdentifier, *iso);
    if (!format) return std::nullopt;
    if (noFractionDigits) {
        format->setMinimumFractionDigits(0);
        format->setMaximumFractionDigits(0);
    }
    icu::UnicodeString text;
    format->format(amount, text);
    std::string utf8;
    text.toUTF8String(utf8);
    return utf8;
}

std::string Locale::formatDecimal(double value) const {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::NumberFormat> decimal(icu::NumberFormat::createInstance(icuLocale(mIdentifier), status));
    if (U_FAILURE(status) || !decimal) return std::to_string(value);
    decimal->setGroupingUsed(true);
    decimal->setMaximumFractionDigits(3);
    icu::UnicodeString text;
    decimal->format(value, text);
    std::string utf8;
    text.toUTF8String(utf8);
    return utf8;
}

std::optional<double> Locale::parseCurrency(const std::string& text, const std::string& code) const {
    auto iso = isoCode(code);
    if (!iso || !isKnownCurrency(mIdentifier, code)) return std::nullopt;
    icu::UnicodeString input = icu::UnicodeString::fromUTF8(text);
    input.trim();
    if (input.isEmpty()) return std::nullopt;
    if (auto format = currencyFormatter(mIdentifier, *iso)) {
        if (auto value = parseWhole(*format, input)) return value;
    }
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::NumberFormat> decimal(icu::NumberFormat::createInstance(icuLocale(mIdentifier), status));
    if (U_FAILURE(status) || !decimal) return std::nullopt;
    return parseWhole(*decimal, input);
}

namespace {

icu::DateFormat::EStyle icuStyle(DateStyle style) {
    switch (style) {
        case DateStyle::shortStyle: return icu::DateFormat::kShort;
        case DateStyle::mediumStyle: return icu::DateFormat::kMedium;
        case DateStyle::longStyle: return icu::DateFormat::kLong;
        case DateStyle::fullStyle: return icu::DateFormat::kFull;
        case DateStyle::noStyle: break;
    }
    return icu::DateFormat::kNone;
}

}  // namespace

std::string Locale::formatDate(std::chrono::system_clock::time_point date, DateStyle dateStyle,
                               DateStyle timeStyle) const {
    if (dateStyle == DateStyle::noStyle && timeStyle == DateStyle::noStyle) return {};
    std::unique_ptr<icu::DateFormat> format(
        icu::DateFormat::createDateTimeInstance(icuStyle(dateStyle), icuStyle(timeStyle), icuLocale(mIdentifier)));
    if (!format) return {};
    const std::string zone = TimeZone::defaultTimeZone().identifier();
    format->adoptTimeZone(icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(zone)));
    const double milliseconds = std::chrono::duration<double, std::milli>(date.time_since_epoch()).count();
    icu::UnicodeString text;
    format->format(milliseconds, text);
    std::string utf8;
    text.toUTF8String(utf8);
    return utf8;
}

}  // namespace platform
