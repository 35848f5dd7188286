#include "storage/BLSBlobUploadHelper.h"

#include "platform/dispatch/ThreadStart.h"
#include "platform/foundation/AsciiText.h"
#include "platform/foundation/UUID.h"

#include "platform/dispatch/RunLoop.h"
#include "platform/security/Crypto.h"
#include "storage/BLSCloudAppendBlob.h"
#include "storage/BLSCloudBlockBlob.h"
#include "storage/BLSCloudPageBlob.h"
#include "storage/BLSErrors.h"
#include "storage/BLSOperationContext.h"
#include "storage/BLSRequestOptions.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <exception>
#include <span>
#include <string>
#include <thread>
#include <utility>

namespace {

using ErrorOut = std::optional<platform::Error>;

constexpr auto kRunLoopSlice = std::chrono::milliseconds(100);

// A new UUID's text without its hyphens, lower-cased (32 characters).
std::string lowerHexUUID() {
    std::string text = platform::ascii::lowercased(platform::newUUIDString());
    std::erase(text, '-');
    return text;
}

// A completion that runs at most once, whoever calls it first: the
// operation's own completion, or the catch block when the call threw.
class Once {
public:
    explicit Once(std::function<void(const ErrorOut&)> block) : mBlock(std::move(block)) {}
    void operator()(const ErrorOut& error) {
        if (!mCalled.exchange(true) && mBlock) mBlock(error);
    }

private:
    std::atomic<bool> mCalled{false};
    std::function<void(const ErrorOut&)> mBlock;
};

// Runs `start` with a completion that is called exactly once: when `start`
// throws before its operation answered, the exception becomes the error.
void callGuarded(const std::function<void(std::function<void(const ErrorOut&)>)>& start,
                 std::function<void(const ErrorOut&)> completion) {
    auto once = std::make_shared<Once>(std::move(completion));
    try {
        start([once](const ErrorOut& error) { (*once)(error); });
    } catch (const std::exception& exception) {
        (*once)(BLSMakeInvalidArgumentError(exception.what()));
    } catch (...) {
        (*once)(BLSMakeInvalidArgumentError("The upload request could not be made."));
    }
}

bool isAbsorbableAppendError(const platform::Error& error) {
    const long* status = error.userInfoValue<long>(BLSErrorKey::HTTPStatusCode);
    const std::string* code = error.userInfoValue<std::string>(BLSErrorKey::Code);
    return status != nullptr && *status == 412 && code != nullptr &&
           (*code == "AppendPositionConditionNotMet" || *code == "MaxBlobSizeConditionNotMet");
}

}  // namespace

// Making --------------------------------------------------------------------------

BLSBlobUploadHelper::BLSBlobUploadHelper(Key) {}

BLSBlobUploadHelper::~BLSBlobUploadHelper() = default;

std::shared_ptr<BLSBlobUploadHelper> BLSBlobUploadHelper::makeCommon(
    std::shared_ptr<BLSCloudBlob> blob, BLSBlobType type, const BLSAccessCondition* accessCondition,
    std::shared_ptr<BLSBlobRequestOptions> requestOptions, std::shared_ptr<BLSOperationContext> operationContext,
    Completion completionHandler) {
    auto helper = std::make_shared<BLSBlobUploadHelper>(Key{});
    helper->mOperationContext =
        operationContext ? std::move(operationContext) : std::make_shared<BLSOperationContext>();
    helper->mRequestOptions = requestOptions ? std::move(requestOptions) : std::make_shared<BLSBlobRequestOptions>();
    helper->mAccessCondition = accessCondition ? *accessCondition : BLSAccessCondition();
    helper->mBlobType = type;
    helper->mUnderlyingBlob = std::move(blob);
    helper->mCompletionHandler = std::move(completionHandler);
    // A factor below 1 would leave no slot at all and block the first chunk
    // for ever.
    helper->mMaxOpenUploads =
        static_cast<std::size_t>(std::max<std::int64_t>(1, helper->mRequestOptions->parallelismFactor()));
    if (helper->mRequestOptions->storeBlobContentMD5()) {
        helper->mMd5Context = std::make_unique<platform::security::Md5>();
    }
    helper->mBlockIDs.reserve(10);
    return helper;
}

