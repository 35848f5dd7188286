#include "LayoutView/Drawing/VKMLayoutPictures.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <mutex>
#include <span>
#include <string>
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

std::vector<VKMLayoutPictures::tAdmission> VKMLayoutPictures::admitWork(const std::vector<long long>& work,
                                                                        long long pictureWork, long long layoutWork) {
    std::vector<tAdmission> admitted(work.size(), tAdmission::decoded);
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < work.size(); ++i) {
        if (work[i] < 0) {
            admitted[i] = tAdmission::unreadable;
        } else if (work[i] > pictureWork) {
            admitted[i] = tAdmission::overPictureWork;
        } else {
            order.push_back(i);
        }
    }
    std::stable_sort(order.begin(), order.end(), [&work](std::size_t a, std::size_t b) { return work[a] < work[b]; });
    long long left = std::max(0LL, layoutWork);
    for (const std::size_t i : order) {
        // Each is at most the bound of one: no sum overflows.
        if (work[i] > left) {
            admitted[i] = tAdmission::overLayoutWork;
        } else {
            left -= work[i];
        }
    }
    return admitted;
}

std::size_t VKMLayoutPictures::decodePictures(const tImages& images, const tSuperseded& superseded,
                                              const tBounds& bounds) {
    // Every build asks, once for each image layer: when all are decoded, a
    // look at each element is all it costs, without waiting for a decode
    // of another layout.
    const auto pending = [](const CImageElement* element) { return Drawable(element) && !element->IsPictureDecoded(); };
    if (std::none_of(images.begin(), images.end(), pending)) return 0;
    const auto stale = [&superseded] { return superseded && superseded(); };
    if (stale()) return 0;
    std::lock_guard lock(gDecoding);
    if (stale()) return 0;
    std::vector<CImageElement*> todo;
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
        if (pending(element)) todo.push_back(element);
    }
    if (todo.empty()) return 0;
    const std::size_t count = todo.size();

    // The work of each from its headers, before any is decoded.
    std::vector<long long> work;
    for (const CImageElement* element : todo)
        work.push_back(platform::Image::decodeWork(BytesOf(*element)).value_or(-1));
    const std::vector<tAdmission> admitted = admitWork(work, bounds.pictureWork, bounds.layoutWork);

    // Memory shares, for those decoded, from the sizes the files declare.
    std::vector<long long> wanted;
    for (std::size_t i = 0; i < count; ++i) {
        const auto size =
            admitted[i] == tAdmission::decoded ? platform::Image::declaredSize(BytesOf(*todo[i])) : std::nullopt;
        wanted.push_back(size ? std::min(size->pixels(), platform::Image::kDecodedPixelBudget) : 0);
    }
    const long long pixels = std::max({0LL, bounds.budgetBytes - held, bounds.leastBytes}) / 4;
    const std::vector<long long> shares = shareBudget(wanted, pixels);

    const auto leftOut = [&](std::size_t i, const std::string& why) {
        ZDUtils::logWarning("Layout image \"%s\" (%zu of %zu): left out, %s", todo[i]->GetName().c_str(), i + 1, count,
                            why.c_str());
        todo[i]->SetPicture(nullptr);
    };
    std::size_t shown = 0;
    std::size_t reached = 0;
    long long decodedPixels = 0;
    long long spent = 0;
    for (; reached < count; ++reached) {
        const std::size_t i = reached;
        CImageElement& element = *todo[i];
        switch (admitted[i]) {
            case tAdmission::unreadable:
                leftOut(i, "its bytes are no PNG or JPEG whose size and make-up can be read");
                continue;
            case tAdmission::overPictureWork:
                leftOut(i, "decoding it would read " + std::to_string(work[i]) + " pixels, over the " +
                               std::to_string(bounds.pictureWork) + " of one picture");
                continue;
            case tAdmission::overLayoutWork:
                leftOut(i, "decoding it would read " + std::to_string(work[i]) +
                               " pixels, past what is left of the layout's " + std::to_string(bounds.layoutWork));
                continue;
            case tAdmission::decoded: break;
        }
        if (stale()) break;
        if (shares[i] < 1) {
            leftOut(i, "nothing is left of the " + std::to_string(4 * pixels) + " bytes its pixels may have");
            continue;
        }
        CStopwatch stopwatch;
        stopwatch.Start();
        const platform::ImageDecoding decoded = platform::Image::decode(BytesOf(element), 1, shares[i]);
        QLPerformanceCounters::addToCounter("DecodeLayoutPicture", stopwatch.Stop());
        spent += work[i];
        if (!decoded.image) {
            leftOut(i, decoded.overBudget ? decoded.warning() : std::string("its bytes do not decode"));
            continue;
        }
        if (decoded.overBudget) {
            ZDUtils::logWarning("Layout image \"%s\" (%zu of %zu): %s", element.GetName().c_str(), i + 1, count,
                                decoded.warning().c_str());
        }
        decodedPixels += static_cast<long long>(decoded.image->byteCount() / 4);
        element.SetPicture(decoded.image);
        ++shown;
    }
    if (reached < count)
        ZDUtils::logInfo("Layout images: stopped before %zu of %zu, a newer open has begun", count - reached, count);
    ZDUtils::logInfo(
        "Layout images: %zu of %zu shown, %zu left out, in %lld bytes of pixels beside %lld held "
        "(budget %lld); work %lld of %lld",
        shown, count, reached - shown, 4 * decodedPixels, held, bounds.budgetBytes, spent, bounds.layoutWork);
    return shown;
}

std::size_t VKMLayoutPictures::decodePictures(const tImages& images, const tSuperseded& superseded) {
    return decodePictures(images, superseded, tBounds{});
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
