#pragma once
// The symbol images of the layout screen (action buttons, the colourise
// menu, the empty state), drawn by our own code under the platform's symbol
// names. Template images: a view fills them with its tint.

#include <memory>
#include <string>

namespace platform {
class Image;
}

namespace VKMLayoutSymbols {

inline constexpr const char* kBrowse = "safari";
inline constexpr const char* kShare = "square.and.arrow.up";
inline constexpr const char* kSettings = "slider.horizontal.3";
inline constexpr const char* kLayers = "square.3.stack.3d";
inline constexpr const char* kColorize = "paintbrush";
inline constexpr const char* kColorizeFill = "paintbrush.fill";

// Registers every symbol above; once per process, from any thread.
void registerSymbols();

// The symbol at `pointSize` at the main screen's scale (registered first).
std::shared_ptr<platform::Image> image(const std::string& name, double pointSize);

}  // namespace VKMLayoutSymbols
