#pragma once
// Whether, where and after how long a failed storage request is tried again.

#include "storage/BLSEnums.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class BLSOperationContext;
class BLSRequestResult;

// The input of one decision. There is no default constructor: a decision
// always has a failed attempt to look at.
class BLSRetryContext {
public:
    // `currentRetryCount` counts the attempts finished so far, including the
    // one that just failed (1 after the first failure).
    BLSRetryContext(long currentRetryCount, std::shared_ptr<BLSRequestResult> lastRequestResult,
                    BLSStorageLocation nextLocation, BLSStorageLocationMode currentLocationMode)
        : mCurrentRetryCount(currentRetryCount),
          mLastRequestResult(std::move(lastRequestResult)),
          mNextLocation(nextLocation),
          mCurrentLocationMode(currentLocationMode) {}

    long currentRetryCount() const { return mCurrentRetryCount; }
    const std::shared_ptr<BLSRequestResult>& lastRequestResult() const { return mLastRequestResult; }
    BLSStorageLocation nextLocation() const { return mNextLocation; }
    BLSStorageLocationMode currentLocationMode() const { return mCurrentLocationMode; }

private:
    long mCurrentRetryCount;
    std::shared_ptr<BLSRequestResult> mLastRequestResult;
    BLSStorageLocation mNextLocation;
    BLSStorageLocationMode mCurrentLocationMode;
};

// The answer of one decision.
struct BLSRetryInfo {
    BLSRetryInfo(bool shouldRetry, BLSStorageLocation targetLocation, BLSStorageLocationMode updatedLocationMode,
                 double retryInterval)
        : shouldRetry(shouldRetry),
          targetLocation(targetLocation),
          updatedLocationMode(updatedLocationMode),
          retryInterval(retryInterval) {}
    // Retry at the context's next location in its mode, after 3 s.
    explicit BLSRetryInfo(const BLSRetryContext& retryContext)
        : BLSRetryInfo(true, retryContext.nextLocation(), retryContext.currentLocationMode(), 3.0) {}
    // Give up: (false, primary, unspecified mode, 0 s).
    static BLSRetryInfo makeDontRetry() {
        return BLSRetryInfo(false, BLSStorageLocationPrimary, BLSStorageLocationModeUnspecified, 0.0);
    }

    bool shouldRetry;
    BLSStorageLocation targetLocation;
    BLSStorageLocationMode updatedLocationMode;
    double retryInterval;  // seconds
};

class BLSRetryPolicy {
public:
    virtual ~BLSRetryPolicy() = default;
    virtual BLSRetryInfo evaluateRetryContext(const BLSRetryContext& retryContext,
                                              BLSOperationContext& operationContext) = 0;
    // The same settings and no remembered attempt times: one clone serves
    // one operation.
    virtual std::shared_ptr<BLSRetryPolicy> clone() const = 0;
};

class BLSRetryPolicyNoRetry : public BLSRetryPolicy {
public:
    BLSRetryInfo evaluateRetryContext(const BLSRetryContext& retryContext,
                                      BLSOperationContext& operationContext) override;
    std::shared_ptr<BLSRetryPolicy> clone() const override;
};

class BLSRetryPolicyLinear : public BLSRetryPolicy {
public:
    using Date = std::chrono::system_clock::time_point;

    BLSRetryPolicyLinear() : BLSRetryPolicyLinear(3, 2.0) {}
    BLSRetryPolicyLinear(long maxAttempts, double waitTimeBetweenRetries)
        : mMaxAttempts(maxAttempts), mWaitTimeBetweenRetries(waitTimeBetweenRetries) {}

    BLSRetryInfo evaluateRetryContext(const BLSRetryContext& retryContext,
                                      BLSOperationContext& operationContext) override;
    std::shared_ptr<BLSRetryPolicy> clone() const override;

    long maxAttempts() const { return mMaxAttempts; }
    double waitTimeBetweenRetries() const { return mWaitTimeBetweenRetries; }
    const std::optional<Date>& lastPrimaryAttempt() const { return mLastPrimaryAttempt; }
    const std::optional<Date>& lastSecondaryAttempt() const { return mLastSecondaryAttempt; }

private:
    long mMaxAttempts;
    double mWaitTimeBetweenRetries;
    std::optional<Date> mLastPrimaryAttempt;
    std::optional<Date> mLastSecondaryAttempt;
};

class BLSRetryPolicyExponential : public BLSRetryPolicy {
public:
    using Date = std::chrono::system_clock::time_point;
    // A uniformly distributed 32-bit number per call.
    using RandomFunction = std::function<std::uint32_t()>;

    BLSRetryPolicyExponential() : BLSRetryPolicyExponential(3, 2.0) {}
    // An empty `random` uses a per-thread generator seeded from the system's
    // entropy source.
    BLSRetryPolicyExponential(long maxAttempts, double averageBackoffDelta, RandomFunction random = {});

    BLSRetryInfo evaluateRetryContext(const BLSRetryContext& retryContext,
                                      BLSOperationContext& operationContext) override;
    // Keeps the random source along with the settings.
    std::shared_ptr<BLSRetryPolicy> clone() const override;

    long maxAttempts() const { return mMaxAttempts; }
    double averageBackoffDelta() const { return mAverageBackoffDelta; }
    const std::optional<Date>& lastPrimaryAttempt() const { return mLastPrimaryAttempt; }
    const std::optional<Date>& lastSecondaryAttempt() const { return mLastSecondaryAttempt; }

private:
    long mMaxAttempts;
    double mAverageBackoffDelta;
    RandomFunction mRandom;
    std::optional<Date> mLastPrimaryAttempt;
    std::optional<Date> mLastSecondaryAttempt;
};

// The rules shared by the policies.
class BLSRetryPolicyUtil {
public:
    using Date = std::chrono::system_clock::time_point;

    // Which failures are worth another attempt. Remembers the failed
    // attempt's end time under its location. A `maxAttempts` of 1 or less
    // never retries.
    static BLSRetryInfo evaluateRetryContext(const BLSRetryContext& retryContext, long maxAttempts,
                                             std::optional<Date>& lastPrimaryAttempt,
                                             std::optional<Date>& lastSecondaryAttempt);

    // Shortens the interval by the time passed since the last attempt at the
    // target location (never below 0), read on Clock::shared()'s date; a
    // location not tried yet gets 0.
    static void alignRetryIntervalWithRetryInfo(BLSRetryInfo& retryInfo, const std::optional<Date>& lastPrimaryAttempt,
                                                const std::optional<Date>& lastSecondaryAttempt);
};
