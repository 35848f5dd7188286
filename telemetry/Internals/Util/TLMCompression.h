#pragma once
// Gzip compression of request bodies, through zlib.

#include <cstdint>
#include <optional>
#include <vector>

class TLMCompression {
public:
    // The gzip stream of the data (default level, no name or time in the
    // header, so the same data gives the same bytes). None for empty data,
    // and none with an error logged when zlib fails; a caller then sends the
    // body as it is, as it does when the result is no smaller.
    static std::optional<std::vector<std::uint8_t>> compressData(const std::vector<std::uint8_t>& data);
};
