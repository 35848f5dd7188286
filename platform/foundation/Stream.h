#pragma once
// Byte streams: sinks for downloads and sources for uploads.
// Reads, writes, open and close are not locked: do them from one thread at
// a time (handing a stream from one thread to another is fine when the
// hand-over itself synchronises, as a queue or a mutex does). status() may
// be read from any thread at any time; streamError() too, once status() has
// returned Error (the error is set once, before the status). A read or
// write on a stream that is not open fails it with EBADF; a failed stream
// stays failed.
//
// Events: a stream scheduled on a run loop posts its events there, and the
// loop's thread hands them to the delegate. Output streams post
// OpenCompleted and HasSpaceAvailable when they open, HasSpaceAvailable
// after every write that took bytes and when an open stream with room is
// scheduled, and every stream posts ErrorOccurred when it fails. Events of a stream that is not scheduled are dropped,
// and an event still queued when the stream is removed from its loop (or is freed) is not delivered.

#include "platform/foundation/Error.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace platform {

class RunLoop;

enum class StreamStatus { NotOpen, Opening, Open, Reading, Writing, AtEnd, Closed, Error };

enum class StreamEvent {
    None = 0,
    OpenCompleted = 1,
    HasBytesAvailable = 2,
    HasSpaceAvailable = 4,
    ErrorOccurred = 8,
    EndEncountered = 16,
};

class Stream;

class StreamDelegate {
public:
    virtual ~StreamDelegate() = default;
    // Runs on the thread of the run loop the stream is scheduled on.
    virtual void handleEvent(Stream& stream, StreamEvent event) = 0;
};

// Streams that are scheduled on a run loop must be owned by a shared_ptr:
// a queued event holds the stream weakly.
class Stream : public std::enable_shared_from_this<Stream> {
public:
    Stream() = default;
    virtual ~Stream() = default;
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;

    virtual void open();
    virtual void close();
    StreamStatus status() const { return mStatus.load(std::memory_order_acquire); }
    // Set when status() is Error; the first failure is kept.
    const std::optional<Error>& streamError() const { return mError; }

    // The delegate is not owned; safe from any thread.
    void setDelegate(std::weak_ptr<StreamDelegate> delegate);
    std::shared_ptr<StreamDelegate> delegate() const;
    // Events from now on go to `runLoop` (one loop at a time: scheduling
    // again moves the stream). Safe from any thread.
    void scheduleInRunLoop(std::shared_ptr<RunLoop> runLoop);
    // No more events, also none of those already queued.
    void removeFromRunLoop();
    std::shared_ptr<RunLoop> scheduledRunLoop() const;

protected:
    void setStatus(StreamStatus status) { mStatus.store(status, std::memory_order_release); }
    // Closed, unless the stream has failed.
    void markClosed();
    // Sets the error and the status Error, then posts ErrorOccurred; does
    // nothing on a stream that has failed already.
    void fail(Error error);
    // Queues `event` on the scheduled run loop; nothing when not scheduled.
    void postEvent(StreamEvent event);
    // Called after every scheduling: posts what a newly scheduled delegate
    // must learn at once (an open output stream's room).
    virtual void announcePendingEvents() {}

private:
    std::atomic<StreamStatus> mStatus{StreamStatus::NotOpen};
    std::optional<Error> mError;

    mutable std::mutex mEventMutex;  // guards the four below
    std::weak_ptr<StreamDelegate> mDelegate;
    std::shared_ptr<RunLoop> mRunLoop;
    // Changes with every schedule and removal, so that events queued for an
    // earlier scheduling are dropped.
    std::uint64_t mScheduleGeneration = 0;
    bool mFailed = false;
};

class OutputStream : public Stream {
public:
    // Opens a never-opened stream and posts OpenCompleted and
    // HasSpaceAvailable. Subclasses with their own open() post these
    // themselves.
    void open() override;

    // Writes up to `length` bytes; returns how many were taken, or -1 after
    // an error (status() Error, streamError() set). 0 means no room now.
    // A write that took bytes posts HasSpaceAvailable.
    virtual long write(const std::uint8_t* bytes, std::size_t length) = 0;
    virtual bool hasSpaceAvailable() const { return status() == StreamStatus::Open; }
    // Everything written so far when the stream writes to memory; nullptr
    // for other streams.
    virtual const std::vector<std::uint8_t>* dataWrittenToMemory() const { return nullptr; }
    // Moves out everything written so far to memory, leaving the stream's
    // memory empty; empty for other streams.
    virtual std::vector<std::uint8_t> takeDataWrittenToMemory() { return {}; }
    // Says that about `length` bytes are coming. A stream to memory makes
    // room for them (at most kMaximumReservation) with its first write, so
    // that a large body is not copied again and again as it grows, and has
    // the room's pages made resident on a thread of its own a bounded way
    // ahead of the writes (PagePrefaulter) until it is closed or its bytes
    // are taken; other streams ignore it. Call it before the first write,
    // as a write.
    virtual void setExpectedLength(std::uint64_t /*length*/) {}
    static constexpr std::uint64_t kMaximumReservation = std::uint64_t(1) << 30;

    static std::shared_ptr<OutputStream> toMemory();
    // Creates or truncates the file on open (appends when `append`); a
    // missing folder or an unwritable file is an error at open.
    static std::shared_ptr<OutputStream> toFile(std::filesystem::path path, bool append = false);

protected:
    void announcePendingEvents() override;
};

class InputStream : public Stream {
public:
    // Reads up to `length` bytes; 0 at the end, -1 after an error.
    virtual long read(std::uint8_t* buffer, std::size_t length) = 0;
    virtual bool hasBytesAvailable() const { return status() == StreamStatus::Open; }

    static std::shared_ptr<InputStream> withData(std::vector<std::uint8_t> data);
    static std::shared_ptr<InputStream> withFile(std::filesystem::path path);
};

// The error domain of stream failures; the code is the C library's errno.
inline constexpr const char* StreamErrorDomain = POSIXErrorDomain;

}  // namespace platform