std::shared_ptr<BLSBlobUploadHelper> BLSBlobUploadHelper::makeToBlockBlob(
    std::shared_ptr<BLSCloudBlockBlob> blob, const BLSAccessCondition* accessCondition,
    std::shared_ptr<BLSBlobRequestOptions> requestOptions, std::shared_ptr<BLSOperationContext> operationContext,
    Completion completionHandler) {
    auto helper = makeCommon(std::move(blob), BLSBlobTypeBlockBlob, accessCondition, std::move(requestOptions),
                             std::move(operationContext), std::move(completionHandler));
    helper->mCreateNew = false;
    helper->mOpenSlots = helper->mMaxOpenUploads;
    helper->mSpareChunks = std::make_shared<SpareChunks>();
    return helper;
}

std::shared_ptr<BLSBlobUploadHelper> BLSBlobUploadHelper::makeToPageBlob(
    std::shared_ptr<BLSCloudPageBlob> blob, std::optional<std::uint64_t> totalBlobSize,
    std::optional<std::int64_t> initialSequenceNumber, const BLSAccessCondition* accessCondition,
    std::shared_ptr<BLSBlobRequestOptions> requestOptions, std::shared_ptr<BLSOperationContext> operationContext,
    Completion completionHandler) {
    auto helper = makeCommon(std::move(blob), BLSBlobTypePageBlob, accessCondition, std::move(requestOptions),
                             std::move(operationContext), std::move(completionHandler));
    if (totalBlobSize) {
        helper->mCreateNew = true;
        helper->mTotalPageBlobSize = totalBlobSize;
        helper->mInitialPageBlobSequenceNumber = initialSequenceNumber;
    }
    helper->mOpenSlots = helper->mMaxOpenUploads;
    return helper;
}

std::shared_ptr<BLSBlobUploadHelper> BLSBlobUploadHelper::makeToAppendBlob(
    std::shared_ptr<BLSCloudAppendBlob> blob, bool createNew, const BLSAccessCondition* accessCondition,
    std::shared_ptr<BLSBlobRequestOptions> requestOptions, std::shared_ptr<BLSOperationContext> operationContext,
    Completion completionHandler) {
    auto helper = makeCommon(std::move(blob), BLSBlobTypeAppendBlob, accessCondition, std::move(requestOptions),
                             std::move(operationContext), std::move(completionHandler));
    // Each append must start at the blob's current end: one at a time.
    helper->mMaxOpenUploads = 1;
    helper->mOpenSlots = 1;
    helper->mCreateNew = createNew;
    // Appends are guarded by their position only where the blob's length is
    // known: the caller's expected length, or 0 for a blob made here. A blob
    // that already holds data takes the blocks at its end unguarded, rather
    // than every block being refused for a position of 0.
    if (const auto& position = helper->mAccessCondition.appendPosition(); position && *position >= 0) {
        helper->mBlobOffset = static_cast<std::uint64_t>(*position);
        helper->mAppendPositionKnown = true;
    } else {
        helper->mAppendPositionKnown = createNew;
    }
    return helper;
}

std::string BLSBlobUploadHelper::makeBlockID() {
    std::string text = "blockid" + lowerHexUUID();
    return platform::security::base64Encode(platform::security::bytesOf(text));
}

// State ----------------------------------------------------------------------------

void BLSBlobUploadHelper::setStreamingError(const platform::Error& error) {
    std::lock_guard lock(mMutex);
    if (!mStreamingError) mStreamingError = error;
}

bool BLSBlobUploadHelper::failed() const {
    std::lock_guard lock(mMutex);
    return mStreamingError.has_value();
}

BLSBlobUploadHelper::ErrorOut BLSBlobUploadHelper::streamingError() const {
    std::lock_guard lock(mMutex);
    return mStreamingError;
}

std::vector<BLSBlockListItem> BLSBlobUploadHelper::blockIDs() const {
    std::lock_guard lock(mMutex);
    return mBlockIDs;
}

