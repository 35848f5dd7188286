// The operation context: defaults, the two log sinks, and the results list
// shared between the session queue and the caller.

#include "storage/BLSOperationContext.h"

#include "storage/BLSRequestResult.h"
#include "storage/BLSRetryPolicy.h"

#include <gtest/gtest.h>

#include <atomic>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using Entry = std::pair<BLSLogLevel, std::string>;

// A client with a per-level filter that records what it is sent and notices
// when two writers are inside it at once.
class RecordingClient : public platform::LogClient {
public:
    explicit RecordingClient(long threshold) : mThreshold(threshold) {}
    bool wouldSend(long level) const override { return level > 0 && level <= mThreshold; }
    void send(long level, const std::string& message) override {
        if (mInside.fetch_add(1) != 0) {
            mOverlapped = true;
        }
        entries.emplace_back(level, message);
        mInside.fetch_sub(1);
    }
    bool overlapped() const { return mOverlapped; }

    std::vector<Entry> entries;

private:
    long mThreshold;
    std::atomic<int> mInside{0};
    std::atomic<bool> mOverlapped{false};
};

// Resets the process-wide settings whatever a test leaves behind.
class OperationContextTest : public ::testing::Test {
protected:
    void TearDown() override {
        BLSOperationContext::setGlobalLogLevel(0);
        BLSOperationContext::setGlobalLogger(nullptr);
        BLSOperationContext::setGlobalLogFunction(nullptr);
    }
};

TEST_F(OperationContextTest, Defaults) {
    BLSOperationContext a;
    BLSOperationContext b;
    const std::regex uuid("^[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}$");
    EXPECT_TRUE(std::regex_match(a.clientRequestId(), uuid)) << a.clientRequestId();
    EXPECT_TRUE(std::regex_match(b.clientRequestId(), uuid)) << b.clientRequestId();
    EXPECT_NE(a.clientRequestId(), b.clientRequestId());

    auto policy = std::dynamic_pointer_cast<BLSRetryPolicyExponential>(a.retryPolicy());
    ASSERT_NE(policy, nullptr);
    EXPECT_EQ(policy->maxAttempts(), 3);
    EXPECT_EQ(policy->averageBackoffDelta(), 2.0);
    EXPECT_NE(a.retryPolicy(), b.retryPolicy());

    EXPECT_EQ(a.logLevel(), 0);
    EXPECT_FALSE(a.logFunction());
    EXPECT_TRUE(a.requestResults().empty());
    EXPECT_EQ(BLSOperationContext::globalLogLevel(), 0);
}

TEST_F(OperationContextTest, NothingIsLoggedByDefault) {
    BLSOperationContext context;
    std::vector<Entry> received;
    // A sink is present but the threshold is 0.
    context.setLogFunction([&](BLSLogLevel level, const std::string& text) { received.emplace_back(level, text); });
    int formatted = 0;
    for (BLSLogLevel level : {1L, 3L, 4L, 6L, 7L, 100L}) {
        context.logAtLevel(level, [&] {
            ++formatted;
            return std::string("message");
        });
    }
    EXPECT_TRUE(received.empty());
    EXPECT_EQ(formatted, 0);
}

TEST_F(OperationContextTest, LevelZeroLogsNothingEvenWithHighThresholds) {
    std::vector<Entry> global, local;
    BLSOperationContext::setGlobalLogLevel(7);
    BLSOperationContext::setGlobalLogFunction([&](BLSLogLevel l, const std::string& t) { global.emplace_back(l, t); });
    BLSOperationContext context;
    context.setLogLevel(7);
    context.setLogFunction([&](BLSLogLevel l, const std::string& t) { local.emplace_back(l, t); });
    int formatted = 0;
    auto make = [&] {
        ++formatted;
        return std::string("never");
    };
    context.logAtLevel(0, make);
    context.logAtLevel(-3, make);
    EXPECT_TRUE(global.empty());
    EXPECT_TRUE(local.empty());
    EXPECT_EQ(formatted, 0);
}

TEST_F(OperationContextTest, ThresholdsPerSink) {
    std::vector<Entry> global, local;
    BLSOperationContext::setGlobalLogLevel(3);
    BLSOperationContext::setGlobalLogFunction([&](BLSLogLevel l, const std::string& t) { global.emplace_back(l, t); });
    BLSOperationContext context;
    context.setLogLevel(6);
    context.setLogFunction([&](BLSLogLevel l, const std::string& t) { local.emplace_back(l, t); });
    context.logAtLevel(3, std::string("error"));
    context.logAtLevel(4, std::string("warning"));
    context.logAtLevel(6, std::string("info"));
    context.logAtLevel(7, std::string("debug"));
    EXPECT_EQ(global, (std::vector<Entry>{{3, "error"}}));
    EXPECT_EQ(local, (std::vector<Entry>{{3, "error"}, {4, "warning"}, {6, "info"}}));
}

TEST_F(OperationContextTest, MessageIsMadeOnceForBothSinksGlobalFirst) {
    std::vector<std::string> order;
    BLSOperationContext::setGlobalLogLevel(7);
    BLSOperationContext::setGlobalLogFunction(
        [&](BLSLogLevel, const std::string& t) { order.push_back("global " + t); });
    BLSOperationContext context;
    context.setLogLevel(7);
    context.setLogFunction([&](BLSLogLevel, const std::string& t) { order.push_back("context " + t); });
    int formatted = 0;
    context.logAtLevel(6, [&] { return "m" + std::to_string(++formatted); });
    EXPECT_EQ(formatted, 1);
    EXPECT_EQ(order, (std::vector<std::string>{"global m1", "context m1"}));

    // Only the per-operation sink wants it: still made once.
    order.clear();
    formatted = 0;
    BLSOperationContext::setGlobalLogLevel(3);
    context.logAtLevel(7, [&] { return "m" + std::to_string(++formatted); });
    EXPECT_EQ(formatted, 1);
    EXPECT_EQ(order, (std::vector<std::string>{"context m1"}));
}

