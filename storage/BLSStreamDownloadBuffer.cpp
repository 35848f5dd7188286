#include "storage/BLSStreamDownloadBuffer.h"

#include "storage/BLSErrors.h"
#include "storage/BLSOperationContext.h"
#include "storage/BLSUtil.h"

#include <pthread.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string>
#include <system_error>

namespace {

std::string currentThreadName() {
    char name[64] = {};
    if (pthread_getname_np(pthread_self(), name, sizeof name) != 0) return {};
    return name;
}

}  // namespace

BLSStreamDownloadBuffer::BLSStreamDownloadBuffer(std::shared_ptr<platform::OutputStream> stream,
                                                 std::uint64_t maxSizeToBuffer, bool calculateMD5,
                                                 std::shared_ptr<BLSOperationContext> operationContext)
    : mStream(std::move(stream)),
      mOperationContext(operationContext ? std::move(operationContext) : BLSUtil::operationlessContext()),
      mMaxSizeToBuffer(maxSizeToBuffer) {
    log(BLSLogLevelDebug, [] { return std::string("Stream not waiting (init)"); });
    if (calculateMD5) mMd5 = std::make_unique<platform::security::Md5>();
}

void BLSStreamDownloadBuffer::log(long level, const std::function<std::string()>& message) const {
    mOperationContext->logAtLevel(level, message);
}

void BLSStreamDownloadBuffer::writeData(std::span<const std::uint8_t> data) {
    // An empty write would read as a full stream; there is nothing to pass on.
    if (data.empty()) return;
    if (mMd5) mMd5->update(data);

    log(BLSLogLevelDebug, [] { return std::string("About to grab lock from data pushing"); });
    Lock lock(mMutex);
    while (!noteStreamFailureLocked() && !mStreamWaiting && mCurrentLength > mMaxSizeToBuffer) {
        log(BLSLogLevelDebug, [] { return std::string("Waiting on datadownloadcondition in writeData."); });
        mCondition.wait_for(lock, kStreamRecheckInterval);
    }
    if (mStreamError) {
        mCondition.notify_all();
        return;
    }

    const bool waiting = mStreamWaiting;
    log(BLSLogLevelDebug, [waiting] { return std::string(waiting ? "StreamWaiting = YES" : "StreamWaiting = NO"); });
    if (waiting) {
        long written = mStream->write(data.data(), data.size());
        if (written > static_cast<long>(data.size())) written = static_cast<long>(data.size());
        log(BLSLogLevelDebug, [&] {
            return "Wrote syncronously.  LengthWritten = " + std::to_string(written) +
                   ", desired write size = " + std::to_string(data.size()) + ".";
        });
        if (written > 0) {
            mTotalSizeStreamed += static_cast<std::uint64_t>(written);
            // A stream that took everything and still has room takes the
            // next chunk at once too, instead of a hand-over to its run loop
            // and a copy into the queue while its space event is on the way.
            if (static_cast<std::size_t>(written) < data.size() || !mStream->hasSpaceAvailable()) {
                mStreamWaiting = false;
                log(BLSLogLevelDebug, [] { return std::string("Stream not waiting."); });
            }
            if (static_cast<std::size_t>(written) < data.size()) {
                mQueue.emplace_back(data.begin() + written, data.end());
                mCurrentLength += data.size() - static_cast<std::size_t>(written);
            }
            log(BLSLogLevelDebug, [&] {
                return "Current length (wrote sync) = " + std::to_string(mCurrentLength) +
                       ", total amount streamed = " + std::to_string(mTotalSizeStreamed);
            });
        } else if (written == 0) {
            setStreamErrorLocked(static_cast<long>(BLSErrorCode::OutputStreamFull));
        } else {
            setStreamErrorLocked(static_cast<long>(BLSErrorCode::OutputStreamError));
        }
        mCondition.notify_all();
    } else {
        mQueue.emplace_back(data.begin(), data.end());
        mCurrentLength += data.size();
        log(BLSLogLevelDebug, [&] {
            return "Adding to queue.  Current length = " + std::to_string(mCurrentLength) +
                   ", total amount streamed = " + std::to_string(mTotalSizeStreamed);
        });
    }
}

void BLSStreamDownloadBuffer::handleEvent(platform::Stream& stream, platform::StreamEvent event) {
    using platform::StreamEvent;
    // A failure must reach the waiting side whatever state the stream is in
    // (a failed stream is no longer "available"), so it is handled first,
    // under the lock, with a broadcast.
    if (event == StreamEvent::ErrorOccurred) {
        log(BLSLogLevelDebug, [] { return std::string("NSStreamEventErrorOccurred"); });
        Lock lock(mMutex);
        setStreamErrorLocked(static_cast<long>(BLSErrorCode::OutputStreamError));
        mCondition.notify_all();
        return;
    }
    if (!BLSUtil::streamAvailable(&stream)) return;

    switch (event) {
        case StreamEvent::HasSpaceAvailable: {
            log(BLSLogLevelDebug, [] { return std::string("NSStreamEventHasSpaceAvailable"); });
            Lock lock(mMutex);
            if (mStreamError) {
                mCondition.notify_all();
                return;
            }
            log(BLSLogLevelDebug, [] { return std::string("Just grabbed lock from stream callback"); });
            log(BLSLogLevelDebug, [] { return "Current thread name = " + currentThreadName(); });
            log(BLSLogLevelDebug, [] { return std::string("HasSpaceAvailable"); });
            if (!mCurrentDataToStream && mQueue.empty()) {
                mStreamWaiting = true;
                log(BLSLogLevelDebug, [] { return std::string("Stream waiting."); });
            } else {
                writeCurrentChunkLocked();
            }
            log(BLSLogLevelDebug, [] { return std::string("About to signal and release lock from stream callback"); });
            mCondition.notify_all();
            return;
        }
        case StreamEvent::OpenCompleted:
            log(BLSLogLevelDebug, [] { return std::string("NSStreamEventOpenCompleted"); });
            return;
        case StreamEvent::HasBytesAvailable:
            log(BLSLogLevelDebug, [] { return std::string("NSStreamEventHasBytesAvailable"); });
            return;
        case StreamEvent::EndEncountered:
            log(BLSLogLevelDebug, [] { return std::string("NSStreamEventEndEncountered"); });
            return;
        case StreamEvent::None: log(BLSLogLevelDebug, [] { return std::string("NSStreamEventNone"); }); return;
        default:
            log(BLSLogLevelDebug, [] { return std::string("NSStreamEventdefault"); });
            std::fprintf(stderr, "Default switch occurred.\n");
            return;
    }
}

