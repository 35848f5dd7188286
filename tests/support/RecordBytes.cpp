#include "tests/support/RecordBytes.h"

#include <gtest/gtest.h>

#include <cstring>

namespace testsupport {

void Append16(Bytes& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}

void Append32(Bytes& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

void Append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) Append(out, part);
    return out;
}

Bytes Int(std::int32_t value) {
    Bytes out;
    Append32(out, static_cast<std::uint32_t>(value));
    return out;
}

Bytes Real(std::int32_t integerPart, std::int32_t fraction) { return Cat({Int(integerPart), Int(fraction)}); }

Bytes Text(const std::string& text, bool withNul) {
    Bytes out(text.begin(), text.end());
    if (withNul) out.push_back(0);
    return out;
}

Bytes Bool(bool on) { return Bytes{static_cast<std::uint8_t>(on ? 1 : 0)}; }

Bytes Record(std::uint16_t id, const Bytes& data) {
    if (data.size() >= 0xFFFF) return LongRecord(id, static_cast<std::uint32_t>(data.size()), data);
    Bytes out;
    Append16(out, id);
    Append16(out, static_cast<std::uint16_t>(data.size()));
    Append(out, data);
    return out;
}

Bytes LongRecord(std::uint16_t id, std::uint32_t declaredLength, const Bytes& data) {
    Bytes out;
    Append16(out, id);
    Append16(out, 0xFFFF);
    Append32(out, declaredLength);
    Append(out, data);
    return out;
}

Bytes Header(const char* magic, std::uint32_t version) {
    Bytes out(magic, magic + 4);
    Append32(out, version);
    return out;
}

double ReadLeDouble(const std::uint8_t* p) {
    std::uint64_t raw = 0;
    for (int i = 7; i >= 0; --i) raw = (raw << 8) | p[i];
    double value;
    std::memcpy(&value, &raw, sizeof value);
    return value;
}

std::int32_t ReadLeInt(const std::uint8_t* p) {
    return static_cast<std::int32_t>(std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
                                     std::uint32_t{p[3]} << 24);
}

void FileCloser::operator()(FILE* file) const {
    if (file != nullptr) std::fclose(file);
}

tFile FileWith(const Bytes& bytes, std::size_t length) {
    tFile file(std::tmpfile());
    if (length > 0) std::fwrite(bytes.data(), 1, length, file.get());
    std::rewind(file.get());
    return file;
}

tFile FileWith(const Bytes& bytes) { return FileWith(bytes, bytes.size()); }

Bytes ReadAll(FILE* file) {
    std::fflush(file);
    std::fseek(file, 0, SEEK_END);
    const long size = std::ftell(file);
    std::rewind(file);
    Bytes bytes(static_cast<std::size_t>(size));
    if (size > 0) {
        EXPECT_EQ(std::fread(bytes.data(), 1, bytes.size(), file), bytes.size());
    }
    return bytes;
}

Bytes Written(const std::function<void(FILE*)>& write) {
    tFile file(std::tmpfile());
    write(file.get());
    return ReadAll(file.get());
}

Bytes Written(const std::function<bool(FILE*)>& write, bool* result) {
    return Written([&](FILE* file) {
        const bool ok = write(file);
        if (result != nullptr) *result = ok;
    });
}

const char* KindName(StreamKind kind) { return kind == StreamKind::DiskFile ? "disk file" : "memory buffer"; }

Stream::Stream(const Bytes& content, StreamKind kind) : bytes(content) {
    if (kind == StreamKind::DiskFile) {
        handle = std::tmpfile();
        // An empty vector may have no data pointer at all.
        if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), handle);
        std::rewind(handle);
        return;
    }
    handle = fmemopen(bytes.data(), bytes.size(), "rb");
    // Some C libraries refuse a buffer of no bytes; /dev/null is as empty.
    if (handle == nullptr && bytes.empty()) handle = std::fopen("/dev/null", "rb");
}

Stream::~Stream() {
    if (handle != nullptr) std::fclose(handle);
}

Bytes ReadBytes(const std::string& path) {
    Bytes out;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return out;
    for (int c = std::fgetc(f); c != EOF; c = std::fgetc(f)) out.push_back(static_cast<std::uint8_t>(c));
    std::fclose(f);
    return out;
}

void WriteBytes(const std::string& path, const Bytes& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

}  // namespace testsupport
