#include "platform/dispatch/DispatchQueue.h"

#include "platform/dispatch/Deadline.h"
#include "platform/dispatch/MainThread.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/dispatch/ThreadStart.h"

#include <dlfcn.h>
#include <pthread.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdio>
#include <deque>
#include <exception>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

namespace platform {

// ---------------------------------------------------------------------------
// What every kind of queue does

struct DispatchQueue::Core : std::enable_shared_from_this<Core> {
    explicit Core(std::string queueLabel) : label(std::move(queueLabel)) {}
    virtual ~Core() = default;

    virtual void submit(std::function<void()> block, bool barrier) = 0;
    // Runs the block and returns once it has run; the caller is not on the queue.
    virtual void runSync(const std::function<void()>& block, bool barrier);
    virtual void submitAfter(Clock::Duration delay, std::function<void()> block);
    virtual bool isCurrent() const;
    // Called by ~DispatchQueue.
    virtual void drain() {}

    // Runs a submitted block; what escapes it is reported, never thrown on.
    void runCaught(const std::function<void()>& block) const;

    const std::string label;
};

namespace {

// How long a queue's thread sleeps without work before the blocks its
// allocator keeps for it go back: a thread idle after a layout closed would
// keep megabytes.
constexpr std::chrono::seconds kIdleBeforeCacheBack{1};

// Blocks the calling thread freed and its allocator keeps for its next
// requests go back to the shared heaps, which give unused pages back to the
// system. Nothing on the C library's allocator.
void giveThreadCacheBack() {
    using tMallctl = int (*)(const char*, void*, std::size_t*, void*, std::size_t);
    static const auto control = reinterpret_cast<tMallctl>(dlsym(RTLD_DEFAULT, "mallctl"));
    if (control != nullptr) control("thread.tcache.flush", nullptr, nullptr, nullptr, 0);
}

// Waits on `wake` for `ready`; a thread that sleeps a while gives its
// allocator's cache back first.
template <typename Ready>
void sleepUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& wake, Ready ready) {
    if (wake.wait_for(lock, kIdleBeforeCacheBack, ready)) return;
    lock.unlock();
    giveThreadCacheBack();
    lock.lock();
    wake.wait(lock, ready);
}

// The queues whose blocks the calling thread is running, innermost first: a
// sync block on a concurrent queue runs on the caller's thread.
struct Frame {
    const DispatchQueue::Core* queue;
    const Frame* outer;
};
thread_local const Frame* tFrames = nullptr;

class FrameScope {
public:
    explicit FrameScope(const DispatchQueue::Core* queue) : mFrame{queue, tFrames} { tFrames = &mFrame; }
    ~FrameScope() { tFrames = mFrame.outer; }
    FrameScope(const FrameScope&) = delete;
    FrameScope& operator=(const FrameScope&) = delete;

private:
    Frame mFrame;
};

// Set by closeGlobalQueues: the pool's threads start no more queue blocks
// and the main queue runs none.
std::atomic<bool> gClosed{false};
// Whether the calling thread is one of the pool's.
thread_local bool tOnPool = false;

// Linux thread names hold 15 bytes; the end of a reverse-DNS label is the
// part that tells queues apart.
std::string threadNameFor(const std::string& label) {
    constexpr std::size_t kMax = 15;
    return label.size() <= kMax ? label : label.substr(label.size() - kMax);
}

}  // namespace

bool DispatchQueue::Core::isCurrent() const {
    for (const Frame* frame = tFrames; frame; frame = frame->outer) {
        if (frame->queue == this) return true;
    }
    return false;
}

void DispatchQueue::Core::runCaught(const std::function<void()>& block) const {
    try {
        block();
    } catch (const std::exception& e) {
        // An escaping exception must not take the worker (and the queue) down.
        std::fprintf(stderr, "DispatchQueue '%s': block threw: %s\n", label.c_str(), e.what());
    } catch (...) {
        std::fprintf(stderr, "DispatchQueue '%s': block threw an unknown exception\n", label.c_str());
    }
}

