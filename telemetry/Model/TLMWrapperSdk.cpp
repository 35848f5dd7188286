#include "telemetry/Model/TLMWrapperSdk.h"

TLMWrapperSdk::TLMWrapperSdk(std::string wrapperSdkVersion, std::string wrapperSdkName,
                             std::string wrapperRuntimeVersion, std::string hotUpdateReleaseLabel,
                             std::string hotUpdateDeploymentKey, std::string hotUpdatePackageHash)
    : mWrapperSdkVersion(std::move(wrapperSdkVersion)),
      mWrapperSdkName(std::move(wrapperSdkName)),
      mWrapperRuntimeVersion(std::move(wrapperRuntimeVersion)),
      mHotUpdateReleaseLabel(std::move(hotUpdateReleaseLabel)),
      mHotUpdateDeploymentKey(std::move(hotUpdateDeploymentKey)),
      mHotUpdatePackageHash(std::move(hotUpdatePackageHash)) {}

TLMWrapperSdk::TLMWrapperSdk(const TLMKeyedUnarchiver& coder)
    : mWrapperSdkVersion(coder.decodeString("wrapperSdkVersion")),
      mWrapperSdkName(coder.decodeString("wrapperSdkName")),
      mWrapperRuntimeVersion(coder.decodeString("wrapperRuntimeVersion")),
      mHotUpdateReleaseLabel(coder.decodeString("hotUpdateReleaseLabel")),
      mHotUpdateDeploymentKey(coder.decodeString("hotUpdateDeploymentKey")),
      mHotUpdatePackageHash(coder.decodeString("hotUpdatePackageHash")) {}

TLMOrderedDictionary TLMWrapperSdk::serializeToDictionary() const {
    TLMOrderedDictionary dictionary;
    setText(dictionary, mWrapperSdkVersion, "wrapperSdkVersion");
    setText(dictionary, mWrapperSdkName, "wrapperSdkName");
    setText(dictionary, mWrapperRuntimeVersion, "wrapperRuntimeVersion");
    setText(dictionary, mHotUpdateReleaseLabel, "hotUpdateReleaseLabel");
    setText(dictionary, mHotUpdateDeploymentKey, "hotUpdateDeploymentKey");
    setText(dictionary, mHotUpdatePackageHash, "hotUpdatePackageHash");
    return dictionary;
}

bool TLMWrapperSdk::isEqual(const TLMCoding& other) const {
    const auto* wrapper = dynamic_cast<const TLMWrapperSdk*>(&other);
    return wrapper != nullptr && mWrapperSdkVersion == wrapper->mWrapperSdkVersion &&
           mWrapperSdkName == wrapper->mWrapperSdkName && mWrapperRuntimeVersion == wrapper->mWrapperRuntimeVersion &&
           mHotUpdateReleaseLabel == wrapper->mHotUpdateReleaseLabel &&
           mHotUpdateDeploymentKey == wrapper->mHotUpdateDeploymentKey &&
           mHotUpdatePackageHash == wrapper->mHotUpdatePackageHash;
}

void TLMWrapperSdk::encodeWithCoder(TLMKeyedArchiver& coder) const {
    coder.encodeString(mWrapperSdkVersion, "wrapperSdkVersion");
    coder.encodeString(mWrapperSdkName, "wrapperSdkName");
    coder.encodeString(mWrapperRuntimeVersion, "wrapperRuntimeVersion");
    coder.encodeString(mHotUpdateReleaseLabel, "hotUpdateReleaseLabel");
    coder.encodeString(mHotUpdateDeploymentKey, "hotUpdateDeploymentKey");
    coder.encodeString(mHotUpdatePackageHash, "hotUpdatePackageHash");
}

std::string TLMWrapperSdk::description() const { return serializeToDictionary().jsonText(false).value_or(""); }
