#pragma once
// Pictures downloaded from one container of the service's blob storage and
// kept as files under keys (QLFileCache), with the decoded pictures of the
// most recent use kept in memory within a byte budget: past it, the least
// recently used go first (their files stay, and are decoded again when
// asked for). A download enters the cache only when it is a whole picture:
// it must decode before its file is committed, so a cut, failed or foreign
// download is neither cached nor shown. When one arrives, the cache posts
// its notification on the main queue with the key under its key name.
//
// Thread-safe. The profile-picture and preview caches are two of these.

#include "SharingModule/Model/QLFileCache.h"
#include "platform/graphics/Image.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <list>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

class QLSharedLayoutsClient;

class QLBlobImageCache {
public:
    using Date = QLFileCache::Date;

    struct Settings {
        std::string label;          // the queue's name
        std::string requestName;    // in logs and the analytics event of a failure
        std::string containerName;  // where the blobs are
        std::filesystem::path folder;
        std::filesystem::path indexFile;
        std::string notificationName;
        std::string notificationKey;
        // The most pixels a picture is decoded at; a larger one is kept
        // reduced (or refused when it cannot be), with a warning in the log.
        long long maximumPixels = platform::Image::kDecodedPixelBudget;
        // The most bytes of decoded pictures kept in memory; the picture
        // used last is kept even when it alone is larger.
        std::size_t memoryBytes = 64u * 1024 * 1024;
    };

    explicit QLBlobImageCache(Settings settings);
    virtual ~QLBlobImageCache() = default;
    QLBlobImageCache(const QLBlobImageCache&) = delete;
    QLBlobImageCache& operator=(const QLBlobImageCache&) = delete;

    // The cached picture, or nullptr; it becomes the most recently used.
    // A file that no longer decodes is dropped from the cache.
    std::shared_ptr<platform::Image> imageForKey(const std::string& key);
    // Downloads the blob and keeps it for the key; nothing while a download
    // for the key is on its way. Failures are logged and counted.
    void requestImage(const std::string& key, const std::string& blobName,
                      std::shared_ptr<QLSharedLayoutsClient> client);

    void clear();
    // Deletes files last changed before `cutoff` and forgets what refers to
    // missing files.
    void removeFilesOlderThan(Date cutoff);
    void dropReferencesToMissingFiles();

    QLFileCache& files() { return mFiles; }

    // The keys of the pictures kept in memory, the most recently used
    // first, and the bytes of their pixels.
    std::vector<std::string> keysInMemory() const;
    std::size_t bytesInMemory() const;

private:
    using Recent = std::list<std::pair<std::string, std::shared_ptr<platform::Image>>>;

    std::shared_ptr<platform::Image> decode(const std::filesystem::path& file) const;
    void finishRequest(const std::string& key);
    void forgetImagesWithoutFiles();
    // With the mutex held: keeps the picture as the most recently used,
    // then lets the least recently used go while over the budget.
    const std::shared_ptr<platform::Image>& keepLocked(const std::string& key, std::shared_ptr<platform::Image> image);
    void eraseLocked(Recent::iterator at);

    Settings mSettings;
    QLFileCache mFiles;
    mutable std::mutex mMutex;  // guards the four below
    Recent mRecent;             // the most recently used first
    std::unordered_map<std::string, Recent::iterator> mByKey;
    std::size_t mBytes = 0;
    std::set<std::string> mInFlight;
};
