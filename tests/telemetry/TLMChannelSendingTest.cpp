// Logs from a channel unit to the ingestion test server, end to end, on a
// virtual clock: batching by count and by interval, retries at their
// intervals, refused and unanswered batches, restarts, pausing and the
// network going down.

#include "tests/telemetry/support/TelemetryTestSupport.h"

#include "platform/dispatch/RunLoop.h"
#include "platform/net/URLSession.h"
#include "telemetry/Internals/Channel/TLMChannelUnitDefault.h"
#include "telemetry/Internals/Storage/TLMLogDBStorage.h"
#include "telemetry/TelemetryAnalytics/Model/TLMTypedProperty.h"
#include "telemetry/TLMErrors.h"
#include "telemetry/core/Util/TLMKeyedArchiver.h"
#include "telemetry/core/Util/TLMTelemetryUserDefaults.h"
#include "telemetry/core/Util/TLMUtility.h"
#include "telemetry/core/Util/TLMUuid.h"
#include "tests/telemetry/TLMLogCapture.h"
#include "tests/telemetry/TLMTestRecords.h"
#include "tests/telemetry/support/RawDatabase.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <limits>
#include <map>
#include <mutex>
#include <semaphore>
#include <thread>
#include <utility>

using namespace std::chrono_literals;
using testsupport::IngestionAnswer;
using testsupport::IngestionRequest;
using testsupport::numberedNames;
using testsupport::storedLogs;
using Kind = testsupport::RecordingChannelDelegate::Kind;

namespace {

// Returns once what the clock made due has gone as far as the wire (see
// drainSending): a request not started by then was not going to be. Call it
// with nothing on the wire before the clock moved.
void settle(testsupport::SendingRig& rig) {
    ASSERT_TRUE(testsupport::drainSending(*rig.group));
    EXPECT_EQ(testsupport::callsOnTheWire(*rig.httpClient), 0u) << "a request is on its way";
}

// Waits until the answered requests' calls have ended.
bool nothingOnTheWire(testsupport::SendingRig& rig) {
    return testsupport::eventually([&] { return testsupport::callsOnTheWire(*rig.httpClient) == 0; });
}

std::vector<std::string> namesOf(const std::vector<std::shared_ptr<TLMAbstractLog>>& logs) {
    std::vector<std::string> names;
    for (const auto& log : logs) names.push_back(std::dynamic_pointer_cast<TLMEventLog>(log)->name());
    return names;
}

std::vector<std::string> concat(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// An event JSON cannot hold: a typed property that is no finite number.
std::shared_ptr<TLMEventLog> unwritableEvent(const std::string& name) {
    auto property = std::make_shared<TLMDoubleTypedProperty>();
    property->setName("ratio");
    property->setValue(std::numeric_limits<double>::infinity());
    auto properties = std::make_shared<TLMEventProperties>();
    properties->setProperty(property);
    auto event = testsupport::makeEvent(name);
    event->setTypedProperties(properties);
    return event;
}

// How often the server got each event name, over every request.
std::map<std::string, int> sentCounts(const std::vector<IngestionRequest>& requests) {
    std::map<std::string, int> counts;
    for (const IngestionRequest& request : requests) {
        for (const std::string& name : testsupport::eventNames(request)) ++counts[name];
    }
    return counts;
}

// Enqueues "<prefix><thread>-<i>" from `threads` threads at once, `each` a
// thread; returns the names.
std::vector<std::string> enqueueFromThreads(TLMChannelUnitDefault& unit, const std::string& prefix, int threads,
                                            int each) {
    std::vector<std::string> names;
    std::vector<std::thread> running;
    for (int t = 0; t < threads; ++t) {
        const std::string threadPrefix = prefix + std::to_string(t) + "-";
        const std::vector<std::string> own = numberedNames(threadPrefix, static_cast<std::size_t>(each));
        names.insert(names.end(), own.begin(), own.end());
        running.emplace_back([&unit, own] {
            for (const std::string& name : own) unit.enqueueItem(testsupport::makeEvent(name), TLMFlagsNormal);
        });
    }
    for (auto& thread : running) thread.join();
    return names;
}

// The group's ingestion, telling when the first answer has been handed to
// the unit.
class AnswerSignal final : public TLMIngestionProtocol {
public:
    explicit AnswerSignal(std::shared_ptr<TLMIngestionProtocol> ingestion) : mIngestion(std::move(ingestion)) {}
    void sendAsync(std::shared_ptr<const TLMLogContainer> data, TLMSendAsyncCompletionHandler handler) override {
        sendAsync(std::move(data), std::nullopt, std::move(handler));
    }
    void sendAsync(std::shared_ptr<const TLMLogContainer> data, const std::optional<std::string>& eTag,
                   TLMSendAsyncCompletionHandler handler) override {
        mIngestion->sendAsync(
            std::move(data), eTag,
            [this, handler = std::move(handler)](
                const std::string& callId, const std::optional<platform::net::HTTPURLResponse>& response,
                const std::optional<std::vector<std::uint8_t>>& body, const std::optional<platform::Error>& error) {
                handler(callId, response, body, error);
                std::lock_guard lock(mMutex);
                mAnswered = true;
                mChanged.notify_all();
            });
    }
    bool isReadyToSend() const override { return mIngestion->isReadyToSend(); }
    bool isEnabled() const override { return mIngestion->isEnabled(); }
    void setEnabled(bool isEnabled, bool deleteDataOnDisabled) override {
        mIngestion->setEnabled(isEnabled, deleteDataOnDisabled);
    }
    // False after a generous time-out.
    bool waitForAnswer() {
        std::unique_lock lock(mMutex);
        return mChanged.wait_for(lock, 20s, [&] { return mAnswered; });
    }

private:
    const std::shared_ptr<TLMIngestionProtocol> mIngestion;
    std::mutex mMutex;
    std::condition_variable mChanged;
    bool mAnswered = false;
};

// The log database, except that once a batch was loaded the next save
// waits until that batch's answer has reached the unit: so logs are still
// waiting to be saved when the answer comes, however fast the disk.
class SaveAfterAnswer final : public TLMStorage {
public:
    explicit SaveAfterAnswer(AnswerSignal& signal) : mSignal(signal) {}
    bool saveLog(const std::shared_ptr<TLMAbstractLog>& log, const std::string& groupId, TLMFlags flags) override {
        holdAfterFirstBatch();
        return mDatabase.saveLog(log, groupId, flags);
    }
    std::vector<TLMSaveOutcome> saveLogs(const std::vector<TLMLogToSave>& logs, const std::string& groupId) override {
        holdAfterFirstBatch();
        return mDatabase.saveLogs(logs, groupId);
    }
    std::uint64_t countLogs() override { return mDatabase.countLogs(); }
    std::optional<std::uint64_t> countLogsWithGroupId(const std::string& groupId) override {
        return mDatabase.countLogsWithGroupId(groupId);
    }
    std::vector<std::shared_ptr<TLMAbstractLog>> deleteLogsWithGroupId(const std::string& groupId) override {
        return mDatabase.deleteLogsWithGroupId(groupId);
    }
    void deleteLogsWithBatchId(const std::string& batchId, const std::string& groupId) override {
        mDatabase.deleteLogsWithBatchId(batchId, groupId);
    }
    bool loadLogsWithGroupId(const std::string& groupId, std::uint64_t limit,
                             const std::optional<std::vector<std::string>>& excludedTargetKeys,
                             const TLMLoadDataCompletionHandler& completionHandler) override {
        return mDatabase.loadLogsWithGroupId(
            groupId, limit, excludedTargetKeys,
            [&](const std::vector<std::shared_ptr<TLMAbstractLog>>& logs, const std::optional<std::string>& batchId) {
                if (batchId) mLoaded = true;
                if (completionHandler) completionHandler(logs, batchId);
            });
    }
    void setMaxStorageSize(std::int64_t sizeInBytes, const std::function<void(bool)>& completionHandler) override {
        mDatabase.setMaxStorageSize(sizeInBytes, completionHandler);
    }
    bool answerWaitedFor() const { return mWaited && mAnswerCame; }

private:
    void holdAfterFirstBatch() {
        if (!mLoaded || mWaited) return;
        mWaited = true;
        mAnswerCame = mSignal.waitForAnswer();
    }

    AnswerSignal& mSignal;
    TLMLogDBStorage mDatabase;
    // The logs queue's own.
    bool mLoaded = false;
    bool mWaited = false;
    bool mAnswerCame = false;
};

// Counts, on the logs queue, how many logs were done with when the first
// batch's success came.
class BurstOrder final : public TLMChannelDelegate {
public:
    void channelDidCompleteEnqueueingLog(TLMChannelUnitDefault&, const std::shared_ptr<TLMAbstractLog>&,
                                         const std::string&) override {
        ++completed;
    }
    void channelDidSucceedSendingLog(TLMChannelUnitDefault&, const std::shared_ptr<TLMAbstractLog>&) override {
        if (succeeded++ == 0) completedAtFirstSuccess = completed.load();
    }
    void channelDidFailSendingLog(TLMChannelUnitDefault&, const std::shared_ptr<TLMAbstractLog>&,
                                  const platform::Error&) override {
        ++failed;
    }
    std::atomic<std::size_t> completed{0};
    std::atomic<std::size_t> succeeded{0};
    std::atomic<std::size_t> failed{0};
    std::atomic<std::size_t> completedAtFirstSuccess{0};
};

}  // namespace

TEST(TLMChannelSending, FiftyLogsGoAtOnceAsOneGzipBatch) {
    testsupport::SendingRig rig;
    auto unit = rig.addUnit("Analytics");
    rig.enqueueEvents(*unit, "Event", 50);

    ASSERT_TRUE(rig.server.waitForRequests(1));  // no clock moved: the count alone sent them
    const std::vector<IngestionRequest> requests = rig.server.requests();
    ASSERT_EQ(requests.size(), 1u);
    const IngestionRequest& request = requests[0];
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.path, "/logs");
    EXPECT_EQ(request.query, "api-version=1.0.0");
    EXPECT_TRUE(request.gzipped);
    EXPECT_EQ(request.header("Content-Encoding"), std::optional<std::string>("gzip"));
    EXPECT_LT(request.bodyLength, request.body.size() / 4);  // the same device fifty times packs well
    EXPECT_EQ(request.header("App-Secret"), std::optional<std::string>(testsupport::SendingRig::kAppSecret));
    EXPECT_EQ(request.kind, IngestionRequest::Kind::Logs) << request.bodyError;
    EXPECT_EQ(testsupport::eventNames(request), numberedNames("Event", 50));

