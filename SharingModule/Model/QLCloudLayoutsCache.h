#pragma once
// The layout files downloaded from the sharing service, kept in the
// temporary folder ("tmp/CloudLayouts") under their layout identifiers.
// A downloaded file is reused while it is at most 48 hours old and was
// downloaded no earlier than the layout's upload; otherwise the layout is
// downloaded again. Thread-safe.

#include "SharingModule/Model/QLFileCache.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

class QLCloudLayoutsCache {
public:
    using Date = QLFileCache::Date;
    static constexpr std::chrono::hours kReuseAge{48};

    // The process-wide cache, made on first use under the app's folders.
    static QLCloudLayoutsCache& sharedInstance();
    QLCloudLayoutsCache(std::filesystem::path folder, std::filesystem::path indexFile);

    // The number of layouts whose downloaded files the cache references.
    std::int64_t cachedLayoutsCount() { return static_cast<std::int64_t>(mFiles.count()); }
    // The layouts whose downloaded files the cache references, in order.
    std::vector<std::string> cachedLayoutIds() { return mFiles.keys(); }

    // The downloaded file of the layout when it may be reused now (on
    // Clock::shared()'s date) for a layout uploaded at `uploadDate`.
    std::optional<std::filesystem::path> reusableFileForLayout(const std::string& layoutId,
                                                               const std::optional<Date>& uploadDate);
    // Where the layout's file is downloaded to; recordDownload once it is there whole.
    std::filesystem::path pathForLayout(const std::string& layoutId) const { return mFiles.pathForKey(layoutId); }
    void recordDownload(const std::string& layoutId) { mFiles.record(layoutId); }

    void clear() { mFiles.removeAll(); }
    QLFileCache& files() { return mFiles; }

private:
    QLFileCache mFiles;
};
