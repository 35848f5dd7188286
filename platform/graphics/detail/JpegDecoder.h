#pragma once
// Private to platform/graphics: JPEG bytes to an ARGB32 Cairo surface through
// libjpeg. Any error, and any warning about corrupt data (a truncated file
// among them), gives nullptr; so does an image larger than the bitmap limits.

#include <cairo.h>

#include <cstddef>
#include <cstdint>

namespace platform::detail {

cairo_surface_t* decodeJpeg(const std::uint8_t* data, std::size_t size);

}  // namespace platform::detail