void DispatchQueue::Core::runSync(const std::function<void()>& block, bool barrier) {
    std::mutex doneMutex;
    std::condition_variable doneSignal;
    bool done = false;
    std::exception_ptr failure;

    submit(
        [&] {
            try {
                block();
            } catch (...) {
                failure = std::current_exception();
            }
            std::lock_guard lock(doneMutex);
            done = true;
            doneSignal.notify_one();
        },
        barrier);

    std::unique_lock lock(doneMutex);
    doneSignal.wait(lock, [&] { return done; });
    // The caller sees what the block threw, as if it had run the block itself.
    if (failure) std::rethrow_exception(failure);
}

void DispatchQueue::Core::submitAfter(Clock::Duration delay, std::function<void()> block) {
    auto clock = Clock::shared();
    clock->callAt(
        deadlineAfter(clock->instant(), delay),
        [core = shared_from_this(), block = std::move(block)]() mutable { core->submit(std::move(block), false); });
}

namespace {

// ---------------------------------------------------------------------------
// The main queue

class MainCore final : public DispatchQueue::Core {
public:
    MainCore() : Core("com.vekmont.main") {}

    // Kept in the loop even once closed: what a block holds (a controller)
    // may only go on the main thread.
    void submit(std::function<void()> block, bool) override {
        RunLoop::main()->post([core = self(), block = std::move(block)] { core->runOpen(block); });
    }
    void submitAfter(Clock::Duration delay, std::function<void()> block) override {
        RunLoop::main()->postAfter(delay, [core = self(), block = std::move(block)] { core->runOpen(block); });
    }

private:
    std::shared_ptr<const MainCore> self() const {
        return std::static_pointer_cast<const MainCore>(shared_from_this());
    }
    void runOpen(const std::function<void()>& block) const {
        if (!gClosed.load(std::memory_order_acquire)) runCaught(block);
    }
    bool isCurrent() const override { return isMainThread(); }
};

// ---------------------------------------------------------------------------
// Serial queues: one worker thread each

class SerialCore final : public DispatchQueue::Core {
public:
    using Core::Core;

    void start() {
        mWorker = startThread([self = std::static_pointer_cast<SerialCore>(shared_from_this())] { self->run(); });
    }

    void submit(std::function<void()> block, bool) override {
        {
            std::lock_guard lock(mMutex);
            if (mStopped) return;  // the worker is gone: nobody would run it
            mBlocks.push_back(std::move(block));
        }
        mWake.notify_one();
    }

    void drain() override {
        {
            std::lock_guard lock(mMutex);
            mStopping = true;
        }
        mWake.notify_all();
        if (!mWorker.joinable()) return;
        // From its own block the worker cannot be joined: it ends on its own.
        if (mWorker.get_id() == std::this_thread::get_id()) {
            mWorker.detach();
        } else {
            mWorker.join();
        }
    }

private:
    void run() {
        pthread_setname_np(pthread_self(), threadNameFor(label).c_str());
        FrameScope frame(this);
        for (;;) {
            std::function<void()> block;
            {
                std::unique_lock lock(mMutex);
                sleepUntil(lock, mWake, [this] { return mStopping || !mBlocks.empty(); });
                // Stop only once everything submitted (also by draining blocks) has run.
                if (mBlocks.empty()) {
                    mStopped = true;
                    break;
                }
                block = std::move(mBlocks.front());
                mBlocks.pop_front();
            }
            runCaught(block);
        }
    }

    std::mutex mMutex;
    std::condition_variable mWake;
    std::deque<std::function<void()>> mBlocks;
    bool mStopping = false;
    bool mStopped = false;
    std::thread mWorker;
};

// ---------------------------------------------------------------------------
// The pool under the concurrent and global queues

// Waits a little for `ready` without sleeping: a thread woken from sleep
// starts late (the processor it slept on may have gone idle), which work
// handed out in quick rounds, such as the phases of a frame, pays each round.
template <typename Ready>
bool spinUntil(Ready&& ready, std::chrono::microseconds most) {
    const auto end = std::chrono::steady_clock::now() + most;
    for (unsigned turn = 1;; ++turn) {
        if (ready()) return true;
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#else
        std::this_thread::yield();
#endif
        if (turn % 64 == 0 && std::chrono::steady_clock::now() >= end) return ready();
    }
}

class Pool {
public:
    static Pool& shared() {
        static auto* pool = new Pool();  // its threads outlive every static
        return *pool;
    }

