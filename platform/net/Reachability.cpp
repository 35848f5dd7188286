#include "platform/net/Reachability.h"

#include "platform/dispatch/RunLoop.h"
#include "platform/dispatch/ThreadStart.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <thread>
#include <vector>

namespace platform::net {

namespace {

constexpr std::uint32_t kLocalFlags =
    ReachabilityFlagReachable | ReachabilityFlagIsLocalAddress | ReachabilityFlagIsDirect;

bool isLoopback(const sockaddr_storage& address) {
    if (address.ss_family == AF_INET) {
        const auto& in = reinterpret_cast<const sockaddr_in&>(address);
        return (ntohl(in.sin_addr.s_addr) >> 24) == 127;
    }
    if (address.ss_family == AF_INET6) {
        const auto& in6 = reinterpret_cast<const sockaddr_in6&>(address);
        return IN6_IS_ADDR_LOOPBACK(&in6.sin6_addr) != 0;
    }
    return false;
}

bool sameHost(const sockaddr_storage& address, const sockaddr& other) {
    if (address.ss_family != other.sa_family) return false;
    if (address.ss_family == AF_INET) {
        return reinterpret_cast<const sockaddr_in&>(address).sin_addr.s_addr ==
               reinterpret_cast<const sockaddr_in&>(other).sin_addr.s_addr;
    }
    return std::memcmp(&reinterpret_cast<const sockaddr_in6&>(address).sin6_addr,
                       &reinterpret_cast<const sockaddr_in6&>(other).sin6_addr, sizeof(in6_addr)) == 0;
}

// Mobile broadband modems show up as "wwan0", "wwp0s20u4" (predictable
// names) or a PPP link.
bool isCellular(std::string_view name) { return name.starts_with("ww") || name.starts_with("ppp"); }

std::optional<std::uint32_t> flagsForAddress(const sockaddr_storage& address) {
    if (isLoopback(address)) return kLocalFlags;
    ifaddrs* interfaces = nullptr;
    if (getifaddrs(&interfaces) != 0) return std::nullopt;
    bool wired = false;
    bool cellular = false;
    bool own = false;
    for (const ifaddrs* entry = interfaces; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != address.ss_family) continue;
        const unsigned flags = entry->ifa_flags;
        if (!(flags & IFF_UP) || !(flags & IFF_RUNNING) || (flags & IFF_LOOPBACK)) continue;
        own = own || sameHost(address, *entry->ifa_addr);
        (isCellular(entry->ifa_name ? entry->ifa_name : "") ? cellular : wired) = true;
    }
    freeifaddrs(interfaces);
    if (own) return kLocalFlags;
    if (wired) return ReachabilityFlagReachable;
    if (cellular) return ReachabilityFlagReachable | ReachabilityFlagIsWWAN;
    return 0u;
}

std::optional<std::uint32_t> flagsForHost(const std::string& hostName) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    // A name that does not resolve is readable news: not reachable.
    if (getaddrinfo(hostName.c_str(), nullptr, &hints, &found) != 0 || !found) return 0u;
    sockaddr_storage first{};
    std::memcpy(&first, found->ai_addr, std::min<std::size_t>(found->ai_addrlen, sizeof first));
    freeaddrinfo(found);
    return flagsForAddress(first);
}

std::mutex gSourceMutex;
std::shared_ptr<ReachabilitySource> gSource;

}  // namespace

// ---------------------------------------------------------------------------
// Sources

ReachabilitySource::~ReachabilitySource() = default;

std::shared_ptr<ReachabilitySource> ReachabilitySource::shared() {
    std::lock_guard lock(gSourceMutex);
    if (!gSource) gSource = std::make_shared<SystemReachabilitySource>();
    return gSource;
}

// Watches the kernel's link and address changes on a thread of its own. A
// burst of messages (an interface coming up brings several) is reported as
// one change once the socket has been quiet for a moment. The thread holds
// the watcher too, so a stop from inside a change report (the last
// reference dropped there) can let the thread end on its own.
struct SystemReachabilitySource::Watcher {
    int netlink = -1;
    int stopEvent = -1;
    std::thread thread;

    ~Watcher() {
        if (netlink >= 0) close(netlink);
        if (stopEvent >= 0) close(stopEvent);
    }

    void stop() {
        const std::uint64_t one = 1;
        [[maybe_unused]] auto written = write(stopEvent, &one, sizeof one);
        if (thread.get_id() == std::this_thread::get_id()) {
            thread.detach();
        } else {
            thread.join();
        }
    }

    void run(const std::function<void()>& changed) {
        constexpr int kQuietMilliseconds = 100;
        std::vector<char> buffer(8192);
        bool pending = false;
        for (;;) {
            pollfd fds[2] = {{netlink, POLLIN, 0}, {stopEvent, POLLIN, 0}};
            const int ready = poll(fds, 2, pending ? kQuietMilliseconds : -1);
            if (ready < 0 && errno == EINTR) continue;
            if (ready < 0 || (fds[1].revents & POLLIN)) return;
            if (ready == 0) {
                pending = false;
                changed();
                continue;
            }
            if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) return;
            for (;;) {
                const auto got = recv(netlink, buffer.data(), buffer.size(), MSG_DONTWAIT);
                // Lost messages (ENOBUFS) still mean that something changed.
                if (got > 0 || (got < 0 && errno == ENOBUFS)) {
                    pending = true;
                    continue;
                }
                break;
            }
        }
    }
};

SystemReachabilitySource::SystemReachabilitySource() = default;
SystemReachabilitySource::~SystemReachabilitySource() { stopWatching(); }

std::optional<std::uint32_t> SystemReachabilitySource::flagsFor(const ReachabilityTarget& target) {
    return target.hostName.empty() ? flagsForAddress(target.address) : flagsForHost(target.hostName);
}

