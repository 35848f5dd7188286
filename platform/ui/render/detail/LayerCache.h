#pragma once
// Private to platform/ui: what the planner keeps with a layer between
// frames that is not a raster (rasters are in the window's RasterCache).

#include "platform/graphics/Path.h"
#include "platform/ui/render/RasterCache.h"
#include "platform/ui/render/detail/RepeatedMarks.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace platform::ui::detail {

// A kRasterShadowShape raster as the layers showing it hold it: layers
// with the same outline share one, so that a layer whose outline changes
// lets the raster go only when no other layer still shows it.
struct ShadowShapeUse {
    std::uint64_t owner;
};
// The use of the raster `owner`, shared with every layer holding it now
// (main thread).
std::shared_ptr<const ShadowShapeUse> shadowShapeUse(std::uint64_t owner);

struct LayerCache {
    explicit LayerCache(std::uint64_t identifier) : owner(identifier) {}
    // Drops the layer's rasters from the cache they were put in, when it
    // goes on the main thread between that cache's frames (a screen torn
    // down), as they went with the layer before the window kept them: left
    // to the next frame, a chart's thousands were erased within it.
    // Elsewhere hands the layer's identifier to takeGoneOwners(): its
    // rasters are dropped by the next frame instead of waiting for the
    // budget. Nothing when that cache is gone.
    ~LayerCache();
    LayerCache(const LayerCache&) = delete;
    LayerCache& operator=(const LayerCache&) = delete;

    std::uint64_t owner;
    // The kinds of raster it may have in a cache, a bit each.
    std::uint32_t kinds = 0;
    // Notes `cache` as the one its rasters were last put in.
    void rememberCache(RasterCache& cache) {
        if (this->cache != &cache || cacheLifetime.expired()) {
            this->cache = &cache;
            cacheLifetime = cache.lifetime();
        }
    }
    // The cache its rasters were last put in, valid while `cacheLifetime`
    // has not expired.
    RasterCache* cache = nullptr;
    std::weak_ptr<const void> cacheLifetime;
    // Where its rasters were last found: a frame of thousands of layers
    // then does not hash each one again.
    RasterCache::Handle contentRaster;
    RasterCache::Handle shadowRaster;
    RasterCache::Handle wholeRaster;
    // Whether the layer is a shape, once asked (its type never changes).
    bool typeAsked = false;
    bool shape = false;
    // A shape's marks, when it is drawn by stamping them.
    std::shared_ptr<MarkStamps> marks;
    // The kRasterShadowShape raster its shadow path last showed, none for
    // none: a share of it that every layer showing it holds.
    std::shared_ptr<const ShadowShapeUse> shadowShape;
    // The path of its bounds with its corner radius as last planned, and
    // what it was made of: a screen's backgrounds are the same each frame.
    std::shared_ptr<const Path> boundsPath;
    Rect boundsRect;
    double boundsRadius = 0;
    // What the layer's whole showed when last seen (a digest of its tree
    // version, box and scales): a whole is made once it shows unchanged a
    // second time.
    std::uint64_t wholeSeen = 0;
};

// Layers with kept rasters gone since the last call (any thread).
struct GoneOwner {
    std::uint64_t owner;
    std::uint32_t kinds;
};
std::vector<GoneOwner> takeGoneOwners();

}  // namespace platform::ui::detail
