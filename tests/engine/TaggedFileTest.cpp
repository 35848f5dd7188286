// Tagged records: byte-exact writing, reading of hand-built streams, and the
// reader's answers to damaged or hostile bytes.

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/fileformat/Tag.h"
#include "engine/fileformat/TaggedFile.h"
#include "tests/support/LogWatch.h"
#include "tests/support/RecordBytes.h"

namespace {

using testsupport::Bytes;
using testsupport::Cat;
using testsupport::CountWith;
using testsupport::Int;
using testsupport::KindName;
using testsupport::LongRecord;
using testsupport::Real;
using testsupport::RecentLines;
using testsupport::Record;
using testsupport::ScopedLogLevel;
using testsupport::Stream;
using testsupport::StreamKind;
using testsupport::Text;
using testsupport::Written;

// ------------------------------------------------ streams

// A pipe whose write end is fed by a thread, so more than the pipe's buffer
// can pass; the read end cannot seek or tell its size.
struct PipeStream {
    explicit PipeStream(const Bytes& content) {
        signal(SIGPIPE, SIG_IGN);  // a reader that stops early must not kill the test
        int fds[2];
        if (pipe(fds) != 0) return;
        handle = fdopen(fds[0], "rb");
        writer = std::thread([content, fd = fds[1]] {
            std::size_t done = 0;
            while (done < content.size()) {
                const ssize_t n = write(fd, content.data() + done, content.size() - done);
                if (n <= 0) break;
                done += static_cast<std::size_t>(n);
            }
            close(fd);
        });
    }
    ~PipeStream() {
        if (handle != nullptr) fclose(handle);
        if (writer.joinable()) writer.join();
    }
    FILE* handle = nullptr;
    std::thread writer;
};

// ------------------------------------------------ writing

TEST(TaggedFileTest, WritersProduceTheDocumentedBytes) {
    struct Case {
        const char* name;
        std::function<bool(CTaggedFile&)> write;
        Bytes expected;
    };
    const Case cases[] = {
        {"bool true", [](CTaggedFile& t) { return t.WriteBool(0x0102, true); }, {0x01, 0x02, 0x00, 0x01, 0x01}},
        {"bool false", [](CTaggedFile& t) { return t.WriteBool(7, false); }, {0x00, 0x07, 0x00, 0x01, 0x00}},
        {"int -2",
         [](CTaggedFile& t) { return t.WriteInt(400, -2); },
         {0x01, 0x90, 0x00, 0x04, 0xFF, 0xFF, 0xFF, 0xFE}},
        {"int byte order",
         [](CTaggedFile& t) { return t.WriteInt(1, 0x01020304); },
         {0x00, 0x01, 0x00, 0x04, 0x01, 0x02, 0x03, 0x04}},
        {"real 2.5 is 2 and 5,000,000",
         [](CTaggedFile& t) { return t.WriteDouble(10, 2.5); },
         {0x00, 0x0A, 0x00, 0x08, 0x00, 0x00, 0x00, 0x02, 0x00, 0x4C, 0x4B, 0x40}},
        {"real -0.25 is 0 and -2,500,000",
         [](CTaggedFile& t) { return t.WriteDouble(10, -0.25); },
         {0x00, 0x0A, 0x00, 0x08, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xD9, 0xDA, 0x60}},
        {"real -1.5 is -1 and -5,000,000",
         [](CTaggedFile& t) { return t.WriteDouble(10, -1.5); },
         {0x00, 0x0A, 0x00, 0x08, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xB3, 0xB4, 0xC0}},
        {"real at the top of the 32-bit range",
         [](CTaggedFile& t) { return t.WriteDouble(10, 2147483647.5); },
         {0x00, 0x0A, 0x00, 0x08, 0x7F, 0xFF, 0xFF, 0xFF, 0x00, 0x4C, 0x4B, 0x40}},
        {"real at the bottom of the 32-bit range",
         [](CTaggedFile& t) { return t.WriteDouble(10, -2147483648.25); },
         {0x00, 0x0A, 0x00, 0x08, 0x80, 0x00, 0x00, 0x00, 0xFF, 0xD9, 0xDA, 0x60}},
        {"text with its NUL",
         [](CTaggedFile& t) { return t.WriteString(501, "abc"); },
         {0x01, 0xF5, 0x00, 0x04, 'a', 'b', 'c', 0x00}},
        {"empty text is one NUL",
         [](CTaggedFile& t) { return t.WriteString(501, ""); },
         {0x01, 0xF5, 0x00, 0x01, 0x00}},
    };
    for (const Case& c : cases) {
        bool result = false;
        const Bytes bytes = Written([&](FILE* f) {
            CTaggedFile writer(f);
            result = c.write(writer);
        });
        EXPECT_TRUE(result) << c.name;
        EXPECT_EQ(bytes, c.expected) << c.name;
    }
}

TEST(TaggedFileTest, LongTextIsCutTo4094CharactersAndItsNul) {
    const Bytes bytes = Written([](FILE* f) { CTaggedFile(f).WriteString(9, std::string(5000, 'x')); });
    Bytes expected = {0x00, 0x09, 0x0F, 0xFF};  // 4,095 bytes of data
    expected.insert(expected.end(), 4094, 'x');
    expected.push_back(0);
    EXPECT_EQ(bytes, expected);
}

TEST(TaggedFileTest, RealsOutsideThe32BitRangeAreRefused) {
    const struct {
        const char* name;
        double value;
    } cases[] = {
        {"just above the int32 maximum", 2147483648.0},
        {"just below the int32 minimum", -2147483649.0},
        {"huge", 1e300},
        {"NaN", std::numeric_limits<double>::quiet_NaN()},
        {"infinity", std::numeric_limits<double>::infinity()},
        {"minus infinity", -std::numeric_limits<double>::infinity()},
    };
    for (const auto& c : cases) {
        bool result = true;
        const Bytes bytes = Written([&](FILE* f) { result = CTaggedFile(f).WriteDouble(10, c.value); });
        EXPECT_FALSE(result) << c.name;
        EXPECT_TRUE(bytes.empty()) << c.name;
    }
}

TEST(TaggedFileTest, WriteTagChoosesTheLengthFormAndRefusesEmptyRecords) {
    struct Case {
        const char* name;
        std::size_t size;
        Bytes header;
    };
    const Case cases[] = {
        {"65,534 bytes: short form", 65534, {0x12, 0x34, 0xFF, 0xFE}},
        {"65,535 bytes: long form", 65535, {0x12, 0x34, 0xFF, 0xFF, 0x00, 0x00, 0xFF, 0xFF}},
        {"70,000 bytes: long form", 70000, {0x12, 0x34, 0xFF, 0xFF, 0x00, 0x01, 0x11, 0x70}},
    };
    for (const Case& c : cases) {
        Bytes data(c.size);
        for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7);
        bool result = false;
        const Bytes bytes = Written([&](FILE* f) { result = CTag(0x1234, data.size(), data.data()).WriteTag(f); });
        EXPECT_TRUE(result) << c.name;
        ASSERT_EQ(bytes.size(), c.header.size() + c.size) << c.name;
        EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + c.header.size()), c.header) << c.name;
        EXPECT_EQ(Bytes(bytes.begin() + c.header.size(), bytes.end()), data) << c.name;
    }

    const std::uint8_t abc[] = {'a', 'b', 'c'};
    const struct {
        const char* name;
        std::function<bool(FILE*)> write;
    } refusals[] = {
        {"id 0", [&](FILE* f) { return CTag(0, 3, abc).WriteTag(f); }},
        {"no data", [&](FILE* f) { return CTag(5, 3, nullptr).WriteTag(f); }},
        {"length 0", [&](FILE* f) { return CTag(5, 0, abc).WriteTag(f); }},
        {"the empty record", [&](FILE* f) { return CTag().WriteTag(f); }},
    };
    for (const auto& r : refusals) {
        bool result = true;
        const Bytes bytes = Written([&](FILE* f) { result = r.write(f); });
        EXPECT_FALSE(result) << r.name;
        EXPECT_TRUE(bytes.empty()) << r.name;
    }
}

