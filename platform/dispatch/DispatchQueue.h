#pragma once
// Dispatch queues: the main queue (blocks on the main run loop), serial
// queues (one worker thread each, blocks in submission order), concurrent
// queues with barriers, and the global queues by priority. Concurrent and
// global queues share one bounded pool of real threads.

#include "platform/dispatch/Clock.h"

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace platform {

enum class DispatchQueuePriority { High, Default, Low, Background };

class DispatchQueue {
public:
    enum class Kind { Serial, Concurrent };

    // `label` is a reverse-DNS name, shown in thread names and diagnostics.
    explicit DispatchQueue(std::string label, Kind kind = Kind::Serial);
    // Waits until every block already submitted has run (also blocks they
    // submit meanwhile); a serial queue's worker then stops. Destroyed from
    // one of its own blocks, the queue finishes its blocks without waiting.
    ~DispatchQueue();

    DispatchQueue(const DispatchQueue&) = delete;
    DispatchQueue& operator=(const DispatchQueue&) = delete;

    // Posts to the main run loop; its blocks run on the main thread.
    static DispatchQueue& main();
    // A concurrent queue on the shared pool; barriers on it are plain blocks.
    static DispatchQueue& global(DispatchQueuePriority priority = DispatchQueuePriority::Default);

    const std::string& label() const;

    // Queues the block and returns at once. A block that throws is reported
    // on standard error; the queue goes on.
    void async(std::function<void()> block);
    // Queues the block once `delay` has passed on Clock::shared().
    void asyncAfter(Clock::Duration delay, std::function<void()> block);
    // Queues the block and waits until it has run; what it throws reaches
    // the caller. On a concurrent queue the block runs on the calling thread,
    // side by side with other blocks that are not barriers. Calling it from
    // a block running on this queue (for the main queue: on the main thread)
    // throws std::logic_error instead of deadlocking.
    void sync(const std::function<void()>& block);

    // On a concurrent queue a barrier waits for every block submitted before
    // it, runs alone, and blocks submitted after it wait until it is done.
    // On other queues these are async and sync.
    void barrierAsync(std::function<void()> block);
    void barrierSync(const std::function<void()>& block);

    // True when called from a block running on this queue; for the main
    // queue, on the main thread.
    bool isCurrent() const;

    // Runs block(0) to block(iterations - 1), side by side on the shared
    // pool and on the calling thread, and returns when all have run. The
    // caller takes its share, so this finishes even when the pool is busy,
    // and may be called from a block on the pool. The first exception a
    // block throws reaches the caller once all have run.
    static void concurrentPerform(std::size_t iterations, const std::function<void(std::size_t)>& block);
    // Threads concurrentPerform uses at most, the caller's included.
    static unsigned concurrency();

    // For the process's end, before its services and statics go: the pool's
    // threads outlive them all. From now on the global queues, and the
    // concurrent and width-limited queues on the same pool, start no block
    // (one submitted or still waiting is destroyed unrun; `sync` and
    // concurrentPerform still run on the caller), the main queue runs no
    // block (what the last blocks post there is never delivered), and this
    // waits, at most `most` in real time, for the blocks running to end.
    // False when some still ran then. Call it from outside the pool.
    static bool closeGlobalQueues(std::chrono::milliseconds most);
    static bool globalQueuesClosed();
    // Opens them again, as in a new process: for tests.
    static void reopenGlobalQueuesForTests();

    struct Core;

private:
    explicit DispatchQueue(std::shared_ptr<Core> core);
    std::shared_ptr<Core> mCore;
};

// Blocks run side by side on the shared pool while they are still being
// added, in the order added: whoever adds them goes on with its own work
// meanwhile. `finish` then runs what is left on the calling thread too and
// returns once every block has run; the first exception a block threw
// reaches its caller there. Blocks are added from one thread, the one that
// finishes; they are destroyed there too.
class ConcurrentFeed {
public:
    ConcurrentFeed();
    // Finishes, dropping what a block threw.
    ~ConcurrentFeed();
    ConcurrentFeed(const ConcurrentFeed&) = delete;
    ConcurrentFeed& operator=(const ConcurrentFeed&) = delete;

    void add(std::function<void()> block);
    void finish();

    struct State;

private:
    std::shared_ptr<State> mState;
};

// Runs `block` exactly once per flag, also under concurrent first calls.
using OnceFlag = std::once_flag;
template <typename Block>
void once(OnceFlag& flag, Block&& block) {
    std::call_once(flag, std::forward<Block>(block));
}

}  // namespace platform
