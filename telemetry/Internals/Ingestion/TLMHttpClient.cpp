#include "telemetry/Internals/Ingestion/TLMHttpClient.h"

#include "platform/net/URLSession.h"
#include "telemetry/Internals/Ingestion/TLMHttpUtil.h"
#include "telemetry/Internals/Util/TLMCompression.h"
#include "telemetry/Internals/Util/TLM_Reachability.h"
#include "telemetry/TLMLogger.h"

#include <algorithm>
#include <chrono>
#include <cmath>

using platform::net::HTTPURLResponse;
using platform::net::URLSession;
using platform::net::URLSessionTask;

namespace {


platform::Error cancelledError() {
    return platform::Error(platform::net::URLErrorDomain, platform::net::URLErrorCancelled,
                           {{platform::Error::LocalizedDescriptionKey, std::string("cancelled")}});
}

// Seconds to the clock's duration; a negative or NaN interval is no wait,
// and none is longer than a day beyond the longest interval in use.
platform::Clock::Duration delayOf(double seconds) {
    const double bounded = std::isfinite(seconds) ? std::clamp(seconds, 0.0, 1e6) : 0.0;
    return std::chrono::duration_cast<platform::Clock::Duration>(std::chrono::duration<double>(bounded));
}

}  // namespace

// Hands the session's events to the client; holds it weakly, as the session
// keeps its delegate alive until it has been invalidated.
class TLMHttpClient::SessionDelegate final : public platform::net::URLSessionDataDelegate {
public:
    explicit SessionDelegate(std::weak_ptr<TLMHttpClient> client) : mClient(std::move(client)) {}

    void didReceiveData(URLSession&, URLSessionTask& task, std::span<const std::uint8_t> data) override {
        if (const auto client = mClient.lock()) client->receivedData(task, data.data(), data.size());
    }
    void didCompleteWithError(URLSession&, URLSessionTask& task, const std::optional<platform::Error>& error) override {
        if (const auto client = mClient.lock()) client->attemptEnded(task, error);
    }

private:
    std::weak_ptr<TLMHttpClient> mClient;
};

TLMHttpCall::TLMHttpCall(std::weak_ptr<TLMHttpClient> client, platform::net::URL url, std::string method,
                         platform::net::HTTPHeaders headers, std::shared_ptr<const std::vector<std::uint8_t>> data,
                         std::vector<double> retryIntervals, std::weak_ptr<TLMHttpClientDelegate> delegate,
                         TLMHttpRequestCompletionHandler completionHandler)
    : mClient(std::move(client)),
      mUrl(std::move(url)),
      mMethod(std::move(method)),
      mHeaders(std::move(headers)),
      mData(std::move(data)),
      mRetryIntervals(std::move(retryIntervals)),
      mDelegate(std::move(delegate)),
      mCompletionHandler(std::move(completionHandler)) {}

void TLMHttpCall::cancel() {
    const std::shared_ptr<TLMHttpClient> client = mClient.lock();
    if (!client) return;
    for (const auto& call : client->pendingCalls()) {
        if (call.get() == this) client->cancelCall(call);
    }
}

std::shared_ptr<TLMHttpClient> TLMHttpClient::make() {
    return make(TLM_Reachability::reachabilityForInternetConnection());
}

std::shared_ptr<TLMHttpClient> TLMHttpClient::make(std::shared_ptr<TLM_Reachability> reachability) {
    auto client = std::make_shared<TLMHttpClient>(Key{}, std::move(reachability));
    client->start();
    return client;
}

TLMHttpClient::TLMHttpClient(Key, std::shared_ptr<TLM_Reachability> reachability)
    : mQueue(std::make_shared<platform::DispatchQueue>("com.vekmont.telemetry.http")),
      mReachability(std::move(reachability)) {}

void TLMHttpClient::start() {
    mSession =
        URLSession::sessionWithConfiguration(platform::net::URLSessionConfiguration::ephemeralSessionConfiguration(),
                                             std::make_shared<SessionDelegate>(weak_from_this()), mQueue);
    if (!mReachability) return;
    mReachabilityObserver = platform::NotificationCenter::defaultCenter().addObserverForName(
        kTLNetworkReachabilityChangedNotification, mReachability.get(),
        [weakSelf = weak_from_this()](const platform::Notification&) {
            if (const auto self = weakSelf.lock()) self->networkStateChanged();
        });
    mReachability->startNotifier();
    if (!isNetworkReachable()) pause();
}

TLMHttpClient::~TLMHttpClient() {
    if (mSession) mSession->invalidateAndCancel();
    if (mReachability) mReachability->stopNotifier();
}

