#pragma once
// Private to platform/ui: what an animation runs on one layer, and the
// doors into animations and layers that the engine and the renderer use.

#include "platform/ui/core/Animation.h"
#include "platform/ui/core/Layer.h"

#include <memory>
#include <optional>
#include <string_view>

namespace platform::ui::detail {

class AnimationRun {
public:
    virtual ~AnimationRun() = default;
    // Sets on `presentation` what the animation shows at `time` of its
    // holder, having begun at `begin`; nothing when it shows nothing then.
    virtual void apply(Layer& presentation, double time, double begin) const = 0;
    // True when it animates a key path that changes `layer`'s drawn content.
    virtual bool affectsContent(const Layer& layer) const = 0;
    // True when it changes how `layer` looks in itself, beyond where and
    // how opaquely it is put and its shadow.
    virtual bool affectsComposite(const Layer& layer) const = 0;
};

struct AnimationAccess {
    static std::unique_ptr<AnimationRun> makeRun(const Animation& animation, const Layer& presentation,
                                                 const std::optional<AnimationValue>& previous) {
        return animation.makeRun(presentation, previous);
    }
};

struct LayerAccess {
    static bool assignValue(Layer& layer, std::string_view keyPath, const AnimationValue& value) {
        return layer.assignValue(keyPath, value);
    }
    static bool keyPathAffectsContent(const Layer& layer, std::string_view keyPath) {
        return layer.keyPathAffectsContent(keyPath);
    }
    static Rect contentExtent(const Layer& layer) { return layer.contentExtent(); }
    static const std::vector<std::shared_ptr<Layer>>& sublayers(const Layer& layer) { return layer.mSublayers; }
    // Whether the layer has drawn content to show.
    static bool drawsContent(const Layer& layer) { return layer.drawsWithoutDisplay() || layer.mDisplayed; }
    // Whether it draws from its properties alone (so at any resolution).
    static bool drawsFromProperties(const Layer& layer) { return layer.drawsWithoutDisplay(); }
    // Whether its drawing may run on another thread.
    static bool drawsOnAnyThread(const Layer& layer) {
        if (layer.drawsWithoutDisplay()) return true;
        const auto delegate = layer.mDelegate.lock();
        return delegate && delegate->drawsOnAnyThread(layer);
    }
    static std::uint64_t contentVersion(const Layer& layer) { return layer.mContentVersion; }
    static std::uint64_t treeVersion(const Layer& layer) { return layer.mTreeVersion; }
    static LayerCache& cache(const Layer& layer);
    // The cache when the layer has one.
    static LayerCache* existingCache(const Layer& layer) { return layer.mCache.get(); }
    static void displayed(Layer& layer) { layer.mNeedsDisplay = false; }
    // Marks the layer changed, so that a display draws it again.
    static void changed(Layer& layer) { layer.markChanged(false); }
    static void detachSublayers(Layer& layer, std::vector<const Layer*> sublayers) {
        layer.detachSublayers(std::move(sublayers));
    }
    // True when `keyPath` is one the layer has now and changes more than
    // where and how opaquely it is put and its shadow.
    static bool keyPathAffectsComposite(const Layer& layer, std::string_view keyPath);
    // True when a running animation changes what the layer draws.
    static bool contentAnimated(const Layer& layer);
    // True when a running animation changes how the layer looks in itself.
    static bool compositeAnimated(const Layer& layer);
};

}  // namespace platform::ui::detail
