// The HTTP ingestion: where it sends, what it refuses before sending, how it
// prints answers, and the masking of secrets.

#include "tests/telemetry/TLMLogCapture.h"
#include "tests/telemetry/support/TelemetryTestSupport.h"

#include "telemetry/Internals/Ingestion/TLMDefaultIngestion.h"
#include "telemetry/Internals/Ingestion/TLMHttpUtil.h"
#include "telemetry/TLMErrors.h"
#include "telemetry/TLMTelemetry.h"
#include "telemetry/core/Context/TLMDeviceTracker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using testsupport::makeEvent;

namespace {

struct Sent {
    std::atomic<int> calls{0};
    std::string callId;
    std::optional<platform::Error> error;
    bool hadResponse = false;

    TLMSendAsyncCompletionHandler handler() {
        return [this](const std::string& id, const auto& response, const auto&, const auto& failure) {
            callId = id;
            error = failure;
            hadResponse = response.has_value();
            ++calls;
        };
    }
};

std::shared_ptr<const TLMLogContainer> containerOf(std::vector<std::shared_ptr<TLMAbstractLog>> logs) {
    for (const auto& log : logs) {
        log->setTimestamp(std::chrono::system_clock::now());
        log->setDevice(TLMDeviceTracker::sharedInstance().device());
    }
    return std::make_shared<const TLMLogContainer>("batch-1", std::move(logs));
}

}  // namespace

TEST(TLMHttpUtil, HideSecretKeepsTheLastEightCharacters) {
    struct Case {
        std::string secret;
        std::string shown;
    };
    const Case cases[] = {
        {"", ""},
        {"abc", "***"},
        {"12345678", "********"},
        {"123456789", "*23456789"},
        {"7d3f0c21-9a4e-4b6b-8e15-2c90f4a6d7e3", "****************************f4a6d7e3"},
        {"geheim\xC3\xBC\xC3\xBC\xC3\xBC\xC3\xBC", "**heim\xC3\xBC\xC3\xBC\xC3\xBC\xC3\xBC"},  // whole characters
    };
    for (const Case& c : cases) EXPECT_EQ(TLMHttpUtil::hideSecret(c.secret), c.shown) << c.secret;
}

TEST(TLMHttpIngestion, TheSendUrlIsBasePathAndEncodedQuery) {
    testsupport::ScopedTestLinks links;
    auto client = TLMHttpClient::make();
    TLMDefaultIngestion ingestion(client, "https://in.example", "install-1");
    ASSERT_TRUE(ingestion.sendURL().has_value());
    EXPECT_EQ(ingestion.sendURL()->absoluteString(), "https://in.example/logs?api-version=1.0.0");
    EXPECT_EQ(ingestion.callsRetryIntervals(), (std::vector<double>{10, 300, 1200}));
    ingestion.setBaseURL("http://127.0.0.1:8080");
    EXPECT_EQ(ingestion.sendURL()->absoluteString(), "http://127.0.0.1:8080/logs?api-version=1.0.0");
    ingestion.setBaseURL("not a url");
    EXPECT_FALSE(ingestion.sendURL().has_value());

    TLMHttpIngestion other(client, "https://in.example", "/v1/post", {}, {{"b key", "x&y=z"}, {"a", "1"}}, {}, 1);
    EXPECT_EQ(other.sendURL()->absoluteString(), "https://in.example/v1/post?a=1&b%20key=x%26y%3Dz");
}