bool BLSBlobUploadHelper::hasSpaceAvailable() const {
    if (mBlobType != BLSBlobTypeBlockBlob && mBlobType != BLSBlobTypePageBlob && mBlobType != BLSBlobTypeAppendBlob) {
        return false;
    }
    std::lock_guard lock(mMutex);
    return !mStreamingError && mChunksTotal - mChunksUploaded < mMaxOpenUploads;
}

bool BLSBlobUploadHelper::allDataUploaded() const {
    std::lock_guard lock(mMutex);
    return mChunksTotal == mChunksUploaded;
}

void BLSBlobUploadHelper::acquireSlot() {
    std::unique_lock lock(mMutex);
    mChanged.wait(lock, [this] { return mOpenSlots > 0; });
    --mOpenSlots;
}

void BLSBlobUploadHelper::releaseSlot() {
    {
        std::lock_guard lock(mMutex);
        ++mOpenSlots;
    }
    mChanged.notify_all();
}

void BLSBlobUploadHelper::wakeWaiter() {
    std::shared_ptr<platform::RunLoop> loop;
    {
        std::lock_guard lock(mMutex);
        loop = mWaitLoop.lock();
    }
    if (loop) loop->post([] {});
}

void BLSBlobUploadHelper::waitUntil(const std::function<bool()>& done) {
    auto loop = platform::RunLoop::current();
    {
        std::lock_guard lock(mMutex);
        mWaitLoop = loop;
    }
    // The thread's run loop keeps running while we wait: whatever the
    // caller scheduled on it (stream events, downloads) must not stall.
    while (!done()) loop->runUntil(done, kRunLoopSlice);
    std::lock_guard lock(mMutex);
    mWaitLoop.reset();
}

void BLSBlobUploadHelper::finishChunk(const ErrorOut& error, const ChunkCompletion& completionHandler) {
    if (error) setStreamingError(*error);
    {
        std::lock_guard lock(mMutex);
        ++mChunksUploaded;
    }
    releaseSlot();
    wakeWaiter();
    if (completionHandler) completionHandler();
}

// Open and write ---------------------------------------------------------------------

void BLSBlobUploadHelper::openWithCompletionHandler(OpenCompletion completionHandler) {
    auto answer = [self = shared_from_this(), completionHandler](const ErrorOut& error) {
        if (error) self->setStreamingError(*error);
        if (completionHandler) completionHandler(!error);
    };
    if (!mCreateNew) {
        if (completionHandler) completionHandler(true);
        return;
    }
    if (mBlobType == BLSBlobTypePageBlob) {
        auto blob = std::static_pointer_cast<BLSCloudPageBlob>(mUnderlyingBlob);
        callGuarded(
            [&](std::function<void(const ErrorOut&)> done) {
                blob->createWithSize(mTotalPageBlobSize.value_or(0), mInitialPageBlobSequenceNumber, &mAccessCondition,
                                     mRequestOptions, mOperationContext, std::move(done));
            },
            answer);
    } else if (mBlobType == BLSBlobTypeAppendBlob) {
        auto blob = std::static_pointer_cast<BLSCloudAppendBlob>(mUnderlyingBlob);
        callGuarded(
            [&](std::function<void(const ErrorOut&)> done) {
                blob->createWithAccessCondition(&mAccessCondition, mRequestOptions, mOperationContext, std::move(done));
            },
            answer);
    } else {
        if (completionHandler) completionHandler(true);
    }
}

long BLSBlobUploadHelper::write(const std::uint8_t* bytes, std::size_t length, ChunkCompletion completionHandler) {
    if (failed()) return -1;
    // Bytes taken after close would never be uploaded.
    if (mClosed) return 0;
    if (bytes == nullptr && length > 0) return -1;
    std::size_t taken = 0;
    while (taken < length) {
        const std::size_t piece = std::min(kChunkSize - mDataLength, length - taken);
        std::uint8_t* room = chunkRoom();
        std::memcpy(room, bytes + taken, piece);
        noteFilled(room, piece);
        taken += piece;
        if (mDataLength == kChunkSize) {
            uploadBufferWithCompletionHandler(completionHandler);
            if (failed()) return -1;
        }
    }
    return static_cast<long>(length);
}

