#pragma once
// The engine's typed preferences: kept in memory by the service registered
// as "PreferencesService" and written through to the application's
// persisted preferences. Engine code uses the UPreferences functions.

#include "engine/services/ServiceLocator.h"

#include <map>
#include <set>
#include <string>

// The value of one key: a number and a text. A bool is the text "True" or
// "False"; ints and doubles are the number; strings are the text.
class CPreferenceValue {
public:
    CPreferenceValue() = default;
    explicit CPreferenceValue(bool value);
    explicit CPreferenceValue(int value);
    explicit CPreferenceValue(double value);
    explicit CPreferenceValue(std::string value);
    // Without this a string literal would pick the bool constructor.
    explicit CPreferenceValue(const char* value);

    bool operator==(const CPreferenceValue& other) const { return mNumber == other.mNumber && mText == other.mText; }

    // The number truncated toward zero, saturated to the int range (NaN is 0).
    int GetInt() const;
    double GetDouble() const { return mNumber; }
    // True only for the text "True".
    bool GetBool() const { return mText == "True"; }
    const std::string& GetString() const { return mText; }

private:
    double mNumber = 0.0;
    std::string mText;
};

class PreferencesServiceBase : public CLocatableService {
public:
    // Writes every known key to the persisted preferences.
    virtual bool Synchronize() = 0;

    // Unknown keys read as false, "", 0.0 and 0; the persisted preferences
    // are never consulted here.
    virtual bool GetBool(const std::string& key) const;
    virtual std::string GetString(const std::string& key) const;
    virtual double GetDouble(const std::string& key) const;
    virtual int GetInt(const std::string& key) const;

    // Each replaces any earlier value of the key, whatever its type.
    virtual void SetBool(const std::string& key, bool value);
    virtual void SetString(const std::string& key, const std::string& value);
    virtual void SetDouble(const std::string& key, double value);
    virtual void SetInt(const std::string& key, int value);

protected:
    const CPreferenceValue* Find(const std::string& key) const;

    std::map<std::string, CPreferenceValue> mValues;
};

class PreferencesService : public PreferencesServiceBase {
public:
    static constexpr const char* kServiceName = "PreferencesService";

    PreferencesService() = default;
    // Writes what a failed synchronisation left unwritten.
    ~PreferencesService() override;

    std::string GetServiceName() const override { return kServiceName; }
    // Writes every key set so far and synchronises the persisted
    // preferences, once, when something changed since the last successful
    // synchronisation; else writes nothing and succeeds.
    bool Synchronize() override;

    // Each setter that changes the value or the type of a key stores it,
    // records the key under its type only and synchronises. Setting what a
    // key holds already writes nothing.
    void SetBool(const std::string& key, bool value) override;
    void SetString(const std::string& key, const std::string& value) override;
    void SetDouble(const std::string& key, double value) override;
    void SetInt(const std::string& key, int value) override;

    // A valid persisted value of the type beats `value`. The key then holds
    // it in memory; nothing is written, since the persisted preferences
    // hold it already or the default comes back at every start.
    void RegisterDefaultBool(const std::string& key, bool value);
    void RegisterDefaultInt(const std::string& key, int value);

    static bool UsesMetricSystem();

protected:
    enum class KeyType { Int, Double, Bool, String };
    // Stores the value of `type` and synchronises, unless the key holds that
    // value of that type already.
    void Set(const std::string& key, const CPreferenceValue& value, KeyType type);
    // Records `key` in the set of `type` and takes it out of the others, so
    // a later pass can never write an older value of another type over it.
    void RecordKeyType(const std::string& key, KeyType type);

    // The keys set so far, by type: what a synchronisation writes.
    std::set<std::string> mIntKeys;
    std::set<std::string> mDoubleKeys;
    std::set<std::string> mBoolKeys;
    std::set<std::string> mStringKeys;
    // The type of every key registered or set.
    std::map<std::string, KeyType> mKeyTypes;
    // Set since the last successful synchronisation.
    bool mChanged = false;
};

// The service the start-up registers: the app's defaults, then the measure
// unit of the current locale.
class VKMPreferencesService : public PreferencesService {
public:
    VKMPreferencesService();

    virtual void RegisterDefaults();
    // "QLUnits" follows the locale at every start: centimetres where the
    // metric system is used, inches otherwise.
    void SetUnitsFromLocale();
};

namespace UPreferences {

// The registered service, or null while none is registered. Only a found
// service is remembered, so a call before registration does no harm.
PreferencesServiceBase* GetPreferencesService();
// Forgets the kept service: the next call looks it up again. For tests that
// run one after another in a process.
void ForgetServiceForTests();

// Without a service the getters give false, 0, 0.0 and "" and the setters
// do nothing.
bool GetBool(const std::string& key);
int GetInt(const std::string& key);
double GetDouble(const std::string& key);
std::string GetString(const std::string& key);
void SetBool(const std::string& key, bool value);
void SetString(const std::string& key, const std::string& value);
void SetInt(const std::string& key, int value);
void SetDouble(const std::string& key, double value);

}  // namespace UPreferences

namespace UMeasureUnits {

// The user's measure unit type: the int preference "QLUnits".
int GetUnitType();

}  // namespace UMeasureUnits