    ASSERT_TRUE(testsupport::eventually([&] { return rig.delegate->count(Kind::DidSucceed) == 50; }));
    EXPECT_EQ(rig.delegate->eventNames(Kind::WillSend), numberedNames("Event", 50));
    EXPECT_EQ(rig.delegate->eventNames(Kind::DidSucceed), numberedNames("Event", 50));
    EXPECT_EQ(rig.delegate->count(Kind::DidFail), 0u);
    EXPECT_TRUE(storedLogs(*rig.group, "Analytics").empty());
    EXPECT_EQ(unit->pendingBatchCount(), 0u);
}

TEST(TLMChannelSending, FewerLogsWaitForTheFlushInterval) {
    testsupport::SendingRig rig;
    auto unit = rig.addUnit("Analytics");
    rig.enqueueEvents(*unit, "Early", 3);
    rig.drain();
    rig.advance(5999ms);
    settle(rig);
    EXPECT_TRUE(rig.server.requests().empty());
    // A log that comes meanwhile does not start the interval again.
    rig.enqueueEvents(*unit, "Late", 1);
    rig.drain();
    rig.advance(1ms);
    ASSERT_TRUE(rig.server.waitForRequests(1));
    const std::vector<IngestionRequest> requests = rig.server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(testsupport::eventNames(requests[0]), concat(numberedNames("Early", 3), {"Late0"}));
}

TEST(TLMChannelSending, ACountThatPassesABatchSendsTheFullBatchAndTheRestWaitsForTheInterval) {
    testsupport::SendingRig rig;
    auto unit = rig.addUnit("Analytics");
    rig.enqueueEvents(*unit, "Early", 43);
    rig.drain();
    // Fifty more wait behind a held queue and are stored as one group: the
    // count goes from 43 to 93 in one step.
    std::binary_semaphore held(0);
    rig.group->logsDispatchQueue()->async([&held] { held.acquire(); });
    rig.enqueueEvents(*unit, "Late", 50);
    held.release();
    rig.drain();
    ASSERT_TRUE(rig.server.waitForRequests(1));
    ASSERT_TRUE(nothingOnTheWire(rig));
    rig.drain();  // its answer taken
    settle(rig);
    std::vector<IngestionRequest> requests = rig.server.requests();
    ASSERT_EQ(requests.size(), 1u) << "a short batch left before its interval";
    std::vector<std::string> late = numberedNames("Late", 50);
    EXPECT_EQ(testsupport::eventNames(requests[0]),
              concat(numberedNames("Early", 43), std::vector<std::string>(late.begin(), late.begin() + 7)));

    rig.advance(6s);  // the interval of the oldest log still stored
    ASSERT_TRUE(rig.server.waitForRequests(2));
    requests = rig.server.requests();
    EXPECT_EQ(testsupport::eventNames(requests[1]), std::vector<std::string>(late.begin() + 7, late.end()));
}

