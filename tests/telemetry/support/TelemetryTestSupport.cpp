#include "tests/telemetry/support/TelemetryTestSupport.h"

#include "telemetry/Internals/Channel/TLMChannelUnitDefault.h"
#include "telemetry/Internals/Channel/TLMSenderLock.h"
#include "telemetry/Internals/Storage/TLMLogDBStorage.h"
#include "telemetry/Internals/Util/TLMAnalyticsArchiverUtil.h"
#include "telemetry/Internals/Util/TLMArchiverUtil.h"
#include "telemetry/Internals/Util/TLMTicketCache.h"
#include "telemetry/Internals/Util/TLM_Reachability.h"
#include "telemetry/TLMAnalytics.h"
#include "telemetry/TLMLogger.h"
#include "telemetry/core/Context/TLMDeviceTracker.h"
#include "telemetry/core/Context/TLMSessionContext.h"
#include "telemetry/core/Context/TLMUserIdContext.h"
#include "telemetry/core/Util/TLMUuid.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <future>
#include <stdexcept>
#include <thread>

namespace testsupport {

using platform::net::ReachabilitySource;

// ---- TestLinks

void TestLinks::setFlags(std::optional<std::uint32_t> flags) {
    std::lock_guard lock(mMutex);
    mFlags = flags;
}

std::optional<std::uint32_t> TestLinks::flagsFor(const platform::net::ReachabilityTarget&) {
    std::lock_guard lock(mMutex);
    return mFlags;
}

bool TestLinks::startWatching(std::function<void()> changed) {
    std::lock_guard lock(mMutex);
    mChanged = std::move(changed);
    return true;
}

void TestLinks::stopWatching() {
    std::lock_guard lock(mMutex);
    mChanged = nullptr;
}

void TestLinks::reportChange() {
    std::function<void()> changed;
    {
        std::lock_guard lock(mMutex);
        changed = mChanged;
    }
    if (changed) std::thread(changed).join();
}

ScopedTestLinks::ScopedTestLinks() {
    mLinks->setFlags(platform::net::ReachabilityFlagReachable);
    ReachabilitySource::setShared(mLinks);
}

ScopedTestLinks::~ScopedTestLinks() { ReachabilitySource::setShared(nullptr); }

// ---- RecordingChannelDelegate

void RecordingChannelDelegate::record(Kind kind, TLMChannelUnitDefault& channel,
                                      const std::shared_ptr<TLMAbstractLog>& log,
                                      std::optional<platform::Error> error) {
    std::lock_guard lock(mMutex);
    mEvents.push_back({kind, channel.configuration().groupId(), log, std::move(error)});
}

std::vector<RecordingChannelDelegate::Event> RecordingChannelDelegate::events(Kind kind) const {
    std::lock_guard lock(mMutex);
    std::vector<Event> matching;
    for (const Event& event : mEvents) {
        if (event.kind == kind) matching.push_back(event);
    }
    return matching;
}

std::vector<std::string> RecordingChannelDelegate::eventNames(Kind kind) const {
    std::vector<std::string> names;
    for (const Event& event : events(kind)) {
        if (const auto* log = dynamic_cast<const TLMEventLog*>(event.log.get())) names.push_back(log->name());
    }
    return names;
}

void RecordingChannelDelegate::setFilteredName(std::string name) {
    std::lock_guard lock(mMutex);
    mFilteredName = std::move(name);
}

void RecordingChannelDelegate::channelPrepareLog(TLMChannelUnitDefault& channel,
                                                 const std::shared_ptr<TLMAbstractLog>& log) {
    record(Kind::Prepare, channel, log);
}

void RecordingChannelDelegate::channelDidPrepareLog(TLMChannelUnitDefault& channel,
                                                    const std::shared_ptr<TLMAbstractLog>& log, const std::string&,
                                                    TLMFlags) {
    record(Kind::DidPrepare, channel, log);
}

bool RecordingChannelDelegate::channelUnitShouldFilterLog(TLMChannelUnitDefault&,
                                                          const std::shared_ptr<TLMAbstractLog>& log) {
    const auto* event = dynamic_cast<const TLMEventLog*>(log.get());
    std::lock_guard lock(mMutex);
    return event != nullptr && !mFilteredName.empty() && event->name() == mFilteredName;
}

void RecordingChannelDelegate::channelDidStoreLog(TLMChannelUnitDefault& channel,
                                                  const std::shared_ptr<TLMAbstractLog>& log) {
    record(Kind::DidStore, channel, log);
}

void RecordingChannelDelegate::channelDidCompleteEnqueueingLog(TLMChannelUnitDefault& channel,
                                                               const std::shared_ptr<TLMAbstractLog>& log,
                                                               const std::string&) {
    record(Kind::DidComplete, channel, log);
}

void RecordingChannelDelegate::channelWillSendLog(TLMChannelUnitDefault& channel,
                                                  const std::shared_ptr<TLMAbstractLog>& log) {
    record(Kind::WillSend, channel, log);
}

void RecordingChannelDelegate::channelDidSucceedSendingLog(TLMChannelUnitDefault& channel,
                                                           const std::shared_ptr<TLMAbstractLog>& log) {
    record(Kind::DidSucceed, channel, log);
}

void RecordingChannelDelegate::channelDidFailSendingLog(TLMChannelUnitDefault& channel,
                                                        const std::shared_ptr<TLMAbstractLog>& log,
                                                        const platform::Error& error) {
    record(Kind::DidFail, channel, log, error);
}

void RecordingChannelDelegate::channelDidSetEnabled(TLMChannelUnitDefault& channel, bool, bool) {
    record(Kind::DidSetEnabled, channel, nullptr);
}

void RecordingChannelDelegate::channelGroupDidAddChannelUnit(TLMChannelGroupDefault&,
                                                             const std::shared_ptr<TLMChannelUnitDefault>& channel) {
    record(Kind::AddedUnit, *channel, nullptr);
}

// ---- Helpers

std::map<std::string, std::string> stringProperties(const TLMEventLog& event) {
    std::map<std::string, std::string> strings;
    if (!event.typedProperties()) return strings;
    for (const auto& [name, property] : event.typedProperties()->properties()) {
        const auto* text = dynamic_cast<const TLMStringTypedProperty*>(property.get());
        if (text != nullptr && text->value()) strings.emplace(name, *text->value());
    }
    return strings;
}

std::map<std::string, std::string> stringProperties(const platform::Value& eventJson) {
    std::map<std::string, std::string> strings;
    const auto* fields = eventJson.asDictionary();
    if (fields == nullptr || fields->count("typedProperties") == 0) return strings;
    const auto* array = fields->at("typedProperties").asArray();
    if (array == nullptr) return strings;
    for (const platform::Value& entry : *array) {
        const auto& property = *entry.asDictionary();
        if (*property.at("type").asString() == "string") {
            strings.emplace(*property.at("name").asString(), *property.at("value").asString());
        }
    }
    return strings;
}

std::shared_ptr<TLMEventLog> makeEvent(const std::string& name) {
    auto event = std::make_shared<TLMEventLog>();
    event->setName(name);
    event->setEventId(TLMNewUuidString());
    return event;
}

std::vector<std::string> eventNames(const IngestionRequest& request) {
    std::vector<std::string> names;
    for (const platform::Value& log : request.logs) {
        const auto* fields = log.asDictionary();
        if (fields == nullptr) continue;
        const auto name = fields->find("name");
        if (name != fields->end() && name->second.asString() != nullptr) names.push_back(*name->second.asString());
    }
    return names;
}

std::vector<std::string> numberedNames(const std::string& prefix, std::size_t count) {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < count; ++i) names.push_back(prefix + std::to_string(i));
    return names;
}

bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

bool drainHttpClient(TLMHttpClient& client) {
    auto done = std::make_shared<std::promise<void>>();
    // Port 9 (discard) of the loopback: should the attempt begin before the
    // cancel, it is refused at once.
    const auto call =
        client.sendAsync(*platform::net::URL::parse("http://127.0.0.1:9/drain"), "POST", {}, std::nullopt, {}, false,
                         {}, [done](const auto&, const auto&, const auto&) { done->set_value(); });
    call->cancel();
    return done->get_future().wait_for(std::chrono::seconds(20)) == std::future_status::ready;
}

bool drainSending(TLMChannelGroupDefault& group) {
    group.logsDispatchQueue()->sync([] {});
    return drainHttpClient(*group.httpClient());
}

std::size_t callsOnTheWire(const TLMHttpClient& client) {
    std::size_t count = 0;
    for (const auto& call : client.pendingCalls()) count += call->isInProgress() ? 1 : 0;
    return count;
}

std::vector<std::shared_ptr<TLMAbstractLog>> storedLogs(TLMChannelGroupDefault& group, const std::string& groupId) {
    std::vector<std::shared_ptr<TLMAbstractLog>> logs;
    group.logsDispatchQueue()->sync(
        [&] { logs = dynamic_cast<TLMLogDBStorage&>(*group.storage()).logsFromDBWithGroupId(groupId); });
    return logs;
}

