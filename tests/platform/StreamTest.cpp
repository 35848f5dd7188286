#include "platform/foundation/Stream.h"

#include "platform/foundation/LogClient.h"
#include "platform/foundation/Paths.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace fs = std::filesystem;
using platform::InputStream;
using platform::OutputStream;
using platform::StreamStatus;

namespace {

std::vector<std::uint8_t> bytes(std::string_view text) { return {text.begin(), text.end()}; }

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

long writeText(OutputStream& stream, std::string_view text) {
    return stream.write(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

// Reads everything in pieces of `piece` bytes; checks that the stream ends
// AtEnd and keeps returning 0 there.
std::string readAll(InputStream& stream, std::size_t piece) {
    std::string out;
    std::vector<std::uint8_t> buffer(piece);
    for (;;) {
        long n = stream.read(buffer.data(), buffer.size());
        EXPECT_GE(n, 0);
        if (n <= 0) break;
        EXPECT_LE(static_cast<std::size_t>(n), piece);
        out.append(reinterpret_cast<const char*>(buffer.data()), static_cast<std::size_t>(n));
    }
    EXPECT_EQ(stream.status(), StreamStatus::AtEnd);
    EXPECT_EQ(stream.read(buffer.data(), buffer.size()), 0);
    return out;
}

void expectPosixError(const platform::Stream& stream, int code) {
    EXPECT_EQ(stream.status(), StreamStatus::Error);
    ASSERT_TRUE(stream.streamError().has_value());
    EXPECT_EQ(stream.streamError()->domain(), "POSIX");
    EXPECT_EQ(stream.streamError()->code(), code);
    const auto* text = stream.streamError()->userInfoValue<std::string>(platform::Error::LocalizedDescriptionKey);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(*text, std::strerror(code));
}

TEST(Stream, MemoryOutput) {
    auto stream = OutputStream::toMemory();
    EXPECT_EQ(stream->status(), StreamStatus::NotOpen);
    stream->open();
    EXPECT_EQ(stream->status(), StreamStatus::Open);
    EXPECT_TRUE(stream->hasSpaceAvailable());
    EXPECT_EQ(writeText(*stream, "hello, "), 7);
    EXPECT_EQ(writeText(*stream, ""), 0);
    EXPECT_EQ(writeText(*stream, std::string_view("wor\0ld", 6)), 6);
    stream->close();
    EXPECT_EQ(stream->status(), StreamStatus::Closed);
    ASSERT_NE(stream->dataWrittenToMemory(), nullptr);
    EXPECT_EQ(*stream->dataWrittenToMemory(), bytes(std::string_view("hello, wor\0ld", 13)));

    // Writing after close fails the stream and keeps what was written.
    EXPECT_EQ(writeText(*stream, "more"), -1);
    expectPosixError(*stream, EBADF);
    EXPECT_EQ(stream->dataWrittenToMemory()->size(), 13u);

    auto unopened = OutputStream::toMemory();
    EXPECT_EQ(writeText(*unopened, "x"), -1);
    expectPosixError(*unopened, EBADF);
    EXPECT_TRUE(unopened->dataWrittenToMemory()->empty());
}

TEST(Stream, MemoryOutputMakesRoomForAnExpectedLengthAndGivesItsBytesAway) {
    constexpr std::size_t kExpected = 3 * 1024 * 1024;
    auto stream = OutputStream::toMemory();
    stream->setExpectedLength(kExpected);
    stream->open();
    EXPECT_TRUE(stream->dataWrittenToMemory()->empty());
    EXPECT_EQ(writeText(*stream, "abc"), 3);
    // Room for the whole body from the first writeText on: it never moves.
    ASSERT_GE(stream->dataWrittenToMemory()->capacity(), kExpected);
    const std::uint8_t* storage = stream->dataWrittenToMemory()->data();
    const std::vector<std::uint8_t> rest(kExpected - 3, 0x5a);
    EXPECT_EQ(stream->write(rest.data(), rest.size()), static_cast<long>(rest.size()));
    EXPECT_EQ(stream->dataWrittenToMemory()->data(), storage);
    stream->close();

    // Taken, not copied; the stream keeps nothing.
    std::vector<std::uint8_t> taken = stream->takeDataWrittenToMemory();
    EXPECT_EQ(taken.data(), storage);
    ASSERT_EQ(taken.size(), kExpected);
    EXPECT_EQ(std::string(taken.begin(), taken.begin() + 3), "abc");
    EXPECT_EQ(taken.back(), 0x5a);
    EXPECT_TRUE(stream->dataWrittenToMemory()->empty());
    EXPECT_TRUE(stream->takeDataWrittenToMemory().empty());

    // Other streams ignore the hint and have nothing to give.
    const fs::path file = platform::Paths::root() / "hinted.bin";
    auto fileStream = OutputStream::toFile(file);
    fileStream->setExpectedLength(kExpected);
    fileStream->open();
    EXPECT_EQ(writeText(*fileStream, "abc"), 3);
    fileStream->close();
    EXPECT_TRUE(fileStream->takeDataWrittenToMemory().empty());
    EXPECT_EQ(readFile(file), "abc");
}

TEST(Stream, MemoryOutputKeepsEveryByteWhateverTheExpectedLengthSaid) {
    // Large enough for the pages to be made ahead of the writes, which must
    // stop before the bytes move (a body longer than said) or leave.
    constexpr std::size_t kMiB = 1024 * 1024;
    struct Case {
        const char* name;
        std::size_t expected;
        std::size_t written;
        bool closeFirst;
    };
    const Case cases[] = {
        {"as long as said", 24 * kMiB, 24 * kMiB, true},
        {"longer than said: the room grows", 8 * kMiB, 20 * kMiB + 3, true},
        {"shorter than said", 64 * kMiB, 5 * kMiB + 1, true},
        {"taken before it is closed", 32 * kMiB, 10 * kMiB, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto stream = OutputStream::toMemory();
        stream->setExpectedLength(c.expected);
        stream->open();
        std::vector<std::uint8_t> piece(256 * 1024 + 7);
        std::size_t done = 0;
        while (done < c.written) {
            const std::size_t count = std::min(piece.size(), c.written - done);
            for (std::size_t i = 0; i < count; ++i) piece[i] = static_cast<std::uint8_t>((done + i) * 31 / 7);
            ASSERT_EQ(stream->write(piece.data(), count), static_cast<long>(count));
            done += count;
        }
        if (c.closeFirst) stream->close();
        const std::vector<std::uint8_t> taken = stream->takeDataWrittenToMemory();
        ASSERT_EQ(taken.size(), c.written);
        std::size_t wrong = 0;
        for (std::size_t i = 0; i < taken.size(); ++i) wrong += taken[i] != static_cast<std::uint8_t>(i * 31 / 7);
        EXPECT_EQ(wrong, 0u);
    }

    // A stream dropped half-way leaves no thread running behind it. Only
    // its own threads are counted: those of earlier tests may still come
    // and go.
    const auto prefaulters = [] {
        int count = 0;
        for (const auto& task : fs::directory_iterator("/proc/self/task")) {
            std::ifstream comm(task.path() / "comm");
            std::string name;
            std::getline(comm, name);
            count += name == "prefault";
        }
        return count;
    };
    EXPECT_EQ(prefaulters(), 0);
    auto dropped = OutputStream::toMemory();
    dropped->setExpectedLength(48 * kMiB);
    dropped->open();
    const std::vector<std::uint8_t> some(3 * kMiB, 1);
    EXPECT_EQ(dropped->write(some.data(), some.size()), static_cast<long>(some.size()));
    dropped.reset();
    EXPECT_EQ(prefaulters(), 0);
}

TEST(Stream, FileOutputCreatesTruncatesAndAppends) {
    const fs::path file = platform::Paths::root() / "out.bin";
    {
        std::ofstream old(file, std::ios::binary);
        old << "old contents that must go";
    }
    auto stream = OutputStream::toFile(file);
    EXPECT_EQ(stream->dataWrittenToMemory(), nullptr);
    stream->open();
    ASSERT_EQ(stream->status(), StreamStatus::Open);
    EXPECT_EQ(writeText(*stream, "first"), 5);
    stream->close();
    EXPECT_EQ(stream->status(), StreamStatus::Closed);
    EXPECT_EQ(readFile(file), "first");
    EXPECT_EQ(writeText(*stream, "late"), -1);
    expectPosixError(*stream, EBADF);
    EXPECT_EQ(readFile(file), "first");

    auto appending = OutputStream::toFile(file, true);
    appending->open();
    EXPECT_EQ(writeText(*appending, "+second"), 7);
    appending->close();
    EXPECT_EQ(readFile(file), "first+second");

    const fs::path fresh = platform::Paths::root() / "fresh.bin";
    auto created = OutputStream::toFile(fresh, true);
    created->open();
    EXPECT_EQ(created->status(), StreamStatus::Open);
    created->close();
    EXPECT_TRUE(fs::exists(fresh));
    EXPECT_EQ(fs::file_size(fresh), 0u);
}

TEST(Stream, MissingFolderIsAnErrorAtOpen) {
    const fs::path file = platform::Paths::root() / "no-such-folder" / "out.bin";
    auto out = OutputStream::toFile(file);
    out->open();
    expectPosixError(*out, ENOENT);
    EXPECT_FALSE(out->hasSpaceAvailable());
    EXPECT_EQ(writeText(*out, "x"), -1);
    EXPECT_FALSE(fs::exists(file.parent_path()));

    auto in = InputStream::withFile(file);
    in->open();
    expectPosixError(*in, ENOENT);
    std::uint8_t buffer[4];
    EXPECT_EQ(in->read(buffer, sizeof buffer), -1);
}

TEST(Stream, InputReadsToTheEnd) {
    std::string text;
    for (int i = 0; i < 1000; ++i) text += std::to_string(i) + ',';

    auto fromData = InputStream::withData(bytes(text));
    std::uint8_t buffer[8];
    EXPECT_EQ(fromData->read(buffer, sizeof buffer), -1);  // not open yet
    expectPosixError(*fromData, EBADF);

    for (std::size_t piece : {1u, 7u, 4096u}) {
        SCOPED_TRACE(piece);
        auto data = InputStream::withData(bytes(text));
        data->open();
        EXPECT_TRUE(data->hasBytesAvailable());
        EXPECT_EQ(readAll(*data, piece), text);
        EXPECT_FALSE(data->hasBytesAvailable());
        data->close();
        EXPECT_EQ(data->status(), StreamStatus::Closed);

        const fs::path file = platform::Paths::root() / "in.txt";
        {
            std::ofstream out(file, std::ios::binary);
            out << text;
        }
        auto fromFile = InputStream::withFile(file);
        fromFile->open();
        ASSERT_EQ(fromFile->status(), StreamStatus::Open);
        EXPECT_EQ(readAll(*fromFile, piece), text);
        fromFile->close();
        EXPECT_EQ(fromFile->status(), StreamStatus::Closed);
    }

    auto empty = InputStream::withData({});
    empty->open();
    EXPECT_EQ(readAll(*empty, 16), "");
}

}  // namespace

namespace {

TEST(StreamLogClient, WritesLevelAndMessageLinesUpToItsThreshold) {
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    platform::StreamLogClient client(6, file);
    EXPECT_TRUE(client.wouldSend(3));
    EXPECT_TRUE(client.wouldSend(6));
    EXPECT_FALSE(client.wouldSend(7));
    client.send(3, "Request failed: 404");
    client.send(7, "debug detail");  // above the threshold: dropped
    client.send(6, "");
    std::rewind(file);
    char buffer[256] = {};
    std::size_t n = std::fread(buffer, 1, sizeof buffer - 1, file);
    std::fclose(file);
    EXPECT_EQ(std::string(buffer, n), "3 Request failed: 404\n6 \n");
}

}  // namespace
