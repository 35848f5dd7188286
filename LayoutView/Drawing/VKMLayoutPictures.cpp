#include "LayoutView/Drawing/VKMLayoutPictures.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <unordered_set>

#include "LayoutView/Drawing/GridCalculationsHelper.h"
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

long long SaturatingSum(const std::vector<long long>& values) {
    long long total = 0;
    for (const long long value : values) {
        if (value <= 0) continue;
        total = total > std::numeric_limits<long long>::max() - value ? std::numeric_limits<long long>::max()
                                                                      : total + value;
    }
    return total;
}

// Within `budget` (not negative): the smallest wants whole while each is no
// more than an even share of what is left; from the first that wants more,
// all the rest take the even share.
std::vector<long long> ShareEvenly(const std::vector<long long>& wanted, long long budget) {
    std::vector<long long> shares(wanted.size(), 0);
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < wanted.size(); ++i)
        if (wanted[i] > 0) order.push_back(i);
    std::stable_sort(order.begin(), order.end(),
                     [&wanted](std::size_t a, std::size_t b) { return wanted[a] < wanted[b]; });
    long long left = budget;
    for (std::size_t k = 0; k < order.size(); ++k) {
        const long long share = left / static_cast<long long>(order.size() - k);
        if (wanted[order[k]] > share) {
            for (std::size_t rest = k; rest < order.size(); ++rest) shares[order[rest]] = share;
            break;
        }
        shares[order[k]] = wanted[order[k]];
        left -= wanted[order[k]];
    }
    return shares;
}

// Areas beyond this (a square kilometre) count as this: no sum of areas is
// infinite, nor a difference of such sums not a number.
constexpr long double kLargestArea = 1e12L;

long double UsableArea(double area) { return area > 0 ? std::min(static_cast<long double>(area), kLargestArea) : 0.0L; }

// Within `budget` (not negative): every picture the same pixels a unit of
// its area, but never more than it wants. Those that want the fewest a unit
// take theirs first; from the first that wants more than the common number
// a unit of what is left, all the rest take that.
std::vector<long long> ShareByArea(const std::vector<long long>& wanted, const std::vector<double>& areas,
                                   long long budget) {
    std::vector<long long> shares(wanted.size(), 0);
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < wanted.size(); ++i)
        if (wanted[i] > 0 && UsableArea(areas[i]) > 0) order.push_back(i);
    // a before b when a wants fewer pixels a unit: a / A < b / B.
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return static_cast<long double>(wanted[a]) * UsableArea(areas[b]) <
               static_cast<long double>(wanted[b]) * UsableArea(areas[a]);
    });
    // The area of the pictures from the k-th on.
    std::vector<long double> areaFrom(order.size() + 1, 0.0L);
    for (std::size_t k = order.size(); k-- > 0;) areaFrom[k] = areaFrom[k + 1] + UsableArea(areas[order[k]]);
    long long left = budget;
    for (std::size_t k = 0; k < order.size(); ++k) {
        const std::size_t i = order[k];
        if (static_cast<long double>(wanted[i]) * areaFrom[k] > static_cast<long double>(left) * UsableArea(areas[i])) {
            // The rest get the common number a unit, rounded down; never
            // more in all than what is left, however the rounding falls.
            const long double perUnit = static_cast<long double>(left) / areaFrom[k];
            for (std::size_t rest = k; rest < order.size() && left > 0; ++rest) {
                const std::size_t j = order[rest];
                const long double share =
                    std::min(std::floor(perUnit * UsableArea(areas[j])), static_cast<long double>(left));
                shares[j] = std::min({static_cast<long long>(share), wanted[j], left});
                left -= shares[j];
            }
            break;
        }
        shares[i] = wanted[i];
        left -= wanted[i];
    }
    return shares;
}

}  // namespace

long long VKMLayoutPictures::needOf(long long filePixels, double area, double screenScale) {
    if (filePixels <= 0) return 0;
    const double scale = std::isfinite(screenScale) && screenScale > 0 ? screenScale : kDensestScreenScale;
    const long double perUnit = static_cast<long double>(GridCalculationsHelper::kMaximumZoom) * scale;
    const long double shown = UsableArea(area) * perUnit * perUnit;
    const long long cap = std::min(filePixels, platform::Image::kDecodedPixelBudget);
    if (shown >= static_cast<long double>(cap)) return cap;
    return std::min(cap, std::max(kLeastNeed, static_cast<long long>(std::ceil(shown))));
}

