#pragma once
// Pictures for tests of decoding, made by our own code.

#include <cstdint>
#include <vector>

namespace testsupport {

// An 8-bit PNG of one colour, however large, written in a moment: `pixel`
// holds the samples of one pixel as the colour type has them (1 grey, 3 RGB,
// 4 RGBA). A 16384 x 16384 picture is 1 to 7 MB.
std::vector<std::uint8_t> PlainPng(int width, int height, int colourType, const std::vector<std::uint8_t>& pixel);

}  // namespace testsupport
