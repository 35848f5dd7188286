// The executor against a real HTTP server on 127.0.0.1 (cpp-httplib, in
// process), with hand-made commands: a plain GET or PUT, the status check
// as pre-processing, and the body read back from the stream.

#include "storage/BLSExecutor.h"

#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/Stream.h"
#include "platform/net/URLRequest.h"
#include "platform/net/URLSession.h"
#include "platform/security/Crypto.h"
#include "storage/BLSErrors.h"
#include "storage/BLSOperationContext.h"
#include "storage/BLSRequestOptions.h"
#include "storage/BLSRequestResult.h"
#include "storage/BLSResponseParser.h"
#include "storage/BLSRetryPolicy.h"
#include "storage/BLSStorageCommand.h"
#include "tests/storage/support/StorageTestSupport.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using platform::Error;
using platform::net::HTTPURLResponse;
using platform::net::URL;
using platform::net::URLComponents;
using platform::net::URLRequest;
using Bytes = std::vector<std::uint8_t>;
// The commands here read the body, when it went to memory.
using BodyCommand = BLSStorageCommand<Bytes>;
using namespace std::chrono_literals;

namespace {

Bytes pattern(std::size_t size, std::size_t offset = 0) {
    Bytes out(size);
    for (std::size_t i = 0; i < size; ++i) {
        const std::size_t at = offset + i;
        out[i] = static_cast<std::uint8_t>(at * 131 + at / 4096);
    }
    return out;
}

std::string text(const Bytes& bytes) { return {bytes.begin(), bytes.end()}; }

const char* kServerBusyBody =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?><Error><Code>ServerBusy</Code>"
    "<Message>The server is busy.</Message></Error>";

struct ReceivedRequest {
    std::string method;
    std::string path;
    httplib::Headers headers;
    std::string body;

    std::string header(const std::string& name) const {
        auto it = headers.find(name);
        return it == headers.end() ? std::string("<absent>") : it->second;
    }
};

// cpp-httplib on a free port of 127.0.0.1, recording every request.
class TestServer {
public:
    TestServer() {
        // One request per connection: an idle connection the client keeps
        // for reuse would hold stop() for the whole keep-alive time.
        mServer.set_keep_alive_max_count(1);
        mPort = mServer.bind_to_any_port("127.0.0.1");
        mThread = std::thread([this] { mServer.listen_after_bind(); });
        while (!mServer.is_running()) std::this_thread::sleep_for(1ms);
    }
    ~TestServer() { stop(); }

    void stop() {
        mServer.stop();
        if (mThread.joinable()) mThread.join();
    }

    // Every method on `path` goes to `handler` after being recorded.
    void on(const std::string& path, httplib::Server::Handler handler) {
        auto recordThen = [this, handler](const httplib::Request& request, httplib::Response& response) {
            {
                std::lock_guard lock(mMutex);
                mRequests.push_back({request.method, request.path, request.headers, request.body});
            }
            handler(request, response);
        };
        mServer.Get(path, recordThen);
        mServer.Put(path, recordThen);
    }

    std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(mPort) + path; }
    int port() const { return mPort; }
    std::vector<ReceivedRequest> requests() const {
        std::lock_guard lock(mMutex);
        return mRequests;
    }

private:
    httplib::Server mServer;
    int mPort = 0;
    std::thread mThread;
    mutable std::mutex mMutex;
    std::vector<ReceivedRequest> mRequests;
};

std::shared_ptr<BodyCommand> makeCommand(const std::shared_ptr<BLSOperationContext>& context,
                                         std::optional<BLSStorageUri> uri, std::string method = "GET") {
    auto command = std::make_shared<BodyCommand>(nullptr, std::move(uri), context);
    command->setBuildRequest([method](URLComponents& components, double timeout, BLSOperationContext&) {
        auto url = components.url();
        if (!url) throw std::invalid_argument("bad URL");
        URLRequest request(*url);
        request.httpMethod = method;
        request.timeoutInterval = timeout;
        return request;
    });
    command->setPreProcessResponse(
        [](const HTTPURLResponse& response, BLSRequestResult& result, BLSOperationContext& context) {
            return BLSResponseParser::preprocessResponseWithResponse(response, result, context);
        });
    // The result is the body, when it went to memory.
    command->setPostProcessResponse([](const HTTPURLResponse&, BLSRequestResult&, platform::OutputStream* stream,
                                       BLSOperationContext&, std::optional<Error>&) -> Bytes {
        if (stream != nullptr && stream->dataWrittenToMemory() != nullptr) return *stream->dataWrittenToMemory();
        return {};
    });
    return command;
}

std::shared_ptr<BodyCommand> makeCommand(const std::shared_ptr<BLSOperationContext>& context, const std::string& url,
                                         std::string method = "GET") {
    return makeCommand(context, BLSStorageUri(URL::parse(url)), std::move(method));
}

struct Outcome {
    bool finished = false;
    int calls = 0;
    std::optional<Error> error;
    Bytes result;
    std::thread::id thread;
    bool threadHadSignalStack = false;
    bool executorGone = false;  // nothing is left that could call again