// ------------------------------------------------ reading well-formed bytes

TEST(TaggedFileTest, ReadsBothLengthForms) {
    Bytes big(70000);
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i % 251);
    const Bytes file = Cat({Record(1, Text("short")), LongRecord(2, 4, Int(-7)), LongRecord(3, 70000, big),
                            Record(4, Bytes(65534, 0xAB))});
    for (StreamKind kind : {StreamKind::DiskFile, StreamKind::MemoryBuffer}) {
        Stream s(file, kind);
        CTag tag;
        ASSERT_TRUE(tag.ReadTag(s.handle)) << KindName(kind);
        EXPECT_EQ(tag.GetId(), 1);
        EXPECT_EQ(Bytes(tag.GetBytes(), tag.GetBytes() + tag.GetLength()), Text("short"));

        CTaggedFile reader(s.handle);
        std::int32_t value = 0;
        EXPECT_TRUE(reader.ReadInt(2, value)) << KindName(kind);
        EXPECT_EQ(value, -7);
        Bytes out(70000);
        std::size_t copied = 0;
        EXPECT_TRUE(reader.ReadData(3, out.data(), out.size(), &copied)) << KindName(kind);
        EXPECT_EQ(copied, 70000u);  // more than 65,534 bytes reach a buffer big enough
        EXPECT_EQ(out, big);
        ASSERT_TRUE(tag.ReadTag(s.handle));
        EXPECT_EQ(tag.GetLength(), 65534u);
        EXPECT_FALSE(tag.ReadTag(s.handle));
        EXPECT_EQ(tag.LastStatus(), tReadStatus::EndOfFile);
    }
}

