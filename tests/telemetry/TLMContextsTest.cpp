// The device, session and user-id contexts: what is current, the history
// kept across runs, and lookups by time at the histories' boundaries.

#include "tests/telemetry/TLMLogCapture.h"
#include "tests/telemetry/TLMTestRecords.h"

#include "platform/dispatch/Clock.h"
#include "telemetry/core/Context/TLMDeviceTracker.h"
#include "telemetry/core/Context/TLMHistory.h"
#include "telemetry/core/Context/TLMSessionContext.h"
#include "telemetry/core/Context/TLMUserIdContext.h"
#include "telemetry/core/Util/TLMTelemetryUserDefaults.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>

namespace {

using namespace std::chrono_literals;
using Date = std::chrono::system_clock::time_point;
using Id = std::optional<std::string>;

// 2024-01-01T00:00:00Z.
const Date kStart{std::chrono::seconds(1'704'067'200)};

// The contexts register the client's records themselves: nothing here does.
class TLMContextsTest : public testing::Test {
protected:
    std::shared_ptr<platform::VirtualClock> clock = std::make_shared<platform::VirtualClock>(kStart);
    platform::ScopedClock scopedClock{clock};
};

std::shared_ptr<TLMDevice> deviceWithModel(const std::string& model) {
    auto device = tlmtest::validDevice();
    device->setModel(model);
    return device;
}

}  // namespace

TEST_F(TLMContextsTest, SessionIdsAtTheHistorysBoundaries) {
    TLMSessionContext context;
    EXPECT_EQ(context.sessionId(), std::nullopt);
    EXPECT_EQ(context.sessionIdAt(kStart), std::nullopt);

    context.setSessionId("S1");  // at kStart
    clock->advance(10s);
    context.setSessionId("S2");  // at kStart + 10 s
    clock->advance(10s);
    context.setSessionId(std::nullopt);  // stopped at kStart + 20 s
    clock->advance(10s);
    context.setSessionId("S3");  // at kStart + 30 s
    EXPECT_EQ(context.sessionId(), "S3");

    struct Case {
        Date date;
        Id sessionId;
    };
    for (const Case& c : {Case{kStart - 1ns, std::nullopt}, Case{kStart, "S1"}, Case{kStart + 10s - 1ns, "S1"},
                          Case{kStart + 10s, "S2"}, Case{kStart + 20s, std::nullopt}, Case{kStart + 30s, "S3"},
                          Case{kStart + 1000s, "S3"}}) {
        EXPECT_EQ(context.sessionIdAt(c.date), c.sessionId)
            << (c.date - kStart).count() << " ns after the first session";
    }

    // A new run finds the history but no current session; the history keeps
    // the newest five.
    TLMSessionContext nextRun;
    EXPECT_EQ(nextRun.sessionId(), std::nullopt);
    EXPECT_EQ(nextRun.sessionIdAt(kStart + 15s), "S2");
    clock->advance(10s);
    nextRun.setSessionId("S4");
    clock->advance(10s);
    nextRun.setSessionId("S5");
    EXPECT_EQ(nextRun.sessionIdAt(kStart), std::nullopt);
    EXPECT_EQ(nextRun.sessionIdAt(kStart + 10s), "S2");

    // Clearing keeps only the current session, or nothing.
    TLMLogCapture capture;
    nextRun.clearSessionHistoryAndKeepCurrentSession(true);
    EXPECT_TRUE(capture.hasMessage(TLMLogLevelVerbose, "Cleared old sessions."));
    EXPECT_EQ(nextRun.sessionIdAt(kStart + 30s), std::nullopt);
    EXPECT_EQ(nextRun.sessionIdAt(kStart + 50s), "S5");
    EXPECT_EQ(TLMSessionContext().sessionIdAt(kStart + 50s), "S5");
    nextRun.clearSessionHistoryAndKeepCurrentSession(false);
    EXPECT_EQ(nextRun.sessionIdAt(kStart + 50s), std::nullopt);
    EXPECT_EQ(TLMSessionContext().sessionIdAt(kStart + 50s), std::nullopt);
}

TEST_F(TLMContextsTest, UserIdsAndTheirFormForTheUnifiedCollector) {
    TLMUserIdContext context;
    context.setUserId("alice");
    clock->advance(5s);
    context.setUserId(std::nullopt);
    clock->advance(5s);
    context.setUserId("c:bob");
    EXPECT_EQ(context.userId(), "c:bob");
    EXPECT_EQ(context.userIdAt(kStart - 1s), std::nullopt);
    EXPECT_EQ(context.userIdAt(kStart), "alice");
    EXPECT_EQ(context.userIdAt(kStart + 5s), std::nullopt);
    EXPECT_EQ(context.userIdAt(kStart + 9s), std::nullopt);
    EXPECT_EQ(context.userIdAt(kStart + 10s), "c:bob");

    // Cleared, the history keeps the current user, across runs too.
    context.clearUserIdHistory();
    EXPECT_EQ(context.userIdAt(kStart + 1s), std::nullopt);
    TLMUserIdContext nextRun;
    EXPECT_EQ(nextRun.userId(), std::nullopt);
    EXPECT_EQ(nextRun.userIdAt(kStart + 10s), "c:bob");

    EXPECT_EQ(TLMUserIdContext::prefixedUserIdFromUserId(std::nullopt), std::nullopt);
    EXPECT_EQ(TLMUserIdContext::prefixedUserIdFromUserId("abc"), "c:abc");
    EXPECT_EQ(TLMUserIdContext::prefixedUserIdFromUserId("c:abc"), "c:abc");
    EXPECT_EQ(TLMUserIdContext::prefixedUserIdFromUserId("x:abc"), "x:abc");

    struct Case {
        Id userId;
        bool valid;
    };
    for (const Case& c : {Case{std::nullopt, true}, Case{"abc", true}, Case{"c:abc", true}, Case{"", false},
                          Case{"c:", false}, Case{"x:abc", false}, Case{":abc", false}}) {
        EXPECT_EQ(TLMUserIdContext::isUserIdValidForUnifiedCollector(c.userId), c.valid) << c.userId.value_or("none");
    }
}

TEST_F(TLMContextsTest, DevicesAtTheHistorysBoundaries) {
    // Three records of earlier runs, ten seconds apart.
    {
        TLMHistory<TLMDeviceHistoryInfo> history(TLMDeviceTracker::kHistoryKey, TLMDeviceTracker::kHistoryLimit);
        for (const char* model : {"m1", "m2", "m3"}) {
            history.setCurrent(std::make_shared<TLMDeviceHistoryInfo>(clock->now(), deviceWithModel(model)));
            clock->advance(10s);
        }
    }
    TLMDeviceTracker tracker;
    auto modelAt = [&tracker](const std::optional<Date>& date) { return tracker.deviceForTimestamp(date)->model(); };
    EXPECT_EQ(modelAt(kStart - 1s), "m1");  // before every record: the oldest
    EXPECT_EQ(modelAt(kStart), "m1");
    EXPECT_EQ(modelAt(kStart + 10s - 1ns), "m1");
    EXPECT_EQ(modelAt(kStart + 10s), "m2");
    EXPECT_EQ(modelAt(kStart + 20s), "m3");
    EXPECT_EQ(modelAt(kStart + 25s), "m3");

    // This run's record joins the history when it is first read, as it
    // differs from the newest one; without a date it is the answer.
    const std::shared_ptr<TLMDevice> current = tracker.device();
    EXPECT_EQ(modelAt(std::nullopt), current->model());
    EXPECT_EQ(tracker.deviceForTimestamp(kStart + 30s), current);
    EXPECT_EQ(modelAt(kStart + 29s), "m3");

    // A run with the same record adds nothing; the history keeps five.
    clock->advance(10s);
    TLMDeviceTracker sameDevice;
    sameDevice.device();
    EXPECT_EQ(sameDevice.deviceForTimestamp(kStart + 35s)->model(), current->model());
    EXPECT_EQ(TLMHistory<TLMDeviceHistoryInfo>(TLMDeviceTracker::kHistoryKey, 5).entries().size(), 4u);

    // Cleared, every lookup gives the current record.
    tracker.clearDevices();
    EXPECT_EQ(tracker.deviceForTimestamp(kStart), current);
    EXPECT_TRUE(TLMHistory<TLMDeviceHistoryInfo>(TLMDeviceTracker::kHistoryKey, 5).entries().empty());
}

TEST_F(TLMContextsTest, ADeviceRecordKeptWithBytesThatAreNotUtf8IsReadBackWithThemMended) {
    // As a build that kept the host's bytes as they came stored it.
    auto old = tlmtest::validDevice();
    old->setLocale("fr_F\xE9");
    old->setOsName("Syst\xE8me");
    old->setModel("Caf\xC3\xA9");  // UTF-8 already
    old->setCarrierName("\x80");
    old->setWrapperSdkName("w\xFF");
    TLMHistory<TLMDeviceHistoryInfo>(TLMDeviceTracker::kHistoryKey, TLMDeviceTracker::kHistoryLimit)
        .setCurrent(std::make_shared<TLMDeviceHistoryInfo>(kStart, old));

    const std::string fffd = "\xEF\xBF\xBD";
    auto mended = tlmtest::validDevice();
    mended->setLocale("fr_F" + fffd);
    mended->setOsName("Syst" + fffd + "me");
    mended->setModel("Caf\xC3\xA9");
    mended->setCarrierName(fffd);
    mended->setWrapperSdkName("w" + fffd);
    TLMDeviceTracker tracker;
    const std::shared_ptr<TLMDevice> read = tracker.deviceForTimestamp(kStart + 1s);
    ASSERT_NE(read, nullptr);
    EXPECT_TRUE(read->isEqual(*mended)) << read->description();
    std::string reason;
    EXPECT_TRUE(read->serializeToDictionary().jsonText(false, &reason).has_value()) << reason;

    // This run's record joins it, and the old one stays as it was read.
    tracker.device();
    const auto entries = TLMHistory<TLMDeviceHistoryInfo>(TLMDeviceTracker::kHistoryKey, 5).entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0]->timestamp(), std::optional(kStart));
    EXPECT_TRUE(entries[0]->device()->isEqual(*mended));
}