TEST(TLMChannelSending, AnswersThatMayChangeAreRetriedAtTheIntervals) {
    testsupport::SendingRig rig;
    rig.server.script("/logs", {IngestionAnswer::withStatus(500), IngestionAnswer::withStatus(503)},
                      IngestionAnswer::withStatus(200));
    auto unit = rig.addUnit("Analytics");
    rig.enqueueEvents(*unit, "Event", 50);
    ASSERT_TRUE(rig.server.waitForRequests(1));

    // 10 seconds, then 300.
    for (const auto interval : {10s, 300s}) {
        ASSERT_TRUE(rig.waitForRetryWaits(1));
        const std::size_t before = rig.server.requests().size();
        rig.advance(interval - 1ms);
        settle(rig);
        EXPECT_EQ(rig.server.requests().size(), before) << "retried before " << interval.count() << " s";
        rig.advance(1ms);
        ASSERT_TRUE(rig.server.waitForRequests(before + 1));
    }
    const std::vector<IngestionRequest> requests = rig.server.requests();
    ASSERT_EQ(requests.size(), 3u);
    for (const IngestionRequest& request : requests) {
        EXPECT_EQ(testsupport::eventNames(request), numberedNames("Event", 50));  // the same batch each time
    }
    EXPECT_EQ(requests[0].status, 500);
    EXPECT_EQ(requests[1].status, 503);
    EXPECT_EQ(requests[2].status, 200);
    ASSERT_TRUE(testsupport::eventually([&] { return rig.delegate->count(Kind::DidSucceed) == 50; }));
    EXPECT_EQ(rig.delegate->count(Kind::WillSend), 50u);
    EXPECT_EQ(rig.delegate->count(Kind::DidFail), 0u);
    EXPECT_TRUE(storedLogs(*rig.group, "Analytics").empty());
}

TEST(TLMChannelSending, ARefusedBatchIsDroppedAndEveryLogReportedFailed) {
    testsupport::SendingRig rig;
    rig.server.script("/logs", {IngestionAnswer::withStatus(400)});
    auto unit = rig.addUnit("Analytics");
    rig.enqueueEvents(*unit, "Refused", 50);
    ASSERT_TRUE(rig.server.waitForRequests(1));
    ASSERT_TRUE(testsupport::eventually([&] { return rig.delegate->count(Kind::DidFail) == 50; }));
    EXPECT_EQ(rig.delegate->eventNames(Kind::DidFail), numberedNames("Refused", 50));
    for (const auto& failure : rig.delegate->events(Kind::DidFail)) {
        ASSERT_TRUE(failure.error.has_value());
        EXPECT_EQ(failure.error->domain(), kTLMErrorDomain);
        EXPECT_EQ(failure.error->code(), TLMErrorHttpStatus);
        ASSERT_NE(failure.error->userInfoValue<int>(kTLMHttpStatusCodeKey), nullptr);
        EXPECT_EQ(*failure.error->userInfoValue<int>(kTLMHttpStatusCodeKey), 400);
    }
    EXPECT_TRUE(storedLogs(*rig.group, "Analytics").empty());
    // Never retried.
    rig.advance(3600s);
    settle(rig);
    EXPECT_EQ(rig.server.requests().size(), 1u);
    EXPECT_EQ(rig.delegate->count(Kind::DidSucceed), 0u);
}

TEST(TLMChannelSending, AnUnansweredBatchIsKeptNotResentByTheSameProcessAndSentOnceAfterARestart) {
    testsupport::SendingRig rig;
    rig.server.script("/logs", std::vector<IngestionAnswer>(4, IngestionAnswer::dropped()));
    auto unit = rig.addUnit("Analytics");
    rig.enqueueEvents(*unit, "Lost", 50);
    ASSERT_TRUE(rig.server.waitForRequests(1));
    std::size_t attempts = 1;
    for (const auto interval : {10s, 300s, 1200s}) {
        ASSERT_TRUE(rig.waitForRetryWaits(1));
        rig.advance(interval);
        ASSERT_TRUE(rig.server.waitForRequests(++attempts));
    }
    ASSERT_TRUE(testsupport::eventually([&] { return rig.delegate->count(Kind::DidFail) == 50; }));
    for (const auto& failure : rig.delegate->events(Kind::DidFail)) {
        ASSERT_TRUE(failure.error.has_value());
        EXPECT_EQ(failure.error->domain(), platform::net::URLErrorDomain);
    }
    // Not lost: still stored.
    EXPECT_EQ(namesOf(storedLogs(*rig.group, "Analytics")), numberedNames("Lost", 50));

    // New logs go on their own; the unanswered batch is not loaded again.
    rig.enqueueEvents(*unit, "Next", 50);
    ASSERT_TRUE(rig.server.waitForRequests(5));
    ASSERT_TRUE(nothingOnTheWire(rig));
    rig.advance(3600s);
    settle(rig);
    std::vector<IngestionRequest> requests = rig.server.requests();
    ASSERT_EQ(requests.size(), 5u);
    EXPECT_EQ(testsupport::eventNames(requests[4]), numberedNames("Next", 50));
    ASSERT_TRUE(testsupport::eventually([&] { return rig.delegate->count(Kind::DidSucceed) == 50; }));

    // After a restart the kept batch goes once.
    unit.reset();  // a restart leaves nothing of the old process
    rig.launch();
    unit = rig.addUnit("Analytics");
    ASSERT_TRUE(rig.server.waitForRequests(6));
    ASSERT_TRUE(nothingOnTheWire(rig));
    rig.advance(3600s);
    settle(rig);
    requests = rig.server.requests();
    ASSERT_EQ(requests.size(), 6u);
    EXPECT_EQ(testsupport::eventNames(requests[5]), numberedNames("Lost", 50));
    ASSERT_TRUE(testsupport::eventually([&] { return storedLogs(*rig.group, "Analytics").empty(); }));
}

TEST(TLMChannelSending, UnsentLogsAreSentOnceAfterARestartAndOnlyTheirGroupCounts) {
    testsupport::SendingRig rig;
    const int pauser = 0;
    auto unit = rig.addUnit("Analytics");
    auto other = rig.addUnit("Analytics_critical");
    unit->pauseWithIdentifyingObject(&pauser);
    other->pauseWithIdentifyingObject(&pauser);
    rig.enqueueEvents(*unit, "Unsent", 3);
    rig.enqueueEvents(*other, "Other", 60);
    rig.drain();
    EXPECT_TRUE(rig.server.requests().empty());

    // The next start finds 3 logs of its own beside 60 of another group: the
    // 3 wait for the interval rather than going as a full batch.
    rig.launch();
    unit = rig.addUnit("Analytics");
    rig.drain();
    settle(rig);
    EXPECT_TRUE(rig.server.requests().empty());
    rig.advance(6s);
    ASSERT_TRUE(rig.server.waitForRequests(1));
    ASSERT_TRUE(nothingOnTheWire(rig));
    rig.advance(3600s);
    settle(rig);
    const std::vector<IngestionRequest> requests = rig.server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(testsupport::eventNames(requests[0]), numberedNames("Unsent", 3));
    ASSERT_TRUE(testsupport::eventually([&] { return storedLogs(*rig.group, "Analytics").empty(); }));
    EXPECT_EQ(storedLogs(*rig.group, "Analytics_critical").size(), 60u);
}