TEST(TaggedFileTest, RealsReadBackAsIntegerPartPlusFraction) {
    const struct {
        const char* name;
        std::int32_t integerPart, fraction;
        double expected;
    } cases[] = {
        {"2 and 5,000,000", 2, 5000000, 2.5},           {"0 and -2,500,000", 0, -2500000, -0.25},
        {"-1 and -5,000,000", -1, -5000000, -1.5},      {"seventh decimal", 3, 1, 3.0000001},
        {"fraction beyond one unit", 1, 20000000, 3.0},
    };
    for (const auto& c : cases) {
        Stream s(Record(10, Real(c.integerPart, c.fraction)), StreamKind::MemoryBuffer);
        CTaggedFile reader(s.handle);
        double value = 0;
        EXPECT_TRUE(reader.ReadDouble(10, value)) << c.name;
        EXPECT_NEAR(value, c.expected, 1e-12) << c.name;
    }

    // What the writer stores reads back to seven decimals.
    for (double v : {2.5, -0.25, -1.5, 123.4567891, -98765.0000001, 0.0}) {
        const Bytes bytes = Written([&](FILE* f) { CTaggedFile(f).WriteDouble(10, v); });
        Stream s(bytes, StreamKind::MemoryBuffer);
        CTaggedFile reader(s.handle);
        double value = 1e9;
        EXPECT_TRUE(reader.ReadDouble(10, value)) << v;
        EXPECT_NEAR(value, v, 1.5e-7) << v;
    }
}

TEST(TaggedFileTest, ValueReadersTakeTheDocumentedBytes) {
    const Bytes file = Cat({Record(1, {2}), Record(2, {0}), Record(3, {0, 1}), Record(4, Cat({Int(99), {0xFF}})),
                            Record(5, Text(std::string("abc\0def", 7), false)), Record(6, Text("no nul", false)),
                            Record(7, Bytes(5000, 'q')), Record(8, {1, 2, 3, 4, 5})});
    Stream s(file, StreamKind::DiskFile);
    CTaggedFile reader(s.handle);
    bool b = false;
    EXPECT_TRUE(reader.ReadBool(1, b));
    EXPECT_TRUE(b) << "byte 2 is true";
    b = true;
    EXPECT_TRUE(reader.ReadBool(2, b));
    EXPECT_FALSE(b);
    b = true;
    EXPECT_TRUE(reader.ReadBool(3, b));
    EXPECT_FALSE(b) << "only the first byte counts";
    std::int32_t i = 0;
    EXPECT_TRUE(reader.ReadInt(4, i));
    EXPECT_EQ(i, 99) << "only the first four bytes count";

    std::string text;
    EXPECT_TRUE(reader.ReadString(5, text));
    EXPECT_EQ(text, "abc");
    EXPECT_TRUE(reader.ReadString(6, text));
    EXPECT_EQ(text, "no nul");
    EXPECT_TRUE(reader.ReadString(7, text));
    EXPECT_EQ(text, std::string(4096, 'q')) << "no NUL within 4,096 bytes";

    std::uint8_t buffer[4] = {9, 9, 9, 9};
    std::size_t copied = 0;
    EXPECT_TRUE(reader.ReadData(8, buffer, 3, &copied));
    EXPECT_EQ(copied, 3u);
    EXPECT_EQ(Bytes(buffer, buffer + 4), (Bytes{1, 2, 3, 9})) << "the copy stops at the buffer's size";
    EXPECT_EQ(reader.GetReadCount(), 8);
    EXPECT_EQ(reader.GetSkippedCount(), 0);
}

