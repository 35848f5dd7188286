// The header that opens our files: the three failures told apart, every
// version boundary on the right side, only the header's bytes consumed, and
// the same through stdio and through a read scope.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "engine/fileformat/FileHeader.h"
#include "engine/fileformat/StreamRead.h"
#include "tests/support/RecordBytes.h"

namespace {

using testsupport::Bytes;
using testsupport::Cat;
using testsupport::Header;
using testsupport::KindName;
using testsupport::Stream;
using testsupport::StreamKind;

constexpr tFileFormat kFormat = {{'W', 'k', 'S', 't'}, 3, 13};
constexpr tFileFormat kOpenEnded = {{'R', 'C', 'i', 'g'}, 3, 0x7FFFFFFFu};

const char* StatusName(tFileHeaderStatus status) {
    switch (status) {
        case tFileHeaderStatus::Ok: return "Ok";
        case tFileHeaderStatus::Unreadable: return "Unreadable";
        case tFileHeaderStatus::WrongMagic: return "WrongMagic";
        case tFileHeaderStatus::TooOld: return "TooOld";
        case tFileHeaderStatus::TooNew: return "TooNew";
    }
    return "?";
}

TEST(FileHeader, TellsFailuresAndVersionBoundariesApart) {
    struct tCase {
        const char* name;
        tFileFormat format;
        Bytes bytes;
        tFileHeaderStatus status;
        std::uint32_t version;
    };
    const Bytes tail = {0x00, 0x0A, 0x00, 0x00};
    const tCase cases[] = {
        {"empty stream", kFormat, {}, tFileHeaderStatus::Unreadable, 0},
        {"magic alone", kFormat, {'W', 'k', 'S', 't'}, tFileHeaderStatus::Unreadable, 0},
        {"one byte short", kFormat, {'W', 'k', 'S', 't', 0, 0, 0}, tFileHeaderStatus::Unreadable, 0},
        {"other kind of file", kFormat, Header("RSet", 5), tFileHeaderStatus::WrongMagic, 0},
        {"magic in other case", kFormat, Header("wkst", 5), tFileHeaderStatus::WrongMagic, 0},
        {"last magic byte differs", kFormat, Header("WkSu", 5), tFileHeaderStatus::WrongMagic, 0},
        {"version 0", kFormat, Header("WkSt", 0), tFileHeaderStatus::TooOld, 0},
        {"one below the oldest", kFormat, Header("WkSt", 2), tFileHeaderStatus::TooOld, 2},
        {"the oldest", kFormat, Header("WkSt", 3), tFileHeaderStatus::Ok, 3},
        {"the newest", kFormat, Header("WkSt", 13), tFileHeaderStatus::Ok, 13},
        {"one above the newest", kFormat, Header("WkSt", 14), tFileHeaderStatus::TooNew, 14},
        {"a byte order mistake would read 13", kFormat, Header("WkSt", 0x0D000000u), tFileHeaderStatus::TooNew,
         0x0D000000u},
        {"largest version", kFormat, Header("WkSt", 0xFFFFFFFFu), tFileHeaderStatus::TooNew, 0xFFFFFFFFu},
        {"largest int", kOpenEnded, Header("RCig", 0x7FFFFFFFu), tFileHeaderStatus::Ok, 0x7FFFFFFFu},
        {"one past the largest int", kOpenEnded, Header("RCig", 0x80000000u), tFileHeaderStatus::TooNew, 0x80000000u},
        {"records after the header", kFormat, Cat({Header("WkSt", 10), tail}), tFileHeaderStatus::Ok, 10},
    };
    for (const StreamKind kind : {StreamKind::DiskFile, StreamKind::MemoryBuffer}) {
        for (const bool scoped : {false, true}) {
            for (const tCase& c : cases) {
                const Stream stream(c.bytes, kind);
                tFileHeader header;
                {
                    CStreamReadScope scope(scoped ? stream.handle : nullptr);
                    header = ReadFileHeader(stream.handle, c.format);
                }
                const long consumed = std::ftell(stream.handle);
                const auto where = ::testing::Message()
                                   << c.name << " (" << KindName(kind) << (scoped ? ", scoped)" : ")");
                EXPECT_STREQ(StatusName(header.status), StatusName(c.status)) << where;
                EXPECT_EQ(header.version, c.version) << where;
                EXPECT_EQ(header.MagicMatched(),
                          c.status != tFileHeaderStatus::Unreadable && c.status != tFileHeaderStatus::WrongMagic)
                    << where;
                // Exactly the header is consumed, or all there was of it.
                EXPECT_EQ(consumed, static_cast<long>(std::min<std::size_t>(c.bytes.size(), kFileHeaderSize))) << where;
            }
        }
    }
    EXPECT_EQ(ReadFileHeader(nullptr, kFormat).status, tFileHeaderStatus::Unreadable);
}

TEST(FileHeader, WritesMagicAndVersionBigEndianAndReadsThemBack) {
    bool ok = false;
    const Bytes written =
        testsupport::Written([](FILE* file) { return WriteFileHeader(file, kOpenEnded.magic, 0x01020304u); }, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(written, (Bytes{'R', 'C', 'i', 'g', 0x01, 0x02, 0x03, 0x04}));
    EXPECT_EQ(written, Header("RCig", 0x01020304u));

    const Stream stream(written);
    const tFileHeader header = ReadFileHeader(stream.handle, kOpenEnded);
    EXPECT_EQ(header.status, tFileHeaderStatus::Ok);
    EXPECT_EQ(header.version, 0x01020304u);

    EXPECT_FALSE(WriteFileHeader(nullptr, kOpenEnded.magic, 3));
}

}  // namespace
