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

std::shared_ptr<platform::Image> QLBlobImageCache::imageForKey(const std::string& key) {
    {
        std::lock_guard lock(mMutex);
        auto it = mImages.find(key);
        if (it != mImages.end()) return it->second;
    }
    auto entry = mFiles.entryForKey(key);
    if (!entry) return nullptr;
    auto image = decode(entry->file);
    if (!image) {
        mFiles.remove(key);
        return nullptr;
    }
    std::lock_guard lock(mMutex);
    return mImages.emplace(key, std::move(image)).first->second;
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
                mImages[key] = std::move(image);
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
        mImages.clear();
    }
    mFiles.removeAll();
}

void QLBlobImageCache::forgetImagesWithoutFiles() {
    std::lock_guard lock(mMutex);
    for (auto it = mImages.begin(); it != mImages.end();) {
        it = mFiles.entryForKey(it->first) ? std::next(it) : mImages.erase(it);
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