TEST(TaggedFileTest, ReadColorTakesRedGreenBlueAlphaInThatOrder) {
    const Bytes file = Cat({Record(226, Real(0, 2500000)), Record(227, Real(0, 5000000)), Record(228, Real(0, 7500000)),
                            Record(229, Real(1, 0)), Record(230, Real(0, 1000000))});
    Stream s(file, StreamKind::MemoryBuffer);
    CTaggedFile reader(s.handle);
    const CColor color = reader.ReadColor(226, 227, 228, 229);
    EXPECT_DOUBLE_EQ(color.mRed, 0.25);
    EXPECT_DOUBLE_EQ(color.mGreen, 0.5);
    EXPECT_DOUBLE_EQ(color.mBlue, 0.75);
    EXPECT_DOUBLE_EQ(color.mAlpha, 1.0);
    EXPECT_EQ(reader.GetSkippedCount(), 0);
    EXPECT_EQ(reader.LastStatus(), tReadStatus::Ok);

    // Only red is left: the rest keep opaque white's components and the
    // status names the first failure.
    const CColor partial = reader.ReadColor(230, 231, 232, 233);
    EXPECT_DOUBLE_EQ(partial.mRed, 0.1);
    EXPECT_DOUBLE_EQ(partial.mGreen, 1.0);
    EXPECT_DOUBLE_EQ(partial.mAlpha, 1.0);
    EXPECT_EQ(reader.LastStatus(), tReadStatus::EndOfFile);
}

// ------------------------------------------------ skipping and order

TEST(TaggedFileTest, SkippedRecordsAreCountedLoggedAndReported) {
    const ScopedLogLevel debug(1);  // the skip line is a debug line
    const std::string skipLine = "CTaggedFile::ReadNextMatchingTag -- Skipping '401' tag";
    const int skipLinesBefore = CountWith(RecentLines(), skipLine);
    const int warningsBefore = CountWith(RecentLines(), "Skipped 1 tags");
    const int anySkippedBefore = CountWith(RecentLines(), "Skipped ");

    const Bytes file = Cat({Record(401, Int(1)), Record(402, Int(2))});
    Stream s(file, StreamKind::MemoryBuffer);
    {
        CTaggedFile reader(s.handle);
        std::int32_t value = 0;
        EXPECT_TRUE(reader.ReadInt(402, value));
        EXPECT_EQ(value, 2);
        EXPECT_EQ(reader.GetReadCount(), 2);
        EXPECT_EQ(reader.GetSkippedCount(), 1);
        const auto lines = RecentLines();
        EXPECT_EQ(CountWith(lines, skipLine), skipLinesBefore + 1);
        EXPECT_EQ(CountWith(lines, "Skipped 1 tags"), warningsBefore) << "reported when the reader goes away";
    }
    const auto lines = RecentLines();
    ASSERT_EQ(CountWith(lines, "Skipped 1 tags"), warningsBefore + 1);
    EXPECT_NE(lines.back().find("Skipped 1 tags"), std::string::npos);
    EXPECT_NE(lines.back().find("[WARN"), std::string::npos);

    // A reader that skipped nothing reports nothing.
    Stream again(file, StreamKind::MemoryBuffer);
    {
        CTaggedFile reader(again.handle);
        CTag tag;
        EXPECT_TRUE(reader.ReadNextMatchingTag(tag, 401));
        EXPECT_EQ(tag.GetLength(), 4u);
    }
    EXPECT_EQ(CountWith(RecentLines(), "Skipped "), anySkippedBefore + 1);
}

