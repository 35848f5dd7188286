#include "storage/BLSRequestOptions.h"

#include "platform/dispatch/Clock.h"

#include <chrono>
#include <cmath>

void BLSRequestOptions::setRunLoopForDownload(std::shared_ptr<platform::RunLoop> loop) {
    mRunLoopForDownload = std::move(loop);
    mRunLoopForDownloadSet = true;
}

void BLSRequestOptions::setServerTimeout(double seconds) {
    mServerTimeout = seconds;
    mServerTimeoutSet = true;
}

void BLSRequestOptions::setMaximumDownloadBufferSize(std::uint64_t bytes) {
    mMaximumDownloadBufferSize = bytes;
    mMaximumDownloadBufferSizeSet = true;
}

void BLSRequestOptions::setMaximumExecutionTime(double seconds) {
    mMaximumExecutionTime = seconds;
    mMaximumExecutionTimeSet = true;
}

void BLSRequestOptions::setStorageLocationMode(BLSStorageLocationMode mode) {
    mStorageLocationMode = mode;
    mStorageLocationModeSet = true;
}

BLSRequestOptions& BLSRequestOptions::applyDefaultsFromOptions(const BLSRequestOptions* other) {
    if (other == nullptr) {
        return *this;
    }
    if (other->mRunLoopForDownloadSet) {
        setRunLoopForDownload(other->mRunLoopForDownload);
    }
    if (other->mServerTimeoutSet) {
        setServerTimeout(other->mServerTimeout);
    }
    if (other->mMaximumDownloadBufferSizeSet) {
        setMaximumDownloadBufferSize(other->mMaximumDownloadBufferSize);
    }
    if (other->mMaximumExecutionTimeSet) {
        setMaximumExecutionTime(other->mMaximumExecutionTime);
    }
    if (other->mStorageLocationModeSet) {
        setStorageLocationMode(other->mStorageLocationMode);
    }
    fixExpiryTime();
    return *this;
}

void BLSRequestOptions::fixExpiryTime() {
    const Date now = platform::Clock::shared()->now();
    const double budget = mMaximumExecutionTime;
    if (std::isnan(budget)) {
        mOperationExpiryTime = now;
        return;
    }
    // Any sensible budget (up to some 30 years either way) is added exactly.
    constexpr double kExactLimit = 1e9;
    if (budget >= -kExactLimit && budget <= kExactLimit) {
        mOperationExpiryTime = now + std::chrono::duration_cast<Date::duration>(std::chrono::duration<double>(budget));
        return;
    }
    // Beyond that, floating point keeps the sum from overflowing the clock's
    // 64-bit range; it saturates at the clock's ends.
    using Ticks = std::chrono::duration<double, Date::period>;
    constexpr double kClockLimit = 9.2e18;
    const double ticks = static_cast<double>(now.time_since_epoch().count()) +
                         std::chrono::duration_cast<Ticks>(std::chrono::duration<double>(budget)).count();
    if (ticks >= kClockLimit) {
        mOperationExpiryTime = Date::max();
    } else if (ticks <= -kClockLimit) {
        mOperationExpiryTime = Date::min();
    } else {
        mOperationExpiryTime = Date(Date::duration(static_cast<Date::rep>(ticks)));
    }
}

void BLSBlobRequestOptions::setUseTransactionalMD5(bool value) {
    mUseTransactionalMD5 = value;
    mUseTransactionalMD5Set = true;
}

void BLSBlobRequestOptions::setStoreBlobContentMD5(bool value) {
    mStoreBlobContentMD5 = value;
    mStoreBlobContentMD5Set = true;
}

void BLSBlobRequestOptions::setDisableContentMD5Validation(bool value) {
    mDisableContentMD5Validation = value;
    mDisableContentMD5ValidationSet = true;
}

void BLSBlobRequestOptions::setAbsorbConditionalErrorsOnRetry(bool value) {
    mAbsorbConditionalErrorsOnRetry = value;
    mAbsorbConditionalErrorsOnRetrySet = true;
}

void BLSBlobRequestOptions::setParallelismFactor(std::int64_t value) {
    mParallelismFactor = value;
    mParallelismFactorSet = true;
}

BLSRequestOptions& BLSBlobRequestOptions::applyDefaultsFromOptions(const BLSRequestOptions* other) {
    BLSRequestOptions::applyDefaultsFromOptions(other);
    const auto* blob = dynamic_cast<const BLSBlobRequestOptions*>(other);
    if (blob == nullptr) {
        return *this;
    }
    if (blob->mUseTransactionalMD5Set) {
        setUseTransactionalMD5(blob->mUseTransactionalMD5);
    }
    if (blob->mStoreBlobContentMD5Set) {
        setStoreBlobContentMD5(blob->mStoreBlobContentMD5);
    }
    if (blob->mDisableContentMD5ValidationSet) {
        setDisableContentMD5Validation(blob->mDisableContentMD5Validation);
    }
    if (blob->mParallelismFactorSet) {
        setParallelismFactor(blob->mParallelismFactor);
    }
    if (blob->mAbsorbConditionalErrorsOnRetrySet) {
        setAbsorbConditionalErrorsOnRetry(blob->mAbsorbConditionalErrorsOnRetry);
    }
    return *this;
}

std::shared_ptr<BLSBlobRequestOptions> BLSBlobRequestOptions::copy() const {
    auto result = std::make_shared<BLSBlobRequestOptions>();
    result->applyDefaultsFromOptions(this);
    return result;
}

std::shared_ptr<BLSBlobRequestOptions> BLSBlobRequestOptions::copyOptions(const BLSBlobRequestOptions* options) {
    return options == nullptr ? std::make_shared<BLSBlobRequestOptions>() : options->copy();
}

std::shared_ptr<BLSBlobRequestOptions> BLSBlobRequestOptions::combine(const BLSBlobRequestOptions* callOptions,
                                                                      const BLSBlobRequestOptions* clientDefaults) {
    // Layered: the client's defaults first, then the call's own values on
    // top. Each non-null layer refixes the expiry time, so the last one uses
    // the final maximumExecutionTime.
    auto result = std::make_shared<BLSBlobRequestOptions>();
    result->applyDefaultsFromOptions(clientDefaults);
    result->applyDefaultsFromOptions(callOptions);
    return result;
}
