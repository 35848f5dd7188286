#pragma once
// What the telemetry tests of sending share: the machine's links as a test
// sets them, a channel delegate that records what it is told, and a rig of
// HTTP client, default ingestion and channel group on a virtual clock,
// sending to the ingestion test server.

#include "platform/dispatch/Clock.h"
#include "platform/net/Reachability.h"
#include "telemetry/Internals/Channel/TLMChannelGroupDefault.h"
#include "telemetry/Internals/Ingestion/TLMDefaultIngestion.h"
#include "telemetry/Internals/Model/TLMEventLog.h"
#include "telemetry/TLMTelemetry.h"
#include "telemetry/core/Channel/TLMChannelDelegate.h"
#include "telemetry/core/Util/TLMUtility.h"
#include "tests/telemetry/support/IngestionTestServer.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

// The machine's links as the test sets them: one set of flags for every
// target, and a change report the test fires from another thread.
class TestLinks final : public platform::net::ReachabilitySource {
public:
    void setFlags(std::optional<std::uint32_t> flags);
    std::optional<std::uint32_t> flagsFor(const platform::net::ReachabilityTarget&) override;
    bool startWatching(std::function<void()> changed) override;
    void stopWatching() override;
    void reportChange();

private:
    std::mutex mMutex;
    std::optional<std::uint32_t> mFlags;
    std::function<void()> mChanged;
};

// Installs TestLinks as the process's source (reachable) for its lifetime.
class ScopedTestLinks {
public:
    ScopedTestLinks();
    ~ScopedTestLinks();
    ScopedTestLinks(const ScopedTestLinks&) = delete;
    ScopedTestLinks& operator=(const ScopedTestLinks&) = delete;
    TestLinks& links() { return *mLinks; }

private:
    std::shared_ptr<TestLinks> mLinks = std::make_shared<TestLinks>();
};

// Everything a channel delegate is told, in order. Thread-safe.
class RecordingChannelDelegate final : public TLMChannelDelegate {
public:
    enum class Kind {
        Prepare,
        DidPrepare,
        DidStore,
        DidComplete,
        WillSend,
        DidSucceed,
        DidFail,
        DidSetEnabled,
        AddedUnit
    };
    struct Event {
        Kind kind;
        std::string groupId;
        std::shared_ptr<TLMAbstractLog> log;
        std::optional<platform::Error> error;
    };

    std::vector<Event> events(Kind kind) const;
    std::size_t count(Kind kind) const { return events(kind).size(); }
    // Names of the event logs of that kind of call, in order.
    std::vector<std::string> eventNames(Kind kind) const;

    // When set, every log whose event name is this is filtered out.
    void setFilteredName(std::string name);

    void channelPrepareLog(TLMChannelUnitDefault& channel, const std::shared_ptr<TLMAbstractLog>& log) override;
    void channelDidPrepareLog(TLMChannelUnitDefault& channel, const std::shared_ptr<TLMAbstractLog>& log,
                              const std::string& internalId, TLMFlags flags) override;
    bool channelUnitShouldFilterLog(TLMChannelUnitDefault& channelUnit,
                                    const std::shared_ptr<TLMAbstractLog>& log) override;
    void channelDidStoreLog(TLMChannelUnitDefault& channel, const std::shared_ptr<TLMAbstractLog>& log) override;
    void channelDidCompleteEnqueueingLog(TLMChannelUnitDefault& channel, const std::shared_ptr<TLMAbstractLog>& log,
                                         const std::string& internalId) override;
    void channelWillSendLog(TLMChannelUnitDefault& channel, const std::shared_ptr<TLMAbstractLog>& log) override;
    void channelDidSucceedSendingLog(TLMChannelUnitDefault& channel,
                                     const std::shared_ptr<TLMAbstractLog>& log) override;
    void channelDidFailSendingLog(TLMChannelUnitDefault& channel, const std::shared_ptr<TLMAbstractLog>& log,
                                  const platform::Error& error) override;
    void channelDidSetEnabled(TLMChannelUnitDefault& channel, bool isEnabled, bool deleteDataOnDisabled) override;
    void channelGroupDidAddChannelUnit(TLMChannelGroupDefault& channelGroup,
                                       const std::shared_ptr<TLMChannelUnitDefault>& channel) override;

private:
    void record(Kind kind, TLMChannelUnitDefault& channel, const std::shared_ptr<TLMAbstractLog>& log,
                std::optional<platform::Error> error = std::nullopt);