    long code() const { return error ? error->code() : 0; }
    Bytes body() const { return result; }
};

// Runs the command and waits for its completion (or gives up after a
// minute: a hang fails the test instead of blocking it), then for the
// executor to be gone.
Outcome run(std::shared_ptr<BodyCommand> command, std::shared_ptr<BLSRequestOptions> options,
            std::shared_ptr<BLSOperationContext> context) {
    auto state = std::make_shared<Outcome>();
    auto mutex = std::make_shared<std::mutex>();
    auto changed = std::make_shared<std::condition_variable>();
    auto executor = BLSExecutor::make(std::move(command), std::move(options), std::move(context),
                                      [state, mutex, changed](std::optional<Error> error, Bytes result) {
                                          std::lock_guard lock(*mutex);
                                          ++state->calls;
                                          state->error = std::move(error);
                                          state->result = std::move(result);
                                          state->thread = std::this_thread::get_id();
                                          stack_t stack{};
                                          state->threadHadSignalStack =
                                              sigaltstack(nullptr, &stack) == 0 && (stack.ss_flags & SS_DISABLE) == 0;
                                          changed->notify_all();
                                      });
    std::weak_ptr<BLSExecutor> watch = executor;
    executor->execute();
    executor.reset();
    {
        std::unique_lock lock(*mutex);
        changed->wait_for(lock, 60s, [&] { return state->calls > 0; });
    }
    for (int i = 0; i < 6000 && !watch.expired(); ++i) std::this_thread::sleep_for(10ms);
    std::lock_guard lock(*mutex);
    Outcome out = *state;
    out.finished = out.calls > 0;
    out.executorGone = watch.expired();
    return out;
}

void expectRanOnceElsewhere(const Outcome& outcome) {
    ASSERT_TRUE(outcome.finished) << "the completion was never called";
    EXPECT_EQ(outcome.calls, 1);
    EXPECT_TRUE(outcome.executorGone);
    EXPECT_NE(outcome.thread, std::this_thread::get_id()) << "completion on the calling thread";
    // A thread of ours, which reports a stack overflow too.
    EXPECT_TRUE(outcome.threadHadSignalStack);
}

std::vector<int> statuses(const BLSOperationContext& context) {
    std::vector<int> out;
    for (const auto& result : context.requestResults())
        out.push_back(result->response() ? result->response()->statusCode : 0);
    return out;
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::shared_ptr<BLSRequestOptions> optionsWithBudget(double seconds) {
    BLSRequestOptions given;
    given.setMaximumExecutionTime(seconds);
    auto options = std::make_shared<BLSRequestOptions>();
    options->applyDefaultsFromOptions(&given);  // fixes the expiry time now
    return options;
}

class Executor : public ::testing::Test {
protected:
    // Retries go out at once; the decision itself is the policy's.
    std::shared_ptr<platform::VirtualClock> clock = storagetest::autoAdvancingClock();
    platform::ScopedClock installedClock{clock};
};

}  // namespace

TEST_F(Executor, DownloadsTheBodyIntoMemoryAFileOrAStreamOnTheCallersLoop) {
    TestServer server;
    const Bytes body = pattern(300 * 1024);
    server.on("/blob", [&](const httplib::Request&, httplib::Response& response) {
        response.set_content(text(body), "application/octet-stream");
    });

    // A caller's run loop, run by a thread of the test.
    std::shared_ptr<platform::RunLoop> callerLoop;
    std::atomic<bool> stopLoop{false};
    std::atomic<bool> loopReady{false};
    std::thread loopThread([&] {
        callerLoop = platform::RunLoop::current();
        loopReady = true;
        while (!stopLoop) callerLoop->runUntil([&] { return stopLoop.load(); }, 20ms);
    });
    while (!loopReady) std::this_thread::yield();

    enum class Target { Memory, File, CallerLoop, OpenedByCaller };
    const std::pair<const char*, Target> cases[] = {{"memory", Target::Memory},
                                                    {"file", Target::File},
                                                    {"stream on the caller's loop", Target::CallerLoop},
                                                    {"stream the caller opened already", Target::OpenedByCaller}};
    for (const auto& [name, target] : cases) {
        SCOPED_TRACE(name);
        auto context = std::make_shared<BLSOperationContext>();
        auto command = makeCommand(context, server.url("/blob"));
        auto options = std::make_shared<BLSRequestOptions>();
        const auto path = platform::Paths::root() / "download.bin";
        std::shared_ptr<platform::OutputStream> destination;
        if (target == Target::File) {
            destination = platform::OutputStream::toFile(path);
        } else if (target == Target::CallerLoop) {
            destination = platform::OutputStream::toMemory();
            options->setRunLoopForDownload(callerLoop);
        } else if (target == Target::OpenedByCaller) {
            destination = platform::OutputStream::toMemory();
            destination->open();
        }
        command->setDestinationStream(destination);

        Outcome outcome = run(command, options, context);
        expectRanOnceElsewhere(outcome);
        EXPECT_FALSE(outcome.error.has_value());
        switch (target) {
            case Target::Memory: EXPECT_TRUE(outcome.body() == body); break;
            case Target::File:
                EXPECT_EQ(destination->status(), platform::StreamStatus::Closed);
                EXPECT_TRUE(readFile(path) == text(body));
                break;
            case Target::CallerLoop:
            case Target::OpenedByCaller:
                EXPECT_EQ(destination->status(), platform::StreamStatus::Closed);
                EXPECT_TRUE(*destination->dataWrittenToMemory() == body);
                break;
        }
        EXPECT_EQ(statuses(*context), std::vector<int>{200});
        EXPECT_TRUE(context->startTime().has_value());
        EXPECT_TRUE(context->endTime().has_value());
        EXPECT_FALSE(context->requestResults()[0]->error().has_value());
        EXPECT_EQ(context->requestResults()[0]->targetLocation(), BLSStorageLocationPrimary);
    }
    stopLoop = true;
    loopThread.join();
}

