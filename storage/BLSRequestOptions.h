#pragma once
// Options of one storage operation. Every value remembers whether it was set
// explicitly, so a call's options and a client's defaults combine value by
// value.

#include "storage/BLSEnums.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

namespace platform {
class RunLoop;
}

class BLSRequestOptions {
public:
    using Date = std::chrono::system_clock::time_point;

    BLSRequestOptions() = default;
    virtual ~BLSRequestOptions() = default;

    // Where a stream download delivers its data; nullptr for a thread of its own.
    const std::shared_ptr<platform::RunLoop>& runLoopForDownload() const { return mRunLoopForDownload; }
    void setRunLoopForDownload(std::shared_ptr<platform::RunLoop> loop);
    double serverTimeout() const { return mServerTimeout; }
    void setServerTimeout(double seconds);
    std::uint64_t maximumDownloadBufferSize() const { return mMaximumDownloadBufferSize; }
    void setMaximumDownloadBufferSize(std::uint64_t bytes);
    double maximumExecutionTime() const { return mMaximumExecutionTime; }
    void setMaximumExecutionTime(double seconds);
    const std::optional<Date>& operationExpiryTime() const { return mOperationExpiryTime; }
    BLSStorageLocationMode storageLocationMode() const { return mStorageLocationMode; }
    void setStorageLocationMode(BLSStorageLocationMode mode);

    bool runLoopForDownloadSet() const { return mRunLoopForDownloadSet; }
    bool serverTimeoutSet() const { return mServerTimeoutSet; }
    bool maximumDownloadBufferSizeSet() const { return mMaximumDownloadBufferSizeSet; }
    bool maximumExecutionTimeSet() const { return mMaximumExecutionTimeSet; }
    bool storageLocationModeSet() const { return mStorageLocationModeSet; }

    // Takes over the values that `other` set explicitly, then fixes the
    // expiry time at now + maximumExecutionTime. Nothing for nullptr.
    virtual BLSRequestOptions& applyDefaultsFromOptions(const BLSRequestOptions* other);

protected:
    void fixExpiryTime();

private:
    bool mRunLoopForDownloadSet = false;
    bool mServerTimeoutSet = false;
    bool mMaximumDownloadBufferSizeSet = false;
    bool mMaximumExecutionTimeSet = false;
    bool mStorageLocationModeSet = false;
    std::shared_ptr<platform::RunLoop> mRunLoopForDownload;
    double mServerTimeout = 30.0;
    std::uint64_t mMaximumDownloadBufferSize = 1048576;
    double mMaximumExecutionTime = 600.0;
    std::optional<Date> mOperationExpiryTime;
    BLSStorageLocationMode mStorageLocationMode = BLSStorageLocationModePrimaryOnly;
};

class BLSBlobRequestOptions : public BLSRequestOptions {
public:
    bool useTransactionalMD5() const { return mUseTransactionalMD5; }
    void setUseTransactionalMD5(bool value);
    bool storeBlobContentMD5() const { return mStoreBlobContentMD5; }
    void setStoreBlobContentMD5(bool value);
    bool disableContentMD5Validation() const { return mDisableContentMD5Validation; }
    void setDisableContentMD5Validation(bool value);
    bool absorbConditionalErrorsOnRetry() const { return mAbsorbConditionalErrorsOnRetry; }
    void setAbsorbConditionalErrorsOnRetry(bool value);
    std::int64_t parallelismFactor() const { return mParallelismFactor; }
    void setParallelismFactor(std::int64_t value);

    bool useTransactionalMD5Set() const { return mUseTransactionalMD5Set; }
    bool storeBlobContentMD5Set() const { return mStoreBlobContentMD5Set; }
    bool disableContentMD5ValidationSet() const { return mDisableContentMD5ValidationSet; }
    bool parallelismFactorSet() const { return mParallelismFactorSet; }
    bool absorbConditionalErrorsOnRetrySet() const { return mAbsorbConditionalErrorsOnRetrySet; }

    // Blob values are taken over only from other blob options.
    BLSRequestOptions& applyDefaultsFromOptions(const BLSRequestOptions* other) override;

    // New defaults (no expiry time) for nullptr, else a copy: new options
    // with the receiver's explicitly set values and a fresh expiry time.
    std::shared_ptr<BLSBlobRequestOptions> copy() const;
    static std::shared_ptr<BLSBlobRequestOptions> copyOptions(const BLSBlobRequestOptions* options);

    // The options one operation runs under: the values the caller set win,
    // the client's defaults fill only what the caller left unset, and the
    // expiry time is fixed when either is given.
    static std::shared_ptr<BLSBlobRequestOptions> combine(const BLSBlobRequestOptions* callOptions,
                                                          const BLSBlobRequestOptions* clientDefaults);

private:
    bool mUseTransactionalMD5Set = false;
    bool mStoreBlobContentMD5Set = false;
    bool mDisableContentMD5ValidationSet = false;
    bool mParallelismFactorSet = false;
    bool mAbsorbConditionalErrorsOnRetrySet = false;
    bool mUseTransactionalMD5 = false;
    bool mStoreBlobContentMD5 = false;
    bool mDisableContentMD5Validation = false;
    bool mAbsorbConditionalErrorsOnRetry = false;
    std::int64_t mParallelismFactor = 3;
};
