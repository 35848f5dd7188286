#pragma once
// Colours the app ships, by name, from resources/Colors.txt: one colour a
// line, the name, then "#RRGGBB" or "#RRGGBBAA" (blank lines and lines that
// start with "//" are skipped; a line that is not of this form is passed
// over). Read once per bundle and kept; safe from any thread.

#include "platform/graphics/Color.h"

#include <optional>
#include <string>

namespace platform {
class Bundle;
}

namespace platform::ui {

// From the main bundle; none when it, the file or the name is missing.
std::optional<Color> colorNamed(const std::string& name);
std::optional<Color> colorNamed(const std::string& name, const Bundle& bundle);

}  // namespace platform::ui