    unsigned maximum() const { return mMaximum; }

    void submit(DispatchQueuePriority priority, std::function<void()> work) { submit(priority, 1, std::move(work)); }

    // The same work `count` times, handed out at once. Once closed, the
    // pool's threads take nothing more: the work runs here.
    void submit(DispatchQueuePriority priority, std::size_t count, std::function<void()> work) {
        if (count == 0) return;
        std::unique_lock lock(mMutex);
        if (mClosed) {
            lock.unlock();
            for (std::size_t i = 0; i < count; ++i) work();
            return;
        }
        auto& list = mWork[static_cast<std::size_t>(priority)];
        for (std::size_t i = 1; i < count; ++i) list.push_back(work);
        list.push_back(std::move(work));
        mQueued += count;
        mQueuedNow.store(mQueued, std::memory_order_release);
        while (mQueued > mIdle + mStarting && mThreads < mMaximum) {
            ++mThreads;
            ++mStarting;
            startThread([this] { run(); }).detach();
        }
        lock.unlock();
        if (count == 1) {
            mWake.notify_one();
        } else {
            mWake.notify_all();
        }
    }

    // Takes no more work on its threads and waits until what they hold has
    // run (and been destroyed); false when `deadline` came first.
    bool close(std::chrono::steady_clock::time_point deadline) {
        std::unique_lock lock(mMutex);
        mClosed = true;
        gClosed.store(true, std::memory_order_release);
        // A caller on the pool would wait for itself.
        const unsigned self = tOnPool ? 1 : 0;
        return mQuiet.wait_until(lock, deadline, [&] { return mQueued == 0 && mBusy <= self; });
    }

    void reopen() {
        std::lock_guard lock(mMutex);
        mClosed = false;
        gClosed.store(false, std::memory_order_release);
    }

private:
    // How long an idle thread looks for work before it sleeps.
    static constexpr std::chrono::microseconds kSpin{200};

    Pool() : mMaximum(std::max(4u, std::thread::hardware_concurrency())) {}

    void run() {
        pthread_setname_np(pthread_self(), "dispatch.pool");
        tOnPool = true;
        std::unique_lock lock(mMutex);
        --mStarting;
        for (;;) {
            ++mIdle;
            if (mQueued == 0) {
                lock.unlock();
                spinUntil([this] { return mQueuedNow.load(std::memory_order_acquire) > 0; }, kSpin);
                lock.lock();
                sleepUntil(lock, mWake, [this] { return mQueued > 0; });
            }
            --mIdle;
            // The most urgent work first.
            auto list = std::find_if(mWork.begin(), mWork.end(), [](const auto& work) { return !work.empty(); });
            auto work = std::move(list->front());
            list->pop_front();
            --mQueued;
            mQueuedNow.store(mQueued, std::memory_order_release);
            ++mBusy;
            lock.unlock();
            work();
            work = nullptr;
            lock.lock();
            --mBusy;
            if (mClosed && mQueued == 0) mQuiet.notify_all();
        }
    }

    std::mutex mMutex;
    std::condition_variable mWake;
    std::array<std::deque<std::function<void()>>, 4> mWork;  // by priority
    std::size_t mQueued = 0;
    // `mQueued` for threads looking without the lock.
    std::atomic<std::size_t> mQueuedNow{0};
    unsigned mIdle = 0;
    unsigned mStarting = 0;  // started, not yet looking for work
    unsigned mThreads = 0;
    unsigned mBusy = 0;    // running work
    bool mClosed = false;  // `gClosed`, changed under the lock
    std::condition_variable mQuiet;
    const unsigned mMaximum;
};

// ---------------------------------------------------------------------------
// Concurrent queues: blocks start in submission order and run side by side
// on the pool; a barrier starts when nothing else runs and holds back what
// comes after it.

class ConcurrentCore final : public DispatchQueue::Core {
public:
    ConcurrentCore(std::string label, DispatchQueuePriority priority, bool honoursBarriers)
        : Core(std::move(label)), mPriority(priority), mHonoursBarriers(honoursBarriers) {}