TEST_F(Executor, SendsTheClientHeadersAndTheCallersHeaders) {
    TestServer server;
    server.on("/h",
              [](const httplib::Request&, httplib::Response& response) { response.set_content("", "text/plain"); });
    struct Case {
        const char* name;
        std::optional<std::string> clientRequestId;  // nullopt: the context's own
        std::map<std::string, std::string> userHeaders;
        std::string expectedId;  // "" = the context's own
        std::string expectedAgentPrefix;
    };
    const Case cases[] = {
        {"defaults", std::nullopt, {}, "", "BlobStorageClient/1.0 (Linux "},
        {"empty id sends none", std::string(), {}, "<absent>", "BlobStorageClient/1.0 (Linux "},
        {"user headers win", std::nullopt, {{"User-Agent", "mine/2"}, {"x-bs-meta-a", "b"}}, "", "mine/2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto before = server.requests().size();
        auto context = std::make_shared<BLSOperationContext>();
        if (c.clientRequestId) context->setClientRequestId(*c.clientRequestId);
        context->setUserHeaders(c.userHeaders);
        int hookCalls = 0;
        context->setSendingRequest([&](URLRequest& request, BLSOperationContext&) {
            ++hookCalls;
            request.setValue("1", "x-bs-hook");
        });
        Outcome outcome = run(makeCommand(context, server.url("/h")), nullptr, context);
        expectRanOnceElsewhere(outcome);
        EXPECT_FALSE(outcome.error.has_value());
        EXPECT_EQ(hookCalls, 1);
        auto requests = server.requests();
        ASSERT_EQ(requests.size(), before + 1);
        const auto& sent = requests.back();
        EXPECT_EQ(sent.header("x-bs-client-request-id"),
                  c.expectedId.empty() ? context->clientRequestId() : c.expectedId);
        const std::string agent = sent.header("User-Agent");
        EXPECT_EQ(agent.rfind(c.expectedAgentPrefix, 0), 0u) << agent;
        if (c.expectedAgentPrefix.back() == ' ') {
            EXPECT_EQ(agent.back(), ')');
        }
        EXPECT_EQ(sent.header("x-bs-hook"), "1");
        for (const auto& [name, value] : c.userHeaders) EXPECT_EQ(sent.header(name), value);
    }
}

TEST_F(Executor, RetriesBusyAnswersWithTheSameClientRequestIdAndKeepsErrorBodiesOutOfTheStream) {
    TestServer server;
    std::atomic<int> count{0};
    const Bytes body = pattern(5000);
    server.on("/busy", [&](const httplib::Request&, httplib::Response& response) {
        if (++count <= 2) {
            response.status = 503;
            response.set_content(kServerBusyBody, "application/xml");
        } else {
            response.set_content(text(body), "application/octet-stream");
        }
    });
    auto context = std::make_shared<BLSOperationContext>();
    auto command = makeCommand(context, server.url("/busy"));
    auto destination = platform::OutputStream::toMemory();
    command->setDestinationStream(destination);

    Outcome outcome = run(command, nullptr, context);
    expectRanOnceElsewhere(outcome);
    EXPECT_FALSE(outcome.error.has_value());
    EXPECT_TRUE(*destination->dataWrittenToMemory() == body) << "only the successful body reaches the stream";

    auto requests = server.requests();
    ASSERT_EQ(requests.size(), 3u);
    for (const auto& r : requests) EXPECT_EQ(r.header("x-bs-client-request-id"), context->clientRequestId());
    EXPECT_EQ(statuses(*context), (std::vector<int>{503, 503, 200}));
    // The failed attempts keep their error, read from the error body.
    for (int i = 0; i < 2; ++i) {
        const auto& error = context->requestResults()[i]->error();
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(error->code(), static_cast<long>(BLSErrorCode::ServerError));
        const auto* code = error->userInfoValue<std::string>(BLSErrorKey::Code);
        ASSERT_NE(code, nullptr);
        EXPECT_EQ(*code, "ServerBusy");
    }
}

TEST_F(Executor, RetriesOnlyWhatThePolicyCallsRetriable) {
    struct Case {
        const char* name;
        int firstStatus;
        std::vector<int> expectedStatuses;
        long expectedCode;
    };
    const Case cases[] = {
        {"404 is final", 404, {404}, static_cast<long>(BLSErrorCode::ServerError)},
        {"408 is retried", 408, {408, 200}, 0},
        {"500 is retried", 500, {500, 200}, 0},
        {"412 is final", 412, {412}, static_cast<long>(BLSErrorCode::ServerError)},
        {"400 is final", 400, {400}, static_cast<long>(BLSErrorCode::ServerError)},
        {"503 is retried", 503, {503, 200}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TestServer server;
        std::atomic<int> count{0};
        server.on("/r", [&](const httplib::Request&, httplib::Response& response) {
            if (++count == 1) {
                response.status = c.firstStatus;
            } else {
                response.set_content("ok", "text/plain");
            }
        });
        auto context = std::make_shared<BLSOperationContext>();
        Outcome outcome = run(makeCommand(context, server.url("/r")), nullptr, context);
        expectRanOnceElsewhere(outcome);
        EXPECT_EQ(outcome.code(), c.expectedCode);
        EXPECT_EQ(statuses(*context), c.expectedStatuses);
        EXPECT_EQ(server.requests().size(), c.expectedStatuses.size());
        if (c.expectedCode != 0) {
            // An unsuccessful answer without body: the status check's error as it is.
            const auto* status = outcome.error->userInfoValue<long>(BLSErrorKey::HTTPStatusCode);
            ASSERT_NE(status, nullptr);
            EXPECT_EQ(*status, c.firstStatus);
            EXPECT_FALSE(outcome.error->hasUserInfo(BLSErrorKey::RawErrorData));
        } else {
            EXPECT_TRUE(outcome.body() == Bytes({'o', 'k'}));
        }
    }
}

TEST_F(Executor, ATransportFailureIsRetriedAndEndsInCode2) {
    int port = 0;
    {
        TestServer closed;
        port = closed.port();
    }
    auto context = std::make_shared<BLSOperationContext>();
    Outcome outcome = run(makeCommand(context, "http://127.0.0.1:" + std::to_string(port) + "/gone"), nullptr, context);
    expectRanOnceElsewhere(outcome);
    EXPECT_EQ(outcome.code(), static_cast<long>(BLSErrorCode::URLSessionError));
    const auto* inner = outcome.error->userInfoValue<Error>(BLSErrorKey::InnerError);
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(inner->domain(), platform::net::URLErrorDomain);
    EXPECT_EQ(statuses(*context), (std::vector<int>{0, 0, 0}));
    for (const auto& result : context->requestResults()) {
        ASSERT_TRUE(result->error().has_value());
        EXPECT_EQ(result->error()->code(), static_cast<long>(BLSErrorCode::URLSessionError));
    }
}

TEST_F(Executor, AnAnswerLaterThanTheServerTimeoutIsATimedOutTransportFailure) {
    TestServer server;
    std::atomic<int> count{0};
    server.on("/slow", [&](const httplib::Request&, httplib::Response& response) {
        if (++count == 1) std::this_thread::sleep_for(1500ms);
        response.set_content("late", "text/plain");
    });
    BLSRequestOptions given;
    given.setServerTimeout(0.3);
    auto options = std::make_shared<BLSRequestOptions>();
    options->applyDefaultsFromOptions(&given);
    auto context = std::make_shared<BLSOperationContext>();
    Outcome outcome = run(makeCommand(context, server.url("/slow")), options, context);
    expectRanOnceElsewhere(outcome);
    // The first attempt timed out and was retried; the second was answered.
    EXPECT_EQ(outcome.code(), 0);
    EXPECT_TRUE(outcome.body() == Bytes({'l', 'a', 't', 'e'}));
    const auto results = context->requestResults();
    ASSERT_EQ(results.size(), 2u);
    ASSERT_TRUE(results[0]->error().has_value());
    EXPECT_EQ(results[0]->error()->code(), static_cast<long>(BLSErrorCode::URLSessionError));
    const auto* inner = results[0]->error()->userInfoValue<Error>(BLSErrorKey::InnerError);
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(inner->code(), platform::net::URLErrorTimedOut);
}

TEST_F(Executor, ANotFoundFromTheSecondaryIsRetriedOnThePrimaryOnly) {
    TestServer primary;
    TestServer secondary;
    primary.on("/b", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("primary", "text/plain");
    });
    secondary.on("/b", [](const httplib::Request&, httplib::Response& response) { response.status = 404; });
    auto context = std::make_shared<BLSOperationContext>();
    auto command = makeCommand(context, BLSStorageUri(URL::parse(primary.url("/b")), URL::parse(secondary.url("/b"))));
    command->setAllowedStorageLocation(BLSAllowedStorageLocationPrimaryOrSecondary);
    BLSRequestOptions given;
    given.setStorageLocationMode(BLSStorageLocationModeSecondaryThenPrimary);
    auto options = std::make_shared<BLSRequestOptions>();
    options->applyDefaultsFromOptions(&given);
    Outcome outcome = run(command, options, context);
    expectRanOnceElsewhere(outcome);
    EXPECT_EQ(outcome.code(), 0);
    EXPECT_EQ(secondary.requests().size(), 1u);
    EXPECT_EQ(primary.requests().size(), 1u);
    const auto results = context->requestResults();
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0]->targetLocation(), BLSStorageLocationSecondary);
    EXPECT_EQ(results[1]->targetLocation(), BLSStorageLocationPrimary);

    // Secondary only: the 404 is retried where it came from, never on the primary.
    auto onlyContext = std::make_shared<BLSOperationContext>();
    auto onlyCommand =
        makeCommand(onlyContext, BLSStorageUri(URL::parse(primary.url("/b")), URL::parse(secondary.url("/b"))));
    onlyCommand->setAllowedStorageLocation(BLSAllowedStorageLocationPrimaryOrSecondary);
    BLSRequestOptions onlyGiven;
    onlyGiven.setStorageLocationMode(BLSStorageLocationModeSecondaryOnly);
    auto onlyOptions = std::make_shared<BLSRequestOptions>();
    onlyOptions->applyDefaultsFromOptions(&onlyGiven);
    Outcome only = run(onlyCommand, onlyOptions, onlyContext);
    expectRanOnceElsewhere(only);
    EXPECT_EQ(only.code(), static_cast<long>(BLSErrorCode::ServerError));
    EXPECT_EQ(primary.requests().size(), 1u) << "the primary is never tried";
    EXPECT_EQ(secondary.requests().size(), 4u);
}

