#include "platform/net/URLSessionEngine.h"

#include "platform/dispatch/RunLoop.h"
#include "platform/dispatch/ThreadStart.h"
#include "platform/foundation/AsciiText.h"
#include "platform/foundation/Stream.h"
#include "platform/net/HTTPResponseHead.h"
#include "platform/net/URLSession.h"

#include <curl/curl.h>
#include <openssl/crypto.h>
#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <future>
#include <mutex>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace platform::net {

namespace {

using Clock = std::chrono::steady_clock;

// curl's receive and send buffers: the most one read of the socket hands to
// write(), the most read() is asked for at a time.
constexpr long kTransferBufferSize = 256 * 1024;

// While the socket has more at once, received bytes (and send progress) are
// gathered up to this much before the delegate queue is woken; they go out
// whenever the transfer would wait. Each wake costs two context switches.
constexpr std::size_t kHandOverBatch = 512 * 1024;

// Idle connections kept for reuse, over all hosts. Connections per host are
// not capped: HTTP/1.1 carries one transfer per connection, and a transfer
// that curl queued for a free connection would spend its stall time there.
constexpr long kIdleConnections = 64;

// How often a body stream with nothing ready is looked at again, should it
// get bytes without saying so.
constexpr auto kStreamRecheck = std::chrono::milliseconds(100);

// The longest the worker sleeps when nothing is due.
constexpr auto kLongestSleep = std::chrono::seconds(1);

long urlErrorCodeFor(CURLcode code) {
    switch (code) {
        case CURLE_URL_MALFORMAT: return URLErrorBadURL;
        case CURLE_COULDNT_RESOLVE_PROXY:
        case CURLE_COULDNT_RESOLVE_HOST: return URLErrorCannotFindHost;
        case CURLE_COULDNT_CONNECT: return URLErrorCannotConnectToHost;
        case CURLE_OPERATION_TIMEDOUT: return URLErrorTimedOut;
        // The scheme is checked before sending, so an unsupported protocol
        // here is a reply that is not HTTP/1.x (curl refuses HTTP/0.9).
        case CURLE_UNSUPPORTED_PROTOCOL:
        case CURLE_WEIRD_SERVER_REPLY:
        case CURLE_BAD_CONTENT_ENCODING:
        case CURLE_TOO_MANY_REDIRECTS: return URLErrorBadServerResponse;
        case CURLE_GOT_NOTHING:
        case CURLE_PARTIAL_FILE:
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR:
        case CURLE_HTTP2:
        case CURLE_HTTP2_STREAM: return URLErrorNetworkConnectionLost;
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ENGINE_NOTFOUND:
        case CURLE_SSL_ENGINE_SETFAILED:
        case CURLE_SSL_ENGINE_INITFAILED:
        case CURLE_SSL_SHUTDOWN_FAILED:
        case CURLE_SSL_CRL_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        case CURLE_SSL_INVALIDCERTSTATUS:
        case CURLE_SSL_CLIENTCERT: return URLErrorSecureConnectionFailed;
        default: return URLErrorUnknown;
    }
}

// Seconds as a duration; nullopt (no limit) for 0, negatives, NaN and
// infinity. Huge values are capped so deadlines cannot overflow.
std::optional<Clock::duration> limitFromSeconds(double seconds) {
    if (!(seconds > 0) || !std::isfinite(seconds)) return std::nullopt;
    constexpr double kMaxSeconds = 100.0 * 365 * 24 * 3600;
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(std::min(seconds, kMaxSeconds)));
}

// The run loop on which body streams tell their transfers that they have
// bytes: a thread of its own, made when a stream first has nothing ready.
std::shared_ptr<RunLoop> streamEventLoop() {
    static const std::shared_ptr<RunLoop> loop = [] {
        std::promise<std::shared_ptr<RunLoop>> made;
        auto future = made.get_future();
        startThread([made = std::move(made)]() mutable {
            pthread_setname_np(pthread_self(), "url.streams");
            auto own = RunLoop::current();
            made.set_value(own);
            for (;;) own->runUntil([] { return false; }, std::chrono::hours(24));
        }).detach();
        return future.get();
    }();
    return loop;
}

// A body stream's delegate: its news wakes the transfer.
class BodyStreamWatcher final : public StreamDelegate {
public:
    explicit BodyStreamWatcher(std::weak_ptr<URLSessionTask> task) : mTask(std::move(task)) {}
    void handleEvent(Stream&, StreamEvent event) override {
        if (event == StreamEvent::OpenCompleted) return;
        if (auto task = mTask.lock()) URLSessionEngine::poke(std::move(task));
    }

private:
    std::weak_ptr<URLSessionTask> mTask;
};

}  // namespace

Error makeURLError(long code, std::string description) {
    return Error(URLErrorDomain, code, {{Error::LocalizedDescriptionKey, std::move(description)}});
}

