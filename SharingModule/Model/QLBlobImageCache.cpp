#include "SharingModule/Model/QLBlobImageCache.h"

#include "SharingModule/Model/QLCacheFileOutputStream.h"
#include "SharingModule/Model/QLSharedLayoutsClient.h"
#include "SharingModule/Model/QLSharingErrors.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/NotificationCenter.h"
#include "engine/services/ZDUtils.h"
#include "platform/graphics/Image.h"

QLBlobImageCache::QLBlobImageCache(Settings settings)
    : mSettings(std::move(settings)), mFiles(mSettings.label, mSettings.folder, mSettings.indexFile, ".image") {}

std::shared_ptr<platform::Image> QLBlobImageCache::decode(const std::filesystem::path& file) const {
    const platform::ImageDecoding decoded = platform::Image::decodeFile(file, 1, mSettings.maximumPixels);
    if (decoded.overBudget) ZDUtils::logWarning("%s: %s", mSettings.requestName.c_str(), decoded.warning().c_str());
    return decoded.image;
}

const std::shared_ptr<platform::Image>& QLBlobImageCache::keepLocked(const std::string& key,
                                                                     std::shared_ptr<platform::Image> image) {
    if (const auto found = mByKey.find(key); found != mByKey.end()) eraseLocked(found->second);
    mBytes += image ? image->byteCount() : 0;
    mRecent.emplace_front(key, std::move(image));
    mByKey.emplace(key, mRecent.begin());
    while (mBytes > mSettings.memoryBytes && mRecent.size() > 1) eraseLocked(std::prev(mRecent.end()));
    return mRecent.front().second;
}

void QLBlobImageCache::eraseLocked(Recent::iterator at) {
    mBytes -= at->second ? at->second->byteCount() : 0;
    mByKey.erase(at->first);
    mRecent.erase(at);
}

std::shared_ptr<platform::Image> QLBlobImageCache::imageForKey(const std::string& key) {
    {
        std::lock_guard lock(mMutex);
        if (const auto found = mByKey.find(key); found != mByKey.end()) {
            mRecent.splice(mRecent.begin(), mRecent, found->second);
            return found->second->second;
        }
    }
    auto entry = mFiles.entryForKey(key);
    if (!entry) return nullptr;
    auto image = decode(entry->file);
    if (!image) {
        mFiles.remove(key);
        return nullptr;
    }
    std::lock_guard lock(mMutex);
    // Decoded meanwhile by another thread or a download: that one is kept.
    if (const auto found = mByKey.find(key); found != mByKey.end()) {
        mRecent.splice(mRecent.begin(), mRecent, found->second);
        return found->second->second;
    }
    return keepLocked(key, std::move(image));
}

std::vector<std::string> QLBlobImageCache::keysInMemory() const {
    std::lock_guard lock(mMutex);
    std::vector<std::string> keys;
    for (const auto& [key, image] : mRecent) keys.push_back(key);
    return keys;
}

std::size_t QLBlobImageCache::bytesInMemory() const {
    std::lock_guard lock(mMutex);
    return mBytes;
}

void QLBlobImageCache::finishRequest(const std::string& key) {
    std::lock_guard lock(mMutex);
    mInFlight.erase(key);
}

void QLBlobImageCache::requestImage(const std::string& key, const std::string& blobName,
                                    std::shared_ptr<QLSharedLayoutsClient> client) {
    if (!client || key.empty()) return;
    {
        std::lock_guard lock(mMutex);
        if (!mInFlight.insert(key).second) return;
    }
    const std::uint64_t maximumSize = client->configuration().maximumImageSize;
    client->downloadBlob(
        mSettings.containerName, blobName, mFiles.pathForKey(key), maximumSize,
        [this, key, blobName](const std::shared_ptr<QLCacheFileOutputStream>& stream,
                              std::optional<platform::Error> error) {
            std::shared_ptr<platform::Image> image;
            if (!error) {
                image = decode(stream->temporaryPath());
                if (!image) {
                    error = QLMakeSharingError(QLSharingErrorCode::InvalidReply,
                                               "The blob \"" + blobName + "\" is not a whole picture.");
                }
            }
            if (!error && !stream->commit()) {
                error = QLMakeSharingError(QLSharingErrorCode::File, "The picture could not be stored.");
            }
            if (error) {
                if (stream) stream->discard();
                finishRequest(key);
                QLReportCloudAPIError(mSettings.requestName.c_str(), *error);
                return;
            }
            mFiles.record(key, {{"blobName", blobName}});
            {
                std::lock_guard lock(mMutex);
                keepLocked(key, std::move(image));
                mInFlight.erase(key);
            }
            platform::DispatchQueue::main().async([this, key] {
                platform::NotificationCenter::defaultCenter().postNotificationName(
                    mSettings.notificationName, this, platform::Value::Dictionary{{mSettings.notificationKey, key}});
            });
        });
}

void QLBlobImageCache::clear() {
    {
        std::lock_guard lock(mMutex);
        mRecent.clear();
        mByKey.clear();
        mBytes = 0;
    }
    mFiles.removeAll();
}

void QLBlobImageCache::forgetImagesWithoutFiles() {
    std::lock_guard lock(mMutex);
    for (auto it = mRecent.begin(); it != mRecent.end();) {
        const auto at = it++;
        if (!mFiles.entryForKey(at->first)) eraseLocked(at);
    }
}

void QLBlobImageCache::removeFilesOlderThan(Date cutoff) {
    mFiles.removeFilesOlderThan(cutoff);
    forgetImagesWithoutFiles();
}

void QLBlobImageCache::dropReferencesToMissingFiles() {
    mFiles.dropReferencesToMissingFiles();
    forgetImagesWithoutFiles();
}