std::shared_ptr<TLMHttpCall> TLMHttpClient::sendAsync(const platform::net::URL& url, const std::string& method,
                                                      platform::net::HTTPHeaders headers,
                                                      const std::optional<std::vector<std::uint8_t>>& data,
                                                      std::vector<double> retryIntervals, bool compressionEnabled,
                                                      std::weak_ptr<TLMHttpClientDelegate> delegate,
                                                      TLMHttpRequestCompletionHandler completionHandler) {
    std::shared_ptr<const std::vector<std::uint8_t>> body;
    if (data) {
        std::optional<std::vector<std::uint8_t>> compressed;
        if (compressionEnabled && data->size() >= kMinGzipLength) compressed = TLMCompression::compressData(*data);
        if (compressed && compressed->size() < data->size()) {
            body = std::make_shared<const std::vector<std::uint8_t>>(std::move(*compressed));
            headers.set("Content-Encoding", "gzip");
        } else {
            body = std::make_shared<const std::vector<std::uint8_t>>(*data);
        }
    }
    auto call =
        std::make_shared<TLMHttpCall>(weak_from_this(), url, method, std::move(headers), std::move(body),
                                      std::move(retryIntervals), std::move(delegate), std::move(completionHandler));
    {
        std::lock_guard lock(mMutex);
        if (mEnabled) {
            mPendingCalls.push_back(call);
            mQueue->async([weakSelf = weak_from_this(), call] {
                if (const auto self = weakSelf.lock()) self->attempt(call);
            });
            return call;
        }
    }
    TLMLogDebug(kTLMLogTag, "The HTTP client is disabled; the request to %s is not sent.",
                url.absoluteString().c_str());
    complete(call, std::nullopt, std::nullopt, cancelledError());
    return call;
}

void TLMHttpClient::attempt(const std::shared_ptr<TLMHttpCall>& call) {
    {
        std::lock_guard lock(mMutex);
        if (call->mCompleted || call->mInProgress || call->mWaitingForRetry || mPaused || !mEnabled) return;
    }
    if (const auto delegate = call->mDelegate.lock()) delegate->willSendHTTPRequestToURL(call->mUrl, call->mHeaders);

    platform::net::URLRequest request(call->mUrl);
    request.httpMethod = call->mMethod;
    request.headers = call->mHeaders;
    std::shared_ptr<URLSessionTask> task;
    try {
        task = mSession->uploadTaskWithRequest(std::move(request), call->mData);
    } catch (const std::logic_error&) {
        return;  // the session is being invalidated: the client is going
    }
    {
        std::unique_lock lock(mMutex);
        // A pause or a cancel may have come while the task was made: the
        // task goes unstarted, so the session does not keep it.
        if (call->mCompleted || mPaused || !mEnabled) {
            lock.unlock();
            task->cancel();
            return;
        }
        call->mTask = task;
        call->mResponseBody.clear();
        call->mInProgress = true;
        mAttempts[task->taskIdentifier()] = call;
    }
    task->resume();
}

void TLMHttpClient::receivedData(URLSessionTask& task, const std::uint8_t* data, std::size_t size) {
    std::lock_guard lock(mMutex);
    const auto found = mAttempts.find(task.taskIdentifier());
    if (found == mAttempts.end()) return;
    std::vector<std::uint8_t>& body = found->second->mResponseBody;
    const std::size_t room = kMaxResponseBodyLength - std::min(body.size(), kMaxResponseBodyLength);
    body.insert(body.end(), data, data + std::min(size, room));
}

void TLMHttpClient::attemptEnded(URLSessionTask& task, const std::optional<platform::Error>& error) {
    std::shared_ptr<TLMHttpCall> call;
    std::vector<std::uint8_t> body;
    {
        std::lock_guard lock(mMutex);
        const auto found = mAttempts.find(task.taskIdentifier());
        if (found == mAttempts.end()) return;
        call = found->second;
        mAttempts.erase(found);
        // An attempt cancelled by a pause or a cancel is no outcome.
        if (call->mTask.get() != &task) return;
        call->mTask.reset();
        call->mInProgress = false;
        body = std::move(call->mResponseBody);
        call->mResponseBody.clear();
    }
    const std::optional<HTTPURLResponse> response = error ? std::nullopt : task.response();
    const int status = response ? response->statusCode : 0;
    if (error) {
        TLMLogDebug(kTLMLogTag, "HTTP request to %s failed: %s", call->mUrl.absoluteString().c_str(),
                    error->localizedDescription().c_str());
        if (!isNetworkReachable()) {
            // Not the request's fault: it goes again once the network is back.
            TLMLogError(kTLMLogTag, "Internet connection is down.");
            pause();
            return;
        }
    }
    if ((error || TLMHttpUtil::isRecoverableError(status)) && call->mRetryCount < call->mRetryIntervals.size()) {
        scheduleRetry(call);
        return;
    }
    complete(call, response ? std::optional<std::vector<std::uint8_t>>(std::move(body)) : std::nullopt, response,
             error);
}

