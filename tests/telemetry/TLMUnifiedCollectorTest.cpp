// The unified collector: logs for transmission targets leave their unit for
// its "/unified" twin and reach the test server as JSON lines with their
// tokens, upload time and tickets in the headers; the twins follow their
// units; tokens, tickets and answers are masked in the client's output.

#include "tests/telemetry/TLMLogCapture.h"
#include "tests/telemetry/TLMTestRecords.h"
#include "tests/telemetry/support/TelemetryTestSupport.h"

#include "telemetry/Internals/Channel/TLMUnifiedCollectorChannelDelegate.h"
#include "telemetry/Internals/Ingestion/TLMUnifiedCollectorIngestion.h"
#include "telemetry/Internals/Model/TLMLogWithNameAndProperties.h"
#include "telemetry/Internals/Util/TLMTicketCache.h"
#include "telemetry/TLMAnalytics.h"
#include "telemetry/TLMErrors.h"
#include "telemetry/TLMTelemetry.h"
#include "telemetry/core/Model/UnifiedSchema/TLMUnifiedSchemaLog.h"
#include "telemetry/core/Util/TLMUtility.h"
#include "telemetry/core/Util/TLMUuid.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using testsupport::IngestionRequest;

namespace {

// A named log that, like an analytics event, carries its name into its
// unified-schema form (which needs one to be sent). Only its unified-schema
// logs are stored: the database cannot restore a class of the tests.
class NamedLog final : public TLMLogWithNameAndProperties {
public:
    explicit NamedLog(const std::string& name) {
        setType("event");
        setName(name);
    }
    std::shared_ptr<TLMUnifiedSchemaLog> toUnifiedSchemaLogForTargetToken(const std::string& token,
                                                                          TLMFlags flags) const override {
        auto log = TLMAbstractLog::toUnifiedSchemaLogForTargetToken(token, flags);
        log->setName(name());
        return log;
    }
};

std::shared_ptr<NamedLog> namedLog(const std::string& name, const std::vector<std::string>& tokens) {
    auto log = std::make_shared<NamedLog>(name);
    for (const std::string& token : tokens) log->addTransmissionTargetToken(token);
    return log;
}

std::shared_ptr<TLMUnifiedSchemaLog> unifiedLog(const std::string& name, const std::string& token) {
    auto log = std::make_shared<TLMUnifiedSchemaLog>();
    log->setVer("3.0");
    log->setName(name);
    log->setTimestamp(tlmtest::fixedTime());
    log->setIKey(TLMUtility::iKeyFromTargetToken(token).value_or(""));
    log->addTransmissionTargetToken(token);
    return log;
}

const IngestionRequest* requestTo(const std::vector<IngestionRequest>& requests, const std::string& path) {
    for (const IngestionRequest& request : requests) {
        if (request.path == path) return &request;
    }
    return nullptr;
}

// A field of a JSON line, down a path of keys.
const platform::Value* field(const platform::Value& line, std::initializer_list<const char*> path) {
    const platform::Value* value = &line;
    for (const char* key : path) {
        const auto* fields = value->asDictionary();
        if (fields == nullptr || fields->find(key) == fields->end()) return nullptr;
        value = &fields->at(key);
    }
    return value;
}

std::string text(const platform::Value& line, std::initializer_list<const char*> path) {
    const platform::Value* value = field(line, path);
    return value && value->asString() ? *value->asString() : "<none>";
}

// The HTTP client, channel group and unified delegate of the sending rig,
// the delegate added before any unit.
struct UnifiedRig {
    UnifiedRig() { addDelegate(); }
    void addDelegate() {
        delegate =
            std::make_shared<TLMUnifiedCollectorChannelDelegate>(rig.httpClient, installId, rig.server.baseUrl());
        rig.group->addDelegate(delegate);
    }

    testsupport::SendingRig rig;
    std::string installId = TLMNewUuidString();
    std::shared_ptr<TLMUnifiedCollectorChannelDelegate> delegate;
};

}  // namespace