    mutable std::mutex mMutex;
    std::vector<Event> mEvents;
    std::string mFilteredName;
};

// The string typed properties of an event, by name; of a sent event's JSON
// ("typedProperties") too.
std::map<std::string, std::string> stringProperties(const TLMEventLog& event);
std::map<std::string, std::string> stringProperties(const platform::Value& eventJson);

// An event log with that name and a new event id.
std::shared_ptr<TLMEventLog> makeEvent(const std::string& name);
// The names of the event logs of a request body, in order.
std::vector<std::string> eventNames(const IngestionRequest& request);
// "<prefix>0", "<prefix>1", ...
std::vector<std::string> numberedNames(const std::string& prefix, std::size_t count);

// Waits in real time until `condition` holds; false on time-out.
bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout = std::chrono::seconds(20));

// Returns once `client`'s queue has done what is queued on it now (attempts
// and retries that fell due): a call cancelled at once completes there,
// after everything queued before it. Nothing reaches a server. False when
// that takes longer than 20 s.
bool drainHttpClient(TLMHttpClient& client);
// Returns once what is due has gone as far as the wire: the group's logs
// queue (flush timers, batches handed to the client), then its HTTP
// client's queue (attempts and retries started). A request that is not on
// the wire or at the server by then was not going to be sent.
bool drainSending(TLMChannelGroupDefault& group);
// The client's calls with an attempt on the wire.
std::size_t callsOnTheWire(const TLMHttpClient& client);

// The stored logs of a group, read on the logs queue after what is queued
// there before.
std::vector<std::shared_ptr<TLMAbstractLog>> storedLogs(TLMChannelGroupDefault& group, const std::string& groupId);

// An application in the state the test sets (0 active, 2 background).
class StateApplication final : public TLMApplicationInterface {
public:
    explicit StateApplication(long state) : state(state) {}
    long applicationState() override { return state; }
    bool canOpenURL(const std::string&) override { return false; }
    void openURL(const std::string&, std::function<void(bool)> completion) override { completion(false); }
    std::atomic<long> state;
};

// Lets the telemetry client go with its analytics service, device, session
// and user-id records, tickets, allowed archive classes, folder, logger
// settings and application, so that the next test finds them as a new
// process does. Before the app root is emptied: the client's group stores
// and sends nothing after it. Services of other modules (crashes) are reset
// before it.
void ForgetTelemetryClient();

// The whole client (TLMTelemetry) sends to the test server on a virtual
// clock, with the links up.
struct ClientRig {
    ClientRig() {
        server.start();
        TLMTelemetry::setLogUrl(server.baseUrl());
    }
    std::shared_ptr<platform::VirtualClock> clock = std::make_shared<platform::VirtualClock>();
    platform::ScopedClock scopedClock{clock};
    ScopedTestLinks links;
    IngestionTestServer server;
};

// A client, ingestion and group sending to the test server, on a virtual
// clock, with the links reachable. launch() makes them (again, as a new
// start of the app would, over the same log database); the delegate
// records the group's events.
class SendingRig {
public:
    static constexpr const char* kAppSecret = "7d3f0c21-9a4e-4b6b-8e15-2c90f4a6d7e3";

    SendingRig();
    ~SendingRig();

    void launch();
    // Lets every part of the running launch go, its queues drained.
    void end();
    std::shared_ptr<TLMChannelUnitDefault> addUnit(const std::string& groupId, std::uint64_t flushInterval = 6);
    // Enqueues events "<prefix>0" ... on the unit.
    void enqueueEvents(TLMChannelUnitDefault& unit, const std::string& prefix, std::size_t count);
    // Returns once the logs queue has done what is queued on it now.
    void drain();
    // Waits until the HTTP client holds `count` calls waiting for a retry.
    bool waitForRetryWaits(std::size_t count = 1);
    // Moves the virtual clock.
    void advance(platform::Clock::Duration duration) { clock->advance(duration); }

    std::shared_ptr<platform::VirtualClock> clock = std::make_shared<platform::VirtualClock>();
    ScopedTestLinks links;
    IngestionTestServer server;
    std::shared_ptr<TLMHttpClient> httpClient;
    std::shared_ptr<TLMDefaultIngestion> ingestion;
    std::shared_ptr<TLMChannelGroupDefault> group;
    std::shared_ptr<RecordingChannelDelegate> delegate;

private:
    platform::ScopedClock mScopedClock{clock};
    std::vector<std::shared_ptr<TLMChannelUnitDefault>> mUnits;
};

}  // namespace testsupport
