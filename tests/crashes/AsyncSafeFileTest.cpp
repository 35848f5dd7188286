// The bounded output file: its limit, its buffering and what a refused
// write leaves behind.

#include "crashes/reporter/async/TLCrashAsyncFile.h"

#include "tests/support/TempRoot.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

class AsyncSafeFile : public testing::Test {
protected:
    void open(size_t limit) {
        mPath = testsupport::processRoot() / "report.bin";
        const int fd = ::open(mPath.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        tlcrash_async_file_init(&mFile, fd, limit);
    }
    // What has reached the file so far.
    std::string contents() const {
        std::ifstream in(mPath, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    bool write(char fill, size_t length) {
        const std::string bytes(length, fill);
        return tlcrash_async_file_write(&mFile, bytes.data(), bytes.size());
    }

    std::filesystem::path mPath;
    tlcrash_async_file mFile;
};

}  // namespace

TEST_F(AsyncSafeFile, BuffersSmallWritesAndPassesLargeOnesStraightThrough) {
    open(0);
    ASSERT_TRUE(write('a', 100));
    EXPECT_EQ(contents(), "");
    // 100 + 200 do not fit the 256-byte buffer: the 100 go first, the 200 wait.
    ASSERT_TRUE(write('b', 200));
    EXPECT_EQ(contents(), std::string(100, 'a'));
    ASSERT_TRUE(tlcrash_async_file_flush(&mFile));
    EXPECT_EQ(contents(), std::string(100, 'a') + std::string(200, 'b'));
    // 300 bytes on an empty buffer reach the file at once.
    ASSERT_TRUE(write('c', 300));
    EXPECT_EQ(contents().size(), 600u);
    // Exactly a buffer's worth stays in the buffer.
    ASSERT_TRUE(write('d', 256));
    EXPECT_EQ(contents().size(), 600u);
    ASSERT_TRUE(tlcrash_async_file_close(&mFile));
    EXPECT_EQ(contents(),
              std::string(100, 'a') + std::string(200, 'b') + std::string(300, 'c') + std::string(256, 'd'));
}

TEST_F(AsyncSafeFile, LimitAcceptsUpToItselfAndRefusesEverythingAfterTheFirstRefusal) {
    open(300);
    ASSERT_TRUE(write('a', 200));
    // 200 + 100 is exactly the limit.
    ASSERT_TRUE(write('b', 100));
    EXPECT_FALSE(write('c', 1));
    // Nothing more is taken, not even an empty write, and the bytes accepted
    // before the refusal still reach the file.
    EXPECT_FALSE(write('c', 0));
    EXPECT_TRUE(tlcrash_async_file_close(&mFile));
    EXPECT_EQ(contents(), std::string(200, 'a') + std::string(100, 'b'));

    // One byte over refuses the write whole; a shorter write after it is
    // refused too, so the file ends where the first refused write began
    // instead of going on with a gap.
    open(300);
    ASSERT_TRUE(write('a', 200));
    EXPECT_FALSE(write('b', 101));
    EXPECT_FALSE(write('c', 10));
    EXPECT_TRUE(tlcrash_async_file_close(&mFile));
    EXPECT_EQ(contents(), std::string(200, 'a'));
}

TEST_F(AsyncSafeFile, AFailedWriteOfTheSystemClosesTheFileToWrites) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    close(fds[0]);
    // Writing to a pipe without a reader fails with EPIPE (SIGPIPE ignored).
    signal(SIGPIPE, SIG_IGN);
    tlcrash_async_file file;
    tlcrash_async_file_init(&file, fds[1], 0);
    EXPECT_FALSE(tlcrash_async_file_write(&file, std::string(300, 'x').data(), 300));
    EXPECT_FALSE(tlcrash_async_file_write(&file, "y", 1));
    EXPECT_TRUE(tlcrash_async_file_flush(&file));
    EXPECT_TRUE(tlcrash_async_file_close(&file));
    signal(SIGPIPE, SIG_DFL);
}