// One transfer of one task: its curl easy handle in the engine's multi
// handle, with the task's request, timeouts, pauses and hand-overs. Lives on
// the worker thread; other threads reach it only through the task's fields
// and URLSessionEngine::poke.
class URLSessionTransfer {
public:
    URLSessionTransfer(std::shared_ptr<URLSession> session, std::shared_ptr<URLSessionTask> task,
                       Clock::time_point start);
    ~URLSessionTransfer();
    URLSessionTransfer(const URLSessionTransfer&) = delete;
    URLSessionTransfer& operator=(const URLSessionTransfer&) = delete;

    // The task's running transfer, if any.
    static URLSessionTransfer* of(const URLSessionTask& task) { return task.mTransfer; }
    // Makes the transfer the task's running one.
    void attach() { mTask->mTransfer = this; }
    bool cancelRequested() const {
        std::lock_guard lock(mTask->mMutex);
        return mTask->mCancelRequested;
    }
    CURL* easy() const { return mEasy; }
    // Takes the task's news (cancel, answer, room, stream ready).
    void takeNews();
    // After a round of curl's work: notes progress, ends a transfer that
    // timed out, lowers `wakeAt` to the transfer's next deadline and hands
    // over what it gathered unless it is still receiving (`gathering`).
    void sweep(Clock::time_point now, Clock::time_point& wakeAt, bool& gathering);
    void curlFinished(CURLcode code);
    // Whether the transfer is over and can be ended. A transfer whose
    // response still awaits the delegate's answer is not, although curl may
    // be done with it.
    bool ending() const { return mEnding; }
    void flushToDelegate();
    // The task's error (nullopt for success); after ending().
    std::optional<Error> outcome();
    // Frees the easy handle (out of the multi handle by now) and lets the
    // body stream go, then tells the session the task has ended.
    void complete(std::optional<Error> error);
    // Builds the easy handle; an error ends the task unsent.
    std::optional<Error> prepare();

private:
    enum class Abort {
        None,
        Cancelled,
        TimedOut,
        BodyStreamExhausted,
        BodyStreamFailed,
        ReceivedDataStreamFailed,
        AnswerLost
    };

    static std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* self) {
        return static_cast<URLSessionTransfer*>(self)->header(std::string_view(data, size * count));
    }
    static std::size_t onWrite(char* data, std::size_t size, std::size_t count, void* self) {
        return static_cast<URLSessionTransfer*>(self)->write(reinterpret_cast<const std::uint8_t*>(data), size * count);
    }
    static std::size_t onRead(char* buffer, std::size_t size, std::size_t count, void* self) {
        return static_cast<URLSessionTransfer*>(self)->read(buffer, size * count);
    }
    static int onSeek(void* self, curl_off_t offset, int origin) {
        return static_cast<URLSessionTransfer*>(self)->seek(offset, origin);
    }
    static int onProgress(void* self, curl_off_t, curl_off_t downloaded, curl_off_t, curl_off_t uploaded) {
        return static_cast<URLSessionTransfer*>(self)->progress(downloaded, uploaded);
    }
    static int onRequestStart(void* self, char*, char*, int, int) {
        return static_cast<URLSessionTransfer*>(self)->requestStart();
    }

    std::size_t header(std::string_view line);
    std::size_t write(const std::uint8_t* data, std::size_t length);
    std::size_t read(char* buffer, std::size_t capacity);
    int seek(curl_off_t offset, int origin);
    int progress(curl_off_t downloaded, curl_off_t uploaded);
    int requestStart();
    void reportSent(std::int64_t total);
    // A body stream that read() may be called on without waiting.
    bool bodyStreamReady() const;
    // Has the body stream tell us when it gets bytes.
    void watchBodyStream();
    // Sets curl's pause state to ours.
    void applyPause();
    void abort(Abort reason);
    // The error of a failed body stream or received-data stream.
    Error streamFailure(const std::string& what) const;
    // Waiting on our side (the delegate, the body stream) is not a stall.
    bool waitingOnUs() const { return mAwaitingAnswer || mRecvPaused || mSendPaused; }

    const std::shared_ptr<URLSession> mSession;
    const std::shared_ptr<URLSessionTask> mTask;
    const std::shared_ptr<URLSessionDataDelegate> mDelegate;

    CURL* mEasy = nullptr;
    curl_slist* mHeaderList = nullptr;
    char mErrorText[CURL_ERROR_SIZE] = {};
    Abort mAbort = Abort::None;
    std::optional<Error> mStreamError;
    bool mEnding = false;
    bool mCurlDone = false;
    CURLcode mCurlCode = CURLE_OK;

    // Request body: bytes in memory or a stream, never both.
    const std::vector<std::uint8_t>* mBody = nullptr;
    std::size_t mBodyOffset = 0;
    std::shared_ptr<InputStream> mBodyStream;
    std::shared_ptr<BodyStreamWatcher> mBodyStreamWatcher;
    std::optional<std::int64_t> mStreamLength;  // Content-Length of a stream body
    std::int64_t mBodyBytesRead = 0;            // handed to curl
    std::int64_t mExpectedToSend = 0;           // -1: unknown
    bool mSendsBody = false;
    std::int64_t mReportedSent = 0;
    // Sent more than once only when repeating it is harmless.
    bool mRepeatable = false;
    int mRequestStarts = 0;

    // Where the body goes in place of the delegate, once the response is allowed.
    std::shared_ptr<OutputStream> mReceivedDataStream;

    HTTPResponseHeadReader mHead;
    bool mResponseDelivered = false;
    std::int64_t mBodyLeft = -1;   // announced body bytes not yet received; -1: unknown
    bool mAwaitingAnswer = false;  // didReceiveResponse not yet answered

    bool mRecvPaused = false;  // the write callback paused the transfer
    bool mSendPaused = false;  // the read callback did (the stream had nothing)
    bool mActivity = false;    // bytes moved or a callback ran since the last sweep
    bool mUnflushed = false;   // news for the delegate not yet posted

    std::optional<Clock::duration> mStallLimit;
    std::optional<Clock::time_point> mDeadline;
    Clock::time_point mLastProgress;
    curl_off_t mLastDownloaded = 0;
    curl_off_t mLastUploaded = 0;
};