TEST(TLMChannelSending, APausedUnitSendsOnlyOnceEveryObjectResumedIt) {
    testsupport::SendingRig rig;
    const int first = 0;
    const int second = 0;
    auto unit = rig.addUnit("Analytics");
    unit->pauseWithIdentifyingObject(&first);
    unit->pauseWithIdentifyingObject(&second);
    rig.enqueueEvents(*unit, "Held", 60);
    rig.drain();
    EXPECT_TRUE(unit->isPaused());
    rig.advance(60s);
    settle(rig);
    EXPECT_TRUE(rig.server.requests().empty());

    unit->resumeWithIdentifyingObject(&first);
    rig.drain();
    EXPECT_TRUE(unit->isPaused());
    rig.advance(60s);
    settle(rig);
    EXPECT_TRUE(rig.server.requests().empty());

    unit->resumeWithIdentifyingObject(&second);
    ASSERT_TRUE(rig.server.waitForRequests(2));  // a full batch and what is left, at once
    const std::vector<IngestionRequest> requests = rig.server.requests();
    std::vector<std::string> sent;
    for (const IngestionRequest& request : requests) sent = concat(sent, testsupport::eventNames(request));
    std::sort(sent.begin(), sent.end());
    std::vector<std::string> expected = numberedNames("Held", 60);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(sent, expected);
}

TEST(TLMChannelSending, AtMostThePendingBatchLimitIsOut) {
    testsupport::SendingRig rig;
    rig.server.script("/logs", std::vector<IngestionAnswer>(3, IngestionAnswer::withStatus(500)));
    auto unit = rig.addUnit("Analytics");
    rig.enqueueEvents(*unit, "Event", 200);
    ASSERT_TRUE(rig.server.waitForRequests(3));
    ASSERT_TRUE(rig.waitForRetryWaits(3));
    rig.drain();
    settle(rig);
    EXPECT_EQ(rig.server.requests().size(), 3u);  // the fourth batch waits
    EXPECT_EQ(unit->pendingBatchCount(), 3u);

    rig.advance(10s);
    ASSERT_TRUE(rig.server.waitForRequests(7));  // three retries answered, then the fourth batch
    ASSERT_TRUE(testsupport::eventually([&] { return rig.delegate->count(Kind::DidSucceed) == 200; }));
    EXPECT_TRUE(storedLogs(*rig.group, "Analytics").empty());
}

TEST(TLMChannelSending, ABatchThatJsonCannotHoldFailsLocallyAndIsNeverSent) {
    testsupport::SendingRig rig;
    auto unit = rig.addUnit("Analytics");
    unit->enqueueItem(unwritableEvent("Bad"), TLMFlagsNormal);
    rig.drain();
    rig.advance(6s);
    ASSERT_TRUE(testsupport::eventually([&] { return rig.delegate->count(Kind::DidFail) == 1; }));
    const auto failure = rig.delegate->events(Kind::DidFail)[0];
    ASSERT_TRUE(failure.error.has_value());
    EXPECT_EQ(failure.error->domain(), kTLMErrorDomain);
    EXPECT_EQ(failure.error->code(), TLMErrorSerializationFailed);
    EXPECT_TRUE(storedLogs(*rig.group, "Analytics").empty());  // dropped: it would fail every time

    // The next batch goes as usual.
    unit->enqueueItem(testsupport::makeEvent("Good"), TLMFlagsNormal);
    rig.drain();
    rig.advance(6s);
    ASSERT_TRUE(rig.server.waitForRequests(1));
    const std::vector<IngestionRequest> requests = rig.server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(testsupport::eventNames(requests[0]), std::vector<std::string>{"Good"});
}

TEST(TLMChannelSending, ALogJsonCannotHoldIsDroppedAloneAndTheRestOfItsBatchIsSent) {
    testsupport::SendingRig rig;
    auto unit = rig.addUnit("Analytics");
    TLMLogCapture capture;
    unit->enqueueItem(testsupport::makeEvent("Before"), TLMFlagsNormal);
    unit->enqueueItem(unwritableEvent("Bad"), TLMFlagsNormal);
    unit->enqueueItem(testsupport::makeEvent("After"), TLMFlagsNormal);
    rig.drain();
    rig.advance(6s);
    ASSERT_TRUE(rig.server.waitForRequests(1));
    const std::vector<IngestionRequest> requests = rig.server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(testsupport::eventNames(requests[0]), (std::vector<std::string>{"Before", "After"}));

    // The dropped log is reported failed, the others sent; none is kept.
    ASSERT_TRUE(testsupport::eventually([&] { return rig.delegate->count(Kind::DidSucceed) == 2; }));
    EXPECT_EQ(rig.delegate->eventNames(Kind::DidSucceed), (std::vector<std::string>{"Before", "After"}));
    ASSERT_EQ(rig.delegate->eventNames(Kind::DidFail), std::vector<std::string>{"Bad"});
    const auto failure = rig.delegate->events(Kind::DidFail)[0];
    ASSERT_TRUE(failure.error.has_value());
    EXPECT_EQ(failure.error->domain(), kTLMErrorDomain);
    EXPECT_EQ(failure.error->code(), TLMErrorSerializationFailed);
    EXPECT_TRUE(storedLogs(*rig.group, "Analytics").empty());
    const auto errors = capture.linesAt(TLMLogLevelError);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].message.rfind("Couldn't serialize 1 of 3 log(s) of batch Id ", 0), 0u) << errors[0].message;
}

