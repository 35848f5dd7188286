// The HTTP client against the ingestion test server on a virtual clock:
// which answers are retried, compression, cancelling and disabling.

#include "tests/telemetry/support/TelemetryTestSupport.h"

#include "platform/net/URLSession.h"
#include "telemetry/Internals/Ingestion/TLMHttpClient.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <random>
#include <thread>

using namespace std::chrono_literals;
using testsupport::IngestionAnswer;
using testsupport::IngestionRequest;

namespace {

// One call's outcomes, as its handler saw them.
struct Outcome {
    void record(const std::optional<std::vector<std::uint8_t>>& body,
                const std::optional<platform::net::HTTPURLResponse>& response,
                const std::optional<platform::Error>& error) {
        std::lock_guard lock(mutex);
        ++calls;
        status = response ? response->statusCode : 0;
        this->body = body ? std::string(body->begin(), body->end()) : "";
        this->error = error;
    }
    int count() {
        std::lock_guard lock(mutex);
        return calls;
    }
    TLMHttpRequestCompletionHandler handler() {
        return [this](const auto& body, const auto& response, const auto& error) { record(body, response, error); };
    }

    std::mutex mutex;
    int calls = 0;
    int status = 0;
    std::string body;
    std::optional<platform::Error> error;
};

struct ClientRig {
    ClientRig() {
        server.start();
        client = TLMHttpClient::make();
    }
    platform::net::URL url(const std::string& path) const {
        return *platform::net::URL::parse(server.baseUrl() + path);
    }
    std::shared_ptr<TLMHttpCall> send(const std::string& path, std::vector<std::uint8_t> body, Outcome& outcome,
                                      std::vector<double> retryIntervals = {10, 300, 1200}) {
        return client->sendAsync(url(path), "POST", {}, body, std::move(retryIntervals), true, {}, outcome.handler());
    }
    bool waitForRetryWait() {
        return testsupport::eventually([&] {
            for (const auto& call : client->pendingCalls())
                if (call->isWaitingForRetry()) return true;
            return false;
        });
    }

    std::shared_ptr<platform::VirtualClock> clock = std::make_shared<platform::VirtualClock>();
    platform::ScopedClock scopedClock{clock};
    testsupport::ScopedTestLinks links;
    testsupport::IngestionTestServer server;
    std::shared_ptr<TLMHttpClient> client;
};

std::vector<std::uint8_t> clientBytes(const std::string& text) { return {text.begin(), text.end()}; }

}  // namespace

TEST(TLMHttpClient, AnswersThatMayChangeAreRetriedOthersEndTheCall) {
    struct Case {
        int status;
        bool retried;
    };
    const Case cases[] = {{200, false}, {204, false}, {301, false}, {400, false}, {401, false}, {404, false},
                          {408, true},  {429, true},  {500, true},  {503, true},  {599, true}};
    ClientRig rig;
    std::size_t requests = 0;
    for (const Case& c : cases) {
        const std::string path = "/status/" + std::to_string(c.status);
        rig.server.script(path, {}, IngestionAnswer::withStatus(c.status));
        Outcome outcome;
        rig.send(path, clientBytes("{}"), outcome, {1, 2});
        ASSERT_TRUE(rig.server.waitForRequests(++requests)) << c.status;
        if (c.retried) {
            for (const auto interval : {1s, 2s}) {
                ASSERT_TRUE(rig.waitForRetryWait()) << c.status;
                rig.clock->advance(interval);
                ASSERT_TRUE(rig.server.waitForRequests(++requests)) << c.status;
            }
        }
        ASSERT_TRUE(testsupport::eventually([&] { return outcome.count() == 1; })) << c.status;
        EXPECT_EQ(outcome.status, c.status);
        EXPECT_FALSE(outcome.error.has_value()) << c.status;
        // The call leaves the pending list right after its handler ran.
        EXPECT_TRUE(testsupport::eventually([&] { return rig.client->pendingCalls().empty(); })) << c.status;
    }
    EXPECT_EQ(rig.server.requests().size(), requests);
    EXPECT_EQ(requests, 3u * 5 + 6);
}

TEST(TLMHttpClient, AConnectionClosedWithoutAnswerIsRetriedLikeAnyNetworkError) {
    ClientRig rig;
    IngestionAnswer accepted = IngestionAnswer::withStatus(200);
    accepted.body = "{\"ok\":true}";
    rig.server.script("/logs", {IngestionAnswer::dropped(), IngestionAnswer::dropped()}, accepted);
    Outcome outcome;
    rig.send("/logs", clientBytes("{\"logs\":[]}"), outcome);
    ASSERT_TRUE(rig.server.waitForRequests(1));
    ASSERT_TRUE(rig.waitForRetryWait());
    rig.clock->advance(10s);
    ASSERT_TRUE(rig.server.waitForRequests(2));
    ASSERT_TRUE(rig.waitForRetryWait());
    rig.clock->advance(300s);
    ASSERT_TRUE(testsupport::eventually([&] { return outcome.count() == 1; }));
    EXPECT_EQ(outcome.status, 200);
    EXPECT_EQ(outcome.body, "{\"ok\":true}");
    EXPECT_EQ(rig.server.requests().size(), 3u);
}

