#include "platform/foundation/Stream.h"

#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/PagePrefaulter.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <system_error>
#include <utility>

namespace platform {

namespace {

Error posixError(int code) {
    // std::generic_category gives strerror's text without its thread hazards.
    return Error(StreamErrorDomain, code, {{Error::LocalizedDescriptionKey, std::generic_category().message(code)}});
}

bool isUsable(StreamStatus status) {
    return status == StreamStatus::Open || status == StreamStatus::Reading || status == StreamStatus::Writing;
}

// Refuses a read or write on a stream that is not open (never opened,
// closed, failed) and one given a null buffer: the stream fails with EBADF
// or EINVAL. Returns false when the caller must return -1.
template <typename S>
bool admit(S& stream, const void* buffer, std::size_t length, void (S::*failWith)(int)) {
    if (stream.status() == StreamStatus::Error) return false;
    if (!isUsable(stream.status())) {
        (stream.*failWith)(EBADF);
        return false;
    }
    if (buffer == nullptr && length > 0) {
        (stream.*failWith)(EINVAL);
        return false;
    }
    return true;
}

class MemoryOutputStream final : public OutputStream {
public:
    ~MemoryOutputStream() override { stopPrefaulting(); }

    void close() override {
        // Nothing more comes: no more pages are made for it. The prefaulter
        // itself stays until the bytes move, since a write racing the close
        // may still report to it.
        if (mPrefaulter) mPrefaulter->stop();
        OutputStream::close();
    }

    long write(const std::uint8_t* bytes, std::size_t length) override {
        if (!admit<MemoryOutputStream>(*this, bytes, length, &MemoryOutputStream::failWith)) return -1;
        if (length == 0) return 0;
        if (mExpectedLength > 0 && mData.capacity() == 0) reserveExpected();
        // Growing moves the bytes to new memory: the old range must be left alone first.
        if (mPrefaulter && length > mData.capacity() - mData.size()) stopPrefaulting();
        mData.insert(mData.end(), bytes, bytes + length);
        if (mPrefaulter) mPrefaulter->noteWritten(mData.size());
        postEvent(StreamEvent::HasSpaceAvailable);
        return static_cast<long>(length);
    }
    const std::vector<std::uint8_t>* dataWrittenToMemory() const override { return &mData; }
    std::vector<std::uint8_t> takeDataWrittenToMemory() override {
        stopPrefaulting();
        return std::exchange(mData, {});
    }
    void setExpectedLength(std::uint64_t length) override { mExpectedLength = length; }
    void failWith(int code) { fail(posixError(code)); }

private:
    // Pages are made this far ahead of the bytes written: the most a body
    // that stops coming leaves resident beyond what it wrote.
    static constexpr std::size_t kPrefaultLead = std::size_t(32) << 20;

    void reserveExpected() {
        try {
            mData.reserve(static_cast<std::size_t>(std::min(mExpectedLength, kMaximumReservation)));
        } catch (const std::exception&) {
            // Only a hint: the vector grows as it goes instead.
        }
        mExpectedLength = 0;
        if (mData.capacity() >= 2 * PagePrefaulter::kStep) {
            mPrefaulter = std::make_unique<PagePrefaulter>(mData.data(), mData.capacity(), kPrefaultLead);
        }
    }
    void stopPrefaulting() {
        if (mPrefaulter) mPrefaulter->stop();
        mPrefaulter.reset();
    }

    std::vector<std::uint8_t> mData;
    std::uint64_t mExpectedLength = 0;  // until the first write
    // Makes the reserved pages ahead of the writer; stopped before mData's
    // memory moves or is handed out.
    std::unique_ptr<PagePrefaulter> mPrefaulter;
};

class FileOutputStream final : public OutputStream {
public:
    FileOutputStream(std::filesystem::path path, bool append) : mPath(std::move(path)), mAppend(append) {}
    ~FileOutputStream() override {
        if (mFd >= 0) ::close(mFd);
    }

    void open() override {
        if (status() != StreamStatus::NotOpen) return;
        int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (mAppend ? O_APPEND : O_TRUNC);
        mFd = ::open(mPath.c_str(), flags, 0666);
        if (mFd < 0) {
            failWith(errno);
            return;
        }
        setStatus(StreamStatus::Open);
        postEvent(StreamEvent::OpenCompleted);
        postEvent(StreamEvent::HasSpaceAvailable);
    }

    void close() override {
        if (mFd >= 0) {
            int result = ::close(mFd);
            mFd = -1;
            // A failed close may mean written bytes never reached the file.
            if (result != 0 && errno != EINTR && status() != StreamStatus::Error) {
                failWith(errno);
                return;
            }
        }
        markClosed();
    }

    long write(const std::uint8_t* bytes, std::size_t length) override {
        if (!admit<FileOutputStream>(*this, bytes, length, &FileOutputStream::failWith)) return -1;
        if (length == 0) return 0;
        for (;;) {
            ssize_t n = ::write(mFd, bytes, length);
            if (n > 0) postEvent(StreamEvent::HasSpaceAvailable);
            if (n >= 0) return static_cast<long>(n);
            if (errno != EINTR) {
                failWith(errno);
                return -1;
            }
        }
    }
    void failWith(int code) { fail(posixError(code)); }

private:
    std::filesystem::path mPath;
    bool mAppend;
    int mFd = -1;
};

class DataInputStream final : public InputStream {
public:
    explicit DataInputStream(std::vector<std::uint8_t> data) : mData(std::move(data)) {}