bool SystemReachabilitySource::startWatching(std::function<void()> changed) {
    std::lock_guard lock(mMutex);
    if (mWatcher) return true;
    auto watcher = std::make_shared<Watcher>();
    watcher->netlink = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    watcher->stopEvent = eventfd(0, EFD_CLOEXEC);
    if (watcher->netlink < 0 || watcher->stopEvent < 0) return false;
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    local.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV6_IFADDR | RTMGRP_IPV4_ROUTE;
    if (bind(watcher->netlink, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) return false;
    watcher->thread = startThread([watcher, changed = std::move(changed)] { watcher->run(changed); });
    mWatcher = std::move(watcher);
    return true;
}

void SystemReachabilitySource::stopWatching() {
    std::shared_ptr<Watcher> watcher;
    {
        std::lock_guard lock(mMutex);
        watcher = std::move(mWatcher);
    }
    // Stopped outside the lock: the thread may be reporting a change.
    if (watcher) watcher->stop();
}

// ---------------------------------------------------------------------------
// The references being watched, and the one watch on the source they share

class ReachabilityWatchList {
public:
    static ReachabilityWatchList& shared() {
        static ReachabilityWatchList* list = new ReachabilityWatchList();  // lives to the end
        return *list;
    }

    bool add(const std::shared_ptr<Reachability>& reference) {
        std::lock_guard lock(mMutex);
        if (mWatched.empty()) {
            mSource = ReachabilitySource::shared();
            if (!mSource->startWatching([this] { notifyAll(); })) {
                mSource.reset();
                return false;
            }
        }
        mWatched.push_back(reference);
        return true;
    }

    void remove(const Reachability* reference) {
        std::shared_ptr<ReachabilitySource> stopping;
        {
            std::lock_guard lock(mMutex);
            std::erase_if(mWatched, [&](const std::weak_ptr<Reachability>& entry) {
                auto locked = entry.lock();
                return !locked || locked.get() == reference;
            });
            if (mWatched.empty()) stopping = std::move(mSource);
        }
        if (stopping) stopping->stopWatching();
    }

private:
    void notifyAll() {
        std::vector<std::shared_ptr<Reachability>> snapshot;
        {
            std::lock_guard lock(mMutex);
            for (const auto& entry : mWatched) {
                if (auto reference = entry.lock()) snapshot.push_back(std::move(reference));
            }
        }
        for (const auto& reference : snapshot) reference->linksChanged();
    }

    std::mutex mMutex;
    std::vector<std::weak_ptr<Reachability>> mWatched;
    std::shared_ptr<ReachabilitySource> mSource;
};

void ReachabilitySource::setShared(std::shared_ptr<ReachabilitySource> source) {
    std::lock_guard lock(gSourceMutex);
    gSource = std::move(source);
}

// ---------------------------------------------------------------------------
// References

std::shared_ptr<Reachability> Reachability::withHostName(const std::string& hostName) {
    if (hostName.empty()) return nullptr;
    ReachabilityTarget target;
    target.hostName = hostName;
    return std::make_shared<Reachability>(Key{}, std::move(target));
}

std::shared_ptr<Reachability> Reachability::withAddress(const sockaddr& address) {
    ReachabilityTarget target;
    if (address.sa_family == AF_INET) {
        std::memcpy(&target.address, &address, sizeof(sockaddr_in));
    } else if (address.sa_family == AF_INET6) {
        std::memcpy(&target.address, &address, sizeof(sockaddr_in6));
    } else {
        return nullptr;
    }
    return std::make_shared<Reachability>(Key{}, std::move(target));
}

Reachability::Reachability(Key, ReachabilityTarget target) : mTarget(std::move(target)) {}

Reachability::~Reachability() {
    // Drops this (now expired) entry and ends the watch when it was the last.
    if (mLoop) ReachabilityWatchList::shared().remove(this);
}

std::optional<std::uint32_t> Reachability::flags() const { return ReachabilitySource::shared()->flagsFor(mTarget); }

bool Reachability::setCallback(Callback callback) {
    std::lock_guard lock(mMutex);
    mCallback = std::move(callback);
    return true;
}

bool Reachability::scheduleWithRunLoop(std::shared_ptr<RunLoop> loop) {
    if (!loop) return false;
    {
        std::lock_guard lock(mMutex);
        if (mLoop) return false;
        mLoop = std::move(loop);
        ++mGeneration;
    }
    // What the flags are now is the base a change is measured against.
    const auto now = flags();
    {
        std::lock_guard lock(mMutex);
        mLastFlags = now;
    }
    if (ReachabilityWatchList::shared().add(shared_from_this())) return true;
    std::lock_guard lock(mMutex);
    mLoop.reset();
    ++mGeneration;
    return false;
}

void Reachability::unscheduleFromRunLoop() {
    {
        std::lock_guard lock(mMutex);
        if (!mLoop) return;
        mLoop.reset();
        ++mGeneration;
    }
    ReachabilityWatchList::shared().remove(this);
}

void Reachability::linksChanged() {
    const auto now = flags();
    std::shared_ptr<RunLoop> loop;
    std::uint64_t generation = 0;
    {
        std::lock_guard lock(mMutex);
        if (!mLoop || !now || now == mLastFlags) return;
        mLastFlags = now;
        loop = mLoop;
        generation = mGeneration;
    }
    loop->post([weak = weak_from_this(), generation, flags = *now] {
        auto self = weak.lock();
        if (!self) return;
        Callback callback;
        {
            std::lock_guard lock(self->mMutex);
            if (self->mGeneration != generation) return;
            callback = self->mCallback;
        }
        if (callback) callback(*self, flags);
    });
}

}  // namespace platform::net
