#include "platform/security/Keychain.h"

#include "platform/foundation/Paths.h"
#include "platform/foundation/TemporaryFolder.h"
#include "tests/support/RunProgram.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <thread>

namespace platform::security {
// Failures name the status by its number, as callers log it.
void PrintTo(Keychain::Status status, std::ostream* out) { *out << static_cast<int>(status); }
}  // namespace platform::security

namespace fs = std::filesystem;
using platform::security::Keychain;
using Status = Keychain::Status;
using Bytes = Keychain::Bytes;

namespace {

mode_t permissionsOf(const fs::path& p) {
    struct stat info {};
    EXPECT_EQ(::stat(p.c_str(), &info), 0) << p;
    return info.st_mode & 07777;
}

Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Makes file writes beyond `bytes` fail (EFBIG) for a scope, whoever the
// user is: the file-size limit binds root too.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        mOldHandler = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &mSaved);
        rlimit limit = mSaved;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &mSaved);
        std::signal(SIGXFSZ, mOldHandler);
    }

private:
    rlimit mSaved{};
    void (*mOldHandler)(int) = nullptr;
};

constexpr const char* kSharing = "VKMSharedLayoutsAPI";
constexpr const char* kTelemetry = "com.vekmont.app.Telemetry";

}  // namespace

TEST(KeychainTest, AnyBytesSurviveARestartInAPrivateFile) {
    const mode_t savedUmask = ::umask(0);  // a file or folder made wider than allowed would show
    Bytes everyByte(256);
    for (int i = 0; i < 256; ++i) everyByte[i] = static_cast<std::uint8_t>(i);
    const std::string oddAccount("user\0\xff\xfe id", 11);  // not UTF-8, with a NUL
    {
        Keychain keychain;
        ASSERT_EQ(keychain.addItem(kSharing, "4711", bytesOf("pa\xC3\x9F\"word\\\n")), Status::Success);
        ASSERT_EQ(keychain.addItem(kSharing, oddAccount, everyByte), Status::Success);
        ASSERT_EQ(keychain.addItem(kTelemetry, "kTLEncryptionKeyTag", Bytes{}), Status::Success);
    }
    ::umask(savedUmask);

    const fs::path file = platform::Paths::library() / "Keychains" / "vekmont.keychain";
    EXPECT_EQ(Keychain::defaultFilePath(), file);
    EXPECT_EQ(permissionsOf(file.parent_path()), 0700u);
    EXPECT_EQ(permissionsOf(file), 0600u);
    EXPECT_EQ(namesIn(file.parent_path()), std::vector<std::string>{"vekmont.keychain"});

    Keychain restarted(file);
    Bytes data;
    ASSERT_EQ(restarted.copyItem(kSharing, "4711", data), Status::Success);
    EXPECT_EQ(data, bytesOf("pa\xC3\x9F\"word\\\n"));
    ASSERT_EQ(restarted.copyItem(kSharing, oddAccount, data), Status::Success);
    EXPECT_EQ(data, everyByte);
    ASSERT_EQ(restarted.copyItem(kTelemetry, "kTLEncryptionKeyTag", data), Status::Success);
    EXPECT_TRUE(data.empty());
}

TEST(KeychainTest, StatusCodesTellDuplicatesAndMissingItemsApart) {
    // The numbers callers log.
    EXPECT_EQ(static_cast<int>(Status::Success), 0);
    EXPECT_EQ(static_cast<int>(Status::DuplicateItem), -25299);
    EXPECT_EQ(static_cast<int>(Status::ItemNotFound), -25300);

    Keychain keychain;
    Bytes data = bytesOf("untouched");
    EXPECT_EQ(keychain.copyItem(kSharing, "4711", data), Status::ItemNotFound);
    EXPECT_EQ(keychain.deleteItem(kSharing, "4711"), Status::ItemNotFound);
    EXPECT_EQ(keychain.deleteAllItems(kSharing), Status::ItemNotFound);
    EXPECT_FALSE(fs::exists(keychain.filePath())) << "reads and failed deletes write nothing";

    ASSERT_EQ(keychain.addItem(kSharing, "4711", bytesOf("first")), Status::Success);
    EXPECT_EQ(keychain.addItem(kSharing, "4711", bytesOf("second")), Status::DuplicateItem);
    ASSERT_EQ(keychain.copyItem(kSharing, "4711", data), Status::Success);
    EXPECT_EQ(data, bytesOf("first"));
    // Service and account together name an item.
    EXPECT_EQ(keychain.copyItem(kTelemetry, "4711", data), Status::ItemNotFound);
    EXPECT_EQ(data, bytesOf("first"));

    ASSERT_EQ(keychain.setItem(kSharing, "4711", bytesOf("replaced")), Status::Success);
    ASSERT_EQ(keychain.setItem(kSharing, "0815", bytesOf("added")), Status::Success);
    ASSERT_EQ(keychain.copyItem(kSharing, "4711", data), Status::Success);
    EXPECT_EQ(data, bytesOf("replaced"));
    ASSERT_EQ(keychain.deleteItem(kSharing, "4711"), Status::Success);
    EXPECT_EQ(keychain.copyItem(kSharing, "4711", data), Status::ItemNotFound);
}

