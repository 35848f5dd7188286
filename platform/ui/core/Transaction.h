#pragma once
// Transactions group layer changes, as on the platform: settings for the
// property changes made inside (no actions, the duration and curve of
// implicit animations) and a completion block that runs once every
// animation added inside has ended (run to its end, or been removed).
//
// Transactions nest, and a setting made in an outer one holds inside until
// an inner one sets its own. A setting or a completion block given outside
// any begin() goes to an implicit transaction, which the main run loop
// commits at the end of the current turn. Everything here is for the main
// thread.
//
// The completion block never runs inside commit(): it comes from the main
// run loop, after the animationDidStop of the last animation to end, or on
// the next turn when no animation was added.

#include "platform/ui/core/MediaTimingFunction.h"

#include <functional>
#include <optional>

namespace platform::ui {

class Transaction {
public:
    static void begin();
    // Ends the innermost transaction begun; without one, does nothing.
    static void commit();

    // Property changes make no implicit animation while set.
    static void setDisableActions(bool disable);
    static bool disableActions();

    // The duration and curve of implicit animations. Layers without a
    // delegate animate their property changes implicitly only inside a
    // transaction that set a duration (see Layer::actionForKey).
    static void setAnimationDuration(double seconds);
    static double animationDuration();  // 0.25 unless set
    static bool hasAnimationDuration();
    static void setAnimationTimingFunction(std::optional<MediaTimingFunction> function);
    static std::optional<MediaTimingFunction> animationTimingFunction();

    static void setCompletionBlock(std::function<void()> block);
};

}  // namespace platform::ui
