// URLSession against a real HTTP server on 127.0.0.1, written here on plain
// sockets so that each case controls the exact bytes on the wire (header
// order, chunking, stalls, dropped connections, unbounded streams).

#include "platform/net/URLSession.h"

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/AsciiText.h"
#include "platform/foundation/Stream.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <future>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace platform;
using namespace platform::net;
using namespace std::chrono_literals;

namespace {

constexpr std::int64_t kMiB = 1024 * 1024;

std::uint8_t patternByte(std::uint64_t i) { return static_cast<std::uint8_t>((i * 131 + (i >> 16) * 7 + 3) & 0xFF); }

std::vector<std::uint8_t> pattern(std::size_t size, std::uint64_t from = 0) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = patternByte(from + i);
    return bytes;
}

std::string asText(const std::vector<std::uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

bool sendAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
        if (n <= 0) return false;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// A port nothing listens on: bound once, then released.
int unusedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

// A small HTTP/1.1 server: reads each request (head, then a Content-Length
// or chunked body) and hands the connection to the case's handler, which
// writes whatever reply the case needs, byte for byte. Handlers may wait for
// release(). By default it serves one connection and one request at a time;
// in parallel mode every connection has a thread of its own and is read for
// further requests until the client or the handler shuts it.
struct ReceivedRequest {
    std::string head;  // without the blank line
    std::string body;
    bool complete = false;
    int connection = 0;  // connections are numbered from 0 as they are accepted

    // The value of the first field named `name` (any case), else nullptr.
    const std::string* field(std::string_view name) const {
        for (const auto& [n, v] : fields) {
            if (platform::ascii::equalsIgnoringCase(n, name)) return &v;
        }
        return nullptr;
    }
    // The request target, as in "/path?query".
    std::string target() const {
        const std::size_t start = head.find(' ') + 1;
        return head.substr(start, head.find(' ', start) - start);
    }
    std::vector<std::pair<std::string, std::string>> fields;
};

class TestServer {
public:
    using Handler = std::function<void(TestServer&, int fd, const ReceivedRequest&)>;
    enum class Connections { OneAtATime, Parallel };

    explicit TestServer(Handler handler, Connections connections = Connections::OneAtATime)
        : mHandler(std::move(handler)), mConnections(connections) {
        mListener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int on = 1;
        ::setsockopt(mListener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(mListener, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(mListener, 128);
        socklen_t length = sizeof address;
        ::getsockname(mListener, reinterpret_cast<sockaddr*>(&address), &length);
        mPort = ntohs(address.sin_port);
        mThread = std::thread([this] { serve(); });
    }

    ~TestServer() {
        {
            std::lock_guard lock(mMutex);
            mReleased = true;
            mStopping = true;
            mChanged.notify_all();
            // Unblocks handlers stuck sending to or reading from a client.
            for (int fd : mOpen) ::shutdown(fd, SHUT_RDWR);
        }
        ::shutdown(mListener, SHUT_RDWR);
        mThread.join();
        for (auto& thread : mConnectionThreads) thread.join();
        ::close(mListener);
    }

    std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(mPort) + path; }
    int port() const { return mPort; }

    void waitForRelease() {
        std::unique_lock lock(mMutex);
        mChanged.wait(lock, [this] { return mReleased; });
    }
    void release() {
        std::lock_guard lock(mMutex);
        mReleased = true;
        mChanged.notify_all();
    }
    bool released() {
        std::lock_guard lock(mMutex);
        return mReleased;
    }
    std::vector<ReceivedRequest> requests() {
        std::lock_guard lock(mMutex);
        return mRequests;
    }
    // Waits (with a guard against a hang) until `count` requests have come.
    bool waitForRequests(std::size_t count) {
        std::unique_lock lock(mMutex);
        return mChanged.wait_for(lock, 60s, [&] { return mRequests.size() >= count; });
    }

private:
    // Reads from one connection through a buffer.
    class Reader {
    public:
        explicit Reader(int fd) : mFd(fd) {}
        bool line(std::string& out) {
            std::size_t end;
            while ((end = mBuffer.find("\r\n")) == std::string::npos) {
                if (!fill()) return false;
            }
            out = mBuffer.substr(0, end);
            mBuffer.erase(0, end + 2);
            return true;
        }
        bool bytes(std::size_t count, std::string& out) {
            while (mBuffer.size() < count) {
                if (!fill()) return false;
            }
            out.append(mBuffer, 0, count);
            mBuffer.erase(0, count);
            return true;
        }

    private:
        bool fill() {
            char chunk[65536];
            const ssize_t n = ::recv(mFd, chunk, sizeof chunk, 0);
            if (n <= 0) return false;
            mBuffer.append(chunk, static_cast<std::size_t>(n));
            return true;
        }
        int mFd;
        std::string mBuffer;
    };

    void serve() {
        for (int number = 0;; ++number) {
            const int fd = ::accept4(mListener, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) {
                if (errno == EINTR) continue;
                return;
            }
            const bool parallel = mConnections == Connections::Parallel;
            {
                std::lock_guard lock(mMutex);
                if (mStopping) {
                    ::close(fd);
                    continue;
                }
                mOpen.insert(fd);
                if (parallel) mConnectionThreads.emplace_back([this, fd, number] { serveConnection(fd, number); });
            }
            if (!parallel) serveConnection(fd, number);
        }
    }

    void serveConnection(int fd, int number) {
        Reader reader(fd);
        for (bool first = true;; first = false) {
            ReceivedRequest request = readRequest(reader);
            request.connection = number;
            // A kept connection that the client closes is no request.
            if (first || !request.head.empty()) {
                std::lock_guard lock(mMutex);
                mRequests.push_back(request);
                mChanged.notify_all();
            }
            if (request.head.empty()) break;
            mHandler(*this, fd, request);
            if (mConnections == Connections::OneAtATime || !request.complete) break;
        }
        std::lock_guard lock(mMutex);
        mOpen.erase(fd);
        ::close(fd);
    }

    static ReceivedRequest readRequest(Reader& reader) {
        ReceivedRequest request;
        std::string line;
        bool first = true;
        while (reader.line(line) && !line.empty()) {
            request.head += (first ? "" : "\r\n") + line;
            if (!first) {
                const std::size_t colon = line.find(':');
                std::string value = colon == std::string::npos ? "" : line.substr(colon + 1);
                value.erase(0, value.find_first_not_of(' '));
                request.fields.emplace_back(line.substr(0, colon), value);
            }
            first = false;
        }
        if (line.empty() && !first) {
            if (const std::string* te = request.field("Transfer-Encoding"); te && *te == "chunked") {
                for (;;) {
                    if (!reader.line(line)) return request;
                    const std::size_t size = std::stoul(line, nullptr, 16);
                    if (size == 0) {
                        while (reader.line(line) && !line.empty()) {
                        }
                        break;
                    }
                    std::string crlf;
                    if (!reader.bytes(size, request.body) || !reader.bytes(2, crlf)) return request;
                }
            } else if (const std::string* cl = request.field("Content-Length")) {
                if (!reader.bytes(std::stoul(*cl), request.body)) return request;
            }
            request.complete = true;
        }
        return request;
    }

    Handler mHandler;
    const Connections mConnections;
    int mListener = -1;
    int mPort = 0;
    std::thread mThread;
    std::mutex mMutex;
    std::condition_variable mChanged;
    bool mReleased = false;
    bool mStopping = false;
    std::set<int> mOpen;  // connections being served
    std::vector<std::thread> mConnectionThreads;
    std::vector<ReceivedRequest> mRequests;
};

std::string hex(std::size_t value) {
    std::ostringstream out;
    out << std::hex << value;
    return out.str();
}

// A reply with a Content-Length body. The connection closes after it (the
// server reads one request per connection), which the client must not
// find out by sending its next request there.
std::string replyWithBody(int status, const std::string& extraFields, const std::string& body) {
    return "HTTP/1.1 " + std::to_string(status) + " X\r\n" + extraFields + "Connection: close\r\n" +
           "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

bool sendChunk(int fd, const std::vector<std::uint8_t>& bytes) {
    return sendAll(fd, hex(bytes.size()) + "\r\n") && sendAll(fd, asText(bytes)) && sendAll(fd, "\r\n");
}

enum class Event { Response, Data, Sent, Complete, Invalid };

// Records every callback; checks each runs on the session's delegate queue.
class Recorder : public URLSessionDataDelegate {
public:
    using ResponseHook = std::function<void(std::function<void(URLSessionResponseDisposition)>)>;
    using DataHook = std::function<void(URLSessionTask&, std::span<const std::uint8_t>)>;

    ResponseHook onResponse;                      // default: allow at once
    DataHook onData;                              // runs outside the recorder's lock
    std::function<void(URLSession&)> onComplete;  // runs after recording

    void didReceiveResponse(URLSession& session, URLSessionTask&, const HTTPURLResponse& response,
                            std::function<void(URLSessionResponseDisposition)> completionHandler) override {
        record(session, Event::Response, [&] { mResponse = response; });
        if (onResponse) {
            onResponse(std::move(completionHandler));
        } else {
            completionHandler(URLSessionResponseDisposition::Allow);
        }
    }
    void didReceiveData(URLSession& session, URLSessionTask& task, std::span<const std::uint8_t> data) override {
        record(session, Event::Data, [&] {
            mBody.insert(mBody.end(), data.begin(), data.end());
            ++mDataCalls;
            mLargestData = std::max(mLargestData, data.size());
        });
        if (onData) onData(task, data);
    }
    void didSendBodyData(URLSession& session, URLSessionTask&, std::int64_t bytesSent, std::int64_t totalBytesSent,
                         std::int64_t totalExpected) override {
        record(session, Event::Sent, [&] {
            mSentSum += bytesSent;
            mTotalSent = totalBytesSent;
            mTotalExpected = totalExpected;
        });
    }
    void didCompleteWithError(URLSession& session, URLSessionTask&, const std::optional<Error>& error) override {
        record(session, Event::Complete, [&] { mError = error; });
        if (onComplete) onComplete(session);
    }
    void didBecomeInvalidWithError(URLSession& session, const std::optional<Error>& error) override {
        record(session, Event::Invalid, [&] { mInvalidError = error; });
    }

    // Waits (with a generous guard against a hang) for the first completion.
    bool waitForCompletion() { return waitFor(Event::Complete); }
    bool waitForInvalid() { return waitFor(Event::Invalid); }

    std::vector<Event> events() {
        std::lock_guard lock(mMutex);
        return mEvents;
    }
    std::optional<Error> error() {
        std::lock_guard lock(mMutex);
        return mError;
    }
    long errorCode() {
        std::lock_guard lock(mMutex);
        return mError ? mError->code() : 0;
    }
    std::optional<HTTPURLResponse> response() {
        std::lock_guard lock(mMutex);
        return mResponse;
    }
    std::vector<std::uint8_t> body() {
        std::lock_guard lock(mMutex);
        return mBody;
    }
    std::size_t largestData() {
        std::lock_guard lock(mMutex);
        return mLargestData;
    }
    bool allOnDelegateQueue() {
        std::lock_guard lock(mMutex);
        return mAllOnQueue;
    }
    std::int64_t totalSent() {
        std::lock_guard lock(mMutex);
        return mTotalSent;
    }
    std::int64_t sentSum() {
        std::lock_guard lock(mMutex);
        return mSentSum;
    }
    std::int64_t totalExpected() {
        std::lock_guard lock(mMutex);
        return mTotalExpected;
    }
    std::optional<Error> invalidError() {
        std::lock_guard lock(mMutex);
        return mInvalidError;
    }

private:
    template <typename F>
    void record(URLSession& session, Event event, F&& update) {
        std::lock_guard lock(mMutex);
        if (!session.delegateQueue()->isCurrent() || std::this_thread::get_id() == mTestThread) mAllOnQueue = false;
        mEvents.push_back(event);
        update();
        mChanged.notify_all();
    }
    bool waitFor(Event event) {
        std::unique_lock lock(mMutex);
        return mChanged.wait_for(lock, 60s,
                                 [&] { return std::find(mEvents.begin(), mEvents.end(), event) != mEvents.end(); });
    }

    std::mutex mMutex;
    std::condition_variable mChanged;
    const std::thread::id mTestThread = std::this_thread::get_id();
    std::vector<Event> mEvents;
    std::optional<HTTPURLResponse> mResponse;
    std::vector<std::uint8_t> mBody;
    int mDataCalls = 0;
    std::size_t mLargestData = 0;
    std::optional<Error> mError, mInvalidError;
    bool mAllOnQueue = true;
    std::int64_t mSentSum = 0, mTotalSent = 0, mTotalExpected = 0;
};

// Response before data; exactly one completion after every other task event;
// invalidation, if any, once and last.
::testing::AssertionResult orderIsSound(const std::vector<Event>& events) {
    const auto count = [&](Event e) { return std::count(events.begin(), events.end(), e); };
    if (count(Event::Complete) != 1) {
        return ::testing::AssertionFailure() << count(Event::Complete) << " completions";
    }
    const auto complete = std::find(events.begin(), events.end(), Event::Complete);
    const auto response = std::find(events.begin(), events.end(), Event::Response);
    const auto firstData = std::find(events.begin(), events.end(), Event::Data);
    if (firstData != events.end() && response > firstData) {
        return ::testing::AssertionFailure() << "data before the response";
    }
    for (auto it = complete + 1; it != events.end(); ++it) {
        if (*it != Event::Invalid) return ::testing::AssertionFailure() << "a task event after completion";
    }
    if (count(Event::Invalid) > 1) return ::testing::AssertionFailure() << "invalidated twice";
    return ::testing::AssertionSuccess();
}

URLRequest requestFor(const std::string& url, std::string method = "GET") {
    URLRequest request(URL::parse(url).value());
    request.httpMethod = std::move(method);
    return request;
}

std::shared_ptr<URLSession> sessionFor(
    const std::shared_ptr<Recorder>& recorder,
    URLSessionConfiguration configuration = URLSessionConfiguration::ephemeralSessionConfiguration()) {
    return URLSession::sessionWithConfiguration(configuration, recorder, nullptr);
}

// Runs one task to its end and invalidates its session.
void runTask(const std::shared_ptr<URLSession>& session, const std::shared_ptr<URLSessionTask>& task,
             Recorder& recorder) {
    task->resume();
    ASSERT_TRUE(recorder.waitForCompletion());
    session->finishTasksAndInvalidate();
    ASSERT_TRUE(recorder.waitForInvalid());
}

std::vector<std::string> lines(const std::string& head) {
    std::vector<std::string> result;
    std::size_t start = 0;
    while (start <= head.size()) {
        const std::size_t end = head.find("\r\n", start);
        result.push_back(head.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) break;
        start = end + 2;
    }
    return result;
}

}  // namespace


TEST(URLSession, GetDeliversBodyInChunksOnTheDelegateQueueInOrder) {
    // More than one delegate call can carry: the body arrives in several.
    constexpr std::size_t kChunk = 200000, kChunks = 8, kTotal = kChunk * kChunks;
    static_assert(kTotal > URLSession::kMaximumDataChunkSize);
    TestServer server([](TestServer&, int fd, const ReceivedRequest& request) {
        const std::string fields = "X-Rep: a\r\nX-Rep: b\r\n";
        if (request.head.starts_with("GET /fixed ")) {
            sendAll(fd, replyWithBody(200, fields, asText(pattern(kTotal))));
            return;
        }
        if (!sendAll(fd, "HTTP/1.1 200 OK\r\n" + fields + "Transfer-Encoding: chunked\r\n\r\n")) return;
        for (std::size_t offset = 0; offset < kTotal; offset += kChunk) {
            if (!sendChunk(fd, pattern(kChunk, offset))) return;
        }
        sendAll(fd, "0\r\n\r\n");
    });

    struct Case {
        const char* name;
        const char* path;
        std::int64_t expectedContentLength;
    };
    const Case cases[] = {
        {"chunked body without length", "/chunked", -1},
        {"body with Content-Length", "/fixed", static_cast<std::int64_t>(kTotal)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto recorder = std::make_shared<Recorder>();
        std::weak_ptr<Recorder> weakRecorder = recorder;
        auto session = sessionFor(recorder);
        auto queue = session->delegateQueue();
        auto task = session->dataTaskWithRequest(requestFor(server.url(c.path)));
        EXPECT_EQ(task->state(), URLSessionTaskState::Suspended);
        runTask(session, task, *recorder);

        EXPECT_FALSE(recorder->error().has_value()) << recorder->error()->localizedDescription();
        const auto response = recorder->response();
        ASSERT_TRUE(response.has_value());
        EXPECT_EQ(response->statusCode, 200);
        EXPECT_EQ(response->url, URL::parse(server.url(c.path)).value());
        ASSERT_NE(response->valueForHTTPHeaderField("x-rep"), nullptr);
        EXPECT_EQ(*response->valueForHTTPHeaderField("x-rep"), "a,b");
        EXPECT_EQ(response->expectedContentLength, c.expectedContentLength);
        EXPECT_EQ(recorder->body(), pattern(kTotal));
        const auto events = recorder->events();
        EXPECT_GT(std::count(events.begin(), events.end(), Event::Data), 1);
        EXPECT_LE(recorder->largestData(), URLSession::kMaximumDataChunkSize);
        EXPECT_TRUE(orderIsSound(events));
        EXPECT_EQ(events.back(), Event::Invalid);
        EXPECT_FALSE(recorder->invalidError().has_value());
        EXPECT_TRUE(recorder->allOnDelegateQueue());
        EXPECT_EQ(task->state(), URLSessionTaskState::Completed);
        EXPECT_EQ(task->countOfBytesReceived(), static_cast<std::int64_t>(kTotal));
        ASSERT_TRUE(task->response().has_value());
        EXPECT_EQ(task->response()->statusCode, 200);

        // Invalidation dropped the session's hold on its delegate.
        recorder.reset();
        queue->sync([] {});
        EXPECT_TRUE(weakRecorder.expired());
    }
}

TEST(URLSession, ABodyThatTricklesReachesTheDelegateAsItArrives) {
    // The server sends half the body, then waits until the test has seen it.
    std::mutex mutex;
    std::condition_variable changed;
    bool sendRest = false;
    TestServer server([&](TestServer&, int fd, const ReceivedRequest&) {
        if (!sendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nhello")) return;
        {
            std::unique_lock lock(mutex);
            changed.wait_for(lock, 60s, [&] { return sendRest; });
        }
        sendAll(fd, "world");
    });

    auto recorder = std::make_shared<Recorder>();
    std::promise<std::string> first;
    bool firstSeen = false;
    recorder->onData = [&](URLSessionTask&, std::span<const std::uint8_t> data) {
        if (!std::exchange(firstSeen, true)) first.set_value(std::string(data.begin(), data.end()));
    };
    auto session = sessionFor(recorder);
    auto task = session->dataTaskWithRequest(requestFor(server.url("/trickle")));
    task->resume();
    auto firstData = first.get_future();
    const bool arrived = firstData.wait_for(30s) == std::future_status::ready;
    {
        std::lock_guard lock(mutex);
        sendRest = true;
    }
    changed.notify_all();
    ASSERT_TRUE(arrived) << "the first half waited for more";
    EXPECT_EQ(firstData.get(), "hello");

    ASSERT_TRUE(recorder->waitForCompletion());
    session->finishTasksAndInvalidate();
    ASSERT_TRUE(recorder->waitForInvalid());
    EXPECT_FALSE(recorder->error().has_value());
    EXPECT_EQ(asText(recorder->body()), "helloworld");
    EXPECT_TRUE(orderIsSound(recorder->events()));
    EXPECT_TRUE(recorder->allOnDelegateQueue());
}

TEST(URLSession, UploadBodiesArriveByteExactWithoutAddedFields) {
    TestServer server([](TestServer&, int fd, const ReceivedRequest&) { sendAll(fd, replyWithBody(201, "", "")); });

    const auto big = pattern(3 * kMiB + 17);
    const auto small = pattern(1000, 99);
    enum class Body { None, Data, UploadData, SharedData, Stream };
    struct Case {
        const char* name;
        const char* method;
        Body kind;
        const std::vector<std::uint8_t>* bytes;
        bool declareLength;
        std::optional<std::string> contentLengthSeen;
        std::optional<std::string> transferEncodingSeen;
    };
    const std::string bigLength = std::to_string(big.size());
    const std::vector<Case> cases = {
        {"data task with an httpBody", "PUT", Body::Data, &big, false, bigLength, std::nullopt},
        {"upload task with data", "PUT", Body::UploadData, &big, false, bigLength, std::nullopt},
        {"upload task with POST", "POST", Body::UploadData, &small, false, "1000", std::nullopt},
        {"upload task with a shared body", "PUT", Body::SharedData, &big, false, bigLength, std::nullopt},
        {"upload task with a null shared body", "PUT", Body::SharedData, nullptr, false, "0", std::nullopt},
        {"stream body with its Content-Length", "PUT", Body::Stream, &big, true, bigLength, std::nullopt},
        {"stream body of unknown length", "PUT", Body::Stream, &big, false, std::nullopt, "chunked"},
        {"PUT without body", "PUT", Body::None, nullptr, false, "0", std::nullopt},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.name);
        auto recorder = std::make_shared<Recorder>();
        auto session = sessionFor(recorder);
        URLRequest request = requestFor(server.url("/up"), c.method);
        std::shared_ptr<URLSessionTask> task;
        switch (c.kind) {
            case Body::None: task = session->dataTaskWithRequest(request); break;
            case Body::Data:
                request.httpBody = *c.bytes;
                task = session->dataTaskWithRequest(request);
                break;
            case Body::UploadData: task = session->uploadTaskWithRequest(request, *c.bytes); break;
            case Body::SharedData: {
                std::shared_ptr<const std::vector<std::uint8_t>> shared;
                if (c.bytes) shared = std::make_shared<std::vector<std::uint8_t>>(*c.bytes);
                std::weak_ptr<const std::vector<std::uint8_t>> weak = shared;
                task = session->uploadTaskWithRequest(request, std::move(shared));
                // The task keeps the body it was lent.
                if (c.bytes) {
                    EXPECT_FALSE(weak.expired());
                }
                break;
            }
            case Body::Stream:
                request.httpBodyStream = InputStream::withData(*c.bytes);
                if (c.declareLength) request.setValue(std::to_string(c.bytes->size()), "Content-Length");
                task = session->dataTaskWithRequest(request);
                break;
        }
        runTask(session, task, *recorder);

        EXPECT_FALSE(recorder->error().has_value()) << recorder->error()->localizedDescription();
        ASSERT_TRUE(recorder->response().has_value());
        EXPECT_EQ(recorder->response()->statusCode, 201);
        const auto requests = server.requests();
        ASSERT_EQ(requests.size(), i + 1);
        const ReceivedRequest& seen = requests[i];
        EXPECT_TRUE(seen.complete);
        EXPECT_EQ(seen.head.substr(0, seen.head.find(' ')), c.method);
        EXPECT_EQ(seen.body, c.bytes ? asText(*c.bytes) : std::string());
        const auto fieldValue = [&](const char* name) -> std::optional<std::string> {
            const std::string* value = seen.field(name);
            return value ? std::optional<std::string>(*value) : std::nullopt;
        };
        EXPECT_EQ(fieldValue("Content-Length"), c.contentLengthSeen);
        EXPECT_EQ(fieldValue("Transfer-Encoding"), c.transferEncodingSeen);
        EXPECT_EQ(seen.field("Expect"), nullptr);
        EXPECT_EQ(seen.field("Accept"), nullptr);
        EXPECT_EQ(seen.field("Content-Type"), nullptr);

        const std::int64_t size = c.bytes ? static_cast<std::int64_t>(c.bytes->size()) : 0;
        EXPECT_EQ(recorder->totalSent(), size);
        EXPECT_EQ(recorder->sentSum(), size);
        EXPECT_EQ(task->countOfBytesSent(), size);
        if (size > 0) {
            const bool lengthKnown = c.kind != Body::Stream || c.declareLength;
            EXPECT_EQ(recorder->totalExpected(), lengthKnown ? size : -1);
        }
        EXPECT_TRUE(orderIsSound(recorder->events()));
        EXPECT_TRUE(recorder->allOnDelegateQueue());
    }
}

TEST(URLSession, SendsExactlyTheRequestFieldsInOrderAndTheMethodAsGiven) {
    TestServer server([](TestServer&, int fd, const ReceivedRequest&) { sendAll(fd, replyWithBody(200, "", "")); });
    const std::string host = "Host: 127.0.0.1:" + std::to_string(server.port());

    struct Case {
        const char* name;
        const char* method;
        const char* path;
        std::vector<std::pair<std::string, std::string>> fields;
        std::string body;
        std::vector<std::string> expectedLines;  // after the request line
    };
    const std::vector<Case> cases = {
        {"signed PUT of a block",
         "PUT",
         "/c/b?comp=block&blockid=QQ%3D%3D",
         {{"x-bs-meta-b", "2"},
          {"Content-Length", "5"},
          {"x-bs-meta-a", "1"},
          {"User-Agent", "BlobStorageClient/1.0 (iOS 12)"},
          {"Content-MD5", "XUFAKrxLKna5cZ2REBfFkg=="},
          {"Authorization", "SharedKey acct:c2ln"}},
         "hello",
         {host, "x-bs-meta-b: 2", "Content-Length: 5", "x-bs-meta-a: 1", "User-Agent: BlobStorageClient/1.0 (iOS 12)",
          "Content-MD5: XUFAKrxLKna5cZ2REBfFkg==", "Authorization: SharedKey acct:c2ln"}},
        {"DELETE without fields", "DELETE", "/c/b", {}, "", {host}},
        {"GET with an empty value",
         "GET",
         "/c",
         {{"x-bs-empty", ""}, {"x-bs-version", "2016-03-14"}},
         "",
         {host, "x-bs-empty:", "x-bs-version: 2016-03-14"}},
        {"PUT without body",
         "PUT",
         "/c?restype=container",
         {{"x-bs-version", "2016-03-14"}},
         "",
         {host, "x-bs-version: 2016-03-14", "Content-Length: 0"}},
        {"POST without body", "POST", "/c", {}, "", {host, "Content-Length: 0"}},
        {"dot segments stay in the path", "GET", "/c/a/../b/./x", {}, "", {host}},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.name);
        auto recorder = std::make_shared<Recorder>();
        auto session = sessionFor(recorder);
        URLRequest request = requestFor(server.url(c.path), c.method);
        for (const auto& [name, value] : c.fields) request.addValue(value, name);
        request.httpBody.assign(c.body.begin(), c.body.end());
        runTask(session, session->dataTaskWithRequest(request), *recorder);
        EXPECT_FALSE(recorder->error().has_value()) << recorder->error()->localizedDescription();

        const auto requests = server.requests();
        ASSERT_EQ(requests.size(), i + 1);
        auto headLines = lines(requests[i].head);
        ASSERT_FALSE(headLines.empty());
        EXPECT_EQ(headLines.front(), std::string(c.method) + " " + c.path + " HTTP/1.1");
        headLines.erase(headLines.begin());
        EXPECT_EQ(headLines, c.expectedLines);
        EXPECT_EQ(requests[i].body, c.body);
    }
}

TEST(URLSession, HeadCompletesWithoutWaitingForABody) {
    // The server announces a length and keeps the connection open.
    TestServer server([](TestServer& self, int fd, const ReceivedRequest&) {
        sendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: 12345\r\nx-bs-blob-type: BlockBlob\r\n\r\n");
        self.waitForRelease();
    });
    auto recorder = std::make_shared<Recorder>();
    auto session = sessionFor(recorder);
    URLRequest request = requestFor(server.url("/c/b"), "HEAD");
    request.timeoutInterval = 600;
    runTask(session, session->dataTaskWithRequest(request), *recorder);

    EXPECT_FALSE(recorder->error().has_value()) << recorder->error()->localizedDescription();
    const auto response = recorder->response();
    ASSERT_TRUE(response.has_value());
    EXPECT_EQ(response->expectedContentLength, 12345);
    ASSERT_NE(response->valueForHTTPHeaderField("x-bs-blob-type"), nullptr);
    EXPECT_EQ(*response->valueForHTTPHeaderField("x-bs-blob-type"), "BlockBlob");
    EXPECT_TRUE(recorder->body().empty());
    EXPECT_EQ(lines(server.requests().at(0).head).front(), "HEAD /c/b HTTP/1.1");
}

TEST(URLSession, StallsAndSlowTransfersTimeOut) {
    const TestServer::Handler stallBeforeHead = [](TestServer& self, int, const ReceivedRequest&) {
        self.waitForRelease();
    };
    const TestServer::Handler stallMidBody = [](TestServer& self, int fd, const ReceivedRequest&) {
        sendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n0123456789");
        self.waitForRelease();
    };
    // One byte at a time: never stalled for long, never finished.
    const TestServer::Handler trickle = [](TestServer& self, int fd, const ReceivedRequest&) {
        if (!sendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: 100000000\r\n\r\n")) return;
        while (!self.released() && sendAll(fd, "x")) std::this_thread::sleep_for(20ms);
    };
    struct Case {
        const char* name;
        const TestServer::Handler* handler;
        double requestTimeout;
        double configurationRequestTimeout;
        double resourceTimeout;
        bool responseArrives;
        const char* bodyDelivered;  // nullptr: not checked
    };
    const Case cases[] = {
        {"no head within the request's timeout", &stallBeforeHead, 0.3, 600, 604800, false, ""},
        {"configuration timeout when the request gives 0", &stallBeforeHead, 0, 0.3, 604800, false, ""},
        {"stall in the middle of the body", &stallMidBody, 0.3, 600, 604800, true, "0123456789"},
        {"resource timeout caps a trickling body", &trickle, 600, 600, 0.5, true, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestServer server(*c.handler);
        auto recorder = std::make_shared<Recorder>();
        auto configuration = URLSessionConfiguration::ephemeralSessionConfiguration();
        configuration.timeoutIntervalForRequest = c.configurationRequestTimeout;
        configuration.timeoutIntervalForResource = c.resourceTimeout;
        auto session = sessionFor(recorder, configuration);
        URLRequest request = requestFor(server.url("/slow"));
        request.timeoutInterval = c.requestTimeout;
        runTask(session, session->dataTaskWithRequest(request), *recorder);

        const auto error = recorder->error();
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(error->domain(), URLErrorDomain);
        EXPECT_EQ(error->code(), URLErrorTimedOut) << error->localizedDescription();
        EXPECT_EQ(recorder->response().has_value(), c.responseArrives);
        if (c.bodyDelivered) {
            EXPECT_EQ(asText(recorder->body()), c.bodyDelivered);
        }
        EXPECT_TRUE(orderIsSound(recorder->events()));
    }
}

TEST(URLSession, BrokenRepliesFailWithTheNearestCode) {
    struct Case {
        const char* name;
        std::string reply;
        long code;
        bool responseArrives;
        std::string bodyDelivered;
    };
    const std::string hundred(100, 'b');
    const std::vector<Case> cases = {
        {"closed before any reply", "", URLErrorNetworkConnectionLost, false, ""},
        {"closed after 100 of 1000 body bytes", "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" + hundred,
         URLErrorNetworkConnectionLost, true, hundred},
        {"closed inside a chunked body",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n64\r\n" + hundred + "\r\n",
         URLErrorNetworkConnectionLost, true, hundred},
        {"a reply that is not HTTP", "garbage\r\n\r\n", URLErrorBadServerResponse, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestServer server([&](TestServer&, int fd, const ReceivedRequest&) { sendAll(fd, c.reply); });
        auto recorder = std::make_shared<Recorder>();
        auto session = sessionFor(recorder);
        runTask(session, session->dataTaskWithRequest(requestFor(server.url("/b"))), *recorder);

        const auto error = recorder->error();
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(error->domain(), URLErrorDomain);
        EXPECT_EQ(error->code(), c.code) << error->localizedDescription();
        const auto* text = error->userInfoValue<std::string>(Error::LocalizedDescriptionKey);
        ASSERT_NE(text, nullptr);
        EXPECT_FALSE(text->empty());
        EXPECT_EQ(recorder->response().has_value(), c.responseArrives);
        EXPECT_EQ(asText(recorder->body()), c.bodyDelivered);
        EXPECT_TRUE(orderIsSound(recorder->events()));
    }
}

TEST(URLSession, RequestsThatCannotGoOutFail) {
    TestServer server([](TestServer&, int fd, const ReceivedRequest&) { sendAll(fd, replyWithBody(200, "", "")); });
    struct Case {
        const char* name;
        URLRequest request;
        long code;
        std::size_t requestsSeen;
    };
    URLRequest mismatched = requestFor(server.url("/c/b"), "PUT");
    mismatched.httpBody = pattern(10);
    mismatched.setValue("11", "Content-Length");
    URLRequest shortStream = requestFor(server.url("/c/b"), "PUT");
    shortStream.httpBodyStream = InputStream::withData(pattern(10));
    shortStream.setValue("20", "Content-Length");
    const std::vector<Case> cases = {
        {"connection refused", requestFor("http://127.0.0.1:" + std::to_string(unusedPort()) + "/x"),
         URLErrorCannotConnectToHost, 0},
        {"a scheme other than http", requestFor("ftp://127.0.0.1:" + std::to_string(server.port()) + "/x"),
         URLErrorUnsupportedURL, 0},
        {"Content-Length that does not frame the body", mismatched, URLErrorUnknown, 0},
        {"body stream shorter than its Content-Length", shortStream, URLErrorRequestBodyStreamExhausted, 1},
    };
    std::size_t requestsBefore = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto recorder = std::make_shared<Recorder>();
        auto session = sessionFor(recorder);
        runTask(session, session->dataTaskWithRequest(c.request), *recorder);
        EXPECT_EQ(recorder->errorCode(), c.code)
            << (recorder->error() ? recorder->error()->localizedDescription() : "no error");
        EXPECT_FALSE(recorder->response().has_value());
        EXPECT_TRUE(orderIsSound(recorder->events()));
        // The server ends a request it read in full or at the client's
        // close, which it may notice a moment after the client gave up.
        auto requests = server.requests();
        for (int i = 0; i < 500 && requests.size() - requestsBefore < c.requestsSeen; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            requests = server.requests();
        }
        ASSERT_EQ(requests.size() - requestsBefore, c.requestsSeen);
        if (c.requestsSeen == 1) {
            EXPECT_FALSE(requests.back().complete);
        }
        requestsBefore = requests.size();
    }
}

TEST(URLSession, ResponseDispositionDecidesWhetherTheBodyFollows) {
    TestServer server([](TestServer&, int fd, const ReceivedRequest&) {
        sendAll(fd, replyWithBody(200, "", asText(pattern(50000))));
    });

    std::vector<std::thread> helpers;
    struct Case {
        const char* name;
        Recorder::ResponseHook hook;
        long code;
        bool bodyArrives;
    };
    const std::vector<Case> cases = {
        {"Cancel", [](auto handler) { handler(URLSessionResponseDisposition::Cancel); }, URLErrorCancelled, false},
        {"Allow later from another thread",
         [&](auto handler) { helpers.emplace_back([handler] { handler(URLSessionResponseDisposition::Allow); }); }, 0,
         true},
        {"handler dropped without a call", [](auto) {}, URLErrorCancelled, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto recorder = std::make_shared<Recorder>();
        recorder->onResponse = c.hook;
        auto session = sessionFor(recorder);
        auto task = session->dataTaskWithRequest(requestFor(server.url("/body")));
        runTask(session, task, *recorder);
        EXPECT_EQ(recorder->errorCode(), c.code);
        EXPECT_TRUE(recorder->response().has_value());
        EXPECT_EQ(recorder->body(), c.bodyArrives ? pattern(50000) : std::vector<std::uint8_t>());
        EXPECT_TRUE(orderIsSound(recorder->events()));
        EXPECT_EQ(task->state(), URLSessionTaskState::Completed);
        EXPECT_EQ(task->error().has_value(), c.code != 0);
    }
    for (auto& helper : helpers) helper.join();
}

TEST(URLSession, CancellingEndsTasksAndInvalidation) {
    TestServer endless([](TestServer&, int fd, const ReceivedRequest&) {
        if (!sendAll(fd, "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n")) return;
        for (std::uint64_t offset = 0; sendChunk(fd, pattern(16384, offset)); offset += 16384) {
        }
    });
    TestServer stalling([](TestServer& self, int, const ReceivedRequest&) { self.waitForRelease(); });

    {
        SCOPED_TRACE("cancel from the first didReceiveData");
        auto recorder = std::make_shared<Recorder>();
        std::atomic<int> dataCalls{0};
        recorder->onData = [&](URLSessionTask& task, auto) {
            if (dataCalls++ == 0) task.cancel();
        };
        auto session = sessionFor(recorder);
        runTask(session, session->dataTaskWithRequest(requestFor(endless.url("/endless"))), *recorder);
        EXPECT_EQ(recorder->errorCode(), URLErrorCancelled);
        EXPECT_EQ(dataCalls.load(), 1);
        EXPECT_TRUE(orderIsSound(recorder->events()));
    }
    {
        SCOPED_TRACE("cancel before resume");
        auto recorder = std::make_shared<Recorder>();
        auto session = sessionFor(recorder);
        auto task = session->dataTaskWithRequest(requestFor(stalling.url("/never")));
        task->cancel();
        ASSERT_TRUE(recorder->waitForCompletion());
        task->resume();  // too late: nothing is sent
        session->finishTasksAndInvalidate();
        ASSERT_TRUE(recorder->waitForInvalid());
        EXPECT_EQ(recorder->errorCode(), URLErrorCancelled);
        EXPECT_EQ(recorder->events(), (std::vector<Event>{Event::Complete, Event::Invalid}));
        EXPECT_EQ(task->state(), URLSessionTaskState::Completed);
        EXPECT_TRUE(stalling.requests().empty());
    }
    {
        SCOPED_TRACE("invalidateAndCancel with a task waiting for its head");
        auto recorder = std::make_shared<Recorder>();
        auto session = sessionFor(recorder);
        URLRequest request = requestFor(stalling.url("/stall"));
        request.timeoutInterval = 600;
        auto task = session->dataTaskWithRequest(request);
        task->resume();
        session->invalidateAndCancel();
        ASSERT_TRUE(recorder->waitForInvalid());
        EXPECT_EQ(recorder->errorCode(), URLErrorCancelled);
        EXPECT_EQ(recorder->events(), (std::vector<Event>{Event::Complete, Event::Invalid}));
        EXPECT_THROW(session->dataTaskWithRequest(request), std::logic_error);
    }
    {
        // As the storage executor does: nothing but the session itself holds
        // it, and its delegate invalidates it from didCompleteWithError; the
        // last reference then goes on the session's own delegate queue.
        SCOPED_TRACE("a session invalidated by its delegate frees itself");
        auto recorder = std::make_shared<Recorder>();
        recorder->onComplete = [](URLSession& session) { session.finishTasksAndInvalidate(); };
        auto session = sessionFor(recorder);
        std::weak_ptr<URLSession> weakSession = session;
        session->dataTaskWithRequest(requestFor("http://127.0.0.1:" + std::to_string(unusedPort()) + "/x"))->resume();
        session.reset();
        ASSERT_TRUE(recorder->waitForInvalid());
        while (!weakSession.expired()) std::this_thread::yield();
        EXPECT_EQ(recorder->events(), (std::vector<Event>{Event::Complete, Event::Invalid}));
    }
    {
        SCOPED_TRACE("a session without tasks is invalidated at once");
        auto recorder = std::make_shared<Recorder>();
        auto session = sessionFor(recorder);
        session->finishTasksAndInvalidate();
        ASSERT_TRUE(recorder->waitForInvalid());
        EXPECT_EQ(recorder->events(), (std::vector<Event>{Event::Invalid}));
    }
}

namespace {

// The most a connection can hold between the server's writes and the
// client's reads: both kernel socket buffers at their largest, plus room for
// curl's buffer and the chunk in hand.
std::int64_t socketBufferBound() {
    const auto largest = [](const char* path, std::int64_t fallback) {
        std::ifstream file(path);
        std::int64_t low = 0, initial = 0, max = 0;
        return (file >> low >> initial >> max) ? max : fallback;
    };
    return largest("/proc/sys/net/ipv4/tcp_rmem", 6 * kMiB) + largest("/proc/sys/net/ipv4/tcp_wmem", 4 * kMiB) +
           2 * kMiB;
}

// Hands only the data callbacks to a hook: the stream is too big to record.
class StreamingDelegate : public Recorder {
public:
    void didReceiveData(URLSession&, URLSessionTask& task, std::span<const std::uint8_t> data) override {
        onData(task, data);
    }
};

}  // namespace

TEST(URLSession, BlockingDidReceiveDataHoldsBackTheTransfer) {
    const std::int64_t bound = socketBufferBound();
    // Without back-pressure the whole stream would pile up in the client:
    // make it clearly larger than anything the sockets can hold.
    const std::int64_t total = std::max<std::int64_t>(64 * kMiB, bound + 32 * kMiB);
    std::atomic<std::int64_t> serverWritten{0};

    TestServer server([&](TestServer&, int fd, const ReceivedRequest&) {
        if (!sendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(total) + "\r\n\r\n")) return;
        for (std::int64_t offset = 0; offset < total; offset += 65536) {
            const auto piece = pattern(static_cast<std::size_t>(std::min<std::int64_t>(65536, total - offset)),
                                       static_cast<std::uint64_t>(offset));
            if (!sendAll(fd, asText(piece))) return;
            serverWritten += static_cast<std::int64_t>(piece.size());
        }
    });

    std::int64_t delivered = 0;
    std::int64_t mismatches = 0;
    std::int64_t worstBacklog = 0;
    int checkpointsDone = 0;
    std::size_t largestChunk = 0;
    std::optional<std::size_t> chunkAfterFirstHold;
    // Holds the delegate until the server can write no more (or has clearly
    // run ahead), then notes how far it got past what the delegate was given.
    const auto holdUntilServerStops = [&] {
        std::int64_t last = -1;
        int quietRounds = 0;
        while (quietRounds < 30 && serverWritten.load() - delivered <= 2 * bound) {
            const std::int64_t now = serverWritten.load();
            quietRounds = now == last ? quietRounds + 1 : 0;
            last = now;
            std::this_thread::sleep_for(10ms);
        }
        worstBacklog = std::max(worstBacklog, serverWritten.load() - delivered);
        ++checkpointsDone;
    };

    auto delegate = std::make_shared<StreamingDelegate>();
    delegate->onData = [&](URLSessionTask&, std::span<const std::uint8_t> data) {
        for (std::size_t i = 0; i < data.size(); ++i) {
            if (data[i] != patternByte(static_cast<std::uint64_t>(delivered) + i)) ++mismatches;
        }
        const auto size = static_cast<std::int64_t>(data.size());
        largestChunk = std::max(largestChunk, data.size());
        if (checkpointsDone == 1 && !chunkAfterFirstHold) chunkAfterFirstHold = data.size();
        const bool checkpoint = delivered == 0 || (delivered < total / 2 && delivered + size >= total / 2);
        delivered += size;
        if (checkpoint) holdUntilServerStops();
    };
    auto session = sessionFor(delegate);
    auto task = session->dataTaskWithRequest(requestFor(server.url("/big")));
    runTask(session, task, *delegate);

    EXPECT_FALSE(delegate->error().has_value()) << delegate->error()->localizedDescription();
    EXPECT_EQ(delivered, total);
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(checkpointsDone, 2);
    EXPECT_LE(worstBacklog, bound) << "the client read ahead of its delegate";
    EXPECT_EQ(task->countOfBytesReceived(), total);
    // What piled up while the delegate was held comes in one call, never
    // more than the chunk limit.
    EXPECT_LE(largestChunk, URLSession::kMaximumDataChunkSize);
    ASSERT_TRUE(chunkAfterFirstHold.has_value());
    EXPECT_GT(*chunkAfterFirstHold, URLSession::kMaximumDataChunkSize / 2);
}

namespace {

// Records the callbacks of many tasks, each task on its own.
class TaskLog : public URLSessionDataDelegate {
public:
    struct Entry {
        std::vector<Event> events;
        std::vector<std::uint8_t> body;
        std::optional<Error> error;
        std::int64_t sent = 0;
        bool onQueue = true;
    };
    // Runs outside the log's lock.
    std::function<void(URLSessionTask&, std::span<const std::uint8_t>)> onData;

    void didReceiveResponse(URLSession& session, URLSessionTask& task, const HTTPURLResponse&,
                            std::function<void(URLSessionResponseDisposition)> completionHandler) override {
        record(session, task, Event::Response, [](Entry&) {});
        completionHandler(URLSessionResponseDisposition::Allow);
    }
    void didReceiveData(URLSession& session, URLSessionTask& task, std::span<const std::uint8_t> data) override {
        record(session, task, Event::Data,
               [&](Entry& entry) { entry.body.insert(entry.body.end(), data.begin(), data.end()); });
        if (onData) onData(task, data);
    }
    void didSendBodyData(URLSession& session, URLSessionTask& task, std::int64_t, std::int64_t totalBytesSent,
                         std::int64_t) override {
        record(session, task, Event::Sent, [&](Entry& entry) { entry.sent = totalBytesSent; });
    }
    void didCompleteWithError(URLSession& session, URLSessionTask& task, const std::optional<Error>& error) override {
        record(session, task, Event::Complete, [&](Entry& entry) { entry.error = error; });
    }
    void didBecomeInvalidWithError(URLSession&, const std::optional<Error>&) override {
        std::lock_guard lock(mMutex);
        mLastEvents.push_back(Event::Invalid);
        mChanged.notify_all();
    }

    // Waits (with a guard against a hang) until `count` tasks have completed
    // and `invalidations` sessions have become invalid.
    bool waitFor(std::size_t count, std::size_t invalidations = 0) {
        std::unique_lock lock(mMutex);
        return mChanged.wait_for(lock, 60s, [&] {
            return mCompletions >= count && static_cast<std::size_t>(std::count(mLastEvents.begin(), mLastEvents.end(),
                                                                                Event::Invalid)) >= invalidations;
        });
    }
    Entry entry(const std::shared_ptr<URLSessionTask>& task) {
        std::lock_guard lock(mMutex);
        return mEntries[task.get()];
    }
    // Completions and invalidations in the order they came.
    std::vector<Event> ends() {
        std::lock_guard lock(mMutex);
        return mLastEvents;
    }

private:
    template <typename F>
    void record(URLSession& session, URLSessionTask& task, Event event, F&& update) {
        std::lock_guard lock(mMutex);
        Entry& entry = mEntries[&task];
        entry.onQueue = entry.onQueue && session.delegateQueue()->isCurrent();
        entry.events.push_back(event);
        update(entry);
        if (event == Event::Complete) {
            ++mCompletions;
            mLastEvents.push_back(event);
        }
        mChanged.notify_all();
    }

    std::mutex mMutex;
    std::condition_variable mChanged;
    std::map<const URLSessionTask*, Entry> mEntries;
    std::size_t mCompletions = 0;
    std::vector<Event> mLastEvents;
};

// The body served for /n/<index>: a size and bytes of its own.
std::vector<std::uint8_t> bodyFor(std::size_t index) { return pattern(65536 + index * 7919, index * 1000003); }

std::size_t indexIn(const std::string& target) { return std::stoul(target.substr(target.rfind('/') + 1)); }

}  // namespace

TEST(URLSession, ManyTasksRunAtOnceAndEachGetsItsOwnBytes) {
    // The server answers none until all have asked: tasks that ran one after
    // another would never get there.
    constexpr std::size_t kTasks = 64;
    std::atomic<bool> allAtOnce{false};
    TestServer server(
        [&](TestServer& self, int fd, const ReceivedRequest& request) {
            if (self.waitForRequests(kTasks)) allAtOnce = true;
            const std::size_t index = indexIn(request.target());
            const std::string body = asText(bodyFor(index));
            if (index % 2 == 0) {
                sendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
            } else {
                sendAll(fd, "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + hex(body.size()) + "\r\n" + body +
                                "\r\n0\r\n\r\n");
            }
        },
        TestServer::Connections::Parallel);

    auto log = std::make_shared<TaskLog>();
    std::vector<std::shared_ptr<URLSession>> sessions;
    for (int i = 0; i < 4; ++i) sessions.push_back(URLSession::sessionWithConfiguration({}, log, nullptr));
    std::vector<std::shared_ptr<URLSessionTask>> tasks;
    for (std::size_t i = 0; i < kTasks; ++i) {
        tasks.push_back(
            sessions[i % sessions.size()]->dataTaskWithRequest(requestFor(server.url("/n/" + std::to_string(i)))));
    }
    for (const auto& task : tasks) task->resume();
    ASSERT_TRUE(log->waitFor(kTasks));
    for (const auto& session : sessions) session->finishTasksAndInvalidate();
    ASSERT_TRUE(log->waitFor(kTasks, sessions.size()));

    EXPECT_TRUE(allAtOnce.load());
    for (std::size_t i = 0; i < kTasks; ++i) {
        SCOPED_TRACE("task " + std::to_string(i));
        const TaskLog::Entry entry = log->entry(tasks[i]);
        EXPECT_FALSE(entry.error.has_value()) << entry.error->localizedDescription();
        EXPECT_TRUE(entry.body == bodyFor(i));
        EXPECT_TRUE(orderIsSound(entry.events));
        EXPECT_TRUE(entry.onQueue);
    }
}

TEST(URLSession, ADelegateThatHoldsItsTaskBackHoldsBackNoOther) {
    constexpr std::int64_t kHeld = 16 * kMiB, kOther = 8 * kMiB;
    TestServer server(
        [&](TestServer&, int fd, const ReceivedRequest& request) {
            const std::int64_t size = request.target() == "/held" ? kHeld : kOther;
            if (!sendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(size) + "\r\n\r\n")) return;
            for (std::int64_t offset = 0; offset < size; offset += kMiB) {
                if (!sendAll(fd, asText(pattern(kMiB, static_cast<std::uint64_t>(offset))))) return;
            }
        },
        TestServer::Connections::Parallel);

    // The held task's delegate blocks in its first didReceiveData until the
    // other task has completed.
    std::promise<void> heldStarted, otherDone;
    auto otherDoneFuture = otherDone.get_future().share();
    std::int64_t heldBytes = 0, heldMismatches = 0;
    bool otherFinishedFirst = false;
    auto held = std::make_shared<StreamingDelegate>();
    held->onData = [&](URLSessionTask&, std::span<const std::uint8_t> data) {
        for (std::size_t i = 0; i < data.size(); ++i) {
            if (data[i] != patternByte(static_cast<std::uint64_t>(heldBytes) + i)) ++heldMismatches;
        }
        if (heldBytes == 0) {
            heldStarted.set_value();
            otherFinishedFirst = otherDoneFuture.wait_for(60s) == std::future_status::ready;
        }
        heldBytes += static_cast<std::int64_t>(data.size());
    };
    auto heldSession = sessionFor(held);
    auto heldTask = heldSession->dataTaskWithRequest(requestFor(server.url("/held")));
    heldTask->resume();
    ASSERT_EQ(heldStarted.get_future().wait_for(60s), std::future_status::ready);

    auto other = std::make_shared<Recorder>();
    auto otherSession = sessionFor(other);
    runTask(otherSession, otherSession->dataTaskWithRequest(requestFor(server.url("/other"))), *other);
    otherDone.set_value();
    EXPECT_FALSE(other->error().has_value()) << other->error()->localizedDescription();
    EXPECT_EQ(other->body(), pattern(kOther));

    ASSERT_TRUE(held->waitForCompletion());
    heldSession->finishTasksAndInvalidate();
    ASSERT_TRUE(held->waitForInvalid());
    EXPECT_TRUE(otherFinishedFirst);
    EXPECT_FALSE(held->error().has_value()) << held->error()->localizedDescription();
    EXPECT_EQ(heldBytes, kHeld);
    EXPECT_EQ(heldMismatches, 0);
}

TEST(URLSession, CancellingOneOfManyTasksLeavesTheOthersAlone) {
    // Each answer sends half its body, then the rest once released.
    constexpr std::size_t kTasks = 16, kVictim = 5;
    TestServer server(
        [&](TestServer& self, int fd, const ReceivedRequest& request) {
            const std::string body = asText(bodyFor(indexIn(request.target())));
            const std::size_t half = body.size() / 2;
            if (!sendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" +
                                 body.substr(0, half))) {
                return;
            }
            self.waitForRelease();
            sendAll(fd, body.substr(half));
        },
        TestServer::Connections::Parallel);

    auto log = std::make_shared<TaskLog>();
    std::mutex mutex;
    std::condition_variable changed;
    std::set<const URLSessionTask*> withData;
    log->onData = [&](URLSessionTask& task, auto) {
        std::lock_guard lock(mutex);
        withData.insert(&task);
        changed.notify_all();
    };
    auto session = URLSession::sessionWithConfiguration({}, log, nullptr);
    std::vector<std::shared_ptr<URLSessionTask>> tasks;
    for (std::size_t i = 0; i < kTasks; ++i) {
        tasks.push_back(session->dataTaskWithRequest(requestFor(server.url("/n/" + std::to_string(i)))));
        tasks.back()->resume();
    }
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, 60s, [&] { return withData.size() == kTasks; }));
    }
    tasks[kVictim]->cancel();
    server.release();
    ASSERT_TRUE(log->waitFor(kTasks));
    session->finishTasksAndInvalidate();
    ASSERT_TRUE(log->waitFor(kTasks, 1));

    for (std::size_t i = 0; i < kTasks; ++i) {
        SCOPED_TRACE("task " + std::to_string(i));
        const TaskLog::Entry entry = log->entry(tasks[i]);
        EXPECT_TRUE(orderIsSound(entry.events));
        const auto expected = bodyFor(i);
        if (i == kVictim) {
            ASSERT_TRUE(entry.error.has_value());
            EXPECT_EQ(entry.error->code(), URLErrorCancelled);
            EXPECT_LT(entry.body.size(), expected.size());
            EXPECT_TRUE(std::equal(entry.body.begin(), entry.body.end(), expected.begin()));
        } else {
            EXPECT_FALSE(entry.error.has_value()) << entry.error->localizedDescription();
            EXPECT_TRUE(entry.body == expected);
        }
    }
}

