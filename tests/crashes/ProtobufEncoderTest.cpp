// The report writer's encoder, byte for byte against the wire format, and
// its dry runs against what it writes.

#include "crashes/reporter/async/TLCrashProtobufEncoder.h"

#include "tests/support/TempRoot.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using Encode = std::function<size_t(tlcrash_async_file*)>;

// What `encode` writes to a file, after checking that it reports as many
// bytes as it wrote and that a dry run reports the same.
Bytes encoded(const Encode& encode) {
    const std::filesystem::path path = testsupport::processRoot() / "encoded.bin";
    tlcrash_async_file file;
    tlcrash_async_file_init(&file, ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 0);
    const size_t reported = encode(&file);
    EXPECT_TRUE(tlcrash_async_file_close(&file));
    std::ifstream in(path, std::ios::binary);
    Bytes bytes{std::istreambuf_iterator<char>(in), {}};
    EXPECT_EQ(reported, bytes.size());
    EXPECT_EQ(encode(nullptr), bytes.size());
    return bytes;
}

}  // namespace

TEST(ProtobufEncoder, WritesEachKindAsTheWireFormatHasIt) {
    struct Case {
        const char* name;
        Encode encode;
        Bytes expected;
    };
    const Case cases[] = {
        {"uint32 150", [](auto* f) { return tlcrash_writer_encode_uint32(f, 1, 150); }, {0x08, 0x96, 0x01}},
        {"uint64 largest",
         [](auto* f) { return tlcrash_writer_encode_uint64(f, 2, UINT64_MAX); },
         {0x10, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x01}},
        {"int32 -1 sign-extended",
         [](auto* f) { return tlcrash_writer_encode_int32(f, 1, -1); },
         {0x08, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x01}},
        {"int64 smallest",
         [](auto* f) { return tlcrash_writer_encode_int64(f, 4, INT64_MIN); },
         {0x20, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x01}},
        {"sint32 -1", [](auto* f) { return tlcrash_writer_encode_sint32(f, 2, -1); }, {0x10, 0x01}},
        {"sint32 1", [](auto* f) { return tlcrash_writer_encode_sint32(f, 2, 1); }, {0x10, 0x02}},
        {"sint32 smallest",
         [](auto* f) { return tlcrash_writer_encode_sint32(f, 2, INT32_MIN); },
         {0x10, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F}},
        {"sint64 -2", [](auto* f) { return tlcrash_writer_encode_sint64(f, 2, -2); }, {0x10, 0x03}},
        {"sint64 largest",
         [](auto* f) { return tlcrash_writer_encode_sint64(f, 1, INT64_MAX); },
         {0x08, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x01}},
        {"bool", [](auto* f) { return tlcrash_writer_encode_bool(f, 3, true); }, {0x18, 0x01}},
        {"enum", [](auto* f) { return tlcrash_writer_encode_enum(f, 1, 6); }, {0x08, 0x06}},
        {"fixed32 little-endian",
         [](auto* f) { return tlcrash_writer_encode_fixed32(f, 5, 0x01020304); },
         {0x2D, 0x04, 0x03, 0x02, 0x01}},
        {"sfixed32 -2",
         [](auto* f) { return tlcrash_writer_encode_sfixed32(f, 1, -2); },
         {0x0D, 0xFE, 0xFF, 0xFF, 0xFF}},
        {"fixed64",
         [](auto* f) { return tlcrash_writer_encode_fixed64(f, 1, 0x0102030405060708); },
         {0x09, 0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01}},
        {"sfixed64 -2",
         [](auto* f) { return tlcrash_writer_encode_sfixed64(f, 1, -2); },
         {0x09, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
        {"float 1", [](auto* f) { return tlcrash_writer_encode_float(f, 1, 1.0f); }, {0x0D, 0x00, 0x00, 0x80, 0x3F}},
        {"double -2",
         [](auto* f) { return tlcrash_writer_encode_double(f, 1, -2.0); },
         {0x09, 0, 0, 0, 0, 0, 0, 0x00, 0xC0}},
        {"string",
         [](auto* f) { return tlcrash_writer_encode_string(f, 2, "testing"); },
         {0x12, 0x07, 't', 'e', 's', 't', 'i', 'n', 'g'}},
        {"empty bytes", [](auto* f) { return tlcrash_writer_encode_bytes(f, 4, "", 0); }, {0x22, 0x00}},
        {"highest field number",
         [](auto* f) { return tlcrash_writer_encode_uint32(f, (1u << 29) - 1, 0); },
         {0xF8, 0xFF, 0xFF, 0xFF, 0x0F, 0x00}},
        {"nested message",
         [](auto* f) {
             return tlcrash_writer_encode_message(f, 3,
                                                  [](auto* g) { return tlcrash_writer_encode_uint32(g, 1, 150); });
         },
         {0x1A, 0x03, 0x08, 0x96, 0x01}},
    };
    for (const Case& c : cases) EXPECT_EQ(encoded(c.encode), c.expected) << c.name;
}

TEST(ProtobufEncoder, LengthPrefixesNestedMessagesFromTheirDryRun) {
    // Two levels, with a body of 200 bytes, whose length takes two bytes.
    const std::string text(200, 'x');
    const Bytes bytes = encoded([&](tlcrash_async_file* f) {
        return tlcrash_writer_encode_message(f, 1, [&](tlcrash_async_file* g) {
            size_t n = tlcrash_writer_encode_uint32(g, 1, 7);
            n += tlcrash_writer_encode_message(
                g, 2, [&](tlcrash_async_file* h) { return tlcrash_writer_encode_string(h, 1, text.c_str()); });
            return n;
        });
    });
    // Outer: key and length 2 + 3 + 203 = 208 (two bytes); the number; the
    // inner message's key and length 203 (two bytes); the string's key and
    // length 200 (two bytes).
    ASSERT_EQ(bytes.size(), 3u + 208u);
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 3), (Bytes{0x0A, 0xD0, 0x01}));
    EXPECT_EQ(Bytes(bytes.begin() + 3, bytes.begin() + 10), (Bytes{0x08, 0x07, 0x12, 0xCB, 0x01, 0x0A, 0xC8}));
    EXPECT_EQ(bytes[10], 0x01);
    EXPECT_EQ(std::string(bytes.begin() + 11, bytes.end()), text);
}