// ---- Between tests

void ForgetTelemetryClient() {
    TLMAnalytics::resetSharedInstance();
    TLMTelemetry::resetSharedInstanceForTests();
    TLMDeviceTracker::resetSharedInstanceForTests();
    TLMSessionContext::resetSharedInstanceForTests();
    TLMUserIdContext::resetSharedInstanceForTests();
    TLMTicketCache::resetSharedInstanceForTests();
    TLMUtility::setSharedApp(nullptr);
    TLMUtility::forgetAllowedClassesForTests();
    TLMUtility::forgetTelemetryDirectoryForTests();
    TLMLogger::resetForTests();
}

// ---- SendingRig

SendingRig::SendingRig() {
    TLMArchiverUtil::addAllowedTelemetryModuleClasses();
    TLMAnalyticsArchiverUtil::addAllowedAnalyitcsModuleClasses();
    server.start();
    launch();
}

SendingRig::~SendingRig() { end(); }

void SendingRig::launch() {
    end();
    httpClient = TLMHttpClient::make();
    ingestion = std::make_shared<TLMDefaultIngestion>(httpClient, server.baseUrl(), TLMNewUuidString());
    ingestion->setAppSecret(kAppSecret);
    group = TLMChannelGroupDefault::make(httpClient, ingestion);
    delegate = std::make_shared<RecordingChannelDelegate>();
    group->addDelegate(delegate);
}

namespace {

bool senderLockIsFree(const std::filesystem::path& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return true;
    const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return free;
}

}  // namespace

void SendingRig::end() {
    std::filesystem::path senderLock;
    if (group) {
        drain();
        if (const auto* storage = dynamic_cast<const TLMLogDBStorage*>(group->storage().get()))
            senderLock = TLMSenderLock::pathFor(storage->dbFileURL());
    }
    mUnits.clear();
    group.reset();
    ingestion.reset();
    httpClient.reset();
    // The next launch stands for a new process, which finds the lock free;
    // a unit of this one still held would keep it and race the next.
    if (!senderLock.empty()) {
        EXPECT_TRUE(eventually([&] { return senderLockIsFree(senderLock); }, std::chrono::seconds(5)))
            << "a unit of the ended launch is still held, and with it the sender lock";
    }
}

std::shared_ptr<TLMChannelUnitDefault> SendingRig::addUnit(const std::string& groupId, std::uint64_t flushInterval) {
    auto unit = group->addChannelUnitWithConfiguration(
        TLMChannelUnitConfiguration::makeDefaultConfiguration(groupId, flushInterval));
    mUnits.push_back(unit);
    return unit;
}

void SendingRig::enqueueEvents(TLMChannelUnitDefault& unit, const std::string& prefix, std::size_t count) {
    for (const std::string& name : numberedNames(prefix, count)) unit.enqueueItem(makeEvent(name), TLMFlagsNormal);
}

void SendingRig::drain() {
    group->logsDispatchQueue()->sync([] {});
}

bool SendingRig::waitForRetryWaits(std::size_t count) {
    return eventually([&] {
        std::size_t waiting = 0;
        for (const auto& call : httpClient->pendingCalls()) waiting += call->isWaitingForRetry() ? 1 : 0;
        return waiting == count;
    });
}

}  // namespace testsupport
