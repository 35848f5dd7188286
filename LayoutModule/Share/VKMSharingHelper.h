#pragma once
// Shares a picture of the open layout: the layout cropped to its content
// with a margin, labelled with its title, its author and a line naming the
// app, offered in the share sheet. The picture is drawn on a background
// queue from a copy of the document (made by the pool in turns of the main
// loop, see VKMLayoutCopier), so the screen may change or close the
// document meanwhile. Main thread only, but for the drawing functions,
// which draw what they are given on any thread.

#include <memory>
#include <string>

#include "platform/graphics/Color.h"

namespace platform {
class Image;
}
namespace platform::ui {
class View;
class ViewController;
}  // namespace platform::ui
class CLayout;

class VKMSharingHelper {
public:
    static constexpr int kPaddingMM = 350;
    static constexpr double kTargetImageSize = 2048;

    // The texts of the picture, read on the main thread.
    struct tOverlayTexts {
        std::string title;   // the layout's title, "_" shown as " "
        std::string author;  // the author's name
        std::string appName;
    };

    // Presents the share sheet from `presenter`, pointing at `targetView`,
    // saying that the picture is being prepared while it draws the picture
    // of a copy of `layout` in the background; the sheet offers the picture
    // once it is ready (or says that it could not be made, as when the open
    // document is closed before it is copied).
    static void shareImageOfLayout(CLayout& layout, const std::shared_ptr<platform::ui::ViewController>& presenter,
                                   const std::shared_ptr<platform::ui::View>& targetView);
    // The texts of the open cloud layout.
    static tOverlayTexts currentOverlayTexts();

    // The cropped picture with the texts; null when it cannot be drawn.
    static std::shared_ptr<platform::Image> getCroppedOverlayedImage(CLayout& layout, const tOverlayTexts& texts);
    static std::shared_ptr<platform::Image> addTextOverlayToImage(const platform::Image& image,
                                                                  const tOverlayTexts& texts);

    // `name` names a saved copy of the picture (the layout's title).
    static void shareInViewController(const std::shared_ptr<platform::ui::ViewController>& presenter,
                                      const std::shared_ptr<platform::ui::View>& targetView,
                                      const std::shared_ptr<platform::Image>& image, const std::string& name = {});
};
