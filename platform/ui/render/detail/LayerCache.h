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

struct LayerCache {
    explicit LayerCache(std::uint64_t identifier) : owner(identifier) {}
    // Hands the layer's identifier to takeGoneOwners(): its rasters are
    // dropped by the next frame instead of waiting for the budget.
    ~LayerCache();
    LayerCache(const LayerCache&) = delete;
    LayerCache& operator=(const LayerCache&) = delete;

    std::uint64_t owner;
    // The kinds of raster it may have in a cache, a bit each.
    std::uint32_t kinds = 0;
    // Where its rasters were last found: a frame of thousands of layers
    // then does not hash each one again.
    RasterCache::Handle contentRaster;
    RasterCache::Handle shadowRaster;
    RasterCache::Handle wholeRaster;
    // A shape's marks, when it is drawn by stamping them.
    std::shared_ptr<MarkStamps> marks;
    // The owner of the kRasterShadowShape raster its shadow path last
    // showed, 0 for none.
    std::uint64_t shadowShape = 0;
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