std::vector<long long> VKMLayoutPictures::shareBudget(const std::vector<long long>& needs,
                                                      const std::vector<double>& areas, long long budget) {
    const long long pixels = std::max(0LL, budget);
    if (SaturatingSum(needs) <= pixels) {
        std::vector<long long> shares(needs.size());
        for (std::size_t i = 0; i < needs.size(); ++i) shares[i] = std::max(0LL, needs[i]);
        return shares;
    }
    // A quarter evenly: a thumbnail beside a plan of a thousand times its
    // area still gets enough to be told apart.
    std::vector<long long> shares = ShareEvenly(needs, pixels / 4);
    std::vector<long long> rest(needs.size(), 0);
    long long left = pixels;
    for (std::size_t i = 0; i < needs.size(); ++i) {
        left -= shares[i];
        rest[i] = std::max(0LL, needs[i] - shares[i]);
    }
    // An area missing from the list is none.
    std::vector<double> placed(areas.begin(),
                               areas.begin() + static_cast<std::ptrdiff_t>(std::min(areas.size(), needs.size())));
    placed.resize(needs.size(), 0);
    const std::vector<long long> byArea = ShareByArea(rest, placed, left);
    for (std::size_t i = 0; i < needs.size(); ++i) shares[i] += byArea[i];
    return shares;
}

std::vector<std::size_t> VKMLayoutPictures::decodeOrder(const std::vector<double>& areas) {
    std::vector<std::size_t> order(areas.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    // Not a number sorts as no area.
    const auto area = [&areas](std::size_t i) { return areas[i] > 0 ? areas[i] : 0.0; };
    std::stable_sort(order.begin(), order.end(), [&area](std::size_t a, std::size_t b) { return area(a) > area(b); });
    return order;
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

    // Memory shares from the sizes the files declare and the places on the
    // plan.
    std::vector<std::optional<platform::Image::PixelSize>> sizes;
    std::vector<long long> needs;
    std::vector<double> areas;
    for (const CImageElement* element : todo) {
        sizes.push_back(platform::Image::declaredSize(BytesOf(*element)));
        areas.push_back(element->GetWidth() * element->GetHeight());
        needs.push_back(sizes.back() ? needOf(sizes.back()->pixels(), areas.back(), bounds.screenScale) : 0);
    }
    const long long pixels = std::max({0LL, bounds.budgetBytes - held, bounds.leastBytes}) / 4;
    const std::vector<long long> shares = shareBudget(needs, areas, pixels);

    const auto name = [&](std::size_t i) {
        return "Layout image \"" + todo[i]->GetName() + "\" (" + std::to_string(i + 1) + " of " +
               std::to_string(count) + ")";
    };
    const auto leftOut = [&](std::size_t i, const std::string& why) {
        ZDUtils::logWarning("%s: left out, %s", name(i).c_str(), why.c_str());
        todo[i]->SetPictureLeftOut();
    };
    const auto undecodable = [&](std::size_t i, const std::string& why) {
        ZDUtils::logWarning("%s: left out, %s", name(i).c_str(), why.c_str());
        todo[i]->SetPicture(nullptr);
    };
    const std::string spent = "the work of the layout's pictures (" + std::to_string(bounds.layoutWork) + ") is spent";
    // One allowance for them all, drawn on as each is decoded; the question
    // whether a newer open has begun is asked every few rows.
    platform::DecodeMeter meter(std::max(0LL, bounds.layoutWork), stale);
    std::size_t shown = 0;
    std::size_t done = 0;
    long long decodedPixels = 0;
    for (const std::size_t i : decodeOrder(areas)) {
        CImageElement& element = *todo[i];
        if (stale()) break;
        if (!sizes[i]) {
            undecodable(i, "its bytes are no PNG or JPEG whose size can be read");
        } else if (meter.left() <= 0) {
            leftOut(i, spent + " before it");
        } else if (shares[i] < 1) {
            leftOut(i, "nothing is left of the " + std::to_string(4 * pixels) + " bytes its pixels may have");
        } else {
            CStopwatch stopwatch;
            stopwatch.Start();
            const platform::ImageDecoding decoded = platform::Image::decode(BytesOf(element), 1, shares[i], &meter);
            QLPerformanceCounters::addToCounter("DecodeLayoutPicture", stopwatch.Stop());
            if (decoded.cut == platform::ImageDecoding::Cut::stopped) break;
            if (decoded.cut == platform::ImageDecoding::Cut::workSpent) {
                leftOut(i, spent + " while it was decoded");
            } else if (!decoded.image) {
                if (decoded.overBudget) {
                    leftOut(i, decoded.warning());
                } else {
                    undecodable(i, "its bytes do not decode");
                }
            } else {
                if (decoded.overBudget) ZDUtils::logWarning("%s: %s", name(i).c_str(), decoded.warning().c_str());
                decodedPixels += static_cast<long long>(decoded.image->byteCount() / 4);
                element.SetPicture(decoded.image);
                ++shown;
            }
        }
        ++done;
    }
    if (done < count)
        ZDUtils::logInfo("Layout images: stopped before %zu of %zu, a newer open has begun", count - done, count);
    ZDUtils::logInfo(
        "Layout images: %zu of %zu shown, %zu left out, in %lld bytes of pixels beside %lld held "
        "(budget %lld); work %lld of %lld",
        shown, count, done - shown, 4 * decodedPixels, held, bounds.budgetBytes, meter.spent(), bounds.layoutWork);
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
