#include "platform/ui/render/detail/LayerCache.h"

#include "platform/dispatch/MainThread.h"
#include "platform/ui/core/Layer.h"
#include "platform/ui/core/detail/AnimationRun.h"

#include <algorithm>
#include <mutex>
#include <unordered_map>
#include <utility>

namespace platform::ui::detail {

LayerCache& LayerAccess::cache(const Layer& layer) {
    if (!layer.mCache) layer.mCache = std::make_shared<LayerCache>(layer.identifier());
    return *layer.mCache;
}

namespace {
std::mutex gGoneMutex;
std::vector<GoneOwner> gGone;
}  // namespace

LayerCache::~LayerCache() {
    if (kinds == 0) return;
    if (cache && isMainThread()) {
        if (cacheLifetime.expired()) return;
        if (!cache->drawing()) {
            for (const RasterKind kind : {kRasterContent, kRasterShadow, kRasterWhole}) {
                if (kinds & (1u << kind)) cache->erase({owner, kind, 0});
            }
            return;
        }
    }
    std::lock_guard lock(gGoneMutex);
    gGone.push_back({owner, kinds});
}

std::vector<GoneOwner> takeGoneOwners() {
    std::lock_guard lock(gGoneMutex);
    return std::exchange(gGone, {});
}

std::shared_ptr<const ShadowShapeUse> shadowShapeUse(std::uint64_t owner) {
    // Uses no layer holds any more are dropped whenever the table has
    // doubled since the last look, so it stays within twice the uses held.
    static std::unordered_map<std::uint64_t, std::weak_ptr<const ShadowShapeUse>> uses;
    static std::size_t sweepAt = 64;
    auto& use = uses[owner];
    if (auto held = use.lock()) return held;
    auto made = std::make_shared<const ShadowShapeUse>(ShadowShapeUse{owner});
    use = made;
    if (uses.size() >= sweepAt) {
        std::erase_if(uses, [](const auto& entry) { return entry.second.expired(); });
        sweepAt = std::max<std::size_t>(64, 2 * uses.size());
    }
    return made;
}

}  // namespace platform::ui::detail
