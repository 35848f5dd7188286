#pragma once
// Records written in any order through the engine's own tag writer, beside
// raw records and bytes, for record forms that Save does not make; and a
// component's record saved and loaded back as the element reader does.

#include "engine/fileformat/TaggedFile.h"
#include "tests/support/RecordBytes.h"

#include <cstdint>
#include <string>

class CBasicGeometry;

namespace testsupport {

class RecordWriter {
public:
    RecordWriter();

    CTaggedFile& tags() { return mTags; }
    FILE* File() { return mFile.get(); }

    // Four magic bytes and the version, as a file starts.
    void Header(const char* magic, std::uint32_t version);
    // A record of the bytes given, of any length.
    void Raw(std::uint16_t id, const Bytes& data);
    // Records through the tag writer; a refused write fails the test.
    void Text(std::uint16_t id, const std::string& text);
    void Int(std::uint16_t id, std::int32_t value);
    void Real(std::uint16_t id, double value);
    void Bool(std::uint16_t id, bool value);
    // Bytes as they are, outside any record.
    void Append(const Bytes& bytes);

    // Everything written so far.
    Bytes Contents();
    // The file, flushed and rewound for a reader.
    FILE* Rewound();

private:
    tFile mFile;
    CTaggedFile mTags;
};

// Non-default values in every base field of a component, exact in the
// file's fixed-point reals: offset (12.5, -7.25), gauge 16.5, angle 33, joint
// 1 off, bed 40, rail 1.5, attribute 7, colour (0.25, 0.5, 0.75, 0.5),
// generator 42, generated.
void SetBaseFields(CBasicGeometry& c);

// The record `component` saves.
Bytes SaveBytes(CBasicGeometry& component);

struct tLoadResult {
    bool ok = false;
    std::string error;
    std::int32_t type = -1;
};

// As the element reader does: tag 300 with a reader of its own, then the
// component's Load on the same handle. Only the first `length` bytes exist
// (all of them when not given).
tLoadResult LoadRecord(CBasicGeometry& component, const Bytes& bytes, int version, std::size_t length);
tLoadResult LoadRecord(CBasicGeometry& component, const Bytes& bytes, int version);

}  // namespace testsupport
