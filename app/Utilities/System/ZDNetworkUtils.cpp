#include "app/Utilities/System/ZDNetworkUtils.h"

#include "platform/net/Reachability.h"

#include <netinet/in.h>

#include <cstdio>

bool ZDNetworkUtils::isConnectedToNetwork() {
    sockaddr_in zeroAddress{};
    zeroAddress.sin_family = AF_INET;
    return checkReachability(platform::net::Reachability::withAddress(reinterpret_cast<const sockaddr&>(zeroAddress)));
}

bool ZDNetworkUtils::isReachableURL(const std::string& hostName) {
    return checkReachability(platform::net::Reachability::withHostName(hostName));
}

bool ZDNetworkUtils::checkReachability(std::shared_ptr<platform::net::Reachability> reachability) {
    if (!reachability) return false;
    const auto flags = reachability->flags();
    reachability.reset();
    if (!flags) {
        std::fprintf(stderr, "Failed to retrieve network reachability flags (%s)\n", "checkReachability");
        return false;
    }
    return (*flags & platform::net::ReachabilityFlagReachable) != 0 &&
           (*flags & platform::net::ReachabilityFlagConnectionRequired) == 0;
}