TEST(TLMHttpIngestion, BatchesThatCannotGoAreRefusedAtOnceAndNothingIsSent) {
    testsupport::SendingRig rig;
    TLMLogCapture capture;
    struct Case {
        const char* name;
        std::function<void()> prepare;
        std::shared_ptr<const TLMLogContainer> container;
        TLMErrorCode code;
    };
    const Case cases[] = {
        {"no container", [] {}, nullptr, TLMErrorInvalidLogContainer},
        {"empty container", [] {},
         std::make_shared<const TLMLogContainer>("batch-1", std::vector<std::shared_ptr<TLMAbstractLog>>{}),
         TLMErrorInvalidLogContainer},
        {"invalid log", [] {}, containerOf({makeEvent("")}), TLMErrorInvalidLogContainer},
        {"JSON cannot hold it", [] {}, containerOf({makeEvent("bad\xC3")}), TLMErrorSerializationFailed},
        {"no network requests", [] { TLMTelemetry::sharedInstance().setNetworkRequestsAllowed(false); },
         containerOf({makeEvent("fine")}), TLMErrorNetworkRequestsNotAllowed},
        {"disabled",
         [&] {
             TLMTelemetry::sharedInstance().setNetworkRequestsAllowed(true);
             rig.ingestion->setEnabled(false, false);
         },
         containerOf({makeEvent("fine")}), TLMErrorServiceDisabled},
    };
    for (const Case& c : cases) {
        c.prepare();
        Sent sent;
        rig.ingestion->sendAsync(c.container, sent.handler());
        ASSERT_EQ(sent.calls.load(), 1) << c.name;  // at once, on this thread
        ASSERT_TRUE(sent.error.has_value()) << c.name;
        EXPECT_EQ(sent.error->domain(), kTLMErrorDomain) << c.name;
        EXPECT_EQ(sent.error->code(), c.code) << c.name;
        EXPECT_FALSE(sent.hadResponse) << c.name;
        if (c.container) {
            EXPECT_EQ(sent.callId, "batch-1") << c.name;
        }
    }
    EXPECT_TRUE(capture.hasMessage(TLMLogLevelWarning, "TLMDefaultIngestion is disabled."));
    EXPECT_TRUE(capture.hasMessage(TLMLogLevelError, "Invalid log container."));
    // Nothing reached the HTTP client: a call it took would be pending until
    // answered, and an answered one would be at the server.
    EXPECT_TRUE(rig.httpClient->pendingCalls().empty());
    EXPECT_TRUE(rig.server.requests().empty());
}

TEST(TLMHttpIngestion, AnswersArePrintedAtVerboseLevelOnly) {
    testsupport::ScopedTestLinks links;
    auto client = TLMHttpClient::make();
    TLMDefaultIngestion ingestion(client, "https://in.example", "install-1");
    const auto response = [](const char* type) {
        platform::net::HTTPURLResponse head;
        head.statusCode = 202;
        if (type != nullptr) head.headers.set("Content-Type", type);
        return head;
    };
    const std::vector<std::uint8_t> json{'{', '"', 'a', '"', ':', '1', '}'};
    struct Case {
        const char* type;
        const char* payload;
    };
    const Case cases[] = {
        {"application/json; charset=utf-8", "{\n  \"a\": 1\n}"},
        {"text/plain", "{\"a\":1}"},
        {nullptr, "{\"a\":1}"},
        {"image/png", "<binary>"},
    };
    TLMLogger::setCurrentLogLevel(TLMLogLevelVerbose);
    for (const Case& c : cases) {
        TLMLogCapture capture;
        ingestion.printResponse(response(c.type), json, std::nullopt);
        EXPECT_TRUE(capture.hasMessage(TLMLogLevelVerbose, std::string("HTTP response received with status code: 202, "
                                                                       "payload:\n") +
                                                               c.payload))
            << (c.type ? c.type : "no type");
    }
    {
        TLMLogCapture capture;
        ingestion.printResponse(std::nullopt, std::nullopt,
                                platform::Error("URLErrorDomain", -1004,
                                                {{platform::Error::LocalizedDescriptionKey, std::string("refused")}}));
        EXPECT_TRUE(capture.hasMessage(
            TLMLogLevelDebug, "HTTP request error with code: -1004, domain: URLErrorDomain, description: refused"));
    }
    TLMLogger::setCurrentLogLevel(TLMLogLevelDebug);
    TLMLogCapture quiet;
    ingestion.printResponse(response("text/plain"), json, std::nullopt);
    EXPECT_TRUE(quiet.lines().empty());
}
