#pragma once
// Turns a stream of bytes of unknown length into service calls: written
// bytes are collected into chunks of 4 MiB, each chunk is uploaded as a
// block (block blob), a page range (page blob) or an appended block (append
// blob), with a bounded number of uploads in flight; close commits the
// block list (block blobs) or stores the content MD5 (page and append
// blobs). Serves the blob output stream and whole-stream uploads; for the
// latter it is the input stream's delegate.
//
// Outcome: the first failure is kept as streamingError(). After a failure
// writes return -1, no more is read from an input stream, and close neither
// uploads the bytes still buffered nor commits anything, so a failed upload
// never replaces the blob's committed content with a partial one.
//
// Memory: one filling chunk plus at most maxOpenUploads() chunks in flight;
// block blobs also keep the memory of one finished chunk for the next.
//
// Threads: writers call write()/close() (one writer at a time); upload
// completions arrive on the executor's queues. close() blocks its thread
// until every upload it waits for has reported and the commit has answered.
// The helper must be owned by a shared_ptr (makeTo... give one).

#include "platform/foundation/Error.h"
#include "platform/foundation/Stream.h"
#include "storage/BLSAccessCondition.h"
#include "storage/BLSEnums.h"
#include "storage/BLSListResponses.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace platform {
class RunLoop;
}
namespace platform::security {
class Md5;
}
class BLSBlobRequestOptions;
class BLSCloudAppendBlob;
class BLSCloudBlob;
class BLSCloudBlockBlob;
class BLSCloudPageBlob;
class BLSOperationContext;

class BLSBlobUploadHelper : public platform::StreamDelegate, public std::enable_shared_from_this<BLSBlobUploadHelper> {
    struct Key {};

public:
    using ErrorOut = std::optional<platform::Error>;
    // The end of the whole upload (input-stream uploads): the first failure
    // or nullopt.
    using Completion = std::function<void(const ErrorOut& error)>;
    using OpenCompletion = std::function<void(bool success)>;
    // Called once when a chunk upload started by this call has finished
    // (successfully or not); may be empty.
    using ChunkCompletion = std::function<void()>;
    // Makes the helper of one stream upload, given the completion it must
    // report its end to.
    using HelperFactory = std::function<std::shared_ptr<BLSBlobUploadHelper>(Completion helperCompletion)>;

    static constexpr std::size_t kChunkSize = 4194304;  // 4 MiB

    // Block blob: nothing is created on open; close commits the blocks.
    // Null options mean defaults; a null context means a new one; a null
    // access condition means none. The options are used as given (merge
    // them with the client's defaults first).
    static std::shared_ptr<BLSBlobUploadHelper> makeToBlockBlob(std::shared_ptr<BLSCloudBlockBlob> blob,
                                                                const BLSAccessCondition* accessCondition,
                                                                std::shared_ptr<BLSBlobRequestOptions> requestOptions,
                                                                std::shared_ptr<BLSOperationContext> operationContext,
                                                                Completion completionHandler);
    // Page blob: with a total size the blob is created on open
    // (createWithSize with that size and sequence number); without one the
    // pages are written into the existing blob from offset 0.
    static std::shared_ptr<BLSBlobUploadHelper> makeToPageBlob(std::shared_ptr<BLSCloudPageBlob> blob,
                                                               std::optional<std::uint64_t> totalBlobSize,
                                                               std::optional<std::int64_t> initialSequenceNumber,
                                                               const BLSAccessCondition* accessCondition,
                                                               std::shared_ptr<BLSBlobRequestOptions> requestOptions,
                                                               std::shared_ptr<BLSOperationContext> operationContext,
                                                               Completion completionHandler);
    // Append blob: one upload in flight at a time; with `createNew` the
    // blob is created on open. Every append carries the condition's
    // appendPosition set to the chunk's start; a chunk that would take the
    // blob past the condition's maxSize fails the upload with code 8
    // (nothing sent).
    static std::shared_ptr<BLSBlobUploadHelper> makeToAppendBlob(std::shared_ptr<BLSCloudAppendBlob> blob,
                                                                 bool createNew,
                                                                 const BLSAccessCondition* accessCondition,
                                                                 std::shared_ptr<BLSBlobRequestOptions> requestOptions,
                                                                 std::shared_ptr<BLSOperationContext> operationContext,
                                                                 Completion completionHandler);

