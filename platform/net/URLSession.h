#pragma once
// HTTP(S) transfers over libcurl with their events delivered to a delegate on
// a serial queue.
//
// Threading: one worker thread drives every transfer of every session in
// the process over one libcurl multi handle. Nothing that runs on it waits:
// a delegate that blocks holds back only the tasks whose callbacks queue
// behind it, and a body stream with nothing ready only its own upload. Every
// delegate callback runs on the session's delegate queue, in order. The
// response waits for the delegate's answer (body bytes that come meanwhile
// stay unread). Body bytes and send progress are handed over without
// waiting: while the socket has more at once they are gathered (up to half
// a megabyte) before the delegate queue is woken, and whatever has come is
// handed over before the transfer waits for the network, so a trickling
// body still arrives at once. What comes while a hand-over is queued but
// not yet started joins it, so a busy delegate gets larger chunks (and one
// didSendBodyData for all the progress since the last). At most
// URLSession::kMaximumDataChunkSize received bytes wait to be handed over;
// beyond that the transfer is paused (the socket is not read) until the
// delegate queue takes them, so a didReceiveData that blocks holds the
// transfer back and a download keeps at most the chunk in the delegate's
// hands and one more in memory. A body stream is read on the worker: it must
// not block in read(); when hasBytesAvailable() is false the upload pauses
// until the stream posts HasBytesAvailable (the session schedules it on a
// run loop of its own and becomes its delegate) or is found ready again.
//
// Connections: idle connections are kept for reuse by any later task of any
// session. A request that died on a reused connection before any answer is
// sent again on a new one only when repeating it is harmless (GET, HEAD or
// OPTIONS without a body); any other fails with
// URLErrorNetworkConnectionLost, since the server may have carried it out.
//
// Lifetime: a session keeps itself and its delegate alive until it has been
// invalidated (finishTasksAndInvalidate / invalidateAndCancel) and all its
// tasks have ended; it then calls didBecomeInvalidWithError(nullopt) and drops
// the delegate. A session that is never invalidated is never freed.

#include "platform/foundation/Error.h"
#include "platform/net/URLRequest.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

namespace platform {
class DispatchQueue;
class OutputStream;
}  // namespace platform

namespace platform::net {

inline constexpr const char* URLErrorDomain = "URLErrorDomain";
// User-info key of the Error that made a task fail (a body stream's).
inline constexpr const char* URLErrorUnderlyingErrorKey = "UnderlyingError";

enum URLErrorCode : long {
    URLErrorUnknown = -1,
    URLErrorCancelled = -999,
    URLErrorBadURL = -1000,
    URLErrorTimedOut = -1001,
    URLErrorUnsupportedURL = -1002,
    URLErrorCannotFindHost = -1003,
    URLErrorCannotConnectToHost = -1004,
    URLErrorNetworkConnectionLost = -1005,
    URLErrorBadServerResponse = -1011,
    // A body stream ended before the request's Content-Length was sent.
    URLErrorRequestBodyStreamExhausted = -1021,
    URLErrorSecureConnectionFailed = -1200,
};

struct URLSessionConfiguration {
    // No cookies, credentials or cache are kept by any session; this is the
    // plain configuration.
    static URLSessionConfiguration ephemeralSessionConfiguration();

    // Seconds a task may go without progress (connecting, sending, receiving)
    // when its request gives no timeout of its own (timeoutInterval 0).
    // Waiting for the delegate (its answer, or room for more bytes) or for a
    // body stream is not counted.
    double timeoutIntervalForRequest = 60;
    // Seconds a whole task may take, from resume() to its end.
    double timeoutIntervalForResource = 604800;
    URLRequestCachePolicy requestCachePolicy = URLRequestCachePolicy::UseProtocolCachePolicy;
    bool hasURLCache = false;
};

enum class URLSessionResponseDisposition { Cancel, Allow };

enum class URLSessionTaskState { Running, Suspended, Canceling, Completed };

class URLSession;
class URLSessionTask;
class URLSessionTransfer;

// All methods run on the session's delegate queue.
class URLSessionDataDelegate {
public:
    virtual ~URLSessionDataDelegate();

