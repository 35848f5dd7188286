#pragma once
// The wrapper framework that embeds the telemetry client, if any; the base
// of the device record. Every field is optional (empty when absent).

#include "telemetry/core/Model/TLMSerializableObject.h"

#include <string>

class TLMWrapperSdk : public TLMSerializableObject {
public:
    TLMWrapperSdk() = default;
    TLMWrapperSdk(std::string wrapperSdkVersion, std::string wrapperSdkName, std::string wrapperRuntimeVersion,
                  std::string hotUpdateReleaseLabel, std::string hotUpdateDeploymentKey,
                  std::string hotUpdatePackageHash);
    explicit TLMWrapperSdk(const TLMKeyedUnarchiver& coder);

    const std::string& wrapperSdkVersion() const { return mWrapperSdkVersion; }
    void setWrapperSdkVersion(std::string value) { mWrapperSdkVersion = std::move(value); }
    const std::string& wrapperSdkName() const { return mWrapperSdkName; }
    void setWrapperSdkName(std::string value) { mWrapperSdkName = std::move(value); }
    const std::string& wrapperRuntimeVersion() const { return mWrapperRuntimeVersion; }
    void setWrapperRuntimeVersion(std::string value) { mWrapperRuntimeVersion = std::move(value); }
    const std::string& hotUpdateReleaseLabel() const { return mHotUpdateReleaseLabel; }
    void setHotUpdateReleaseLabel(std::string value) { mHotUpdateReleaseLabel = std::move(value); }
    const std::string& hotUpdateDeploymentKey() const { return mHotUpdateDeploymentKey; }
    void setHotUpdateDeploymentKey(std::string value) { mHotUpdateDeploymentKey = std::move(value); }
    const std::string& hotUpdatePackageHash() const { return mHotUpdatePackageHash; }
    void setHotUpdatePackageHash(std::string value) { mHotUpdatePackageHash = std::move(value); }

    // The present fields under their names, in the order above.
    TLMOrderedDictionary serializeToDictionary() const override;
    // Always true.
    virtual bool isValid() const { return true; }
    // Another wrapper record (or a subclass) with the same six fields.
    bool isEqual(const TLMCoding& other) const override;
    void encodeWithCoder(TLMKeyedArchiver& coder) const override;

    // The JSON text of serializeToDictionary.
    std::string description() const;

private:
    std::string mWrapperSdkVersion;
    std::string mWrapperSdkName;
    std::string mWrapperRuntimeVersion;
    std::string mHotUpdateReleaseLabel;
    std::string mHotUpdateDeploymentKey;
    std::string mHotUpdatePackageHash;
};
