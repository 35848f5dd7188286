#pragma once
// The extensions of a unified-schema log: nine optional records that
// describe the app, device, system, network, client, user and location.

#include "telemetry/core/Model/UnifiedSchema/TLMAppExtension.h"
#include "telemetry/core/Model/UnifiedSchema/TLMDeviceExtension.h"
#include "telemetry/core/Model/UnifiedSchema/TLMLocExtension.h"
#include "telemetry/core/Model/UnifiedSchema/TLMMetadataExtension.h"
#include "telemetry/core/Model/UnifiedSchema/TLMNetExtension.h"
#include "telemetry/core/Model/UnifiedSchema/TLMOSExtension.h"
#include "telemetry/core/Model/UnifiedSchema/TLMProtocolExtension.h"
#include "telemetry/core/Model/UnifiedSchema/TLMSDKExtension.h"
#include "telemetry/core/Model/UnifiedSchema/TLMUserExtension.h"

#include <memory>

class TLMCSExtensions : public TLMSerializableObject {
public:
    TLMCSExtensions() = default;
    explicit TLMCSExtensions(const TLMKeyedUnarchiver& coder);

    const std::shared_ptr<TLMMetadataExtension>& metadataExt() const { return mMetadataExt; }
    void setMetadataExt(std::shared_ptr<TLMMetadataExtension> value) { mMetadataExt = std::move(value); }
    const std::shared_ptr<TLMProtocolExtension>& protocolExt() const { return mProtocolExt; }
    void setProtocolExt(std::shared_ptr<TLMProtocolExtension> value) { mProtocolExt = std::move(value); }
    const std::shared_ptr<TLMUserExtension>& userExt() const { return mUserExt; }
    void setUserExt(std::shared_ptr<TLMUserExtension> value) { mUserExt = std::move(value); }
    const std::shared_ptr<TLMDeviceExtension>& deviceExt() const { return mDeviceExt; }
    void setDeviceExt(std::shared_ptr<TLMDeviceExtension> value) { mDeviceExt = std::move(value); }
    const std::shared_ptr<TLMOSExtension>& osExt() const { return mOsExt; }
    void setOsExt(std::shared_ptr<TLMOSExtension> value) { mOsExt = std::move(value); }
    const std::shared_ptr<TLMAppExtension>& appExt() const { return mAppExt; }
    void setAppExt(std::shared_ptr<TLMAppExtension> value) { mAppExt = std::move(value); }
    const std::shared_ptr<TLMNetExtension>& netExt() const { return mNetExt; }
    void setNetExt(std::shared_ptr<TLMNetExtension> value) { mNetExt = std::move(value); }
    const std::shared_ptr<TLMSDKExtension>& sdkExt() const { return mSdkExt; }
    void setSdkExt(std::shared_ptr<TLMSDKExtension> value) { mSdkExt = std::move(value); }
    const std::shared_ptr<TLMLocExtension>& locExt() const { return mLocExt; }
    void setLocExt(std::shared_ptr<TLMLocExtension> value) { mLocExt = std::move(value); }

    // Each set extension that writes anything, under "metadata", "protocol",
    // "user", "device", "os", "app", "net", "sdk" and "loc" in that order;
    // possibly empty.
    TLMOrderedDictionary serializeToDictionary() const override;
    // False, with the field's name logged, at the first invalid extension.
    bool isValid() const;
    // Another extensions record whose extensions are pairwise both absent or
    // equal.
    bool isEqual(const TLMCoding& other) const override;
    // Each extension under its key.
    void encodeWithCoder(TLMKeyedArchiver& coder) const override;

private:
    // Calls `action` with each extension's slot (its key, the name validity
    // reports and its member), in declaration order.
    template <typename Action>
    static void forEachSlot(Action&& action);

    std::shared_ptr<TLMMetadataExtension> mMetadataExt;
    std::shared_ptr<TLMProtocolExtension> mProtocolExt;
    std::shared_ptr<TLMUserExtension> mUserExt;
    std::shared_ptr<TLMDeviceExtension> mDeviceExt;
    std::shared_ptr<TLMOSExtension> mOsExt;
    std::shared_ptr<TLMAppExtension> mAppExt;
    std::shared_ptr<TLMNetExtension> mNetExt;
    std::shared_ptr<TLMSDKExtension> mSdkExt;
    std::shared_ptr<TLMLocExtension> mLocExt;
};
