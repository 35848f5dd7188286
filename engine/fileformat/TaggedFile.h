#pragma once
// Typed reader and writer of tagged records over an open FILE handle. The
// caller opens and closes the handle; several readers may be made in turn
// over one handle, each going on at its current position.
//
// Readers take records strictly in file order: asking for an id passes over
// (and loses) every record before it, and an id that is absent consumes the
// rest of the stream. On false the destination is unchanged and LastStatus()
// tells the end of the stream apart from damage.
//
// Value encodings (big-endian): bool 1 byte (any non-zero byte reads true);
// int 4 bytes two's complement; real two ints, the integer part and the
// fraction x 1e7, both truncated toward zero; text the characters and a NUL.

#include "engine/fileformat/Tag.h"
#include "engine/geometry/Color.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

class CTaggedFile {
public:
    // The longest text ReadString takes from one record.
    static constexpr std::size_t kMaxTextLength = 4096;

    explicit CTaggedFile(FILE* file);
    // Logs the warning "Skipped %d tags" when records were passed over.
    virtual ~CTaggedFile();

    CTaggedFile(const CTaggedFile&) = delete;
    CTaggedFile& operator=(const CTaggedFile&) = delete;

    // Reads records until one has `id`. Records passed over are counted as
    // skipped and logged at debug level.
    bool ReadNextMatchingTag(CTag& tag, std::uint16_t id);

    // A record shorter than its value (int below 4 bytes, real below 8) is
    // consumed and gives false with TooShort.
    bool ReadBool(std::uint16_t id, bool& value);
    bool ReadInt(std::uint16_t id, std::int32_t& value);
    bool ReadDouble(std::uint16_t id, double& value);
    // Copies min(record length, bufferSize) bytes; `copied` (may be null)
    // receives that count.
    bool ReadData(std::uint16_t id, void* buffer, std::size_t bufferSize, std::size_t* copied = nullptr);
    // The data up to its first NUL, at most kMaxTextLength characters.
    bool ReadString(std::uint16_t id, std::string& value);
    // Copies at most fieldSize - 1 bytes into `field` and terminates them, so
    // the field always holds a C string. Without room for the terminator
    // (null field or size 0) nothing is read and the result is false.
    bool ReadCString(std::uint16_t id, char* field, std::size_t fieldSize);
    template <std::size_t N>
    bool ReadCString(std::uint16_t id, char (&field)[N]) {
        return ReadCString(id, field, N);
    }

    // Four ReadDouble calls in the order red, green, blue, alpha. A component
    // that is not read keeps the value of the default colour (opaque white);
    // LastStatus() then holds the first failure of the four.
    CColor ReadColor(std::uint16_t redId, std::uint16_t greenId, std::uint16_t blueId, std::uint16_t alphaId);

    // Each writes one record; false when the record cannot be written.
    bool WriteBool(std::uint16_t id, bool value);
    bool WriteInt(std::uint16_t id, std::int32_t value);
    // Refuses (false, nothing written) values that are not finite or whose
    // integer part does not fit in 32 bits.
    bool WriteDouble(std::uint16_t id, double value);
    // Cut to 4,094 characters; the NUL is part of the record.
    bool WriteString(std::uint16_t id, const std::string& value);

    tReadStatus LastStatus() const { return mStatus; }
    int GetReadCount() const { return mTagsRead; }
    int GetSkippedCount() const { return mTagsSkipped; }

private:
    // Finds `id` and checks that the record holds at least `minimumLength`
    // bytes.
    bool ReadValueTag(CTag& tag, std::uint16_t id, std::size_t minimumLength);

    FILE* mFile;
    int mTagsRead = 0;
    int mTagsSkipped = 0;
    tReadStatus mStatus = tReadStatus::Ok;
};
