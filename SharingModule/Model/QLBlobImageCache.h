#pragma once
// Pictures downloaded from one container of the service's blob storage and
// kept as files under keys (QLFileCache), with the decoded pictures kept
// in memory. A download enters the cache only when it is a whole picture:
// it must decode before its file is committed, so a cut, failed or foreign
// download is neither cached nor shown. When one arrives, the cache posts
// its notification on the main queue with the key under its key name.
//
// Thread-safe. The profile-picture and preview caches are two of these.

#include "SharingModule/Model/QLFileCache.h"
#include "platform/graphics/Image.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

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
    };

    explicit QLBlobImageCache(Settings settings);
    virtual ~QLBlobImageCache() = default;
    QLBlobImageCache(const QLBlobImageCache&) = delete;
    QLBlobImageCache& operator=(const QLBlobImageCache&) = delete;

    // The cached picture, or nullptr. A file that no longer decodes is
    // dropped from the cache.
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

private:
    std::shared_ptr<platform::Image> decode(const std::filesystem::path& file) const;
    void finishRequest(const std::string& key);
    void forgetImagesWithoutFiles();

    Settings mSettings;
    QLFileCache mFiles;
    std::mutex mMutex;  // guards the two below
    std::map<std::string, std::shared_ptr<platform::Image>> mImages;
    std::set<std::string> mInFlight;
};