TEST_F(TLMContextsTest, UserIdsThatAreNotUtf8AreKeptMendedAsSetAndAsReadBack) {
    const std::string fffd = "\xEF\xBF\xBD";
    // Kept by a build that stored the id as the app gave it.
    TLMHistory<TLMUserIdHistoryInfo>(TLMUserIdContext::kHistoryKey, TLMUserIdContext::kHistoryLimit)
        .setCurrent(std::make_shared<TLMUserIdHistoryInfo>(kStart, "b\xE9r"));
    clock->advance(10s);
    TLMUserIdContext context;
    EXPECT_EQ(context.userIdAt(kStart), "b" + fffd + "r");

    context.setUserId("caf\xE9");
    EXPECT_EQ(context.userId(), "caf" + fffd);
    clock->advance(10s);
    context.setUserId("Zo\xC3\xAB");  // UTF-8 already
    EXPECT_EQ(context.userId(), "Zo\xC3\xAB");

    TLMUserIdContext nextRun;
    EXPECT_EQ(nextRun.userIdAt(kStart), "b" + fffd + "r");
    EXPECT_EQ(nextRun.userIdAt(kStart + 10s), "caf" + fffd);
    EXPECT_EQ(nextRun.userIdAt(kStart + 20s), "Zo\xC3\xAB");
}

