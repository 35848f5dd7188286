// Retry decisions: which failures are tried again, where, and after how long.

#include "storage/BLSRetryPolicy.h"

#include "platform/dispatch/Clock.h"
#include "storage/BLSOperationContext.h"
#include "storage/BLSRequestResult.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Date = std::chrono::system_clock::time_point;

// Results carry the virtual clock's date as their end time; the tests set
// the date relative to those end times before the policies read it.
class RetryPolicyTest : public ::testing::Test {
protected:
    void setNow(Date date) { mClock->setDate(date); }

    // A finished attempt at `location`; status 0 means no response arrived.
    static std::shared_ptr<BLSRequestResult> failedAttempt(BLSStorageLocation location, int status) {
        std::optional<platform::net::HTTPURLResponse> response;
        if (status != 0) {
            response.emplace();
            response->statusCode = status;
        }
        return std::make_shared<BLSRequestResult>(platform::Clock::shared()->now(), location, std::move(response),
                                                  std::nullopt);
    }

    std::shared_ptr<platform::VirtualClock> mClock = std::make_shared<platform::VirtualClock>();
    platform::ScopedClock mInstalledClock{mClock};
    BLSOperationContext mContext;
};

TEST_F(RetryPolicyTest, RetryInfoInitialisers) {
    const BLSRetryInfo none = BLSRetryInfo::makeDontRetry();
    EXPECT_FALSE(none.shouldRetry);
    EXPECT_EQ(none.targetLocation, BLSStorageLocationPrimary);
    EXPECT_EQ(none.updatedLocationMode, BLSStorageLocationModeUnspecified);
    EXPECT_EQ(none.retryInterval, 0.0);

    const BLSRetryContext context(2, nullptr, BLSStorageLocationSecondary, BLSStorageLocationModeSecondaryThenPrimary);
    const BLSRetryInfo again(context);
    EXPECT_TRUE(again.shouldRetry);
    EXPECT_EQ(again.targetLocation, BLSStorageLocationSecondary);
    EXPECT_EQ(again.updatedLocationMode, BLSStorageLocationModeSecondaryThenPrimary);
    EXPECT_EQ(again.retryInterval, 3.0);
}

