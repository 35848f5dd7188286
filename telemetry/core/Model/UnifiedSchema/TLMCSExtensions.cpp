#include "telemetry/core/Model/UnifiedSchema/TLMCSExtensions.h"

#include <tuple>

namespace {

template <typename Extension>
struct Slot {
    using Type = Extension;
    const char* key;
    const char* fieldName;
    std::shared_ptr<Extension> TLMCSExtensions::*member;
};

}  // namespace

template <typename Action>
void TLMCSExtensions::forEachSlot(Action&& action) {
    static const auto slots =
        std::make_tuple(Slot<TLMMetadataExtension>{"metadata", "metadataExt", &TLMCSExtensions::mMetadataExt},
                        Slot<TLMProtocolExtension>{"protocol", "protocolExt", &TLMCSExtensions::mProtocolExt},
                        Slot<TLMUserExtension>{"user", "userExt", &TLMCSExtensions::mUserExt},
                        Slot<TLMDeviceExtension>{"device", "deviceExt", &TLMCSExtensions::mDeviceExt},
                        Slot<TLMOSExtension>{"os", "osExt", &TLMCSExtensions::mOsExt},
                        Slot<TLMAppExtension>{"app", "appExt", &TLMCSExtensions::mAppExt},
                        Slot<TLMNetExtension>{"net", "netExt", &TLMCSExtensions::mNetExt},
                        Slot<TLMSDKExtension>{"sdk", "sdkExt", &TLMCSExtensions::mSdkExt},
                        Slot<TLMLocExtension>{"loc", "locExt", &TLMCSExtensions::mLocExt});
    std::apply([&action](const auto&... slot) { (action(slot), ...); }, slots);
}

TLMCSExtensions::TLMCSExtensions(const TLMKeyedUnarchiver& coder) {
    forEachSlot([&](const auto& slot) {
        using Extension = typename std::decay_t<decltype(slot)>::Type;
        this->*slot.member = coder.decodeObjectOfClass<Extension>(slot.key);
    });
}

TLMOrderedDictionary TLMCSExtensions::serializeToDictionary() const {
    TLMOrderedDictionary dictionary;
    forEachSlot([&](const auto& slot) {
        const auto& extension = this->*slot.member;
        if (!extension) return;
        TLMOrderedDictionary fields = extension->serializeToDictionary();
        if (fields.count() != 0) dictionary.setObject(std::move(fields), slot.key);
    });
    return dictionary;
}

bool TLMCSExtensions::isValid() const {
    bool valid = true;
    forEachSlot([&](const auto& slot) {
        const auto& extension = this->*slot.member;
        if (valid && extension && !extension->isValid()) valid = reportInvalidField(slot.fieldName);
    });
    return valid;
}

bool TLMCSExtensions::isEqual(const TLMCoding& other) const {
    const auto* extensions = dynamic_cast<const TLMCSExtensions*>(&other);
    if (extensions == nullptr) return false;
    bool equal = true;
    forEachSlot([&](const auto& slot) {
        const auto& mine = this->*slot.member;
        const auto& theirs = extensions->*slot.member;
        equal = equal && (mine && theirs ? mine->isEqual(*theirs) : mine == theirs);
    });
    return equal;
}

void TLMCSExtensions::encodeWithCoder(TLMKeyedArchiver& coder) const {
    forEachSlot([&](const auto& slot) { coder.encodeObject(this->*slot.member, slot.key); });
}
