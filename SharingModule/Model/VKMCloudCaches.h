#pragma once
// The app's operations on all the sharing caches at once.

class VKMCloudCaches {
public:
    // Files older than this are removed at start-up.
    static constexpr int kObsoleteFileAgeDays = 7;

    // Empties, in this order, the user-name, layouts, profile-picture and
    // preview caches, logging each.
    static void clearCloudCaches();
    // Deletes the cached files last changed more than seven days before
    // Clock::shared()'s date, and has the layouts, profile-picture and
    // preview caches drop references to missing files.
    static void removeObsoleteCachedFiles();
};
