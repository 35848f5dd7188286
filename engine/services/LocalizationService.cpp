#include "engine/services/LocalizationService.h"

#include "engine/services/CurrencyStrings.h"
#include "engine/services/Logger.h"
#include "engine/services/StringFormat.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Locale.h"

namespace {

// Formatted translations are cut to this many bytes.
constexpr std::size_t kMaxFormattedBytes = 511;

}  // namespace

std::string LocalizationService::GetString(const std::string& key) const {
    return GetLocalizedString(key, kStringTable);
}

std::string LocalizationService::GetLocalizedString(const std::string& key, const std::string& table) const {
    // Translations are UTF-8 already, so there is no conversion that could fail.
    if (platform::Bundle* bundle = platform::Bundle::main()) {
        if (std::optional<std::string> translation = bundle->localizedString(key, table)) {
            return *translation;
        }
    }
    LogInfo("No translation found for '%s'", key.c_str());
    return key;
}

int LocalizationService::CompareStrings(const std::string& a, const std::string& b) const {
    return platform::Locale::current().localizedStandardCompare(a, b);
}

std::string LocalizationService::NameForCurrencyCode(const std::string& currencyCode) const {
    return UCurrencyStrings::nameForCurrencyCode(currencyCode).value_or(std::string());
}

std::string LocalizationService::SymbolForCurrencyCode(const std::string& currencyCode) const {
    return UCurrencyStrings::symbolForCurrencyCode(currencyCode).value_or(std::string());
}

std::string LocalizationService::CurrencyStringForAmount(const std::string& currencyCode, double amount) const {
    return UCurrencyStrings::currencyStringForAmount(amount, currencyCode).value_or(std::string());
}

double LocalizationService::AmountFromCurrencyString(const std::string& text, const std::string& currencyCode) const {
    return UCurrencyStrings::amountFromCurrencyString(text, currencyCode).value_or(0.0);
}

namespace ULocalization {

LocalizationServiceBase* GetLocalizationService() {
    auto* service =
        CServiceLocator::Instance().LocateServiceAs<LocalizationServiceBase>(LocalizationService::kServiceName);
    if (service == nullptr) LogWarning("Service '%s' not found", LocalizationService::kServiceName);
    return service;
}

std::string GetLocalizedString(const std::string& key) {
    const LocalizationServiceBase* service = GetLocalizationService();
    return service != nullptr ? service->GetString(key) : std::string();
}

std::string GetLocalizedFormattedStringV(const char* key, va_list arguments) {
    if (key == nullptr) return {};
    const LocalizationServiceBase* service = GetLocalizationService();
    if (service == nullptr) return {};
    const std::string format = service->GetString(key);
    return FormatStringV(kMaxFormattedBytes, format.c_str(), arguments);
}

std::string GetLocalizedFormattedString(const char* key, ...) {
    va_list arguments;
    va_start(arguments, key);
    std::string result = GetLocalizedFormattedStringV(key, arguments);
    va_end(arguments);
    return result;
}

std::string FormatCurrency(const std::string& currencyCode, double amount) {
    const LocalizationServiceBase* service = GetLocalizationService();
    return service != nullptr ? service->CurrencyStringForAmount(currencyCode, amount) : std::string();
}

double ParseCurrency(const std::string& text, const std::string& currencyCode) {
    const LocalizationServiceBase* service = GetLocalizationService();
    return service != nullptr ? service->AmountFromCurrencyString(text, currencyCode) : 0.0;
}

}  // namespace ULocalization