TEST(TLMUnifiedCollector, TargetLogsGoToTheTwinAsJsonLines) {
    UnifiedRig unified;
    testsupport::SendingRig& rig = unified.rig;
    auto unit = rig.addUnit("Analytics");
    auto twin = rig.group->channelUnitForGroupId("Analytics/unified");
    ASSERT_NE(twin, nullptr);
    EXPECT_EQ(twin->ingestion(), unified.delegate->ingestion());

    TLMTicketCache::sharedInstance().setTicket("d:ticket-one", "k1");
    unit->enqueueItem(namedLog("a1", {"aaaa-1111-secret-token"}), TLMFlagsNormal);
    unit->enqueueItem(namedLog("both", {"aaaa-1111-secret-token", "bbbb-2222-secret-token"}), TLMFlagsNormal);
    unit->enqueueItem(testsupport::makeEvent("plain"), TLMFlagsNormal);
    auto withTickets = unifiedLog("tickets", "cccc-3333-secret-token");
    withTickets->setExt(std::make_shared<TLMCSExtensions>());
    withTickets->ext()->setProtocolExt(std::make_shared<TLMProtocolExtension>());
    withTickets->ext()->protocolExt()->setTicketKeys(std::vector<std::string>{"k1", "k2"});
    twin->enqueueItem(withTickets, TLMFlagsNormal);
    rig.drain();  // stored, and the flush timers started

    rig.advance(6s);
    ASSERT_TRUE(rig.server.waitForRequests(2));
    const std::vector<IngestionRequest> requests = rig.server.requests();
    ASSERT_EQ(requests.size(), 2u);

    // The unit itself sends only the log without tokens.
    const IngestionRequest* logs = requestTo(requests, "/logs");
    ASSERT_NE(logs, nullptr);
    EXPECT_EQ(testsupport::eventNames(*logs), std::vector<std::string>{"plain"});

    const IngestionRequest* lines = requestTo(requests, "/UnifiedCollector/1.0");
    ASSERT_NE(lines, nullptr);
    EXPECT_EQ(lines->method, "POST");
    EXPECT_EQ(lines->query, "");
    EXPECT_EQ(lines->kind, IngestionRequest::Kind::Lines) << lines->bodyError;
    EXPECT_TRUE(lines->finalNewline);
    EXPECT_EQ(lines->bodyError, "");
    EXPECT_EQ(lines->header("Content-Type"), "application/x-json-stream; charset=utf-8");
    EXPECT_EQ(lines->header("Client-Version"), "TLC-iOS-ObjectiveC-no-1.0.0-no");
    // Each token once, though two logs carry the first.
    EXPECT_EQ(lines->header("apikey"), "aaaa-1111-secret-token,bbbb-2222-secret-token,cccc-3333-secret-token");
    const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(rig.clock->now().time_since_epoch());
    EXPECT_EQ(lines->header("Upload-Time"), std::to_string(now.count()));
    EXPECT_EQ(lines->header("Tickets"), R"({"k1":"d:ticket-one"})");

    // One line per token, in the order stored, each with the epoch of its
    // iKey and the next sequence number of that iKey.
    EXPECT_EQ(testsupport::eventNames(*lines), (std::vector<std::string>{"a1", "both", "both", "tickets"}));
    ASSERT_EQ(lines->logs.size(), 4u);
    EXPECT_EQ(text(lines->logs[0], {"iKey"}), "o:aaaa");
    EXPECT_EQ(text(lines->logs[1], {"iKey"}), "o:aaaa");
    EXPECT_EQ(text(lines->logs[2], {"iKey"}), "o:bbbb");
    EXPECT_EQ(text(lines->logs[3], {"iKey"}), "o:cccc");
    const std::vector<std::int64_t> expectedSeqs{1, 2, 1, 1};
    for (std::size_t i = 0; i < lines->logs.size(); ++i) {
        const platform::Value* seq = field(lines->logs[i], {"ext", "sdk", "seq"});
        ASSERT_TRUE(seq && seq->asInteger()) << i;
        EXPECT_EQ(*seq->asInteger(), expectedSeqs[i]) << i;
        EXPECT_EQ(text(lines->logs[i], {"ext", "sdk", "installId"}), unified.installId);
        EXPECT_TRUE(TLMIsUuidString(text(lines->logs[i], {"ext", "sdk", "epoch"})));
        EXPECT_EQ(field(lines->logs[i], {"type"}), nullptr);
    }
    EXPECT_EQ(text(lines->logs[0], {"ext", "sdk", "epoch"}), text(lines->logs[1], {"ext", "sdk", "epoch"}));
    EXPECT_NE(text(lines->logs[0], {"ext", "sdk", "epoch"}), text(lines->logs[2], {"ext", "sdk", "epoch"}));
    EXPECT_EQ(text(lines->logs[0], {"ext", "sdk", "libVer"}), "telemetry.ios-1.0.0");

    // Sent batches leave both units' storage.
    EXPECT_TRUE(testsupport::eventually([&] {
        return testsupport::storedLogs(*rig.group, "Analytics").empty() &&
               testsupport::storedLogs(*rig.group, "Analytics/unified").empty();
    }));
}