namespace {

// A body stream that has only the bytes the test has let through; it says
// so with HasBytesAvailable, as a stream fed by a producer would. Reading
// it while it has nothing would block such a stream: that fails it here.
class GatedStream final : public InputStream {
public:
    explicit GatedStream(std::vector<std::uint8_t> data) : mData(std::move(data)) {}

    void open() override {
        if (status() == StreamStatus::NotOpen) setStatus(StreamStatus::Open);
    }
    bool hasBytesAvailable() const override {
        std::lock_guard lock(mMutex);
        return mOffset < mAllowed || mOffset == mData.size();
    }
    long read(std::uint8_t* buffer, std::size_t length) override {
        std::lock_guard lock(mMutex);
        if (mOffset == mData.size()) return 0;
        if (mOffset == mAllowed) {
            ++mReadsWhileEmpty;
            fail(Error(StreamErrorDomain, EWOULDBLOCK));
            return -1;
        }
        const std::size_t count = std::min(length, mAllowed - mOffset);
        std::memcpy(buffer, mData.data() + mOffset, count);
        mOffset += count;
        return static_cast<long>(count);
    }
    // Lets the first `count` bytes through.
    void allow(std::size_t count) {
        {
            std::lock_guard lock(mMutex);
            mAllowed = std::min(count, mData.size());
        }
        postEvent(StreamEvent::HasBytesAvailable);
    }
    std::size_t offset() const {
        std::lock_guard lock(mMutex);
        return mOffset;
    }
    int readsWhileEmpty() const {
        std::lock_guard lock(mMutex);
        return mReadsWhileEmpty;
    }

private:
    mutable std::mutex mMutex;
    const std::vector<std::uint8_t> mData;
    std::size_t mOffset = 0;
    std::size_t mAllowed = 0;
    int mReadsWhileEmpty = 0;
};

}  // namespace