    BLSBlobUploadHelper(Key);
    ~BLSBlobUploadHelper() override;

    // Creates the blob when asked to; `completionHandler` gets false (with
    // streamingError() set) when that failed. Without creation it answers
    // true at once, on the calling thread.
    void openWithCompletionHandler(OpenCompletion completionHandler);

    // Takes all `length` bytes (blocking while every upload slot is busy)
    // and returns `length`, or -1 after a failure (also one that comes
    // while the bytes are taken). Each full chunk is uploaded with
    // `completionHandler`.
    long write(const std::uint8_t* bytes, std::size_t length, ChunkCompletion completionHandler);
    // True while fewer than maxOpenUploads() uploads are unfinished and
    // nothing failed; false for an unknown blob type.
    bool hasSpaceAvailable() const;
    // Uploads the bytes collected so far as one chunk; returns true.
    bool uploadBufferWithCompletionHandler(ChunkCompletion completionHandler);
    // Every started chunk upload has finished.
    bool allDataUploaded() const;
    // Uploads the last partial chunk, waits for every upload, then commits
    // the block list / stores the content MD5 — all skipped after a failure.
    // `completionHandler` runs when the last chunk's upload has finished
    // (not at all when there is no last chunk). While it waits, the calling
    // thread's run loop runs. Returns false only for an unknown blob type;
    // read streamingError() for the outcome. A second close does nothing;
    // writes after close take nothing (0).
    bool closeWithCompletionHandler(ChunkCompletion completionHandler);

    // The first failure, or nullopt.
    ErrorOut streamingError() const;
    BLSBlobType blobType() const { return mBlobType; }
    std::size_t maxOpenUploads() const { return mMaxOpenUploads; }
    const std::shared_ptr<BLSOperationContext>& operationContext() const { return mOperationContext; }
    // The committed order of the blocks so far (block blobs).
    std::vector<BLSBlockListItem> blockIDs() const;

    // Input-stream pump. The helper reads the stream on the run loop it was
    // scheduled on (runUploadFromStream sets that up), straight into the
    // filling chunk, and goes on filling it while every slot is busy; a
    // full chunk waits for a slot. An upload that frees a slot while the
    // pump waits calls writeFromStreamCallbackWithStream, which resumes the
    // pump there.
    void writeFromStreamCallbackWithStream(platform::InputStream& stream);
    void handleEvent(platform::Stream& stream, platform::StreamEvent event) override;

    // A whole-stream upload on the calling thread, returning when it ended:
    // makes the helper with `makeHelper`, makes it the stream's delegate,
    // schedules the stream on the thread's run loop, opens it and serves it
    // in 0.1 s slices until the helper reports its end; then the stream is
    // closed and unscheduled and `completionHandler` (may be empty) gets the
    // outcome, exactly once, on this thread. A null stream or a factory that
    // gives no helper is reported as error code 1.
    static void runUploadFromStream(std::shared_ptr<platform::InputStream> sourceStream, HelperFactory makeHelper,
                                    Completion completionHandler);
    // The same on a new detached thread; returns at once.
    static void uploadFromStreamOnNewThread(std::shared_ptr<platform::InputStream> sourceStream,
                                            HelperFactory makeHelper, Completion completionHandler);

