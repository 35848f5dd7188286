#include "platform/net/URLSession.h"

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/AsciiText.h"
#include "platform/foundation/Stream.h"
#include "platform/net/HTTPResponseHead.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>

namespace platform::net {

namespace {

// A delegate that throws must not take the transfer or the queue down with
// it: the exception is reported and the task goes on.
template <typename Block>
void guardDelegateCall(const Block& block) {
    try {
        block();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "URLSession: delegate threw: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "URLSession: delegate threw an unknown exception\n");
    }
}

using Clock = std::chrono::steady_clock;

// curl's receive and send buffers: the most one read of the socket hands to
// write(), the most read() is asked for at a time.
constexpr long kTransferBufferSize = 256 * 1024;

// While the socket has more at once, received bytes (and send progress) are
// gathered up to this much before the delegate queue is woken; they go out
// whenever the transfer would wait. Each wake costs two context switches.
constexpr std::size_t kHandOverBatch = 512 * 1024;

OnceFlag gCurlInit;
std::atomic<unsigned long> gSessionCounter{0};

void initCurl() {
    platform::once(gCurlInit, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

Error makeURLError(long code, std::string description) {
    return Error(URLErrorDomain, code, {{Error::LocalizedDescriptionKey, std::move(description)}});
}

Error cancelledError() { return makeURLError(URLErrorCancelled, "cancelled"); }

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

// Marks the response's completion handler as dropped when its last copy is
// destroyed without having been called, so the transfer does not wait forever.
struct DispositionSentinel {
    std::shared_ptr<URLSessionTask> task;
    std::function<void()> onDrop;
    ~DispositionSentinel() { onDrop(); }
};

}  // namespace

URLSessionConfiguration URLSessionConfiguration::ephemeralSessionConfiguration() { return {}; }

URLSessionDataDelegate::~URLSessionDataDelegate() = default;

// One transfer of one task, on the task's own thread: a curl easy handle
// driven by a private multi handle, so that cancel() can wake the wait and
// the stall and resource timeouts are checked between socket events.
class URLSessionTransfer {
public:
    URLSessionTransfer(URLSession& session, URLSessionTask& task)
        : mSession(session), mTask(task), mDelegate(session.delegate()) {}

    ~URLSessionTransfer() {
        if (mMulti != nullptr && mEasy != nullptr) curl_multi_remove_handle(mMulti, mEasy);
        if (mEasy != nullptr) curl_easy_cleanup(mEasy);
        if (mMulti != nullptr) curl_multi_cleanup(mMulti);
        if (mHeaderList != nullptr) curl_slist_free_all(mHeaderList);
        // The stream was consumed for this request.
        if (mBodyStream) mBodyStream->close();
    }

    URLSessionTransfer(const URLSessionTransfer&) = delete;
    URLSessionTransfer& operator=(const URLSessionTransfer&) = delete;

    // Runs the transfer to its end; nullopt on success.
    std::optional<Error> perform();

private:
    enum class Abort { None, Cancelled, TimedOut, BodyStreamExhausted, BodyStreamFailed };

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

    std::optional<Error> prepare();
    std::optional<Error> outcome(bool finished, CURLcode code);
    std::size_t header(std::string_view line);
    bool deliverResponse();
    std::size_t write(const std::uint8_t* data, std::size_t length);
    std::size_t read(char* buffer, std::size_t capacity);
    int seek(curl_off_t offset, int origin);
    int progress(curl_off_t downloaded, curl_off_t uploaded);
    void reportSent(std::int64_t total);
    // Hands what the delegate has not been told to the delegate queue,
    // unless a hand-over is queued already; before the transfer waits.
    void flushToDelegate();
    // True when there is something to hand over and no hand-over queued.
    bool hasUnqueuedNews() const;

    bool cancelRequested() const {
        std::lock_guard lock(mTask.mMutex);
        return mTask.mCancelRequested;
    }
    // Time spent in our callbacks and the delegate's is not a stall.
    void noteProgress() { mLastProgress = Clock::now(); }

    URLSession& mSession;
    URLSessionTask& mTask;
    const std::shared_ptr<URLSessionDataDelegate> mDelegate;

    CURL* mEasy = nullptr;
    CURLM* mMulti = nullptr;
    curl_slist* mHeaderList = nullptr;
    char mErrorText[CURL_ERROR_SIZE] = {};
    Abort mAbort = Abort::None;
    std::optional<Error> mStreamError;

    // Request body: bytes in memory or a stream, never both.
    const std::vector<std::uint8_t>* mBody = nullptr;
    std::size_t mBodyOffset = 0;
    std::shared_ptr<InputStream> mBodyStream;
    std::optional<std::int64_t> mStreamLength;  // Content-Length of a stream body
    std::int64_t mBodyBytesRead = 0;            // handed to curl
    std::int64_t mExpectedToSend = 0;           // -1: unknown
    bool mSendsBody = false;
    std::int64_t mReportedSent = 0;

    HTTPResponseHeadReader mHead;
    bool mResponseDelivered = false;

    std::optional<Clock::duration> mStallLimit;
    std::optional<Clock::time_point> mDeadline;
    Clock::time_point mLastProgress;
    curl_off_t mLastDownloaded = 0;
    curl_off_t mLastUploaded = 0;
};

std::optional<Error> URLSessionTransfer::prepare() {
    const URLRequest& request = mTask.mRequest;
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
        if (mTask.mUploadBody) {
            mBody = mTask.mUploadBody.get();
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
            return std::nullopt;
        }
    }

    mEasy = curl_easy_init();
    mMulti = curl_multi_init();
    if (mEasy == nullptr || mMulti == nullptr) return makeURLError(URLErrorUnknown, "cannot start an HTTP transfer");

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
    // Fewer, larger reads and writes of a fast body (and fewer progress
    // reports to hand to the delegate).
    curl_easy_setopt(mEasy, CURLOPT_BUFFERSIZE, kTransferBufferSize);
    curl_easy_setopt(mEasy, CURLOPT_UPLOAD_BUFFERSIZE, kTransferBufferSize);

    mStallLimit = limitFromSeconds(request.timeoutInterval > 0 ? request.timeoutInterval
                                                               : mSession.configuration().timeoutIntervalForRequest);
    if (mStallLimit) {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(*mStallLimit).count();
        curl_easy_setopt(mEasy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(std::clamp<long long>(ms, 1, 1L << 30)));
    }

    const bool upload = mBody != nullptr || mBodyStream || method == "PUT" || method == "POST";
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

std::optional<Error> URLSessionTransfer::perform() {
    const Clock::time_point start = Clock::now();
    mLastProgress = start;
    if (auto limit = limitFromSeconds(mSession.configuration().timeoutIntervalForResource)) {
        mDeadline = start + *limit;
    }
    if (auto error = prepare()) return error;
    if (mAbort != Abort::None) return outcome(false, CURLE_OK);

    if (curl_multi_add_handle(mMulti, mEasy) != CURLM_OK) {
        return makeURLError(URLErrorUnknown, "cannot start an HTTP transfer");
    }
    {
        std::lock_guard lock(mTask.mMutex);
        if (mTask.mCancelRequested) return cancelledError();
        mTask.mWakeHandle = mMulti;
    }

    bool finished = false;
    CURLcode code = CURLE_OK;
    for (;;) {
        int running = 0;
        const CURLMcode status = curl_multi_perform(mMulti, &running);
        if (status != CURLM_OK) break;
        if (mAbort != Abort::None || running == 0) break;
        if (cancelRequested()) {
            mAbort = Abort::Cancelled;
            break;
        }
        const Clock::time_point now = Clock::now();
        Clock::time_point wakeAt = now + std::chrono::seconds(1);
        if (mDeadline) {
            if (now >= *mDeadline) {
                mAbort = Abort::TimedOut;
                break;
            }
            wakeAt = std::min(wakeAt, *mDeadline);
        }
        if (mStallLimit) {
            const Clock::time_point stallAt = mLastProgress + *mStallLimit;
            if (now >= stallAt) {
                mAbort = Abort::TimedOut;
                break;
            }
            wakeAt = std::min(wakeAt, stallAt);
        }
        if (hasUnqueuedNews()) {
            // More at once on the socket: keep gathering. Else the delegate
            // gets what has come before we wait.
            int ready = 0;
            curl_multi_poll(mMulti, nullptr, 0, 0, &ready);
            if (ready > 0) continue;
            flushToDelegate();
        }
        const auto waitMs = std::chrono::ceil<std::chrono::milliseconds>(wakeAt - now).count();
        curl_multi_poll(mMulti, nullptr, 0, static_cast<int>(std::max<long long>(waitMs, 1)), nullptr);
    }
    {
        std::lock_guard lock(mTask.mMutex);
        mTask.mWakeHandle = nullptr;
    }
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(mMulti, &queued)) {
        if (message->msg == CURLMSG_DONE) {
            finished = true;
            code = message->data.result;
        }
    }
    std::optional<Error> error = outcome(finished, code);
    // The last bytes and progress go out before the completion, which is
    // queued after them.
    flushToDelegate();
    return error;
}

std::optional<Error> URLSessionTransfer::outcome(bool finished, CURLcode code) {
    switch (mAbort) {
        case Abort::Cancelled: return cancelledError();
        case Abort::TimedOut: return makeURLError(URLErrorTimedOut, "The request timed out.");
        case Abort::BodyStreamExhausted:
            return makeURLError(URLErrorRequestBodyStreamExhausted,
                                "the body stream ended after " + std::to_string(mBodyBytesRead) + " of " +
                                    std::to_string(mStreamLength.value_or(0)) + " bytes");
        case Abort::BodyStreamFailed: {
            Error error = makeURLError(URLErrorUnknown, "reading the body stream failed");
            if (mStreamError) {
                error.userInfo()[Error::LocalizedDescriptionKey] =
                    "reading the body stream failed: " + mStreamError->localizedDescription();
                error.userInfo()[URLErrorUnderlyingErrorKey] = *mStreamError;
            }
            return error;
        }
        case Abort::None: break;
    }
    if (!finished) return makeURLError(URLErrorUnknown, "the HTTP transfer failed");
    if (code != CURLE_OK) {
        return makeURLError(urlErrorCodeFor(code),
                            mErrorText[0] != '\0' ? std::string(mErrorText) : std::string(curl_easy_strerror(code)));
    }
    if (!mResponseDelivered) return makeURLError(URLErrorBadServerResponse, "no response head received");
    if (mSendsBody && mBodyBytesRead > mReportedSent) reportSent(mBodyBytesRead);
    return std::nullopt;
}

std::size_t URLSessionTransfer::header(std::string_view line) {
    const std::size_t length = line.size();
    if (cancelRequested()) {
        mAbort = Abort::Cancelled;
        return 0;
    }
    noteProgress();
    if (mResponseDelivered) return length;  // trailers of a chunked body

    if (!mHead.addLine(line)) return length;
    long status = 0;
    if (curl_easy_getinfo(mEasy, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK && status > 0) {
        mHead.setStatusCode(static_cast<int>(status));
    }
    if (mHead.isInterim()) {
        // After a 1xx, the final head starts over.
        mHead.startOver();
        return length;
    }
    return deliverResponse() ? length : 0;
}

bool URLSessionTransfer::deliverResponse() {
    mResponseDelivered = true;
    const HTTPURLResponse response = mHead.response(mTask.mRequest.url);
    {
        std::lock_guard lock(mTask.mMutex);
        mTask.mResponse = response;
        mTask.mDisposition.reset();
        mTask.mDispositionHandlerDropped = false;
    }
    if (!mDelegate) return true;

    std::shared_ptr<URLSessionTask> task = mTask.shared_from_this();
    mSession.callDelegate([&] {
        auto sentinel = std::make_shared<DispositionSentinel>();
        sentinel->task = task;
        sentinel->onDrop = [weak = std::weak_ptr<URLSessionTask>(task)] {
            if (auto t = weak.lock()) {
                std::lock_guard lock(t->mMutex);
                t->mDispositionHandlerDropped = true;
                t->mWake.notify_all();
            }
        };
        // The handler may be called once, from any thread, now or later.
        auto handler = [sentinel](URLSessionResponseDisposition disposition) {
            URLSessionTask& t = *sentinel->task;
            std::lock_guard lock(t.mMutex);
            if (!t.mDisposition) t.mDisposition = disposition;
            t.mWake.notify_all();
        };
        sentinel.reset();
        mDelegate->didReceiveResponse(mSession, mTask, response, std::move(handler));
    });

    std::unique_lock lock(mTask.mMutex);
    const auto answered = [this] {
        return mTask.mDisposition || mTask.mDispositionHandlerDropped || mTask.mCancelRequested;
    };
    if (mDeadline) {
        if (!mTask.mWake.wait_until(lock, *mDeadline, answered)) {
            mAbort = Abort::TimedOut;
            return false;
        }
    } else {
        mTask.mWake.wait(lock, answered);
    }
    if (mTask.mCancelRequested || mTask.mDisposition != URLSessionResponseDisposition::Allow) {
        mAbort = Abort::Cancelled;
        return false;
    }
    lock.unlock();
    noteProgress();
    return true;
}

std::size_t URLSessionTransfer::write(const std::uint8_t* data, std::size_t length) {
    if (length == 0) return 0;
    if (cancelRequested()) {
        mAbort = Abort::Cancelled;
        return 0;
    }
    if (!mDelegate) {
        mTask.mBytesReceived += static_cast<std::int64_t>(length);
        noteProgress();
        return length;
    }
    bool post = false;
    {
        std::unique_lock lock(mTask.mMutex);
        // Waiting here (not reading the socket) is the back-pressure on a
        // delegate that does not keep up.
        const auto room = [&] {
            const std::size_t held = mTask.mUndelivered.size();
            return mTask.mCancelRequested || held == 0 || held + length <= URLSession::kMaximumDataChunkSize;
        };
        if (!room()) {
            // What is held must be on its way before we wait for it to go.
            if (URLSession::needsDeliveryLocked(mTask)) {
                lock.unlock();
                mSession.postDelivery(mTask);
                lock.lock();
            }
            mTask.mWake.wait(lock, room);
        }
        if (mTask.mCancelRequested) {
            mAbort = Abort::Cancelled;
            return 0;
        }
        // The buffers grow to what the body needs and are then reused.
        std::vector<std::uint8_t>& pending = mTask.mUndelivered;
        if (pending.empty() && pending.capacity() < mTask.mSpareChunk.capacity()) pending.swap(mTask.mSpareChunk);
        pending.insert(pending.end(), data, data + length);
        if (pending.size() >= kHandOverBatch) post = URLSession::needsDeliveryLocked(mTask);
    }
    if (post) mSession.postDelivery(mTask);
    // Time spent waiting for the delegate is not a stall.
    noteProgress();
    return length;
}

std::size_t URLSessionTransfer::read(char* buffer, std::size_t capacity) {
    if (cancelRequested()) {
        mAbort = Abort::Cancelled;
        return CURL_READFUNC_ABORT;
    }
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
    const long count = mBodyStream->read(reinterpret_cast<std::uint8_t*>(buffer), capacity);
    noteProgress();
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
    if (cancelRequested()) {
        mAbort = Abort::Cancelled;
        return 1;
    }
    if (downloaded != mLastDownloaded || uploaded != mLastUploaded) {
        mLastDownloaded = downloaded;
        mLastUploaded = uploaded;
        noteProgress();
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
    mTask.mBytesSent = total;
    if (mDelegate) {
        bool post = false;
        {
            std::lock_guard lock(mTask.mMutex);
            mTask.mSentToReport = total;
            mTask.mExpectedToSend = mExpectedToSend;
            if (total - mTask.mSentReported >= static_cast<std::int64_t>(kHandOverBatch)) {
                post = URLSession::needsDeliveryLocked(mTask);
            }
        }
        if (post) mSession.postDelivery(mTask);
    }
    noteProgress();
}

bool URLSessionTransfer::hasUnqueuedNews() const {
    if (!mDelegate) return false;
    std::lock_guard lock(mTask.mMutex);
    return !mTask.mDeliveryQueued && (!mTask.mUndelivered.empty() || mTask.mSentToReport > mTask.mSentReported);
}

void URLSessionTransfer::flushToDelegate() {
    if (!mDelegate) return;
    bool post = false;
    {
        std::lock_guard lock(mTask.mMutex);
        if (!mTask.mUndelivered.empty() || mTask.mSentToReport > mTask.mSentReported) {
            post = URLSession::needsDeliveryLocked(mTask);
        }
    }
    if (post) mSession.postDelivery(mTask);
}

// ---------------------------------------------------------------------------

URLSessionTask::URLSessionTask(Key, std::weak_ptr<URLSession> session, unsigned long identifier, URLRequest request,
                               std::shared_ptr<const std::vector<std::uint8_t>> uploadBody)
    : mSession(std::move(session)),
      mIdentifier(identifier),
      mRequest(std::move(request)),
      mUploadBody(std::move(uploadBody)) {}

URLSessionTask::~URLSessionTask() = default;

std::optional<HTTPURLResponse> URLSessionTask::response() const {
    std::lock_guard lock(mMutex);
    return mResponse;
}

std::optional<Error> URLSessionTask::error() const {
    std::lock_guard lock(mMutex);
    return mError;
}

URLSessionTaskState URLSessionTask::state() const {
    std::lock_guard lock(mMutex);
    return mState;
}

void URLSessionTask::resume() {
    std::shared_ptr<URLSession> session;
    {
        std::lock_guard lock(mMutex);
        if (mStarted || mState != URLSessionTaskState::Suspended) return;
        session = mSession.lock();
        if (!session) return;
        mStarted = true;
        mState = URLSessionTaskState::Running;
    }
    try {
        std::thread([self = shared_from_this(), session] { self->run(session); }).detach();
    } catch (const std::system_error& e) {
        complete(*session, makeURLError(URLErrorUnknown, std::string("cannot start the transfer: ") + e.what()));
    }
}

void URLSessionTask::cancel() {
    std::shared_ptr<URLSession> sessionOfNewTask;
    {
        std::lock_guard lock(mMutex);
        if (mState == URLSessionTaskState::Completed || mCancelRequested) return;
        mCancelRequested = true;
        if (!mStarted) {
            // Never resumed: no transfer will report the end.
            mStarted = true;
            sessionOfNewTask = mSession.lock();
            if (!sessionOfNewTask) mState = URLSessionTaskState::Completed;
        } else {
            mState = URLSessionTaskState::Canceling;
            if (mWakeHandle != nullptr) curl_multi_wakeup(static_cast<CURLM*>(mWakeHandle));
        }
        mWake.notify_all();
    }
    if (sessionOfNewTask) complete(*sessionOfNewTask, cancelledError());
}

void URLSessionTask::run(std::shared_ptr<URLSession> session) {
    std::optional<Error> error;
    {
        // The connection is closed before the delegate hears of the end.
        URLSessionTransfer transfer(*session, *this);
        error = transfer.perform();
    }
    complete(*session, std::move(error));
}

void URLSessionTask::complete(URLSession& session, std::optional<Error> error) {
    {
        std::lock_guard lock(mMutex);
        mState = URLSessionTaskState::Completed;
        mError = error;
    }
    session.deliverCompletion(shared_from_this(), std::move(error));
}

// ---------------------------------------------------------------------------

std::shared_ptr<URLSession> URLSession::sessionWithConfiguration(URLSessionConfiguration configuration,
                                                                 std::shared_ptr<URLSessionDataDelegate> delegate,
                                                                 std::shared_ptr<DispatchQueue> delegateQueue) {
    initCurl();
    if (!delegateQueue) {
        delegateQueue = std::make_shared<DispatchQueue>("platform.net.URLSession." + std::to_string(++gSessionCounter));
    }
    auto session =
        std::make_shared<URLSession>(Key{}, std::move(configuration), std::move(delegate), std::move(delegateQueue));
    session->mSelf = session;
    return session;
}

URLSession::URLSession(Key, URLSessionConfiguration configuration, std::shared_ptr<URLSessionDataDelegate> delegate,
                       std::shared_ptr<DispatchQueue> delegateQueue)
    : mConfiguration(std::move(configuration)),
      mDelegateQueue(std::move(delegateQueue)),
      mDelegate(std::move(delegate)) {}

URLSession::~URLSession() {
    // The last reference often goes on the delegate queue itself, and a queue
    // cannot join its own worker: another thread releases it.
    if (mDelegateQueue && mDelegateQueue->isCurrent()) {
        auto* queue = new std::shared_ptr<DispatchQueue>(std::move(mDelegateQueue));
        try {
            std::thread([queue] { delete queue; }).detach();
        } catch (const std::system_error&) {
            // Without a thread the queue is leaked rather than joined from itself.
        }
    }
}

std::shared_ptr<URLSessionTask> URLSession::dataTaskWithRequest(URLRequest request) {
    return makeTask(std::move(request), nullptr);
}

std::shared_ptr<URLSessionTask> URLSession::uploadTaskWithRequest(URLRequest request,
                                                                  std::vector<std::uint8_t> bodyData) {
    return makeTask(std::move(request), std::make_shared<std::vector<std::uint8_t>>(std::move(bodyData)));
}

std::shared_ptr<URLSessionTask> URLSession::uploadTaskWithRequest(
    URLRequest request, std::shared_ptr<const std::vector<std::uint8_t>> bodyData) {
    if (!bodyData) bodyData = std::make_shared<std::vector<std::uint8_t>>();
    return makeTask(std::move(request), std::move(bodyData));
}

std::shared_ptr<URLSessionTask> URLSession::makeTask(URLRequest request,
                                                     std::shared_ptr<const std::vector<std::uint8_t>> body) {
    std::lock_guard lock(mMutex);
    if (mInvalidated) throw std::logic_error("URLSession: task created in a session that has been invalidated");
    auto task = std::make_shared<URLSessionTask>(URLSessionTask::Key{}, weak_from_this(), mNextIdentifier++,
                                                 std::move(request), std::move(body));
    mTasks.push_back(task);
    return task;
}

std::shared_ptr<URLSessionDataDelegate> URLSession::delegate() const {
    std::lock_guard lock(mMutex);
    return mDelegate;
}

void URLSession::callDelegate(const std::function<void()>& block) {
    guardDelegateCall([&] { mDelegateQueue->sync(block); });
}

bool URLSession::needsDeliveryLocked(URLSessionTask& task) {
    if (task.mDeliveryQueued) return false;
    task.mDeliveryQueued = true;
    return true;
}

void URLSession::postDelivery(URLSessionTask& task) {
    mDelegateQueue->async(
        [session = shared_from_this(), task = task.shared_from_this()] { session->deliverPending(*task); });
}

void URLSession::deliverPending(URLSessionTask& task) {
    std::vector<std::uint8_t> chunk;
    std::int64_t sentDelta = 0, sentTotal = 0, expected = 0;
    bool cancelled = false;
    {
        std::lock_guard lock(task.mMutex);
        task.mDeliveryQueued = false;
        chunk.swap(task.mUndelivered);
        sentTotal = task.mSentToReport;
        sentDelta = sentTotal - task.mSentReported;
        task.mSentReported = sentTotal;
        expected = task.mExpectedToSend;
        task.mWake.notify_all();
        cancelled = task.mCancelRequested;
    }
    const auto call = [](const auto& block) { guardDelegateCall(block); };
    auto delegate = this->delegate();
    if (delegate && sentDelta > 0) {
        call([&] { delegate->didSendBodyData(*this, task, sentDelta, sentTotal, expected); });
    }
    // No received bytes reach the delegate once the task is cancelled (also
    // by the call just made).
    if (!chunk.empty() && !cancelled && sentDelta > 0) {
        std::lock_guard lock(task.mMutex);
        cancelled = task.mCancelRequested;
    }
    if (!chunk.empty() && !cancelled) {
        task.mBytesReceived += static_cast<std::int64_t>(chunk.size());
        if (delegate) call([&] { delegate->didReceiveData(*this, task, std::span<const std::uint8_t>(chunk)); });
    }
    chunk.clear();
    std::lock_guard lock(task.mMutex);
    if (chunk.capacity() > task.mSpareChunk.capacity()) task.mSpareChunk.swap(chunk);
}

void URLSession::deliverCompletion(std::shared_ptr<URLSessionTask> task, std::optional<Error> error) {
    mDelegateQueue->async([self = shared_from_this(), task = std::move(task), error = std::move(error)] {
        {
            // Every chunk has been handed over: the buffers go.
            std::lock_guard lock(task->mMutex);
            std::vector<std::uint8_t>().swap(task->mUndelivered);
            std::vector<std::uint8_t>().swap(task->mSpareChunk);
        }
        if (auto delegate = self->delegate()) {
            guardDelegateCall([&] { delegate->didCompleteWithError(*self, *task, error); });
        }
        self->taskEnded(*task);
    });
}

void URLSession::taskEnded(const URLSessionTask& task) {
    bool finish = false;
    {
        std::lock_guard lock(mMutex);
        std::erase_if(mTasks, [&](const auto& t) { return t.get() == &task; });
        if (mInvalidated && mTasks.empty() && !mInvalidationFinishing) {
            mInvalidationFinishing = true;
            finish = true;
        }
    }
    if (finish) finishInvalidation();
}

void URLSession::finishTasksAndInvalidate() { invalidate(false); }

void URLSession::invalidateAndCancel() { invalidate(true); }

void URLSession::invalidate(bool cancelTasks) {
    std::vector<std::shared_ptr<URLSessionTask>> toCancel;
    bool finishNow = false;
    {
        std::lock_guard lock(mMutex);
        if (mInvalidated && !cancelTasks) return;
        mInvalidated = true;
        if (cancelTasks) toCancel = mTasks;
        if (mTasks.empty() && !mInvalidationFinishing) {
            mInvalidationFinishing = true;
            finishNow = true;
        }
    }
    for (const auto& task : toCancel) task->cancel();
    if (finishNow) mDelegateQueue->async([self = shared_from_this()] { self->finishInvalidation(); });
}

void URLSession::finishInvalidation() {
    std::shared_ptr<URLSessionDataDelegate> delegate = this->delegate();
    if (delegate) {
        guardDelegateCall([&] { delegate->didBecomeInvalidWithError(*this, std::nullopt); });
    }
    std::shared_ptr<URLSessionDataDelegate> dropped;
    std::shared_ptr<URLSession> self;
    {
        std::lock_guard lock(mMutex);
        dropped = std::move(mDelegate);
        self = std::move(mSelf);
    }
    delegate.reset();
    dropped.reset();
    // `self` may be the last reference: nothing touches the session after this.
}

}  // namespace platform::net
