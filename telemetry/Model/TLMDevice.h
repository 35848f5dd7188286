#pragma once
// The device, operating system, application and telemetry client that made
// a log. Every field is optional: texts are empty and numbers none when
// absent.

#include "telemetry/Model/TLMWrapperSdk.h"

#include <cstdint>
#include <optional>
#include <string>

class TLMDevice : public TLMWrapperSdk {
public:
    TLMDevice() = default;
    // Texts that are not valid UTF-8 are read back mended (see
    // makeTextsValidUtf8).
    explicit TLMDevice(const TLMKeyedUnarchiver& coder);

    const std::string& sdkName() const { return mSdkName; }
    void setSdkName(std::string value) { mSdkName = std::move(value); }
    const std::string& sdkVersion() const { return mSdkVersion; }
    void setSdkVersion(std::string value) { mSdkVersion = std::move(value); }
    const std::string& model() const { return mModel; }
    void setModel(std::string value) { mModel = std::move(value); }
    const std::string& oemName() const { return mOemName; }
    void setOemName(std::string value) { mOemName = std::move(value); }
    const std::string& osName() const { return mOsName; }
    void setOsName(std::string value) { mOsName = std::move(value); }
    const std::string& osVersion() const { return mOsVersion; }
    void setOsVersion(std::string value) { mOsVersion = std::move(value); }
    const std::string& osBuild() const { return mOsBuild; }
    void setOsBuild(std::string value) { mOsBuild = std::move(value); }
    const std::optional<std::int64_t>& osApiLevel() const { return mOsApiLevel; }
    void setOsApiLevel(std::optional<std::int64_t> value) { mOsApiLevel = value; }
    // Language, "-" and script when there is one, "_" and country when
    // there is one: "de_DE", "sr-Latn_RS".
    const std::string& locale() const { return mLocale; }
    void setLocale(std::string value) { mLocale = std::move(value); }
    // Whole minutes east of UTC.
    const std::optional<std::int64_t>& timeZoneOffset() const { return mTimeZoneOffset; }
    void setTimeZoneOffset(std::optional<std::int64_t> value) { mTimeZoneOffset = value; }
    // "<width>x<height>" in pixels.
    const std::string& screenSize() const { return mScreenSize; }
    void setScreenSize(std::string value) { mScreenSize = std::move(value); }
    const std::string& appVersion() const { return mAppVersion; }
    void setAppVersion(std::string value) { mAppVersion = std::move(value); }
    const std::string& carrierName() const { return mCarrierName; }
    void setCarrierName(std::string value) { mCarrierName = std::move(value); }
    const std::string& carrierCountry() const { return mCarrierCountry; }
    void setCarrierCountry(std::string value) { mCarrierCountry = std::move(value); }
    const std::string& appBuild() const { return mAppBuild; }
    void setAppBuild(std::string value) { mAppBuild = std::move(value); }
    const std::string& appNamespace() const { return mAppNamespace; }
    void setAppNamespace(std::string value) { mAppNamespace = std::move(value); }

    // The wrapper's keys, then the present device fields in the order
    // above; numbers as JSON numbers.
    TLMOrderedDictionary serializeToDictionary() const override;
    // The wrapper's validity, then sdkName, sdkVersion, osName, osVersion,
    // locale, timeZoneOffset, appVersion and appBuild must be present; the
    // first missing one is logged.
    bool isValid() const override;
    // Another device record (or a subclass) equal in the wrapper's and all
    // sixteen device fields.
    bool isEqual(const TLMCoding& other) const override;
    void encodeWithCoder(TLMKeyedArchiver& coder) const override;

private:
    // Makes every text valid UTF-8, the wrapper's too: a byte that begins no
    // well-formed sequence becomes U+FFFD. Older builds kept the host's
    // texts as they came (a Latin-1 locale or os-release) in the device
    // history and in stored logs; a log carrying them could not be written
    // as JSON. So every record read back is made valid.
    void makeTextsValidUtf8();

    // One field of the record: a text or a number, under its key.
    struct Field {
        const char* key;
        std::string TLMDevice::*text;
        std::optional<std::int64_t> TLMDevice::*number;
    };
    static const Field kFields[];

    std::string mSdkName;
    std::string mSdkVersion;
    std::string mModel;
    std::string mOemName;
    std::string mOsName;
    std::string mOsVersion;
    std::string mOsBuild;
    std::optional<std::int64_t> mOsApiLevel;
    std::string mLocale;
    std::optional<std::int64_t> mTimeZoneOffset;
    std::string mScreenSize;
    std::string mAppVersion;
    std::string mCarrierName;
    std::string mCarrierCountry;
    std::string mAppBuild;
    std::string mAppNamespace;
};