TEST(TLMUnifiedCollector, HeadersAndBodyOfABatch) {
    auto ingestion = std::make_shared<TLMUnifiedCollectorIngestion>(TLMHttpClient::make(), "https://collector.test");
    ASSERT_TRUE(ingestion->sendURL().has_value());
    EXPECT_EQ(ingestion->sendURL()->absoluteString(), "https://collector.test/UnifiedCollector/1.0");

    auto clock = std::make_shared<platform::VirtualClock>(tlmtest::fixedTime());
    platform::ScopedClock scopedClock(clock);
    // Three logs with one token: it is sent once. No ticket keys, or keys
    // without a ticket: no "Tickets".
    auto second = unifiedLog("second", "aaaa-token");
    second->setExt(std::make_shared<TLMCSExtensions>());
    second->ext()->setProtocolExt(std::make_shared<TLMProtocolExtension>());
    second->ext()->protocolExt()->setTicketKeys(std::vector<std::string>{"unknown-key"});
    const TLMLogContainer same("batch", {unifiedLog("first", "aaaa-token"), second, unifiedLog("third", "aaaa-token")});
    const platform::net::HTTPHeaders headers = ingestion->getHeadersWithData(same, std::nullopt);
    EXPECT_EQ(*headers.get("apikey"), "aaaa-token");
    EXPECT_EQ(*headers.get("Upload-Time"), "1709618828009");
    EXPECT_EQ(headers.get("Tickets"), nullptr);
    EXPECT_EQ(headers.fields().front(),
              (platform::net::HTTPHeaders::Field{"Content-Type", "application/x-json-stream; charset=utf-8"}));

    // Two logs are two lines, each ended by a line feed; "/" is not escaped.
    auto withPath = unifiedLog("a/b", "aaaa-token");
    const TLMLogContainer two("batch", {unifiedLog("first", "aaaa-token"), withPath});
    const auto body = ingestion->getPayloadWithData(two);
    ASSERT_TRUE(body.has_value());
    EXPECT_EQ(std::string(body->begin(), body->end()),
              R"({"ver":"3.0","name":"first","time":"2024-03-05T06:07:08.009Z","iKey":"o:aaaa"})"
              "\n"
              R"({"ver":"3.0","name":"a/b","time":"2024-03-05T06:07:08.009Z","iKey":"o:aaaa"})"
              "\n");

    // A log JSON cannot hold is left out alone; with none left there is no
    // body at all.
    auto broken = unifiedLog("bad \xff name", "aaaa-token");
    TLMLogCapture capture;
    const auto rest = ingestion->getPayloadWithData(TLMLogContainer("mixed", {broken, withPath}));
    ASSERT_TRUE(rest.has_value());
    EXPECT_EQ(std::string(rest->begin(), rest->end()),
              R"({"ver":"3.0","name":"a/b","time":"2024-03-05T06:07:08.009Z","iKey":"o:aaaa"})"
              "\n");
    EXPECT_FALSE(ingestion->getPayloadWithData(TLMLogContainer("broken", {broken})).has_value());
    EXPECT_TRUE(capture.hasMessage(TLMLogLevelError,
                                   "Couldn't serialize 1 of 2 log(s) of batch Id mixed to json, dropped: a text is not "
                                   "UTF-8"));
    EXPECT_TRUE(
        capture.hasMessage(TLMLogLevelError,
                           "Couldn't serialize 1 of 1 log(s) of batch Id broken to json, dropped: a text is not "
                           "UTF-8"));
}

