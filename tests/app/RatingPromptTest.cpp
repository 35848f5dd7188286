#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "SharingModule/Model/QLCloudLayoutsCache.h"
#include "app/Utilities/Rating/VKMAppStoreRatingHelper.h"
#include "platform/dispatch/Clock.h"
#include "platform/foundation/TimeZone.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/controllers/SystemSheets.h"
#include "tests/support/EngineServices.h"
#include "tests/support/LogWatch.h"

using namespace std::chrono_literals;
using Date = platform::Value::Date;

namespace {

constexpr auto kDay = std::chrono::hours(24);

class RatingPrompt : public testing::Test {
protected:
    void SetUp() override {
        platform::TimeZone::setDefaultTimeZone(platform::TimeZone::utc());
        testsupport::Analytics();
        platform::ui::StoreReviewController::resetRequestCount();
    }
    void TearDown() override { platform::TimeZone::setDefaultTimeZone(std::nullopt); }

    void cacheLayouts(int count) {
        for (int i = 0; i < count; ++i)
            QLCloudLayoutsCache::sharedInstance().recordDownload("layout-" + std::to_string(i));
    }
    void setDate(const char* key, platform::Value value) { platform::UserDefaults::standard().setObject(key, value); }
    std::optional<platform::Value> stored(const char* key) { return platform::UserDefaults::standard().object(key); }

    int askedEvents() {
        int count = 0;
        for (const auto& event : testsupport::Analytics().events) count += event.first == "AskForRating";
        return count;
    }
    // Asks, then lets the prompt's delay pass; true when the review was requested.
    bool askAndWait() {
        const int before = platform::ui::StoreReviewController::requestCount();
        VKMAppStoreRatingHelper::askForRatingConditionalIn(nullptr);
        clock->advance(2500ms);
        return platform::ui::StoreReviewController::requestCount() == before + 1;
    }

    // 2026-06-15 12:00 UTC.
    const Date start{std::chrono::seconds(1'781'524'800)};
    std::shared_ptr<platform::VirtualClock> clock = std::make_shared<platform::VirtualClock>(start);
    platform::ScopedClock scoped{clock};
};

}  // namespace

TEST_F(RatingPrompt, FourCachedLayoutsAreNotEnoughAndWriteNothing) {
    cacheLayouts(4);
    setDate(VKMAppStoreRatingHelper::kFirstLaunchDateKey, start - 30 * kDay);
    testsupport::LogWatch watch;
    EXPECT_FALSE(askAndWait());
    EXPECT_EQ(watch.Count("Locally cached layouts count: 4"), 1);
    EXPECT_FALSE(stored(VKMAppStoreRatingHelper::kLastAskedForRatingDateKey).has_value());
    EXPECT_EQ(askedEvents(), 0);
}

TEST_F(RatingPrompt, TheFirstLaunchMustBeMoreThanThreeWholeDaysBack) {
    cacheLayouts(5);
    EXPECT_FALSE(askAndWait());  // no first launch recorded

    setDate(VKMAppStoreRatingHelper::kFirstLaunchDateKey, "2026-01-01");  // not a date
    EXPECT_FALSE(askAndWait());

    setDate(VKMAppStoreRatingHelper::kFirstLaunchDateKey, start - 3 * kDay);
    clock->setDate(start + 23h);  // three days and 23 hours: still three whole days
    EXPECT_FALSE(askAndWait());
    EXPECT_FALSE(stored(VKMAppStoreRatingHelper::kLastAskedForRatingDateKey).has_value());

    clock->setDate(start + kDay);
    VKMAppStoreRatingHelper::askForRatingConditionalIn(nullptr);
    // The prompt comes 2.5 s later; the event and the date at once.
    EXPECT_EQ(askedEvents(), 1);
    EXPECT_EQ(stored(VKMAppStoreRatingHelper::kLastAskedForRatingDateKey), platform::Value(start + kDay));
    clock->advance(2400ms);
    EXPECT_EQ(platform::ui::StoreReviewController::requestCount(), 0);
    clock->advance(100ms);
    EXPECT_EQ(platform::ui::StoreReviewController::requestCount(), 1);
}

TEST_F(RatingPrompt, TheNextPromptComesAfterMoreThanNinetyWholeDays) {
    cacheLayouts(12);
    setDate(VKMAppStoreRatingHelper::kFirstLaunchDateKey, start - 200 * kDay);
    ASSERT_TRUE(askAndWait());
    ASSERT_EQ(askedEvents(), 1);

    // Further layouts the same day ask nothing.
    EXPECT_FALSE(askAndWait());
    EXPECT_FALSE(askAndWait());

    clock->setDate(start + 90 * kDay + 1h);
    EXPECT_FALSE(askAndWait());
    EXPECT_EQ(stored(VKMAppStoreRatingHelper::kLastAskedForRatingDateKey), platform::Value(start));

    clock->setDate(start + 91 * kDay);
    EXPECT_TRUE(askAndWait());
    EXPECT_EQ(askedEvents(), 2);
    EXPECT_EQ(stored(VKMAppStoreRatingHelper::kLastAskedForRatingDateKey), platform::Value(start + 91 * kDay));
}

TEST_F(RatingPrompt, AMissingOrMalformedLastPromptCountsAsLongAgo) {
    cacheLayouts(5);
    setDate(VKMAppStoreRatingHelper::kFirstLaunchDateKey, start - 10 * kDay);
    setDate(VKMAppStoreRatingHelper::kLastAskedForRatingDateKey, 42);
    EXPECT_TRUE(askAndWait());
    EXPECT_EQ(stored(VKMAppStoreRatingHelper::kLastAskedForRatingDateKey), platform::Value(start));

    // Written to the file, so a restart remembers it.
    platform::UserDefaults::standard().reload();
    EXPECT_EQ(stored(VKMAppStoreRatingHelper::kLastAskedForRatingDateKey), platform::Value(start));
}

TEST_F(RatingPrompt, DaysAreCalendarDaysOfTheLocalZone) {
    platform::TimeZone::setDefaultTimeZone(platform::TimeZone::named("Europe/Berlin"));
    cacheLayouts(5);
    // 2026-03-26 12:00 in Berlin (UTC+1); summer time begins on the 29th.
    const Date firstLaunch{std::chrono::seconds(1'774'522'800)};
    setDate(VKMAppStoreRatingHelper::kFirstLaunchDateKey, firstLaunch);
    // Four calendar days later at 12:00 (UTC+2) is one hour short of 96 hours.
    clock->setDate(firstLaunch + 4 * kDay - 1h);
    EXPECT_TRUE(askAndWait());
}