TEST(TLMHttpClient, BodiesAreCompressedOnlyWhenItPays) {
    ClientRig rig;
    std::mt19937 random(7);
    std::vector<std::uint8_t> noise(5000);
    for (auto& byte : noise) byte = static_cast<std::uint8_t>(random());
    struct Case {
        const char* name;
        std::vector<std::uint8_t> body;
        bool gzipped;
    };
    const Case cases[] = {
        {"short", clientBytes(std::string(1399, 'a')), false},
        {"long enough and repetitive", clientBytes(std::string(1400, 'a')), true},
        {"long but incompressible", noise, false},
    };
    std::size_t requests = 0;
    for (const Case& c : cases) {
        Outcome outcome;
        const auto call = rig.send("/logs", c.body, outcome);
        EXPECT_EQ(call->headers().contains("Content-Encoding"), c.gzipped) << c.name;
        ASSERT_TRUE(rig.server.waitForRequests(++requests)) << c.name;
        const IngestionRequest request = rig.server.requests().back();
        EXPECT_EQ(request.gzipped, c.gzipped) << c.name;
        EXPECT_NE(request.bodyError.rfind("gzip", 0), 0u) << c.name << ": " << request.bodyError;
        if (c.gzipped) {
            EXPECT_LT(request.bodyLength, c.body.size()) << c.name;
            EXPECT_EQ(request.body, std::string(c.body.begin(), c.body.end())) << c.name;
        } else {
            EXPECT_EQ(request.bodyLength, c.body.size()) << c.name;
        }
    }
}

TEST(TLMHttpClient, ACancelledCallEndsOnceWithCancelledAndIsNotRetried) {
    ClientRig rig;
    rig.server.script("/logs", {}, IngestionAnswer::withStatus(500));
    Outcome outcome;
    const auto call = rig.send("/logs", clientBytes("{}"), outcome);
    ASSERT_TRUE(rig.server.waitForRequests(1));
    ASSERT_TRUE(rig.waitForRetryWait());
    call->cancel();
    call->cancel();
    ASSERT_TRUE(testsupport::eventually([&] { return outcome.count() == 1; }));
    ASSERT_TRUE(outcome.error.has_value());
    EXPECT_EQ(outcome.error->domain(), platform::net::URLErrorDomain);
    EXPECT_EQ(outcome.error->code(), platform::net::URLErrorCancelled);
    EXPECT_TRUE(call->isCompleted());
    rig.clock->advance(3600s);
    // Every retry that fell due has run on the client's queue by now.
    ASSERT_TRUE(testsupport::drainHttpClient(*rig.client));
    EXPECT_FALSE(call->isInProgress());
    EXPECT_EQ(rig.server.requests().size(), 1u);
    EXPECT_EQ(outcome.count(), 1);
}

TEST(TLMHttpClient, DisablingCancelsWhatIsOutAndRefusesNewCalls) {
    ClientRig rig;
    IngestionAnswer slow = IngestionAnswer::withStatus(200);
    slow.delaySeconds = 2;
    rig.server.script("/slow", {}, slow);
    Outcome onTheWire;
    Outcome waiting;
    rig.send("/slow", clientBytes("{}"), onTheWire);
    rig.server.script("/failing", {}, IngestionAnswer::withStatus(503));
    rig.send("/failing", clientBytes("{}"), waiting);
    ASSERT_TRUE(rig.waitForRetryWait());
    ASSERT_TRUE(testsupport::eventually([&] {
        const auto calls = rig.client->pendingCalls();
        return calls.size() == 2 && calls[0]->isInProgress();
    }));

    rig.client->setEnabled(false);
    EXPECT_FALSE(rig.client->isEnabled());
    Outcome refused;
    rig.send("/slow", clientBytes("{}"), refused);
    ASSERT_TRUE(testsupport::eventually(
        [&] { return onTheWire.count() == 1 && waiting.count() == 1 && refused.count() == 1; }));
    for (Outcome* outcome : {&onTheWire, &waiting, &refused}) {
        ASSERT_TRUE(outcome->error.has_value());
        EXPECT_EQ(outcome->error->code(), platform::net::URLErrorCancelled);
    }
    EXPECT_TRUE(rig.client->pendingCalls().empty());

    rig.client->setEnabled(true);
    Outcome again;
    rig.server.script("/ok", {}, IngestionAnswer::withStatus(200));
    rig.send("/ok", clientBytes("{}"), again);
    ASSERT_TRUE(testsupport::eventually([&] { return again.count() == 1; }));
    EXPECT_EQ(again.status, 200);
}

TEST(TLMHttpClient, APauseTakesBackWhatIsOnTheWireAndResumeSendsItWithoutCountingARetry) {
    ClientRig rig;
    IngestionAnswer slow = IngestionAnswer::withStatus(200);
    slow.delaySeconds = 1;
    rig.server.script("/logs", {slow}, IngestionAnswer::withStatus(200));
    Outcome outcome;
    const auto call = rig.send("/logs", clientBytes("{}"), outcome);
    // Paused once the server has the request and before it answers.
    ASSERT_TRUE(testsupport::eventually([&] { return rig.server.requests().size() == 1; }));
    rig.client->pause();
    EXPECT_FALSE(call->isInProgress());
    // The slow answer comes to nobody: the server has sent it, and what the
    // client's queue had to do by then is done.
    ASSERT_TRUE(rig.server.waitForRequests(1));
    ASSERT_TRUE(testsupport::drainHttpClient(*rig.client));
    EXPECT_EQ(outcome.count(), 0);

    rig.client->resume();
    ASSERT_TRUE(testsupport::eventually([&] { return outcome.count() == 1; }));
    EXPECT_EQ(outcome.status, 200);
    EXPECT_EQ(call->retryCount(), 0u);
    EXPECT_EQ(rig.server.requests().size(), 2u);
}
