#pragma once
// Shows what a long press found: the element information scene as a
// popover at the press. Main thread only.

#include <memory>

#include "platform/graphics/Geometry.h"

namespace platform::ui {
class View;
class ViewController;
}  // namespace platform::ui
class CCompositeGeometry;

class VKMLayoutElementInfoHelper {
public:
    // False, and nothing shown, when the scene cannot be made or there is
    // nowhere to show it.
    static bool presentInfoForElement(CCompositeGeometry* element, platform::Point point,
                                      const std::shared_ptr<platform::ui::View>& view,
                                      const std::shared_ptr<platform::ui::ViewController>& presenter);
};
