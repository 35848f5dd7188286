#include "telemetry/Internals/Util/TLM_Reachability.h"

#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/NotificationCenter.h"
#include "telemetry/core/Util/TLMDispatcherUtil.h"

#include <netinet/in.h>

const char* const kTLNetworkReachabilityChangedNotification = "kTLNetworkReachabilityChangedNotification";

using namespace platform::net;

std::shared_ptr<TLM_Reachability> TLM_Reachability::reachabilityWithHostName(const std::string& hostName) {
    auto reference = Reachability::withHostName(hostName);
    if (!reference) return nullptr;
    return std::make_shared<TLM_Reachability>(Key{}, std::move(reference));
}

std::shared_ptr<TLM_Reachability> TLM_Reachability::reachabilityWithAddress(const sockaddr& address) {
    auto reference = Reachability::withAddress(address);
    if (!reference) return nullptr;
    return std::make_shared<TLM_Reachability>(Key{}, std::move(reference));
}

std::shared_ptr<TLM_Reachability> TLM_Reachability::reachabilityForInternetConnection() {
    sockaddr_in zeroAddress{};
    zeroAddress.sin_family = AF_INET;
    return reachabilityWithAddress(reinterpret_cast<const sockaddr&>(zeroAddress));
}

TLM_Reachability::TLM_Reachability(Key, std::shared_ptr<Reachability> reachabilityRef)
    : mReachabilityRef(std::move(reachabilityRef)) {}

TLM_Reachability::~TLM_Reachability() {
    if (!mReachabilityRef) return;
    TLMDispatcherUtil::performBlockOnMainThread(
        [reference = std::move(mReachabilityRef)] { reference->unscheduleFromRunLoop(); });
}

void TLM_Reachability::startNotifier() {
    TLMDispatcherUtil::performBlockOnMainThread([weakSelf = weak_from_this()] {
        const auto self = weakSelf.lock();
        if (!self) return;
        // The callback holds this object weakly: one that is gone posts
        // nothing.
        const bool callbackSet = self->mReachabilityRef->setCallback([weakSelf](Reachability&, std::uint32_t) {
            if (const auto changed = weakSelf.lock()) changed->postChanged();
        });
        if (callbackSet && self->mReachabilityRef->scheduleWithRunLoop(platform::RunLoop::current())) {
            self->postChanged();
        }
    });
}

void TLM_Reachability::stopNotifier() {
    TLMDispatcherUtil::performBlockOnMainThread([reference = mReachabilityRef] { reference->unscheduleFromRunLoop(); });
}

TLMNetworkStatus TLM_Reachability::currentReachabilityStatus() const {
    const auto flags = mReachabilityRef->flags();
    return flags ? networkStatusForFlags(*flags) : NotReachable;
}

bool TLM_Reachability::connectionRequired() const {
    const auto flags = mReachabilityRef->flags();
    return flags && (*flags & ReachabilityFlagConnectionRequired) != 0;
}

TLMNetworkStatus TLM_Reachability::networkStatusForFlags(std::uint32_t flags) {
    if ((flags & ReachabilityFlagReachable) == 0) return NotReachable;
    if ((flags & ReachabilityFlagIsWWAN) != 0) return ReachableViaWWAN;
    const bool connectsByItself =
        (flags & (ReachabilityFlagConnectionOnTraffic | ReachabilityFlagConnectionOnDemand)) != 0;
    if (connectsByItself && (flags & ReachabilityFlagInterventionRequired) == 0) return ReachableViaWiFi;
    return (flags & ReachabilityFlagConnectionRequired) == 0 ? ReachableViaWiFi : NotReachable;
}

void TLM_Reachability::postChanged() const {
    platform::NotificationCenter::defaultCenter().postNotificationName(kTLNetworkReachabilityChangedNotification, this);
}
