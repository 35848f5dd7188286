// Gzip compression of request bodies: what comes out inflates back to the
// input, whatever its size, and is the same for the same input.

#include "telemetry/Internals/Util/TLMCompression.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// Inflates a whole gzip stream; none when it is not one.
std::optional<Bytes> gunzip(const Bytes& compressed) {
    z_stream stream{};
    if (inflateInit2(&stream, 31) != Z_OK) return std::nullopt;
    Bytes out;
    std::uint8_t buffer[4096];
    stream.next_in = const_cast<Bytef*>(compressed.data());
    stream.avail_in = static_cast<uInt>(compressed.size());
    int status = Z_OK;
    while (status == Z_OK) {
        stream.next_out = buffer;
        stream.avail_out = sizeof buffer;
        status = inflate(&stream, Z_NO_FLUSH);
        out.insert(out.end(), buffer, buffer + (sizeof buffer - stream.avail_out));
    }
    const bool whole = status == Z_STREAM_END && stream.avail_in == 0;
    inflateEnd(&stream);
    return whole ? std::optional<Bytes>(out) : std::nullopt;
}

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

}  // namespace

TEST(TLMCompression, OutputInflatesBackForEverySize) {
    EXPECT_FALSE(TLMCompression::compressData({}).has_value());

    std::mt19937 random(20240305);
    Bytes incompressible(1000);
    for (auto& byte : incompressible) byte = static_cast<std::uint8_t>(random());
    Bytes large(200'000);
    for (auto& byte : large) byte = static_cast<std::uint8_t>(random() & 0x0F);
    std::string json = R"({"logs":[)";
    for (int i = 0; i < 50; ++i)
        json += R"({"type":"event","name":"LayoutLoaded","properties":{"URL":"https://x/a"}},)";
    json.back() = ']';
    json += "}";

    // A byte and an incompressible kilobyte grow: a buffer of 1% plus 12
    // bytes could hold neither.
    for (const Bytes& input : {text("a"), text("{}"), incompressible, large, text(json)}) {
        const auto compressed = TLMCompression::compressData(input);
        ASSERT_TRUE(compressed.has_value()) << input.size() << " bytes";
        ASSERT_GE(compressed->size(), 18u);
        EXPECT_EQ((*compressed)[0], 0x1F);
        EXPECT_EQ((*compressed)[1], 0x8B);
        EXPECT_EQ(gunzip(*compressed), input) << input.size() << " bytes";
        EXPECT_EQ(TLMCompression::compressData(input), compressed);
    }
    EXPECT_GT(TLMCompression::compressData(incompressible)->size(), incompressible.size());
    EXPECT_LT(TLMCompression::compressData(text(json))->size(), json.size() / 10);
}
