#include "storage/BLSRetryPolicy.h"

#include "platform/dispatch/Clock.h"
#include "storage/BLSRequestResult.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace {

std::uint32_t systemRandom() {
    thread_local std::mt19937 generator = [] {
        std::random_device device;
        std::seed_seq seed{device(), device(), device(), device(), device(), device(), device(), device()};
        return std::mt19937(seed);
    }();
    return static_cast<std::uint32_t>(generator());
}

// The longest and the shortest exponential wait, in seconds.
constexpr double kMaxBackoff = 120.0;
constexpr double kMinBackoff = 0.5;

}  // namespace

// ---------------------------------------------------------------------------
// Shared rules

BLSRetryInfo BLSRetryPolicyUtil::evaluateRetryContext(const BLSRetryContext& retryContext, long maxAttempts,
                                                      std::optional<Date>& lastPrimaryAttempt,
                                                      std::optional<Date>& lastSecondaryAttempt) {
    // Compared as signed numbers: a limit of 0 or below must not wrap round
    // into an endless retry.
    if (maxAttempts <= 1 || retryContext.currentRetryCount() >= maxAttempts) {
        return BLSRetryInfo::makeDontRetry();
    }

    const auto& lastResult = retryContext.lastRequestResult();
    int statusCode = 0;
    BLSStorageLocation failedLocation = BLSStorageLocationPrimary;
    if (lastResult) {
        failedLocation = lastResult->targetLocation();
        if (failedLocation == BLSStorageLocationPrimary) {
            lastPrimaryAttempt = lastResult->endTime();
        } else if (failedLocation == BLSStorageLocationSecondary) {
            lastSecondaryAttempt = lastResult->endTime();
        }
        if (lastResult->response()) {
            statusCode = lastResult->response()->statusCode;
        }
    }

    const bool secondaryNotFound = statusCode == 404 && lastResult && failedLocation == BLSStorageLocationSecondary;
    if (statusCode == 501 || statusCode == 505) {
        return BLSRetryInfo::makeDontRetry();
    }
    if (statusCode >= 300 && statusCode <= 499 && statusCode != 408 && !secondaryNotFound) {
        return BLSRetryInfo::makeDontRetry();
    }

    BLSRetryInfo info(retryContext);
    // The secondary may lag behind the primary: a resource it lacks may
    // well exist at the primary.
    if (secondaryNotFound && retryContext.currentLocationMode() != BLSStorageLocationModeSecondaryOnly) {
        info.targetLocation = BLSStorageLocationPrimary;
        info.updatedLocationMode = BLSStorageLocationModePrimaryOnly;
    }
    return info;
}

void BLSRetryPolicyUtil::alignRetryIntervalWithRetryInfo(BLSRetryInfo& retryInfo,
                                                         const std::optional<Date>& lastPrimaryAttempt,
                                                         const std::optional<Date>& lastSecondaryAttempt) {
    std::optional<Date> last;
    if (retryInfo.targetLocation == BLSStorageLocationPrimary) {
        last = lastPrimaryAttempt;
    } else if (retryInfo.targetLocation == BLSStorageLocationSecondary) {
        last = lastSecondaryAttempt;
    }
    if (!last) {
        retryInfo.retryInterval = 0.0;
        return;
    }
    const double elapsed = std::chrono::duration<double>(platform::Clock::shared()->now() - *last).count();
    retryInfo.retryInterval = std::max(0.0, retryInfo.retryInterval - elapsed);
}

// ---------------------------------------------------------------------------
// No retry

BLSRetryInfo BLSRetryPolicyNoRetry::evaluateRetryContext(const BLSRetryContext&, BLSOperationContext&) {
    return BLSRetryInfo::makeDontRetry();
}

std::shared_ptr<BLSRetryPolicy> BLSRetryPolicyNoRetry::clone() const {
    return std::make_shared<BLSRetryPolicyNoRetry>();
}

// ---------------------------------------------------------------------------
// Linear

BLSRetryInfo BLSRetryPolicyLinear::evaluateRetryContext(const BLSRetryContext& retryContext, BLSOperationContext&) {
    BLSRetryInfo info = BLSRetryPolicyUtil::evaluateRetryContext(retryContext, mMaxAttempts, mLastPrimaryAttempt,
                                                                 mLastSecondaryAttempt);
    if (info.shouldRetry) {
        info.retryInterval = mWaitTimeBetweenRetries;
        BLSRetryPolicyUtil::alignRetryIntervalWithRetryInfo(info, mLastPrimaryAttempt, mLastSecondaryAttempt);
    }
    return info;
}

std::shared_ptr<BLSRetryPolicy> BLSRetryPolicyLinear::clone() const {
    return std::make_shared<BLSRetryPolicyLinear>(mMaxAttempts, mWaitTimeBetweenRetries);
}

// ---------------------------------------------------------------------------
// Exponential

BLSRetryPolicyExponential::BLSRetryPolicyExponential(long maxAttempts, double averageBackoffDelta,
                                                     RandomFunction random)
    : mMaxAttempts(maxAttempts), mAverageBackoffDelta(averageBackoffDelta), mRandom(std::move(random)) {
    if (!mRandom) {
        mRandom = systemRandom;
    }
}

BLSRetryInfo BLSRetryPolicyExponential::evaluateRetryContext(const BLSRetryContext& retryContext,
                                                             BLSOperationContext&) {
    BLSRetryInfo info = BLSRetryPolicyUtil::evaluateRetryContext(retryContext, mMaxAttempts, mLastPrimaryAttempt,
                                                                 mLastSecondaryAttempt);
    if (!info.shouldRetry) {
        return info;
    }
    const double delta = mAverageBackoffDelta;
    const double unit = static_cast<double>(mRandom()) / 4294967296.0;  // [0, 1)
    const double jittered = 0.8 * delta + unit * (1.2 * delta - 0.8 * delta);

    const long n = retryContext.currentRetryCount();
    double factor;
    if (n >= 0 && n <= 29) {
        factor = static_cast<double>((std::int32_t{1} << n) - 1);
    } else {
        factor = std::pow(2.0, static_cast<double>(n)) - 1.0;
    }
    double interval = factor * jittered;
    if (!(interval >= 0.0)) {  // negative, or not a number
        interval = kMaxBackoff;
    }
    interval = std::clamp(interval, kMinBackoff, kMaxBackoff);
    info.retryInterval = interval;
    BLSRetryPolicyUtil::alignRetryIntervalWithRetryInfo(info, mLastPrimaryAttempt, mLastSecondaryAttempt);
    return info;
}

std::shared_ptr<BLSRetryPolicy> BLSRetryPolicyExponential::clone() const {
    return std::make_shared<BLSRetryPolicyExponential>(mMaxAttempts, mAverageBackoffDelta, mRandom);
}