    // The transfer goes on once `completionHandler` has been called, from any
    // thread, now or later. Cancel ends the task with URLErrorCancelled; so
    // does dropping every copy of the handler without calling it.
    virtual void didReceiveResponse(URLSession& session, URLSessionTask& task, const HTTPURLResponse& response,
                                    std::function<void(URLSessionResponseDisposition)> completionHandler) {
        completionHandler(URLSessionResponseDisposition::Allow);
    }
    // The bytes are valid only during the call; at most
    // URLSession::kMaximumDataChunkSize of them. Blocking here holds back the
    // transfer.
    virtual void didReceiveData(URLSession& session, URLSessionTask& task, std::span<const std::uint8_t> data) {}
    // `totalExpected` is -1 for a stream body without Content-Length.
    virtual void didSendBodyData(URLSession& session, URLSessionTask& task, std::int64_t bytesSent,
                                 std::int64_t totalBytesSent, std::int64_t totalExpected) {}
    // Exactly once per task, after its last other callback.
    virtual void didCompleteWithError(URLSession& session, URLSessionTask& task, const std::optional<Error>& error) {}
    // Once, after the session was invalidated and all its tasks completed.
    virtual void didBecomeInvalidWithError(URLSession& session, const std::optional<Error>& error) {}
};

class URLSessionTask : public std::enable_shared_from_this<URLSessionTask> {
    struct Key {};

public:
    URLSessionTask(Key, std::weak_ptr<URLSession> session, unsigned long identifier, URLRequest request,
                   std::shared_ptr<const std::vector<std::uint8_t>> uploadBody);
    ~URLSessionTask();
    URLSessionTask(const URLSessionTask&) = delete;
    URLSessionTask& operator=(const URLSessionTask&) = delete;

    // Unique within its session, from 1.
    unsigned long taskIdentifier() const { return mIdentifier; }
    const URLRequest& originalRequest() const { return mRequest; }
    // The response head once it has arrived.
    std::optional<HTTPURLResponse> response() const;
    // The error the task completed with, once completed.
    std::optional<Error> error() const;

    // Starts the transfer; does nothing unless the task is suspended (new).
    void resume();
    // Ends the task with URLErrorCancelled unless it has completed already.
    // Never blocks; safe from any thread, also from a delegate callback.
    void cancel();

    // From didReceiveResponse, before the response is allowed: the body is
    // written straight into `stream` on the session's worker thread instead
    // of being handed to didReceiveData: one copy out of curl's buffer and
    // no hand-over per chunk, for a delegate that wants the body in memory.
    // The stream must be open and take every byte at once without waiting
    // (a stream to memory); kMaximumDataChunkSize does not bound what it
    // takes. A write that fails or falls short ends the task with an error
    // whose URLErrorUnderlyingErrorKey is the stream's. The stream is the
    // task's until didCompleteWithError.
    void writeReceivedDataToStream(std::shared_ptr<OutputStream> stream);

    URLSessionTaskState state() const;
    // Body bytes handed to the delegate (received, without a delegate) / sent
    // to the server so far.
    std::int64_t countOfBytesReceived() const { return mBytesReceived.load(); }
    std::int64_t countOfBytesSent() const { return mBytesSent.load(); }

private:
    friend class URLSession;
    friend class URLSessionEngine;
    friend class URLSessionTransfer;

    // Marks the task completed and has the session deliver the completion.
    void complete(URLSession& session, std::optional<Error> error);

    std::weak_ptr<URLSession> mSession;
    const unsigned long mIdentifier;
    const URLRequest mRequest;
    // The body of an upload task, in place of the request's.
    const std::shared_ptr<const std::vector<std::uint8_t>> mUploadBody;

    mutable std::mutex mMutex;
    URLSessionTaskState mState = URLSessionTaskState::Suspended;
    bool mStarted = false;
    bool mCancelRequested = false;
    std::optional<HTTPURLResponse> mResponse;
    std::optional<Error> mError;
    // The answer to didReceiveResponse.
    std::optional<URLSessionResponseDisposition> mDisposition;
    bool mDispositionHandlerDropped = false;
    std::shared_ptr<OutputStream> mReceivedDataStream;  // the body's, when set

    // What the delegate has not yet been told: body bytes received and the
    // bytes sent, and whether a block that tells it is queued (not yet
    // started). Guarded by mMutex; the spare buffer is reused so the chunks
    // are not reallocated.
    std::vector<std::uint8_t> mUndelivered;
    std::vector<std::uint8_t> mSpareChunk;
    std::int64_t mSentToReport = 0;
    std::int64_t mSentReported = 0;
    std::int64_t mExpectedToSend = 0;
    bool mDeliveryQueued = false;
    // The transfer is paused until the next hand-over takes the bytes.
    bool mWantsRoom = false;