void TLMHttpClient::scheduleRetry(const std::shared_ptr<TLMHttpCall>& call) {
    const std::size_t retry = call->mRetryCount;
    const double seconds = call->mRetryIntervals[retry];
    {
        // Scheduled under the lock, so a call seen waiting has its retry on
        // the clock already (the block only runs later, on the queue).
        std::lock_guard lock(mMutex);
        if (call->mCompleted) return;
        call->mWaitingForRetry = true;
        call->mRetryCount = retry + 1;
        mQueue->asyncAfter(delayOf(seconds), [weakSelf = weak_from_this(), call] {
            const auto self = weakSelf.lock();
            if (!self) return;
            {
                std::lock_guard lock(self->mMutex);
                call->mWaitingForRetry = false;
            }
            self->attempt(call);
        });
    }
    TLMLogWarning(kTLMLogTag, "Call attempt #%zu of %s failed; retrying in %g seconds.", retry + 1,
                  call->mUrl.absoluteString().c_str(), seconds);
}

void TLMHttpClient::complete(const std::shared_ptr<TLMHttpCall>& call, std::optional<std::vector<std::uint8_t>> body,
                             std::optional<HTTPURLResponse> response, std::optional<platform::Error> error) {
    TLMHttpRequestCompletionHandler handler;
    {
        std::lock_guard lock(mMutex);
        if (call->mCompleted) return;
        call->mCompleted = true;
        call->mWaitingForRetry = false;
        handler = std::move(call->mCompletionHandler);
        call->mCompletionHandler = nullptr;
        std::erase(mPendingCalls, call);
    }
    if (!handler) return;
    if (mQueue->isCurrent()) {
        handler(body, response, error);
    } else {
        mQueue->async([handler = std::move(handler), body = std::move(body), response = std::move(response),
                       error = std::move(error)] { handler(body, response, error); });
    }
}

void TLMHttpClient::cancelCall(const std::shared_ptr<TLMHttpCall>& call) {
    std::shared_ptr<URLSessionTask> task;
    {
        std::lock_guard lock(mMutex);
        if (call->mCompleted) return;
        task = std::move(call->mTask);
        call->mTask.reset();
        call->mInProgress = false;
    }
    if (task) task->cancel();
    complete(call, std::nullopt, std::nullopt, cancelledError());
}

void TLMHttpClient::pause() {
    std::vector<std::shared_ptr<URLSessionTask>> tasks;
    {
        std::lock_guard lock(mMutex);
        if (mPaused) return;
        mPaused = true;
        for (const auto& call : mPendingCalls) {
            if (!call->mTask) continue;
            tasks.push_back(std::move(call->mTask));
            call->mTask.reset();
            call->mInProgress = false;
        }
    }
    TLMLogInfo(kTLMLogTag, "HTTP client paused.");
    for (const auto& task : tasks) task->cancel();
}

void TLMHttpClient::resume() {
    std::vector<std::shared_ptr<TLMHttpCall>> calls;
    {
        std::lock_guard lock(mMutex);
        if (!mPaused) return;
        mPaused = false;
        calls = mPendingCalls;
    }
    TLMLogInfo(kTLMLogTag, "HTTP client resumed.");
    for (const auto& call : calls) {
        mQueue->async([weakSelf = weak_from_this(), call] {
            if (const auto self = weakSelf.lock()) self->attempt(call);
        });
    }
}

bool TLMHttpClient::isPaused() const {
    std::lock_guard lock(mMutex);
    return mPaused;
}

void TLMHttpClient::setEnabled(bool isEnabled) {
    std::vector<std::shared_ptr<TLMHttpCall>> calls;
    {
        std::lock_guard lock(mMutex);
        if (mEnabled == isEnabled) return;
        mEnabled = isEnabled;
        if (!isEnabled) calls = mPendingCalls;
    }
    for (const auto& call : calls) cancelCall(call);
    if (isEnabled) {
        // Nothing was kept while disabled; a pause from before goes on.
        TLMLogInfo(kTLMLogTag, "HTTP client enabled.");
    } else {
        TLMLogInfo(kTLMLogTag, "HTTP client disabled; %zu call(s) cancelled.", calls.size());
    }
}

bool TLMHttpClient::isEnabled() const {
    std::lock_guard lock(mMutex);
    return mEnabled;
}

void TLMHttpClient::endForTests() {
    setEnabled(false);
    if (!mReachability) return;
    platform::NotificationCenter::defaultCenter().removeObserver(mReachabilityObserver);
    mReachability->stopNotifier();
}

std::vector<std::shared_ptr<TLMHttpCall>> TLMHttpClient::pendingCalls() const {
    std::lock_guard lock(mMutex);
    return mPendingCalls;
}

void TLMHttpClient::networkStateChanged() {
    if (isNetworkReachable()) {
        TLMLogInfo(kTLMLogTag, "Internet connection is up.");
        resume();
    } else {
        TLMLogInfo(kTLMLogTag, "Internet connection is down.");
        pause();
    }
}

bool TLMHttpClient::isNetworkReachable() const {
    return !mReachability || mReachability->currentReachabilityStatus() != NotReachable;
}