std::uint8_t* BLSBlobUploadHelper::chunkRoom() {
    if (mDataBuffer.size() != kChunkSize) {
        std::vector<std::uint8_t> spare;
        if (mSpareChunks) {
            std::lock_guard lock(mSpareChunks->mutex);
            spare = std::exchange(mSpareChunks->chunk, {});
        }
        if (mDataBuffer.empty() && spare.capacity() >= kChunkSize) mDataBuffer = std::move(spare);
        mDataBuffer.resize(kChunkSize);
    }
    return mDataBuffer.data() + mDataLength;
}

void BLSBlobUploadHelper::noteFilled(const std::uint8_t* bytes, std::size_t count) {
    // Digested while the bytes are fresh in the cache, and while earlier
    // chunks are on their way rather than before this one can go.
    if (mMd5Context) mMd5Context->update(std::span<const std::uint8_t>(bytes, count));
    mDataLength += count;
}

std::shared_ptr<const std::vector<std::uint8_t>> BLSBlobUploadHelper::lendChunk(std::vector<std::uint8_t> chunk) {
    // The last holder (the block's upload task, once every attempt has
    // ended) hands the memory back for the next chunk; one is kept.
    std::weak_ptr<SpareChunks> spares = mSpareChunks;
    return std::shared_ptr<const std::vector<std::uint8_t>>(new std::vector<std::uint8_t>(std::move(chunk)),
                                                            [spares](std::vector<std::uint8_t>* lent) {
                                                                std::unique_ptr<std::vector<std::uint8_t>> owned(lent);
                                                                auto keeper = spares.lock();
                                                                if (!keeper || owned->capacity() < kChunkSize) return;
                                                                std::lock_guard lock(keeper->mutex);
                                                                if (keeper->chunk.capacity() < kChunkSize)
                                                                    keeper->chunk = std::move(*owned);
                                                            });
}

bool BLSBlobUploadHelper::uploadBufferWithCompletionHandler(ChunkCompletion completionHandler) {
    mOperationContext->logAtLevel(BLSLogLevelDebug, [size = mDataLength] {
        return "Uploading buffer, buffer size = " + std::to_string(static_cast<long>(size));
    });
    acquireSlot();
    {
        std::lock_guard lock(mMutex);
        ++mChunksTotal;
    }
    // The chunk goes out as it is; the next one starts in other memory.
    std::vector<std::uint8_t> chunk = std::exchange(mDataBuffer, {});
    chunk.resize(mDataLength);
    mDataLength = 0;

    // A failure that came while we waited for the slot: nothing more goes
    // out, but the chunk still counts as settled.
    if (failed()) {
        finishChunk(std::nullopt, completionHandler);
        return true;
    }

    switch (mBlobType) {
        case BLSBlobTypeBlockBlob: uploadBlock(std::move(chunk), std::move(completionHandler)); break;
        case BLSBlobTypePageBlob: uploadPages(std::move(chunk), std::move(completionHandler)); break;
        case BLSBlobTypeAppendBlob: appendBlock(std::move(chunk), std::move(completionHandler)); break;
        default: finishChunk(BLSMakeInvalidArgumentError("Unknown blob type."), completionHandler); break;
    }
    return true;
}

void BLSBlobUploadHelper::uploadBlock(std::vector<std::uint8_t> chunk, ChunkCompletion completionHandler) {
    std::string blockID = makeBlockID();
    {
        std::lock_guard lock(mMutex);
        mBlockIDs.emplace_back(blockID, BLSBlockListModeLatest, static_cast<std::int64_t>(chunk.size()));
    }
    auto blob = std::static_pointer_cast<BLSCloudBlockBlob>(mUnderlyingBlob);
    BLSAccessCondition condition = mAccessCondition;
    callGuarded(
        [&](std::function<void(const ErrorOut&)> done) {
            blob->uploadBlockFromData(lendChunk(std::move(chunk)), blockID, std::nullopt, &condition, mRequestOptions,
                                      mOperationContext, std::move(done));
        },
        [self = shared_from_this(), completionHandler](const ErrorOut& error) {
            self->finishChunk(error, completionHandler);
        });
}