TEST(TaggedFileTest, AnAbsentTagConsumesTheRestOfTheStream) {
    const Bytes file = Cat({Record(401, Int(1)), Record(402, Int(2)), Record(403, Text("x"))});
    for (StreamKind kind : {StreamKind::DiskFile, StreamKind::MemoryBuffer}) {
        Stream s(file, kind);
        CTaggedFile reader(s.handle);
        std::int32_t value = 77;
        EXPECT_FALSE(reader.ReadInt(999, value)) << KindName(kind);
        EXPECT_EQ(value, 77);
        EXPECT_EQ(reader.LastStatus(), tReadStatus::EndOfFile);
        EXPECT_EQ(reader.GetSkippedCount(), 3);
        EXPECT_FALSE(reader.ReadInt(402, value)) << "the reader never goes back";
        EXPECT_EQ(fgetc(s.handle), EOF);
    }
}

TEST(TaggedFileTest, ReadersInTurnContinueAtTheHandlesPosition) {
    const Bytes file = Cat({Record(401, Int(1)), Record(500, Int(2)), Record(501, Text("Layer"))});
    Stream s(file, StreamKind::DiskFile);
    std::int32_t value = 0;
    {
        CTaggedFile first(s.handle);
        EXPECT_TRUE(first.ReadInt(401, value));
    }
    CTaggedFile second(s.handle);
    EXPECT_TRUE(second.ReadInt(500, value));
    EXPECT_EQ(value, 2);
    char name[64];
    EXPECT_TRUE(second.ReadCString(501, name));
    EXPECT_STREQ(name, "Layer");
    EXPECT_EQ(second.GetSkippedCount(), 0);
}

// ------------------------------------------------ damaged and hostile bytes

TEST(TaggedFileTest, RecordsShorterThanTheirValueFailAndLeaveTheDestination) {
    struct Case {
        const char* name;
        Bytes record;
        std::function<bool(CTaggedFile&)> read;  // true when the destination is untouched
        tReadStatus status;
    };
    const Case cases[] = {
        {"int of 2 bytes", Record(1, {0x12, 0x34}),
         [](CTaggedFile& t) {
             std::int32_t v = 5;
             return !t.ReadInt(1, v) && v == 5;
         },
         tReadStatus::TooShort},
        {"real of 5 bytes", Record(1, {0, 0, 0, 3, 0}),
         [](CTaggedFile& t) {
             double v = 5;
             return !t.ReadDouble(1, v) && v == 5;
         },
         tReadStatus::TooShort},
        {"real of 4 bytes", Record(1, Int(3)),
         [](CTaggedFile& t) {
             double v = 5;
             return !t.ReadDouble(1, v) && v == 5;
         },
         tReadStatus::TooShort},
        {"bool of 0 bytes", Record(1, {}),
         [](CTaggedFile& t) {
             bool v = true;
             return !t.ReadBool(1, v) && v;
         },
         tReadStatus::ZeroLength},
        {"text of 0 bytes", Record(1, {}),
         [](CTaggedFile& t) {
             std::string v = "keep";
             return !t.ReadString(1, v) && v == "keep";
         },
         tReadStatus::ZeroLength},
        {"field of 0 bytes", Record(1, {}),
         [](CTaggedFile& t) {
             char v[4] = "abc";
             return !t.ReadCString(1, v) && std::string(v) == "abc";
         },
         tReadStatus::ZeroLength},
    };
    for (const Case& c : cases) {
        for (StreamKind kind : {StreamKind::DiskFile, StreamKind::MemoryBuffer}) {
            // The short record is consumed; the one after it is still there.
            Stream s(Cat({c.record, Record(2, Int(42))}), kind);
            CTaggedFile reader(s.handle);
            EXPECT_TRUE(c.read(reader)) << c.name << ", " << KindName(kind);
            EXPECT_EQ(reader.LastStatus(), c.status) << c.name << ", " << KindName(kind);
            std::int32_t next = 0;
            EXPECT_TRUE(reader.ReadInt(2, next)) << c.name;
            EXPECT_EQ(next, 42) << c.name;
            EXPECT_EQ(reader.LastStatus(), tReadStatus::Ok);
        }
    }
}

