#pragma once
// Network reachability: whether an address or a host can be reached with the
// links the machine has now, and a callback on a run loop when that changes.
//
// The facts come from a ReachabilitySource: the system's (interfaces from
// getifaddrs, host names through getaddrinfo, changes from a netlink socket)
// unless a test installs its own.

#include <sys/socket.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace platform {
class RunLoop;
}

namespace platform::net {

// Bit values as the callers test them.
enum ReachabilityFlags : std::uint32_t {
    ReachabilityFlagTransientConnection = 1u << 0,
    ReachabilityFlagReachable = 1u << 1,
    ReachabilityFlagConnectionRequired = 1u << 2,
    ReachabilityFlagConnectionOnTraffic = 1u << 3,
    ReachabilityFlagInterventionRequired = 1u << 4,
    ReachabilityFlagConnectionOnDemand = 1u << 5,
    ReachabilityFlagIsLocalAddress = 1u << 16,
    ReachabilityFlagIsDirect = 1u << 17,
    ReachabilityFlagIsWWAN = 1u << 18,
};

// What a reachability reference asks about.
struct ReachabilityTarget {
    // A host name, or empty for an address.
    std::string hostName;
    sockaddr_storage address{};
};

class ReachabilitySource {
public:
    virtual ~ReachabilitySource();
    // The flags of the target now; none when they cannot be read. May block
    // (a host name is looked up).
    virtual std::optional<std::uint32_t> flagsFor(const ReachabilityTarget& target) = 0;
    // Starts calling `changed` (from any thread) whenever the links may have
    // changed, until stopWatching(); false when changes cannot be watched.
    virtual bool startWatching(std::function<void()> changed) = 0;
    virtual void stopWatching() = 0;

    // The process's source: the system's unless a test set another.
    static std::shared_ptr<ReachabilitySource> shared();
    // Null puts the system's back.
    static void setShared(std::shared_ptr<ReachabilitySource> source);
};

// The machine's own links. An address is reachable when an interface that is
// up and running (not the loopback) has an address of its family; a loopback
// address is reachable, local and direct. Interfaces of a mobile broadband
// modem (names "wwan…", "ww…" and "ppp…") count as the cellular network. A
// host is reachable when it resolves and its first address is.
class SystemReachabilitySource final : public ReachabilitySource {
public:
    SystemReachabilitySource();
    ~SystemReachabilitySource() override;
    std::optional<std::uint32_t> flagsFor(const ReachabilityTarget& target) override;
    bool startWatching(std::function<void()> changed) override;
    void stopWatching() override;

private:
    struct Watcher;
    std::mutex mMutex;
    std::shared_ptr<Watcher> mWatcher;
};

// A reachability reference: one target, read on demand or watched.
class Reachability : public std::enable_shared_from_this<Reachability> {
    struct Key {};

public:
    using Callback = std::function<void(Reachability&, std::uint32_t flags)>;

    // None for an empty host name or an address of a family other than
    // IPv4 or IPv6.
    static std::shared_ptr<Reachability> withHostName(const std::string& hostName);
    static std::shared_ptr<Reachability> withAddress(const sockaddr& address);

    Reachability(Key, ReachabilityTarget target);
    ~Reachability();
    Reachability(const Reachability&) = delete;
    Reachability& operator=(const Reachability&) = delete;

    // The flags now; none when they cannot be read.
    std::optional<std::uint32_t> flags() const;

    // The block called on the scheduled run loop when the flags change; a null
    // callback clears it. True on success.
    bool setCallback(Callback callback);
    // Starts watching: each change of the flags (read when the links change)
    // reaches the callback once, on `loop`. False when nothing can be watched
    // or the reference is scheduled already.
    bool scheduleWithRunLoop(std::shared_ptr<RunLoop> loop);
    // Stops watching; a change already queued on the loop is dropped.
    void unscheduleFromRunLoop();

    const ReachabilityTarget& target() const { return mTarget; }

private:
    friend class ReachabilityWatchList;
    // On a change of the links: reads the flags and queues the callback when
    // they differ from the last ones read.
    void linksChanged();

    const ReachabilityTarget mTarget;
    mutable std::mutex mMutex;
    Callback mCallback;
    std::shared_ptr<RunLoop> mLoop;
    std::optional<std::uint32_t> mLastFlags;
    // Bumped on every (un)schedule so that queued deliveries of an earlier
    // schedule are dropped.
    std::uint64_t mGeneration = 0;
};

}  // namespace platform::net
