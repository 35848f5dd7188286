#include "platform/graphics/BitmapContext.h"

#include "platform/graphics/detail/ContextImpl.h"
#include "platform/graphics/detail/ImageImpl.h"
#include "platform/graphics/detail/PixelBuffers.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

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
    // Cleared through the context's own Cairo context: every Cairo context
    // made and dropped passes through a free list that all threads contend
    // for, so a bitmap makes only one.
    const auto [surface, stale] = buffers.surface(pixelWidth, pixelHeight, lazily ? Clearing::lazily : Clearing::none);
    if (surface == nullptr) return nullptr;
    auto impl = std::make_unique<detail::ContextImpl>(surface);
    cairo_surface_destroy(surface);  // the context holds its own reference
    if (!lazily) {
        cairo_set_operator(impl->cr, CAIRO_OPERATOR_CLEAR);
        cairo_paint(impl->cr);
        cairo_set_operator(impl->cr, CAIRO_OPERATOR_OVER);
    }
    // Cleared as it is drawn: what opaque images cover never is.
    if (stale) impl->uncleared = {{0, 0, pixelWidth, pixelHeight}};
    cairo_scale(impl->cr, scale, scale);
    if (cairo_status(impl->cr) != CAIRO_STATUS_SUCCESS) return nullptr;
    return std::unique_ptr<BitmapContext>(new BitmapContext(std::move(impl), scale));
}

std::unique_ptr<BitmapContext> BitmapContext::createForBands(int pixelWidth, int pixelHeight, double scale) {
    return create(detail::PixelBuffers::shared(), true, pixelWidth, pixelHeight, scale);
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

std::unique_ptr<BitmapContext> BitmapContext::band(int firstRow, int endRow) {
    detail::ContextImpl& parent = impl();
    if (firstRow < 0 || endRow > pixelHeight() || firstRow >= endRow || !parent.layers.empty() ||
        parent.state.clipped) {
        return nullptr;
    }
    cairo_surface_flush(parent.surface);
    // The band writes the rows behind the bitmap's back: Cairo must not go
    // on taking them for clear (it would skip drawing the bitmap as
    // clear), nor keep copies of them.
    cairo_surface_mark_dirty_rectangle(parent.surface, 0, firstRow, pixelWidth(), endRow - firstRow);
    // The band's surface keeps the bitmap's pixels alive.
    cairo_surface_t* surface = detail::surfaceWithin(parent.surface, 0, firstRow, pixelWidth(), endRow - firstRow);
    if (surface == nullptr) return nullptr;
    auto impl = std::make_unique<detail::ContextImpl>(surface);
    cairo_surface_destroy(surface);  // the context holds its own reference
    cairo_matrix_t matrix;
    cairo_get_matrix(parent.cr, &matrix);
    matrix.y0 -= firstRow;
    cairo_set_matrix(impl->cr, &matrix);
    if (cairo_status(impl->cr) != CAIRO_STATUS_SUCCESS) return nullptr;
    impl->state = parent.state;
    impl->clearsWhenDestroyed = true;
    // The rows still to clear become the band's.
    std::vector<detail::ContextImpl::PixelRect> kept;
    for (const auto& r : parent.uncleared) {
        const int top = std::max(r.y0, firstRow);
        const int bottom = std::min(r.y1, endRow);
        if (top >= bottom) {
            kept.push_back(r);
            continue;
        }
        impl->uncleared.push_back({r.x0, top - firstRow, r.x1, bottom - firstRow});
        if (r.y0 < top) kept.push_back({r.x0, r.y0, r.x1, top});
        if (bottom < r.y1) kept.push_back({r.x0, bottom, r.x1, r.y1});
    }
    parent.uncleared = std::move(kept);
    return std::unique_ptr<BitmapContext>(new BitmapContext(std::move(impl), mScale));
}

}  // namespace platform