TEST_F(TLMContextsTest, DamagedHistoriesStartAfresh) {
    TLMLogCapture capture;
    for (const char* key : {TLMDeviceTracker::kHistoryKey, TLMSessionContext::kHistoryKey}) {
        TLMTelemetryUserDefaults::shared().setObject(platform::Value(platform::Value::Data{'T', 'L', 'M', 'A', 1, 9}),
                                                     key);
    }
    TLMTelemetryUserDefaults::shared().setObject(platform::Value("not data"), TLMUserIdContext::kHistoryKey);

    TLMSessionContext sessions;
    EXPECT_EQ(sessions.sessionIdAt(kStart), std::nullopt);
    TLMUserIdContext users;
    EXPECT_EQ(users.userIdAt(kStart), std::nullopt);
    TLMDeviceTracker tracker;
    EXPECT_EQ(tracker.deviceForTimestamp(kStart - 1s), tracker.device());
    EXPECT_FALSE(capture.linesAt(TLMLogLevelError).empty());

    // The next change writes a readable history over the damaged one.
    sessions.setSessionId("S1");
    EXPECT_EQ(TLMSessionContext().sessionIdAt(kStart), "S1");
}

TEST_F(TLMContextsTest, AStoredHistoryReadsBeforeTheClientStarts) {
    // Written as an earlier run left it; read by the first context made.
    const TLMArchiveValue::Array entries{std::make_shared<TLMUserIdHistoryInfo>(kStart, "c:alice")};
    const auto bytes = TLMKeyedArchiver::archivedData(TLMArchiveValue(entries));
    ASSERT_TRUE(bytes.has_value());
    TLMTelemetryUserDefaults::shared().setObject(platform::Value(*bytes), TLMUserIdContext::kHistoryKey);
    TLMUserIdContext context;
    EXPECT_EQ(context.userIdAt(kStart + 1s), "c:alice");
}
