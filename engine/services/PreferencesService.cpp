#include "engine/services/PreferencesService.h"

#include "engine/services/CurrencyStrings.h"
#include "engine/services/CFPreferences.h"
#include "platform/foundation/Locale.h"

#include <atomic>
#include <cmath>
#include <limits>
#include <utility>

// ---------------------------------------------------------------------------
// CPreferenceValue

CPreferenceValue::CPreferenceValue(bool value) : mText(value ? "True" : "False") {}

CPreferenceValue::CPreferenceValue(int value) : mNumber(value) {}

CPreferenceValue::CPreferenceValue(double value) : mNumber(value) {}

CPreferenceValue::CPreferenceValue(std::string value) : mText(std::move(value)) {}

CPreferenceValue::CPreferenceValue(const char* value) : mText(value != nullptr ? value : "") {}

int CPreferenceValue::GetInt() const {
    if (std::isnan(mNumber)) return 0;
    constexpr double kMin = std::numeric_limits<int>::min();
    constexpr double kMax = std::numeric_limits<int>::max();
    if (mNumber <= kMin) return std::numeric_limits<int>::min();
    if (mNumber >= kMax) return std::numeric_limits<int>::max();
    return static_cast<int>(mNumber);  // truncates toward zero
}

// ---------------------------------------------------------------------------
// PreferencesServiceBase

const CPreferenceValue* PreferencesServiceBase::Find(const std::string& key) const {
    const auto it = mValues.find(key);
    return it != mValues.end() ? &it->second : nullptr;
}

bool PreferencesServiceBase::GetBool(const std::string& key) const {
    const CPreferenceValue* value = Find(key);
    return value != nullptr && value->GetBool();
}

std::string PreferencesServiceBase::GetString(const std::string& key) const {
    const CPreferenceValue* value = Find(key);
    return value != nullptr ? value->GetString() : std::string();
}

double PreferencesServiceBase::GetDouble(const std::string& key) const {
    const CPreferenceValue* value = Find(key);
    return value != nullptr ? value->GetDouble() : 0.0;
}

int PreferencesServiceBase::GetInt(const std::string& key) const {
    const CPreferenceValue* value = Find(key);
    return value != nullptr ? value->GetInt() : 0;
}

void PreferencesServiceBase::SetBool(const std::string& key, bool value) { mValues[key] = CPreferenceValue(value); }

void PreferencesServiceBase::SetString(const std::string& key, const std::string& value) {
    mValues[key] = CPreferenceValue(value);
}

void PreferencesServiceBase::SetDouble(const std::string& key, double value) { mValues[key] = CPreferenceValue(value); }

void PreferencesServiceBase::SetInt(const std::string& key, int value) { mValues[key] = CPreferenceValue(value); }

// ---------------------------------------------------------------------------
// PreferencesService

PreferencesService::~PreferencesService() { Synchronize(); }

bool PreferencesService::Synchronize() {
    if (!mChanged) return true;
    for (const std::string& key : mIntKeys) UCFPreferences::SetAppInt(key, GetInt(key));
    for (const std::string& key : mDoubleKeys) UCFPreferences::SetAppDouble(key, GetDouble(key));
    for (const std::string& key : mBoolKeys) UCFPreferences::SetAppBoolean(key, GetBool(key));
    // Texts stay UTF-8: nothing is dropped for lack of a narrower encoding.
    for (const std::string& key : mStringKeys) UCFPreferences::SetAppString(key, GetString(key));
    const bool written = UCFPreferences::AppSynchronize();
    if (written) mChanged = false;
    return written;
}

void PreferencesService::RecordKeyType(const std::string& key, KeyType type) {
    mIntKeys.erase(key);
    mDoubleKeys.erase(key);
    mBoolKeys.erase(key);
    mStringKeys.erase(key);
    switch (type) {
        case KeyType::Int: mIntKeys.insert(key); break;
        case KeyType::Double: mDoubleKeys.insert(key); break;
        case KeyType::Bool: mBoolKeys.insert(key); break;
        case KeyType::String: mStringKeys.insert(key); break;
    }
}

void PreferencesService::Set(const std::string& key, const CPreferenceValue& value, KeyType type) {
    const CPreferenceValue* held = Find(key);
    const auto heldType = mKeyTypes.find(key);
    if (held != nullptr && *held == value && heldType != mKeyTypes.end() && heldType->second == type) return;
    mValues[key] = value;
    mKeyTypes[key] = type;
    RecordKeyType(key, type);
    mChanged = true;
    Synchronize();
}

void PreferencesService::SetBool(const std::string& key, bool value) {
    Set(key, CPreferenceValue(value), KeyType::Bool);
}

void PreferencesService::SetString(const std::string& key, const std::string& value) {
    Set(key, CPreferenceValue(value), KeyType::String);
}

void PreferencesService::SetDouble(const std::string& key, double value) {
    Set(key, CPreferenceValue(value), KeyType::Double);
}

void PreferencesService::SetInt(const std::string& key, int value) { Set(key, CPreferenceValue(value), KeyType::Int); }