TEST(TLMChannelSending, AStoredLogWhoseTextsAreNotUtf8IsSentWithThemMended) {
    testsupport::SendingRig rig;
    // Stored by a build that kept the host's Latin-1 texts as they came: the
    // archive in the database holds those bytes.
    auto old = testsupport::makeEvent("Old\xE9");
    old->setTimestamp(tlmtest::fixedTime());
    // Two keys that mend into one: the first in the archive's order stays.
    old->setProperties({{"k\xFE", "first"}, {"k\xFF", "v\xE9"}, {"plain", "ok"}});
    auto device = tlmtest::validDevice();
    device->setLocale("de_D\xE9");
    device->setOsName("Syst\xE8me");
    device->setModel("Caf\xC3\xA9");  // UTF-8 already
    device->setWrapperSdkName("w\xFF");
    old->setDevice(device);
    ASSERT_TRUE(TLMLogDBStorage().saveLog(old, "Analytics", TLMFlagsNormal));

    rig.launch();
    rig.addUnit("Analytics");
    rig.drain();
    rig.advance(6s);
    ASSERT_TRUE(rig.server.waitForRequests(1));
    const std::vector<IngestionRequest> requests = rig.server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].bodyError, "");
    ASSERT_EQ(testsupport::eventNames(requests[0]), std::vector<std::string>{"Old*"});
    const auto& log = *requests[0].logs[0].asDictionary();
    EXPECT_EQ(log.at("properties"), platform::Value(platform::Value::Dictionary{{"k*", "first"}, {"plain", "ok"}}));
    const auto& sent = *log.at("device").asDictionary();
    EXPECT_EQ(sent.at("locale"), platform::Value("de_D*"));
    EXPECT_EQ(sent.at("osName"), platform::Value("Syst*me"));
    EXPECT_EQ(sent.at("model"), platform::Value("Caf\xC3\xA9"));
    EXPECT_EQ(sent.at("wrapperSdkName"), platform::Value("w*"));
    EXPECT_EQ(sent.at("timeZoneOffset").numberAsInteger(), 60);
    ASSERT_TRUE(testsupport::eventually([&] { return rig.delegate->count(Kind::DidSucceed) == 1; }));
    EXPECT_EQ(rig.delegate->count(Kind::DidFail), 0u);
    EXPECT_TRUE(testsupport::eventually([&] { return storedLogs(*rig.group, "Analytics").empty(); }));
}

TEST(TLMChannelSending, ALongerIntervalIsKeptAcrossARestart) {
    testsupport::SendingRig rig;
    auto unit = rig.addUnit("Analytics", 60);
    rig.enqueueEvents(*unit, "Slow", 60);  // more than a batch: the interval still rules
    rig.drain();
    const auto key = unit->startTimeKey();
    EXPECT_EQ(key, "ChannelStartTimer:Analytics");
    const auto start = TLMTelemetryUserDefaults::shared().objectForKey(key);
    ASSERT_TRUE(start.has_value());
    EXPECT_EQ(start->asDate() != nullptr ? *start->asDate() : platform::Clock::Date{}, rig.clock->now());
    rig.advance(40s);
    settle(rig);
    EXPECT_TRUE(rig.server.requests().empty());

    // 20 seconds are left after the restart, not 60.
    unit.reset();  // a restart leaves nothing of the old process
    rig.launch();
    unit = rig.addUnit("Analytics", 60);
    rig.drain();
    rig.advance(20s - 1ms);
    settle(rig);
    EXPECT_TRUE(rig.server.requests().empty());
    rig.advance(1ms);
    ASSERT_TRUE(rig.server.waitForRequests(2));
    ASSERT_TRUE(testsupport::eventually([&] { return storedLogs(*rig.group, "Analytics").empty(); }));
    EXPECT_FALSE(TLMTelemetryUserDefaults::shared().objectForKey(key).has_value());
}

TEST(TLMChannelSending, NothingLeavesWhileTheNetworkIsDown) {
    testsupport::SendingRig rig;
    rig.links.links().setFlags(0);
    rig.launch();  // a client made while the network is down starts paused
    EXPECT_TRUE(rig.httpClient->isPaused());
    auto unit = rig.addUnit("Analytics");
    rig.enqueueEvents(*unit, "Offline", 50);
    rig.drain();
    settle(rig);
    EXPECT_TRUE(rig.server.requests().empty());
    EXPECT_EQ(rig.httpClient->pendingCalls().size(), 1u);

    // The change reaches the client through the main loop.
    rig.links.links().setFlags(platform::net::ReachabilityFlagReachable);
    rig.links.links().reportChange();
    ASSERT_TRUE(platform::RunLoop::main()->runUntil([&] { return !rig.httpClient->isPaused(); }, 10s));
    ASSERT_TRUE(rig.server.waitForRequests(1));
    EXPECT_EQ(testsupport::eventNames(rig.server.requests()[0]), numberedNames("Offline", 50));
    ASSERT_TRUE(testsupport::eventually([&] { return rig.delegate->count(Kind::DidSucceed) == 50; }));
}

TEST(TLMChannelSending, ABurstFromSeveralThreadsIsSentWhileItIsSavedAndEveryLogGoesOnce) {
    testsupport::SendingRig rig;
    auto signal = std::make_shared<AnswerSignal>(rig.ingestion);
    auto storage = std::make_shared<SaveAfterAnswer>(*signal);
    auto group = TLMChannelGroupDefault::make(rig.httpClient, signal, storage);
    auto order = std::make_shared<BurstOrder>();
    group->addDelegate(order);
    auto unit = group->addChannelUnitWithConfiguration(TLMChannelUnitConfiguration::makeDefaultConfiguration("Burst"));

    const std::vector<std::string> names = enqueueFromThreads(*unit, "Burst", 4, 50);
    // Batches need not be whole while answers come in between saves: what
    // is left at the end goes with the flush interval.
    ASSERT_TRUE(testsupport::eventually([&] {
        if (order->succeeded + order->failed >= names.size()) return true;
        rig.advance(1s);
        return false;
    }));
    group->logsDispatchQueue()->sync([] {});
    EXPECT_TRUE(storage->answerWaitedFor());
    EXPECT_EQ(order->failed, 0u);
    EXPECT_EQ(order->succeeded, names.size());
    // The first answer was taken up before the logs still waiting were
    // saved, not behind the whole burst.
    EXPECT_LT(order->completedAtFirstSuccess, names.size());

    std::map<std::string, int> expected;
    for (const std::string& name : names) expected[name] = 1;
    EXPECT_EQ(sentCounts(rig.server.requests()), expected);
    EXPECT_EQ(storage->countLogs(), 0u);
    unit.reset();
    group.reset();
}