// An attempt that gets no answer must not inherit the previous attempt's
// response: its result has none, and the policy judges it as a transport
// failure.
TEST_F(Executor, AnAttemptWithoutResponseKeepsNothingOfTheAttemptBefore) {
    TestServer server;
    server.on("/busy", [](const httplib::Request&, httplib::Response& response) {
        response.status = 503;
        response.set_content(kServerBusyBody, "application/xml");
    });
    // The test moves the clock: the server goes away during the first wait
    // before a retry.
    clock->setAutoAdvance(false);
    std::atomic<bool> finished{false};
    int waits = 0;
    std::thread driver([&] {
        while (!finished) {
            if (!clock->waitForWaiters(1, 20ms)) continue;
            if (++waits == 1) server.stop();
            clock->advance(std::chrono::minutes(3));  // longer than any retry interval
        }
    });
    auto context = std::make_shared<BLSOperationContext>();
    Outcome outcome = run(makeCommand(context, server.url("/busy")), nullptr, context);
    finished = true;
    driver.join();
    expectRanOnceElsewhere(outcome);
    EXPECT_EQ(waits, 2);
    EXPECT_EQ(outcome.code(), static_cast<long>(BLSErrorCode::URLSessionError));
    EXPECT_EQ(statuses(*context), (std::vector<int>{503, 0, 0}));
}