    // A new block ID: base64 of "blockid" and a fresh UUID's 32 lower-case
    // hex digits (52 characters).
    static std::string makeBlockID();

private:
    static std::shared_ptr<BLSBlobUploadHelper> makeCommon(std::shared_ptr<BLSCloudBlob> blob, BLSBlobType type,
                                                           const BLSAccessCondition* accessCondition,
                                                           std::shared_ptr<BLSBlobRequestOptions> requestOptions,
                                                           std::shared_ptr<BLSOperationContext> operationContext,
                                                           Completion completionHandler);
    void setStreamingError(const platform::Error& error);  // keeps the first
    bool failed() const;
    // One chunk's upload has ended: count it, free its slot, report.
    void finishChunk(const ErrorOut& error, const ChunkCompletion& completionHandler);
    void acquireSlot();
    void releaseSlot();
    // The filling chunk's free room (making the chunk when there is none):
    // kChunkSize - mDataLength bytes.
    std::uint8_t* chunkRoom();
    // `count` bytes were put at `bytes`, the start of the room.
    void noteFilled(const std::uint8_t* bytes, std::size_t count);
    // The chunk as an unchanging body whose memory comes back for reuse.
    std::shared_ptr<const std::vector<std::uint8_t>> lendChunk(std::vector<std::uint8_t> chunk);
    void uploadBlock(std::vector<std::uint8_t> chunk, ChunkCompletion completionHandler);
    void uploadPages(std::vector<std::uint8_t> chunk, ChunkCompletion completionHandler);
    void appendBlock(std::vector<std::uint8_t> chunk, ChunkCompletion completionHandler);
    // Runs `call` with a completion and waits until that completion came.
    ErrorOut waitFor(const std::function<void(std::function<void(const ErrorOut&)>)>& call);
    // Runs the calling thread's run loop in 0.1 s slices until `done`;
    // wakeWaiter() makes it look again at once.
    void waitUntil(const std::function<bool()>& done);
    void wakeWaiter();
    // Pump steps, on the pump's run loop.
    void pumpBytes(platform::InputStream& stream);
    void postPumpEvent(platform::StreamEvent event);
    void finishStreamUpload(platform::InputStream& stream, ErrorOut error);

    std::unique_ptr<platform::security::Md5> mMd5Context;
    bool mStreamWaiting = false;  // guarded by mUploadLock
    bool mCreateNew = false;
    std::shared_ptr<BLSOperationContext> mOperationContext;
    BLSBlobType mBlobType = BLSBlobTypeUnspecified;
    std::shared_ptr<BLSCloudBlob> mUnderlyingBlob;
    // The filling chunk, writer's thread only: kChunkSize bytes once made,
    // of which the first mDataLength are filled.
    std::vector<std::uint8_t> mDataBuffer;
    std::size_t mDataLength = 0;
    // Block blobs: the memory of one finished chunk, given back by its
    // upload, for the next (so that a chunk is neither allocated afresh nor
    // cleared). Shared with the lent chunks, which hold it weakly.
    struct SpareChunks {
        std::mutex mutex;
        std::vector<std::uint8_t> chunk;
    };
    std::shared_ptr<SpareChunks> mSpareChunks;

    // Guards the counters, the offset, the block list and the error; the
    // slot count is the semaphore of uploads in flight.
    mutable std::mutex mMutex;
    std::condition_variable mChanged;
    std::size_t mOpenSlots = 0;
    std::optional<platform::Error> mStreamingError;
    std::vector<BLSBlockListItem> mBlockIDs;
    std::uint64_t mChunksTotal = 0;
    std::uint64_t mChunksUploaded = 0;
    std::uint64_t mBlobOffset = 0;
    bool mAppendPositionKnown = false;
    std::weak_ptr<platform::RunLoop> mWaitLoop;  // the loop close() runs while it waits

    std::size_t mMaxOpenUploads = 1;
    // The input pump. Recursive: an upload refused on the spot reports on
    // the pump's own thread while the pump holds the lock.
    std::recursive_mutex mUploadLock;
    BLSAccessCondition mAccessCondition;
    std::shared_ptr<BLSBlobRequestOptions> mRequestOptions;
    Completion mCompletionHandler;
    std::optional<std::uint64_t> mTotalPageBlobSize;
    std::optional<std::int64_t> mInitialPageBlobSequenceNumber;

    bool mClosed = false;  // writer's thread only
    // The pump's loop and stream, set when the stream is scheduled.
    std::weak_ptr<platform::RunLoop> mPumpLoop;
    std::weak_ptr<platform::InputStream> mPumpStream;
    bool mPumpFinished = false;  // pump's thread only
};