TEST(TLMChannelSending, ABurstCutByARestartSendsEveryLogOnce) {
    testsupport::SendingRig rig;
    const int pauser = 0;
    auto unit = rig.addUnit("Analytics");
    std::vector<std::string> names = enqueueFromThreads(*unit, "Early", 3, 33);  // none dropped
    // As the network going away would: what follows is stored, not sent.
    unit->pauseWithIdentifyingObject(&pauser);
    const std::vector<std::string> late = enqueueFromThreads(*unit, "Late", 3, 33);
    names.insert(names.end(), late.begin(), late.end());
    rig.drain();
    // The batches on the wire when the pause came are answered first.
    ASSERT_TRUE(testsupport::eventually([&] { return unit->pendingBatchCount() == 0; }));
    rig.drain();
    const std::map<std::string, int> beforeRestart = sentCounts(rig.server.requests());
    for (const std::string& name : late) EXPECT_EQ(beforeRestart.count(name), 0u) << name << " went before the pause";

    unit.reset();  // a restart leaves nothing of the old process
    rig.launch();
    unit = rig.addUnit("Analytics");
    rig.drain();
    rig.advance(6s);  // what is short of a batch
    ASSERT_TRUE(testsupport::eventually([&] {
        std::size_t sent = 0;
        for (const auto& [name, count] : sentCounts(rig.server.requests())) sent += static_cast<std::size_t>(count);
        return sent >= names.size();
    }));
    ASSERT_TRUE(nothingOnTheWire(rig));
    std::map<std::string, int> expected;
    for (const std::string& name : names) expected[name] = 1;
    EXPECT_EQ(sentCounts(rig.server.requests()), expected);
    ASSERT_TRUE(testsupport::eventually([&] { return storedLogs(*rig.group, "Analytics").empty(); }));
}

namespace {

std::filesystem::path logDatabase(testsupport::SendingRig& rig) {
    return dynamic_cast<TLMLogDBStorage&>(*rig.group->storage()).dbFileURL();
}

}  // namespace

TEST(TLMChannelSending, LogsAHeldFileRefusedAreKeptInOrderAndSavedAtTheNextSaveOrFlush) {
    struct Case {
        const char* name;
        bool nextLog;  // or only the flush interval
    };
    for (const Case& c : {Case{"the next log", true}, Case{"the flush interval", false}}) {
        SCOPED_TRACE(c.name);
        rawdb::SleeplessFileSystem fileSystem;  // a wait for the held file runs out at once
        testsupport::SendingRig rig;
        auto unit = rig.addUnit("Analytics");
        rig.drain();
        rawdb::HeldFile held(logDatabase(rig), "BEGIN EXCLUSIVE;");
        rig.enqueueEvents(*unit, "Held", 3);
        rig.drain();
        // Neither stored, nor done with, nor failed.
        EXPECT_GT(fileSystem.sleeps(), 0);
        EXPECT_EQ(rig.delegate->count(Kind::DidStore), 0u);
        EXPECT_EQ(rig.delegate->count(Kind::DidComplete), 0u);
        EXPECT_EQ(rig.delegate->count(Kind::DidFail), 0u);

        held.letGo();
        std::vector<std::string> want = numberedNames("Held", 3);
        if (c.nextLog) {
            rig.enqueueEvents(*unit, "Free", 1);
            rig.drain();
            want.push_back("Free0");
            EXPECT_EQ(namesOf(storedLogs(*rig.group, "Analytics")), want);
        }
        rig.advance(6s);
        ASSERT_TRUE(rig.server.waitForRequests(1));
        EXPECT_EQ(testsupport::eventNames(rig.server.requests()[0]), want);
        EXPECT_EQ(rig.delegate->eventNames(Kind::DidStore), want);
        EXPECT_EQ(rig.delegate->eventNames(Kind::DidComplete), want);
        ASSERT_TRUE(testsupport::eventually([&] { return rig.delegate->count(Kind::DidSucceed) == want.size(); }));
        EXPECT_EQ(rig.delegate->count(Kind::DidFail), 0u);
    }
}

namespace {

// A little more than a sixteenth of the memory refused logs may take: the
// kept take eleven (three quarters at most), those still waiting four more.
std::shared_ptr<TLMEventLog> sixteenthEvent(const std::string& name) {
    auto event = testsupport::makeEvent(name);
    const std::size_t archived =
        TLMChannelUnitDefault::kRefusedBytesLimit / 16 / TLMChannelUnitDefault::kMemoryPerArchivedByte;
    event->setProperties({{"Blob", std::string(archived, 'x')}});
    return event;
}

std::vector<std::string> droppedWarnings(TLMLogCapture& capture) {
    std::vector<std::string> drops;
    for (const TLMCapturedLine& line : capture.linesAt(TLMLogLevelWarning)) {
        if (line.message.find("dropped") != std::string::npos) drops.push_back(line.message);
    }
    return drops;
}

}  // namespace

TEST(TLMChannelSending, WhileAHeldFileRefusesSavesLogsAreBoundedByTheirBytesInTheLogDatabasesEvictionOrder) {
    rawdb::SleeplessFileSystem fileSystem;
    testsupport::SendingRig rig;
    auto unit = rig.addUnit("Analytics");
    rig.drain();
    TLMLogCapture capture;
    rawdb::HeldFile held(logDatabase(rig), "BEGIN EXCLUSIVE;");
    // Taken one at a time: past eleven the oldest ordinary ones go.
    unit->enqueueItem(sixteenthEvent("Critical"), TLMFlagsCritical);
    rig.drain();
    const std::vector<std::string> logs = numberedNames("Log", 12);
    for (const std::string& name : logs) {
        unit->enqueueItem(sixteenthEvent(name), TLMFlagsNormal);
        rig.drain();
    }
    EXPECT_EQ(rig.delegate->eventNames(Kind::DidComplete), numberedNames("Log", 2));
    // The logs queue held, four more may wait, the oldest going past that;
    // taken, they push out the oldest kept.
    std::binary_semaphore queueHeld(0);
    rig.group->logsDispatchQueue()->async([&queueHeld] { queueHeld.acquire(); });
    const std::vector<std::string> late = numberedNames("Late", 20);
    for (const std::string& name : late) unit->enqueueItem(sixteenthEvent(name), TLMFlagsNormal);
    EXPECT_EQ(rig.delegate->eventNames(Kind::DidComplete), concat(numberedNames("Log", 2), numberedNames("Late", 16)));
    queueHeld.release();
    rig.drain();
    EXPECT_EQ(rig.delegate->count(Kind::DidStore), 0u);

    held.letGo();
    rig.advance(6s);
    rig.drain();
    EXPECT_EQ(rig.delegate->eventNames(Kind::DidStore),
              concat(concat({"Critical"}, {logs.begin() + 6, logs.end()}), {late.begin() + 16, late.end()}));
    const std::string dropped =
        " log(s) of group Analytics were dropped before they could be saved: the log database refused saves and "
        "more than 6144 KiB of them waited. The lowest priority and oldest went first.";
    EXPECT_EQ(droppedWarnings(capture), (std::vector<std::string>{"1" + dropped, "21" + dropped}));
}

namespace {

// The log database whose first save waits until let go, as a save waits
// for a file another connection holds, telling meanwhile whether it found
// the file held.
class FirstSaveWaits final : public TLMLogDBStorage {
public:
    explicit FirstSaveWaits(bool held) : mHeld(held) {}
    std::vector<TLMSaveOutcome> saveLogs(const std::vector<TLMLogToSave>& logs, const std::string& groupId) override {
        if (!std::exchange(mWaited, true)) {
            entered.release();
            letGo.acquire();
        }
        return TLMLogDBStorage::saveLogs(logs, groupId);
    }
    bool isFileHeld() const override { return mHeld; }

