#include "telemetry/Internals/Channel/TLMSenderLock.h"

#include "telemetry/TLMLogger.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

namespace {


// After the 16-byte mark: the date (ms since the epoch, host order) from
// which a holder may load, written by the first process to open the file.
constexpr off_t kLoadFromOffset = 16;
// A date long past: the holder needs to wait for no other.
constexpr std::int64_t kSettled = 1;

std::int64_t MillisecondsOf(platform::Clock::Date date) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(date.time_since_epoch()).count();
}

}  // namespace

TLMSenderLock::TLMSenderLock(std::filesystem::path file, bool newHome) : mFile(std::move(file)) {
    // No process sent from a database made just now: made at once, the file
    // tells the others so.
    if (newHome && open()) writeLoadFrom(kSettled);
}

std::filesystem::path TLMSenderLock::pathFor(const std::filesystem::path& dbFile) { return dbFile.string() + ".lock"; }

TLMSenderLock::~TLMSenderLock() {
    // Closing the last descriptor of the file lets go of the lock.
    if (mFd >= 0) ::close(mFd);
}

bool TLMSenderLock::open() {
    if (mFd >= 0) return true;
    // A link in the file's place is not followed: marks written through it
    // would land in whatever file it names.
    mFd = ::open(mFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (mFd < 0) {
        useWithoutLock("cannot be opened", errno);
        return false;
    }
    struct stat opened {};
    mIdentityKnown = ::fstat(mFd, &opened) == 0;
    mDevice = mIdentityKnown ? static_cast<std::uint64_t>(opened.st_dev) : 0;
    mInode = mIdentityKnown ? static_cast<std::uint64_t>(opened.st_ino) : 0;
    // Made just now (or by a build that did not date it): a holder of a
    // removed file may still be loading.
    if (!readLoadFrom()) writeLoadFrom(MillisecondsOf(platform::Clock::shared()->now() + kNewFileWait));
    return true;
}

bool TLMSenderLock::nameStillNamesOpenFile() const {
    if (mFd < 0 || !mIdentityKnown) return true;
    // Not followed, as the file was not opened through a link.
    struct stat named {};
    if (::lstat(mFile.c_str(), &named) != 0) return errno != ENOENT && errno != ENOTDIR;
    return static_cast<std::uint64_t>(named.st_dev) == mDevice && static_cast<std::uint64_t>(named.st_ino) == mInode;
}

void TLMSenderLock::leaveReplacedFile() {
    const std::string path = mFile.string();
    // A holder past its wait was the only one loading: the file it takes
    // next has no other holder to wait for.
    mSettleAtOnce = mHeld && !mLoadFrom;
    mLostHold = mLostHold || mHeld;
    mLoadFrom.reset();
    if (mHeld) {
        TLMLogWarning(kTLMLogTag,
                      "The sender lock %s was removed or replaced while this process held it; it lets go and tries "
                      "the lock on the file now in its place.",
                      path.c_str());
    } else {
        TLMLogWarning(kTLMLogTag,
                      "The sender lock %s was removed or replaced; this process uses the file now in its place.",
                      path.c_str());
    }
    ::close(mFd);
    mFd = -1;
    mHeld = false;
    mHeldByAnother = false;
    mMoved = true;
}

void TLMSenderLock::useWithoutLock(const char* reason, int error) {
    mUnusable = true;
    mHeld = true;
    const std::string path = mFile.string();
    TLMLogWarning(kTLMLogTag,
                  "The sender lock %s %s (%s): this process sends its stored logs as though no other process "
                  "shared them.",
                  path.c_str(), reason, std::strerror(error));
}

bool TLMSenderLock::holdOrTake() {
    if (mUnusable) return true;
    // A lock on a file that lost its name keeps no other process from
    // sending; one without the lock would take the old file's.
    if (!nameStillNamesOpenFile()) leaveReplacedFile();
    if (mHeld) return true;
    // Locked, then checked: a file that lost its name between the two (its
    // holder moving on) is left again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (!open()) return true;
        if (::flock(mFd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            // Another process holds it, or a signal came: tried again later.
            if (error == EWOULDBLOCK) {
                mHeldByAnother = true;
                mSettleAtOnce = false;
                // What this process stored was marked in the old file, or
                // not at all while it sent: the sender counts again.
                if (mMoved) writeMark();
                mMoved = false;
            }
            if (error == EWOULDBLOCK || error == EINTR) return false;
            useWithoutLock("cannot be locked", error);
            return true;
        }
        if (nameStillNamesOpenFile()) {
            mHeld = true;
            mHeldByAnother = false;
            mLooked = false;
            mMoved = false;
            startHolding();
            return true;
        }
        leaveReplacedFile();
    }
    // The name keeps changing: tried again at the next look.
    return false;
}

void TLMSenderLock::startHolding() {
    const std::string path = mFile.string();
    mLoadFrom.reset();
    mLostHold = false;
    if (mSettleAtOnce) {
        mSettleAtOnce = false;
        writeLoadFrom(kSettled);
    }
    const std::int64_t now = MillisecondsOf(platform::Clock::shared()->now());
    const std::int64_t most = std::chrono::duration_cast<std::chrono::milliseconds>(kNewFileWait).count();
    // A date further off than the wait (the clock set back) waits the wait.
    // The file's date may be any number: compared before it is subtracted.
    const std::optional<std::int64_t> loadFrom = readLoadFrom();
    std::int64_t left = most;
    if (loadFrom && *loadFrom <= now) {
        left = 0;
    } else if (loadFrom && *loadFrom < now + most) {
        left = *loadFrom - now;
    }
    if (left == 0) {
        TLMLogDebug(kTLMLogTag, "This process sends the stored logs (it holds %s).", path.c_str());
        return;
    }
    mLoadFrom = platform::Clock::shared()->instant() + std::chrono::milliseconds(left);
    TLMLogDebug(kTLMLogTag,
                "This process holds %s, made %lld ms ago; it sends the stored logs once a sender on a removed lock "
                "file has seen it, in %lld ms.",
                path.c_str(), static_cast<long long>(most - left), static_cast<long long>(left));
}

bool TLMSenderLock::waiting() {
    if (!mLoadFrom) return false;
    if (platform::Clock::shared()->instant() < *mLoadFrom) return true;
    mLoadFrom.reset();
    // Whatever the clocks do from now on.
    writeLoadFrom(kSettled);
    return false;
}

std::optional<std::int64_t> TLMSenderLock::readLoadFrom() const {
    std::int64_t date = 0;
    if (mFd < 0 || ::pread(mFd, &date, sizeof date, kLoadFromOffset) != static_cast<ssize_t>(sizeof date)) {
        return std::nullopt;
    }
    return date;
}

void TLMSenderLock::writeLoadFrom(std::int64_t date) {
    // Not written, the next holder waits too: later, never twice.
    [[maybe_unused]] const ssize_t written = ::pwrite(mFd, &date, sizeof date, kLoadFromOffset);
}

bool TLMSenderLock::takeLostToAnother() {
    if (!mLostHold || !mHeldByAnother) return false;
    mLostHold = false;
    return true;
}

bool TLMSenderLock::mayLoad() {
    if (mUnusable) return true;
    return holdOrTake() && !waiting();
}

std::optional<platform::Clock::Duration> TLMSenderLock::waitLeft() {
    if (!mHeld || mUnusable || !waiting()) return std::nullopt;
    return *mLoadFrom - platform::Clock::shared()->instant();
}

void TLMSenderLock::letGo() {
    mSettleAtOnce = false;
    if (!mHeld || mUnusable) return;
    // Closed, not only unlocked: the next take opens the file anew, should
    // it have been replaced meanwhile.
    ::close(mFd);
    mFd = -1;
    mHeld = false;
    mLoadFrom.reset();
}

void TLMSenderLock::markStored() {
    if (mHeld || !open()) return;
    writeMark();
}

void TLMSenderLock::writeMark() {
    // Who marked and how often: never the same twice, unlike a time stamp,
    // also when two locks of one process mark one file.
    static std::atomic<std::uint64_t> marks{0};
    Mark mark{};
    const auto pid = static_cast<std::uint32_t>(::getpid());
    const std::uint64_t count = ++marks;
    std::memcpy(mark.data(), &pid, sizeof pid);
    std::memcpy(mark.data() + 8, &count, sizeof count);
    // A mark that cannot be written delays the sender's look only until the
    // next one.
    [[maybe_unused]] const ssize_t written = ::pwrite(mFd, mark.data(), mark.size(), 0);
}

TLMSenderLock::Mark TLMSenderLock::readMark() const {
    Mark mark{};
    if (mFd >= 0 && ::pread(mFd, mark.data(), mark.size(), 0) != static_cast<ssize_t>(mark.size())) mark.fill(0);
    return mark;
}

bool TLMSenderLock::othersStoredSinceLastLook() {
    if (!mHeld || mUnusable || waiting()) return false;
    const Mark mark = readMark();
    const bool first = !mLooked;
    mLooked = true;
    if (!first && mark == mLastMark) return false;
    mLastMark = mark;
    return true;
}
