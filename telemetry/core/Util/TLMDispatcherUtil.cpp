#include "telemetry/core/Util/TLMDispatcherUtil.h"

#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/RunLoop.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace {

// A semaphore the queued block signals; shared with the block so that a
// caller who stopped waiting does not take it away.
struct Completion {
    std::mutex mutex;
    std::condition_variable signalled;
    bool done = false;
};

}  // namespace

void TLMDispatcherUtil::performBlockOnMainThread(std::function<void()> block) {
    const std::shared_ptr<platform::RunLoop> loop = platform::RunLoop::main();
    if (loop->isCurrent()) {
        block();
    } else {
        loop->post(std::move(block));
    }
}

void TLMDispatcherUtil::dispatchSyncWithTimeout(double timeout, platform::DispatchQueue& queue,
                                                std::function<void()> block) {
    auto completion = std::make_shared<Completion>();
    queue.async([completion, block = std::move(block)] {
        if (block) block();
        {
            std::lock_guard lock(completion->mutex);
            completion->done = true;
        }
        completion->signalled.notify_all();
    });
    // Seconds to whole nanoseconds; no wait for a negative or NaN time-out,
    // and none longer than about three centuries.
    const double nanoseconds = timeout > 0 ? std::min(timeout * 1e9, 1e19 / 2) : 0;
    const auto limit = std::chrono::nanoseconds(static_cast<std::int64_t>(nanoseconds));
    std::unique_lock lock(completion->mutex);
    completion->signalled.wait_for(lock, limit, [&completion] { return completion->done; });
}

void TLMDispatcherUtil::runBlock(const std::function<void()>& block) {
    if (block) block();
}
