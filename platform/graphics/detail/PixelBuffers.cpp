#include "platform/graphics/detail/PixelBuffers.h"

#include <cstdlib>
#include <iterator>

namespace platform::detail {

namespace {

const cairo_user_data_key_t kLeaseKey{};

}  // namespace

// What a surface over a kept buffer holds: the buffer, and where it goes
// when the surface does (freed, when its pool is gone).
struct PixelBuffers::Lease {
    std::weak_ptr<PixelBuffers> pool;
    Buffer buffer;
};

PixelBuffers::PixelBuffers(const Limits& limits) : mLimits(limits) {}

PixelBuffers::~PixelBuffers() {
    for (const Buffer& buffer : mKept) std::free(buffer.data);
}

std::shared_ptr<PixelBuffers> PixelBuffers::make(const Limits& limits) {
    return std::shared_ptr<PixelBuffers>(new PixelBuffers(limits));
}

PixelBuffers& PixelBuffers::shared() {
    // Never destroyed: surfaces may still go while statics do.
    static auto* const pool = new std::shared_ptr<PixelBuffers>(make({1 << 20, 8, 64 << 20}));
    return **pool;
}

PixelBuffers::Surface PixelBuffers::surface(int width, int height, Clearing clearing) {
    const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, width);
    if (stride <= 0 || height <= 0) return Surface{};
    const bool keepable = fits(Buffer{nullptr, stride, height}.bytes());
    Buffer buffer = keepable ? take(stride, height) : Buffer{};
    const bool kept = buffer.data != nullptr;
    if (!kept) {
        buffer = Buffer{nullptr, stride, height};
        // Cleared below, or written whole by the caller.
        buffer.data = static_cast<unsigned char*>(std::malloc(buffer.bytes()));
        if (buffer.data == nullptr) return Surface{};
    }
    cairo_surface_t* surface =
        cairo_image_surface_create_for_data(buffer.data, CAIRO_FORMAT_ARGB32, width, height, stride);
    // A buffer too small or too large to keep is simply freed: no lease,
    // whose pool reference every thread would touch.
    void* owner = keepable ? static_cast<void*>(new Lease{weak_from_this(), buffer}) : buffer.data;
    cairo_destroy_func_t release = keepable ? &PixelBuffers::giveBack : &std::free;
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS ||
        cairo_surface_set_user_data(surface, &kLeaseKey, owner, release) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        release(owner);
        return Surface{};
    }
    if (clearing == Clearing::lazily && kept) return Surface{surface, true};
    if (clearing != Clearing::none) {
        // Clearing it all is what tells Cairo it is clear. New pixels are
        // cleared too rather than left to the zeroed pages the system may
        // hand out: such a page is first mapped shared and read-only, and
        // the first write to it makes every thread of the process flush it
        // from its processor's tables, which stalls rasters drawn side by
        // side.
        cairo_t* cr = cairo_create(surface);
        cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
        cairo_paint(cr);
        cairo_destroy(cr);
    }
    return Surface{surface, false};
}

void PixelBuffers::giveBack(void* lease) {
    const std::unique_ptr<Lease> held(static_cast<Lease*>(lease));
    if (const auto pool = held->pool.lock()) {
        pool->keep(held->buffer);
    } else {
        std::free(held->buffer.data);
    }
}

bool PixelBuffers::fits(std::size_t bytes) const {
    return bytes >= mLimits.smallestBytes && bytes <= mLimits.mostBytes && mLimits.mostBuffers > 0;
}

void PixelBuffers::keep(Buffer buffer) {
    if (!fits(buffer.bytes())) {
        std::free(buffer.data);
        return;
    }
    std::vector<Buffer> dropped;
    {
        const std::lock_guard lock(mMutex);
        mKept.push_back(buffer);
        mKeptBytes += buffer.bytes();
        std::size_t oldest = 0;
        while (oldest < mKept.size() &&
               (mKept.size() - oldest > mLimits.mostBuffers || mKeptBytes > mLimits.mostBytes)) {
            dropped.push_back(mKept[oldest]);
            mKeptBytes -= mKept[oldest].bytes();
            ++oldest;
        }
        mKept.erase(mKept.begin(), mKept.begin() + static_cast<std::ptrdiff_t>(oldest));
    }
    // Pages go back to the system outside the lock.
    for (const Buffer& old : dropped) std::free(old.data);
}

PixelBuffers::Buffer PixelBuffers::take(int stride, int height) {
    const std::lock_guard lock(mMutex);
    // The newest fitting one: its pages are the likeliest still cached.
    for (auto it = mKept.rbegin(); it != mKept.rend(); ++it) {
        if (it->stride == stride && it->height == height) {
            const Buffer buffer = *it;
            mKept.erase(std::next(it).base());
            mKeptBytes -= buffer.bytes();
            return buffer;
        }
    }
    return Buffer{};
}

std::size_t PixelBuffers::keptBuffers() const {
    const std::lock_guard lock(mMutex);
    return mKept.size();
}

std::size_t PixelBuffers::keptBytes() const {
    const std::lock_guard lock(mMutex);
    return mKeptBytes;
}

}  // namespace platform::detail
