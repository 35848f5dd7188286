#pragma once
// Images made of a colour.

#include "platform/graphics/Color.h"

#include <memory>

namespace platform {
class Image;
}

class GRColor {
public:
    // An image of 1 by 1 point at scale 1 filled with the colour.
    static std::shared_ptr<platform::Image> imageFromColor(const platform::Color& color);
};