TEST(URLSession, ABodyStreamWithNothingReadyHoldsBackOnlyItsUpload) {
    TestServer server(
        [](TestServer&, int fd, const ReceivedRequest& request) {
            sendAll(fd, request.head.starts_with("PUT") ? replyWithBody(201, "", "") : replyWithBody(200, "", "ok"));
        },
        TestServer::Connections::Parallel);
    const auto data = pattern(3 * kMiB + 5);
    auto stream = std::make_shared<GatedStream>(data);

    for (const bool declareLength : {true, false}) {
        SCOPED_TRACE(declareLength ? "with Content-Length" : "chunked");
        stream = std::make_shared<GatedStream>(data);
        stream->allow(kMiB);
        auto uploader = std::make_shared<Recorder>();
        auto uploadSession = sessionFor(uploader);
        URLRequest put = requestFor(server.url("/up"), "PUT");
        put.httpBodyStream = stream;
        if (declareLength) put.setValue(std::to_string(data.size()), "Content-Length");
        uploadSession->dataTaskWithRequest(put)->resume();
        for (int i = 0; i < 6000 && stream->offset() < kMiB; ++i) std::this_thread::sleep_for(10ms);
        ASSERT_EQ(stream->offset(), static_cast<std::size_t>(kMiB));

        // While the upload waits for its stream, another transfer runs.
        auto other = std::make_shared<Recorder>();
        auto otherSession = sessionFor(other);
        runTask(otherSession, otherSession->dataTaskWithRequest(requestFor(server.url("/get"))), *other);
        EXPECT_EQ(asText(other->body()), "ok");
        EXPECT_FALSE(uploader->response().has_value());

        stream->allow(2 * kMiB);
        stream->allow(data.size());
        ASSERT_TRUE(uploader->waitForCompletion());
        uploadSession->finishTasksAndInvalidate();
        ASSERT_TRUE(uploader->waitForInvalid());
        EXPECT_FALSE(uploader->error().has_value()) << uploader->error()->localizedDescription();
        EXPECT_EQ(stream->readsWhileEmpty(), 0);
        EXPECT_EQ(uploader->totalSent(), static_cast<std::int64_t>(data.size()));
        const auto requests = server.requests();
        const auto upload = std::find_if(requests.rbegin(), requests.rend(),
                                         [](const ReceivedRequest& r) { return r.head.starts_with("PUT"); });
        ASSERT_NE(upload, requests.rend());
        EXPECT_TRUE(upload->complete);
        EXPECT_EQ(upload->body, asText(data));
    }
}

