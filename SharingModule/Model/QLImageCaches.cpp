#include "SharingModule/Model/QLPreviewImageCache.h"
#include "SharingModule/Model/QLProfileImageCache.h"
#include "SharingModule/Model/QLSharedLayoutsClient.h"
#include "platform/foundation/Paths.h"

namespace {

// Profile pictures are uploaded at 512 x 512 (the summary's "profileImage512")
// and shown at most as the profile screen's portrait of 200 points, 600
// pixels on a 3x screen. Twice the side they are made at leaves room, at
// 4 MiB a picture.
constexpr long long kProfilePicturePixels = 1024LL * 1024;
// In memory: four pictures at that budget, sixteen at the 512 x 512 they
// are uploaded at; the screens show one or two at a time (the signed-in
// user's on the tab bar, a profile's portrait).
constexpr std::size_t kProfilePictureMemory = 16u * 1024 * 1024;

// A preview is shown at most across the screen above the layout's details:
// a phone's screen is about 1300 pixels across (2800 high), a tablet's 2048.
// 2048 x 2048 is 16 MiB a picture.
constexpr long long kPreviewPixels = 2048LL * 2048;
// In memory: four previews at that budget. The views that show previews
// hold their own; the cache keeps those left last, for a scroll back,
// where before it kept every preview shown (96 took 1.6 GB).
constexpr std::size_t kPreviewMemory = 64u * 1024 * 1024;

}  // namespace

QLProfileImageCache& QLProfileImageCache::sharedInstance() {
    static QLProfileImageCache cache(platform::Paths::caches() / "ProfileImages",
                                     platform::Paths::caches() / "ProfileImages.plist");
    return cache;
}

QLProfileImageCache::QLProfileImageCache(std::filesystem::path folder, std::filesystem::path indexFile)
    : QLBlobImageCache({"com.vekmont.sharing.profile-images", "ProfileImage",
                        QLSharedLayoutsClient::kProfilePicturesContainer, std::move(folder), std::move(indexFile),
                        kUpdatedNotification, kUpdatedIdKey, kProfilePicturePixels, kProfilePictureMemory}) {}

QLPreviewImageCache& QLPreviewImageCache::sharedInstance() {
    static QLPreviewImageCache cache(platform::Paths::caches() / "LayoutPreviews",
                                     platform::Paths::caches() / "LayoutPreviews.plist");
    return cache;
}

QLPreviewImageCache::QLPreviewImageCache(std::filesystem::path folder, std::filesystem::path indexFile)
    : QLBlobImageCache({"com.vekmont.sharing.previews", "PreviewImage", QLSharedLayoutsClient::kLayoutsContainer,
                        std::move(folder), std::move(indexFile), kUpdatedNotification, kUpdatedIdKey, kPreviewPixels,
                        kPreviewMemory}) {}