void BLSBlobUploadHelper::uploadPages(std::vector<std::uint8_t> chunk, ChunkCompletion completionHandler) {
    std::uint64_t start = 0;
    {
        std::lock_guard lock(mMutex);
        start = mBlobOffset;
        mBlobOffset += chunk.size();
    }
    auto blob = std::static_pointer_cast<BLSCloudPageBlob>(mUnderlyingBlob);
    BLSAccessCondition condition = mAccessCondition;
    callGuarded(
        [&](std::function<void(const ErrorOut&)> done) {
            blob->uploadPagesWithData(std::move(chunk), start, std::nullopt, &condition, mRequestOptions,
                                      mOperationContext, std::move(done));
        },
        [self = shared_from_this(), completionHandler](const ErrorOut& error) {
            self->finishChunk(error, completionHandler);
        });
}

void BLSBlobUploadHelper::appendBlock(std::vector<std::uint8_t> chunk, ChunkCompletion completionHandler) {
    std::uint64_t start = 0;
    std::uint64_t end = 0;
    {
        std::lock_guard lock(mMutex);
        start = mBlobOffset;
        mBlobOffset += chunk.size();
        end = mBlobOffset;
    }
    const auto& maxSize = mAccessCondition.maxSize();
    if (maxSize && (*maxSize < 0 || static_cast<std::uint64_t>(*maxSize) < end)) {
        // Refused here, nothing sent; the chunk still settles its slot and
        // counters so that close does not wait for it.
        setStreamingError(BLSMakeError(BLSErrorCode::OutputStreamError));
        finishChunk(std::nullopt, completionHandler);
        return;
    }
    BLSAccessCondition condition = mAccessCondition;
    if (mAppendPositionKnown) condition.setAppendPosition(static_cast<std::int64_t>(start));
    const std::size_t resultsBefore = mOperationContext->requestResults().size();
    auto blob = std::static_pointer_cast<BLSCloudAppendBlob>(mUnderlyingBlob);
    callGuarded(
        [&](std::function<void(const ErrorOut&)> done) {
            blob->appendBlockWithData(std::move(chunk), std::nullopt, &condition, mRequestOptions, mOperationContext,
                                      [done = std::move(done)](const ErrorOut& error, const auto&...) { done(error); });
        },
        [self = shared_from_this(), completionHandler, resultsBefore](const ErrorOut& error) {
            ErrorOut kept = error;
            if (error && self->mRequestOptions->absorbConditionalErrorsOnRetry() && isAbsorbableAppendError(*error) &&
                self->mOperationContext->requestResults().size() > resultsBefore + 1) {
                self->mOperationContext->logAtLevel(
                    BLSLogLevelWarning,
                    std::string("Pre-condition failure on a retry is being ignored as the request should have "
                                "succeeded in the first attempt."));
                kept.reset();
            }
            self->finishChunk(kept, completionHandler);
        });
}

// Close -------------------------------------------------------------------------------

BLSBlobUploadHelper::ErrorOut BLSBlobUploadHelper::waitFor(
    const std::function<void(std::function<void(const ErrorOut&)>)>& call) {
    struct Answer {
        std::mutex mutex;
        bool done = false;
        ErrorOut error;
    };
    auto answer = std::make_shared<Answer>();
    callGuarded(call, [self = shared_from_this(), answer](const ErrorOut& error) {
        {
            std::lock_guard lock(answer->mutex);
            answer->error = error;
            answer->done = true;
        }
        self->wakeWaiter();
    });
    waitUntil([answer] {
        std::lock_guard lock(answer->mutex);
        return answer->done;
    });
    std::lock_guard lock(answer->mutex);
    return answer->error;
}