TEST(URLSession, InvalidateAndCancelEndsEveryTaskInFlight) {
    // Half the answers stall before their head, half in their body.
    constexpr std::size_t kTasks = 32;
    TestServer server(
        [](TestServer& self, int fd, const ReceivedRequest& request) {
            if (indexIn(request.target()) % 2 == 1) {
                sendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n0123456789");
            }
            self.waitForRelease();
        },
        TestServer::Connections::Parallel);

    auto log = std::make_shared<TaskLog>();
    auto session = URLSession::sessionWithConfiguration({}, log, nullptr);
    std::vector<std::shared_ptr<URLSessionTask>> tasks;
    for (std::size_t i = 0; i < kTasks; ++i) {
        tasks.push_back(session->dataTaskWithRequest(requestFor(server.url("/n/" + std::to_string(i)))));
        tasks.back()->resume();
    }
    ASSERT_TRUE(server.waitForRequests(kTasks));
    session->invalidateAndCancel();
    ASSERT_TRUE(log->waitFor(kTasks, 1));

    const auto ends = log->ends();
    ASSERT_EQ(ends.size(), kTasks + 1);
    EXPECT_EQ(ends.back(), Event::Invalid);
    for (std::size_t i = 0; i < kTasks; ++i) {
        SCOPED_TRACE("task " + std::to_string(i));
        const TaskLog::Entry entry = log->entry(tasks[i]);
        EXPECT_TRUE(orderIsSound(entry.events));
        ASSERT_TRUE(entry.error.has_value());
        EXPECT_EQ(entry.error->code(), URLErrorCancelled);
        EXPECT_EQ(tasks[i]->state(), URLSessionTaskState::Completed);
    }
}

