#include "LayoutView/Drawing/VKMLayoutPictures.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <mutex>
#include <span>
#include <unordered_set>

#include "engine/services/PerformanceCounters.h"
#include "engine/services/ZDUtils.h"
#include "platform/graphics/Image.h"

namespace {

// Whether the painter draws the element at all: bytes, and a size.
bool Drawable(const CImageElement* element) {
    return element != nullptr && element->GetData() != nullptr && element->GetDataLength() > 0 &&
           element->GetWidth() > 0 && element->GetHeight() > 0;
}

std::span<const std::uint8_t> BytesOf(const CImageElement& element) {
    return {element.GetData(), static_cast<std::size_t>(element.GetDataLength())};
}

// One decode at a time: two builds of the same layout must not decode its
// pictures twice, and the memory of two layouts' decodes must not add up.
std::mutex gDecoding;

}  // namespace

std::vector<long long> VKMLayoutPictures::shareBudget(const std::vector<long long>& wanted, long long budget) {
    std::vector<long long> shares(wanted.size(), 0);
    std::vector<std::size_t> order;
    long long total = 0;
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        if (wanted[i] <= 0) continue;
        order.push_back(i);
        shares[i] = wanted[i];
        total = total > std::numeric_limits<long long>::max() - wanted[i] ? std::numeric_limits<long long>::max()
                                                                          : total + wanted[i];
    }
    long long left = std::max(0LL, budget);
    if (total <= left) return shares;
    // The smallest first: each takes what it wants while that is no more
    // than an even share of what is left; from the first that wants more,
    // all the rest take the even share.
    std::stable_sort(order.begin(), order.end(),
                     [&wanted](std::size_t a, std::size_t b) { return wanted[a] < wanted[b]; });
    for (std::size_t k = 0; k < order.size(); ++k) {
        const long long share = left / static_cast<long long>(order.size() - k);
        if (wanted[order[k]] > share) {
            for (std::size_t rest = k; rest < order.size(); ++rest) shares[order[rest]] = share;
            break;
        }
        left -= wanted[order[k]];
    }
    return shares;
}

std::size_t VKMLayoutPictures::decodePictures(const tImages& images, long long budgetBytes) {
    std::lock_guard lock(gDecoding);
    // Every build asks, once for each image layer: when all are decoded,
    // a look at each element is all it costs.
    if (std::none_of(images.begin(), images.end(),
                     [](const CImageElement* element) { return Drawable(element) && !element->IsPictureDecoded(); }))
        return 0;
    std::vector<CImageElement*> pending;
    std::unordered_set<const CImageElement*> seen;
    std::unordered_set<const platform::Image*> counted;
    // What the list holds already: the files' bytes, which the document
    // keeps, and the pictures decoded before.
    long long held = 0;
    for (CImageElement* element : images) {
        if (element == nullptr || !seen.insert(element).second) continue;
        held += element->GetDataLength() > 0 ? element->GetDataLength() : 0;
        const platform::Image* picture = element->GetPicture().get();
        if (picture != nullptr && counted.insert(picture).second) held += static_cast<long long>(picture->byteCount());
        if (Drawable(element) && !element->IsPictureDecoded()) pending.push_back(element);
    }
    if (pending.empty()) return 0;

    // Shares from the sizes the files declare; a file that declares none
    // takes no share (its decode fails on the same header).
    std::vector<long long> wanted;
    for (const CImageElement* element : pending) {
        const auto size = platform::Image::declaredSize(BytesOf(*element));
        wanted.push_back(size ? std::min(size->pixels(), platform::Image::kDecodedPixelBudget) : 0);
    }
    const std::vector<long long> shares = shareBudget(wanted, std::max(0LL, budgetBytes - held) / 4);

    long long decodedPixels = 0;
    for (std::size_t i = 0; i < pending.size(); ++i) {
        CImageElement& element = *pending[i];
        const long long allowed = wanted[i] > 0 ? shares[i] : platform::Image::kDecodedPixelBudget;
        if (allowed < 1) {
            ZDUtils::logWarning("Layout image \"%s\" (%zu of %zu): nothing left of the layout's %lld bytes",
                                element.GetName().c_str(), i + 1, pending.size(), budgetBytes);
            element.SetPicture(nullptr);
            continue;
        }
        CStopwatch stopwatch;
        stopwatch.Start();
        const platform::ImageDecoding decoded = platform::Image::decode(BytesOf(element), 1, allowed);
        QLPerformanceCounters::addToCounter("DecodeLayoutPicture", stopwatch.Stop());
        if (decoded.overBudget) {
            ZDUtils::logWarning("Layout image \"%s\" (%zu of %zu): %s", element.GetName().c_str(), i + 1,
                                pending.size(), decoded.warning().c_str());
        }
        if (decoded.image) decodedPixels += static_cast<long long>(decoded.image->byteCount() / 4);
        element.SetPicture(decoded.image);
    }
    ZDUtils::logInfo("Layout images: %zu decoded to %lld bytes beside %lld held, of %lld", pending.size(),
                     4 * decodedPixels, held, budgetBytes);
    return pending.size();
}

std::size_t VKMLayoutPictures::decodedBytes(const tImages& images) {
    std::lock_guard lock(gDecoding);
    // A copy of an element shares its picture: counted once.
    std::unordered_set<const platform::Image*> counted;
    std::size_t bytes = 0;
    for (const CImageElement* element : images) {
        if (element != nullptr && element->GetPicture() && counted.insert(element->GetPicture().get()).second)
            bytes += element->GetPicture()->byteCount();
    }
    return bytes;
}
