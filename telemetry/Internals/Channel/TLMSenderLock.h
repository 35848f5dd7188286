#pragma once
// Which of the processes that share one log database sends its logs: the
// one holding an advisory lock (flock) on a file beside the database. A
// process takes it without waiting; the kernel lets go of it when the
// process ends, however it ends, so another process can take over. The
// others only store their logs and mark the file when they have, so that
// the sender, looking at the file now and then, notices logs it did not
// store itself.
//
// A stored log thus goes out from one process only: batches are loaded by
// the holder alone, and a batch still stored when it ends goes again from
// the next holder, as it would after a restart.
//
// A lock is on the file, not on its name: removed (a cleaning tool emptied
// the folder) or replaced, the next launch would lock a new file while this
// one still held the old. So every try and every look checks that the name
// still names the file this process has open, and when it does not, moves
// to the file in its place; the holder also checks before each batch it
// loads. A new file may still have a holder on the old one that has not
// looked yet, or whose batches are still out. So the first process to open
// a file dates it, after the mark, kNewFileWait (longer than a look's
// interval) ahead, and no holder loads before that date. A new home (no
// database before this process: no process can have sent from it) dates
// its file in the past; so does a holder past its wait that moves on from
// its own file, as no other process loaded meanwhile.
//
// Not thread-safe: the channel group uses it on its logs queue only.

#include "platform/dispatch/Clock.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>

class TLMSenderLock {
public:
    // `file` is made when missing. When it cannot be opened or locked at all
    // (a folder that cannot be written, a symbolic link or a folder in its
    // place, a file system without locks), this process sends as though it
    // were alone, with a warning: its logs are not held back for a sender
    // that may never come. `newHome`: the log database was not there before
    // this process opened it, so no other process can have sent from it;
    // the file is then opened at once and dated in the past.
    TLMSenderLock(std::filesystem::path file, bool newHome);
    // Lets go of the lock.
    ~TLMSenderLock();
    TLMSenderLock(const TLMSenderLock&) = delete;
    TLMSenderLock& operator=(const TLMSenderLock&) = delete;

    // True when this process sends: it holds the lock, or took it just now.
    // A lock file removed or replaced meanwhile is let go of, and the lock
    // is tried on the file now in its place, with a warning; when another
    // process holds that one, this one marks it (what it stored is the new
    // sender's to send) and no longer sends.
    bool holdOrTake();
    // True when this process may load stored logs now: holdOrTake(), and
    // the file's date has come (see above). Asked before each batch.
    bool mayLoad();
    // While the holder waits for its file's date: how long is left.
    std::optional<platform::Clock::Duration> waitLeft();
    bool isHeld() const { return mHeld; }
    // The last try found the lock held by another process, which sends.
    bool heldByAnother() const { return mHeldByAnother; }
    // True once after this process, holding the lock, found its file
    // replaced and the one in its place held by another process.
    bool takeLostToAnother();
    // Another process may send from now on.
    void letGo();

    // Logs were stored by this process, which does not send.
    void markStored();
    // For the holder: true when another process marked the file since the
    // last look, and at the first look after the lock was taken and its
    // wait over (what was stored before is not known).
    bool othersStoredSinceLastLook();

    // How long after a lock file is made its holder loads nothing: a look
    // of the holder of a removed one (every 6 s), and time for that one's
    // batches out to be answered.
    static constexpr std::chrono::seconds kNewFileWait{10};

    // The lock file of the log database `dbFile`, beside it.
    static std::filesystem::path pathFor(const std::filesystem::path& dbFile);

private:
    using Mark = std::array<std::uint8_t, 16>;
    bool open();
    // The file's name still names the file open here (one lstat). A name
    // that cannot be looked at for another reason than its absence counts as
    // unchanged.
    bool nameStillNamesOpenFile() const;
    // Closes the file whose name went elsewhere, letting go of its lock.
    void leaveReplacedFile();
    // Just took the lock: waits until the file's date, if it is to come.
    void startHolding();
    // True while the wait lasts; once over, dates the file in the past.
    bool waiting();
    std::optional<std::int64_t> readLoadFrom() const;
    void writeLoadFrom(std::int64_t date);
    Mark readMark() const;
    void writeMark();
    void useWithoutLock(const char* reason, int error);

    const std::filesystem::path mFile;
    int mFd = -1;
    bool mHeld = false;
    bool mHeldByAnother = false;
    bool mUnusable = false;  // no lock to be had: sends as though alone
    bool mLooked = false;    // the holder has looked at the mark since taking the lock
    bool mMoved = false;     // left a replaced file: marks the new one unless it takes its lock
    bool mLostHold = false;  // left a replaced file it held, and took no other since
    // The open file, as fstat gave it when it was opened.
    bool mIdentityKnown = false;
    std::uint64_t mDevice = 0;
    std::uint64_t mInode = 0;
    Mark mLastMark{};
    // The next file taken is dated in the past: this process held its file
    // past the wait when it was replaced.
    bool mSettleAtOnce = false;
    // While set, the holder loads nothing before it (monotonic clock).
    std::optional<platform::Clock::Instant> mLoadFrom;
};