TEST(URLSession, ConnectionsAreReusedAndOnlyHarmlessRequestsAreSentAgain) {
    // Answers keep the connection, except the first request to a "/lost"
    // path: the server reads it and closes without a word.
    std::mutex mutex;
    std::set<std::string> lostOnce;
    TestServer server(
        [&](TestServer&, int fd, const ReceivedRequest& request) {
            {
                std::lock_guard lock(mutex);
                if (request.target().starts_with("/lost") && lostOnce.insert(request.target()).second) {
                    ::shutdown(fd, SHUT_RDWR);
                    return;
                }
            }
            sendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
        },
        TestServer::Connections::Parallel);

    // Each step in a session of its own: connections outlive sessions.
    const auto run = [&](URLRequest request) {
        auto recorder = std::make_shared<Recorder>();
        auto session = sessionFor(recorder);
        runTask(session, session->dataTaskWithRequest(std::move(request)), *recorder);
        return std::make_pair(recorder->errorCode(), asText(recorder->body()));
    };
    URLRequest put = requestFor(server.url("/lost-put"), "PUT");
    put.httpBody = pattern(100);

    EXPECT_EQ(run(requestFor(server.url("/ok"))), std::make_pair(0L, std::string("ok")));
    EXPECT_EQ(run(put), std::make_pair(static_cast<long>(URLErrorNetworkConnectionLost), std::string()));
    EXPECT_EQ(run(requestFor(server.url("/ok"))), std::make_pair(0L, std::string("ok")));
    EXPECT_EQ(run(requestFor(server.url("/lost-get"))), std::make_pair(0L, std::string("ok")));

    // Connections opened and closed unused are not counted.
    std::vector<ReceivedRequest> requests;
    for (const auto& request : server.requests()) {
        if (!request.head.empty()) requests.push_back(request);
    }
    std::vector<std::string> targets;
    for (const auto& request : requests) targets.push_back(request.target());
    ASSERT_EQ(targets, (std::vector<std::string>{"/ok", "/lost-put", "/ok", "/lost-get", "/lost-get"}));
    EXPECT_EQ(requests[1].connection, requests[0].connection) << "reused by the next session";
    EXPECT_NE(requests[2].connection, requests[1].connection) << "the closed one was not";
    EXPECT_EQ(requests[3].connection, requests[2].connection);
    EXPECT_NE(requests[4].connection, requests[3].connection) << "sent again on a new one";
}