TEST_F(RetryPolicyTest, WhichStatusesAreRetried) {
    struct Case {
        const char* name;
        int status;
        bool retried;
    };
    const std::vector<Case> cases = {
        {"transport failure, no response", 0, true},
        {"informational status whose processing failed", 100, true},
        {"success whose processing failed", 200, true},
        {"redirect", 300, false},
        {"not modified", 304, false},
        {"bad request", 400, false},
        {"forbidden", 403, false},
        {"not found at the primary", 404, false},
        {"request timeout", 408, true},
        {"conflict", 409, false},
        {"precondition failed", 412, false},
        {"last client status", 499, false},
        {"internal server error", 500, true},
        {"not implemented", 501, false},
        {"service unavailable", 503, true},
        {"HTTP version not supported", 505, false},
        {"beyond the known range", 600, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BLSRetryPolicyLinear policy;
        auto result = failedAttempt(BLSStorageLocationPrimary, c.status);
        setNow(result->endTime());
        const BLSRetryInfo info = policy.evaluateRetryContext(
            BLSRetryContext(1, result, BLSStorageLocationPrimary, BLSStorageLocationModePrimaryOnly), mContext);
        EXPECT_EQ(info.shouldRetry, c.retried);
        if (c.retried) {
            EXPECT_EQ(info.targetLocation, BLSStorageLocationPrimary);
            EXPECT_EQ(info.updatedLocationMode, BLSStorageLocationModePrimaryOnly);
            EXPECT_DOUBLE_EQ(info.retryInterval, 2.0);
        }
    }
}

TEST_F(RetryPolicyTest, NotFoundAtTheSecondaryGoesToThePrimary) {
    for (BLSStorageLocationMode mode :
         {BLSStorageLocationModePrimaryThenSecondary, BLSStorageLocationModeSecondaryThenPrimary}) {
        SCOPED_TRACE(mode);
        // Primary never tried: the retry goes out at once.
        BLSRetryPolicyExponential policy(3, 2.0, [] { return 0u; });
        auto result = failedAttempt(BLSStorageLocationSecondary, 404);
        setNow(result->endTime() + 10ms);
        const BLSRetryInfo info =
            policy.evaluateRetryContext(BLSRetryContext(1, result, BLSStorageLocationPrimary, mode), mContext);
        EXPECT_TRUE(info.shouldRetry);
        EXPECT_EQ(info.targetLocation, BLSStorageLocationPrimary);
        EXPECT_EQ(info.updatedLocationMode, BLSStorageLocationModePrimaryOnly);
        EXPECT_EQ(info.retryInterval, 0.0);
        ASSERT_TRUE(policy.lastSecondaryAttempt());
        EXPECT_EQ(*policy.lastSecondaryAttempt(), result->endTime());
        EXPECT_FALSE(policy.lastPrimaryAttempt());
    }

    // The primary failed first; the wait is shortened by the time since then.
    BLSRetryPolicyLinear policy(5, 2.0);
    auto primary = failedAttempt(BLSStorageLocationPrimary, 500);
    setNow(primary->endTime());
    BLSRetryInfo info = policy.evaluateRetryContext(
        BLSRetryContext(1, primary, BLSStorageLocationSecondary, BLSStorageLocationModePrimaryThenSecondary), mContext);
    EXPECT_TRUE(info.shouldRetry);
    EXPECT_EQ(info.targetLocation, BLSStorageLocationSecondary);
    EXPECT_EQ(info.retryInterval, 0.0);  // the secondary was never tried

    auto secondary = failedAttempt(BLSStorageLocationSecondary, 404);
    setNow(*policy.lastPrimaryAttempt() + 500ms);
    info = policy.evaluateRetryContext(
        BLSRetryContext(2, secondary, BLSStorageLocationPrimary, BLSStorageLocationModePrimaryThenSecondary), mContext);
    EXPECT_TRUE(info.shouldRetry);
    EXPECT_EQ(info.targetLocation, BLSStorageLocationPrimary);
    EXPECT_EQ(info.updatedLocationMode, BLSStorageLocationModePrimaryOnly);
    EXPECT_NEAR(info.retryInterval, 1.5, 1e-9);
}

TEST_F(RetryPolicyTest, NotFoundAtTheSecondaryInSecondaryOnlyModeStaysThere) {
    BLSRetryPolicyLinear policy;
    auto result = failedAttempt(BLSStorageLocationSecondary, 404);
    setNow(result->endTime());
    const BLSRetryInfo info = policy.evaluateRetryContext(
        BLSRetryContext(1, result, BLSStorageLocationSecondary, BLSStorageLocationModeSecondaryOnly), mContext);
    EXPECT_TRUE(info.shouldRetry);
    EXPECT_EQ(info.targetLocation, BLSStorageLocationSecondary);
    EXPECT_EQ(info.updatedLocationMode, BLSStorageLocationModeSecondaryOnly);
    EXPECT_DOUBLE_EQ(info.retryInterval, 2.0);
}

TEST_F(RetryPolicyTest, AttemptLimit) {
    struct Case {
        const char* name;
        long maxAttempts;
        long retryCount;
        bool retried;
    };
    const std::vector<Case> cases = {
        {"default limit, first failure", 3, 1, true},
        {"default limit, second failure", 3, 2, true},
        {"default limit reached", 3, 3, false},
        {"one attempt only", 1, 1, false},
        {"zero attempts", 0, 1, false},
        {"negative limit, first failure", -1, 1, false},
        {"negative limit, many failures", -1, 1000, false},
        {"most negative limit", LONG_MIN, 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BLSRetryPolicyLinear linear(c.maxAttempts, 2.0);
        BLSRetryPolicyExponential exponential(c.maxAttempts, 2.0, [] { return 0u; });
        auto result = failedAttempt(BLSStorageLocationPrimary, 500);
        setNow(result->endTime());
        const BLSRetryContext context(c.retryCount, result, BLSStorageLocationPrimary,
                                      BLSStorageLocationModePrimaryOnly);
        EXPECT_EQ(linear.evaluateRetryContext(context, mContext).shouldRetry, c.retried);
        EXPECT_EQ(exponential.evaluateRetryContext(context, mContext).shouldRetry, c.retried);
        std::optional<Date> primary, secondary;
        EXPECT_EQ(BLSRetryPolicyUtil::evaluateRetryContext(context, c.maxAttempts, primary, secondary).shouldRetry,
                  c.retried);
    }
}

TEST_F(RetryPolicyTest, ExponentialBackoffBounds) {
    struct Case {
        const char* name;
        long retryCount;
        std::uint32_t random;
        double expected;
    };
    // d = 1.6 + 0.8 * random / 2^32; interval = (2^n - 1) * d.
    const double top = 0.8 * 4294967295.0 / 4294967296.0;
    const std::vector<Case> cases = {
        {"first retry, lowest random", 1, 0u, 1.6},
        {"first retry, highest random", 1, 0xFFFFFFFFu, 1.6 + top},
        {"first retry, middle random", 1, 0x80000000u, 2.0},
        {"second retry, lowest random", 2, 0u, 4.8},
        {"second retry, highest random", 2, 0xFFFFFFFFu, 3 * (1.6 + top)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BLSRetryPolicyExponential policy(3, 2.0, [r = c.random] { return r; });
        auto result = failedAttempt(BLSStorageLocationPrimary, 503);
        setNow(result->endTime());
        const BLSRetryInfo info = policy.evaluateRetryContext(
            BLSRetryContext(c.retryCount, result, BLSStorageLocationPrimary, BLSStorageLocationModePrimaryOnly),
            mContext);
        ASSERT_TRUE(info.shouldRetry);
        EXPECT_NEAR(info.retryInterval, c.expected, 1e-9);
    }
    // The documented ranges hold at both ends.
    for (std::uint32_t r : {0u, 0xFFFFFFFFu}) {
        BLSRetryPolicyExponential policy(3, 2.0, [r] { return r; });
        auto result = failedAttempt(BLSStorageLocationPrimary, 503);
        setNow(result->endTime());
        const double first =
            policy
                .evaluateRetryContext(
                    BLSRetryContext(1, result, BLSStorageLocationPrimary, BLSStorageLocationModePrimaryOnly), mContext)
                .retryInterval;
        const double second =
            policy
                .evaluateRetryContext(
                    BLSRetryContext(2, result, BLSStorageLocationPrimary, BLSStorageLocationModePrimaryOnly), mContext)
                .retryInterval;
        EXPECT_GE(first, 1.6);
        EXPECT_LE(first, 2.4);
        EXPECT_GE(second, 4.8);
        EXPECT_LE(second, 7.2);
    }
}

TEST_F(RetryPolicyTest, ExponentialClampsAndAligns) {
    struct Case {
        const char* name;
        long maxAttempts;
        double delta;
        long retryCount;
        std::chrono::milliseconds sinceAttempt;
        double expected;
    };
    const std::vector<Case> cases = {
        {"zero delta waits the shortest time", 3, 0.0, 1, 0ms, 0.5},
        {"zero delta at the second retry too", 3, 0.0, 2, 0ms, 0.5},
        {"tenth retry is capped", 100, 2.0, 10, 0ms, 120.0},
        {"fortieth retry, computed in floating point, is capped", 100, 2.0, 40, 0ms, 120.0},
        {"negative delta is taken as the longest wait", 3, -1.0, 1, 0ms, 120.0},
        {"time passed shortens the wait", 3, 2.0, 2, 1500ms, 4.8 - 1.5},
        {"time passed beyond the wait gives zero", 3, 2.0, 1, 5000ms, 0.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BLSRetryPolicyExponential policy(c.maxAttempts, c.delta, [] { return 0u; });
        auto result = failedAttempt(BLSStorageLocationPrimary, 500);
        setNow(result->endTime() + c.sinceAttempt);
        const BLSRetryInfo info = policy.evaluateRetryContext(
            BLSRetryContext(c.retryCount, result, BLSStorageLocationPrimary, BLSStorageLocationModePrimaryOnly),
            mContext);
        ASSERT_TRUE(info.shouldRetry);
        EXPECT_NEAR(info.retryInterval, c.expected, 1e-9);
    }
}

TEST_F(RetryPolicyTest, LinearWaitShortenedByTimePassed) {
    struct Case {
        const char* name;
        std::chrono::milliseconds sinceAttempt;
        double expected;
    };
    const std::vector<Case> cases = {
        {"just ended", 0ms, 2.0},
        {"ended one second ago", 1000ms, 1.0},
        {"ended five seconds ago", 5000ms, 0.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BLSRetryPolicyLinear policy(3, 2.0);
        auto result = failedAttempt(BLSStorageLocationPrimary, 500);
        setNow(result->endTime() + c.sinceAttempt);
        const BLSRetryInfo info = policy.evaluateRetryContext(
            BLSRetryContext(1, result, BLSStorageLocationPrimary, BLSStorageLocationModePrimaryOnly), mContext);
        ASSERT_TRUE(info.shouldRetry);
        EXPECT_NEAR(info.retryInterval, c.expected, 1e-9);
    }
}

TEST_F(RetryPolicyTest, AlignmentWithoutAnAttemptAtTheTarget) {
    const Date primaryEnd = Date{} + 1000s;
    setNow(primaryEnd + 700ms);
    BLSRetryInfo toSecondary(true, BLSStorageLocationSecondary, BLSStorageLocationModePrimaryThenSecondary, 3.0);
    BLSRetryPolicyUtil::alignRetryIntervalWithRetryInfo(toSecondary, primaryEnd, std::nullopt);
    EXPECT_EQ(toSecondary.retryInterval, 0.0);

    BLSRetryInfo toPrimary(true, BLSStorageLocationPrimary, BLSStorageLocationModePrimaryThenSecondary, 3.0);
    BLSRetryPolicyUtil::alignRetryIntervalWithRetryInfo(toPrimary, primaryEnd, std::nullopt);
    EXPECT_NEAR(toPrimary.retryInterval, 2.3, 1e-9);
}

TEST_F(RetryPolicyTest, NoRetryNeverRetries) {
    BLSRetryPolicyNoRetry policy;
    for (int status : {0, 408, 500, 503}) {
        SCOPED_TRACE(status);
        auto result = failedAttempt(BLSStorageLocationPrimary, status);
        EXPECT_FALSE(
            policy
                .evaluateRetryContext(
                    BLSRetryContext(1, result, BLSStorageLocationPrimary, BLSStorageLocationModePrimaryOnly), mContext)
                .shouldRetry);
    }
    auto copy = policy.clone();
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(dynamic_cast<BLSRetryPolicyNoRetry*>(copy.get()), nullptr);
}

TEST_F(RetryPolicyTest, ClonesKeepSettingsButNotAttemptTimes) {
    BLSRetryPolicyLinear linear(5, 1.25);
    BLSRetryPolicyExponential exponential(7, 4.0, [] { return 0u; });
    auto result = failedAttempt(BLSStorageLocationPrimary, 500);
    setNow(result->endTime());
    const BLSRetryContext context(1, result, BLSStorageLocationPrimary, BLSStorageLocationModePrimaryOnly);
    linear.evaluateRetryContext(context, mContext);
    exponential.evaluateRetryContext(context, mContext);
    ASSERT_TRUE(linear.lastPrimaryAttempt());
    ASSERT_TRUE(exponential.lastPrimaryAttempt());

    auto linearCopy = std::dynamic_pointer_cast<BLSRetryPolicyLinear>(linear.clone());
    ASSERT_NE(linearCopy, nullptr);
    EXPECT_EQ(linearCopy->maxAttempts(), 5);
    EXPECT_EQ(linearCopy->waitTimeBetweenRetries(), 1.25);
    EXPECT_FALSE(linearCopy->lastPrimaryAttempt());
    EXPECT_FALSE(linearCopy->lastSecondaryAttempt());

    auto exponentialCopy = std::dynamic_pointer_cast<BLSRetryPolicyExponential>(exponential.clone());
    ASSERT_NE(exponentialCopy, nullptr);
    EXPECT_EQ(exponentialCopy->maxAttempts(), 7);
    EXPECT_EQ(exponentialCopy->averageBackoffDelta(), 4.0);
    EXPECT_FALSE(exponentialCopy->lastPrimaryAttempt());
    // The copy draws from the same random source: 0.8 * 4.0 for the first retry.
    EXPECT_NEAR(exponentialCopy->evaluateRetryContext(context, mContext).retryInterval, 3.2, 1e-9);
}

TEST_F(RetryPolicyTest, ContextDefaultPolicyBacksOffWithinRange) {
    auto policy = std::dynamic_pointer_cast<BLSRetryPolicyExponential>(mContext.retryPolicy());
    ASSERT_NE(policy, nullptr);
    EXPECT_EQ(policy->maxAttempts(), 3);
    EXPECT_EQ(policy->averageBackoffDelta(), 2.0);
    auto perOperation = policy->clone();
    for (int i = 0; i < 50; ++i) {
        auto result = failedAttempt(BLSStorageLocationPrimary, 500);
        setNow(result->endTime());
        const BLSRetryInfo info = perOperation->evaluateRetryContext(
            BLSRetryContext(1, result, BLSStorageLocationPrimary, BLSStorageLocationModePrimaryOnly), mContext);
        ASSERT_TRUE(info.shouldRetry);
        EXPECT_GE(info.retryInterval, 1.6);
        EXPECT_LE(info.retryInterval, 2.4);
    }
}

}  // namespace
