#pragma once
// Whether the network can be reached, and through which kind of link, over
// the platform's reachability; a notification on every change, which the
// HTTP client pauses and resumes on.

#include "platform/net/Reachability.h"

#include <sys/socket.h>

#include <cstdint>
#include <memory>
#include <string>

// Posted on the main thread with the TLM_Reachability as its object.
extern const char* const kTLNetworkReachabilityChangedNotification;

enum TLMNetworkStatus : int {
    NotReachable = 0,
    ReachableViaWiFi = 1,  // any link but the cellular network
    ReachableViaWWAN = 2,
};

class TLM_Reachability : public std::enable_shared_from_this<TLM_Reachability> {
    struct Key {};

public:
    // None when the platform makes no reference (an empty host name, an
    // address that is neither IPv4 nor IPv6).
    static std::shared_ptr<TLM_Reachability> reachabilityWithHostName(const std::string& hostName);
    static std::shared_ptr<TLM_Reachability> reachabilityWithAddress(const sockaddr& address);
    // The IPv4 zero address: any route out at all.
    static std::shared_ptr<TLM_Reachability> reachabilityForInternetConnection();

    TLM_Reachability(Key, std::shared_ptr<platform::net::Reachability> reachabilityRef);
    // Unschedules and releases the reference on the main thread.
    ~TLM_Reachability();
    TLM_Reachability(const TLM_Reachability&) = delete;
    TLM_Reachability& operator=(const TLM_Reachability&) = delete;

    // On the main thread (at once when called there): watches for changes,
    // scheduled on the main run loop, and once that works posts the
    // notification at once; each later change posts it again.
    void startNotifier();
    // On the main thread: stops watching.
    void stopNotifier();

    // NotReachable when the flags cannot be read.
    TLMNetworkStatus currentReachabilityStatus() const;
    // True when the flags can be read and a connection must be made first.
    bool connectionRequired() const;
    // Not reachable without the reachable flag; the cellular network with
    // its flag; otherwise reachable when a connection is made on traffic or
    // on demand without the user stepping in, or none is required.
    static TLMNetworkStatus networkStatusForFlags(std::uint32_t flags);

    const std::shared_ptr<platform::net::Reachability>& reachabilityRef() const { return mReachabilityRef; }

private:
    void postChanged() const;

    std::shared_ptr<platform::net::Reachability> mReachabilityRef;
};
