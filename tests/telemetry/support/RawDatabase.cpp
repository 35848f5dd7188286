#include "tests/telemetry/support/RawDatabase.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>
#include <random>

namespace rawdb {

namespace {

struct Connection {
    explicit Connection(const std::filesystem::path& file) {
        EXPECT_EQ(sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK) << file;
    }
    ~Connection() { sqlite3_close_v2(db); }
    sqlite3* db = nullptr;
};

}  // namespace

HeldFile::HeldFile(const std::filesystem::path& file, const std::string& statements) {
    EXPECT_EQ(sqlite3_open_v2(file.c_str(), &mDb, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK) << file;
    EXPECT_EQ(sqlite3_exec(mDb, statements.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << statements;
}

HeldFile::~HeldFile() { letGo(); }

void HeldFile::letGo() {
    if (mDb == nullptr) return;
    EXPECT_EQ(sqlite3_exec(mDb, "COMMIT;", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close_v2(mDb);
    mDb = nullptr;
}

SleeplessFileSystem::SleeplessFileSystem() {
    sqlite3_vfs* base = sqlite3_vfs_find(nullptr);
    mFileSystem = new sqlite3_vfs(*base);
    mFileSystem->zName = "vekmont-sleepless";
    mFileSystem->xSleep = &Sleep;
    sSleeps = 0;
    sHold = Hold::None;
    EXPECT_EQ(sqlite3_vfs_register(mFileSystem, 1), SQLITE_OK);
}

SleeplessFileSystem::~SleeplessFileSystem() {
    letSleepGo();
    sqlite3_vfs_unregister(mFileSystem);
    delete mFileSystem;
}

int SleeplessFileSystem::Sleep(sqlite3_vfs*, int microseconds) {
    ++sSleeps;
    std::unique_lock lock(sHoldMutex);
    if (sHold == Hold::Next) {
        sHold = Hold::Sleeping;
        sHoldChanged.notify_all();
        sHoldChanged.wait(lock, [] { return sHold == Hold::LetGo; });
    }
    return microseconds;
}

void SleeplessFileSystem::holdNextSleep() {
    std::lock_guard lock(sHoldMutex);
    sHold = Hold::Next;
}

void SleeplessFileSystem::waitForHeldSleep() {
    std::unique_lock lock(sHoldMutex);
    sHoldChanged.wait(lock, [] { return sHold != Hold::Next; });
}

void SleeplessFileSystem::letSleepGo() {
    std::lock_guard lock(sHoldMutex);
    sHold = Hold::LetGo;
    sHoldChanged.notify_all();
}

namespace {

// A file of the faulty file system: the default one's behind it.
struct FaultyFile {
    sqlite3_file base;
    sqlite3_file* real;
};

sqlite3_vfs* gBase = nullptr;
std::atomic<FaultyFileSystem::Fault>* gFault = nullptr;

sqlite3_file* Real(sqlite3_file* file) { return reinterpret_cast<FaultyFile*>(file)->real; }

const sqlite3_io_methods kFaultyMethods = {
    3,
    [](sqlite3_file* f) { return Real(f)->pMethods->xClose(Real(f)); },
    [](sqlite3_file* f, void* data, int amount, sqlite3_int64 offset) {
        return Real(f)->pMethods->xRead(Real(f), data, amount, offset);
    },
    [](sqlite3_file* f, const void* data, int amount, sqlite3_int64 offset) {
        if (gFault->load() == FaultyFileSystem::Fault::Full) return SQLITE_FULL;
        return Real(f)->pMethods->xWrite(Real(f), data, amount, offset);
    },
    [](sqlite3_file* f, sqlite3_int64 size) { return Real(f)->pMethods->xTruncate(Real(f), size); },
    [](sqlite3_file* f, int flags) { return Real(f)->pMethods->xSync(Real(f), flags); },
    [](sqlite3_file* f, sqlite3_int64* size) { return Real(f)->pMethods->xFileSize(Real(f), size); },
    [](sqlite3_file* f, int lock) { return Real(f)->pMethods->xLock(Real(f), lock); },
    [](sqlite3_file* f, int lock) { return Real(f)->pMethods->xUnlock(Real(f), lock); },
    [](sqlite3_file* f, int* out) { return Real(f)->pMethods->xCheckReservedLock(Real(f), out); },
    [](sqlite3_file* f, int op, void* arg) { return Real(f)->pMethods->xFileControl(Real(f), op, arg); },
    [](sqlite3_file* f) { return Real(f)->pMethods->xSectorSize(Real(f)); },
    [](sqlite3_file* f) { return Real(f)->pMethods->xDeviceCharacteristics(Real(f)); },
    [](sqlite3_file* f, int region, int size, int extend, void volatile** out) {
        return Real(f)->pMethods->xShmMap(Real(f), region, size, extend, out);
    },
    [](sqlite3_file* f, int offset, int n, int flags) {
        return Real(f)->pMethods->xShmLock(Real(f), offset, n, flags);
    },
    [](sqlite3_file* f) { Real(f)->pMethods->xShmBarrier(Real(f)); },
    [](sqlite3_file* f, int deleteFlag) { return Real(f)->pMethods->xShmUnmap(Real(f), deleteFlag); },
    [](sqlite3_file* f, sqlite3_int64 offset, int amount, void** out) {
        return Real(f)->pMethods->xFetch(Real(f), offset, amount, out);
    },
    [](sqlite3_file* f, sqlite3_int64 offset, void* page) {
        return Real(f)->pMethods->xUnfetch(Real(f), offset, page);
    },
};

int FaultyOpen(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags) {
    auto* faulty = reinterpret_cast<FaultyFile*>(file);
    faulty->base.pMethods = nullptr;
    faulty->real = reinterpret_cast<sqlite3_file*>(faulty + 1);
    if (gFault->load() == FaultyFileSystem::Fault::WriteProtected && (flags & SQLITE_OPEN_READWRITE) != 0) {
        flags = (flags & ~(SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE)) | SQLITE_OPEN_READONLY;
    }
    const int result = gBase->xOpen(gBase, name, faulty->real, flags, outFlags);
    if (faulty->real->pMethods != nullptr) faulty->base.pMethods = &kFaultyMethods;
    return result;
}

}  // namespace

FaultyFileSystem::FaultyFileSystem() {
    gBase = sqlite3_vfs_find(nullptr);
    gFault = &sFault;
    sFault = Fault::None;
    mFileSystem = new sqlite3_vfs(*gBase);
    mFileSystem->zName = "vekmont-faulty";
    mFileSystem->szOsFile = static_cast<int>(sizeof(FaultyFile)) + gBase->szOsFile;
    mFileSystem->xOpen = &FaultyOpen;
    EXPECT_EQ(sqlite3_vfs_register(mFileSystem, 1), SQLITE_OK);
}

FaultyFileSystem::~FaultyFileSystem() {
    sqlite3_vfs_unregister(mFileSystem);
    delete mFileSystem;
    sFault = Fault::None;
}

void Execute(const std::filesystem::path& file, const std::string& sql) {
    Connection connection(file);
    char* error = nullptr;
    EXPECT_EQ(sqlite3_exec(connection.db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK)
        << sql << ": " << (error ? error : "");
    sqlite3_free(error);
}

namespace {

// Steps the query once and hands its first row to `read`.
template <typename Read>
void FirstRow(const std::filesystem::path& file, const std::string& sql, Read read) {
    Connection connection(file);
    sqlite3_stmt* statement = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(connection.db, sql.c_str(), -1, &statement, nullptr), SQLITE_OK) << sql;
    if (statement && sqlite3_step(statement) == SQLITE_ROW) read(statement);
    sqlite3_finalize(statement);
}

}  // namespace

std::int64_t Integer(const std::filesystem::path& file, const std::string& sql) {
    std::int64_t value = 0;
    FirstRow(file, sql, [&](sqlite3_stmt* row) { value = sqlite3_column_int64(row, 0); });
    return value;
}

std::optional<std::string> Text(const std::filesystem::path& file, const std::string& sql) {
    std::optional<std::string> value;
    FirstRow(file, sql, [&](sqlite3_stmt* row) {
        if (const unsigned char* text = sqlite3_column_text(row, 0)) {
            value.emplace(reinterpret_cast<const char*>(text), static_cast<std::size_t>(sqlite3_column_bytes(row, 0)));
        }
    });
    return value;
}

std::int64_t RootPage(const std::filesystem::path& file, const std::string& name) {
    const std::int64_t page = Integer(file, "SELECT rootpage FROM sqlite_master WHERE name = '" + name + "'");
    EXPECT_GT(page, 0) << name;
    return page;
}

namespace {

void WritePage(const std::filesystem::path& file, std::int64_t page, const std::vector<char>& bytes) {
    const std::int64_t pageSize = Integer(file, "PRAGMA page_size");
    ASSERT_EQ(static_cast<std::int64_t>(bytes.size()), pageSize);
    ASSERT_GE(page, 1);
    ASSERT_LE(page * pageSize, static_cast<std::int64_t>(std::filesystem::file_size(file)));
    std::fstream out(file, std::ios::binary | std::ios::in | std::ios::out);
    out.seekp((page - 1) * pageSize);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << file;
}

}  // namespace

void ZeroPage(const std::filesystem::path& file, std::int64_t page) {
    WritePage(file, page, std::vector<char>(static_cast<std::size_t>(Integer(file, "PRAGMA page_size")), 0));
}

void FillPageWithRandomBytes(const std::filesystem::path& file, std::int64_t page, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<char> bytes(static_cast<std::size_t>(Integer(file, "PRAGMA page_size")));
    for (char& byte : bytes) byte = static_cast<char>(random() & 0xFF);
    WritePage(file, page, bytes);
}

void SetHeaderByte(const std::filesystem::path& file, std::size_t offset, std::uint8_t value) {
    ASSERT_LT(offset, 100u);
    std::fstream out(file, std::ios::binary | std::ios::in | std::ios::out);
    out.seekp(static_cast<std::streamoff>(offset));
    out.put(static_cast<char>(value));
    ASSERT_TRUE(out.good()) << file;
}

void OverwriteHeader(const std::filesystem::path& file) {
    std::vector<char> bytes(static_cast<std::size_t>(Integer(file, "PRAGMA page_size")));
    const std::string text = "not a database any more. ";
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = text[i % text.size()];
    WritePage(file, 1, bytes);
}

}  // namespace rawdb
