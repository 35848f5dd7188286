#include "telemetry/core/Util/TLMUuid.h"

#include <cctype>
#include <cstdint>
#include <mutex>
#include <random>

namespace {

bool isGroupBoundary(std::size_t index) { return index == 8 || index == 13 || index == 18 || index == 23; }

int hexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return c - 'A' + 10;
}

}  // namespace

TLMUuid TLMNewUuid() {
    static std::mutex mutex;
    static std::mt19937_64 generator{[] {
        std::random_device device;
        std::seed_seq seed{device(), device(), device(), device(), device(), device(), device(), device()};
        return std::mt19937_64(seed);
    }()};

    TLMUuid uuid;
    auto& bytes = uuid.bytes;
    {
        std::lock_guard lock(mutex);
        for (std::size_t i = 0; i < bytes.size(); i += 8) {
            std::uint64_t word = generator();
            for (std::size_t j = 0; j < 8; ++j) bytes[i + j] = static_cast<std::uint8_t>(word >> (8 * j));
        }
    }
    bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4
    bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
    return uuid;
}

std::string TLMNewUuidString() { return TLMUuidString(TLMNewUuid()); }

std::string TLMUuidString(const TLMUuid& uuid) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(36);
    for (std::size_t i = 0; i < uuid.bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) text.push_back('-');
        text.push_back(kHex[uuid.bytes[i] >> 4]);
        text.push_back(kHex[uuid.bytes[i] & 0x0F]);
    }
    return text;
}

std::optional<TLMUuid> TLMUuidFromString(const std::string& text) {
    if (!TLMIsUuidString(text)) return std::nullopt;
    TLMUuid uuid;
    std::size_t byte = 0;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        if (isGroupBoundary(i)) ++i;
        uuid.bytes[byte++] = static_cast<std::uint8_t>(hexDigitValue(text[i]) << 4 | hexDigitValue(text[i + 1]));
    }
    return uuid;
}

bool TLMIsUuidString(const std::string& text) {
    if (text.size() != 36) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (isGroupBoundary(i) ? text[i] != '-' : !std::isxdigit(static_cast<unsigned char>(text[i]))) return false;
    }
    return true;
}
