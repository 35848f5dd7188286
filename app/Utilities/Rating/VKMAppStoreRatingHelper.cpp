#include "app/Utilities/Rating/VKMAppStoreRatingHelper.h"

#include "SharingModule/Model/QLCloudLayoutsCache.h"
#include "app/Utilities/System/LocalDates.h"
#include "engine/services/ActivityAnalyticsService.h"
#include "engine/services/ZDUtils.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/controllers/SystemSheets.h"

#include <chrono>
#include <optional>

namespace {

constexpr std::int64_t kMinimumCachedLayouts = 4;
constexpr int kMinimumDaysSinceFirstLaunch = 3;
constexpr int kMinimumDaysSinceLastPrompt = 90;
constexpr auto kPromptDelay = std::chrono::milliseconds(2500);

std::optional<platform::Value::Date> storedDate(const platform::UserDefaults& defaults, const char* key) {
    const auto value = defaults.object(key);
    if (!value || value->asDate() == nullptr) return std::nullopt;
    return *value->asDate();
}

}  // namespace

void VKMAppStoreRatingHelper::askForRatingConditionalIn(std::shared_ptr<platform::ui::Window> scene) {
    const std::int64_t cached = QLCloudLayoutsCache::sharedInstance().cachedLayoutsCount();
    ZDUtils::logInfo("Locally cached layouts count: %lld", static_cast<long long>(cached));
    if (cached <= kMinimumCachedLayouts) return;

    auto& defaults = platform::UserDefaults::standard();
    const platform::Value::Date now = platform::Clock::shared()->now();
    const auto firstLaunch = storedDate(defaults, kFirstLaunchDateKey);
    if (!firstLaunch || VKMLocalDates::wholeDaysBetween(*firstLaunch, now) <= kMinimumDaysSinceFirstLaunch) return;

    if (const auto lastAsked = storedDate(defaults, kLastAskedForRatingDateKey)) {
        if (VKMLocalDates::wholeDaysBetween(*lastAsked, now) <= kMinimumDaysSinceLastPrompt) return;
    } else {
        defaults.setObject(kLastAskedForRatingDateKey, now);
    }

    platform::DispatchQueue::main().asyncAfter(kPromptDelay, [scene = std::move(scene)] {
        (void)scene;
        platform::ui::StoreReviewController::requestReview();
    });
    QLActivityAnalytics::trackEvent("AskForRating");
    defaults.setObject(kLastAskedForRatingDateKey, platform::Clock::shared()->now());
    defaults.synchronize();
}
