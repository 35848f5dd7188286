#include "SharingModule/Model/QLCacheFileOutputStream.h"

#include <cerrno>
#include <string_view>

QLCacheFileOutputStream::QLCacheFileOutputStream(std::filesystem::path target, std::uint64_t maximumSize)
    : mTarget(std::move(target)), mMaximumSize(maximumSize) {}

std::filesystem::path QLCacheFileOutputStream::temporaryPath() const {
    return mFile ? mFile->temporaryPath() : std::filesystem::path();
}

void QLCacheFileOutputStream::failWith(int code) {
    fail(platform::Error(platform::StreamErrorDomain, code));
    mFile.reset();
}

void QLCacheFileOutputStream::open() {
    if (status() != platform::StreamStatus::NotOpen) return;
    std::error_code ignored;
    std::filesystem::create_directories(mTarget.parent_path(), ignored);
    mFile = std::make_unique<platform::AtomicFile>(mTarget);
    if (!mFile->isOpen()) {
        failWith(errno != 0 ? errno : EIO);
        return;
    }
    setStatus(platform::StreamStatus::Open);
    postEvent(platform::StreamEvent::OpenCompleted);
    postEvent(platform::StreamEvent::HasSpaceAvailable);
}

void QLCacheFileOutputStream::close() { markClosed(); }

long QLCacheFileOutputStream::write(const std::uint8_t* bytes, std::size_t length) {
    if (status() == platform::StreamStatus::Error) return -1;
    if (status() != platform::StreamStatus::Open || !mFile) {
        failWith(EBADF);
        return -1;
    }
    if (length == 0) return 0;
    if (length > mMaximumSize - mBytesWritten) {
        failWith(EFBIG);
        return -1;
    }
    if (!mFile->write(std::string_view(reinterpret_cast<const char*>(bytes), length))) {
        failWith(errno != 0 ? errno : EIO);
        return -1;
    }
    mBytesWritten += length;
    postEvent(platform::StreamEvent::HasSpaceAvailable);
    return static_cast<long>(length);
}

bool QLCacheFileOutputStream::commit() {
    if (status() == platform::StreamStatus::Error || !mFile) return false;
    const bool committed = mFile->commit();
    mFile.reset();
    return committed;
}

void QLCacheFileOutputStream::discard() { mFile.reset(); }
