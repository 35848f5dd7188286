#pragma once
// One record of the engine's tagged file format:
//
//   id      2 bytes, unsigned big-endian
//   length  2 bytes, unsigned big-endian; 0xFFFF means a 4-byte big-endian
//           length follows
//   data    length bytes
//
// Records follow each other with no index, padding or checksum. The bytes
// come from files handed to the app by anyone, so a length is checked
// against the bytes left in the stream before it sizes anything: every
// length within a CStreamReadScope, where that costs nothing; without one,
// lengths above 64 KiB (a smaller buffer is harmless even when the stream
// turns out shorter).

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "engine/fileformat/StreamRead.h"

// Why the last read of a record (or of a value) failed.
enum class tReadStatus {
    Ok,
    EndOfFile,   // no record left: the stream ended at a record boundary
    Truncated,   // the stream ended (or failed) inside a record
    ZeroLength,  // a record without data; writers never produce one
    TooLong,     // a record above kMaxTagLength
    TooShort,    // a record shorter than the value asked for
};

// "Ok", "EndOfFile", ... for log lines and error texts.
const char* ReadStatusName(tReadStatus status);

class CTag {
public:
    // The largest record the reader accepts. Layout files hold texts of at
    // most 4 KiB, numbers and embedded pictures of a few MiB; 64 MiB leaves
    // room for large scans while a forged 4 GiB length cannot make the app
    // claim gigabytes of memory.
    static constexpr std::uint32_t kMaxTagLength = 64u * 1024u * 1024u;

    // The empty record: id 0, length 0, no data.
    CTag() = default;
    // A record with a copy of `size` bytes of `data`. Allocation failure ends
    // the process. A size that no record can hold (above 4 GiB - 1) or a null
    // `data` gives a record without data, which WriteTag refuses.
    CTag(std::uint16_t id, std::size_t size, const void* data);
    ~CTag() = default;

    CTag(const CTag&) = delete;
    CTag& operator=(const CTag&) = delete;

    // Drops the current data and reads the next record. On false the record
    // has no data and LastStatus() says why; after Truncated the stream is
    // left at its end, after TooLong just past the refused record when the
    // stream holds it whole.
    bool ReadTag(FILE* file);

    // Writes the record. Refuses (false, nothing written) a record with id 0,
    // length 0 or no data; a failing write also gives false.
    bool WriteTag(FILE* file) const;

    // Copies min(length, maxBytes) bytes to `destination`; false when the
    // record has no data.
    bool GetData(void* destination, std::size_t maxBytes) const;

    std::uint16_t GetId() const { return static_cast<std::uint16_t>(mId); }
    std::uint32_t GetLength() const { return mLength; }
    const std::uint8_t* GetBytes() const { return mInline ? mInlineBytes : mData.get(); }
    tReadStatus LastStatus() const { return mStatus; }

private:
    struct FreeDeleter {
        void operator()(std::uint8_t* p) const { std::free(p); }
    };
    using tBuffer = std::unique_ptr<std::uint8_t, FreeDeleter>;

    struct tSource;

    // The data part of ReadTag: mId and mLength are set, the data follows.
    bool ReadTagInternal(const tSource& source);
    bool Fail(tReadStatus status);

    unsigned int mId = 0;
    std::uint32_t mLength = 0;
    tBuffer mData;
    // Small records (integers, reals, short texts: nearly every record of a
    // layout) are read into the record itself, sparing an allocation each.
    static constexpr std::uint32_t kInlineBytes = 64;
    std::uint8_t mInlineBytes[kInlineBytes];
    bool mInline = false;
    tReadStatus mStatus = tReadStatus::Ok;
};
