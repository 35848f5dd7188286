#pragma once
// A plan rectangle in millimetres, in the engine's field order:
// min y, min x, max y, max x.

struct tDoubleRect {
    double minY = 0;
    double minX = 0;
    double maxY = 0;
    double maxX = 0;

    double Width() const { return maxX - minX; }
    double Height() const { return maxY - minY; }
    bool operator==(const tDoubleRect&) const = default;
};
