#pragma once
// Page views from screens: once activated, every screen (view controller)
// about to appear is tracked as a page while automatic page tracking is on.
// The page is the screen's class name without a module prefix and without
// a "ViewController" ending. A page view while the service is not available
// is remembered and tracked once the service is enabled.
//
// The screen toolkit tells the platform's screen-appearance observers
// (platform/foundation/ScreenAppearance.h), so telemetry needs nothing of
// the toolkit. Nothing in the app activates the hook.

#include <optional>
#include <string>

class TLMAnalyticsCategory {
public:
    // Registers the hook, once per process; it stays.
    static void activateCategory();
    // The last page seen while the service was not available; empty when
    // none.
    static std::string missedPageViewName();

    // The hook itself, on the main thread, after the screen's own
    // viewWillAppear.
    static void screenWillAppear(const std::string& className);
    // The page of a screen class; none for the containers that are never
    // tracked.
    static std::optional<std::string> pageNameForClassName(const std::string& className);
};
