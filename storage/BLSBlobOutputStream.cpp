#include "storage/BLSBlobOutputStream.h"

#include "platform/dispatch/RunLoop.h"
#include "storage/BLSBlobUploadHelper.h"
#include "storage/BLSCloudAppendBlob.h"
#include "storage/BLSCloudBlockBlob.h"
#include "storage/BLSCloudPageBlob.h"
#include "storage/BLSOperationContext.h"
#include "storage/BLSRequestOptions.h"

#include <algorithm>
#include <chrono>
#include <utility>

BLSBlobOutputStream::BLSBlobOutputStream(Key, std::shared_ptr<BLSOperationContext> operationContext)
    : mOperationContext(operationContext ? std::move(operationContext) : std::make_shared<BLSOperationContext>()) {
    mRunLoopsRegistered.reserve(1);
}

BLSBlobOutputStream::~BLSBlobOutputStream() = default;

std::shared_ptr<BLSBlobOutputStream> BLSBlobOutputStream::makeWithAccessCondition(
    std::shared_ptr<BLSOperationContext> operationContext) {
    return std::make_shared<BLSBlobOutputStream>(Key{}, std::move(operationContext));
}

std::shared_ptr<BLSBlobOutputStream> BLSBlobOutputStream::makeToBlockBlob(
    std::shared_ptr<BLSCloudBlockBlob> blob, const BLSAccessCondition* accessCondition,
    std::shared_ptr<BLSBlobRequestOptions> requestOptions, std::shared_ptr<BLSOperationContext> operationContext) {
    auto stream = makeWithAccessCondition(std::move(operationContext));
    stream->mBlobUploadHelper = BLSBlobUploadHelper::makeToBlockBlob(
        std::move(blob), accessCondition, std::move(requestOptions), stream->mOperationContext, nullptr);
    return stream;
}

std::shared_ptr<BLSBlobOutputStream> BLSBlobOutputStream::makeToPageBlob(
    std::shared_ptr<BLSCloudPageBlob> blob, std::optional<std::uint64_t> totalBlobSize,
    std::optional<std::int64_t> initialSequenceNumber, const BLSAccessCondition* accessCondition,
    std::shared_ptr<BLSBlobRequestOptions> requestOptions, std::shared_ptr<BLSOperationContext> operationContext) {
    auto stream = makeWithAccessCondition(std::move(operationContext));
    stream->mBlobUploadHelper =
        BLSBlobUploadHelper::makeToPageBlob(std::move(blob), totalBlobSize, initialSequenceNumber, accessCondition,
                                            std::move(requestOptions), stream->mOperationContext, nullptr);
    return stream;
}

std::shared_ptr<BLSBlobOutputStream> BLSBlobOutputStream::makeToAppendBlob(
    std::shared_ptr<BLSCloudAppendBlob> blob, bool createNew, const BLSAccessCondition* accessCondition,
    std::shared_ptr<BLSBlobRequestOptions> requestOptions, std::shared_ptr<BLSOperationContext> operationContext) {
    auto stream = makeWithAccessCondition(std::move(operationContext));
    stream->mBlobUploadHelper = BLSBlobUploadHelper::makeToAppendBlob(
        std::move(blob), createNew, accessCondition, std::move(requestOptions), stream->mOperationContext, nullptr);
    return stream;
}

void BLSBlobOutputStream::log(const std::string& message) const {
    mOperationContext->logAtLevel(BLSLogLevelDebug, message);
}

void BLSBlobOutputStream::open() {
    log("Called open.");
    {
        std::lock_guard lock(mMutex);
        if (mIsStreamOpen || mIsStreamClosing || mIsStreamClosed || mOpenRequested) return;
        mOpenRequested = true;
    }
    struct Answer {
        std::mutex mutex;
        bool done = false;
    };
    auto answer = std::make_shared<Answer>();
    auto loop = platform::RunLoop::current();
    std::weak_ptr<BLSBlobOutputStream> weakSelf = std::static_pointer_cast<BLSBlobOutputStream>(shared_from_this());
    mBlobUploadHelper->openWithCompletionHandler([weakSelf, answer, loop](bool success) {
        if (auto self = weakSelf.lock()) {
            {
                std::lock_guard lock(self->mMutex);
                self->mIsStreamOpen = success;
            }
            if (success) self->setStatus(platform::StreamStatus::Open);
            self->fireStreamEvent();
        }
        {
            std::lock_guard lock(answer->mutex);
            answer->done = true;
        }
        loop->post([] {});  // look again at once
    });
    // A blob created on open answers from the executor's thread; writes
    // before that answer would be refused, so open returns only after it.
    auto done = [answer] {
        std::lock_guard lock(answer->mutex);
        return answer->done;
    };
    while (!done()) loop->runUntil(done, std::chrono::milliseconds(100));
}

long BLSBlobOutputStream::write(const std::uint8_t* bytes, std::size_t length) {
    bool open = false;
    {
        std::lock_guard lock(mMutex);
        mWaitingOnCaller = false;
        open = mIsStreamOpen;
    }
    if (streamError()) return -1;
    long result = 0;
    if (open) {
        std::weak_ptr<BLSBlobOutputStream> weakSelf = std::static_pointer_cast<BLSBlobOutputStream>(shared_from_this());
        result = mBlobUploadHelper->write(bytes, length, [weakSelf] {
            if (auto self = weakSelf.lock()) self->fireStreamEvent();
        });
    }
    fireStreamEvent();
    return result;
}

