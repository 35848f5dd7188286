#pragma once
// The 8 bytes that open a layout file, a track library and each element
// record within them: four magic characters, then the format version as an
// unsigned big-endian 32-bit number.

#include <cstddef>
#include <cstdint>
#include <cstdio>

inline constexpr std::size_t kFileHeaderSize = 8;

// One kind of file: its magic and the versions its reader takes.
struct tFileFormat {
    char magic[4];
    std::uint32_t oldestVersion;
    std::uint32_t newestVersion;
};

enum class tFileHeaderStatus {
    Ok,
    Unreadable,  // the stream ended or failed before 8 bytes
    WrongMagic,  // 8 bytes of another kind of file
    TooOld,      // a version below the format's oldest
    TooNew,      // a version above the format's newest
};

struct tFileHeader {
    tFileHeaderStatus status = tFileHeaderStatus::Unreadable;
    // As stored when the magic matched (Ok, TooOld, TooNew); else 0.
    std::uint32_t version = 0;

    // Whether this is the kind of file asked for; its version is then known.
    bool MagicMatched() const {
        return status != tFileHeaderStatus::Unreadable && status != tFileHeaderStatus::WrongMagic;
    }
};

// Reads the header at the stream's position through ReadFromStream, so a
// CStreamReadScope on the stream serves it. Whatever the result, the bytes
// read are consumed; a null stream is Unreadable.
tFileHeader ReadFileHeader(FILE* file, const tFileFormat& format);

// Writes `magic` and `version`; false when the write fails.
bool WriteFileHeader(FILE* file, const char (&magic)[4], std::uint32_t version);