TEST(KeychainTest, DeletingAllOfOneServiceLeavesTheOthers) {
    Keychain keychain;
    ASSERT_EQ(keychain.addItem(kTelemetry, "kTLEncryptionKeyTag", bytesOf("key one")), Status::Success);
    ASSERT_EQ(keychain.addItem(kTelemetry, "kTLEncryptionKeyTagAlternate", bytesOf("key two")), Status::Success);
    ASSERT_EQ(keychain.addItem(kSharing, "kTLEncryptionKeyTag", bytesOf("password")), Status::Success);
    ASSERT_EQ(keychain.addItem(std::string(kTelemetry) + "2", "x", bytesOf("near name")), Status::Success);

    ASSERT_EQ(keychain.deleteAllItems(kTelemetry), Status::Success);
    Bytes data;
    EXPECT_EQ(keychain.copyItem(kTelemetry, "kTLEncryptionKeyTag", data), Status::ItemNotFound);
    EXPECT_EQ(keychain.copyItem(kTelemetry, "kTLEncryptionKeyTagAlternate", data), Status::ItemNotFound);
    ASSERT_EQ(keychain.copyItem(kSharing, "kTLEncryptionKeyTag", data), Status::Success);
    EXPECT_EQ(data, bytesOf("password"));
    ASSERT_EQ(keychain.copyItem(std::string(kTelemetry) + "2", "x", data), Status::Success);
    EXPECT_EQ(keychain.deleteAllItems(kTelemetry), Status::ItemNotFound);
}

TEST(KeychainTest, AFailedWriteReportsAnErrorAndChangesNothing) {
    // A folder that cannot exist: its parent is a regular file.
    const fs::path plain = platform::Paths::root() / "plain";
    testsupport::WriteWholeFile(plain, "not a folder");
    Keychain nowhere(plain / "Keychains" / "vekmont.keychain");
    EXPECT_EQ(nowhere.addItem(kSharing, "4711", bytesOf("pw")), Status::IOError);
    EXPECT_EQ(nowhere.setItem(kSharing, "4711", bytesOf("pw")), Status::IOError);
    Bytes data;
    EXPECT_EQ(nowhere.copyItem(kSharing, "4711", data), Status::IOError);
    EXPECT_EQ(testsupport::ReadWholeFile(plain), "not a folder");

    // A keychain whose next version cannot be written (the file-size limit
    // stops the temporary file), read back by the same and a new object.
    Keychain keychain;
    ASSERT_EQ(keychain.addItem(kSharing, "4711", bytesOf("old password")), Status::Success);
    const std::string before = testsupport::ReadWholeFile(keychain.filePath());
    {
        FileSizeLimit limit(before.size());
        EXPECT_EQ(keychain.setItem(kSharing, "4711", Bytes(4096, 'n')), Status::IOError);
        EXPECT_EQ(keychain.addItem(kSharing, "0815", Bytes(4096, 'n')), Status::IOError);
    }
    EXPECT_EQ(testsupport::ReadWholeFile(keychain.filePath()), before);
    EXPECT_EQ(namesIn(keychain.filePath().parent_path()), std::vector<std::string>{"vekmont.keychain"});
    for (const Keychain& reader : {keychain, Keychain(keychain.filePath())}) {
        ASSERT_EQ(reader.copyItem(kSharing, "4711", data), Status::Success);
        EXPECT_EQ(data, bytesOf("old password"));
        EXPECT_EQ(reader.copyItem(kSharing, "0815", data), Status::ItemNotFound);
    }

    // A store over a damaged file that then fails keeps no copy aside.
    testsupport::WriteWholeFile(keychain.filePath(), "damaged");
    {
        FileSizeLimit limit(4);
        EXPECT_EQ(keychain.setItem(kSharing, "4711", bytesOf("pw")), Status::IOError);
    }
    EXPECT_EQ(testsupport::ReadWholeFile(keychain.filePath()), "damaged");
    EXPECT_EQ(namesIn(keychain.filePath().parent_path()), std::vector<std::string>{"vekmont.keychain"});
}