TEST(TaggedFileTest, StreamsEndingInsideARecordAreTruncatedNotTheEnd) {
    const struct {
        const char* name;
        Bytes bytes;
    } cases[] = {
        {"data cut short", Cat({Record(1, Int(4)), {0x00, 0x02, 0x00, 0x0A, 'a', 'b', 'c', 'd'}})},
        {"header cut after the id", Cat({Record(1, Int(4)), {0x00, 0x02, 0x00}})},
        {"long length cut short", Cat({Record(1, Int(4)), {0x00, 0x02, 0xFF, 0xFF, 0x00, 0x00}})},
        {"long length beyond a small stream", Cat({Record(1, Int(4)), LongRecord(2, 0x00FFFFFF, Text("tail"))})},
    };
    for (const auto& c : cases) {
        for (StreamKind kind : {StreamKind::DiskFile, StreamKind::MemoryBuffer}) {
            Stream s(c.bytes, kind);
            CTaggedFile reader(s.handle);
            std::int32_t first = 0;
            EXPECT_TRUE(reader.ReadInt(1, first)) << c.name;
            std::string text = "keep";
            EXPECT_FALSE(reader.ReadString(2, text)) << c.name << ", " << KindName(kind);
            EXPECT_EQ(text, "keep") << c.name;
            EXPECT_EQ(reader.LastStatus(), tReadStatus::Truncated) << c.name << ", " << KindName(kind);
            EXPECT_FALSE(reader.ReadString(2, text)) << c.name;
            EXPECT_EQ(reader.LastStatus(), tReadStatus::EndOfFile) << c.name;
        }
    }
}

TEST(TaggedFileTest, FixedFieldsAreAlwaysTerminatedWithinTheirSize) {
    const Bytes file = Cat({Record(1, Text("ABCDEFGHIJ")), Record(2, Text("ABCDEFG", false)), Record(3, Text("AB")),
                            Record(4, Text("xyz"))});
    Stream s(file, StreamKind::MemoryBuffer);
    CTaggedFile reader(s.handle);
    char field[10];
    std::memset(field, '#', sizeof field);
    EXPECT_TRUE(reader.ReadCString(1, field, 8));
    EXPECT_STREQ(field, "ABCDEFG") << "cut to the size less one";
    EXPECT_EQ(field[8], '#') << "nothing written past the size";

    std::memset(field, '#', sizeof field);
    EXPECT_TRUE(reader.ReadCString(2, field, 8));
    EXPECT_STREQ(field, "ABCDEFG") << "terminated even without a NUL in the record";

    EXPECT_TRUE(reader.ReadCString(3, field, 8));
    EXPECT_STREQ(field, "AB");

    // No room even for the terminator: nothing is read.
    EXPECT_FALSE(reader.ReadCString(4, field, 0));
    EXPECT_STREQ(field, "AB");
    EXPECT_TRUE(reader.ReadCString(4, field, 8));
    EXPECT_STREQ(field, "xyz");
}

// Address space of this process plus `extra` bytes.
rlim_t AddressSpacePlus(rlim_t extra) {
    long pages = 0;
    FILE* statm = fopen("/proc/self/statm", "r");
    if (statm != nullptr) {
        if (fscanf(statm, "%ld", &pages) != 1) pages = 0;
        fclose(statm);
    }
    return static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + extra;
}

