#pragma once
// The desktop's clipboard behind the pasteboard. Text goes through SDL
// (the window must be open: SDL's video owns the selection). SDL 2 carries
// no images, so a picture is handed as PNG to `xclip -selection clipboard
// -t image/png`, which keeps serving it after we let go; without xclip on
// the PATH one line on standard error says, once, that pictures stay in the
// app. Main thread only.

#include "platform/ui/views/Pasteboard.h"

#include <cstdio>

namespace platform::ui::sdl {

class DesktopClipboard : public SystemClipboard {
public:
    // `notices` hears the one line about pictures (standard error in the app).
    explicit DesktopClipboard(std::FILE* notices = stderr) : mNotices(notices) {}

    void setString(const std::string& text) override;
    void setImage(const std::shared_ptr<const Image>& image) override;
    void clear() override;

private:
    std::FILE* mNotices;
    bool mToldImagesStay = false;
};

}  // namespace platform::ui::sdl
