#include "SharingModule/Model/QLCloudLayoutsCache.h"

#include "platform/dispatch/Clock.h"
#include "platform/foundation/Paths.h"

QLCloudLayoutsCache& QLCloudLayoutsCache::sharedInstance() {
    static QLCloudLayoutsCache cache(platform::Paths::tmp() / "CloudLayouts",
                                     platform::Paths::caches() / "CloudLayouts.plist");
    return cache;
}

QLCloudLayoutsCache::QLCloudLayoutsCache(std::filesystem::path folder, std::filesystem::path indexFile)
    : mFiles("com.vekmont.sharing.layouts-cache", std::move(folder), std::move(indexFile), ".layout") {}

std::optional<std::filesystem::path> QLCloudLayoutsCache::reusableFileForLayout(const std::string& layoutId,
                                                                                const std::optional<Date>& uploadDate) {
    auto entry = mFiles.entryForKey(layoutId);
    if (!entry) return std::nullopt;
    const auto age = platform::Clock::shared()->now() - entry->date;
    // A download dated in the future (the clock was set back) is not trusted either.
    if (age < Date::duration::zero() || age > kReuseAge) return std::nullopt;
    if (uploadDate && entry->date < *uploadDate) return std::nullopt;
    return entry->file;
}
