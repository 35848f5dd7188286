#pragma once
// Bitmaps for frames drawn over and over at one size, as a window's
// snapshots are. A frame is handed out as an image without copying its
// pixels; once nobody holds that image any more its pixels come back here,
// and a later frame is drawn into them (cleared) instead of into fresh
// pages. An image handed out never changes while anyone holds it.
//
// Contexts are made and finished on one thread; the images may be let go
// on any.

#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/Image.h"

#include <memory>

namespace platform {

namespace detail {
class PixelBuffers;
}

class FrameBitmaps {
public:
    FrameBitmaps();
    ~FrameBitmaps();
    FrameBitmaps(const FrameBitmaps&) = delete;
    FrameBitmaps& operator=(const FrameBitmaps&) = delete;

    // A context over a transparent bitmap, as
    // BitmapContext::createForPointSize gives, over the pixels of an
    // earlier frame when one of that size is free.
    std::unique_ptr<BitmapContext> context(Size pointSize, double scale);
    // What `context` drew, as an image that shares its pixels; null for a
    // null context.
    std::shared_ptr<Image> image(std::unique_ptr<BitmapContext> context);

    // Free bitmaps kept for later frames, at most.
    static constexpr int kMostSpare = 2;

private:
    // Of any size, unlike the process's own.
    std::shared_ptr<detail::PixelBuffers> mSpares;
};

}  // namespace platform