TEST(TLMUnifiedCollector, InvalidBatchesAreRefusedBeforeAnyRequest) {
    UnifiedRig unified;
    const auto& ingestion = unified.delegate->ingestion();
    struct Outcome {
        std::string callId;
        std::optional<platform::Error> error;
        bool called = false;
    };
    auto send = [&](std::shared_ptr<const TLMLogContainer> container) {
        Outcome outcome;
        ingestion->sendAsync(std::move(container), [&](const std::string& callId, const auto&, const auto&,
                                                       const std::optional<platform::Error>& error) {
            outcome = {callId, error, true};
        });
        return outcome;
    };
    TLMLogCapture capture;
    const Outcome empty =
        send(std::make_shared<const TLMLogContainer>("empty-batch", std::vector<std::shared_ptr<TLMAbstractLog>>{}));
    ASSERT_TRUE(empty.called);
    EXPECT_EQ(empty.callId, "empty-batch");
    ASSERT_TRUE(empty.error.has_value());
    EXPECT_EQ(empty.error->domain(), kTLMErrorDomain);
    EXPECT_EQ(empty.error->code(), TLMErrorInvalidLogContainer);
    EXPECT_EQ(empty.error->localizedDescription(), "Invalid log container.");
    EXPECT_TRUE(capture.hasMessage(TLMLogLevelError, "Invalid log container."));

    auto nameless = unifiedLog("", "aaaa-token");
    const Outcome invalid = send(std::make_shared<const TLMLogContainer>(
        "invalid-batch", std::vector<std::shared_ptr<TLMAbstractLog>>{nameless}));
    ASSERT_TRUE(invalid.called);
    EXPECT_EQ(invalid.callId, "invalid-batch");
    EXPECT_EQ(invalid.error->code(), TLMErrorInvalidLogContainer);

    const Outcome missing = send(nullptr);
    ASSERT_TRUE(missing.called);
    EXPECT_EQ(missing.callId, "");

    // A token that cannot go in a header fails the request, not the process.
    const Outcome unsendable = send(std::make_shared<const TLMLogContainer>(
        "bad-token", std::vector<std::shared_ptr<TLMAbstractLog>>{unifiedLog("n", "aaaa\r\nInjected: 1")}));
    ASSERT_TRUE(unsendable.called);
    EXPECT_EQ(unsendable.error->code(), TLMErrorInvalidRequest);

    // Nothing reached the HTTP client: a call it took would be pending until
    // answered, and an answered one would be at the server.
    EXPECT_TRUE(unified.rig.httpClient->pendingCalls().empty());
    EXPECT_TRUE(unified.rig.server.requests().empty());
}

TEST(TLMUnifiedCollector, MasksTokensTicketsAndAnswers) {
    EXPECT_EQ(TLMUnifiedCollectorIngestion::obfuscateTargetTokens("0123456789abcdef,short,12345678,123456789"),
              "********89abcdef,*****,********,*23456789");
    EXPECT_EQ(TLMUnifiedCollectorIngestion::obfuscateTargetTokens(""), "");
    EXPECT_EQ(TLMUnifiedCollectorIngestion::obfuscateTickets(R"({"k1":"d:secret","k2":"plain","a:b":"c"})"),
              R"({"k1":"d:***","k2":"plain","a:***":"c"})");

    UnifiedRig unified;
    const auto& ingestion = unified.delegate->ingestion();
    EXPECT_EQ(ingestion->obfuscateResponsePayload(R"({"token":"abc","TOKEN" :  "def","other":"token"})"),
              R"({"token" : "***","token" : "***","other":"token"})");

    // At debug level nothing of a request is printed; at verbose level the
    // address and the headers, tokens and tickets masked.
    platform::net::HTTPHeaders headers;
    headers.set("apikey", "0123456789abcdef,short");
    headers.set("Tickets", R"({"k1":"d:secret"})");
    headers.set("Upload-Time", "42");
    const auto url = *platform::net::URL::parse("https://collector.test/UnifiedCollector/1.0");
    TLMLogCapture capture;
    TLMLogger::setCurrentLogLevel(TLMLogLevelDebug);
    ingestion->willSendHTTPRequestToURL(url, headers);
    EXPECT_TRUE(capture.lines().empty());
    TLMLogger::setCurrentLogLevel(TLMLogLevelVerbose);
    ingestion->willSendHTTPRequestToURL(url, headers);
    EXPECT_TRUE(capture.hasMessage(TLMLogLevelVerbose, "URL: https://collector.test/UnifiedCollector/1.0"));
    EXPECT_TRUE(capture.hasMessage(TLMLogLevelVerbose,
                                   R"(Headers: apikey = ********89abcdef,*****, Tickets = {"k1":"d:***"}, )"
                                   "Upload-Time = 42"));

    // An answer naming a token is printed with it masked.
    testsupport::IngestionAnswer answer;
    answer.body = R"({"acc":1,"token":"secret-of-server"})";
    answer.headers = {{"Content-Type", "application/json"}};
    unified.rig.server.script("/UnifiedCollector/1.0", {answer});
    auto unit = unified.rig.addUnit("Analytics");
    unit->enqueueItem(namedLog("masked", {"aaaa-token-of-target"}), TLMFlagsNormal);
    unified.rig.drain();
    capture.clear();
    unified.rig.advance(6s);
    ASSERT_TRUE(unified.rig.server.waitForRequests(1));
    ASSERT_TRUE(testsupport::eventually([&] {
        return capture.hasMessage(TLMLogLevelVerbose,
                                  "HTTP response received with status code: 200, payload:\n"
                                  "{\n  \"acc\": 1,\n  \"token\" : \"***\"\n}");
    }));
    for (const auto& line : capture.lines()) {
        EXPECT_EQ(line.message.find("secret-of-server"), std::string::npos) << line.message;
        EXPECT_EQ(line.message.find("aaaa-token-of-target"), std::string::npos) << line.message;
    }
}

