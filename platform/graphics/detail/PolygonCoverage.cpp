#include "platform/graphics/detail/PolygonCoverage.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace platform::detail {

namespace {

// x * a / 255, rounded as pixman rounds it.
unsigned multiply(unsigned x, unsigned a) {
    const unsigned t = x * a + 0x80;
    return (t + (t >> 8)) >> 8;
}

// Adds to row `cells` (x measured from the row's first cell) the signed
// area that an edge crossing the row from x0 to x1 over the height `d`
// (negative going up) leaves right of it in each cell: a cell's coverage
// is then the sum of the cells up to it. Both ends lie within the cells.
void addSpan(double* cells, double x0, double x1, double d) {
    if (x1 < x0) std::swap(x0, x1);
    const double floor0 = std::floor(x0);
    const int i0 = static_cast<int>(floor0);
    const int i1 = static_cast<int>(std::ceil(x1));
    if (i1 <= i0 + 1) {
        // Within one column: the part of the cell right of the edge's middle.
        const double middle = 0.5 * (x0 + x1) - floor0;
        cells[i0] += d * (1 - middle);
        cells[i0 + 1] += d * middle;
        return;
    }
    // Across columns: the area under the edge grows linearly between its
    // first and last column, as triangles in those two.
    const double s = 1 / (x1 - x0);
    const double f0 = x0 - floor0;
    const double first = 0.5 * s * (1 - f0) * (1 - f0);
    const double f1 = x1 - (i1 - 1);
    const double last = 0.5 * s * f1 * f1;
    cells[i0] += d * first;
    if (i1 == i0 + 2) {
        cells[i0 + 1] += d * (1 - first - last);
    } else {
        const double second = s * (1.5 - f0);
        cells[i0 + 1] += d * (second - first);
        for (int i = i0 + 2; i < i1 - 1; ++i) cells[i] += d * s;
        const double before = second + (i1 - i0 - 3) * s;
        cells[i1 - 1] += d * (1 - before - last);
    }
    cells[i1] += d * last;
}

}  // namespace

std::uint32_t overWithCoverage(std::uint32_t color, unsigned coverage, std::uint32_t below) {
    if (coverage >= 255 && (color >> 24) == 255) return color;
    const unsigned alpha = multiply(color >> 24, coverage);
    std::uint32_t result = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const unsigned top = multiply((color >> shift) & 0xff, coverage);
        const unsigned under = multiply((below >> shift) & 0xff, 255 - alpha);
        result |= std::min(top + under, 255u) << shift;
    }
    return result;
}

bool isSimpleOutline(const Point* points, std::size_t count) {
    const auto turn = [](Point a, Point b, Point c) {
        const double t = (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
        return t > 0 ? 1 : t < 0 ? -1 : 0;
    };
    for (std::size_t i = 0; i < count; ++i) {
        const Point a = points[i];
        const Point b = points[i + 1 == count ? 0 : i + 1];
        // The sides after the next, up to the one before this.
        for (std::size_t j = i + 2; j < count; ++j) {
            if (i == 0 && j + 1 == count) continue;
            const Point c = points[j];
            const Point d = points[j + 1 == count ? 0 : j + 1];
            if (turn(a, b, c) * turn(a, b, d) <= 0 && turn(c, d, a) * turn(c, d, b) <= 0) return false;
        }
    }
    return true;
}

void fillPolygonCoverage(const ArgbPixels& target, const PixelRect& limit, const Point* points, std::size_t count,
                         std::uint32_t color) {
    if (count < 3) return;
    double minX = points[0].x;
    double maxX = minX;
    double minY = points[0].y;
    double maxY = minY;
    for (std::size_t i = 1; i < count; ++i) {
        minX = std::min(minX, points[i].x);
        maxX = std::max(maxX, points[i].x);
        minY = std::min(minY, points[i].y);
        maxY = std::max(maxY, points[i].y);
    }
    const int left = static_cast<int>(std::floor(minX));
    const int top = std::max(static_cast<int>(std::floor(minY)), limit.y0);
    const int bottom = std::min(static_cast<int>(std::ceil(maxY)), limit.y1);
    if (top >= bottom) return;
    // A cell more than the columns touched, for the area right of the last.
    const int width = static_cast<int>(std::ceil(maxX)) - left + 2;
    const int rows = bottom - top;
    thread_local std::vector<double> cells;
    cells.assign(static_cast<std::size_t>(width) * rows, 0.0);

    for (std::size_t i = 0; i < count; ++i) {
        Point a = points[i];
        Point b = points[i + 1 == count ? 0 : i + 1];
        if (a.y == b.y) continue;
        double direction = 1;
        if (a.y > b.y) {
            std::swap(a, b);
            direction = -1;
        }
        const double slope = (b.x - a.x) / (b.y - a.y);
        const int first = std::max(static_cast<int>(std::floor(a.y)), top);
        const int end = std::min(static_cast<int>(std::ceil(b.y)), bottom);
        for (int row = first; row < end; ++row) {
            const double y0 = std::max<double>(row, a.y);
            const double y1 = std::min<double>(row + 1, b.y);
            if (!(y1 > y0)) continue;
            // Clamped so that rounding never leaves the columns.
            const auto column = [&](double y) { return std::clamp(a.x + (y - a.y) * slope, minX, maxX) - left; };
            addSpan(&cells[static_cast<std::size_t>(row - top) * width], column(y0), column(y1), direction * (y1 - y0));
        }
    }

    const int x0 = std::max(left, limit.x0);
    const int x1 = std::min(left + width, limit.x1);
    for (int row = 0; row < rows; ++row) {
        const double* line = &cells[static_cast<std::size_t>(row) * width];
        auto* pixels = reinterpret_cast<std::uint32_t*>(reinterpret_cast<unsigned char*>(target.data) +
                                                        static_cast<std::ptrdiff_t>(top + row) * target.stride);
        double sum = 0;
        for (int x = left; x < x1; ++x) {
            sum += line[x - left];
            if (x < x0) continue;
            const auto coverage = static_cast<unsigned>(std::min(std::abs(sum), 1.0) * 255 + 0.5);
            if (coverage != 0) pixels[x] = overWithCoverage(color, coverage, pixels[x]);
        }
    }
}

}  // namespace platform::detail