URLSessionTransfer::URLSessionTransfer(std::shared_ptr<URLSession> session, std::shared_ptr<URLSessionTask> task,
                                       Clock::time_point start)
    : mSession(std::move(session)), mTask(std::move(task)), mDelegate(mSession->delegate()), mLastProgress(start) {
    if (auto limit = limitFromSeconds(mSession->configuration().timeoutIntervalForResource)) {
        mDeadline = start + *limit;
    }
}

URLSessionTransfer::~URLSessionTransfer() {
    if (mEasy != nullptr) curl_easy_cleanup(mEasy);
    if (mHeaderList != nullptr) curl_slist_free_all(mHeaderList);
    if (mBodyStream) {
        if (mBodyStreamWatcher) {
            mBodyStream->removeFromRunLoop();
            mBodyStream->setDelegate({});
        }
        // The stream was consumed for this request.
        mBodyStream->close();
    }
}

std::optional<Error> URLSessionTransfer::prepare() {
    const URLRequest& request = mTask->mRequest;
    const URL& url = request.url;

    const std::string scheme = platform::ascii::lowercased(url.scheme());
    if (scheme != "http" && scheme != "https") {
        return makeURLError(URLErrorUnsupportedURL, "unsupported URL scheme \"" + url.scheme() + "\"");
    }
    if (url.host().empty()) return makeURLError(URLErrorBadURL, "URL without host: " + url.absoluteString());
    const std::string& method = request.httpMethod;
    if (!isValidHeaderName(method)) return makeURLError(URLErrorUnknown, "invalid HTTP method \"" + method + "\"");

    const bool isHead = method == "HEAD";
    if (!isHead) {
        if (mTask->mUploadBody) {
            mBody = mTask->mUploadBody.get();
        } else if (request.httpBodyStream) {
            mBodyStream = request.httpBodyStream;
        } else if (!request.httpBody.empty()) {
            mBody = &request.httpBody;
        }
    }

    // The request's own Content-Length is sent as it stands, so it must frame
    // the body we send: a wrong one would desynchronise the connection.
    std::optional<std::int64_t> declaredLength;
    if (const std::string* declared = request.headers.get("Content-Length")) {
        declaredLength = parseContentLength(*declared);
        if (!declaredLength) return makeURLError(URLErrorUnknown, "invalid Content-Length \"" + *declared + "\"");
    }
    if (mBodyStream) {
        mStreamLength = declaredLength;
        mExpectedToSend = declaredLength.value_or(-1);
    } else {
        const auto size = static_cast<std::int64_t>(mBody != nullptr ? mBody->size() : 0);
        if (declaredLength && *declaredLength != size) {
            return makeURLError(URLErrorUnknown, "Content-Length " + std::to_string(*declaredLength) +
                                                     " does not match the body of " + std::to_string(size) + " bytes");
        }
        mExpectedToSend = size;
    }

    if (mBodyStream) {
        if (mBodyStream->status() == StreamStatus::NotOpen) mBodyStream->open();
        if (mBodyStream->status() == StreamStatus::Error) {
            mStreamError = mBodyStream->streamError();
            mAbort = Abort::BodyStreamFailed;
            return outcome();
        }
    }

    mEasy = curl_easy_init();
    if (mEasy == nullptr) return makeURLError(URLErrorUnknown, "cannot start an HTTP transfer");

    curl_easy_setopt(mEasy, CURLOPT_PRIVATE, this);
    curl_easy_setopt(mEasy, CURLOPT_URL, url.absoluteString().c_str());
    curl_easy_setopt(mEasy, CURLOPT_PROTOCOLS_STR, "http,https");
    // Blob names may hold "." and ".." segments; they are not to be resolved.
    curl_easy_setopt(mEasy, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(mEasy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(mEasy, CURLOPT_ERRORBUFFER, mErrorText);
    curl_easy_setopt(mEasy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(mEasy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    curl_easy_setopt(mEasy, CURLOPT_HEADERFUNCTION, &URLSessionTransfer::onHeader);
    curl_easy_setopt(mEasy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(mEasy, CURLOPT_WRITEFUNCTION, &URLSessionTransfer::onWrite);
    curl_easy_setopt(mEasy, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(mEasy, CURLOPT_XFERINFOFUNCTION, &URLSessionTransfer::onProgress);
    curl_easy_setopt(mEasy, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(mEasy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(mEasy, CURLOPT_PREREQFUNCTION, &URLSessionTransfer::onRequestStart);
    curl_easy_setopt(mEasy, CURLOPT_PREREQDATA, this);
    // Fewer, larger reads and writes of a fast body (and fewer progress
    // reports to hand to the delegate).
    curl_easy_setopt(mEasy, CURLOPT_BUFFERSIZE, kTransferBufferSize);
    curl_easy_setopt(mEasy, CURLOPT_UPLOAD_BUFFERSIZE, kTransferBufferSize);

    mStallLimit = limitFromSeconds(request.timeoutInterval > 0 ? request.timeoutInterval
                                                               : mSession->configuration().timeoutIntervalForRequest);
    if (mStallLimit) {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(*mStallLimit).count();
        curl_easy_setopt(mEasy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(std::clamp<long long>(ms, 1, 1L << 30)));
    }

    const bool upload = mBody != nullptr || mBodyStream || method == "PUT" || method == "POST";
    mRepeatable = !upload && (method == "GET" || isHead || method == "OPTIONS");
    if (isHead) {
        curl_easy_setopt(mEasy, CURLOPT_NOBODY, 1L);
    } else if (upload) {
        // An upload with a custom method: curl frames the body (Content-Length,
        // or chunked for a stream of unknown length) and adds no Content-Type.
        mSendsBody = true;
        curl_easy_setopt(mEasy, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(mEasy, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(mExpectedToSend));
        curl_easy_setopt(mEasy, CURLOPT_READFUNCTION, &URLSessionTransfer::onRead);
        curl_easy_setopt(mEasy, CURLOPT_READDATA, this);
        curl_easy_setopt(mEasy, CURLOPT_SEEKFUNCTION, &URLSessionTransfer::onSeek);
        curl_easy_setopt(mEasy, CURLOPT_SEEKDATA, this);
        if (method != "PUT") curl_easy_setopt(mEasy, CURLOPT_CUSTOMREQUEST, method.c_str());
    } else if (method == "GET") {
        curl_easy_setopt(mEasy, CURLOPT_HTTPGET, 1L);
    } else {
        curl_easy_setopt(mEasy, CURLOPT_CUSTOMREQUEST, method.c_str());
    }

    // Exactly the request's fields, in order; "Name:" switches off a field
    // curl would add by itself, "Name;" sends an empty value.
    const auto append = [this](const std::string& line) {
        curl_slist* list = curl_slist_append(mHeaderList, line.c_str());
        if (list == nullptr) return false;
        mHeaderList = list;
        return true;
    };
    bool appended = true;
    for (const auto& [name, value] : request.headers) {
        if (!isValidHeaderName(name) || !isValidHeaderValue(value)) {
            return makeURLError(URLErrorUnknown, "invalid HTTP header \"" + name + "\"");
        }
        appended = appended && append(value.empty() ? name + ";" : name + ": " + value);
    }
    if (!request.headers.contains("Accept")) appended = appended && append("Accept:");
    if (!request.headers.contains("Expect")) appended = appended && append("Expect:");
    if (!appended) return makeURLError(URLErrorUnknown, "out of memory for the request headers");
    curl_easy_setopt(mEasy, CURLOPT_HTTPHEADER, mHeaderList);
    return std::nullopt;
}

std::optional<Error> URLSessionTransfer::outcome() {
    switch (mAbort) {
        case Abort::Cancelled: return makeURLError(URLErrorCancelled, "cancelled");
        case Abort::TimedOut: return makeURLError(URLErrorTimedOut, "The request timed out.");
        case Abort::BodyStreamExhausted:
            return makeURLError(URLErrorRequestBodyStreamExhausted,
                                "the body stream ended after " + std::to_string(mBodyBytesRead) + " of " +
                                    std::to_string(mStreamLength.value_or(0)) + " bytes");
        case Abort::BodyStreamFailed: return streamFailure("reading the body stream failed");
        case Abort::ReceivedDataStreamFailed: return streamFailure("writing the body to its stream failed");
        case Abort::AnswerLost:
            return makeURLError(URLErrorNetworkConnectionLost,
                                "the connection closed before an answer came; the request is not sent again");
        case Abort::None: break;
    }
    if (!mCurlDone) return makeURLError(URLErrorUnknown, "the HTTP transfer failed");
    if (mCurlCode != CURLE_OK) {
        return makeURLError(urlErrorCodeFor(mCurlCode), mErrorText[0] != '\0'
                                                            ? std::string(mErrorText)
                                                            : std::string(curl_easy_strerror(mCurlCode)));
    }
    if (!mResponseDelivered) return makeURLError(URLErrorBadServerResponse, "no response head received");
    if (mSendsBody && mBodyBytesRead > mReportedSent) reportSent(mBodyBytesRead);
    return std::nullopt;
}

Error URLSessionTransfer::streamFailure(const std::string& what) const {
    if (!mStreamError) return makeURLError(URLErrorUnknown, what);
    Error error = makeURLError(URLErrorUnknown, what + ": " + mStreamError->localizedDescription());
    error.userInfo()[URLErrorUnderlyingErrorKey] = *mStreamError;
    return error;
}

void URLSessionTransfer::abort(Abort reason) {
    if (mAbort == Abort::None) mAbort = reason;
    mEnding = true;
}

void URLSessionTransfer::curlFinished(CURLcode code) {
    mCurlDone = true;
    mCurlCode = code;
    // A reply without a body may be done before its head is answered; a
    // failed one ends at once.
    if (!mAwaitingAnswer || code != CURLE_OK || mAbort != Abort::None) mEnding = true;
}

void URLSessionTransfer::takeNews() {
    if (mEnding) return;
    bool cancelled = false;
    std::optional<bool> allowed;  // set once the response has been answered
    {
        std::lock_guard lock(mTask->mMutex);
        cancelled = mTask->mCancelRequested;
        if (mAwaitingAnswer && (mTask->mDisposition || mTask->mDispositionHandlerDropped)) {
            allowed = mTask->mDisposition == URLSessionResponseDisposition::Allow;
            mReceivedDataStream = mTask->mReceivedDataStream;
        }
    }
    if (cancelled || allowed == false) {
        abort(Abort::Cancelled);
        return;
    }
    if (allowed) {
        mAwaitingAnswer = false;
        if (mCurlDone) {
            mEnding = true;
            return;
        }
    }
    // The write callback pauses again if the delegate still holds too much.
    bool resume = mRecvPaused && !mAwaitingAnswer;
    if (resume) mRecvPaused = false;
    if (mSendPaused && bodyStreamReady()) {
        mSendPaused = false;
        resume = true;
    }
    if (resume) applyPause();
}

void URLSessionTransfer::applyPause() {
    mLastProgress = Clock::now();
    const int bits = (mRecvPaused ? CURLPAUSE_RECV : 0) | (mSendPaused ? CURLPAUSE_SEND : 0);
    // Unpausing hands curl's held bytes to write() at once, which may pause
    // again or fail the transfer.
    const CURLcode code = curl_easy_pause(mEasy, bits);
    if (code != CURLE_OK) {
        if (mAbort == Abort::None) curlFinished(code);
        mEnding = true;
    }
}

void URLSessionTransfer::sweep(Clock::time_point now, Clock::time_point& wakeAt, bool& gathering) {
    if (mEnding) return;
    const bool active = std::exchange(mActivity, false);
    if (active || waitingOnUs()) mLastProgress = now;
    if (mDeadline) {
        if (now >= *mDeadline) return abort(Abort::TimedOut);
        wakeAt = std::min(wakeAt, *mDeadline);
    }
    if (mStallLimit && !mCurlDone) {
        const Clock::time_point stallAt = mLastProgress + *mStallLimit;
        if (now >= stallAt) return abort(Abort::TimedOut);
        wakeAt = std::min(wakeAt, stallAt);
    }
    if (mSendPaused) {
        if (bodyStreamReady()) {
            mSendPaused = false;
            applyPause();
        } else {
            wakeAt = std::min(wakeAt, now + kStreamRecheck);
        }
    }
    if (mUnflushed) {
        // More came in this round: the socket may have more at once.
        if (active && !mRecvPaused) {
            gathering = true;
        } else {
            flushToDelegate();
        }
    }
}

int URLSessionTransfer::requestStart() {
    // curl sends a request again by itself when a reused connection died
    // before any answer; that is only harmless for some requests.
    if (++mRequestStarts > 1 && !mRepeatable) {
        mAbort = Abort::AnswerLost;
        return CURL_PREREQFUNC_ABORT;
    }
    return CURL_PREREQFUNC_OK;
}

std::size_t URLSessionTransfer::header(std::string_view line) {
    mActivity = true;
    if (mResponseDelivered) return line.size();  // trailers of a chunked body
    if (!mHead.addLine(line)) return line.size();
    long status = 0;
    if (curl_easy_getinfo(mEasy, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK && status > 0) {
        mHead.setStatusCode(static_cast<int>(status));
    }
    if (mHead.isInterim()) {
        // After a 1xx, the final head starts over.
        mHead.startOver();
        return line.size();
    }
    mResponseDelivered = true;
    HTTPURLResponse response = mHead.response(mTask->mRequest.url);
    mBodyLeft = response.expectedContentLength;
    {
        std::lock_guard lock(mTask->mMutex);
        mTask->mResponse = response;
    }
    if (mDelegate) {
        mAwaitingAnswer = true;
        mSession->postResponse(mTask, std::move(response));
    }
    return line.size();
}

std::size_t URLSessionTransfer::write(const std::uint8_t* data, std::size_t length) {
    mActivity = true;
    if (length == 0) return 0;
    if (mAwaitingAnswer) {
        mRecvPaused = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    if (mReceivedDataStream) {
        if (mReceivedDataStream->write(data, length) != static_cast<long>(length)) {
            if (mReceivedDataStream->status() == StreamStatus::Error) mStreamError = mReceivedDataStream->streamError();
            mAbort = Abort::ReceivedDataStreamFailed;
            return 0;
        }
        mTask->mBytesReceived += static_cast<std::int64_t>(length);
        return length;
    }
    if (!mDelegate) {
        mTask->mBytesReceived += static_cast<std::int64_t>(length);
        return length;
    }
    bool post = false;
    {
        std::lock_guard lock(mTask->mMutex);
        if (mTask->mCancelRequested) {
            mAbort = Abort::Cancelled;
            return 0;
        }
        std::vector<std::uint8_t>& pending = mTask->mUndelivered;
        if (!pending.empty() && pending.size() + length > URLSession::kMaximumDataChunkSize) {
            // Not reading the socket until the delegate has taken what is
            // held is the back-pressure on a delegate that does not keep up.
            mTask->mWantsRoom = true;
            post = URLSession::needsDeliveryLocked(*mTask);
            mRecvPaused = true;
        } else {
            // The buffers are made once at the size the rest of the body
            // needs (never growing by copies) and are then reused.
            if (pending.empty() && pending.capacity() < mTask->mSpareChunk.capacity()) {
                pending.swap(mTask->mSpareChunk);
            }
            if (pending.empty() && mBodyLeft > 0) {
                pending.reserve(static_cast<std::size_t>(
                    std::min<std::int64_t>(mBodyLeft, static_cast<std::int64_t>(URLSession::kMaximumDataChunkSize))));
            }
            pending.insert(pending.end(), data, data + length);
            if (mBodyLeft > 0) mBodyLeft = std::max<std::int64_t>(0, mBodyLeft - static_cast<std::int64_t>(length));
            if (pending.size() >= kHandOverBatch) post = URLSession::needsDeliveryLocked(*mTask);
        }
    }
    if (post) {
        mSession->postDelivery(*mTask);
        mUnflushed = false;
    } else {
        mUnflushed = !mRecvPaused;
    }
    return mRecvPaused ? CURL_WRITEFUNC_PAUSE : length;
}

bool URLSessionTransfer::bodyStreamReady() const {
    if (!mBodyStream) return true;
    switch (mBodyStream->status()) {
        case StreamStatus::NotOpen:
        case StreamStatus::Opening: return false;
        case StreamStatus::Open:
        case StreamStatus::Reading: return mBodyStream->hasBytesAvailable();
        default: return true;  // read() answers at once: the end or the failure
    }
}

void URLSessionTransfer::watchBodyStream() {
    if (mBodyStreamWatcher) return;
    try {
        auto loop = streamEventLoop();
        mBodyStreamWatcher = std::make_shared<BodyStreamWatcher>(mTask);
        mBodyStream->setDelegate(mBodyStreamWatcher);
        mBodyStream->scheduleInRunLoop(std::move(loop));
    } catch (const std::system_error&) {
        // Without the thread the worker still looks at the stream now and then.
    }
}

std::size_t URLSessionTransfer::read(char* buffer, std::size_t capacity) {
    mActivity = true;
    if (mBody != nullptr) {
        const std::size_t count = std::min(capacity, mBody->size() - mBodyOffset);
        if (count > 0) std::memcpy(buffer, mBody->data() + mBodyOffset, count);
        mBodyOffset += count;
        mBodyBytesRead = static_cast<std::int64_t>(mBodyOffset);
        return count;
    }
    if (!mBodyStream) return 0;
    if (mStreamLength) {
        const std::int64_t remaining = *mStreamLength - mBodyBytesRead;
        if (remaining <= 0) return 0;  // bytes beyond the declared length are not sent
        capacity = static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(capacity), remaining));
    }
    if (!bodyStreamReady()) {
        // Looked at again once watched: the bytes may have come meanwhile.
        watchBodyStream();
        if (!bodyStreamReady()) {
            mSendPaused = true;
            return CURL_READFUNC_PAUSE;
        }
    }
    const long count = mBodyStream->read(reinterpret_cast<std::uint8_t*>(buffer), capacity);
    if (count < 0) {
        mStreamError = mBodyStream->streamError();
        mAbort = Abort::BodyStreamFailed;
        return CURL_READFUNC_ABORT;
    }
    if (count == 0) {
        if (mStreamLength && mBodyBytesRead < *mStreamLength) {
            mAbort = Abort::BodyStreamExhausted;
            return CURL_READFUNC_ABORT;
        }
        return 0;
    }
    mBodyBytesRead += count;
    return static_cast<std::size_t>(count);
}

int URLSessionTransfer::seek(curl_off_t offset, int origin) {
    // Only a body in memory can be sent again (curl rewinds to resend).
    if (mBody == nullptr) return CURL_SEEKFUNC_CANTSEEK;
    if (origin != SEEK_SET || offset < 0 || static_cast<std::uint64_t>(offset) > mBody->size()) {
        return CURL_SEEKFUNC_FAIL;
    }
    mBodyOffset = static_cast<std::size_t>(offset);
    mBodyBytesRead = offset;
    return CURL_SEEKFUNC_OK;
}

int URLSessionTransfer::progress(curl_off_t downloaded, curl_off_t uploaded) {
    if (downloaded != mLastDownloaded || uploaded != mLastUploaded) {
        mLastDownloaded = downloaded;
        mLastUploaded = uploaded;
        mActivity = true;
    }
    if (mSendsBody) {
        // Counted against the body handed out: chunk framing is not body.
        const std::int64_t sent = std::min<std::int64_t>(uploaded, mBodyBytesRead);
        if (sent > mReportedSent) reportSent(sent);
    }
    return 0;
}

void URLSessionTransfer::reportSent(std::int64_t total) {
    mReportedSent = total;
    mTask->mBytesSent = total;
    if (!mDelegate) return;
    bool post = false;
    {
        std::lock_guard lock(mTask->mMutex);
        mTask->mSentToReport = total;
        mTask->mExpectedToSend = mExpectedToSend;
        if (total - mTask->mSentReported >= static_cast<std::int64_t>(kHandOverBatch)) {
            post = URLSession::needsDeliveryLocked(*mTask);
        }
    }
    if (post) {
        mSession->postDelivery(*mTask);
    } else {
        mUnflushed = true;
    }
}

void URLSessionTransfer::flushToDelegate() {
    mUnflushed = false;
    if (!mDelegate) return;
    bool post = false;
    {
        std::lock_guard lock(mTask->mMutex);
        if (!mTask->mUndelivered.empty() || mTask->mSentToReport > mTask->mSentReported) {
            post = URLSession::needsDeliveryLocked(*mTask);
        }
    }
    if (post) mSession->postDelivery(*mTask);
}

void URLSessionTransfer::complete(std::optional<Error> error) {
    mTask->mTransfer = nullptr;
    auto session = mSession;
    auto task = mTask;
    delete this;
    task->complete(*session, std::move(error));
}

// ---------------------------------------------------------------------------

namespace {

// The worker and its multi handle. Never freed: tasks may run until the
// process ends.
class Worker {
public:
    static Worker* shared() {
        static Worker* const worker = [] {
            // Transfers may still run while exit() does: OpenSSL, under
            // libcurl's TLS, is set up without its teardown at exit, which
            // would free its state under them.
            OPENSSL_init_crypto(OPENSSL_INIT_NO_ATEXIT, nullptr);
            curl_global_init(CURL_GLOBAL_DEFAULT);
            CURLM* multi = curl_multi_init();
            if (multi == nullptr) return static_cast<Worker*>(nullptr);
            auto* made = new Worker(multi);
            try {
                startThread([made] { made->run(); }).detach();
            } catch (const std::system_error&) {
                return static_cast<Worker*>(nullptr);  // the multi handle and the worker are lost
            }
            return made;
        }();
        return worker;
    }

    void add(URLSessionTransfer* transfer) {
        {
            std::lock_guard lock(mMutex);
            mIncoming.push_back(transfer);
        }
        curl_multi_wakeup(mMulti);
    }

    void poke(std::shared_ptr<URLSessionTask> task) {
        {
            std::lock_guard lock(mMutex);
            mPoked.push_back(std::move(task));
        }
        curl_multi_wakeup(mMulti);
    }

private:
    explicit Worker(CURLM* multi) : mMulti(multi) { curl_multi_setopt(mMulti, CURLMOPT_MAXCONNECTS, kIdleConnections); }

    void run();
    void begin(URLSessionTransfer* transfer);
    // Ends the transfers that are over, in the order they were started.
    void endFinished();
    void end(URLSessionTransfer* transfer);
    bool hasNews() {
        std::lock_guard lock(mMutex);
        return !mIncoming.empty() || !mPoked.empty();
    }

    CURLM* const mMulti;
    std::mutex mMutex;
    std::vector<URLSessionTransfer*> mIncoming;
    std::vector<std::shared_ptr<URLSessionTask>> mPoked;
    // The worker's own.
    std::vector<URLSessionTransfer*> mActive;
};

void Worker::begin(URLSessionTransfer* transfer) {
    if (transfer->cancelRequested()) return transfer->complete(makeURLError(URLErrorCancelled, "cancelled"));
    if (auto error = transfer->prepare()) return transfer->complete(std::move(error));
    if (curl_multi_add_handle(mMulti, transfer->easy()) != CURLM_OK) {
        return transfer->complete(makeURLError(URLErrorUnknown, "cannot start an HTTP transfer"));
    }
    transfer->attach();
    mActive.push_back(transfer);
}

void Worker::end(URLSessionTransfer* transfer) {
    // Out of the multi handle first: a finished transfer's connection goes
    // back for reuse, an unfinished one's is closed.
    if (transfer->easy() != nullptr) curl_multi_remove_handle(mMulti, transfer->easy());
    std::optional<Error> error = transfer->outcome();
    // The last bytes and progress go out before the completion, which is
    // queued after them.
    transfer->flushToDelegate();
    transfer->complete(std::move(error));
}

void Worker::endFinished() {
    std::erase_if(mActive, [this](URLSessionTransfer* transfer) {
        if (!transfer->ending()) return false;
        end(transfer);
        return true;
    });
}

void Worker::run() {
    // Named for itself: it would bear the name of whichever thread made it.
    pthread_setname_np(pthread_self(), "url.session");
    std::vector<URLSessionTransfer*> incoming;
    std::vector<std::shared_ptr<URLSessionTask>> poked;
    for (;;) {
        {
            std::lock_guard lock(mMutex);
            incoming.swap(mIncoming);
            poked.swap(mPoked);
        }
        for (URLSessionTransfer* transfer : incoming) begin(transfer);
        incoming.clear();
        for (const auto& task : poked) {
            if (URLSessionTransfer* transfer = URLSessionTransfer::of(*task)) transfer->takeNews();
        }
        poked.clear();
        endFinished();

        int running = 0;
        if (curl_multi_perform(mMulti, &running) != CURLM_OK) {
            // Nothing curl can do for any transfer now: they fail rather than hang.
            for (URLSessionTransfer* transfer : mActive) transfer->curlFinished(CURLE_OUT_OF_MEMORY);
        }
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(mMulti, &queued)) {
            if (message->msg != CURLMSG_DONE) continue;
            void* owner = nullptr;
            curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &owner);
            auto* transfer = static_cast<URLSessionTransfer*>(owner);
            transfer->curlFinished(message->data.result);
            // Done but waiting for the delegate's answer: the connection is free.
            if (!transfer->ending()) curl_multi_remove_handle(mMulti, transfer->easy());
        }

        const Clock::time_point now = Clock::now();
        Clock::time_point wakeAt = now + kLongestSleep;
        bool gathering = false;
        for (URLSessionTransfer* transfer : mActive) transfer->sweep(now, wakeAt, gathering);
        endFinished();

        if (gathering) {
            // More at once on a socket: keep gathering. Else the delegates get
            // what has come before the worker sleeps.
            int ready = 0;
            curl_multi_poll(mMulti, nullptr, 0, 0, &ready);
            if (ready > 0) continue;
            for (URLSessionTransfer* transfer : mActive) transfer->flushToDelegate();
        }
        // The poll above may have taken a wake-up meant for news.
        if (hasNews()) continue;
        const auto waitMs = std::chrono::ceil<std::chrono::milliseconds>(wakeAt - Clock::now()).count();
        curl_multi_poll(mMulti, nullptr, 0, static_cast<int>(std::clamp<long long>(waitMs, 1, 1000)), nullptr);
    }
}

}  // namespace

bool URLSessionEngine::start(std::shared_ptr<URLSessionTask> task, std::shared_ptr<URLSession> session) {
    Worker* worker = Worker::shared();
    if (worker == nullptr) return false;
    worker->add(new URLSessionTransfer(std::move(session), std::move(task), Clock::now()));
    return true;
}

void URLSessionEngine::poke(std::shared_ptr<URLSessionTask> task) {
    if (Worker* worker = Worker::shared()) worker->poke(std::move(task));
}

}  // namespace platform::net