TEST(TLMUnifiedCollector, TwinsFollowTheirUnits) {
    UnifiedRig unified;
    testsupport::SendingRig& rig = unified.rig;
    auto unit = rig.addUnit("Analytics", 30);
    auto twin = rig.group->channelUnitForGroupId("Analytics/unified");
    ASSERT_NE(twin, nullptr);
    EXPECT_EQ(twin->configuration().flushInterval(), 30u);
    EXPECT_EQ(twin->configuration().batchSizeLimit(), 50u);
    EXPECT_EQ(twin->configuration().pendingBatchesLimit(), 3u);
    // A twin has no twin of its own; nor does a unit added as one.
    EXPECT_EQ(rig.group->channelUnitForGroupId("Analytics/unified/unified"), nullptr);
    rig.addUnit("Other/unified");
    EXPECT_EQ(rig.group->channelUnitForGroupId("Other/unified/unified"), nullptr);

    int token = 0;
    unit->pauseWithIdentifyingObject(&token);
    rig.drain();
    rig.drain();
    EXPECT_TRUE(twin->isPaused());
    unit->resumeWithIdentifyingObject(&token);
    rig.drain();
    rig.drain();
    EXPECT_FALSE(twin->isPaused());

    unit->enqueueItem(namedLog("kept", {"aaaa-token"}), TLMFlagsNormal);
    rig.drain();
    ASSERT_EQ(testsupport::storedLogs(*rig.group, "Analytics/unified").size(), 1u);
    EXPECT_TRUE(testsupport::storedLogs(*rig.group, "Analytics").empty());
    unit->setEnabled(false, true);
    rig.drain();
    rig.drain();
    EXPECT_FALSE(twin->isEnabled());
    EXPECT_TRUE(testsupport::storedLogs(*rig.group, "Analytics/unified").empty());
    unit->setEnabled(true, false);
    rig.drain();
    rig.drain();
    EXPECT_TRUE(twin->isEnabled());

    // An invalid unified-schema log never reaches a twin's storage.
    TLMLogCapture capture;
    twin->enqueueItem(unifiedLog("", "aaaa-token"), TLMFlagsNormal);
    rig.drain();
    EXPECT_TRUE(testsupport::storedLogs(*rig.group, "Analytics/unified").empty());
    EXPECT_TRUE(capture.hasMessage(TLMLogLevelWarning, "Log is not valid."));
}

TEST(TLMUnifiedCollector, TheClientGivesEveryUnitATwin) {
    testsupport::ScopedTestLinks links;
    TLMTelemetry::start("target=aaaa-token;appsecret=7d3f0c21-9a4e-4b6b-8e15-2c90f4a6d7e3",
                        {&TLMAnalytics::sharedInstance});
    const auto group = TLMTelemetry::sharedInstance().channelGroup();
    ASSERT_NE(group, nullptr);
    for (const char* groupId : {"Telemetry", "Analytics"}) {
        const auto twin = group->channelUnitForGroupId(std::string(groupId) + "/unified");
        ASSERT_NE(twin, nullptr) << groupId;
        EXPECT_NE(std::dynamic_pointer_cast<TLMUnifiedCollectorIngestion>(twin->ingestion()), nullptr);
    }
}
