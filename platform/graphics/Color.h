#pragma once
// A colour as red, green, blue and alpha in 0 to 1, device RGB (no colour
// management). Values outside 0 to 1 are clamped when drawn; a value that is
// not a number draws as 0.

namespace platform {

struct Color {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 1;

    static Color white(double level, double alpha = 1) { return {level, level, level, alpha}; }
    static Color clear() { return {0, 0, 0, 0}; }

    friend bool operator==(const Color&, const Color&) = default;
};

}  // namespace platform
