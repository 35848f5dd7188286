#include "telemetry/Internals/Util/TLMCompression.h"

#include "telemetry/TLMLogger.h"

#include <zlib.h>

#include <limits>

namespace {

// Window bits 15 with 16 added: a 32 KiB window and the gzip wrapper.
constexpr int kGzipWindowBits = 31;
constexpr int kMemoryLevel = 8;

const char* initErrorText(int status) {
    switch (status) {
        case Z_STREAM_ERROR: return "Invalid parameter passed in to function.";
        case Z_MEM_ERROR: return "Not enough memory.";
        case Z_VERSION_ERROR: return "Version of zlib.h & libz library do not match!";
        default: return "Unknown error!";
    }
}

const char* deflateErrorText(int status) {
    switch (status) {
        case Z_STREAM_ERROR: return "Inconsistent stream state.";
        case Z_BUF_ERROR: return "No progress is possible.";
        default: return "Unknown error!";
    }
}

}  // namespace

std::optional<std::vector<std::uint8_t>> TLMCompression::compressData(const std::vector<std::uint8_t>& data) {
    if (data.empty()) return std::nullopt;
    // zlib counts one input and its output in 32 bits; request bodies are
    // far smaller.
    if (data.size() > std::numeric_limits<uInt>::max() / 2) {
        TLMLogError("Telemetry", "Compression failed with error: %s", initErrorText(Z_STREAM_ERROR));
        return std::nullopt;
    }
    z_stream stream{};
    const int initStatus =
        deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, kGzipWindowBits, kMemoryLevel, Z_DEFAULT_STRATEGY);
    if (initStatus != Z_OK) {
        TLMLogError("Telemetry", "Compression failed with error: %s", initErrorText(initStatus));
        return std::nullopt;
    }
    // Room for the worst case, gzip wrapper included: a small or
    // incompressible body grows, and a fixed margin cannot hold it.
    std::vector<std::uint8_t> compressed(deflateBound(&stream, static_cast<uLong>(data.size())));
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = compressed.data();
    stream.avail_out = static_cast<uInt>(compressed.size());
    int status = Z_OK;
    while (status == Z_OK) status = deflate(&stream, Z_FINISH);
    const uLong written = stream.total_out;
    deflateEnd(&stream);
    if (status != Z_STREAM_END) {
        TLMLogError("Telemetry", "Deflate failed with error: %s", deflateErrorText(status));
        return std::nullopt;
    }
    compressed.resize(written);
    return compressed;
}
