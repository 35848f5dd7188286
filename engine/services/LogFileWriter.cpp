#include "engine/services/LogFileWriter.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

std::atomic<CLogFileWriter*> gCrashWriter{nullptr};

// write(2) until all is written or it fails; async-signal-safe.
void WriteAll(int fd, const char* bytes, std::size_t length) {
    while (length > 0) {
        const ssize_t written = ::write(fd, bytes, length);
        if (written < 0) {
            if (errno == EINTR) continue;
            return;
        }
        bytes += written;
        length -= static_cast<std::size_t>(written);
    }
}

}  // namespace

CLogFileWriter::~CLogFileWriter() {
    Close();
    CLogFileWriter* self = this;
    gCrashWriter.compare_exchange_strong(self, nullptr);
}

bool CLogFileWriter::Open(const std::string& path, bool immediate) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    // Ended after the lock is let go: a flush under way takes it.
    std::unique_ptr<CDelayedFlusher> unused;
    std::lock_guard lock(mMutex);
    FlushLocked();
    if (const int before = mFd.exchange(fd, std::memory_order_acq_rel); before >= 0) ::close(before);
    mImmediate = immediate;
    if (immediate) {
        unused = std::move(mFlusher);
    } else if (!mFlusher) {
        mFlusher = std::make_unique<CDelayedFlusher>(kIdleDelay, [this] { Flush(); });
    }
    return true;
}

void CLogFileWriter::Append(std::string_view line) {
    std::lock_guard lock(mMutex);
    if (mFd.load(std::memory_order_relaxed) < 0) return;
    std::uint32_t committed = mCommitted.load(std::memory_order_acquire);
    if (committed == kTaken) return;
    if (committed + line.size() > kCapacity) {
        FlushLocked();
        committed = mCommitted.load(std::memory_order_acquire);
        if (committed == kTaken) return;
    }
    if (mImmediate || line.size() > kCapacity) {
        WriteAll(mFd.load(std::memory_order_relaxed), line.data(), line.size());
        return;
    }
    // Past the count, where the crash path does not read, until published.
    std::memcpy(mBuffer + committed, line.data(), line.size());
    const auto grown = static_cast<std::uint32_t>(committed + line.size());
    if (!mCommitted.compare_exchange_strong(committed, grown, std::memory_order_acq_rel)) return;
    if (committed == 0 && mFlusher) mFlusher->Waiting();
}

void CLogFileWriter::Flush() {
    std::lock_guard lock(mMutex);
    FlushLocked();
}

void CLogFileWriter::FlushLocked() {
    if (mFlusher) mFlusher->Flushed();
    std::uint32_t committed = mCommitted.load(std::memory_order_acquire);
    const int fd = mFd.load(std::memory_order_relaxed);
    if (committed == 0 || committed == kTaken || fd < 0) return;
    WriteAll(fd, mBuffer, committed);
    // A crash path that took the count meanwhile writes these lines again:
    // twice rather than never.
    mCommitted.compare_exchange_strong(committed, 0, std::memory_order_acq_rel);
}

void CLogFileWriter::Close() {
    // Ended after the lock is let go: a flush under way takes it.
    std::unique_ptr<CDelayedFlusher> flusher;
    std::lock_guard lock(mMutex);
    FlushLocked();
    flusher = std::move(mFlusher);
    const int fd = mFd.exchange(-1, std::memory_order_acq_rel);
    if (fd >= 0) ::close(fd);
}

void CLogFileWriter::WriteAtCrash() {
    const std::uint32_t committed = mCommitted.exchange(kTaken, std::memory_order_acq_rel);
    const int fd = mFd.load(std::memory_order_acquire);
    if (committed == kTaken || committed == 0 || fd < 0) return;
    WriteAll(fd, mBuffer, committed);
}

void CLogFileWriter::InstallForCrash(CLogFileWriter* writer) { gCrashWriter.store(writer, std::memory_order_release); }

void CLogFileWriter::WriteInstalledAtCrash() {
    if (CLogFileWriter* writer = gCrashWriter.load(std::memory_order_acquire)) writer->WriteAtCrash();
}