    void submit(std::function<void()> block, bool barrier) override {
        std::unique_lock lock(mMutex);
        mPending.push_back(Item{std::move(block), barrier && mHonoursBarriers, nullptr});
        start(lock);
    }

    void runSync(const std::function<void()>& block, bool barrier) override {
        bool granted = false;
        barrier = barrier && mHonoursBarriers;
        {
            std::unique_lock lock(mMutex);
            mPending.push_back(Item{nullptr, barrier, &granted});
            start(lock);
            lock.lock();
            mChanged.wait(lock, [&] { return granted; });
        }
        struct Finish {
            ConcurrentCore& core;
            bool barrier;
            ~Finish() { core.finished(barrier); }
        } finish{*this, barrier};
        FrameScope frame(this);
        block();
    }

    void drain() override {
        // Blocks of this queue keep its core alive; from one of them, waiting
        // for the others could wait for ourselves.
        if (isCurrent()) return;
        std::unique_lock lock(mMutex);
        mChanged.wait(lock, [this] { return mPending.empty() && mRunning == 0 && !mBarrierRunning; });
    }

private:
    struct Item {
        std::function<void()> block;
        bool barrier;
        bool* granted;  // a sync caller waiting to run its block itself
    };

    // Starts what may start now, in order; lets go of the lock.
    void start(std::unique_lock<std::mutex>& lock) {
        std::vector<Item> ready;
        bool grantedAny = false;
        while (!mPending.empty() && !mBarrierRunning) {
            Item& next = mPending.front();
            if (next.barrier) {
                if (mRunning > 0) break;
                mBarrierRunning = true;
            } else {
                ++mRunning;
            }
            if (next.granted) {
                *next.granted = true;
                grantedAny = true;
            } else {
                ready.push_back(std::move(next));
            }
            mPending.pop_front();
        }
        lock.unlock();
        if (grantedAny) mChanged.notify_all();
        for (auto& item : ready) {
            Pool::shared().submit(mPriority, [core = std::static_pointer_cast<ConcurrentCore>(shared_from_this()),
                                              block = std::move(item.block), barrier = item.barrier] {
                // Closed meanwhile: it goes unrun, and the queue goes on counting.
                if (!gClosed.load(std::memory_order_acquire)) {
                    FrameScope frame(core.get());
                    core->runCaught(block);
                }
                core->finished(barrier);
            });
        }
    }

    void finished(bool barrier) {
        std::unique_lock lock(mMutex);
        if (barrier) {
            mBarrierRunning = false;
        } else {
            --mRunning;
        }
        start(lock);
        mChanged.notify_all();
    }

    const DispatchQueuePriority mPriority;
    const bool mHonoursBarriers;
    std::mutex mMutex;
    std::condition_variable mChanged;  // a sync caller granted, or the queue drained
    std::deque<Item> mPending;
    unsigned mRunning = 0;
    bool mBarrierRunning = false;
};

std::shared_ptr<DispatchQueue::Core> makeCore(std::string label, DispatchQueue::Kind kind) {
    if (kind == DispatchQueue::Kind::Concurrent) {
        return std::make_shared<ConcurrentCore>(std::move(label), DispatchQueuePriority::Default, true);
    }
    auto core = std::make_shared<SerialCore>(std::move(label));
    core->start();
    return core;
}

}  // namespace

DispatchQueue::DispatchQueue(std::string label, Kind kind) : mCore(makeCore(std::move(label), kind)) {}

DispatchQueue::DispatchQueue(std::shared_ptr<Core> core) : mCore(std::move(core)) {}

DispatchQueue::~DispatchQueue() { mCore->drain(); }