TEST_F(Executor, NoRetryOnceBytesReachedTheCallersStream) {
    // 1000 bytes announced, 500 sent, then the connection is dropped.
    for (bool toCallersStream : {true, false}) {
        SCOPED_TRACE(toCallersStream ? "caller's stream" : "memory");
        TestServer server;
        server.on("/cut", [](const httplib::Request&, httplib::Response& response) {
            response.set_content_provider(1000, "application/octet-stream",
                                          [](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                              if (offset >= 500) return false;
                                              auto half = pattern(500);
                                              sink.write(reinterpret_cast<const char*>(half.data()), half.size());
                                              return true;
                                          });
        });
        auto context = std::make_shared<BLSOperationContext>();
        auto command = makeCommand(context, server.url("/cut"));
        auto destination = platform::OutputStream::toMemory();
        if (toCallersStream) command->setDestinationStream(destination);
        Outcome outcome = run(command, nullptr, context);
        expectRanOnceElsewhere(outcome);
        EXPECT_EQ(outcome.code(), static_cast<long>(BLSErrorCode::URLSessionError));
        if (toCallersStream) {
            EXPECT_EQ(server.requests().size(), 1u);
            EXPECT_TRUE(*destination->dataWrittenToMemory() == pattern(500));
        } else {
            EXPECT_EQ(server.requests().size(), 3u);
        }
    }
}