void BLSStreamDownloadBuffer::writeCurrentChunkLocked() {
    if (!mCurrentDataToStream) {
        mCurrentDataToStream = std::move(mQueue.front());
        mQueue.pop_front();
        mCurrentOffset = 0;
    }
    const std::size_t desired = mCurrentDataToStream->size() - mCurrentOffset;
    long written = mStream->write(mCurrentDataToStream->data() + mCurrentOffset, desired);
    if (written > static_cast<long>(desired)) written = static_cast<long>(desired);
    if (written > 0) {
        const auto count = static_cast<std::size_t>(written);
        mCurrentLength -= count;
        mTotalSizeStreamed += count;
        log(BLSLogLevelDebug, [&] {
            return "Wrote async.  LengthWritten = " + std::to_string(written) +
                   ", desired write size = " + std::to_string(desired) + ".";
        });
        log(BLSLogLevelDebug, [&] {
            return "Current length (wrote async) = " + std::to_string(mCurrentLength) +
                   ", total amount streamed = " + std::to_string(mTotalSizeStreamed);
        });
        mCurrentOffset += count;
        if (mCurrentOffset == mCurrentDataToStream->size()) {
            mCurrentDataToStream.reset();
            mCurrentOffset = 0;
        }
    } else if (written == 0) {
        setStreamErrorLocked(static_cast<long>(BLSErrorCode::OutputStreamFull));
    } else {
        setStreamErrorLocked(static_cast<long>(BLSErrorCode::OutputStreamError));
    }
}

void BLSStreamDownloadBuffer::setStreamErrorLocked(long code) {
    if (mStreamError) return;  // the first failure is the one reported
    platform::Error::UserInfo userInfo;
    // The stream's error may be read once its status says it failed.
    if (mStream && mStream->status() == platform::StreamStatus::Error && mStream->streamError()) {
        userInfo[BLSErrorKey::InnerError] = *mStream->streamError();
    }
    mStreamError = BLSMakeError(static_cast<BLSErrorCode>(code), std::move(userInfo));
    if (code == static_cast<long>(BLSErrorCode::OutputStreamFull)) {
        log(BLSLogLevelError,
            [] { return std::string("DownloadStream is full but there is more pending data, aborting download."); });
    } else {
        log(BLSLogLevelError, [] { return std::string("Error in writing to download stream, aborting download."); });
    }
}

bool BLSStreamDownloadBuffer::noteStreamFailureLocked() {
    if (mStreamError) return true;
    if (BLSUtil::streamAvailable(mStream.get())) return false;
    // Failed, or closed under our feet: nothing will ever drain the queue.
    if (mStream && mStream->status() == platform::StreamStatus::Error) {
        setStreamErrorLocked(static_cast<long>(BLSErrorCode::OutputStreamError));
    } else {
        platform::Error closed(platform::StreamErrorDomain, EBADF,
                               {{platform::Error::LocalizedDescriptionKey, std::generic_category().message(EBADF)}});
        mStreamError = BLSMakeError(BLSErrorCode::OutputStreamError, {{BLSErrorKey::InnerError, closed}});
        log(BLSLogLevelError, [] { return std::string("Error in writing to download stream, aborting download."); });
    }
    mCondition.notify_all();
    return true;
}

bool BLSStreamDownloadBuffer::streamWaiting() const {
    Lock lock(mMutex);
    return mStreamWaiting;
}

std::uint64_t BLSStreamDownloadBuffer::currentLength() const {
    Lock lock(mMutex);
    return mCurrentLength;
}

std::uint64_t BLSStreamDownloadBuffer::currentLength(const Lock&) const { return mCurrentLength; }

bool BLSStreamDownloadBuffer::streamFailed(const Lock&) { return noteStreamFailureLocked(); }

std::uint64_t BLSStreamDownloadBuffer::totalSizeStreamed() const {
    Lock lock(mMutex);
    return mTotalSizeStreamed;
}

std::optional<platform::Error> BLSStreamDownloadBuffer::streamError() const {
    Lock lock(mMutex);
    return mStreamError;
}

std::vector<std::vector<std::uint8_t>> BLSStreamDownloadBuffer::queue() const {
    Lock lock(mMutex);
    return {mQueue.begin(), mQueue.end()};
}

std::optional<std::vector<std::uint8_t>> BLSStreamDownloadBuffer::currentDataToStream() const {
    Lock lock(mMutex);
    if (!mCurrentDataToStream) return std::nullopt;
    return std::vector<std::uint8_t>(mCurrentDataToStream->begin() + static_cast<std::ptrdiff_t>(mCurrentOffset),
                                     mCurrentDataToStream->end());
}