TEST(KeychainTest, ADamagedFileIsReportedAndKeptAside) {
    const std::string valid =
        R"({"version":1,"items":[{"service":"s","account":"a","data":{"$type":"data","base64":"AAE="}}]})";
    struct Case {
        const char* name;
        std::string bytes;
    };
    const Case cases[] = {
        {"not JSON", "\x89PNG\r\n\x1a\n garbage"},
        {"cut short", valid.substr(0, valid.size() / 2)},
        {"another version", R"({"version":2,"items":[]})"},
        {"item without data", R"({"version":1,"items":[{"service":"s","account":"a"}]})"},
        {"data as text", R"({"version":1,"items":[{"service":"s","account":"a","data":"AAE="}]})"},
        {"the same item twice",
         R"({"version":1,"items":[{"service":"s","account":"a","data":{"$type":"data","base64":""}},)"
         R"({"service":"s","account":"a","data":{"$type":"data","base64":"AAE="}}]})"},
        {"nested too deep", std::string(100000, '[')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform::TemporaryFolder folder("vekmont-keychain");
        const fs::path file = folder.path() / "vekmont.keychain";
        const fs::path aside = folder.path() / "vekmont.keychain.damaged";
        testsupport::WriteWholeFile(file, c.bytes);
        Keychain keychain(file);
        Bytes data = bytesOf("untouched");
        EXPECT_EQ(keychain.copyItem("s", "a", data), Status::Damaged);
        EXPECT_EQ(keychain.deleteItem("s", "a"), Status::Damaged);
        EXPECT_EQ(keychain.deleteAllItems("s"), Status::Damaged);
        EXPECT_EQ(data, bytesOf("untouched"));
        EXPECT_EQ(testsupport::ReadWholeFile(file), c.bytes);

        // The next store keeps the damaged file and starts afresh.
        ASSERT_EQ(keychain.addItem("s", "a", bytesOf("new")), Status::Success);
        EXPECT_EQ(testsupport::ReadWholeFile(aside), c.bytes);
        ASSERT_EQ(keychain.copyItem("s", "a", data), Status::Success);
        EXPECT_EQ(data, bytesOf("new"));

        // Damaged again while the first one is still aside: nothing is
        // overwritten, every store refuses.
        testsupport::WriteWholeFile(file, "damaged again");
        EXPECT_EQ(keychain.setItem("s", "a", bytesOf("newer")), Status::Damaged);
        EXPECT_EQ(testsupport::ReadWholeFile(file), "damaged again");
        EXPECT_EQ(testsupport::ReadWholeFile(aside), c.bytes);
    }
}

TEST(KeychainTest, AnOversizedOrOddFileNeverLoadsWhole) {
    platform::TemporaryFolder folder("vekmont-keychain");
    const fs::path file = folder.path() / "vekmont.keychain";
    // A sparse file far beyond the limit: refused from its size alone.
    testsupport::WriteWholeFile(file, "{");
    fs::resize_file(file, std::uintmax_t{64} << 20);
    Keychain keychain(file);
    Bytes data;
    EXPECT_EQ(keychain.copyItem("s", "a", data), Status::Damaged);
    EXPECT_EQ(fs::file_size(file), std::uintmax_t{64} << 20);
    fs::remove(file);

    // A FIFO in the file's place cannot be read, hangs nothing and is left be.
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    EXPECT_EQ(keychain.copyItem("s", "a", data), Status::IOError);
    EXPECT_EQ(keychain.setItem("s", "a", bytesOf("x")), Status::IOError);
    EXPECT_TRUE(fs::is_fifo(file));

    // Data that would make the file too large to read back is refused.
    fs::remove(file);
    EXPECT_EQ(keychain.setItem("s", "a", Bytes(13u << 20, 7)), Status::TooLarge);
    EXPECT_FALSE(fs::exists(file));
}

TEST(KeychainTest, ThreadsWithKeychainsOfTheirOwnLoseNoItem) {
    constexpr int kThreads = 4;
    constexpr int kItems = 40;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            Keychain keychain;
            for (int i = 0; i < kItems; ++i) {
                const std::string account = std::to_string(t) + "/" + std::to_string(i);
                EXPECT_EQ(keychain.addItem(kSharing, account, bytesOf(account)), Status::Success);
                if (i % 2 == 1) {
                    EXPECT_EQ(keychain.deleteItem(kSharing, account), Status::Success);
                }
            }
        });
    }
    for (auto& thread : threads) thread.join();

    Keychain keychain;
    for (int t = 0; t < kThreads; ++t) {
        for (int i = 0; i < kItems; ++i) {
            const std::string account = std::to_string(t) + "/" + std::to_string(i);
            Bytes data;
            if (i % 2 == 1) {
                EXPECT_EQ(keychain.copyItem(kSharing, account, data), Status::ItemNotFound) << account;
            } else {
                ASSERT_EQ(keychain.copyItem(kSharing, account, data), Status::Success) << account;
                EXPECT_EQ(data, bytesOf(account));
            }
        }
    }
}
