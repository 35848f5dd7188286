#pragma once
// Tagged records built byte by byte as the files hold them (big-endian ids,
// lengths and values), and streams over bytes for the readers under test.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace testsupport {

using Bytes = std::vector<std::uint8_t>;

// ------------------------------------------------ building records by hand

void Append16(Bytes& out, std::uint16_t value);
void Append32(Bytes& out, std::uint32_t value);
void Append(Bytes& out, const Bytes& more);
Bytes Cat(std::initializer_list<Bytes> parts);

// Record data.
Bytes Int(std::int32_t value);
// A real as its integer part and its fraction x 1e7.
Bytes Real(std::int32_t integerPart, std::int32_t fraction);
Bytes Text(const std::string& text, bool withNul = true);
Bytes Bool(bool on);

// id, 2-byte length, data; the long form (0xFFFF, then a 4-byte length)
// where the data does not fit the short one.
Bytes Record(std::uint16_t id, const Bytes& data);
// id, 0xFFFF, the 4-byte length as declared, then whatever data is given.
Bytes LongRecord(std::uint16_t id, std::uint32_t declaredLength, const Bytes& data);
// A file header: four magic bytes and the version.
Bytes Header(const char* magic, std::uint32_t version);

// Little-endian values, as some record data holds them.
double ReadLeDouble(const std::uint8_t* p);
std::int32_t ReadLeInt(const std::uint8_t* p);

// ------------------------------------------------ files and streams

struct FileCloser {
    void operator()(FILE* file) const;
};
using tFile = std::unique_ptr<FILE, FileCloser>;

// A temporary file holding the first `length` bytes (all of them when not
// given), rewound.
tFile FileWith(const Bytes& bytes, std::size_t length);
tFile FileWith(const Bytes& bytes);

// Everything in `file` from its start; unwritten buffers are flushed first.
Bytes ReadAll(FILE* file);

// What `write` put into a fresh temporary file; the second form also hands
// back what `write` returned.
Bytes Written(const std::function<void(FILE*)>& write);
Bytes Written(const std::function<bool(FILE*)>& write, bool* result);

// The two kinds of stream a reader meets: a file on disk, and a buffer in
// memory, which has no descriptor.
enum class StreamKind { DiskFile, MemoryBuffer };
const char* KindName(StreamKind kind);

// A read stream over its own copy of the bytes.
struct Stream {
    explicit Stream(const Bytes& content, StreamKind kind = StreamKind::MemoryBuffer);
    ~Stream();
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;
    Bytes bytes;
    FILE* handle = nullptr;
};

// Whole files by path: an unreadable file reads as no bytes.
Bytes ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const Bytes& bytes);

}  // namespace testsupport
