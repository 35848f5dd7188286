#include "platform/dispatch/DispatchQueue.h"

#include <pthread.h>

#include <cstdio>
#include <exception>
#include <stdexcept>

namespace platform {

namespace {

// The queue whose worker is the calling thread, if any.
thread_local const DispatchQueue* tCurrentQueue = nullptr;

// Linux thread names hold 15 bytes; the end of a reverse-DNS label is the
// part that tells queues apart.
std::string threadNameFor(const std::string& label) {
    constexpr std::size_t kMax = 15;
    return label.size() <= kMax ? label : label.substr(label.size() - kMax);
}

}  // namespace

DispatchQueue::DispatchQueue(std::string label) : mLabel(std::move(label)) {
    mWorker = std::thread([this] { run(); });
}

DispatchQueue::~DispatchQueue() {
    {
        std::lock_guard lock(mMutex);
        mStopping = true;
    }
    mWake.notify_all();
    if (mWorker.joinable()) mWorker.join();
}

void DispatchQueue::async(std::function<void()> block) {
    if (!block) return;
    {
        std::lock_guard lock(mMutex);
        mBlocks.push_back(std::move(block));
    }
    mWake.notify_one();
}

void DispatchQueue::sync(const std::function<void()>& block) {
    if (isCurrent()) {
        throw std::logic_error("DispatchQueue::sync called on its own queue '" + mLabel + "'");
    }
    if (!block) return;

    std::mutex doneMutex;
    std::condition_variable doneSignal;
    bool done = false;
    std::exception_ptr failure;

    async([&] {
        try {
            block();
        } catch (...) {
            failure = std::current_exception();
        }
        std::lock_guard lock(doneMutex);
        done = true;
        doneSignal.notify_one();
    });

    std::unique_lock lock(doneMutex);
    doneSignal.wait(lock, [&] { return done; });
    // The caller sees what the block threw, as if it had run the block itself.
    if (failure) std::rethrow_exception(failure);
}

bool DispatchQueue::isCurrent() const { return tCurrentQueue == this; }

void DispatchQueue::run() {
    pthread_setname_np(pthread_self(), threadNameFor(mLabel).c_str());
    tCurrentQueue = this;
    for (;;) {
        std::function<void()> block;
        {
            std::unique_lock lock(mMutex);
            mWake.wait(lock, [this] { return mStopping || !mBlocks.empty(); });
            // Stop only once everything submitted (also by draining blocks) has run.
            if (mBlocks.empty()) break;
            block = std::move(mBlocks.front());
            mBlocks.pop_front();
        }
        try {
            block();
        } catch (const std::exception& e) {
            // An escaping exception must not take the worker (and the queue) down.
            std::fprintf(stderr, "DispatchQueue '%s': block threw: %s\n", mLabel.c_str(), e.what());
        } catch (...) {
            std::fprintf(stderr, "DispatchQueue '%s': block threw an unknown exception\n", mLabel.c_str());
        }
    }
    tCurrentQueue = nullptr;
}

}  // namespace platform