TEST_F(Executor, AUsedUpTimeBudgetEndsWithCode5) {
    TestServer server;
    server.on("/busy", [](const httplib::Request&, httplib::Response& response) { response.status = 503; });

    // Nothing left before the first attempt: nothing is sent or recorded.
    auto context = std::make_shared<BLSOperationContext>();
    Outcome outcome = run(makeCommand(context, server.url("/busy")), optionsWithBudget(0.0), context);
    expectRanOnceElsewhere(outcome);
    EXPECT_EQ(outcome.code(), static_cast<long>(BLSErrorCode::OperationTimedOut));
    EXPECT_TRUE(outcome.error->userInfo().empty());
    EXPECT_TRUE(server.requests().empty());
    EXPECT_TRUE(context->requestResults().empty());
    EXPECT_FALSE(context->endTime().has_value());

    // Used up while waiting to retry: the shortest wait is as long as the budget.
    auto context2 = std::make_shared<BLSOperationContext>();
    const auto before = clock->now();
    Outcome later = run(makeCommand(context2, server.url("/busy")), optionsWithBudget(0.5), context2);
    expectRanOnceElsewhere(later);
    EXPECT_GE(clock->now() - before, 500ms);
    EXPECT_EQ(later.code(), static_cast<long>(BLSErrorCode::OperationTimedOut));
    EXPECT_EQ(statuses(*context2), std::vector<int>{503});
    EXPECT_EQ(server.requests().size(), 1u);
}

TEST_F(Executor, RemainingTimeWithoutExpiryIsSevenDays) {
    auto context = std::make_shared<BLSOperationContext>();
    auto executor = BLSExecutor::make(makeCommand(context, "http://127.0.0.1:1/x"), nullptr, context, {});
    EXPECT_EQ(executor->remainingTime(), 604800.0);
    auto limited = BLSExecutor::make(makeCommand(context, "http://127.0.0.1:1/x"), optionsWithBudget(100), context, {});
    EXPECT_GT(limited->remainingTime(), 90.0);
    EXPECT_LE(limited->remainingTime(), 100.0);
}

