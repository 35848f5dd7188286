// Reading records through a CStreamReadScope: the same records as through
// stdio at any block size, the stream's position handed back when the scope
// ends, the size taken once, every length checked against it, and only the
// scope's own file held.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/fileformat/StreamRead.h"
#include "engine/fileformat/Tag.h"
#include "engine/fileformat/TaggedFile.h"
#include "tests/support/RecordBytes.h"
#include "tests/support/TempRoot.h"

namespace {

using testsupport::Bytes;
using testsupport::Cat;
using testsupport::Int;
using testsupport::KindName;
using testsupport::Record;
using testsupport::Stream;
using testsupport::StreamKind;
using testsupport::Text;

struct tRead {
    unsigned id;
    Bytes data;
};

// Every record up to the first failure, and the status of that failure.
std::vector<tRead> ReadRecords(FILE* file, tReadStatus& end) {
    std::vector<tRead> records;
    CTag tag;
    while (tag.ReadTag(file)) records.push_back({tag.GetId(), Bytes(tag.GetBytes(), tag.GetBytes() + tag.GetLength())});
    end = tag.LastStatus();
    return records;
}

Bytes Pattern(std::size_t size) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 % 251);
    return bytes;
}

// Records of every size class: inline, allocated, above a block, long form.
Bytes MixedRecords() {
    return Cat({Record(1, Int(7)), Record(2, Text("short text")), Record(3, Pattern(65)), Record(4, Pattern(300)),
                Record(5, Pattern(70000)), Record(6, Int(-1)), Record(7, Pattern(3))});
}

}  // namespace

TEST(StreamReadScope, RecordsReadTheSameAsThroughStdioAtEveryBlockSize) {
    const Bytes file = Cat({MixedRecords(), Record(9, Int(99))});
    Stream plain(file, StreamKind::DiskFile);
    tReadStatus plainEnd = tReadStatus::Ok;
    const std::vector<tRead> expected = ReadRecords(plain.handle, plainEnd);
    ASSERT_EQ(expected.size(), 8u);
    ASSERT_EQ(plainEnd, tReadStatus::EndOfFile);

    for (StreamKind kind : {StreamKind::DiskFile, StreamKind::MemoryBuffer}) {
        for (std::size_t block :
             {std::size_t{1}, std::size_t{5}, std::size_t{64}, std::size_t{4096}, CStreamReadScope::kBlockSize}) {
            SCOPED_TRACE(std::string(KindName(kind)) + ", block " + std::to_string(block));
            Stream s(file, kind);
            std::vector<tRead> got;
            {
                CStreamReadScope scope(s.handle, block);
                ASSERT_EQ(CStreamReadScope::Find(s.handle), &scope);
                EXPECT_EQ(BytesLeftInStream(s.handle), static_cast<long long>(file.size()));
                CTag tag;
                for (int i = 0; i < 7 && tag.ReadTag(s.handle); ++i) {
                    got.push_back({tag.GetId(), Bytes(tag.GetBytes(), tag.GetBytes() + tag.GetLength())});
                }
                EXPECT_EQ(BytesLeftInStream(s.handle), 8);
            }
            // The scope hands the stream back just past what it consumed.
            EXPECT_EQ(CStreamReadScope::Find(s.handle), nullptr);
            EXPECT_EQ(ftello(s.handle), static_cast<off_t>(file.size() - 8));
            CTaggedFile tail(s.handle);
            std::int32_t last = 0;
            EXPECT_TRUE(tail.ReadInt(9, last));
            EXPECT_EQ(last, 99);
            ASSERT_EQ(got.size(), 7u);
            for (std::size_t i = 0; i < got.size(); ++i) {
                EXPECT_EQ(got[i].id, expected[i].id) << i;
                EXPECT_EQ(got[i].data, expected[i].data) << i;
            }
        }
    }
}

TEST(StreamReadScope, EveryLengthIsCheckedAgainstTheSizeTakenAtTheStart) {
    // A small record that claims 10 bytes where 4 are left is refused and
    // the stream put at its end.
    const Bytes cut = Cat({Record(1, Int(5)), Bytes{0x00, 0x02, 0x00, 0x0A, 'a', 'b', 'c', 'd'}});
    for (StreamKind kind : {StreamKind::DiskFile, StreamKind::MemoryBuffer}) {
        SCOPED_TRACE(KindName(kind));
        Stream s(cut, kind);
        CStreamReadScope scope(s.handle);
        tReadStatus end = tReadStatus::Ok;
        EXPECT_EQ(ReadRecords(s.handle, end).size(), 1u);
        EXPECT_EQ(end, tReadStatus::Truncated);
        EXPECT_EQ(BytesLeftInStream(s.handle), 0);
        CTag after;
        EXPECT_FALSE(after.ReadTag(s.handle));
        EXPECT_EQ(after.LastStatus(), tReadStatus::EndOfFile);
    }

    // A file that grows while it is read is read as it was: what was
    // appended lies past the end the scope knows.
    const std::string path = (testsupport::processRoot() / "growing-records").string();
    const Bytes first = Cat({Record(1, Int(1)), Record(2, Pattern(200))});
    testsupport::WriteBytes(path, first);
    FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    {
        CStreamReadScope scope(file, 16);
        FILE* writer = std::fopen(path.c_str(), "ab");
        ASSERT_NE(writer, nullptr);
        const Bytes more = Record(3, Int(3));
        std::fwrite(more.data(), 1, more.size(), writer);
        std::fclose(writer);
        tReadStatus end = tReadStatus::Ok;
        const std::vector<tRead> records = ReadRecords(file, end);
        ASSERT_EQ(records.size(), 2u);
        EXPECT_EQ(records[1].data, Pattern(200));
        EXPECT_EQ(end, tReadStatus::EndOfFile);
    }
    std::fclose(file);
    std::remove(path.c_str());
}

TEST(StreamReadScope, AScopeHoldsOnlyItsOwnFileAndASecondOneForItDoesNothing) {
    Stream held(Cat({Record(1, Int(1)), Record(2, Int(2))}), StreamKind::DiskFile);
    Stream other(Record(8, Int(5)), StreamKind::MemoryBuffer);
    {
        CStreamReadScope scope(held.handle, 4);
        CStreamReadScope again(held.handle);
        EXPECT_EQ(CStreamReadScope::Find(held.handle), &scope);
        EXPECT_EQ(CStreamReadScope::Find(other.handle), nullptr);

        CTaggedFile reader(held.handle);
        CTaggedFile otherReader(other.handle);
        std::int32_t value = 0;
        EXPECT_TRUE(reader.ReadInt(1, value));
        EXPECT_EQ(value, 1);
        EXPECT_TRUE(otherReader.ReadInt(8, value));
        EXPECT_EQ(value, 5);
        EXPECT_TRUE(reader.ReadInt(2, value));
        EXPECT_EQ(value, 2);
    }
    EXPECT_EQ(CStreamReadScope::Find(held.handle), nullptr);
}
