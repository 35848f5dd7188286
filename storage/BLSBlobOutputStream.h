#pragma once
// Writes a blob through the output-stream interface: open, write whenever
// the stream reports space, close. Behind it a BLSBlobUploadHelper cuts the
// bytes into 4 MiB chunks and uploads them; close blocks until every chunk
// is uploaded and the blob committed (block list, or content MD5 for page
// and append blobs).
//
// Events go to the delegate on every run loop the stream is scheduled on:
// OpenCompleted once after a successful open, HasSpaceAvailable whenever
// the helper has a free upload slot and the caller has written since the
// last one, ErrorOccurred once after the first failure. A stream scheduled
// on no run loop delivers no events; writes still go through.
//
// The stream's own bookkeeping is streamStatus() and streamError(); the
// base class's status() follows it (Open, AtEnd while closing, Closed,
// Error once the failure has been announced).
//
// Threads: open, write and close on the caller's thread; upload completions
// arrive on the executor's queues and only signal the event source; events
// run on the scheduled loops' threads.

#include "platform/foundation/Error.h"
#include "platform/foundation/Stream.h"
#include "storage/BLSAccessCondition.h"

#include <any>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace platform {
class RunLoop;
}
class BLSBlobRequestOptions;
class BLSBlobUploadHelper;
class BLSCloudAppendBlob;
class BLSCloudBlockBlob;
class BLSCloudPageBlob;
class BLSOperationContext;

class BLSBlobOutputStream : public platform::OutputStream {
    struct Key {};

public:
    // The upload helper of the matching kind with the same arguments
    // (BLSBlobUploadHelper::makeTo...), without a completion. The options
    // are used as given; the blob classes' createOutputStream merge them
    // with the client's defaults first. A null context means a new one.
    static std::shared_ptr<BLSBlobOutputStream> makeToBlockBlob(std::shared_ptr<BLSCloudBlockBlob> blob,
                                                                const BLSAccessCondition* accessCondition,
                                                                std::shared_ptr<BLSBlobRequestOptions> requestOptions,
                                                                std::shared_ptr<BLSOperationContext> operationContext);
    // With a total size the page blob is created on open; without one the
    // stream writes into the existing blob from offset 0.
    static std::shared_ptr<BLSBlobOutputStream> makeToPageBlob(std::shared_ptr<BLSCloudPageBlob> blob,
                                                               std::optional<std::uint64_t> totalBlobSize,
                                                               std::optional<std::int64_t> initialSequenceNumber,
                                                               const BLSAccessCondition* accessCondition,
                                                               std::shared_ptr<BLSBlobRequestOptions> requestOptions,
                                                               std::shared_ptr<BLSOperationContext> operationContext);
    static std::shared_ptr<BLSBlobOutputStream> makeToAppendBlob(std::shared_ptr<BLSCloudAppendBlob> blob,
                                                                 bool createNew,
                                                                 const BLSAccessCondition* accessCondition,
                                                                 std::shared_ptr<BLSBlobRequestOptions> requestOptions,
                                                                 std::shared_ptr<BLSOperationContext> operationContext);

    // A blob stream never writes to memory or a file.
    static std::shared_ptr<OutputStream> toMemory() = delete;
    static std::shared_ptr<OutputStream> toFile(std::filesystem::path, bool) = delete;

    BLSBlobOutputStream(Key, std::shared_ptr<BLSOperationContext> operationContext);
    ~BLSBlobOutputStream() override;

    // Opens the helper (creating the blob when asked to); blocks until it
    // answered. A failed open leaves the stream not open: writes return 0.
    void open() override;
    // -1 after a failure, 0 when not open (also after close), else every
    // byte (blocking while all upload slots are busy).
    long write(const std::uint8_t* bytes, std::size_t length) override;
    // Uploads the rest, waits for every upload and commits; returns when
    // done. Read streamError() for the outcome.
    void close() override;
    // Always false: space is reported only by the HasSpaceAvailable event.
    bool hasSpaceAvailable() const override { return false; }

    // Error, Closed, AtEnd (closing), Writing (chunks unfinished), Open or
    // NotOpen, first match wins.
    platform::StreamStatus streamStatus() const;
    // The helper's first failure.
    std::optional<platform::Error> streamError() const;

    // Events from now on also go to `runLoop` (remembered once; a stream
    // may be scheduled on several loops). Scheduling through the base
    // class's interface works too, for its one loop.
    void scheduleInRunLoop(std::shared_ptr<platform::RunLoop> runLoop);
    void removeFromRunLoop(const std::shared_ptr<platform::RunLoop>& runLoop);

    // Stream properties are not supported: nothing / false (logged).
    std::optional<std::any> propertyForKey(const std::string& key) const;
    bool setProperty(const std::any& property, const std::string& key);

    // Signals the event source: the perform routine runs on every scheduled
    // loop and delivers the events that are due.
    void fireStreamEvent();

    const std::shared_ptr<BLSBlobUploadHelper>& blobUploadHelper() const { return mBlobUploadHelper; }

protected:
    // Scheduling announces nothing by itself; the next fireStreamEvent does.
    void announcePendingEvents() override {}

private:
    static std::shared_ptr<BLSBlobOutputStream> makeWithAccessCondition(
        std::shared_ptr<BLSOperationContext> operationContext);
    void performRoutine();
    void log(const std::string& message) const;

    mutable std::mutex mMutex;  // the flags and the loop list
    bool mOpenRequested = false;
    bool mIsStreamOpen = false;
    bool mIsStreamClosing = false;
    bool mIsStreamClosed = false;
    bool mWaitingOnCaller = false;
    bool mHasStreamOpenEventFired = false;
    bool mHasStreamErrorEventFired = false;
    std::vector<std::shared_ptr<platform::RunLoop>> mRunLoopsRegistered;
    std::shared_ptr<BLSOperationContext> mOperationContext;
    std::shared_ptr<BLSBlobUploadHelper> mBlobUploadHelper;
};
