// The delayed flush of the log's writers, where the writers' own tests do
// not reach: a flush under way when the flusher goes, the writer telling of
// its lines from inside the flush, and the end of a wait that is far off.

#include "engine/services/DelayedFlusher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <semaphore>
#include <thread>

namespace {

constexpr auto kGenerous = std::chrono::seconds(30);

}  // namespace

// The log file's writer flushes through its own Flush, which takes its lock
// and tells the flusher (Flushed) under it; its Close ends the flusher while
// a flush may be due.
TEST(DelayedFlusher, AFlushUnderWayTellsTheFlusherAndTheFlusherGoesOnlyOnceItEnds) {
    std::binary_semaphore entered(0);
    std::binary_semaphore goOn(0);
    std::atomic<int> flushes{0};
    std::atomic<int> ended{0};
    std::unique_ptr<CDelayedFlusher> flusher;
    flusher = std::make_unique<CDelayedFlusher>(std::chrono::milliseconds(0), [&] {
        flusher->Flushed();
        flusher->Waiting();  // a line that came meanwhile
        flusher->Flushed();
        ++flushes;
        entered.release();
        ASSERT_TRUE(goOn.try_acquire_for(kGenerous));
        ++ended;
    });

    // A flusher stuck in its flush is left behind, so that the test ends.
    const auto flushRuns = [&] {
        if (entered.try_acquire_for(kGenerous)) return true;
        (void)flusher.release();
        return false;
    };

    // Each run of waiting lines is flushed, the thread going on after one.
    flusher->Waiting();
    ASSERT_TRUE(flushRuns()) << "the flush never ran, or waits for the flusher's lock";
    goOn.release();
    flusher->Waiting();
    ASSERT_TRUE(flushRuns()) << "no flush for a line after the first flush";
    EXPECT_EQ(flushes.load(), 2);

    bool endedWhenGone = false;
    std::thread closing([&] {
        flusher.reset();
        endedWhenGone = ended == 2;
    });
    goOn.release();
    closing.join();
    EXPECT_TRUE(endedWhenGone) << "the flusher went while its flush still ran";
    EXPECT_EQ(flushes.load(), 2);
}

// The console's flusher goes with its sink at exit, a line maybe waiting:
// the sink flushes what waits itself.
TEST(DelayedFlusher, GoingEndsAFarWaitAndFlushesNothing) {
    struct tState {
        std::atomic<int> flushes{0};
        std::binary_semaphore gone{0};
    };
    const auto state = std::make_shared<tState>();
    std::thread going([state] {
        {
            CDelayedFlusher flusher(std::chrono::hours(1), [state] { ++state->flushes; });
            flusher.Waiting();
            // Time for its thread to begin the wait, which going must end;
            // the test holds however long that takes.
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        state->gone.release();
    });
    // One that waits for its moment is left behind, so that the test ends.
    const bool gone = state->gone.try_acquire_for(kGenerous);
    if (gone) {
        going.join();
    } else {
        going.detach();
    }
    ASSERT_TRUE(gone) << "the flusher waited for its moment before going";
    EXPECT_EQ(state->flushes.load(), 0);
}
