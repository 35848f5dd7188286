#include "platform/graphics/BitmapContext.h"

#include "platform/graphics/detail/ContextImpl.h"
#include "platform/graphics/detail/ImageImpl.h"
#include "platform/graphics/detail/PixelBuffers.h"

#include <cmath>
#include <cstring>

namespace platform {

BitmapContext::BitmapContext(std::unique_ptr<detail::ContextImpl> impl, double scale)
    : Context(std::move(impl)), mScale(scale) {}

std::unique_ptr<BitmapContext> BitmapContext::create(int pixelWidth, int pixelHeight, double scale) {
    return create(detail::PixelBuffers::shared(), false, pixelWidth, pixelHeight, scale);
}

std::unique_ptr<BitmapContext> BitmapContext::create(detail::PixelBuffers& buffers, bool lazily, int pixelWidth,
                                                     int pixelHeight, double scale) {
    if (!detail::bitmapSizeAllowed(pixelWidth, pixelHeight) || !std::isfinite(scale) || scale <= 0) return nullptr;
    using Clearing = detail::PixelBuffers::Clearing;
    const auto [surface, stale] = buffers.surface(pixelWidth, pixelHeight, lazily ? Clearing::lazily : Clearing::now);
    if (surface == nullptr) return nullptr;
    auto impl = std::make_unique<detail::ContextImpl>(surface);
    cairo_surface_destroy(surface);  // the context holds its own reference
    // Cleared as it is drawn: what opaque images cover never is.
    if (stale) impl->uncleared = {{0, 0, pixelWidth, pixelHeight}};
    cairo_scale(impl->cr, scale, scale);
    if (cairo_status(impl->cr) != CAIRO_STATUS_SUCCESS) return nullptr;
    return std::unique_ptr<BitmapContext>(new BitmapContext(std::move(impl), scale));
}

std::unique_ptr<BitmapContext> BitmapContext::createForPointSize(Size pointSize, double scale) {
    return createForPointSize(detail::PixelBuffers::shared(), false, pointSize, scale);
}

std::unique_ptr<BitmapContext> BitmapContext::createForPointSize(detail::PixelBuffers& buffers, bool lazily,
                                                                 Size pointSize, double scale) {
    const double width = std::ceil(pointSize.width * scale);
    const double height = std::ceil(pointSize.height * scale);
    if (!(width >= 1 && height >= 1 && width <= detail::kMaxBitmapSide && height <= detail::kMaxBitmapSide)) {
        return nullptr;
    }
    return create(buffers, lazily, static_cast<int>(width), static_cast<int>(height), scale);
}

int BitmapContext::pixelWidth() const { return cairo_image_surface_get_width(impl().surface); }

int BitmapContext::pixelHeight() const { return cairo_image_surface_get_height(impl().surface); }

double BitmapContext::contentScale() const { return mScale; }

std::optional<Pixel> BitmapContext::pixel(int x, int y) const {
    impl().clearUncleared();
    cairo_surface_flush(impl().surface);
    return detail::pixelOf(impl().surface, x, y);
}

std::shared_ptr<Image> BitmapContext::makeImage() const {
    impl().clearUncleared();
    cairo_surface_t* source = impl().surface;
    cairo_surface_flush(source);
    const int width = pixelWidth();
    const int height = pixelHeight();
    cairo_surface_t* copy =
        detail::PixelBuffers::shared().surface(width, height, detail::PixelBuffers::Clearing::none).surface;
    if (copy == nullptr) return nullptr;
    cairo_surface_flush(copy);
    const int fromStride = cairo_image_surface_get_stride(source);
    const int toStride = cairo_image_surface_get_stride(copy);
    const unsigned char* from = cairo_image_surface_get_data(source);
    unsigned char* to = cairo_image_surface_get_data(copy);
    for (int y = 0; y < height; ++y) {
        std::memcpy(to + static_cast<std::size_t>(y) * toStride, from + static_cast<std::size_t>(y) * fromStride,
                    static_cast<std::size_t>(width) * 4);
    }
    cairo_surface_mark_dirty(copy);
    return std::shared_ptr<Image>(new Image(std::make_unique<detail::ImageImpl>(copy, mScale)));
}

std::shared_ptr<Image> BitmapContext::takeImage(std::unique_ptr<BitmapContext> context) {
    if (!context) return nullptr;
    context->impl().clearUncleared();
    cairo_surface_t* surface = cairo_surface_reference(context->impl().surface);
    const double scale = context->mScale;
    context.reset();  // nothing draws into the pixels after this
    cairo_surface_flush(surface);
    return std::shared_ptr<Image>(new Image(std::make_unique<detail::ImageImpl>(surface, scale)));
}

}  // namespace platform
