#pragma once
// Private to platform/graphics: pixel buffers of image surfaces, kept once
// nothing holds their surface any more (no context, image or pattern) and
// handed to the next surface with rows of the same length and number. Fresh
// pages from the system cost a page fault and zeroing each, and go back on
// free; clearing memory already mapped is far cheaper. A buffer still held
// is never handed out. Thread-safe; surfaces may go on any thread.

#include <cairo.h>

#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

namespace platform::detail {

class PixelBuffers : public std::enable_shared_from_this<PixelBuffers> {
public:
    struct Limits {
        std::size_t smallestBytes = 0;  // smaller buffers are freed, not kept
        std::size_t mostBuffers = 0;    // kept at most; the oldest go first
        std::size_t mostBytes = 0;
    };
    static std::shared_ptr<PixelBuffers> make(const Limits& limits);
    // The process's own, behind every BitmapContext: buffers of 1 MiB or
    // more (a bitmap of 512 x 512 pixels), at most 8 of them and 64 MiB.
    static PixelBuffers& shared();

    ~PixelBuffers();
    PixelBuffers(const PixelBuffers&) = delete;
    PixelBuffers& operator=(const PixelBuffers&) = delete;

    enum class Clearing {
        // Transparent, and known so to Cairo as a new surface of its own
        // is: Cairo draws into a clear surface by another road, with its
        // own rounding, and the pixels must not depend on where memory
        // came from.
        now,
        // As `now`, but kept pixels are left for the caller to clear
        // (`stale`), as it draws.
        lazily,
        // The caller writes every pixel.
        none,
    };
    struct Surface {
        cairo_surface_t* surface = nullptr;  // the caller's reference; null when Cairo refused
        bool stale = false;                  // holds an earlier surface's pixels (Clearing::lazily)
    };
    // An ARGB32 surface of that size (which the caller has checked), over a
    // kept buffer when one fits.
    Surface surface(int width, int height, Clearing clearing);

    std::size_t keptBuffers() const;
    std::size_t keptBytes() const;

private:
    struct Buffer {
        unsigned char* data = nullptr;
        int stride = 0;
        int height = 0;
        std::size_t bytes() const { return static_cast<std::size_t>(stride) * static_cast<std::size_t>(height); }
    };
    struct Lease;

    explicit PixelBuffers(const Limits& limits);
    static void giveBack(void* lease);
    // Whether a buffer of that size is kept at all.
    bool fits(std::size_t bytes) const;
    // Keeps `buffer` (or frees it when it does not fit) and frees the
    // oldest ones beyond the limits.
    void keep(Buffer buffer);
    Buffer take(int stride, int height);

    const Limits mLimits;
    mutable std::mutex mMutex;
    std::vector<Buffer> mKept;  // the oldest first
    std::size_t mKeptBytes = 0;
};

}  // namespace platform::detail
