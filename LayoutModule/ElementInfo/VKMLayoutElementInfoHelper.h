#pragma once
// Shows what is known about a picked element in a popover at the touched
// point, tinted with the element's own colour. Main thread only.

#include <memory>

#include "platform/graphics/Color.h"
#include "platform/graphics/Geometry.h"

namespace platform::ui {
class View;
class ViewController;
}  // namespace platform::ui
class CCompositeGeometry;

class VKMLayoutElementInfoHelper {
public:
    // The popover tint: the grouped background blended with the emphasis
    // colour.
    static constexpr double kEmphasisBlendFactor = 0.3;
    static constexpr double kBackgroundAlpha = 0.75;

    // Plays the burr sound and presents the element's information at the
    // point of the view. A null element, a scene that cannot be made or no
    // place to present it: nothing shown and false.
    static bool presentInfoForElement(CCompositeGeometry* geometry, platform::Point point,
                                      const std::shared_ptr<platform::ui::View>& view);
    // Fills an element information controller (any other is left alone)
    // from the element and the open document, whose statistics are rebuilt.
    static void configureItemDetailsViewController(platform::ui::ViewController& controller,
                                                   const CCompositeGeometry& element);
    static bool presentPopoverWithViewController(const std::shared_ptr<platform::ui::ViewController>& controller,
                                                 const platform::Color& backgroundEmphasisColor, platform::Point point,
                                                 const std::shared_ptr<platform::ui::View>& view);
    // Presents by the first window's root when it is a tab bar controller;
    // false otherwise.
    static bool presentViewController(const std::shared_ptr<platform::ui::ViewController>& controller);
};
