#include "platform/graphics/detail/ImageDecoders.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace platform::detail {

long long reducedSide(long long side, int factor) { return (side + factor - 1) / factor; }

int reductionFor(long long width, long long height, long long maxPixels) {
    // Every picture keeps at least a pixel.
    maxPixels = std::max(maxPixels, 1LL);
    const auto fits = [&](int f) { return reducedSide(width, f) * reducedSide(height, f) <= maxPixels; };
    if (fits(1)) return 1;
    int factor = std::max(2, static_cast<int>(std::sqrt(static_cast<double>(width) * height / maxPixels)));
    while (!fits(factor)) ++factor;
    return factor;
}

void addRow(const std::uint8_t* row, long long width, int factor, std::uint64_t* sums) {
    for (long long x0 = 0; x0 < width; x0 += factor, sums += 4) {
        const long long end = std::min(width, x0 + factor);
        std::uint64_t a = 0, r = 0, g = 0, b = 0;
        if (factor <= 256) {
            // Two channels a word, in 16-bit lanes that 256 pixels cannot
            // overflow.
            std::uint32_t redBlue = 0, alphaGreen = 0;
            for (long long x = x0; x < end; ++x) {
                std::uint32_t word;
                std::memcpy(&word, row + 4 * x, 4);
                redBlue += word & 0x00FF00FFu;
                alphaGreen += (word >> 8) & 0x00FF00FFu;
            }
            a = alphaGreen >> 16;
            r = redBlue >> 16;
            g = alphaGreen & 0xFFFF;
            b = redBlue & 0xFFFF;
        } else {
            for (long long x = x0; x < end; ++x) {
                std::uint32_t word;
                std::memcpy(&word, row + 4 * x, 4);
                a += word >> 24;
                r += (word >> 16) & 0xFF;
                g += (word >> 8) & 0xFF;
                b += word & 0xFF;
            }
        }
        sums[0] += a;
        sums[1] += r;
        sums[2] += g;
        sums[3] += b;
    }
}

void writeBand(std::uint64_t* sums, long long width, int factor, long long rows, std::uint8_t* out) {
    for (long long x0 = 0; x0 < width; x0 += factor, sums += 4, out += 4) {
        const std::uint64_t n = static_cast<std::uint64_t>(std::min<long long>(factor, width - x0) * rows);
        const auto mean = [n](std::uint64_t sum) { return static_cast<std::uint32_t>((sum + n / 2) / n); };
        const std::uint32_t word = (mean(sums[0]) << 24) | (mean(sums[1]) << 16) | (mean(sums[2]) << 8) | mean(sums[3]);
        std::memcpy(out, &word, 4);
        std::fill(sums, sums + 4, 0);
    }
}

}  // namespace platform::detail
