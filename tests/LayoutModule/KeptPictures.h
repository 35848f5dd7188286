#pragma once
// Window pictures compared with the ones kept in tests/LayoutModule/pictures.

#include <string>

#include "platform/graphics/Image.h"

namespace layouttest {

// The snapshot (scale 2) at a quarter of its size across, each pixel the
// mean of four by four, against the kept picture `name`.png, which
// VEKMONT_UPDATE_PICTURES=1 writes anew. Another font rasteriser draws the
// edges of glyphs a little otherwise, which moves such a mean by less than
// 64; a text's colour changed from black to mid grey, a label moved by a
// point or a word missing moves dozens of them by more. So a pixel differs
// when a channel is more than 64 off, and one in ten thousand may. When
// they differ, the picture made is written to the build's tests/pictures
// to be looked at.
void ExpectLooksAsKept(const platform::Image& shot, const std::string& name);

}  // namespace layouttest
