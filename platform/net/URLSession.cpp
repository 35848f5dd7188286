#include "platform/net/URLSession.h"

#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/ThreadStart.h"
#include "platform/net/URLSessionEngine.h"

#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
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

std::atomic<unsigned long> gSessionCounter{0};

Error cancelledError() { return makeURLError(URLErrorCancelled, "cancelled"); }

// Marks the response's completion handler as dropped when its last copy is
// destroyed without having been called, so the transfer does not wait forever.
struct DispositionSentinel {
    std::function<void()> onDrop;
    ~DispositionSentinel() { onDrop(); }
};

}  // namespace

URLSessionConfiguration URLSessionConfiguration::ephemeralSessionConfiguration() { return {}; }

URLSessionDataDelegate::~URLSessionDataDelegate() = default;

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
    if (!URLSessionEngine::start(shared_from_this(), session)) {
        complete(*session, makeURLError(URLErrorUnknown, "cannot start the transfer"));
    }
}

void URLSessionTask::writeReceivedDataToStream(std::shared_ptr<OutputStream> stream) {
    std::lock_guard lock(mMutex);
    mReceivedDataStream = std::move(stream);
}

void URLSessionTask::cancel() {
    std::shared_ptr<URLSession> sessionOfNewTask;
    bool running = false;
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
            running = true;
        }
    }
    if (sessionOfNewTask) complete(*sessionOfNewTask, cancelledError());
    if (running) URLSessionEngine::poke(shared_from_this());
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
            startThread([queue] { delete queue; }).detach();
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

void URLSession::postResponse(const std::shared_ptr<URLSessionTask>& task, HTTPURLResponse response) {
    {
        std::lock_guard lock(task->mMutex);
        task->mDisposition.reset();
        task->mDispositionHandlerDropped = false;
    }
    mDelegateQueue->async([session = shared_from_this(), task, response = std::move(response)] {
        auto sentinel = std::make_shared<DispositionSentinel>();
        sentinel->onDrop = [weak = std::weak_ptr<URLSessionTask>(task)] {
            if (auto t = weak.lock()) {
                {
                    std::lock_guard lock(t->mMutex);
                    t->mDispositionHandlerDropped = true;
                }
                URLSessionEngine::poke(std::move(t));
            }
        };
        // The handler may be called once, from any thread, now or later.
        auto handler = [sentinel, weak = std::weak_ptr<URLSessionTask>(task)](URLSessionResponseDisposition answer) {
            auto t = weak.lock();
            if (!t) return;
            {
                std::lock_guard lock(t->mMutex);
                if (t->mDisposition) return;
                t->mDisposition = answer;
            }
            URLSessionEngine::poke(std::move(t));
        };
        sentinel.reset();
        if (auto delegate = session->delegate()) {
            guardDelegateCall([&] { delegate->didReceiveResponse(*session, *task, response, std::move(handler)); });
        }
    });
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
    bool resume = false;
    {
        std::lock_guard lock(task.mMutex);
        task.mDeliveryQueued = false;
        chunk.swap(task.mUndelivered);
        sentTotal = task.mSentToReport;
        sentDelta = sentTotal - task.mSentReported;
        task.mSentReported = sentTotal;
        expected = task.mExpectedToSend;
        cancelled = task.mCancelRequested;
        resume = std::exchange(task.mWantsRoom, false);
    }
    // The transfer fills the next chunk while the delegate takes this one.
    if (resume) URLSessionEngine::poke(task.shared_from_this());
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
            // Every chunk has been handed over: the buffers go, and the
            // body's stream is the delegate's again.
            std::lock_guard lock(task->mMutex);
            std::vector<std::uint8_t>().swap(task->mUndelivered);
            std::vector<std::uint8_t>().swap(task->mSpareChunk);
            task->mReceivedDataStream.reset();
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
