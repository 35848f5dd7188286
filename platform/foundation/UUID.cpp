#include "platform/foundation/UUID.h"

#include <array>
#include <cstdint>
#include <random>

namespace platform {

std::string newUUIDString() {
    // One generator per thread, seeded from the system's entropy.
    thread_local std::mt19937_64 generator = [] {
        std::random_device device;
        std::seed_seq seed{device(), device(), device(), device(), device(), device(), device(), device()};
        return std::mt19937_64(seed);
    }();
    std::array<std::uint8_t, 16> bytes{};
    for (std::size_t i = 0; i < bytes.size(); i += 8) {
        const std::uint64_t word = generator();
        for (std::size_t j = 0; j < 8; ++j) bytes[i + j] = static_cast<std::uint8_t>(word >> (8 * j));
    }
    bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4
    bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
    static constexpr char kHex[] = "0123456789ABCDEF";
    // Written into place: a document read makes one for each element.
    std::string text(36, '-');
    std::size_t at = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) ++at;
        text[at++] = kHex[bytes[i] >> 4];
        text[at++] = kHex[bytes[i] & 0x0F];
    }
    return text;
}

}  // namespace platform
