#include "telemetry/Model/TLMDevice.h"

#include "platform/foundation/TextEncoding.h"

// In the order of the record's JSON and archive.
const TLMDevice::Field TLMDevice::kFields[] = {
    {"sdkName", &TLMDevice::mSdkName, nullptr},
    {"sdkVersion", &TLMDevice::mSdkVersion, nullptr},
    {"model", &TLMDevice::mModel, nullptr},
    {"oemName", &TLMDevice::mOemName, nullptr},
    {"osName", &TLMDevice::mOsName, nullptr},
    {"osVersion", &TLMDevice::mOsVersion, nullptr},
    {"osBuild", &TLMDevice::mOsBuild, nullptr},
    {"osApiLevel", nullptr, &TLMDevice::mOsApiLevel},
    {"locale", &TLMDevice::mLocale, nullptr},
    {"timeZoneOffset", nullptr, &TLMDevice::mTimeZoneOffset},
    {"screenSize", &TLMDevice::mScreenSize, nullptr},
    {"appVersion", &TLMDevice::mAppVersion, nullptr},
    {"carrierName", &TLMDevice::mCarrierName, nullptr},
    {"carrierCountry", &TLMDevice::mCarrierCountry, nullptr},
    {"appBuild", &TLMDevice::mAppBuild, nullptr},
    {"appNamespace", &TLMDevice::mAppNamespace, nullptr},
};

TLMDevice::TLMDevice(const TLMKeyedUnarchiver& coder) : TLMWrapperSdk(coder) {
    for (const Field& field : kFields) {
        if (field.text) {
            this->*field.text = coder.decodeString(field.key);
        } else {
            this->*field.number = coder.decodeInteger(field.key);
        }
    }
    makeTextsValidUtf8();
}

TLMOrderedDictionary TLMDevice::serializeToDictionary() const {
    TLMOrderedDictionary dictionary = TLMWrapperSdk::serializeToDictionary();
    for (const Field& field : kFields) {
        if (field.text) {
            setText(dictionary, this->*field.text, field.key);
        } else if (const auto& number = this->*field.number) {
            dictionary.setObject(*number, field.key);
        }
    }
    return dictionary;
}

bool TLMDevice::isValid() const {
    if (!TLMWrapperSdk::isValid()) return false;
    if (mSdkName.empty()) return reportInvalidField("sdkName");
    if (mSdkVersion.empty()) return reportInvalidField("sdkVersion");
    if (mOsName.empty()) return reportInvalidField("osName");
    if (mOsVersion.empty()) return reportInvalidField("osVersion");
    if (mLocale.empty()) return reportInvalidField("locale");
    if (!mTimeZoneOffset) return reportInvalidField("timeZoneOffset");
    if (mAppVersion.empty()) return reportInvalidField("appVersion");
    if (mAppBuild.empty()) return reportInvalidField("appBuild");
    return true;
}

bool TLMDevice::isEqual(const TLMCoding& other) const {
    const auto* device = dynamic_cast<const TLMDevice*>(&other);
    if (device == nullptr || !TLMWrapperSdk::isEqual(other)) return false;
    for (const Field& field : kFields) {
        const bool same =
            field.text ? this->*field.text == device->*field.text : this->*field.number == device->*field.number;
        if (!same) return false;
    }
    return true;
}

void TLMDevice::encodeWithCoder(TLMKeyedArchiver& coder) const {
    TLMWrapperSdk::encodeWithCoder(coder);
    for (const Field& field : kFields) {
        if (field.text) {
            coder.encodeString(this->*field.text, field.key);
        } else if (const auto& number = this->*field.number) {
            coder.encodeInteger(*number, field.key);
        }
    }
}

void TLMDevice::makeTextsValidUtf8() {
    setWrapperSdkVersion(platform::validUtf8(wrapperSdkVersion()));
    setWrapperSdkName(platform::validUtf8(wrapperSdkName()));
    setWrapperRuntimeVersion(platform::validUtf8(wrapperRuntimeVersion()));
    setHotUpdateReleaseLabel(platform::validUtf8(hotUpdateReleaseLabel()));
    setHotUpdateDeploymentKey(platform::validUtf8(hotUpdateDeploymentKey()));
    setHotUpdatePackageHash(platform::validUtf8(hotUpdatePackageHash()));
    for (const Field& field : kFields) {
        if (field.text) this->*field.text = platform::validUtf8(this->*field.text);
    }
}
