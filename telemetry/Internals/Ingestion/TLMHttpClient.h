#pragma once
// The telemetry client's HTTP client: sends requests over the platform's URL
// session, retries those that may succeed later, and holds everything back
// while the network cannot be reached.
//
// Retries: a transfer error, or an answer 5xx, 408 or 429, is tried again
// after each of the call's retry intervals in turn, measured on
// platform::Clock::shared(); when they are used up the last answer (or
// error) is the call's outcome. Any other answer ends the call at once.
//
// Pause: while paused (the network is down, or pause() was called) no
// attempt starts; attempts on the wire are cancelled and go again on
// resume, without counting as a retry. A transfer error while the network
// is reported down pauses the client the same way.
//
// Threads: every method is safe from any thread. Attempts start, answers
// are read and completion handlers run on the client's serial queue; each
// call's handler runs exactly once, unless the client is destroyed first.

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/net/URLRequest.h"
#include "telemetry/Internals/Ingestion/TLMHttpClientDelegate.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace platform::net {
class URLSession;
class URLSessionTask;
}  // namespace platform::net

class TLM_Reachability;
class TLMHttpClient;

// The outcome of a call: the answer's body and head, or the error that
// ended it (URLErrorCancelled for a cancelled call).
using TLMHttpRequestCompletionHandler = std::function<void(
    const std::optional<std::vector<std::uint8_t>>& responseBody,
    const std::optional<platform::net::HTTPURLResponse>& response, const std::optional<platform::Error>& error)>;

// One request and its attempts.
class TLMHttpCall {
public:
    TLMHttpCall(std::weak_ptr<TLMHttpClient> client, platform::net::URL url, std::string method,
                platform::net::HTTPHeaders headers, std::shared_ptr<const std::vector<std::uint8_t>> data,
                std::vector<double> retryIntervals, std::weak_ptr<TLMHttpClientDelegate> delegate,
                TLMHttpRequestCompletionHandler completionHandler);

    const platform::net::URL& url() const { return mUrl; }
    const std::string& method() const { return mMethod; }
    // The headers as sent ("Content-Encoding: gzip" added when compressed).
    const platform::net::HTTPHeaders& headers() const { return mHeaders; }
    // The body as sent.
    const std::shared_ptr<const std::vector<std::uint8_t>>& data() const { return mData; }
    const std::vector<double>& retryIntervals() const { return mRetryIntervals; }

    // Retries scheduled so far.
    std::size_t retryCount() const { return mRetryCount.load(); }
    // An attempt is on the wire.
    bool isInProgress() const { return mInProgress.load(); }
    // A retry is scheduled and not yet due.
    bool isWaitingForRetry() const { return mWaitingForRetry.load(); }
    // The outcome has been handed over (or the call cancelled).
    bool isCompleted() const { return mCompleted.load(); }

    // Ends the call: no further attempt, and the handler gets
    // URLErrorCancelled. Nothing once the call has completed.
    void cancel();

private:
    friend class TLMHttpClient;

    const std::weak_ptr<TLMHttpClient> mClient;
    const platform::net::URL mUrl;
    const std::string mMethod;
    const platform::net::HTTPHeaders mHeaders;
    const std::shared_ptr<const std::vector<std::uint8_t>> mData;
    const std::vector<double> mRetryIntervals;
    const std::weak_ptr<TLMHttpClientDelegate> mDelegate;

    // Guarded by the client's mutex.
    TLMHttpRequestCompletionHandler mCompletionHandler;
    std::shared_ptr<platform::net::URLSessionTask> mTask;
    std::vector<std::uint8_t> mResponseBody;

    std::atomic<std::size_t> mRetryCount{0};
    std::atomic<bool> mInProgress{false};
    std::atomic<bool> mWaitingForRetry{false};
    std::atomic<bool> mCompleted{false};
};

class TLMHttpClient : public std::enable_shared_from_this<TLMHttpClient> {
    struct Key {};

public:
    // Bodies shorter than this go as they are: below about one packet,
    // compressing cannot save a round trip.
    static constexpr std::size_t kMinGzipLength = 1400;
    // The most of an answer's body that is kept.
    static constexpr std::size_t kMaxResponseBodyLength = 1024 * 1024;

    // Watches the host's internet connection.
    static std::shared_ptr<TLMHttpClient> make();
    // Watches `reachability` (none: never pauses by itself).
    static std::shared_ptr<TLMHttpClient> make(std::shared_ptr<TLM_Reachability> reachability);

    TLMHttpClient(Key, std::shared_ptr<TLM_Reachability> reachability);
    // Cancels what is on the wire; handlers of unfinished calls are not run.
    ~TLMHttpClient();
    TLMHttpClient(const TLMHttpClient&) = delete;
    TLMHttpClient& operator=(const TLMHttpClient&) = delete;

    // Sends `data` (none: no body) to `url`. With `compressionEnabled` a body
    // of at least kMinGzipLength bytes goes gzip-compressed when that makes
    // it smaller. `delegate` is told of every attempt. A disabled client
    // completes the call at once with URLErrorCancelled.
    std::shared_ptr<TLMHttpCall> sendAsync(const platform::net::URL& url, const std::string& method,
                                           platform::net::HTTPHeaders headers,
                                           const std::optional<std::vector<std::uint8_t>>& data,
                                           std::vector<double> retryIntervals, bool compressionEnabled,
                                           std::weak_ptr<TLMHttpClientDelegate> delegate,
                                           TLMHttpRequestCompletionHandler completionHandler);

    void pause();
    void resume();
    bool isPaused() const;

    // Disabling cancels every unfinished call (each handler gets
    // URLErrorCancelled) and refuses new ones until enabled again.
    void setEnabled(bool isEnabled);
    bool isEnabled() const;
    // Disables the client and stops its watch of the network, as its end
    // would, for a client that stays alive after tests that run one after
    // another in a process let it go.
    void endForTests();

    // The calls not yet completed, oldest first.
    std::vector<std::shared_ptr<TLMHttpCall>> pendingCalls() const;

private:
    friend class TLMHttpCall;
    class SessionDelegate;

    void start();
    // On the queue: starts an attempt of the call unless it is finished,
    // on the wire, waiting for a retry, or the client is paused.
    void attempt(const std::shared_ptr<TLMHttpCall>& call);
    // On the queue: the attempt's transfer ended.
    void attemptEnded(platform::net::URLSessionTask& task, const std::optional<platform::Error>& error);
    void receivedData(platform::net::URLSessionTask& task, const std::uint8_t* data, std::size_t size);
    void scheduleRetry(const std::shared_ptr<TLMHttpCall>& call);
    void complete(const std::shared_ptr<TLMHttpCall>& call, std::optional<std::vector<std::uint8_t>> body,
                  std::optional<platform::net::HTTPURLResponse> response, std::optional<platform::Error> error);
    void cancelCall(const std::shared_ptr<TLMHttpCall>& call);
    void networkStateChanged();
    bool isNetworkReachable() const;

    const std::shared_ptr<platform::DispatchQueue> mQueue;
    const std::shared_ptr<TLM_Reachability> mReachability;
    std::shared_ptr<platform::net::URLSession> mSession;
    platform::NotificationCenter::ObserverToken mReachabilityObserver;

    mutable std::mutex mMutex;
    bool mEnabled = true;
    bool mPaused = false;
    std::vector<std::shared_ptr<TLMHttpCall>> mPendingCalls;
    // The call of each attempt on the wire, by task identifier.
    std::map<unsigned long, std::shared_ptr<TLMHttpCall>> mAttempts;
};