DispatchQueue& DispatchQueue::main() {
    static auto* queue = new DispatchQueue(std::make_shared<MainCore>());
    return *queue;
}

DispatchQueue& DispatchQueue::global(DispatchQueuePriority priority) {
    static const std::array<DispatchQueue*, 4> queues = [] {
        const char* names[] = {"com.vekmont.global.high", "com.vekmont.global.default", "com.vekmont.global.low",
                               "com.vekmont.global.background"};
        std::array<DispatchQueue*, 4> made{};
        for (std::size_t i = 0; i < made.size(); ++i) {
            made[i] = new DispatchQueue(
                std::make_shared<ConcurrentCore>(names[i], static_cast<DispatchQueuePriority>(i), false));
        }
        return made;
    }();
    return *queues.at(static_cast<std::size_t>(priority));
}

const std::string& DispatchQueue::label() const { return mCore->label; }

void DispatchQueue::async(std::function<void()> block) {
    if (block) mCore->submit(std::move(block), false);
}

void DispatchQueue::barrierAsync(std::function<void()> block) {
    if (block) mCore->submit(std::move(block), true);
}

void DispatchQueue::asyncAfter(Clock::Duration delay, std::function<void()> block) {
    if (block) mCore->submitAfter(delay, std::move(block));
}

void DispatchQueue::sync(const std::function<void()>& block) {
    if (isCurrent()) throw std::logic_error("DispatchQueue::sync called on its own queue '" + label() + "'");
    if (block) mCore->runSync(block, false);
}

void DispatchQueue::barrierSync(const std::function<void()>& block) {
    if (isCurrent()) throw std::logic_error("DispatchQueue::barrierSync called on its own queue '" + label() + "'");
    if (block) mCore->runSync(block, true);
}

bool DispatchQueue::isCurrent() const { return mCore->isCurrent(); }

unsigned DispatchQueue::concurrency() { return Pool::shared().maximum(); }

bool DispatchQueue::closeGlobalQueues(std::chrono::milliseconds most) {
    return Pool::shared().close(std::chrono::steady_clock::now() + most);
}

bool DispatchQueue::globalQueuesClosed() { return gClosed.load(std::memory_order_acquire); }

void DispatchQueue::reopenGlobalQueuesForTests() { Pool::shared().reopen(); }

// ---------------------------------------------------------------------------
// Feeds: blocks taken by pool threads as they are added, without a lock

struct ConcurrentFeed::State {
    // Blocks are never moved once added: they lie in chunks that the adder
    // appends, found through a table of fixed size.
    static constexpr std::size_t kChunk = 256;
    static constexpr std::size_t kChunks = 1024;
    using Chunk = std::array<std::function<void()>, kChunk>;
    std::array<std::unique_ptr<Chunk>, kChunks> chunks;
    std::atomic<std::size_t> added{0};  // published: a block's chunk is there
    std::atomic<std::size_t> taken{0};
    std::atomic<std::size_t> done{0};
    std::atomic<bool> closed{false};
    std::atomic<unsigned> helping{0};  // pool threads taking blocks
    std::mutex mutex;                  // for the error, and waiting for the last block
    std::condition_variable finished;
    std::exception_ptr error;

    std::function<void()>& slot(std::size_t i) { return (*chunks[i / kChunk])[i % kChunk]; }

    bool waiting() const { return taken.load() < added.load(); }

    // Runs the next block; false when none is there to take.
    bool runNext() {
        std::size_t i = taken.load(std::memory_order_relaxed);
        do {
            if (i >= added.load(std::memory_order_acquire)) return false;
        } while (!taken.compare_exchange_weak(i, i + 1, std::memory_order_acq_rel, std::memory_order_relaxed));
        try {
            slot(i)();
        } catch (...) {
            std::lock_guard lock(mutex);
            if (!error) error = std::current_exception();
        }
        if (done.fetch_add(1) + 1 == added.load() && closed.load()) {
            std::lock_guard lock(mutex);
            finished.notify_all();
        }
        return true;
    }

