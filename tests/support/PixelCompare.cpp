#include "tests/support/PixelCompare.h"

#include <cstdlib>

namespace testsupport {

int DifferingPixels(const platform::Image& a, const platform::Image& b, int tolerance) {
    if (a.pixelWidth() != b.pixelWidth() || a.pixelHeight() != b.pixelHeight()) return -1;
    int differing = 0;
    for (int y = 0; y < a.pixelHeight(); ++y) {
        for (int x = 0; x < a.pixelWidth(); ++x) {
            const platform::Pixel p = a.pixel(x, y).value_or(platform::Pixel{});
            const platform::Pixel q = b.pixel(x, y).value_or(platform::Pixel{});
            const auto off = [tolerance](int u, int v) { return std::abs(u - v) > tolerance; };
            differing += off(p.red, q.red) || off(p.green, q.green) || off(p.blue, q.blue) || off(p.alpha, q.alpha);
        }
    }
    return differing;
}

}  // namespace testsupport
