#include "platform/foundation/Base64.h"

namespace platform {

namespace {

int digitValue(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> base64Decode(std::string_view text, Base64LeftoverBits leftoverBits) {
    if (text.size() % 4 != 0) return std::nullopt;
    std::size_t padding = 0;
    if (!text.empty() && text.back() == '=') padding = text.size() >= 2 && text[text.size() - 2] == '=' ? 2 : 1;

    std::vector<std::uint8_t> out;
    out.reserve(text.size() / 4 * 3);
    for (std::size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        const std::size_t significant = last ? 4 - padding : 4;
        std::uint32_t group = 0;
        for (std::size_t j = 0; j < 4; ++j) {
            int value = 0;
            if (j < significant) {
                value = digitValue(text[i + j]);
                if (value < 0) return std::nullopt;  // outside the alphabet, or "=" before the end
            }
            group = (group << 6) | static_cast<std::uint32_t>(value);
        }
        out.push_back(static_cast<std::uint8_t>(group >> 16));
        if (significant >= 3) out.push_back(static_cast<std::uint8_t>(group >> 8));
        if (significant == 4) out.push_back(static_cast<std::uint8_t>(group));
        if (leftoverBits == Base64LeftoverBits::MustBeZero) {
            if (significant == 2 && (group & 0xFFFF) != 0) return std::nullopt;
            if (significant == 3 && (group & 0xFF) != 0) return std::nullopt;
        }
    }
    return out;
}

}  // namespace platform
