#pragma once
// Carries a download's bytes from the URL session's delegate queue (the
// producer, writeData) into an output stream that takes bytes on its own
// run-loop thread (the consumer, handleEvent). Bytes go straight to the
// stream while it waits for data (from its first space-available event on,
// for as long as it takes whole chunks and says it has room), else they are
// queued and drained from its space-available events. The producer blocks while more than
// maxSizeToBuffer bytes are held, which holds the transfer back. The first
// stream failure is kept as streamError (code 8, or 9 for a stream that
// takes nothing); after it, data is dropped and every waiter is woken.
//
// Every field but the MD5 state is guarded by the data-download lock; the
// MD5 state belongs to the producer and, after the last chunk, to whoever
// finishes it.

#include "platform/foundation/Error.h"
#include "platform/foundation/Stream.h"
#include "platform/security/Crypto.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

class BLSOperationContext;

class BLSStreamDownloadBuffer : public platform::StreamDelegate {
public:
    using Lock = std::unique_lock<std::mutex>;

    // How often a blocked side looks at the stream's status by itself, so
    // that a stream that fails or is closed without an event still ends the
    // wait.
    static constexpr std::chrono::milliseconds kStreamRecheckInterval{250};

    // Does not make itself the stream's delegate: the caller does that (it
    // holds the buffer in a shared_ptr; the stream holds it weakly).
    BLSStreamDownloadBuffer(std::shared_ptr<platform::OutputStream> stream, std::uint64_t maxSizeToBuffer,
                            bool calculateMD5, std::shared_ptr<BLSOperationContext> operationContext);

    BLSStreamDownloadBuffer(const BLSStreamDownloadBuffer&) = delete;
    BLSStreamDownloadBuffer& operator=(const BLSStreamDownloadBuffer&) = delete;

    // One received chunk. May block while the buffer is full; returns at
    // once (dropping the bytes) once there is a stream error.
    void writeData(std::span<const std::uint8_t> data);

    // The stream's events, on its run-loop thread.
    void handleEvent(platform::Stream& stream, platform::StreamEvent event) override;

    bool calculateMD5() const { return mMd5 != nullptr; }
    // The running MD5 of every byte received; nullptr when not calculated.
    platform::security::Md5* md5Context() { return mMd5.get(); }
    const std::shared_ptr<platform::OutputStream>& stream() const { return mStream; }
    std::uint64_t maxSizeToBuffer() const { return mMaxSizeToBuffer; }
    const std::shared_ptr<BLSOperationContext>& operationContext() const { return mOperationContext; }

    // Each takes the lock.
    bool streamWaiting() const;
    std::uint64_t currentLength() const;
    std::uint64_t totalSizeStreamed() const;
    std::optional<platform::Error> streamError() const;
    std::vector<std::vector<std::uint8_t>> queue() const;
    // The unwritten rest of the chunk being written, if any.
    std::optional<std::vector<std::uint8_t>> currentDataToStream() const;

    // The data-download condition, for a caller that waits for the buffer
    // to drain (the executor's completion step).
    Lock lockDataDownloadCondition() const { return Lock(mMutex); }
    std::condition_variable& dataDownloadCondition() const { return mCondition; }
    // Reads with the lock held (the argument proves it).
    std::uint64_t currentLength(const Lock& held) const;
    // True when there is a stream error. First turns a stream that has
    // failed or was closed into one (code 8), so that a waiter never waits
    // for a stream that can take nothing any more.
    bool streamFailed(const Lock& held);

private:
    bool noteStreamFailureLocked();
    void setStreamErrorLocked(long code);
    // Writes the current chunk (taking the oldest queued one when there is
    // none); the space-available path.
    void writeCurrentChunkLocked();
    void log(long level, const std::function<std::string()>& message) const;

    std::unique_ptr<platform::security::Md5> mMd5;
    std::shared_ptr<platform::OutputStream> mStream;
    std::shared_ptr<BLSOperationContext> mOperationContext;
    const std::uint64_t mMaxSizeToBuffer;

    mutable std::mutex mMutex;
    mutable std::condition_variable mCondition;
    // Guarded by mMutex. Invariant: mCurrentLength is the sum of the queued
    // chunks' sizes plus the unwritten rest of the current chunk.
    bool mStreamWaiting = false;
    std::deque<std::vector<std::uint8_t>> mQueue;
    std::uint64_t mCurrentLength = 0;
    std::optional<std::vector<std::uint8_t>> mCurrentDataToStream;
    std::size_t mCurrentOffset = 0;  // bytes of the current chunk already written
    std::uint64_t mTotalSizeStreamed = 0;
    std::optional<platform::Error> mStreamError;
};
