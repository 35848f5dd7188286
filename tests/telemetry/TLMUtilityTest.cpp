// The telemetry utilities: dates in the client's ISO 8601 form and the
// dispatch helpers.

#include "telemetry/Internals/Util/TLMDispatcherUtil.h"
#include "telemetry/Internals/Util/TLMUtility.h"

#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/RunLoop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using namespace std::chrono;
using Date = TLMUtility::Date;

Date at(int y, unsigned m, unsigned d, int hh, int mm, int ss, int ms) {
    return sys_days{year{y} / m / d} + hours{hh} + minutes{mm} + seconds{ss} + milliseconds{ms};
}

}  // namespace

TEST(TLMUtility, IsoDatesInUtcWithMilliseconds) {
    EXPECT_EQ(TLMUtility::dateToISO8601(at(2024, 2, 29, 23, 59, 59, 999)), "2024-02-29T23:59:59.999Z");
    EXPECT_EQ(TLMUtility::dateToISO8601(Date{}), "1970-01-01T00:00:00.000Z");
    // Below a millisecond is cut, also before 1970, so a date never reads
    // back later than it was.
    EXPECT_EQ(TLMUtility::dateToISO8601(at(2024, 3, 5, 6, 7, 8, 9) + microseconds(999)), "2024-03-05T06:07:08.009Z");
    EXPECT_EQ(TLMUtility::dateToISO8601(Date{} - microseconds(1)), "1969-12-31T23:59:59.999Z");

    const Date date = at(1999, 12, 31, 1, 2, 3, 45);
    EXPECT_EQ(TLMUtility::dateFromISO8601(TLMUtility::dateToISO8601(date)), date);
    EXPECT_EQ(TLMUtility::dateFromISO8601("1969-07-20T20:17:40.000Z"), at(1969, 7, 20, 20, 17, 40, 0));
    for (const char* text : {"2024-02-30T00:00:00.000Z", "2023-02-29T00:00:00.000Z", "2024-13-01T00:00:00.000Z",
                             "2024-01-01T24:00:00.000Z", "2024-01-01T00:60:00.000Z", "2024-01-01T00:00:60.000Z",
                             "2024-01-01T00:00:00.000", "2024-01-01 00:00:00.000Z", "2024-01-01T00:00:00.00Z",
                             "2024-01-01T00:00:00.0000Z", "+024-01-01T00:00:00.000Z", ""}) {
        EXPECT_FALSE(TLMUtility::dateFromISO8601(text).has_value()) << text;
    }

    const double before = duration<double, std::milli>(system_clock::now().time_since_epoch()).count();
    const double now = TLMUtility::nowInMilliseconds();
    EXPECT_GE(now, before);
    EXPECT_LT(now - before, 60'000);
}

TEST(TLMDispatcherUtil, MainThreadBlocksRunAtOnceOrOnTheMainLoop) {
    // The test runs on the main thread: the block runs before the call returns.
    int ran = 0;
    TLMDispatcherUtil::performBlockOnMainThread([&ran] { ++ran; });
    EXPECT_EQ(ran, 1);

    // From another thread it waits for the main loop, and runs there.
    std::atomic<int> posted{0};
    std::thread::id ranOn;
    std::thread([&] {
        TLMDispatcherUtil::performBlockOnMainThread([&] {
            ranOn = std::this_thread::get_id();
            ++posted;
        });
    }).join();
    EXPECT_EQ(posted.load(), 0);
    EXPECT_TRUE(platform::RunLoop::current()->runUntil([&] { return posted.load() == 1; }, seconds(5)));
    EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST(TLMDispatcherUtil, SyncWithTimeoutReturnsAtTheLimitAndTheBlockStillRuns) {
    platform::DispatchQueue queue("com.vekmont.test.dispatcher");
    std::atomic<bool> release{false};
    std::atomic<bool> finished{false};
    const auto start = steady_clock::now();
    TLMDispatcherUtil::dispatchSyncWithTimeout(0.05, queue, [&] {
        while (!release) std::this_thread::sleep_for(milliseconds(1));
        finished = true;
    });
    EXPECT_GE(steady_clock::now() - start, milliseconds(50));
    EXPECT_FALSE(finished.load());
    release = true;
    queue.sync([] {});
    EXPECT_TRUE(finished.load());

    // A quick block: the wait ends with it, long before the limit.
    int ran = 0;
    TLMDispatcherUtil::dispatchSyncWithTimeout(30.0, queue, [&ran] { ran = 1; });
    EXPECT_EQ(ran, 1);
}
