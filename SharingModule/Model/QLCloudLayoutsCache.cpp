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
    const Date now = platform::Clock::shared()->now();
    // A download dated in the future (the clock was set back) is not trusted
    // either. The dates are compared, never subtracted: an index may hold any
    // date, and one some centuries before now lies further from it than the
    // clock's unit counts.
    if (entry->date > now) return std::nullopt;
    if (now >= Date::min() + kReuseAge && entry->date < now - kReuseAge) return std::nullopt;
    if (uploadDate && entry->date < *uploadDate) return std::nullopt;
    return entry->file;
}