bool BLSBlobUploadHelper::closeWithCompletionHandler(ChunkCompletion completionHandler) {
    if (mClosed) return true;
    mClosed = true;

    // After a failure the buffered rest is dropped: committing what came
    // before it would replace the blob with a truncated one.
    if (!failed() && mDataLength > 0) uploadBufferWithCompletionHandler(std::move(completionHandler));

    waitUntil([this] { return allDataUploaded(); });

    if (failed()) return true;

    if (mMd5Context) {
        auto digest = mMd5Context->finish();
        mMd5Context.reset();
        mUnderlyingBlob->properties().contentMD5 = platform::security::base64Encode(digest);
    }

    ErrorOut commitError;
    switch (mBlobType) {
        case BLSBlobTypeBlockBlob: {
            auto blob = std::static_pointer_cast<BLSCloudBlockBlob>(mUnderlyingBlob);
            auto blocks = blockIDs();
            commitError = waitFor([&](std::function<void(const ErrorOut&)> done) {
                blob->uploadBlockListFromArray(std::move(blocks), &mAccessCondition, mRequestOptions, mOperationContext,
                                               std::move(done));
            });
            break;
        }
        case BLSBlobTypePageBlob:
        case BLSBlobTypeAppendBlob:
            if (mRequestOptions->storeBlobContentMD5()) {
                commitError = waitFor([&](std::function<void(const ErrorOut&)> done) {
                    mUnderlyingBlob->uploadPropertiesWithAccessCondition(&mAccessCondition, mRequestOptions,
                                                                         mOperationContext, std::move(done));
                });
            }
            break;
        default: return false;
    }
    if (commitError) setStreamingError(*commitError);
    return true;
}

// Input-stream pump ----------------------------------------------------------------------

void BLSBlobUploadHelper::postPumpEvent(platform::StreamEvent event) {
    auto loop = mPumpLoop.lock();
    if (!loop) return;
    loop->post([self = shared_from_this(), weakStream = mPumpStream, event] {
        if (auto stream = weakStream.lock()) self->handleEvent(*stream, event);
    });
}

void BLSBlobUploadHelper::writeFromStreamCallbackWithStream(platform::InputStream& stream) {
    (void)stream;
    std::lock_guard lock(mUploadLock);
    // A failure also resumes the pump: it must end the upload, not wait for
    // a slot that will never be offered.
    if (mStreamWaiting && (hasSpaceAvailable() || failed())) {
        mStreamWaiting = false;
        postPumpEvent(platform::StreamEvent::HasBytesAvailable);
    }
}

void BLSBlobUploadHelper::pumpBytes(platform::InputStream& stream) {
    std::size_t readThisTurn = 0;
    for (;;) {
        long count = 0;
        {
            std::lock_guard lock(mUploadLock);
            if (mPumpFinished) return;
            if (mDataLength == kChunkSize && !failed()) {
                // A full chunk waits for a slot; the pump goes on when one frees.
                if (!hasSpaceAvailable()) {
                    mStreamWaiting = true;
                    mOperationContext->logAtLevel(BLSLogLevelDebug, "Waiting for an upload slot.");
                    return;
                }
                std::weak_ptr<BLSBlobUploadHelper> weakSelf = weak_from_this();
                std::weak_ptr<platform::InputStream> weakStream = mPumpStream;
                uploadBufferWithCompletionHandler([weakSelf, weakStream] {
                    auto self = weakSelf.lock();
                    auto source = weakStream.lock();
                    if (self && source) self->writeFromStreamCallbackWithStream(*source);
                });
            }
            if (failed()) {
                count = -2;
            } else {
                // Straight into the chunk, also while earlier chunks are in
                // flight: the next one is ready when a slot frees.
                std::uint8_t* room = chunkRoom();
                count = stream.read(room, kChunkSize - mDataLength);
                if (count > 0) noteFilled(room, static_cast<std::size_t>(count));
            }
        }
        if (count == -2) {
            finishStreamUpload(stream, std::nullopt);
            return;
        }
        if (count == 0) {
            handleEvent(stream, platform::StreamEvent::EndEncountered);
            return;
        }
        if (count < 0) {
            handleEvent(stream, platform::StreamEvent::ErrorOccurred);
            return;
        }
        // Give the run loop a turn now and then.
        readThisTurn += static_cast<std::size_t>(count);
        if (readThisTurn >= kChunkSize) {
            postPumpEvent(platform::StreamEvent::HasBytesAvailable);
            return;
        }
    }
}

