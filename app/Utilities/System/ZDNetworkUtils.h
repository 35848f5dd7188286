#pragma once
// Whether the network, or a host, can be reached now. Synchronous: a host
// name may be looked up first.

#include <memory>
#include <string>

namespace platform::net {
class Reachability;
}

class ZDNetworkUtils {
public:
    ZDNetworkUtils() = delete;  // class methods only

    // Reachability of the all-zero IPv4 address: some network is up.
    static bool isConnectedToNetwork();
    static bool isReachableURL(const std::string& hostName);
    // Reachable without a connection to be made first (an on-demand VPN is
    // not reachable yet). False without a reference, and when the flags
    // cannot be read (with a line on standard error).
    static bool checkReachability(std::shared_ptr<platform::net::Reachability> reachability);
};