void BLSBlobOutputStream::close() {
    log("Called close.");
    {
        std::lock_guard lock(mMutex);
        if (mIsStreamClosing || mIsStreamClosed) return;
        mIsStreamClosing = true;
        mIsStreamOpen = false;
    }
    if (status() != platform::StreamStatus::Error) setStatus(platform::StreamStatus::AtEnd);
    std::weak_ptr<BLSBlobOutputStream> weakSelf = std::static_pointer_cast<BLSBlobOutputStream>(shared_from_this());
    mBlobUploadHelper->closeWithCompletionHandler([weakSelf] {
        if (auto self = weakSelf.lock()) self->fireStreamEvent();
    });
    {
        std::lock_guard lock(mMutex);
        mIsStreamClosed = true;
        mIsStreamClosing = false;
    }
    markClosed();
    fireStreamEvent();
}

platform::StreamStatus BLSBlobOutputStream::streamStatus() const {
    log("Stream status requested.");
    if (streamError()) return platform::StreamStatus::Error;
    std::lock_guard lock(mMutex);
    if (mIsStreamClosed) return platform::StreamStatus::Closed;
    if (mIsStreamClosing) return platform::StreamStatus::AtEnd;
    if (!mBlobUploadHelper->allDataUploaded()) return platform::StreamStatus::Writing;
    if (mIsStreamOpen) return platform::StreamStatus::Open;
    return platform::StreamStatus::NotOpen;
}

std::optional<platform::Error> BLSBlobOutputStream::streamError() const { return mBlobUploadHelper->streamingError(); }

void BLSBlobOutputStream::scheduleInRunLoop(std::shared_ptr<platform::RunLoop> runLoop) {
    log("Schedule in run loop requested.");
    if (!runLoop) return;
    std::lock_guard lock(mMutex);
    if (std::find(mRunLoopsRegistered.begin(), mRunLoopsRegistered.end(), runLoop) == mRunLoopsRegistered.end()) {
        mRunLoopsRegistered.push_back(std::move(runLoop));
    }
}

void BLSBlobOutputStream::removeFromRunLoop(const std::shared_ptr<platform::RunLoop>& runLoop) {
    log("Remove from run loop requested.");
    std::lock_guard lock(mMutex);
    mRunLoopsRegistered.erase(std::remove(mRunLoopsRegistered.begin(), mRunLoopsRegistered.end(), runLoop),
                              mRunLoopsRegistered.end());
}

std::optional<std::any> BLSBlobOutputStream::propertyForKey(const std::string& key) const {
    log("Property for key requested.  Key = " + key);
    return std::nullopt;
}

bool BLSBlobOutputStream::setProperty(const std::any& property, const std::string& key) {
    (void)property;
    log("SetProperty for key requested.  Key = " + key);
    return false;
}

void BLSBlobOutputStream::fireStreamEvent() {
    log("Fire stream event called.");
    std::vector<std::shared_ptr<platform::RunLoop>> loops;
    {
        std::lock_guard lock(mMutex);
        loops = mRunLoopsRegistered;
    }
    // The loop given through the base class's interface gets them too.
    if (auto baseLoop = scheduledRunLoop()) {
        if (std::find(loops.begin(), loops.end(), baseLoop) == loops.end()) loops.push_back(std::move(baseLoop));
    }
    if (loops.empty()) return;
    std::weak_ptr<BLSBlobOutputStream> weakSelf = std::static_pointer_cast<BLSBlobOutputStream>(shared_from_this());
    for (const auto& loop : loops) {
        loop->post([weakSelf, weakLoop = std::weak_ptr<platform::RunLoop>(loop)] {
            auto self = weakSelf.lock();
            if (!self) return;
            // A loop the stream was removed from in the meantime gets nothing.
            auto loop = weakLoop.lock();
            {
                std::lock_guard lock(self->mMutex);
                bool listed = std::find(self->mRunLoopsRegistered.begin(), self->mRunLoopsRegistered.end(), loop) !=
                              self->mRunLoopsRegistered.end();
                if (!listed && self->scheduledRunLoop() != loop) return;
            }
            self->performRoutine();
        });
    }
}

void BLSBlobOutputStream::performRoutine() {
    log("Perform Routine called.");
    auto error = mBlobUploadHelper->streamingError();
    bool openDue = false;
    bool spaceDue = false;
    bool errorDue = false;
    {
        // Every due event is claimed under the lock, so that a stream on
        // several loops announces each only once.
        std::lock_guard lock(mMutex);
        if (mIsStreamOpen && !mHasStreamOpenEventFired) {
            openDue = true;
            mHasStreamOpenEventFired = true;
        }
        if (error && !mHasStreamErrorEventFired) {
            errorDue = true;
            mHasStreamErrorEventFired = true;
        }
        if (mIsStreamOpen && !mIsStreamClosing && !mIsStreamClosed && !mWaitingOnCaller &&
            mBlobUploadHelper->hasSpaceAvailable()) {
            spaceDue = true;
            mWaitingOnCaller = true;
        }
    }
    auto target = delegate();
    if (openDue && target) target->handleEvent(*this, platform::StreamEvent::OpenCompleted);
    if (spaceDue && target) target->handleEvent(*this, platform::StreamEvent::HasSpaceAvailable);
    if (errorDue) {
        // The base class records the failure (status Error, its error) and
        // announces it on the loop it was scheduled on; without that loop
        // the delegate hears it from here.
        const bool announcedByBase = scheduledRunLoop() != nullptr;
        fail(*error);
        if (!announcedByBase && target) target->handleEvent(*this, platform::StreamEvent::ErrorOccurred);
    }
}
