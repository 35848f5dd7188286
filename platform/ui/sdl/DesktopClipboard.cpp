#include "platform/ui/sdl/DesktopClipboard.h"

#include "platform/graphics/Image.h"
#include "platform/ui/sdl/DesktopPrograms.h"

#include <SDL.h>

namespace platform::ui::sdl {

void DesktopClipboard::setString(const std::string& text) {
    if (SDL_SetClipboardText(text.c_str()) != 0 && mNotices != nullptr) {
        std::fprintf(mNotices, "vekmont: the desktop's clipboard took no text: %s\n", SDL_GetError());
    }
}

void DesktopClipboard::setImage(const std::shared_ptr<const Image>& image) {
    if (!image) {
        clear();
        return;
    }
    const auto helper = findProgram("xclip");
    // Encoded on the helper's thread: a share picture takes a while.
    if (helper && startProgram(*helper, {"-selection", "clipboard", "-t", "image/png", "-i"},
                               [image] { return image->pngData(); })) {
        return;
    }
    if (!mToldImagesStay && mNotices != nullptr) {
        std::fprintf(mNotices,
                     "vekmont: pictures copied stay in the app (the desktop's clipboard takes them "
                     "through xclip, which is not installed)\n");
    }
    mToldImagesStay = true;
}

void DesktopClipboard::clear() { SDL_SetClipboardText(""); }

}  // namespace platform::ui::sdl