TEST_F(OperationContextTest, FunctionTakesPrecedenceOverClient) {
    RecordingClient client(7);
    std::mutex condition;
    BLSOperationContext context;
    context.setLogLevel(7);
    context.setLogger(&client, &condition);
    EXPECT_EQ(context.logger(), &client);
    EXPECT_EQ(context.loggerCondition(), &condition);
    std::vector<Entry> local;
    context.setLogFunction([&](BLSLogLevel l, const std::string& t) { local.emplace_back(l, t); });
    context.logAtLevel(4, std::string("to the function"));
    EXPECT_EQ(local, (std::vector<Entry>{{4, "to the function"}}));
    EXPECT_TRUE(client.entries.empty());

    // Without the function the client gets it.
    context.setLogFunction(nullptr);
    context.logAtLevel(4, std::string("to the client"));
    EXPECT_EQ(client.entries, (std::vector<Entry>{{4, "to the client"}}));
}

TEST_F(OperationContextTest, ClientIsAskedBeforeFormatting) {
    RecordingClient client(4);  // sends errors and warnings only
    std::mutex condition;
    BLSOperationContext context;
    context.setLogLevel(7);
    context.setLogger(&client, &condition);
    int formatted = 0;
    context.logAtLevel(7, [&] {
        ++formatted;
        return std::string("debug");
    });
    EXPECT_EQ(formatted, 0);
    EXPECT_TRUE(client.entries.empty());
    context.logAtLevel(3, [&] {
        ++formatted;
        return std::string("error");
    });
    EXPECT_EQ(formatted, 1);
    EXPECT_EQ(client.entries, (std::vector<Entry>{{3, "error"}}));

    // A client without its condition is not written to.
    BLSOperationContext unguarded;
    RecordingClient other(7);
    unguarded.setLogLevel(7);
    unguarded.setLogger(&other, nullptr);
    unguarded.logAtLevel(3, std::string("dropped"));
    EXPECT_TRUE(other.entries.empty());
}

TEST_F(OperationContextTest, GlobalClient) {
    RecordingClient client(7);
    BLSOperationContext::setGlobalLogger(&client);
    BLSOperationContext::setGlobalLogLevel(4);
    BLSOperationContext context;  // no sink of its own
    context.logAtLevel(4, std::string("warning"));
    context.logAtLevel(6, std::string("info"));
    EXPECT_EQ(client.entries, (std::vector<Entry>{{4, "warning"}}));

    // The global function wins over the global client.
    std::vector<Entry> global;
    BLSOperationContext::setGlobalLogFunction([&](BLSLogLevel l, const std::string& t) { global.emplace_back(l, t); });
    context.logAtLevel(3, std::string("error"));
    EXPECT_EQ(global, (std::vector<Entry>{{3, "error"}}));
    EXPECT_EQ(client.entries.size(), 1u);
}

TEST_F(OperationContextTest, ClientWritesAreSerialised) {
    RecordingClient globalClient(7);
    RecordingClient sharedClient(7);
    std::mutex sharedCondition;
    BLSOperationContext::setGlobalLogger(&globalClient);
    BLSOperationContext::setGlobalLogLevel(7);

    constexpr int kThreads = 4;
    constexpr int kMessages = 500;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            // Each thread its own context, all sharing one client and its mutex.
            BLSOperationContext context;
            context.setLogLevel(7);
            context.setLogger(&sharedClient, &sharedCondition);
            for (int i = 0; i < kMessages; ++i) {
                context.logAtLevel(6, [&] { return std::to_string(t) + ":" + std::to_string(i); });
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_FALSE(globalClient.overlapped());
    EXPECT_FALSE(sharedClient.overlapped());
    EXPECT_EQ(globalClient.entries.size(), static_cast<std::size_t>(kThreads * kMessages));
    EXPECT_EQ(sharedClient.entries.size(), static_cast<std::size_t>(kThreads * kMessages));
    std::set<std::string> distinct;
    for (const auto& entry : sharedClient.entries) {
        distinct.insert(entry.second);
    }
    EXPECT_EQ(distinct.size(), static_cast<std::size_t>(kThreads * kMessages));
}

TEST_F(OperationContextTest, ResultsAppendedWhileTheCallerReads) {
    BLSOperationContext context;
    constexpr int kThreads = 4;
    constexpr int kResults = 250;
    std::atomic<bool> done{false};
    std::thread reader([&] {
        std::size_t last = 0;
        while (!done.load()) {
            const auto results = context.requestResults();
            EXPECT_GE(results.size(), last);  // never shrinks
            for (const auto& result : results) {
                EXPECT_NE(result, nullptr);
            }
            last = results.size();
        }
    });
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([&] {
            for (int i = 0; i < kResults; ++i) {
                context.addRequestResult(
                    std::make_shared<BLSRequestResult>(std::chrono::system_clock::now(), BLSStorageLocationPrimary));
            }
        });
    }
    for (auto& writer : writers) {
        writer.join();
    }
    done = true;
    reader.join();
    const auto results = context.requestResults();
    ASSERT_EQ(results.size(), static_cast<std::size_t>(kThreads * kResults));
    std::set<const BLSRequestResult*> distinct;
    for (const auto& result : results) {
        distinct.insert(result.get());
    }
    EXPECT_EQ(distinct.size(), results.size());
}

}  // namespace