void PreferencesService::RegisterDefaultBool(const std::string& key, bool value) {
    bool valid = false;
    const bool stored = UCFPreferences::GetAppBooleanValue(key, &valid);
    mValues[key] = CPreferenceValue(valid ? stored : value);
    mKeyTypes[key] = KeyType::Bool;
}

void PreferencesService::RegisterDefaultInt(const std::string& key, int value) {
    bool valid = false;
    const int stored = UCFPreferences::GetAppIntegerValue(key, &valid);
    mValues[key] = CPreferenceValue(valid ? stored : value);
    mKeyTypes[key] = KeyType::Int;
}

bool PreferencesService::UsesMetricSystem() { return platform::Locale::current().usesMetricSystem(); }

// ---------------------------------------------------------------------------
// VKMPreferencesService

namespace {

// Measure unit types stored in "QLUnits".
constexpr int kUnitCentimeter = 2;
constexpr int kUnitInch = 4;

// The locale's currency when the price list knows it, else euros.
int DefaultCurrencyId() {
    const std::string code = platform::Locale::current().currencyCode().value_or("");
    for (int id = UPriceFormatting::kFirstCurrencyId; id <= UPriceFormatting::kLastCurrencyId; ++id) {
        if (UPriceFormatting::GetCurrencyCode(id) == code) return id;
    }
    return UPriceFormatting::kFirstCurrencyId;
}

}  // namespace

VKMPreferencesService::VKMPreferencesService() {
    RegisterDefaults();
    SetUnitsFromLocale();
}

void VKMPreferencesService::RegisterDefaults() {
    RegisterDefaultBool("QLAutoColorize", true);
    RegisterDefaultInt("QLWSDefaultZoom", 75);
    RegisterDefaultInt("QLWSDefaultTrackStyle", 105);
    RegisterDefaultInt("QLUnits", UsesMetricSystem() ? kUnitCentimeter : kUnitInch);
    RegisterDefaultInt("QLWSDefaultGridSpacing", 10);
    RegisterDefaultInt("QLLayoutPadding", 10);
    RegisterDefaultInt("QLLayoutBoundsMode", 1);
    RegisterDefaultInt("QLJointDistanceTolerancePercent", 25);
    RegisterDefaultInt("QLJointAngleTolerance", 30);
    RegisterDefaultInt("QLDefaultWSWidth", 3000);
    RegisterDefaultInt("QLDefaultWSHeight", 3000);
    RegisterDefaultInt("QLMaxConnectTrackItems", 5);
    RegisterDefaultInt("QLMinConnectTolerancePercent", 10);
    RegisterDefaultBool("QLConnectTrackUsePlain", true);
    RegisterDefaultInt("QLConnectTracksMaxSolutions", 10);
    RegisterDefaultInt("QLSnapAreaFactor", 100);
    RegisterDefaultInt("QLDefaultCurrency", DefaultCurrencyId());
}

void VKMPreferencesService::SetUnitsFromLocale() {
    SetInt("QLUnits", UsesMetricSystem() ? kUnitCentimeter : kUnitInch);
}

// ---------------------------------------------------------------------------
// UPreferences

namespace UPreferences {

namespace {

// The service found by the last lookup that found one.
std::atomic<PreferencesServiceBase*> gKeptService{nullptr};

}  // namespace

PreferencesServiceBase* GetPreferencesService() {
    // Remember only a service that was found: a lookup before start-up must
    // not leave every later call without one.
    if (PreferencesServiceBase* service = gKeptService.load(std::memory_order_acquire)) return service;
    PreferencesServiceBase* service =
        CServiceLocator::Instance().LocateServiceAs<PreferencesServiceBase>(PreferencesService::kServiceName);
    if (service != nullptr) gKeptService.store(service, std::memory_order_release);
    return service;
}

void ForgetServiceForTests() { gKeptService.store(nullptr, std::memory_order_release); }

bool GetBool(const std::string& key) {
    const PreferencesServiceBase* service = GetPreferencesService();
    return service != nullptr && service->GetBool(key);
}

int GetInt(const std::string& key) {
    const PreferencesServiceBase* service = GetPreferencesService();
    return service != nullptr ? service->GetInt(key) : 0;
}

double GetDouble(const std::string& key) {
    const PreferencesServiceBase* service = GetPreferencesService();
    return service != nullptr ? service->GetDouble(key) : 0.0;
}

std::string GetString(const std::string& key) {
    const PreferencesServiceBase* service = GetPreferencesService();
    return service != nullptr ? service->GetString(key) : std::string();
}

void SetBool(const std::string& key, bool value) {
    if (PreferencesServiceBase* service = GetPreferencesService()) service->SetBool(key, value);
}

void SetString(const std::string& key, const std::string& value) {
    if (PreferencesServiceBase* service = GetPreferencesService()) service->SetString(key, value);
}

void SetInt(const std::string& key, int value) {
    if (PreferencesServiceBase* service = GetPreferencesService()) service->SetInt(key, value);
}

void SetDouble(const std::string& key, double value) {
    if (PreferencesServiceBase* service = GetPreferencesService()) service->SetDouble(key, value);
}

}  // namespace UPreferences

namespace UMeasureUnits {

int GetUnitType() { return UPreferences::GetInt("QLUnits"); }

}  // namespace UMeasureUnits