    std::binary_semaphore entered{0};
    std::binary_semaphore letGo{0};

private:
    const bool mHeld;
    bool mWaited = false;  // the logs queue's own
};

}  // namespace

TEST(TLMChannelSending, LogsWaitingBehindASaveThatWaitsForAHeldFileAreBoundedFromTheFirst) {
    // Each takes a little more than a sixteenth of the bound: the one being
    // saved and fourteen waiting fit.
    const std::vector<std::string> late = numberedNames("Late", 20);
    const struct {
        const char* name;
        bool held;
        std::vector<std::string> dropped;
    } cases[] = {
        {"the file held", true, numberedNames("Late", 6)},
        {"the file free, the save slow", false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::SendingRig rig;
        auto storage = std::make_shared<FirstSaveWaits>(c.held);
        auto group = TLMChannelGroupDefault::make(rig.httpClient, rig.ingestion, storage);
        group->addDelegate(rig.delegate);
        auto unit = group->addChannelUnitWithConfiguration(TLMChannelUnitConfiguration::makeDefaultConfiguration("A"));
        TLMLogCapture capture;
        unit->enqueueItem(sixteenthEvent("First"), TLMFlagsNormal);
        storage->entered.acquire();
        for (const std::string& name : late) unit->enqueueItem(sixteenthEvent(name), TLMFlagsNormal);
        // Dropped at once, on the caller's thread.
        EXPECT_EQ(rig.delegate->eventNames(Kind::DidComplete), c.dropped);
        storage->letGo.release();
        group->logsDispatchQueue()->sync([] {});
        std::vector<std::string> kept{"First"};
        for (const std::string& name : late) {
            if (std::find(c.dropped.begin(), c.dropped.end(), name) == c.dropped.end()) kept.push_back(name);
        }
        EXPECT_EQ(rig.delegate->eventNames(Kind::DidStore), kept);
        const std::vector<std::string> warnings = droppedWarnings(capture);
        ASSERT_EQ(warnings.size(), c.dropped.empty() ? 0u : 1u);
        if (!c.dropped.empty()) {
            EXPECT_EQ(warnings[0].rfind(std::to_string(c.dropped.size()) + " log(s)", 0), 0u);
        }
    }
}

TEST(TLMChannelSending, AMinuteOfAHeldFileAtFiftyLogsASecondLosesNothing) {
    rawdb::SleeplessFileSystem fileSystem;
    testsupport::SendingRig rig;
    const int pauser = 0;
    auto unit = rig.addUnit("Analytics");
    unit->pauseWithIdentifyingObject(&pauser);
    rig.drain();
    TLMLogCapture capture;
    std::vector<std::string> names;
    {
        rawdb::HeldFile held(logDatabase(rig), "BEGIN EXCLUSIVE;");
        for (int second = 0; second < 60; ++second) {
            const std::string prefix = "S" + std::to_string(second) + "-";
            rig.enqueueEvents(*unit, prefix, 50);
            names = concat(names, numberedNames(prefix, 50));
            rig.drain();
            rig.advance(1s);
        }
        rig.drain();
        EXPECT_EQ(rig.delegate->count(Kind::DidComplete), 0u);
    }
    // Tried again at the flush interval, paused as it is.
    rig.advance(6s);
    rig.drain();
    EXPECT_EQ(rig.delegate->eventNames(Kind::DidStore), names);
    EXPECT_EQ(namesOf(storedLogs(*rig.group, "Analytics")), names);
    EXPECT_TRUE(droppedWarnings(capture).empty());
}

TEST(TLMChannelSending, LogsEnqueuedWhileDamageFoundAgainWaitsForItsRebuildAreSavedIntoTheNewFile) {
    testsupport::SendingRig rig;
    const int pauser = 0;
    auto unit = rig.addUnit("Analytics");
    unit->pauseWithIdentifyingObject(&pauser);
    rig.drain();
    TLMLogCapture capture;
    const std::filesystem::path file = logDatabase(rig);
    rawdb::ZeroPage(file, rawdb::RootPage(file, "logs"));
    rig.enqueueEvents(*unit, "First", 1);  // mended at once
    rig.drain();
    rig.advance(10s);
    rawdb::ZeroPage(file, rawdb::RootPage(file, "logs"));
    std::vector<std::string> names;
    for (int step = 0; step < 10; ++step) {
        const std::string prefix = "During" + std::to_string(step) + "-";
        rig.enqueueEvents(*unit, prefix, 5);
        names = concat(names, numberedNames(prefix, 5));
        rig.drain();
        rig.advance(5s);
    }
    EXPECT_EQ(rig.delegate->eventNames(Kind::DidStore), std::vector<std::string>{"First0"});
    // A minute after the first time the file is made anew, at the next try.
    rig.advance(6s);
    rig.drain();
    EXPECT_EQ(rig.delegate->eventNames(Kind::DidStore), concat({"First0"}, names));
    EXPECT_EQ(namesOf(storedLogs(*rig.group, "Analytics")), names);
    EXPECT_TRUE(droppedWarnings(capture).empty());
}

TEST(TLMChannelSending, StoredLogsAHeldFileKeptFromBeingCountedAtStartGoAtTheFlushInterval) {
    rawdb::SleeplessFileSystem fileSystem;
    testsupport::SendingRig rig;
    const int pauser = 0;
    auto unit = rig.addUnit("Analytics");
    unit->pauseWithIdentifyingObject(&pauser);
    rig.enqueueEvents(*unit, "Old", 3);
    rig.drain();
    {
        rawdb::HeldFile held(logDatabase(rig), "BEGIN EXCLUSIVE;");
        rig.launch();
        unit = rig.addUnit("Analytics");
        rig.drain();  // counted in vain
    }
    rig.advance(6s);
    ASSERT_TRUE(rig.server.waitForRequests(1));
    EXPECT_EQ(testsupport::eventNames(rig.server.requests()[0]), numberedNames("Old", 3));
}

TEST(TLMChannelSending, AFileHeldForAMinuteAcrossAnAnsweredBatchDeliversEveryLogOnce) {
    rawdb::SleeplessFileSystem fileSystem;  // every wait for the held file runs out at once
    testsupport::SendingRig rig;
    const int pauser = 0;
    auto unit = rig.addUnit("Analytics");
    unit->pauseWithIdentifyingObject(&pauser);
    rig.enqueueEvents(*unit, "First", 50);
    rig.drain();
    // A reader from before the batch leaves: loads go on, its deletion and
    // later saves wait in vain.
    rawdb::HeldFile held(logDatabase(rig), "BEGIN; SELECT COUNT(*) FROM logs;");
    unit->resumeWithIdentifyingObject(&pauser);
    ASSERT_TRUE(testsupport::eventually([&] { return rig.delegate->count(Kind::DidSucceed) == 50; }));
    rig.enqueueEvents(*unit, "During", 10);
    rig.drain();
    for (int flush = 0; flush < 10; ++flush) {
        rig.advance(6s);
        rig.drain();
    }
    EXPECT_GT(fileSystem.sleeps(), 0);

    held.letGo();
    rig.advance(6s);
    ASSERT_TRUE(rig.server.waitForRequests(2));
    ASSERT_TRUE(nothingOnTheWire(rig));
    rig.advance(3600s);
    settle(rig);
    std::map<std::string, int> expected;
    for (const std::string& name : concat(numberedNames("First", 50), numberedNames("During", 10))) expected[name] = 1;
    EXPECT_EQ(sentCounts(rig.server.requests()), expected);
    EXPECT_TRUE(testsupport::eventually([&] { return storedLogs(*rig.group, "Analytics").empty(); }));
}

TEST(TLMChannelSending, TheFirstEnqueueThatFindsASaveWaitingForAHeldFileBoundsTheLogsWaitingFromBefore) {
    rawdb::SleeplessFileSystem fileSystem;
    testsupport::SendingRig rig;
    const int switched = 0;
    auto unit = rig.addUnit("Analytics");
    rig.drain();
    rawdb::HeldFile held(logDatabase(rig), "BEGIN EXCLUSIVE;");
    fileSystem.holdNextSleep();
    std::binary_semaphore queueHeld(0);
    rig.group->logsDispatchQueue()->async([&queueHeld] { queueHeld.acquire(); });
    // The first block saves "First" alone; "Early" waits behind a switch,
    // enqueued while nothing bounded them.
    unit->enqueueItem(sixteenthEvent("First"), TLMFlagsNormal);
    unit->resumeWithIdentifyingObject(&switched);
    const std::vector<std::string> early = numberedNames("Early", 10);
    for (const std::string& name : early) unit->enqueueItem(sixteenthEvent(name), TLMFlagsNormal);
    queueHeld.release();
    fileSystem.waitForHeldSleep();  // the log database waits for the file
    const std::vector<std::string> late = numberedNames("Late", 10);
    for (const std::string& name : late) unit->enqueueItem(sixteenthEvent(name), TLMFlagsNormal);
    // Fifteen fit: the oldest waiting went, on the caller's thread.
    EXPECT_EQ(rig.delegate->eventNames(Kind::DidComplete), numberedNames("Early", 5));
    fileSystem.letSleepGo();
    rig.drain();
    held.letGo();
    rig.advance(6s);
    rig.drain();
    // Kept, the oldest go past eleven.
    EXPECT_EQ(rig.delegate->eventNames(Kind::DidStore), concat({"Early9"}, late));
}

namespace {

// An event that counts the times it is archived.
class CountedEvent final : public TLMEventLog {
public:
    CountedEvent() = default;
    explicit CountedEvent(const TLMKeyedUnarchiver& coder) : TLMEventLog(coder) {}
    void encodeWithCoder(TLMKeyedArchiver& coder) const override {
        ++sArchives;
        TLMEventLog::encodeWithCoder(coder);
    }
    static inline std::atomic<int> sArchives{0};
};

// The log database counting the saves tried.
class CountedSaves final : public TLMLogDBStorage {
public:
    std::vector<TLMSaveOutcome> saveLogs(const std::vector<TLMLogToSave>& logs, const std::string& groupId) override {
        ++tries;
        return TLMLogDBStorage::saveLogs(logs, groupId);
    }
    int tries = 0;  // the logs queue's own
};

}  // namespace

TEST(TLMChannelSending, ARefusalThatComesBackAtOnceIsTriedAgainAfterAGrowingPauseAndItsLogsArchivedOnce) {
    TLMUtility::addAllowedClasses({TLMArchiveClass::of<CountedEvent>()});
    for (const auto fault : {rawdb::FaultyFileSystem::Fault::WriteProtected, rawdb::FaultyFileSystem::Fault::Full}) {
        SCOPED_TRACE(static_cast<int>(fault));
        // A group of its own: the last case's logs stay stored.
        const std::string groupId = "A" + std::to_string(static_cast<int>(fault));
        rawdb::FaultyFileSystem fileSystem;
        testsupport::SendingRig rig;
        auto storage = std::make_shared<CountedSaves>();
        auto group = TLMChannelGroupDefault::make(rig.httpClient, rig.ingestion, storage);
        group->addDelegate(rig.delegate);
        const int pauser = 0;
        auto unit =
            group->addChannelUnitWithConfiguration(TLMChannelUnitConfiguration::makeDefaultConfiguration(groupId));
        unit->pauseWithIdentifyingObject(&pauser);
        group->logsDispatchQueue()->sync([] {});
        TLMLogCapture capture;
        rawdb::FaultyFileSystem::setFault(fault);
        const int triesBefore = storage->tries;
        CountedEvent::sArchives = 0;
        // A minute, ten logs a second, each in a block of its own.
        std::vector<std::string> names;
        for (int second = 0; second < 60; ++second) {
            for (int i = 0; i < 10; ++i) {
                auto event = std::make_shared<CountedEvent>();
                event->setName("S" + std::to_string(second) + "-" + std::to_string(i));
                event->setEventId(TLMNewUuidString());
                names.push_back(event->name());
                unit->enqueueItem(event, TLMFlagsNormal);
                group->logsDispatchQueue()->sync([] {});
            }
            rig.advance(1s);
        }
        // At 0, 1, 3, 7 and 13 s, then every 6 s; each log archived once, the
        // first twice (by its first try, before it was kept).
        EXPECT_EQ(storage->tries - triesBefore, 12);
        EXPECT_EQ(CountedEvent::sArchives.load(), 601);

        rawdb::FaultyFileSystem::setFault(rawdb::FaultyFileSystem::Fault::None);
        rig.advance(6s);
        group->logsDispatchQueue()->sync([] {});
        EXPECT_EQ(rig.delegate->eventNames(Kind::DidStore), names);
        EXPECT_EQ(namesOf(storedLogs(*group, groupId)), names);
        const std::vector<TLMCapturedLine> warnings = capture.linesAt(TLMLogLevelWarning);
        const auto count = [&](const std::string& text) {
            return std::count_if(warnings.begin(), warnings.end(), [&](const TLMCapturedLine& line) {
                return line.message.find(text) != std::string::npos;
            });
        };
        EXPECT_EQ(count("refuses saves for now"), 1);
        EXPECT_EQ(count("ended after 66 s: 600 log(s) were kept meanwhile, 0 lost past the bound"), 1);
    }
}
