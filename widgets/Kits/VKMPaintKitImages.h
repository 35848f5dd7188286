#pragma once
// Kit icons as images, for buttons: each call draws a new image at the
// main screen's scale (nothing is cached). The icons follow the image's
// width and keep their proportions. Main thread only.

#include "platform/graphics/Color.h"
#include "platform/graphics/Geometry.h"

#include <functional>
#include <memory>

namespace platform {
class Context;
class Image;
}  // namespace platform

class VKMPaintKitImages {
public:
    // An image of `size` points, transparent, with `draw` run in a space
    // scaled by width / 100 on both axes (so a kit's 100 x 100 design box
    // fills the width). Null for a size no image can have.
    static std::shared_ptr<platform::Image> getImageForSize(platform::Size size,
                                                            const std::function<void(platform::Context&)>& draw);

    static std::shared_ptr<platform::Image> infoImageWithSize(platform::Size size, const platform::Color& color);
    // A solid heart.
    static std::shared_ptr<platform::Image> likedImageWithSize(platform::Size size, const platform::Color& color);
    // A heart's outline, empty inside.
    static std::shared_ptr<platform::Image> likedNotYetImageWithSize(platform::Size size, const platform::Color& color);
};