// Runs in a child whose address space leaves no room for a 4 GiB buffer:
// a reader that sized its buffer from the forged length would die in the
// allocation check instead of returning.
[[noreturn]] void ReadForgedLengthWithLittleMemory(int streamKind) {
    const Bytes bytes = Cat({LongRecord(7, 0xFFFFFFFF, Text("tiny")), Record(8, Int(1))});
    rlimit limit{};
    getrlimit(RLIMIT_AS, &limit);
    limit.rlim_cur = AddressSpacePlus(512u << 20);
    setrlimit(RLIMIT_AS, &limit);

    CTag tag;
    bool ok = false;
    tReadStatus status = tReadStatus::Ok;
    if (streamKind == 2) {
        int fds[2];
        if (pipe(fds) != 0) _exit(3);
        if (write(fds[1], bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) _exit(3);
        close(fds[1]);
        FILE* f = fdopen(fds[0], "rb");
        ok = tag.ReadTag(f);
        status = tag.LastStatus();
    } else {
        Stream s(bytes, streamKind == 0 ? StreamKind::DiskFile : StreamKind::MemoryBuffer);
        ok = tag.ReadTag(s.handle);
        status = tag.LastStatus();
    }
    if (ok) _exit(1);
    if (streamKind == 2 && status == tReadStatus::TooLong) _exit(42);
    if (streamKind != 2 && status == tReadStatus::Truncated) _exit(42);
    _exit(2);
}

TEST(TaggedFileDeathTest, AForgedFourGigabyteLengthFailsWithoutAllocating) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(ReadForgedLengthWithLittleMemory(0), ::testing::ExitedWithCode(42), "") << "disk file";
    EXPECT_EXIT(ReadForgedLengthWithLittleMemory(1), ::testing::ExitedWithCode(42), "") << "memory buffer";
    EXPECT_EXIT(ReadForgedLengthWithLittleMemory(2), ::testing::ExitedWithCode(42), "") << "pipe";
}

TEST(TaggedFileTest, RecordsAboveTheCapAreRefusedAndPassedOver) {
    // A sparse file really holding a record just above the cap, then one more.
    FILE* f = tmpfile();
    ASSERT_NE(f, nullptr);
    const std::uint32_t length = CTag::kMaxTagLength + 1;
    const Bytes header = LongRecord(7, length, {});
    fwrite(header.data(), 1, header.size(), f);
    fflush(f);
    ASSERT_EQ(ftruncate(fileno(f), static_cast<off_t>(header.size() + length)), 0);
    fseeko(f, 0, SEEK_END);
    const Bytes after = Record(8, Int(31));
    fwrite(after.data(), 1, after.size(), f);

    // Through stdio, and through a read scope as loaders read.
    for (const bool scoped : {false, true}) {
        SCOPED_TRACE(scoped ? "in a read scope" : "through stdio");
        rewind(f);
        std::unique_ptr<CStreamReadScope> scope(scoped ? new CStreamReadScope(f) : nullptr);
        CTaggedFile reader(f);
        std::int32_t value = 0;
        EXPECT_FALSE(reader.ReadInt(8, value));
        EXPECT_EQ(reader.LastStatus(), tReadStatus::TooLong);
        EXPECT_TRUE(reader.ReadInt(8, value)) << "the stream stays at a record boundary";
        EXPECT_EQ(value, 31);
    }
    fclose(f);
}

TEST(TaggedFileTest, UnmeasurableStreamsAreReadInChunks) {
    Bytes big(200 * 1024);
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i % 253);
    {
        PipeStream p(Cat({LongRecord(3, static_cast<std::uint32_t>(big.size()), big), Record(4, Text("after"))}));
        ASSERT_NE(p.handle, nullptr);
        CTag tag;
        ASSERT_TRUE(tag.ReadTag(p.handle));
        EXPECT_EQ(Bytes(tag.GetBytes(), tag.GetBytes() + tag.GetLength()), big);
        CTaggedFile reader(p.handle);
        std::string text;
        EXPECT_TRUE(reader.ReadString(4, text));
        EXPECT_EQ(text, "after");
    }
    {
        // Claims 32 MiB, delivers 100 bytes.
        PipeStream p(LongRecord(3, 32u << 20, Bytes(100, 1)));
        ASSERT_NE(p.handle, nullptr);
        CTag tag;
        EXPECT_FALSE(tag.ReadTag(p.handle));
        EXPECT_EQ(tag.LastStatus(), tReadStatus::Truncated);
        EXPECT_EQ(tag.GetBytes(), nullptr);
        EXPECT_EQ(tag.GetLength(), 0u);
    }
}

}  // namespace