    // A pool thread's share. Blocks come every microsecond or so while the
    // adder works: a helper looks a while before it gives its thread back
    // to the pool, and the adder asks for another when one is missing.
    void help() {
        constexpr std::chrono::microseconds kSpin{200};
        // Once the global queues close, the blocks left are the adder's: a
        // feed its adder goes on adding to (a layout still being read at a
        // quit) would otherwise hold the close for as long as it is fed.
        const auto open = [] { return !gClosed.load(std::memory_order_acquire); };
        for (;;) {
            while (open() && runNext()) {
            }
            if (!open() || closed.load() || !spinUntil([this] { return waiting() || closed.load(); }, kSpin)) break;
        }
        helping.fetch_sub(1);
    }
};

ConcurrentFeed::ConcurrentFeed() : mState(std::make_shared<State>()) {}

ConcurrentFeed::~ConcurrentFeed() {
    try {
        finish();
    } catch (...) {
    }
}

void ConcurrentFeed::add(std::function<void()> block) {
    State& state = *mState;
    const std::size_t i = state.added.load(std::memory_order_relaxed);
    if (state.closed.load() || i / State::kChunk >= State::kChunks) {
        block();  // finished, or past what the table holds: here and now
        return;
    }
    auto& chunk = state.chunks[i / State::kChunk];
    if (!chunk) chunk = std::make_unique<State::Chunk>();
    (*chunk)[i % State::kChunk] = std::move(block);
    state.added.store(i + 1);
    if (state.helping.load() < DispatchQueue::concurrency() - 1 && !gClosed.load(std::memory_order_acquire)) {
        state.helping.fetch_add(1);
        Pool::shared().submit(DispatchQueuePriority::High, [state = mState] { state->help(); });
    }
}

void ConcurrentFeed::finish() {
    State& state = *mState;
    if (state.closed.exchange(true)) return;
    while (state.runNext()) {
    }
    const std::size_t all = state.added.load();
    spinUntil([&] { return state.done.load() == all; }, std::chrono::microseconds(500));
    std::unique_lock lock(state.mutex);
    state.finished.wait(lock, [&] { return state.done.load() == all; });
    // Done with: dropped here, where they were made.
    for (std::size_t i = 0; i * State::kChunk < all; ++i) state.chunks[i].reset();
    if (state.error) std::rethrow_exception(std::exchange(state.error, nullptr));
}

void DispatchQueue::concurrentPerform(std::size_t iterations, const std::function<void(std::size_t)>& block) {
    if (iterations == 0 || !block) return;
    // Shared with the pool's blocks: one that starts after the last
    // iteration finds nothing left and never touches `block`, which may be
    // gone by then.
    struct Work {
        const std::function<void(std::size_t)>* block;
        std::size_t total;
        std::atomic<std::size_t> next{0};
        std::atomic<std::size_t> done{0};
        std::mutex mutex;
        std::condition_variable finished;
        std::exception_ptr error;
    };
    auto work = std::make_shared<Work>();
    work->block = &block;
    work->total = iterations;
    const auto take = [](Work& w) {
        for (std::size_t i = w.next.fetch_add(1); i < w.total; i = w.next.fetch_add(1)) {
            try {
                (*w.block)(i);
            } catch (...) {
                std::lock_guard lock(w.mutex);
                if (!w.error) w.error = std::current_exception();
            }
            if (w.done.fetch_add(1) + 1 == w.total) {
                std::lock_guard lock(w.mutex);
                w.finished.notify_all();
            }
        }
    };
    const std::size_t helpers = std::min<std::size_t>(iterations, concurrency()) - 1;
    Pool::shared().submit(DispatchQueuePriority::High, helpers, [work, take] { take(*work); });
    take(*work);
    // The last iterations usually end soon after ours.
    spinUntil([&] { return work->done.load() == work->total; }, std::chrono::microseconds(500));
    std::unique_lock lock(work->mutex);
    work->finished.wait(lock, [&] { return work->done.load() == work->total; });
    if (work->error) std::rethrow_exception(work->error);
}

}  // namespace platform