TEST_F(Executor, LocationChecksFailWithCode1BeforeSending) {
    TestServer server;
    server.on("/p",
              [](const httplib::Request&, httplib::Response& response) { response.set_content("P", "text/plain"); });
    server.on("/s",
              [](const httplib::Request&, httplib::Response& response) { response.set_content("S", "text/plain"); });
    const auto primary = URL::parse(server.url("/p"));
    const auto secondary = URL::parse(server.url("/s"));
    struct Case {
        const char* name;
        BLSStorageUri uri;
        BLSStorageLocationMode mode;
        BLSAllowedStorageLocation allowed;
        std::string expected;  // message, or the body of the location reached
    };
    const Case cases[] = {
        {"primary only without primary", BLSStorageUri(std::nullopt, secondary), BLSStorageLocationModePrimaryOnly,
         BLSAllowedStorageLocationPrimaryOrSecondary, "No URI specified for input BLSStorageLocationMode."},
        {"secondary only without secondary", BLSStorageUri(primary), BLSStorageLocationModeSecondaryOnly,
         BLSAllowedStorageLocationPrimaryOrSecondary, "No URI specified for input BLSStorageLocationMode."},
        {"either order needs both", BLSStorageUri(primary), BLSStorageLocationModePrimaryThenSecondary,
         BLSAllowedStorageLocationPrimaryOrSecondary, "No URI specified for input BLSStorageLocationMode."},
        {"secondary-only command in primary-only mode", BLSStorageUri(primary, secondary),
         BLSStorageLocationModePrimaryOnly, BLSAllowedStorageLocationSecondaryOnly,
         "Cannot make this request to primary."},
        {"primary-only command in secondary-only mode", BLSStorageUri(primary, secondary),
         BLSStorageLocationModeSecondaryOnly, BLSAllowedStorageLocationPrimaryOnly,
         "Cannot make this request to secondary."},
        {"secondary-only command narrows mode 2", BLSStorageUri(primary, secondary),
         BLSStorageLocationModePrimaryThenSecondary, BLSAllowedStorageLocationSecondaryOnly, "S"},
        {"mode 4 starts at the secondary", BLSStorageUri(primary, secondary),
         BLSStorageLocationModeSecondaryThenPrimary, BLSAllowedStorageLocationPrimaryOrSecondary, "S"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto before = server.requests().size();
        auto context = std::make_shared<BLSOperationContext>();
        auto command = makeCommand(context, c.uri);
        command->setAllowedStorageLocation(c.allowed);
        auto options = std::make_shared<BLSRequestOptions>();
        options->setStorageLocationMode(c.mode);
        Outcome outcome = run(command, options, context);
        expectRanOnceElsewhere(outcome);
        if (c.expected.size() == 1) {
            EXPECT_FALSE(outcome.error.has_value());
            EXPECT_EQ(text(outcome.body()), c.expected);
            ASSERT_EQ(context->requestResults().size(), 1u);
            EXPECT_EQ(context->requestResults()[0]->targetLocation(), BLSStorageLocationSecondary);
            continue;
        }
        ASSERT_TRUE(outcome.error.has_value());
        EXPECT_EQ(outcome.error->domain(), BLSErrorDomain);
        EXPECT_EQ(outcome.code(), static_cast<long>(BLSErrorCode::InvalidArgumentOrState));
        EXPECT_EQ(outcome.error->localizedDescription(), c.expected);
        EXPECT_EQ(server.requests().size(), before);
        EXPECT_TRUE(context->requestResults().empty());
    }
}

TEST_F(Executor, BadRequestTextAndSigningFailuresSendNothing) {
    TestServer server;
    server.on("/x",
              [](const httplib::Request&, httplib::Response& response) { response.set_content("", "text/plain"); });
    struct Case {
        const char* name;
        std::function<void(BodyCommand&, BLSOperationContext&)> spoil;
        long code;
        std::string reasonContains;
    };
    const Case cases[] = {
        {"header value with CR LF from the command",
         [](BodyCommand& command, BLSOperationContext&) {
             auto build = command.buildRequest();
             command.setBuildRequest([build](URLComponents& c, double t, BLSOperationContext& o) {
                 auto request = build(c, t, o);
                 request.setValue("a\r\nx-bs-evil: 1", "x-bs-meta-name");
                 return request;
             });
         },
         1, ""},
        {"user header with LF",
         [](BodyCommand&, BLSOperationContext& context) {
             context.setUserHeaders({{"x-bs-meta-a", "1\nInjected: yes"}});
         },
         1, ""},
        {"invalid argument from the command",
         [](BodyCommand& command, BLSOperationContext&) {
             command.setBuildRequest([](URLComponents&, double, BLSOperationContext&) -> URLRequest {
                 throw std::invalid_argument("Blob name too long.");
             });
         },
         1, "Blob name too long."},
        {"signing refuses",
         [](BodyCommand& command, BLSOperationContext&) {
             command.setSignRequest([](URLRequest&, BLSOperationContext&) -> std::optional<Error> {
                 return BLSMakeInvalidArgumentError("Cannot sign.");
             });
         },
         1, "Cannot sign."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto context = std::make_shared<BLSOperationContext>();
        auto command = makeCommand(context, server.url("/x"));
        c.spoil(*command, *context);
        Outcome outcome = run(command, nullptr, context);
        expectRanOnceElsewhere(outcome);
        EXPECT_EQ(outcome.code(), c.code);
        EXPECT_FALSE(outcome.error->localizedDescription().empty());
        if (!c.reasonContains.empty()) {
            EXPECT_NE(outcome.error->localizedDescription().find(c.reasonContains), std::string::npos);
        }
        EXPECT_TRUE(server.requests().empty());
        EXPECT_TRUE(context->requestResults().empty());
    }
}

TEST_F(Executor, ComputesTheMD5OfTheBodyWhenTheAnswerCarriesOne) {
    TestServer server;
    const Bytes body = pattern(70000, 9);
    server.on("/md5", [&](const httplib::Request& request, httplib::Response& response) {
        if (request.has_header("x-test-with-md5")) response.set_header("Content-MD5", "AAAAAAAAAAAAAAAAAAAAAA==");
        response.set_content(text(body), "application/octet-stream");
    });
    const std::string expected = platform::security::base64Encode(platform::security::md5(body));
    for (bool withHeader : {true, false}) {
        SCOPED_TRACE(withHeader ? "with Content-MD5" : "without Content-MD5");
        auto context = std::make_shared<BLSOperationContext>();
        if (withHeader) context->setUserHeaders({{"x-test-with-md5", "1"}});
        auto command = makeCommand(context, server.url("/md5"));
        command->setCalculateResponseMD5(true);
        std::optional<std::string> seenByPostProcess;
        command->setPostProcessResponse([&](const HTTPURLResponse&, BLSRequestResult& result, platform::OutputStream*,
                                            BLSOperationContext&, std::optional<Error>&) -> Bytes {
            seenByPostProcess = result.calculatedResponseMD5();
            return {};
        });
        Outcome outcome = run(command, nullptr, context);
        expectRanOnceElsewhere(outcome);
        EXPECT_FALSE(outcome.error.has_value());
        ASSERT_EQ(context->requestResults().size(), 1u);
        if (withHeader) {
            EXPECT_EQ(seenByPostProcess, expected);
            EXPECT_EQ(context->requestResults()[0]->calculatedResponseMD5(), expected);
        } else {
            EXPECT_EQ(seenByPostProcess, std::nullopt);
            EXPECT_EQ(context->requestResults()[0]->calculatedResponseMD5(), std::nullopt);
        }
    }
}

TEST_F(Executor, AnUploadSendsTheSourceAsBody) {
    TestServer server;
    server.on("/up", [](const httplib::Request&, httplib::Response& response) { response.status = 201; });
    auto context = std::make_shared<BLSOperationContext>();
    auto command = makeCommand(context, server.url("/up"), "PUT");
    const Bytes source = pattern(12345, 5);
    command->setSource(source);
    Outcome outcome = run(command, nullptr, context);
    expectRanOnceElsewhere(outcome);
    EXPECT_FALSE(outcome.error.has_value());
    auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "PUT");
    EXPECT_TRUE(requests[0].body == text(source));
}

TEST_F(Executor, ADestinationFileInAMissingFolderFailsWithCode8AndNeverHangs) {
    TestServer server;
    const Bytes body = pattern(3 * 1024 * 1024);
    server.on("/big", [&](const httplib::Request&, httplib::Response& response) {
        response.set_content(text(body), "application/octet-stream");
    });
    auto context = std::make_shared<BLSOperationContext>();
    auto command = makeCommand(context, server.url("/big"));
    auto destination = platform::OutputStream::toFile(platform::Paths::root() / "missing" / "folder" / "blob.bin");
    command->setDestinationStream(destination);
    Outcome outcome = run(command, nullptr, context);
    expectRanOnceElsewhere(outcome);
    EXPECT_EQ(outcome.code(), static_cast<long>(BLSErrorCode::OutputStreamError));
    const auto* inner = outcome.error->userInfoValue<Error>(BLSErrorKey::InnerError);
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(inner->code(), ENOENT);
    // Nothing reached the stream, so the policy decided: a 200 whose
    // processing failed is retried, and each attempt ends the same way.
    EXPECT_EQ(statuses(*context), (std::vector<int>{200, 200, 200}));
}

TEST_F(Executor, AClosedMemoryDestinationFailsWithCode8) {
    // The session writes a body bound for memory itself; the stream's
    // failure is still the stream's, not the transport's.
    TestServer server;
    server.on("/small",
              [](const httplib::Request&, httplib::Response& response) { response.set_content("abc", "text/plain"); });
    auto context = std::make_shared<BLSOperationContext>();
    auto command = makeCommand(context, server.url("/small"));
    auto destination = platform::OutputStream::toMemory();
    destination->open();
    destination->close();
    command->setDestinationStream(destination);
    Outcome outcome = run(command, nullptr, context);
    expectRanOnceElsewhere(outcome);
    EXPECT_EQ(outcome.code(), static_cast<long>(BLSErrorCode::OutputStreamError));
    const auto* inner = outcome.error->userInfoValue<Error>(BLSErrorKey::InnerError);
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(inner->code(), EBADF);
    EXPECT_TRUE(destination->dataWrittenToMemory()->empty());
    EXPECT_EQ(statuses(*context), (std::vector<int>{200, 200, 200}));
}

// A sink that takes little at a time and checks every byte it gets.
class SlowSink : public platform::OutputStream {
public:
    explicit SlowSink(const std::atomic<std::uint64_t>& served) : mServed(served) {}
    long write(const std::uint8_t* data, std::size_t length) override {
        if (status() != platform::StreamStatus::Open) return -1;
        const std::size_t n = std::min<std::size_t>(length, 8 * 1024);
        for (std::size_t i = 0; i < n; ++i) {
            const std::size_t at = mTaken + i;
            if (data[i] != static_cast<std::uint8_t>(at * 131 + at / 4096)) ++mWrongBytes;
        }
        mTaken += n;
        const std::uint64_t ahead = mServed.load() - std::min<std::uint64_t>(mServed.load(), mTaken);
        mLargestLead = std::max(mLargestLead.load(), ahead);
        std::this_thread::sleep_for(100us);
        postEvent(platform::StreamEvent::HasSpaceAvailable);
        return static_cast<long>(n);
    }
    std::atomic<std::uint64_t> mTaken{0};
    std::atomic<std::uint64_t> mWrongBytes{0};
    std::atomic<std::uint64_t> mLargestLead{0};

private:
    const std::atomic<std::uint64_t>& mServed;
};

TEST_F(Executor, ASlowSinkHoldsTheTransferBackAndMemoryStaysBounded) {
    constexpr std::uint64_t kTotal = 64ull * 1024 * 1024;
    TestServer server;
    std::atomic<std::uint64_t> served{0};
    server.on("/huge", [&](const httplib::Request&, httplib::Response& response) {
        response.set_content_provider(kTotal, "application/octet-stream",
                                      [&](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                                          auto piece = pattern(std::min<std::size_t>(length, 64 * 1024), offset);
                                          if (!sink.write(reinterpret_cast<const char*>(piece.data()), piece.size())) {
                                              return false;
                                          }
                                          served += piece.size();
                                          return true;
                                      });
    });
    auto context = std::make_shared<BLSOperationContext>();
    auto command = makeCommand(context, server.url("/huge"));
    auto sink = std::make_shared<SlowSink>(served);
    command->setDestinationStream(sink);
    Outcome outcome = run(command, nullptr, context);
    expectRanOnceElsewhere(outcome);
    EXPECT_FALSE(outcome.error.has_value());
    EXPECT_EQ(sink->mTaken.load(), kTotal);
    EXPECT_EQ(sink->mWrongBytes.load(), 0u);
    // The server can only be ahead of the sink by the download buffer (1 MiB
    // by default) plus one chunk and what the sockets hold; without
    // back-pressure it would run tens of MiB ahead.
    EXPECT_LT(sink->mLargestLead.load(), 16ull * 1024 * 1024);
}
