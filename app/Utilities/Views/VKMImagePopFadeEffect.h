#pragma once
// The feedback of a like: an image that pops up over a view, grows to four
// times its size and fades out, then goes away by itself.

#include <memory>

#include "platform/ui/core/AnimationGroup.h"

namespace platform {
class Image;
}
namespace platform::ui {
class View;
}

class VKMImagePopFadeEffect {
public:
    // A layer of the image centred on the view's frame in the view's
    // superview, in front of its siblings; removed when the animation
    // ends. A view without a superview shows nothing and keeps nothing.
    static void popFadeEffectFor(const platform::ui::View& view, const std::shared_ptr<platform::Image>& image);
    // Opacity 1 to 0 and scale 1 to 4, each 0.3 seconds easing in, in a
    // group of 0.6 seconds that stays on the layer at its end.
    static std::shared_ptr<platform::ui::AnimationGroup> fadeInAnimationGroup();
};