    // The running transfer; touched only on the engine's worker thread.
    URLSessionTransfer* mTransfer = nullptr;

    std::atomic<std::int64_t> mBytesReceived{0};
    std::atomic<std::int64_t> mBytesSent{0};
};

class URLSession : public std::enable_shared_from_this<URLSession> {
    struct Key {};

public:
    // The most body bytes one didReceiveData is given, and the most a task
    // holds that the delegate has not yet been given.
    static constexpr std::size_t kMaximumDataChunkSize = 1024 * 1024;

    // `delegate` may be null (every response is then allowed); without a
    // `delegateQueue` the session makes a serial queue of its own.
    static std::shared_ptr<URLSession> sessionWithConfiguration(URLSessionConfiguration configuration,
                                                                std::shared_ptr<URLSessionDataDelegate> delegate,
                                                                std::shared_ptr<DispatchQueue> delegateQueue);

    URLSession(Key, URLSessionConfiguration configuration, std::shared_ptr<URLSessionDataDelegate> delegate,
               std::shared_ptr<DispatchQueue> delegateQueue);
    ~URLSession();
    URLSession(const URLSession&) = delete;
    URLSession& operator=(const URLSession&) = delete;

    // A suspended task; the body comes from request.httpBody or, when set,
    // request.httpBodyStream (opened and read while sending). Both throw
    // std::logic_error once the session has been invalidated.
    std::shared_ptr<URLSessionTask> dataTaskWithRequest(URLRequest request);
    // As dataTaskWithRequest, with `bodyData` as the body.
    std::shared_ptr<URLSessionTask> uploadTaskWithRequest(URLRequest request, std::vector<std::uint8_t> bodyData);
    // The same without a copy: the task holds the body until it has ended,
    // and nobody may change it meanwhile. A null body is an empty one.
    std::shared_ptr<URLSessionTask> uploadTaskWithRequest(URLRequest request,
                                                          std::shared_ptr<const std::vector<std::uint8_t>> bodyData);

    // No new tasks; running ones go on to their end, then the session is
    // invalidated.
    void finishTasksAndInvalidate();
    // No new tasks; every unfinished task is cancelled.
    void invalidateAndCancel();

    std::shared_ptr<DispatchQueue> delegateQueue() const { return mDelegateQueue; }
    const URLSessionConfiguration& configuration() const { return mConfiguration; }

private:
    friend class URLSessionTask;
    friend class URLSessionEngine;
    friend class URLSessionTransfer;

    std::shared_ptr<URLSessionTask> makeTask(URLRequest request, std::shared_ptr<const std::vector<std::uint8_t>> body);
    std::shared_ptr<URLSessionDataDelegate> delegate() const;
    // Queues didReceiveResponse; the handler's answer (or its loss) goes
    // to the task and wakes its transfer.
    void postResponse(const std::shared_ptr<URLSessionTask>& task, HTTPURLResponse response);
    // From the worker, with the task's lock held: queues a block that
    // tells the delegate what is pending, unless one is queued already.
    // Returns true when the caller must post it (after unlocking).
    static bool needsDeliveryLocked(URLSessionTask& task);
    void postDelivery(URLSessionTask& task);
    // On the delegate queue: tells the delegate the task's pending send
    // progress and hands it the received bytes.
    void deliverPending(URLSessionTask& task);
    // Queues didCompleteWithError, then forgets the task.
    void deliverCompletion(std::shared_ptr<URLSessionTask> task, std::optional<Error> error);
    // On the delegate queue: drops the task and finishes invalidation when it
    // was the last one.
    void taskEnded(const URLSessionTask& task);
    void invalidate(bool cancelTasks);
    void finishInvalidation();

    const URLSessionConfiguration mConfiguration;
    std::shared_ptr<DispatchQueue> mDelegateQueue;

    mutable std::mutex mMutex;
    std::shared_ptr<URLSessionDataDelegate> mDelegate;
    // Held from creation until invalidation has finished.
    std::shared_ptr<URLSession> mSelf;
    std::vector<std::shared_ptr<URLSessionTask>> mTasks;  // not yet completed
    unsigned long mNextIdentifier = 1;
    bool mInvalidated = false;
    bool mInvalidationFinishing = false;
};

}  // namespace platform::net