namespace {

// Puts every response's body straight into a stream.
class IntoStreamDelegate : public Recorder {
public:
    explicit IntoStreamDelegate(std::shared_ptr<OutputStream> stream) : mStream(std::move(stream)) {}
    void didReceiveResponse(URLSession& session, URLSessionTask& task, const HTTPURLResponse& response,
                            std::function<void(URLSessionResponseDisposition)> completionHandler) override {
        mStream->open();
        task.writeReceivedDataToStream(mStream);
        Recorder::didReceiveResponse(session, task, response, std::move(completionHandler));
    }

private:
    std::shared_ptr<OutputStream> mStream;
};

// Takes `room` bytes, then fails.
class FailingOutputStream final : public OutputStream {
public:
    explicit FailingOutputStream(std::size_t room) : mRoom(room) {}
    long write(const std::uint8_t*, std::size_t length) override {
        if (length > mRoom) {
            fail(Error(StreamErrorDomain, EIO));
            return -1;
        }
        mRoom -= length;
        return static_cast<long>(length);
    }

private:
    std::size_t mRoom;
};

}  // namespace

TEST(URLSession, TheBodyCanGoStraightIntoAStream) {
    const auto body = pattern(3 * kMiB + 7);
    TestServer server([&](TestServer&, int fd, const ReceivedRequest& request) {
        if (request.target() == "/chunked") {
            sendAll(fd, "HTTP/1.1 200 OK\r\nConnection: close\r\nTransfer-Encoding: chunked\r\n\r\n");
            for (std::size_t offset = 0; offset < body.size(); offset += 100000) {
                const std::size_t size = std::min<std::size_t>(100000, body.size() - offset);
                if (!sendChunk(fd, std::vector<std::uint8_t>(body.begin() + offset, body.begin() + offset + size))) {
                    return;
                }
            }
            sendAll(fd, "0\r\n\r\n");
            return;
        }
        sendAll(fd, replyWithBody(200, "", asText(body)));
    });

    for (const char* path : {"/fixed", "/chunked"}) {
        SCOPED_TRACE(path);
        auto stream = OutputStream::toMemory();
        auto delegate = std::make_shared<IntoStreamDelegate>(stream);
        auto session = sessionFor(delegate);
        auto task = session->dataTaskWithRequest(requestFor(server.url(path)));
        runTask(session, task, *delegate);
        EXPECT_FALSE(delegate->error().has_value()) << delegate->error()->localizedDescription();
        EXPECT_TRUE(*stream->dataWrittenToMemory() == body);
        EXPECT_TRUE(delegate->body().empty()) << "no didReceiveData";
        EXPECT_EQ(task->countOfBytesReceived(), static_cast<std::int64_t>(body.size()));
        EXPECT_TRUE(orderIsSound(delegate->events()));
        EXPECT_TRUE(delegate->allOnDelegateQueue());
    }

    // A stream that fails ends the task, with the stream's error inside.
    auto delegate = std::make_shared<IntoStreamDelegate>(std::make_shared<FailingOutputStream>(kMiB));
    auto session = sessionFor(delegate);
    runTask(session, session->dataTaskWithRequest(requestFor(server.url("/fixed"))), *delegate);
    const auto error = delegate->error();
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->code(), URLErrorUnknown);
    const auto* underlying = error->userInfoValue<Error>(URLErrorUnderlyingErrorKey);
    ASSERT_NE(underlying, nullptr);
    EXPECT_EQ(underlying->code(), EIO);
    EXPECT_TRUE(orderIsSound(delegate->events()));
}