    long read(std::uint8_t* buffer, std::size_t length) override {
        if (status() == StreamStatus::AtEnd) return 0;
        if (!admit<DataInputStream>(*this, buffer, length, &DataInputStream::failWith)) return -1;
        std::size_t count = std::min(length, mData.size() - mOffset);
        if (count == 0 && length > 0) {
            setStatus(StreamStatus::AtEnd);
            return 0;
        }
        std::memcpy(buffer, mData.data() + mOffset, count);
        mOffset += count;
        return static_cast<long>(count);
    }
    void failWith(int code) { fail(posixError(code)); }

private:
    std::vector<std::uint8_t> mData;
    std::size_t mOffset = 0;
};

class FileInputStream final : public InputStream {
public:
    explicit FileInputStream(std::filesystem::path path) : mPath(std::move(path)) {}
    ~FileInputStream() override {
        if (mFd >= 0) ::close(mFd);
    }

    void open() override {
        if (status() != StreamStatus::NotOpen) return;
        mFd = ::open(mPath.c_str(), O_RDONLY | O_CLOEXEC);
        if (mFd < 0) {
            failWith(errno);
            return;
        }
        setStatus(StreamStatus::Open);
    }

    void close() override {
        if (mFd >= 0) {
            ::close(mFd);  // nothing written, nothing to lose
            mFd = -1;
        }
        markClosed();
    }

    long read(std::uint8_t* buffer, std::size_t length) override {
        if (status() == StreamStatus::AtEnd) return 0;
        if (!admit<FileInputStream>(*this, buffer, length, &FileInputStream::failWith)) return -1;
        if (length == 0) return 0;
        for (;;) {
            ssize_t n = ::read(mFd, buffer, length);
            if (n > 0) return static_cast<long>(n);
            if (n == 0) {
                setStatus(StreamStatus::AtEnd);
                return 0;
            }
            if (errno != EINTR) {
                failWith(errno);
                return -1;
            }
        }
    }
    void failWith(int code) { fail(posixError(code)); }

private:
    std::filesystem::path mPath;
    int mFd = -1;
};

}  // namespace

void Stream::open() {
    StreamStatus expected = StreamStatus::NotOpen;
    mStatus.compare_exchange_strong(expected, StreamStatus::Open, std::memory_order_acq_rel);
}

void Stream::close() { markClosed(); }

void Stream::markClosed() {
    // A failed stream stays failed, also when it fails while being closed.
    StreamStatus current = mStatus.load(std::memory_order_acquire);
    while (current != StreamStatus::Error &&
           !mStatus.compare_exchange_weak(current, StreamStatus::Closed, std::memory_order_acq_rel)) {
    }
}

void Stream::fail(Error error) {
    {
        std::lock_guard lock(mEventMutex);
        if (mFailed) return;
        mFailed = true;
    }
    // Written once, before the status, so that a reader who sees Error may
    // read the error without a lock.
    mError = std::move(error);
    setStatus(StreamStatus::Error);
    postEvent(StreamEvent::ErrorOccurred);
}

void Stream::setDelegate(std::weak_ptr<StreamDelegate> delegate) {
    std::lock_guard lock(mEventMutex);
    mDelegate = std::move(delegate);
}

std::shared_ptr<StreamDelegate> Stream::delegate() const {
    std::lock_guard lock(mEventMutex);
    return mDelegate.lock();
}

void Stream::scheduleInRunLoop(std::shared_ptr<RunLoop> runLoop) {
    {
        std::lock_guard lock(mEventMutex);
        mRunLoop = std::move(runLoop);
        ++mScheduleGeneration;
    }
    announcePendingEvents();
}

void Stream::removeFromRunLoop() {
    std::lock_guard lock(mEventMutex);
    mRunLoop.reset();
    ++mScheduleGeneration;
}

std::shared_ptr<RunLoop> Stream::scheduledRunLoop() const {
    std::lock_guard lock(mEventMutex);
    return mRunLoop;
}

void Stream::postEvent(StreamEvent event) {
    std::shared_ptr<RunLoop> loop;
    std::uint64_t generation = 0;
    {
        std::lock_guard lock(mEventMutex);
        loop = mRunLoop;
        generation = mScheduleGeneration;
    }
    if (!loop) return;
    std::weak_ptr<Stream> weakStream = weak_from_this();
    if (weakStream.expired()) return;  // not owned by a shared_ptr: nobody to hand it to
    loop->post([weakStream, generation, event] {
        auto stream = weakStream.lock();
        if (!stream) return;
        std::shared_ptr<StreamDelegate> delegate;
        {
            std::lock_guard lock(stream->mEventMutex);
            if (stream->mScheduleGeneration != generation) return;
            delegate = stream->mDelegate.lock();
        }
        if (delegate) delegate->handleEvent(*stream, event);
    });
}

void OutputStream::announcePendingEvents() {
    // A stream opened before it was scheduled would otherwise never tell its
    // delegate that it can take bytes.
    if (hasSpaceAvailable()) postEvent(StreamEvent::HasSpaceAvailable);
}

void OutputStream::open() {
    if (status() != StreamStatus::NotOpen) return;
    Stream::open();
    postEvent(StreamEvent::OpenCompleted);
    postEvent(StreamEvent::HasSpaceAvailable);
}

std::shared_ptr<OutputStream> OutputStream::toMemory() { return std::make_shared<MemoryOutputStream>(); }

std::shared_ptr<OutputStream> OutputStream::toFile(std::filesystem::path path, bool append) {
    return std::make_shared<FileOutputStream>(std::move(path), append);
}

std::shared_ptr<InputStream> InputStream::withData(std::vector<std::uint8_t> data) {
    return std::make_shared<DataInputStream>(std::move(data));
}

std::shared_ptr<InputStream> InputStream::withFile(std::filesystem::path path) {
    return std::make_shared<FileInputStream>(std::move(path));
}

}  // namespace platform
