#pragma once
// Direct access to a database file with SQLite itself, beside the storage
// under test, to see and change what the file holds.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_vfs;

namespace rawdb {

// Another connection of the test (a backup, the sqlite3 shell) holding the
// file from its making until letGo() (or its end): the statements it ran
// are committed then.
class HeldFile {
public:
    HeldFile(const std::filesystem::path& file, const std::string& statements);
    ~HeldFile();
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;
    void letGo();

private:
    sqlite3* mDb = nullptr;
};

// While it lives, new connections use the default file system except that
// their sleeps return at once: a connection waiting for another one's lock
// counts out its whole wait (SQLite sums its sleeps, not the clock) at once
// and gives up, as it would after the wait.
class SleeplessFileSystem {
public:
    SleeplessFileSystem();
    ~SleeplessFileSystem();
    SleeplessFileSystem(const SleeplessFileSystem&) = delete;
    SleeplessFileSystem& operator=(const SleeplessFileSystem&) = delete;
    // The sleeps skipped so far.
    int sleeps() const { return sSleeps.load(); }
    // The next sleep, once, lasts until letSleepGo(): a connection caught
    // waiting for the held file. waitForHeldSleep() returns once it sleeps.
    void holdNextSleep();
    void waitForHeldSleep();
    void letSleepGo();

private:
    static int Sleep(sqlite3_vfs*, int microseconds);
    static inline std::atomic<int> sSleeps{0};
    enum class Hold { None, Next, Sleeping, LetGo };
    static inline std::mutex sHoldMutex;
    static inline std::condition_variable sHoldChanged;
    static inline Hold sHold = Hold::None;
    sqlite3_vfs* mFileSystem = nullptr;
};

// While it lives, new connections use the default file system with a
// fault of the disk or the folder, as root cannot make one with modes: a
// full disk refuses every write as the kernel's ENOSPC does (SQLITE_FULL);
// write-protected, every file opens for reading only, as SQLite opens a
// file it may not write.
class FaultyFileSystem {
public:
    enum class Fault { None, Full, WriteProtected };
    FaultyFileSystem();
    ~FaultyFileSystem();
    FaultyFileSystem(const FaultyFileSystem&) = delete;
    FaultyFileSystem& operator=(const FaultyFileSystem&) = delete;
    static void setFault(Fault fault) { sFault = fault; }

private:
    static inline std::atomic<Fault> sFault{Fault::None};
    sqlite3_vfs* mFileSystem = nullptr;
};

// Runs the statements; fails the test on an error.
void Execute(const std::filesystem::path& file, const std::string& sql);
// The first column of the first row as an integer (0 without a row).
std::int64_t Integer(const std::filesystem::path& file, const std::string& sql);
// The first column of the first row as text; none for NULL or without a row.
std::optional<std::string> Text(const std::filesystem::path& file, const std::string& sql);

// The page (counted from 1) where the table or index of that name starts.
std::int64_t RootPage(const std::filesystem::path& file, const std::string& name);
// Damage as a disk or a stray write leaves it, past SQLite: the page
// (counted from 1, at the file's own page size) overwritten with zeros, or
// with random bytes from the seed.
void ZeroPage(const std::filesystem::path& file, std::int64_t page);
void FillPageWithRandomBytes(const std::filesystem::path& file, std::int64_t page, unsigned seed);
// One byte of the file's header set.
void SetHeaderByte(const std::filesystem::path& file, std::size_t offset, std::uint8_t value);
// The first page overwritten with text: no database at all any more.
void OverwriteHeader(const std::filesystem::path& file);

}  // namespace rawdb