void BLSBlobUploadHelper::handleEvent(platform::Stream& stream, platform::StreamEvent event) {
    auto* input = dynamic_cast<platform::InputStream*>(&stream);
    if (input == nullptr) return;
    switch (event) {
        case platform::StreamEvent::OpenCompleted:
        case platform::StreamEvent::HasBytesAvailable:
            if (input->status() == platform::StreamStatus::Error) {
                handleEvent(stream, platform::StreamEvent::ErrorOccurred);
            } else {
                pumpBytes(*input);
            }
            break;
        case platform::StreamEvent::EndEncountered: finishStreamUpload(*input, std::nullopt); break;
        case platform::StreamEvent::ErrorOccurred: {
            if (mPumpFinished) break;
            platform::Error streamError = input->streamError()
                                              ? *input->streamError()
                                              : BLSMakeInvalidArgumentError("The source stream could not be read.");
            mOperationContext->logAtLevel(BLSLogLevelError, [&streamError] {
                return "Error in stream callback.  Error code = " + std::to_string(streamError.code()) +
                       ", error domain = " + streamError.domain() +
                       ", error userinfo = " + streamError.localizedDescription();
            });
            finishStreamUpload(*input, streamError);
            break;
        }
        default: break;
    }
}

void BLSBlobUploadHelper::finishStreamUpload(platform::InputStream& stream, ErrorOut error) {
    (void)stream;
    {
        std::lock_guard lock(mUploadLock);
        if (mPumpFinished) return;
        mPumpFinished = true;
    }
    // A source that failed must not be committed as far as it was read.
    if (error) setStreamingError(*error);
    closeWithCompletionHandler(nullptr);
    ErrorOut outcome = error ? error : streamingError();
    if (mCompletionHandler) mCompletionHandler(outcome);
}

void BLSBlobUploadHelper::runUploadFromStream(std::shared_ptr<platform::InputStream> sourceStream,
                                              HelperFactory makeHelper, Completion completionHandler) {
    struct State {
        bool done = false;
        ErrorOut error;
    };
    auto state = std::make_shared<State>();
    auto loop = platform::RunLoop::current();
    std::shared_ptr<BLSBlobUploadHelper> helper;
    if (sourceStream && makeHelper) {
        helper = makeHelper([state, sourceStream](const ErrorOut& error) {
            sourceStream->close();
            sourceStream->removeFromRunLoop();
            state->error = error;
            state->done = true;
        });
    }
    if (!sourceStream || !helper) {
        if (completionHandler) {
            completionHandler(BLSMakeInvalidArgumentError(sourceStream ? "The upload could not be prepared."
                                                                       : "No source stream to upload from."));
        }
        return;
    }

    helper->mPumpLoop = loop;
    helper->mPumpStream = sourceStream;
    sourceStream->setDelegate(helper);
    sourceStream->scheduleInRunLoop(loop);
    sourceStream->open();
    // The platform's input streams announce no bytes by themselves: start
    // the pump, which reads until the end, an error or a full set of slots.
    helper->postPumpEvent(platform::StreamEvent::HasBytesAvailable);

    while (!state->done) loop->runUntil([state] { return state->done; }, kRunLoopSlice);

    if (completionHandler) completionHandler(state->error);
}

void BLSBlobUploadHelper::uploadFromStreamOnNewThread(std::shared_ptr<platform::InputStream> sourceStream,
                                                      HelperFactory makeHelper, Completion completionHandler) {
    platform::startThread([sourceStream = std::move(sourceStream), makeHelper = std::move(makeHelper),
                           completionHandler = std::move(completionHandler)]() mutable {
        runUploadFromStream(std::move(sourceStream), std::move(makeHelper), std::move(completionHandler));
    }).detach();
}
