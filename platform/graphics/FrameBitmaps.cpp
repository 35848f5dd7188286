#include "platform/graphics/FrameBitmaps.h"

#include "platform/graphics/detail/ContextImpl.h"
#include "platform/graphics/detail/ImageImpl.h"

#include <cmath>
#include <mutex>
#include <vector>

namespace platform {

struct FrameBitmaps::Spares {
    std::mutex mutex;
    std::vector<cairo_surface_t*> surfaces;

    ~Spares() {
        for (cairo_surface_t* surface : surfaces) cairo_surface_destroy(surface);
    }

    // Takes the reference on `surface`; the oldest spare goes when there
    // are too many (one of a size no longer drawn, after a resize).
    void put(cairo_surface_t* surface) {
        const std::lock_guard lock(mutex);
        surfaces.push_back(surface);
        if (surfaces.size() > static_cast<std::size_t>(kMostSpare)) {
            cairo_surface_destroy(surfaces.front());
            surfaces.erase(surfaces.begin());
        }
    }

    // One of the size that nothing else holds (an image that shared its
    // pixels would), with its reference; null when there is none.
    cairo_surface_t* take(int width, int height) {
        const std::lock_guard lock(mutex);
        for (auto it = surfaces.begin(); it != surfaces.end(); ++it) {
            cairo_surface_t* surface = *it;
            if (cairo_image_surface_get_width(surface) == width && cairo_image_surface_get_height(surface) == height &&
                cairo_surface_get_reference_count(surface) == 1) {
                surfaces.erase(it);
                return surface;
            }
        }
        return nullptr;
    }
};

FrameBitmaps::FrameBitmaps() : mSpares(std::make_shared<Spares>()) {}

FrameBitmaps::~FrameBitmaps() = default;

std::unique_ptr<BitmapContext> FrameBitmaps::context(Size pointSize, double scale) {
    const double width = std::ceil(pointSize.width * scale);
    const double height = std::ceil(pointSize.height * scale);
    if (!(width >= 1 && height >= 1 && width <= detail::kMaxBitmapSide && height <= detail::kMaxBitmapSide) ||
        !std::isfinite(scale) || scale <= 0) {
        return nullptr;
    }
    cairo_surface_t* surface = mSpares->take(static_cast<int>(width), static_cast<int>(height));
    if (surface == nullptr) return BitmapContext::createForPointSize(pointSize, scale);
    auto impl = std::make_unique<detail::ContextImpl>(surface);
    cairo_surface_destroy(surface);  // the context holds its own reference
    // Cleared as it is drawn: what opaque images cover never is.
    impl->uncleared = {{0, 0, static_cast<int>(width), static_cast<int>(height)}};
    return BitmapContext::make(std::move(impl), scale);
}

std::shared_ptr<Image> FrameBitmaps::image(std::unique_ptr<BitmapContext> context) {
    if (!context) return nullptr;
    // The pixels come back when the last holder lets go.
    const std::weak_ptr<Spares> spares = mSpares;
    return std::shared_ptr<Image>(new Image(BitmapContext::takePixels(std::move(context))), [spares](Image* image) {
        cairo_surface_t* pixels = cairo_surface_reference(image->impl().surface);
        delete image;
        if (const auto kept = spares.lock()) {
            kept->put(pixels);
        } else {
            cairo_surface_destroy(pixels);
        }
    });
}

}  // namespace platform
