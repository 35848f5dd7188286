#include "telemetry/TelemetryAnalytics/TLMAnalyticsCategory.h"

#include "platform/foundation/ScreenAppearance.h"
#include "telemetry/TLMAnalytics.h"

#include <array>
#include <mutex>

namespace {

// The toolkit's containers, by their class names.
const std::array<const char*, 5> kExcludedClassNames = {
    "NavigationController", "TabBarController", "SplitViewController", "InputWindowController", "PageViewController"};
const std::string kViewControllerSuffix = "ViewController";

struct MissedPageView {
    std::mutex mutex;
    std::string name;
};

MissedPageView& missedPageView() {
    static auto* missed = new MissedPageView();  // lives as long as the process
    return *missed;
}

}  // namespace

void TLMAnalyticsCategory::activateCategory() {
    static std::once_flag once;
    std::call_once(once, [] { platform::addScreenWillAppearObserver(&TLMAnalyticsCategory::screenWillAppear); });
}

std::string TLMAnalyticsCategory::missedPageViewName() {
    MissedPageView& missed = missedPageView();
    std::lock_guard lock(missed.mutex);
    return missed.name;
}

std::optional<std::string> TLMAnalyticsCategory::pageNameForClassName(const std::string& className) {
    for (const char* excluded : kExcludedClassNames) {
        if (className == excluded) return std::nullopt;
    }
    std::string name = className.substr(className.rfind('.') == std::string::npos ? 0 : className.rfind('.') + 1);
    if (name.size() > kViewControllerSuffix.size() &&
        name.compare(name.size() - kViewControllerSuffix.size(), std::string::npos, kViewControllerSuffix) == 0) {
        name.resize(name.size() - kViewControllerSuffix.size());
    }
    return name;
}

void TLMAnalyticsCategory::screenWillAppear(const std::string& className) {
    if (!TLMAnalytics::isAutoPageTrackingEnabled()) return;
    const std::optional<std::string> pageName = pageNameForClassName(className);
    if (!pageName) return;
    MissedPageView& missed = missedPageView();
    if (TLMAnalytics::sharedInstance().isAvailable()) {
        {
            std::lock_guard lock(missed.mutex);
            missed.name.clear();
        }
        TLMAnalytics::trackPage(*pageName);
    } else {
        std::lock_guard lock(missed.mutex);
        missed.name = *pageName;
    }
}