namespace {

// A port that answers a TLS handshake with plain HTTP, on a thread of its own.
int notTlsPort() {
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener, 8);
    socklen_t length = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    std::thread([listener] {
        for (int fd; (fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;) {
            sendAll(fd, "HTTP/1.1 400 X\r\nContent-Length: 0\r\n\r\n");
            ::close(fd);
        }
    }).detach();
    return ntohs(address.sin_port);
}

int gNotTlsPort = 0;

// Runs last at exit, after any teardown that OpenSSL registered when the
// first request set libcurl up: a request over TLS, as a client still
// sending then makes.
void requestOverTlsAtExit() {
    auto recorder = std::make_shared<Recorder>();
    auto session = sessionFor(recorder);
    session->dataTaskWithRequest(requestFor("https://127.0.0.1:" + std::to_string(gNotTlsPort) + "/late"))->resume();
    const bool completed = recorder->waitForCompletion();
    std::fprintf(stderr, "late request %s, code %ld\n", completed ? "completed" : "hung", recorder->errorCode());
}

}  // namespace

TEST(URLSession, ARequestOverTlsStillEndsWhileTheProcessExits) {
    // A fresh process, where libcurl and OpenSSL were not set up yet.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            std::atexit(requestOverTlsAtExit);
            gNotTlsPort = notTlsPort();
            TestServer server(
                [](TestServer&, int fd, const ReceivedRequest&) { sendAll(fd, replyWithBody(200, "", "")); });
            auto recorder = std::make_shared<Recorder>();
            auto session = sessionFor(recorder);
            session->dataTaskWithRequest(requestFor(server.url("/first")))->resume();
            if (!recorder->waitForCompletion() || recorder->error()) std::exit(3);
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "late request completed, code " + std::to_string(URLErrorSecureConnectionFailed));
}
