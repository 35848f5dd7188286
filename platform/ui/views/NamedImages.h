#pragma once
// Images the app ships, by name: resources/images/<name>@2x.png (drawn at
// two pixels a point, the scale screens are drawn at), else <name>@3x.png,
// <name>.png or <name>.jpg. Loaded once and kept; safe from any thread.
// A name is never a path: one with a slash or a backslash, or that starts
// with a dot, finds nothing.

#include "platform/graphics/Image.h"

#include <memory>
#include <string>

namespace platform {
class Bundle;
}

namespace platform::ui {

// From the main bundle; none when it or the image is missing.
std::shared_ptr<Image> imageNamed(const std::string& name);
std::shared_ptr<Image> imageNamed(const std::string& name, const Bundle& bundle);

}  // namespace platform::ui
