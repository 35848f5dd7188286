#pragma once
// Private to platform/ui: the animation blocks open on the main thread, and
// what a view's layer does when one of its properties changes.

#include <memory>
#include <string>

namespace platform::ui {
class Animation;
}

namespace platform::ui::detail {

// The animation for a change of a view layer's `key` inside the innermost
// open animation block; null (no animation) outside one, inside one that
// animates nothing, and for keys views do not animate.
std::shared_ptr<Animation> viewActionForKey(const std::string& key);

// Views change at once while one of these lives (views set themselves up
// with it, inside animation blocks or not).
class ScopedNoViewAnimation {
public:
    ScopedNoViewAnimation();
    ~ScopedNoViewAnimation();
    ScopedNoViewAnimation(const ScopedNoViewAnimation&) = delete;
    ScopedNoViewAnimation& operator=(const ScopedNoViewAnimation&) = delete;
};

}  // namespace platform::ui::detail
