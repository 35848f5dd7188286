#include "platform/ui/render/Planner.h"

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/HashMix.h"
#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/Context.h"
#include "platform/graphics/Shadow.h"
#include "platform/ui/core/Layer.h"
#include "platform/ui/core/ShapeLayer.h"
#include "platform/ui/core/detail/AnimationRun.h"
#include "platform/ui/core/detail/MainLoop.h"
#include "platform/ui/render/RasterCache.h"
#include "platform/ui/render/Rasterizer.h"
#include "platform/ui/render/Replay.h"
#include "platform/ui/render/Scheduler.h"
#include "platform/ui/render/detail/LayerCache.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <functional>
#include <utility>

namespace platform::ui {

namespace {

using detail::LayerAccess;

bool isFinite(const Rect& r) {
    return std::isfinite(r.x) && std::isfinite(r.y) && std::isfinite(r.width) && std::isfinite(r.height);
}

bool overlaps(const Rect& a, const Rect& b) {
    return a.maxX() > b.minX() && a.minX() < b.maxX() && a.maxY() > b.minY() && a.minY() < b.maxY();
}

// The union of what is drawn; areas of nothing count for nothing.
class Extent {
public:
    void add(const Rect& r) {
        if (r.isEmpty() || !isFinite(r)) return;
        if (!mRect) {
            mRect = Rect{r.minX(), r.minY(), std::abs(r.width), std::abs(r.height)};
            return;
        }
        const double minX = std::min(mRect->minX(), r.minX());
        const double minY = std::min(mRect->minY(), r.minY());
        const double maxX = std::max(mRect->maxX(), r.maxX());
        const double maxY = std::max(mRect->maxY(), r.maxY());
        mRect = Rect{minX, minY, maxX - minX, maxY - minY};
    }
    const std::optional<Rect>& rect() const { return mRect; }

private:
    std::optional<Rect> mRect;
};

// Sublayers draw in this order: by zPosition, ties in list order.
constexpr auto kBelowInZ = [](const auto& a, const auto& b) { return a->zPosition() < b->zPosition(); };

// A layer as this frame shows it: the model (which owns the tree and what
// is kept) and its presentation (itself when nothing animates it).
struct Shown {
    Layer& model;
    std::shared_ptr<Layer> copy;
    Layer* shown;
};

Shown show(Layer& layer, double time) {
    if (!layer.hasAnimations()) return {layer, nullptr, &layer};
    auto copy = layer.presentationLayer(time);
    Layer* shown = copy.get();
    return {layer, std::move(copy), shown};
}

double unit(double v) { return std::isnan(v) ? 0.0 : std::clamp(v, 0.0, 1.0); }

bool hasShadow(const Layer& layer) {
    return layer.shadowOpacity() > 0 && layer.shadowColor().alpha > 0 && std::isfinite(layer.shadowRadius());
}

// Outward to whole pixels at `scale`, so that a raster drawn there lands
// pixel on pixel.
Rect snapped(const Rect& r, double scale) {
    const double x0 = std::floor(r.minX() * scale);
    const double y0 = std::floor(r.minY() * scale);
    const double x1 = std::ceil(r.maxX() * scale);
    const double y1 = std::ceil(r.maxY() * scale);
    return {x0 / scale, y0 / scale, (x1 - x0) / scale, (y1 - y0) / scale};
}

Rect grown(const Rect& r, double by) { return {r.x - by, r.y - by, r.width + 2 * by, r.height + 2 * by}; }

// The box of roundedBounds(), without making the path.
Rect roundedBoundsBox(const Layer& layer) {
    const Rect b = layer.bounds();
    if (!isFinite(b) || !std::isfinite(layer.cornerRadius())) return Rect{};
    return {b.minX(), b.minY(), std::abs(b.width), std::abs(b.height)};
}

Path roundedBounds(const Layer& layer) {
    Path path;
    path.addRoundedRect(layer.bounds(), layer.cornerRadius() > 0 ? layer.cornerRadius() : 0);
    return path;
}

Rect placeContents(Size natural, const Rect& box, ContentsGravity gravity) {
    const double w = box.width;
    const double h = box.height;
    Size size = natural;
    switch (gravity) {
        case ContentsGravity::resize: return box;
        case ContentsGravity::resizeAspect:
        case ContentsGravity::resizeAspectFill: {
            if (!(natural.width > 0) || !(natural.height > 0)) return box;
            const double sx = w / natural.width;
            const double sy = h / natural.height;
            const double s = gravity == ContentsGravity::resizeAspect ? std::min(sx, sy) : std::max(sx, sy);
            size = {natural.width * s, natural.height * s};
            break;
        }
        default: break;
    }
    // Horizontal and vertical placement: 0 start, 0.5 centre, 1 end.
    double fx = 0.5;
    double fy = 0.5;
    switch (gravity) {
        case ContentsGravity::top: fy = 0; break;
        case ContentsGravity::bottom: fy = 1; break;
        case ContentsGravity::left: fx = 0; break;
        case ContentsGravity::right: fx = 1; break;
        case ContentsGravity::topLeft: fx = fy = 0; break;
        case ContentsGravity::topRight: fx = 1, fy = 0; break;
        case ContentsGravity::bottomLeft: fx = 0, fy = 1; break;
        case ContentsGravity::bottomRight: fx = fy = 1; break;
        default: break;
    }
    return {box.x + (w - size.width) * fx, box.y + (h - size.height) * fy, size.width, size.height};
}

// The area a layer's drawing covers, in its own coordinates: bounds,
// contents, drawn content and sublayers (with their shadows), and its own
// shadow when asked.
Extent drawnExtent(const Shown& s, double time, bool withShadow);

Rect shadowSourceExtent(const Shown& s, double time) {
    const Layer& p = *s.shown;
    if (p.shadowPath()) return p.shadowPath()->boundingBox();
    return drawnExtent(s, time, false).rect().value_or(Rect{});
}

// What the layer draws itself: drawnExtent without its sublayers.
Extent ownExtent(const Shown& s, double time, bool withShadow) {
    const Layer& p = *s.shown;
    Extent extent;
    extent.add(p.bounds());
    // A layer that masks to its bounds shows nothing beyond them.
    if (!p.masksToBounds()) {
        if (p.contents()) extent.add(placeContents(p.contents()->size(), p.bounds(), p.contentsGravity()));
        if (LayerAccess::drawsContent(s.model)) extent.add(LayerAccess::contentExtent(p));
    }
    if (withShadow && hasShadow(p)) {
        const Rect source = shadowSourceExtent(s, time);
        // Three standard deviations hold all but a trace of a Gaussian.
        Rect shadow = grown(source, 3 * std::max(0.0, p.shadowRadius()) + 1);
        shadow.x += p.shadowOffset().width;
        shadow.y += p.shadowOffset().height;
        extent.add(shadow);
    }
    return extent;
}

Extent drawnExtent(const Shown& s, double time, bool withShadow) {
    Extent extent = ownExtent(s, time, withShadow);
    if (s.shown->masksToBounds()) return extent;
    for (const auto& sublayer : LayerAccess::sublayers(s.model)) {
        const Shown child = show(*sublayer, time);
        if (child.shown->isHidden()) continue;
        const Extent inner = drawnExtent(child, time, true);
        if (inner.rect()) extent.add(child.shown->transformToSuperlayer().applyToRect(*inner.rect()));
    }
    return extent;
}

// Whether what a shadow is made of changes with time: an animation below
// the layer, or one on it that changes more than where it is put.
bool compositeAnimated(const Layer& layer, bool self) {
    if (self && LayerAccess::compositeAnimated(layer)) return true;
    for (const auto& sublayer : LayerAccess::sublayers(layer)) {
        if (sublayer->hasAnimations() || compositeAnimated(*sublayer, false)) return true;
    }
    return false;
}

// Whether a layer below has a mask: a mask has no superlayer, so its
// changes do not reach the tree's version.
bool masksBelow(const Layer& layer) {
    for (const auto& sublayer : LayerAccess::sublayers(layer)) {
        if (sublayer->mask() || masksBelow(*sublayer)) return true;
    }
    return false;
}

// A layer that draws nothing and holds nothing, now or while animating
// (an empty content view), is no part that overlaps another.
bool showsNothing(const Layer& layer) {
    return LayerAccess::sublayers(layer).empty() && !layer.hasAnimations() && !layer.mask() && !hasShadow(layer) &&
           !(layer.backgroundColor().alpha > 0) && !(layer.borderWidth() > 0) && !layer.contents() &&
           !LayerAccess::drawsContent(layer);
}

// Whether more than one part of the layer shows.
bool showsSeveralParts(const Shown& s, bool shadow) {
    const Layer& p = *s.shown;
    std::size_t parts = (p.backgroundColor().alpha > 0 ? 1 : 0) +
                        (p.borderWidth() > 0 && p.borderColor().alpha > 0 ? 1 : 0) +
                        (LayerAccess::drawsContent(s.model) ? 1 : 0) + (p.contents() ? 1 : 0) + (shadow ? 1 : 0);
    for (const auto& sublayer : LayerAccess::sublayers(s.model)) {
        if (parts > 1) break;
        parts += showsNothing(*sublayer) ? 0 : 1;
    }
    return parts > 1;
}

std::shared_ptr<Image> transparentPixel() {
    static const std::shared_ptr<Image> pixel = BitmapContext::create(1, 1)->makeImage();
    return pixel;
}

// The device's scale when it maps the layer upright (no turn, no shear,
// the same scale both ways); none otherwise.
std::optional<double> uprightScale(const AffineTransform& device) {
    constexpr double kNear = 1e-9;
    if (std::abs(device.b) > kNear || std::abs(device.c) > kNear || std::abs(device.a - device.d) > kNear ||
        !(device.a > 0) || !std::isfinite(device.a) || !std::isfinite(device.tx) || !std::isfinite(device.ty)) {
        return std::nullopt;
    }
    return device.a;
}

// `r` grown to whole device pixels of an upright device transform.
Rect deviceAligned(const Rect& r, const AffineTransform& device) {
    const double a = device.a;
    const double x0 = std::floor(r.minX() * a + device.tx);
    const double y0 = std::floor(r.minY() * a + device.ty);
    const double x1 = std::ceil(r.maxX() * a + device.tx);
    const double y1 = std::ceil(r.maxY() * a + device.ty);
    return {(x0 - device.tx) / a, (y0 - device.ty) / a, (x1 - x0) / a, (y1 - y0) / a};
}

// A colour and a path as the values a digest takes, for both digests.
template <typename D>
D& addColor(D& digest, const Color& c) {
    return digest.add(c.red).add(c.green).add(c.blue).add(c.alpha);
}
template <typename D>
D& addPath(D& digest, const Path& path) {
    for (const Path::Element& element : path.elements()) {
        digest.add(static_cast<double>(element.type));
        for (const Point& point : element.points) digest.add(point.x).add(point.y);
    }
    return digest.add(static_cast<double>(path.elements().size()));
}

// A digest of values a raster was made from, beside its version.
class Digest {
public:
    explicit Digest(std::uint64_t seed = 0xCBF29CE484222325ull) : mHash(seed) {}
    Digest& add(double v) {
        std::uint64_t bits = 0;
        std::memcpy(&bits, &v, sizeof bits);
        mHash = hashMix(mHash, bits);
        return *this;
    }
    Digest& add(const Rect& r) { return add(r.x).add(r.y).add(r.width).add(r.height); }
    Digest& add(const Color& c) { return addColor(*this, c); }
    Digest& add(const Path& path) { return addPath(*this, path); }
    std::uint64_t value() const { return mHash | 1; }  // never 0, which no raster has

private:
    std::uint64_t mHash;
};

// Two digests of the same values from two seeds, taken in one pass over
// them: a long path is read once.
class DigestPair {
public:
    DigestPair(std::uint64_t first, std::uint64_t second) : mFirst(first), mSecond(second) {}
    DigestPair& add(double v) {
        mFirst.add(v);
        mSecond.add(v);
        return *this;
    }
    DigestPair& add(const Color& c) { return addColor(*this, c); }
    DigestPair& add(const Path& path) { return addPath(*this, path); }
    std::uint64_t first() const { return mFirst.value(); }
    std::uint64_t second() const { return mSecond.value(); }

private:
    Digest mFirst;
    Digest mSecond;
};

// Whether the layer may have a raster of this kind in a cache: only one
// that has had one can.
bool hadRaster(const detail::LayerCache& kept, RasterKind kind) { return kept.kinds & (1u << kind); }

// Whether a shape's raster is drawn in a batch of strokes: stroking its
// whole path without dashes, filling nothing.
std::optional<StrokeStyle> strokeAlone(const ShapeLayer* shape) {
    if (!shape || !shape->fillsNothing() || !(shape->strokeColor().alpha > 0) || !(shape->lineWidth() > 0) ||
        !std::isfinite(shape->lineWidth()) || !shape->lineDashPattern().empty() || shape->strokeStart() != 0 ||
        !(shape->strokeEnd() >= 1)) {
        return std::nullopt;
    }
    return StrokeStyle{shape->strokeColor(), shape->lineWidth(), shape->lineCap(), shape->lineJoin(),
                       shape->miterLimit()};
}

}  // namespace

namespace {

// Whether an item of the last frame's plan may stay for one of this frame:
// the same values, sharing the same things. Items that hold drawing of
// their own (paths, layers) are always written.
bool sameShare(const auto& a, const auto& b) { return a.get() == b.get() && !a.owner_before(b) && !b.owner_before(a); }
bool unchanged(const PlanEnter& a, const PlanEnter& b) { return a.transform == b.transform && a.alpha == b.alpha; }
bool unchanged(const PlanExit&, const PlanExit&) { return true; }
bool unchanged(const PlanLowQuality&, const PlanLowQuality&) { return true; }
bool unchanged(const PlanClipEnd&, const PlanClipEnd&) { return true; }
bool unchanged(const PlanGroupBegin& a, const PlanGroupBegin& b) { return a.clip == b.clip; }
bool unchanged(const PlanImage& a, const PlanImage& b) {
    return a.image == b.image && a.slot == b.slot && a.rect == b.rect && a.lowQuality == b.lowQuality;
}
bool unchanged(const PlanMarks& a, const PlanMarks& b) {
    return sameShare(a.stamps, b.stamps) && a.placements == b.placements && a.whole == b.whole;
}
bool unchanged(const auto&, const auto&) { return false; }

class Planner {
public:
    Planner(const AffineTransform& device, double alpha, const PlanSetup& setup, RasterCache* cache,
            Rasterizer* rasters)
        : mSetup(setup),
          mCache(setup.keepsRasters ? cache : nullptr),
          mRasters(rasters),
          mDevice(device),
          mAlpha(alpha) {
        if (mCache) plan.kept = mCache->pin();
    }

    FramePlan plan;
    // Where the next item goes. A frame's plan is written over the last
    // frame's items (PlanSetup::storage), an item the same as the one there
    // left as it is: a steady frame then writes almost nothing, and the
    // bands, on other cores, read a plan their caches still hold.
    std::size_t emitted = 0;

    void layer(Layer& layer);
    // The layer's parts as a layer's own drawing: its transform applied
    // and its alpha set by the caller.
    void composite(const Shown& s, bool withShadow);

private:
    template <typename Item>
    void emit(Item&& item) {
        using Kind = std::decay_t<Item>;
        if (emitted < plan.items.size()) {
            PlanItem& there = plan.items[emitted];
            const Kind* old = std::get_if<Kind>(&there);
            if (!old || !unchanged(*old, item)) there = std::forward<Item>(item);
        } else {
            plan.items.emplace_back(std::forward<Item>(item));
        }
        ++emitted;
    }
    // An enter's end and area, known after its subtree.
    void settle(std::size_t at, std::uint32_t end, bool hasArea, const Rect& area) {
        auto& item = std::get<PlanEnter>(plan.items[at]);
        if (item.end != end) item.end = end;
        if (item.hasArea != hasArea) item.hasArea = hasArea;
        if (!(item.area == area)) item.area = area;
    }
    PlanSetup nested(bool keepsVectors) const {
        PlanSetup inner = mSetup;
        inner.keepsVectors = keepsVectors;
        inner.area.reset();
        return inner;
    }
    bool outside(const Shown& s, std::optional<Extent>& drawn);
    void shadow(const Shown& s);
    bool drawingShadow(const Shown& s, const Rect& box, double scale, double radius, const Color& color, bool sharpen,
                       const RasterKey& key, const RasterEntry& made);
    void pathShadow(const Shown& s, const Color& color, double radius);
    void keepShadowShape(const Shown& s, std::uint64_t owner);
    struct KeptWhole;
    std::optional<KeptWhole> keptWhole(const Shown& s, const Rect& area, double largestPixels, std::uint64_t source);
    bool whole(const Shown& s);
    void splice(FramePlan& part);
    bool faded(const Shown& s, bool shadowed, const Rect& extent);
    void body(const Shown& s);
    bool content(const Shown& s, bool background);
    struct ContentRaster;
    struct Shows;
    void afresh(const Shown& s, bool vector, bool under);
    static const ShapeLayer* shapeOf(const Layer& layer);
    ContentRaster contentRaster(const Shown& s, const Rect& extent, std::optional<double> upright, bool background,
                                const ShapeLayer* shape) const;
    bool marks(const Shown& s, const ContentRaster& raster, detail::LayerCache& kept);
    std::optional<Shows> findKeptContent(const ContentRaster& raster, detail::LayerCache& kept);
    std::optional<Shows> requestContent(const Shown& s, const ContentRaster& raster, detail::LayerCache& kept);
    std::shared_ptr<Layer> drawnByJob(const Shown& s, bool vector) const;
    Shows shows(RasterSlot& slot, const Rect& rect) const;
    void showRaster(RasterSlot& slot, const Rect& rect, bool lowQuality);
    std::pair<std::shared_ptr<Image>, Rect> mask(Layer& mask);

    // What the plan holds for its items, that nothing else holds.
    template <typename T>
    T* held(std::shared_ptr<T> made) {
        T* at = made.get();
        if (made) plan.held.push_back(std::move(made));
        return at;
    }

    const PlanSetup& mSetup;
    RasterCache* mCache;
    // Asked for every raster: jobs make them, or it makes each at once.
    Rasterizer* mRasters;
    // The transform in force, as the replay will have it: each layer's
    // prepended as a context prepends it (the same arithmetic), without a
    // save and restore of the drawing library's state for each layer.
    AffineTransform mDevice;
    // The alpha in force, as the replay will have it.
    double mAlpha;
    // Under a layer that an animation moves, scales or resizes.
    bool mMoving = false;
    // Within a whole or a shadow's drawing made by a job: rasters are its
    // parts.
    bool mInWhole = false;
    // Layers entered so far, spliced ones too.
    std::size_t mEntered = 0;
    // Where the sublayers of the layer being planned draw (device pixels),
    // when areas are noted.
    Extent* mSublayerAreas = nullptr;
    // Backgrounds of the layers being planned (this one and those above
    // it) that an opaque background planned later may hide: the item, the
    // device pixels it touches, and the groups and clips open then.
    struct Hideable {
        std::size_t at;
        Rect pixels;
        int opened;
    };
    std::vector<Hideable> mHideable;
    // Groups and clips open: what is drawn inside one is faded, masked or
    // cut, and hides nothing outside it.
    int mOpened = 0;
    void background(const Layer& p, std::size_t at);
};

// Whether a layer lands wholly outside the pixels drawn on; only layers
// without sublayers, shadow or mask are looked at. Where such a layer
// draws, in device pixels, is left in `drawn`.
bool Planner::outside(const Shown& s, std::optional<Extent>& drawn) {
    if (!mSetup.area) return false;
    if (!LayerAccess::sublayers(s.model).empty() || s.model.mask() || hasShadow(*s.shown)) return false;
    const auto extent = ownExtent(s, mSetup.time, false).rect();
    drawn.emplace();
    if (!extent) return true;
    const AffineTransform device = AffineTransform::concat(s.shown->transformToSuperlayer(), mDevice);
    const Rect onDevice = device.applyToRect(*extent);
    drawn->add(onDevice);
    return !overlaps(onDevice, *mSetup.area);
}

void Planner::layer(Layer& layer) {
    const Shown s = show(layer, mSetup.time);
    const Layer& p = *s.shown;
    if (p.isHidden()) return;
    const double opacity = unit(p.opacity());
    std::optional<Extent> drawn;
    if (opacity <= 0 || outside(s, drawn)) return;
    const AffineTransform outer = mDevice;
    mDevice = AffineTransform::concat(p.transformToSuperlayer(), mDevice);
    const double alpha = mAlpha;
    const bool moving = mMoving;
    mAlpha = alpha * opacity;
    mMoving = moving || s.copy != nullptr;
    const std::size_t enter = emitted;
    emit(PlanEnter{p.transformToSuperlayer(), mAlpha, 0, false, {}});
    const std::size_t entered = ++mEntered;
    // Areas are noted for bands.
    const bool notes = mSetup.area && mRasters->onPool();
    Extent* const above = mSublayerAreas;
    Extent sublayers;
    if (notes) mSublayerAreas = &sublayers;
    composite(s, true);
    mAlpha = alpha;
    mMoving = moving;
    Rect noted;
    if (notes) {
        mSublayerAreas = above;
        Extent area;
        if (drawn) {
            area = *drawn;
        } else if (const auto extent = ownExtent(s, mSetup.time, true).rect()) {
            area.add(mDevice.applyToRect(*extent));
        }
        if (!p.masksToBounds() && sublayers.rect()) area.add(*sublayers.rect());
        // A pixel more each way holds the anti-aliasing of edges.
        noted = area.rect() ? grown(*area.rect(), 1) : Rect{};
        if (above && area.rect()) above->add(noted);
        // A leaf: no layer entered below it.
        if (mEntered == entered && !plan.bandLoads.empty()) addBandLoad(mSetup.bands, noted, plan.bandLoads);
    }
    settle(enter, static_cast<std::uint32_t>(emitted), notes, noted);
    emit(PlanExit{});
    mDevice = outer;
}

void Planner::composite(const Shown& s, bool withShadow) {
    const Layer& p = *s.shown;
    const bool shadowed = withShadow && hasShadow(p);
    const bool masked = s.model.mask() != nullptr;
    // Parts that overlap fade as one, through a group; one part alone
    // takes the alpha directly.
    const double alpha = mAlpha;
    const bool group = masked || (alpha < 1 && showsSeveralParts(s, shadowed));
    if (group) {
        const auto extent = drawnExtent(s, mSetup.time, shadowed).rect();
        if (!extent) return;
        if (!masked && faded(s, shadowed, *extent)) return;
        emit(PlanGroupBegin{grown(*extent, 1)});
        ++mOpened;
        mAlpha = 1;  // inside a group, alpha starts afresh
    }
    if (shadowed) shadow(s);
    if (!(alpha >= 1 && !masked && whole(s))) body(s);
    if (group) {
        --mOpened;
        if (masked) {
            auto [image, rect] = mask(*s.model.mask());
            emit(PlanGroupEnd{std::move(image), rect});
        } else {
            emit(PlanGroupEnd{});
        }
        mAlpha = alpha;
    }
}

void Planner::shadow(const Shown& s) {
    const Layer& p = *s.shown;
    Color color = p.shadowColor();
    color.alpha = unit(color.alpha) * unit(p.shadowOpacity());
    const double radius = std::max(0.0, p.shadowRadius());
    if (p.shadowPath()) {
        pathShadow(s, color, radius);
        return;
    }
    const std::uint64_t treeVersion = LayerAccess::treeVersion(s.model);
    const std::uint64_t source = Digest().add(radius).add(color).value();
    const RasterKey key{s.model.identifier(), kRasterShadow, 0};
    detail::LayerCache* kept = mCache ? &LayerAccess::cache(s.model) : nullptr;
    const RasterEntry* entry = mCache ? mCache->find(key, kept->shadowRaster) : nullptr;
    const bool fresh = entry && entry->image && entry->scale == mSetup.scale && entry->source == source &&
                       entry->version == treeVersion && !compositeAnimated(s.model, true);
    const bool found = entry != nullptr;
    const Size offset = p.shadowOffset();
    if (fresh) {
        Rect rect = entry->rect;
        rect.x += offset.width;
        rect.y += offset.height;
        emit(PlanImage{entry->image.get(), nullptr, rect, true});
        return;
    }
    // A wide blur hides detail finer than itself: the shadow is taken at the
    // resolution that makes its deviation wideShadowPixels and stretched to
    // its place.
    const double wide = mSetup.tuning.wideShadowPixels;
    const double scale = radius * mSetup.scale > wide ? wide / radius : mSetup.scale;
    Rect box = snapped(shadowSourceExtent(s, mSetup.time), scale);
    // Larger than a raster may be: only the part whose shadow can land on
    // the pixels drawn is made, each frame, and not kept.
    const bool part = !pixelSize(box, scale);
    if (part) {
        const auto onLayer = mDevice.inverted();
        if (!mSetup.area || !onLayer) return;
        Rect shows = onLayer->applyToRect(*mSetup.area);
        shows.x -= offset.width;
        shows.y -= offset.height;
        shows = grown(shows, (platform::detail::gaussianReach(radius * scale) + 1) / scale);
        const double x0 = std::max(box.minX(), shows.minX()), y0 = std::max(box.minY(), shows.minY());
        const double x1 = std::min(box.maxX(), shows.maxX()), y1 = std::min(box.maxY(), shows.maxY());
        if (!(x1 > x0 && y1 > y0)) return;  // none of it shows
        box = snapped(Rect{x0, y0, x1 - x0, y1 - y0}, scale);
    }
    // A shadow remade every frame is not kept long enough to repay a copy
    // at the device's pixels.
    const bool remadeEachFrame = part || compositeAnimated(s.model, true);
    const bool sharpen = scale < mSetup.scale && !remadeEachFrame;
    if (found) mCache->erase(key);
    const bool keeps = mCache && !part;
    if (drawingShadow(s, box, scale, radius, color, sharpen, keeps ? key : kKeptNowhere,
                      RasterEntry{nullptr, {}, mSetup.scale, treeVersion, source}) &&
        keeps) {
        kept->kinds |= 1u << kRasterShadow;
    }
}

// The shadow of the layer's drawing: the drawing is planned apart (where
// jobs make rasters, from presentation copies, as every job draws), the
// rasters it needs are its parts, made first, and its plan is replayed into
// the bitmap that is blurred; by a job beside the walk and the other
// rasters, or at once. Its place is known before: the blur's reach is that
// of its box passes. False when nothing is to be made.
bool Planner::drawingShadow(const Shown& s, const Rect& box, double scale, double radius, const Color& color,
                            bool sharpen, const RasterKey& key, const RasterEntry& made) {
    if (!pixelSize(box, scale)) return false;
    // The transform the drawing's bitmap will have, for the planning.
    const AffineTransform drawn = AffineTransform::scale(scale, scale).translated(-box.x, -box.y);
    const double sigma = radius * scale;
    const Rect blurred = grown(box, platform::detail::gaussianReach(sigma) / scale);
    const Rect placed = sharpen ? snapped(blurred, mSetup.scale) : blurred;

    // Rasters its drawing needs are its parts: held apart from the other
    // jobs until it is planned, and kept out of batches, which another job
    // would make.
    const PlanSetup inner = nested(false);
    Planner sub(drawn, 1, inner, mCache, mRasters);
    sub.mInWhole = true;
    Rasterizer::Parts parts = mRasters->partsOf(true, [&] { sub.composite(s, false); });

    const bool here = sub.plan.mainThread;
    auto body = std::make_shared<const FramePlan>(std::move(sub.plan));
    auto make = [body, box, scale, sigma, color, sharpen, blurred, placed,
                 device = mSetup.scale]() -> std::shared_ptr<Image> {
        const auto drawing = rasterize(box, scale, [&](Context& context) {
            // Blurred anyway: images in it need no careful resampling.
            context.setInterpolationQuality(InterpolationQuality::low);
            replayPlan(*body, context);
        });
        if (!drawing) return nullptr;
        const ShadowImage shadow = makeShadowImage(*drawing, sigma, color);
        if (!shadow.image || !sharpen) return shadow.image;
        // Kept at the device's pixels, so that a frame that reuses it copies
        // it rather than stretching it again.
        return rasterize(placed, device, [&](Context& context) { context.drawImage(*shadow.image, blurred); });
    };
    RasterEntry entry = made;
    entry.rect = placed;
    // Where a delegate draws during its replay, made here, its parts first.
    RasterSlot& slot = here ? mRasters->makeHere(std::move(parts), make, key, entry)
                            : mRasters->makeShadow(std::move(parts), std::move(make), key, entry);
    Rect rect = placed;
    rect.x += s.shown->shadowOffset().width;
    rect.y += s.shown->shadowOffset().height;
    showRaster(slot, rect, true);
    return true;
}

// The shadow of a shadow path is made of the path and the shadow's values
// alone, so it is kept under them rather than under the layer: a layer
// made anew with the same outline (a popover presented again) finds it
// instead of blurring it again, and a layer whose opacity or place animates
// keeps finding it. One that must be made is blurred by a job where the
// frame has them, beside the walk and the other rasters, or at once.
void Planner::pathShadow(const Shown& s, const Color& color, double radius) {
    const Layer& p = *s.shown;
    const Path& path = *p.shadowPath();
    const double wide = mSetup.tuning.wideShadowPixels;
    const double scale = radius * mSetup.scale > wide ? wide / radius : mSetup.scale;
    const Rect box = snapped(path.boundingBox(), scale);
    // Where the blur lands, known before it is made: its reach is that of
    // the box passes for the deviation; below the device's scale it is kept
    // stretched to whole device pixels.
    const double sigma = radius * scale;
    Rect rect = grown(box, platform::detail::gaussianReach(sigma) / scale);
    if (scale < mSetup.scale) rect = snapped(rect, mSetup.scale);
    // Two digests of the same values, one naming the raster and one checking
    // it: two outlines that share both are taken as the same.
    DigestPair digest(0x84222325CBF29CE4ull, 0xCBF29CE484222325ull);
    digest.add(path).add(radius).add(color).add(mSetup.scale).add(wide);
    const RasterKey key{digest.first(), kRasterShadowShape, 0};
    const std::uint64_t check = digest.second();
    const RasterEntry* entry = mCache ? mCache->find(key) : nullptr;
    const Size offset = p.shadowOffset();
    const Rect placed{rect.x + offset.width, rect.y + offset.height, rect.width, rect.height};
    if (entry && entry->image && entry->scale == mSetup.scale && entry->source == check && entry->rect == rect) {
        emit(PlanImage{entry->image.get(), nullptr, placed, true});
    } else if (mRasters->onPool() && mCache && mMoving) {
        // Under an animation (a popover fading in) frames follow: this one
        // goes on without the shadow rather than wait for a million pixels
        // blurred, and a later one shows it once made. The layer is marked
        // changed then, so that a display drawing only what changed draws
        // that frame too. Below the frames' own work on the pool, which
        // goes first.
        if (!mCache->pending(key)) {
            auto later = std::make_shared<RasterCache::PromisedRaster>();
            mCache->storeLater(key, RasterEntry{nullptr, rect, mSetup.scale, 0, check}, later);
            DispatchQueue::global(DispatchQueuePriority::Default)
                .async([later, path, box, scale, sigma, color, device = mSetup.scale, rect,
                        owner = s.model.weak_from_this()] {
                    later->image = makePathShadow(path, box, scale, sigma, color, device, rect);
                    later->done.store(true, std::memory_order_release);
                    detail::postToMain([owner] {
                        if (const auto layer = owner.lock()) LayerAccess::changed(*layer);
                    });
                });
        }
        keepShadowShape(s, key.owner);
        return;
    } else {
        RasterSlot& slot =
            mRasters->request([path, box, scale, sigma, color, device = mSetup.scale,
                               rect] { return makePathShadow(path, box, scale, sigma, color, device, rect); },
                              mCache ? key : kKeptNowhere, RasterEntry{nullptr, rect, mSetup.scale, 0, check});
        showRaster(slot, placed, true);
    }
    if (mCache) keepShadowShape(s, key.owner);
}

// A layer whose outline changed lets its last one go (a path that animates
// would otherwise leave a raster a frame to the budget), unless another
// layer still shows it.
void Planner::keepShadowShape(const Shown& s, std::uint64_t owner) {
    detail::LayerCache& kept = LayerAccess::cache(s.model);
    if (kept.shadowShape && kept.shadowShape->owner == owner) return;
    const auto last = std::exchange(kept.shadowShape, detail::shadowShapeUse(owner));
    if (last && last.use_count() == 1) mCache->erase({last->owner, kRasterShadowShape, 0});
}

// A plan made apart, drawn here after all: its items follow, their
// subtrees' ends moved by where they now begin.
void Planner::splice(FramePlan& part) {
    const auto offset = static_cast<std::uint32_t>(emitted);
    for (auto& item : part.items) {
        const std::size_t at = emitted;
        std::visit([&](auto& moved) { emit(std::move(moved)); }, item);
        if (const auto* enter = std::get_if<PlanEnter>(&item)) {
            settle(at, enter->end + offset, enter->hasArea, enter->area);
            ++mEntered;
        }
    }
    for (auto& held : part.held) plan.held.push_back(std::move(held));
}

// A layer's drawing kept as one raster (kRasterWhole) at the device's
// pixels over `area` (points of the layer): where it lands, whether the
// one kept still shows it (`image`), and whether the layer has shown
// unchanged a second time (`settled`), so that a layer drawn once, or
// changed every frame, does not pay for the raster on top of its drawing.
struct Planner::KeptWhole {
    Rect box;
    double scale;
    std::uint64_t version;
    const Image* image;
    bool settled;
    // What a raster made now is kept as.
    RasterEntry made(std::uint64_t source) const { return {nullptr, box, scale, version, source}; }
};

// None where it cannot be kept so: the device does not map the layer
// upright, or the raster would be larger than `largestPixels`. A stale one
// is let go.
std::optional<Planner::KeptWhole> Planner::keptWhole(const Shown& s, const Rect& area, double largestPixels,
                                                     std::uint64_t source) {
    const std::optional<double> upright = uprightScale(mDevice);
    if (!upright) return std::nullopt;
    const Rect box = deviceAligned(area, mDevice);
    if (!(box.width * box.height * *upright * *upright <= largestPixels)) return std::nullopt;
    const std::uint64_t version = LayerAccess::treeVersion(s.model);
    const RasterKey key{s.model.identifier(), kRasterWhole, 0};
    detail::LayerCache& kept = LayerAccess::cache(s.model);
    const RasterEntry* entry = hadRaster(kept, kRasterWhole) ? mCache->find(key, kept.wholeRaster) : nullptr;
    if (entry && entry->image && entry->version == version && entry->scale == *upright && entry->rect == box &&
        entry->source == source) {
        return KeptWhole{box, *upright, version, entry->image.get(), true};
    }
    if (entry) mCache->erase(key);
    const std::uint64_t seen = Digest().add(static_cast<double>(version)).add(*upright).add(box).add(source).value();
    const bool settled = kept.wholeSeen == seen;
    kept.wholeSeen = seen;
    return KeptWhole{box, *upright, version, nullptr, settled};
}

// A layer that clips to rounded corners costs the drawing library a mask
// as tall as the layer for each thing drawn inside it, every frame: while
// nothing in it changes, its body is kept as one raster at the device's
// pixels, when upright and not large. False when it is not (yet): the
// caller plans the parts.
bool Planner::whole(const Shown& s) {
    const Layer& p = *s.shown;
    if (!mSetup.keepsVectors || !mCache || mInWhole || s.copy || !p.masksToBounds() || !(p.cornerRadius() > 0) ||
        LayerAccess::sublayers(s.model).empty() || compositeAnimated(s.model, false) || masksBelow(s.model)) {
        return false;
    }
    const Rect bounds = roundedBoundsBox(p);
    if (bounds.isEmpty() || !isFinite(bounds)) return false;
    const std::uint64_t source = Digest().add(mSetup.scale).value();
    const auto kept = keptWhole(s, bounds, mSetup.tuning.largestKeptWholePixels, source);
    if (!kept) return false;
    const Rect box = kept->box;
    if (kept->image) {
        emit(PlanImage{kept->image, nullptr, box, false});
        return true;
    }
    // Drawn in bands, it is made at once, beside the other rasters: bands
    // would each pay for the rounded clip.
    if (!kept->settled && !mRasters->onPool()) return false;
    detail::LayerCache& cached = LayerAccess::cache(s.model);
    cached.kinds |= 1u << kRasterWhole;
    cached.rememberCache(*mCache);
    // The body, planned apart, none of it left out: drawn into the whole,
    // or spliced in here.
    PlanSetup inner = mSetup;
    inner.area.reset();
    Planner sub(mDevice, mAlpha, inner, mCache, mRasters);
    sub.mMoving = mMoving;
    sub.mInWhole = true;
    Rasterizer::Parts parts = mRasters->partsOf(false, [&] { sub.body(s); });
    if (sub.plan.mainThread) {
        // A delegate draws at replay: its parts are drawn here; jobs they
        // need run beside the rest.
        mRasters->drawApart(std::move(parts));
        splice(sub.plan);
        plan.mainThread = true;
        return true;
    }
    auto body = std::make_shared<const FramePlan>(std::move(sub.plan));
    // Where the raster cannot be made, the parts are drawn in its place: the
    // plan holds them for that (a chart's hundreds of bars are not each
    // given a share of their own).
    const FramePlan* parted = held(body);
    auto make = [body = std::move(body), box, scale = kept->scale] {
        // The bitmap lies on the screen's pixel grid, so what is kept below
        // serves it as it serves the screen.
        return rasterize(box, scale, [&](Context& bitmap) { replayPlan(*body, bitmap); });
    };
    showRaster(mRasters->makeWhole(std::move(parts), std::move(make), {s.model.identifier(), kRasterWhole, 0},
                                   kept->made(source), [parted](Context& context) { replayPlan(*parted, context); }),
               box, false);
    return true;
}

// A layer that fades with several parts is drawn into a group as large as
// its drawing, its shadow's million pixels composited into it, every frame:
// once it shows unchanged a second time, its drawing (shadow and body) is
// kept as one raster at the device's pixels instead, drawn at the fade's
// alpha as the group would be. False when it is not (yet): the caller
// plans the group.
bool Planner::faded(const Shown& s, bool shadowed, const Rect& extent) {
    const Layer& p = *s.shown;
    if (!mSetup.keepsVectors || !mCache || mInWhole || (s.copy && LayerAccess::contentAnimated(s.model)) ||
        compositeAnimated(s.model, true) || masksBelow(s.model)) {
        return false;
    }
    // The group's clip: nothing is drawn beyond it.
    const Rect clip = grown(extent, 1);
    // What may change while the layer fades without its version changing:
    // its bounds and its shadow (an animation may place them).
    Digest digest(0x84222325CBF29CE4ull);
    digest.add(mSetup.scale).add(p.bounds()).add(extent).add(shadowed ? 1.0 : 0.0);
    if (shadowed) {
        digest.add(p.shadowColor()).add(p.shadowOpacity()).add(p.shadowRadius());
        digest.add(p.shadowOffset().width).add(p.shadowOffset().height);
        if (p.shadowPath()) digest.add(*p.shadowPath());
    }
    const std::uint64_t source = digest.value();
    const auto kept = keptWhole(s, clip, mSetup.tuning.largestKeptFadePixels, source);
    if (!kept) return false;
    const Rect box = kept->box;
    const auto shownOver = [&] {
        if (mSublayerAreas) mSublayerAreas->add(mDevice.applyToRect(box));
        return true;
    };
    if (kept->image) {
        emit(PlanImage{kept->image, nullptr, box, false});
        return shownOver();
    }
    if (!kept->settled) return false;
    detail::LayerCache& cached = LayerAccess::cache(s.model);
    cached.kinds |= 1u << kRasterWhole;
    cached.rememberCache(*mCache);
    PlanSetup inner = mSetup;
    inner.area.reset();
    inner.inBands = true;
    Planner sub(mDevice, 1, inner, mCache, mRasters);
    sub.mMoving = mMoving;
    // Nothing in it is kept whole apart: a rounded layer's whole would
    // take this one's place.
    sub.mInWhole = true;
    Rasterizer::Parts parts = mRasters->partsOf(false, [&] { sub.composite(s, shadowed); });
    if (sub.plan.mainThread) {
        // A delegate draws at replay: the parts go into the group here.
        mRasters->drawApart(std::move(parts));
        emit(PlanGroupBegin{clip});
        splice(sub.plan);
        emit(PlanGroupEnd{});
        plan.mainThread = true;
        return shownOver();
    }
    auto drawing = std::make_shared<const FramePlan>(std::move(sub.plan));
    auto make = [drawing, box, clip, scale = kept->scale, tuning = mSetup.tuning] {
        return rasterizePlan(box, scale, clip, *drawing, tuning);
    };
    // Where the raster cannot be made, the group is drawn in its place.
    auto fallback = [drawing, clip](Context& context) {
        context.save();
        context.clipToRect(clip);
        context.beginTransparencyLayer();
        replayPlan(*drawing, context);
        context.endTransparencyLayer();
        context.restore();
    };
    showRaster(mRasters->makeWhole(std::move(parts), std::move(make), {s.model.identifier(), kRasterWhole, 0},
                                   kept->made(source), std::move(fallback)),
               box, false);
    return shownOver();
}

// The path of the layer's bounds with its corner radius, kept with the
// layer while they stay the same.
std::shared_ptr<const Path> boundsPath(const Shown& s) {
    const Layer& p = *s.shown;
    detail::LayerCache& kept = LayerAccess::cache(s.model);
    const double radius = p.cornerRadius() > 0 ? p.cornerRadius() : 0;
    if (!kept.boundsPath || !(kept.boundsRect == p.bounds()) || kept.boundsRadius != radius) {
        kept.boundsPath = std::make_shared<const Path>(roundedBounds(p));
        kept.boundsRect = p.bounds();
        kept.boundsRadius = radius;
    }
    return kept.boundsPath;
}

// Everything of a layer but its shadow: background, contents, drawn
// content, sublayers (clipped when it masks to its bounds) and border.
void Planner::body(const Shown& s) {
    const Layer& p = *s.shown;
    const bool background = p.backgroundColor().alpha > 0;
    const bool border = p.borderWidth() > 0 && p.borderColor().alpha > 0;
    const bool drawn = LayerAccess::drawsContent(s.model);
    const bool clips = p.masksToBounds();
    // Nothing comes between a background and drawn content unless the
    // layer has contents or clips.
    const bool baked = background && drawn && !s.copy && !p.contents() && !clips && content(s, true);
    const auto& sublayers = LayerAccess::sublayers(s.model);
    const bool clipped = clips && (p.contents() || drawn || !sublayers.empty());
    const std::size_t backgroundAt = emitted;
    // A rounded rect's arcs cost more than a copy, and a chart has hundreds
    // of them: made once for the background and the clip, and within a
    // whole (replayed once, by its job) left to the replay.
    if (mInWhole) {
        std::shared_ptr<const PlanRoundedRect> rounded;
        if ((background && !baked) || clipped) {
            rounded = std::make_shared<const PlanRoundedRect>(
                PlanRoundedRect{p.bounds(), p.cornerRadius() > 0 ? p.cornerRadius() : 0});
        }
        if (background && !baked) emit(PlanFill{nullptr, p.backgroundColor(), FillRule::nonZero, rounded});
        if (clipped) emit(PlanClipBegin{{}, std::move(rounded)});
    } else if (background && !baked) {
        auto rounded = boundsPath(s);
        if (clipped) {
            emit(PlanFill{rounded, p.backgroundColor(), FillRule::nonZero, nullptr});
            emit(PlanClipBegin{*rounded, nullptr});
        } else {
            emit(PlanFill{std::move(rounded), p.backgroundColor(), FillRule::nonZero, nullptr});
        }
    } else if (clipped) {
        emit(PlanClipBegin{roundedBounds(p), nullptr});
    }
    const bool filled = background && !baked;
    if (filled) this->background(p, backgroundAt);
    if (clipped) ++mOpened;
    // Images stretched by a running animation are sampled quickly: they
    // show for a frame.
    if (s.copy) emit(PlanLowQuality{});
    if (p.contents()) {
        emit(PlanImage{held(p.contents()), nullptr,
                       placeContents(p.contents()->size(), p.bounds(), p.contentsGravity()), false});
    }
    if (drawn && !baked) content(s, false);
    if (std::is_sorted(sublayers.begin(), sublayers.end(), kBelowInZ)) {
        for (const auto& sublayer : sublayers) layer(*sublayer);
    } else {
        std::vector<Layer*> order;
        order.reserve(sublayers.size());
        for (const auto& sublayer : sublayers) order.push_back(sublayer.get());
        std::stable_sort(order.begin(), order.end(), kBelowInZ);
        for (Layer* sublayer : order) layer(*sublayer);
    }
    if (clipped) {
        emit(PlanClipEnd{});
        --mOpened;
    }
    if (border) {
        const double width = p.borderWidth();
        const Rect outer = p.bounds();
        Path path;
        path.addRoundedRect(outer, std::max(0.0, p.cornerRadius()));
        const Rect inner{outer.minX() + width, outer.minY() + width, std::abs(outer.width) - 2 * width,
                         std::abs(outer.height) - 2 * width};
        if (inner.width > 0 && inner.height > 0) path.addRoundedRect(inner, std::max(0.0, p.cornerRadius() - width));
        emit(PlanFill{std::make_shared<const Path>(std::move(path)), p.borderColor(), FillRule::evenOdd, nullptr});
    }
    if (filled && !mHideable.empty() && mHideable.back().at == backgroundAt) mHideable.pop_back();
}

// A background planned at `at`: it hides the backgrounds above it that it
// covers wholly (a screen's, under a table's opaque one), left out of the
// plan, when it is opaque, drawn on whole device pixels and nothing opened
// since they were planned fades, masks or cuts it; and it may be hidden
// in turn by one below it.
void Planner::background(const Layer& p, std::size_t at) {
    const Rect box = roundedBoundsBox(p);
    if (box.isEmpty() || !isFinite(box)) return;
    const Rect onDevice = mDevice.applyToRect(box);
    if (!isFinite(onDevice)) return;
    constexpr double kNear = 1e-9;
    constexpr double kWhole = 1e-6;
    const auto whole = [](double v) { return std::abs(v - std::round(v)) < kWhole; };
    const bool hides = !mHideable.empty() && unit(p.backgroundColor().alpha) >= 1 && mAlpha >= 1 &&
                       !(p.cornerRadius() > 0) && std::abs(mDevice.b) < kNear && std::abs(mDevice.c) < kNear &&
                       whole(onDevice.minX()) && whole(onDevice.minY()) && whole(onDevice.maxX()) &&
                       whole(onDevice.maxY());
    if (hides) {
        const double x0 = std::round(onDevice.minX());
        const double y0 = std::round(onDevice.minY());
        const double x1 = std::round(onDevice.maxX());
        const double y1 = std::round(onDevice.maxY());
        std::erase_if(mHideable, [&](const Hideable& under) {
            const Rect& r = under.pixels;
            if (under.opened != mOpened || r.minX() < x0 || r.minY() < y0 || r.maxX() > x1 || r.maxY() > y1) {
                return false;
            }
            plan.items[under.at] = PlanFill{};
            return true;
        });
    }
    // The pixels its edges touch.
    const double x0 = std::floor(onDevice.minX() + kWhole);
    const double y0 = std::floor(onDevice.minY() + kWhole);
    const double x1 = std::ceil(onDevice.maxX() - kWhole);
    const double y1 = std::ceil(onDevice.maxY() - kWhole);
    mHideable.push_back({at, Rect{x0, y0, x1 - x0, y1 - y0}, mOpened});
}

// The raster a layer's content is kept in: its key, where it lies (points
// of the layer), at how many pixels a point, and what it is drawn from.
struct Planner::ContentRaster {
    RasterKey key;
    Rect extent;
    Rect box;
    double scale;
    std::uint64_t version;
    std::uint64_t source;
    std::optional<KeptBackground> under;
    bool vector;
    bool anyThread;
    const ShapeLayer* shape;
};

// A raster as the plan shows it: an image at hand or a job's slot, and
// where it goes.
struct Planner::Shows {
    const Image* image = nullptr;
    RasterSlot* slot = nullptr;
    Rect rect;
};

// The layer's drawn content; with `background`, its background too, drawn
// into the same kept raster (the same pixels, as drawing over is
// associative) where the content is kept at the device's pixels and covers
// the bounds. Returns false, having planned nothing, when it cannot take
// the background.
bool Planner::content(const Shown& s, bool background) {
    const bool vector = LayerAccess::drawsFromProperties(s.model);
    const std::optional<double> upright = uprightScale(mDevice);
    // Drawn afresh from what shows: content that changes with time, vector
    // content that would not land pixel on pixel, and anything drawn apart
    // from the screen.
    if ((s.copy && LayerAccess::contentAnimated(s.model)) || (vector && (!upright || !mSetup.keepsVectors)) ||
        !mCache) {
        if (background) return false;
        afresh(s, vector, false);
        return true;
    }
    const ShapeLayer* shape = vector ? shapeOf(s.model) : nullptr;
    const Rect extent = LayerAccess::contentExtent(s.model);
    if (background) {
        const Rect b = roundedBoundsBox(s.model);
        if (!vector || shape || s.copy || b.minX() < extent.minX() || b.minY() < extent.minY() ||
            b.maxX() > extent.maxX() || b.maxY() > extent.maxY()) {
            return false;
        }
    }
    if (extent.isEmpty() || !isFinite(extent)) return true;
    detail::LayerCache& kept = LayerAccess::cache(s.model);
    const ContentRaster raster = contentRaster(s, extent, upright, background, shape);
    if (shape && marks(s, raster, kept)) return true;
    std::optional<Shows> shows = findKeptContent(raster, kept);
    if (!shows) shows = requestContent(s, raster, kept);
    if (!shows) {
        // Content whose raster cannot be made (larger than a bitmap may be,
        // or no memory) is drawn straight into the frame instead.
        afresh(s, vector, raster.under.has_value());
        return true;
    }
    Rect target = shows->rect;
    if (s.copy) {
        // Bounds that animate stretch the content drawn for the model's.
        const Rect shown = LayerAccess::contentExtent(*s.shown);
        if (shown != extent) target = target.movedWith(extent, shown);
    }
    emit(PlanImage{shows->image, shows->slot, target, false});
    return true;
}

// Content drawn straight into the frame, its background filled first when
// `under`. A delegate draws on the main thread, at replay; shapes, text and
// gradients, keeping to their extent by themselves, from a snapshot where
// the plan may be replayed on other threads.
void Planner::afresh(const Shown& s, bool vector, bool under) {
    const Layer& p = *s.shown;
    if (under) {
        emit(PlanFill{std::make_shared<const Path>(roundedBounds(p)), p.backgroundColor(), FillRule::nonZero, nullptr});
    }
    Layer* drawn = held(s.copy);
    if (!drawn && vector && (mRasters->onPool() || mSetup.inBands)) {
        drawn = held(s.model.presentationLayer(mSetup.time));
    }
    if (!drawn) drawn = &s.model;
    if (!vector) plan.mainThread = true;
    emit(PlanDraw{drawn, !vector, vector ? Rect{} : LayerAccess::contentExtent(p)});
}

// Whether a layer is a shape, asked of its type once: a layer's type never
// changes, and a chart has thousands of layers to ask each frame.
const ShapeLayer* Planner::shapeOf(const Layer& layer) {
    detail::LayerCache& kept = LayerAccess::cache(layer);
    if (!kept.typeAsked) {
        kept.shape = dynamic_cast<const ShapeLayer*>(&layer) != nullptr;
        kept.typeAsked = true;
    }
    return kept.shape ? static_cast<const ShapeLayer*>(&layer) : nullptr;
}

// Vector content is kept at the device's pixels, a drawn layer's backing at
// the contents scale (and stretched as the platform's is). Drawing that may
// run on any thread (text, mostly) is kept at the device's pixels too where
// they are the contents scale: a backing off the pixel grid would be
// resampled at every frame, and blurred.
Planner::ContentRaster Planner::contentRaster(const Shown& s, const Rect& extent, std::optional<double> upright,
                                              bool background, const ShapeLayer* shape) const {
    const Layer& p = *s.shown;
    const bool vector = LayerAccess::drawsFromProperties(s.model);
    const bool anyThread = LayerAccess::drawsOnAnyThread(s.model);
    const bool onGrid = vector || (upright && *upright == mSetup.scale && anyThread);
    const double scale = vector ? *upright : mSetup.scale;
    std::optional<KeptBackground> under;
    if (background) under = KeptBackground{p.backgroundColor(), p.bounds(), p.cornerRadius()};
    Digest digest;
    digest.add(extent);
    if (under) digest.add(under->color).add(under->bounds).add(under->cornerRadius);
    return ContentRaster{{s.model.identifier(), kRasterContent, 0},
                         extent,
                         onGrid ? deviceAligned(extent, mDevice) : snapped(extent, scale),
                         scale,
                         LayerAccess::contentVersion(s.model),
                         digest.value(),
                         under,
                         vector,
                         anyThread,
                         shape};
}

// A shape whose path is many copies of one small mark, drawn by placing
// stamps of the mark: true when it is, its content raster let go.
bool Planner::marks(const Shown& s, const ContentRaster& raster, detail::LayerCache& kept) {
    if (!kept.marks) kept.marks = std::make_shared<detail::MarkStamps>();
    std::shared_ptr<Layer> handed;
    const auto snapshot = [&] {
        handed = drawnByJob(s, true);
        return std::static_pointer_cast<const ShapeLayer>(handed);
    };
    std::optional<detail::MarkJobs> jobs;
    if (mRasters->onPool()) jobs.emplace([this](std::function<void()> job) { mRasters->run(std::move(job)); });
    auto placements = detail::planRepeatedMarks(*raster.shape, raster.extent, raster.version, kept.marks, mDevice,
                                                mAlpha, raster.scale, mSetup.tuning.fewestMarks,
                                                mSetup.tuning.largestMark, jobs ? &*jobs : nullptr, snapshot);
    if (!placements) return false;
    if (hadRaster(kept, kRasterContent)) mCache->erase(raster.key);
    emit(PlanMarks{kept.marks, std::move(*placements), held(std::move(handed))});
    return true;
}

// The raster kept of the content, or made this frame for the shadow of a
// layer above, that still shows it; none when one must be made (a stale
// one is let go).
std::optional<Planner::Shows> Planner::findKeptContent(const ContentRaster& raster, detail::LayerCache& kept) {
    // While the layer or one above it moves, the raster made before is
    // kept and stretched, though it no longer lands pixel on pixel: it
    // shows for a frame, and is made afresh once the motion ends.
    const auto stillShows = [&](const RasterEntry& entry) {
        return entry.version == raster.version && entry.source == raster.source &&
               (mMoving || (entry.scale == raster.scale && entry.rect == raster.box));
    };
    const RasterEntry* entry = hadRaster(kept, kRasterContent) ? mCache->find(raster.key, kept.contentRaster) : nullptr;
    if (entry && entry->image && stillShows(*entry)) return Shows{entry->image.get(), nullptr, entry->rect};
    // Made for a shadow's drawing: shown from its slot where the plan is
    // replayed once all jobs are done (in a whole, whose job may run beside
    // the shadow's, only when it was made on this thread).
    const Rasterizer::Requested* made = nullptr;
    for (const Rasterizer::Requested& asked : mRasters->madeForShadows()) {
        if (asked.key == raster.key && stillShows(asked.entry) && (!mInWhole || asked.madeHere)) made = &asked;
    }
    if (made) return Shows{nullptr, made->slot, made->entry.rect};
    if (entry) mCache->erase(raster.key);
    return std::nullopt;
}

// The content's raster, asked for: made by a job where the frame has them
// and the layer may be drawn on any thread, here otherwise. None when it
// cannot be made.
std::optional<Planner::Shows> Planner::requestContent(const Shown& s, const ContentRaster& raster,
                                                      detail::LayerCache& kept) {
    kept.kinds |= 1u << kRasterContent;  // so that its rasters go when it does
    kept.rememberCache(*mCache);
    LayerAccess::displayed(s.model);
    const RasterEntry entry{nullptr, raster.box, raster.scale, raster.version, raster.source};
    RasterSlot* slot = nullptr;
    if (mRasters->onPool() && raster.anyThread) {
        // On other threads, from a snapshot, while the walk goes on. A
        // shape that only strokes its path needs no copy of itself: its
        // path never changes once set, and the style goes along.
        const auto stroke = strokeAlone(raster.shape);
        RasterWork work{stroke ? nullptr : drawnByJob(s, raster.vector),
                        stroke ? raster.shape->sharedPath() : nullptr,
                        raster.box,
                        raster.scale,
                        raster.extent,
                        raster.under,
                        raster.vector,
                        stroke};
        slot = mRasters->request(std::move(work), raster.key, entry);
    } else {
        // Drawn before the request returns: from the layer itself, without
        // a share of it.
        const RasterWork work{std::shared_ptr<Layer>(std::shared_ptr<Layer>(), &s.model),
                              nullptr,
                              raster.box,
                              raster.scale,
                              raster.extent,
                              raster.under,
                              raster.vector,
                              std::nullopt};
        slot = mRasters->requestHere(work, raster.key, entry);
    }
    if (!slot) return std::nullopt;
    return shows(*slot, raster.box);
}

// What a job draws a layer's content from: the copy that shows it (when an
// animation places it) or a presentation copy, never a layer of the tree.
std::shared_ptr<Layer> Planner::drawnByJob(const Shown& s, bool vector) const {
    if (vector && s.copy) return s.copy;
    return s.model.presentationLayer(mSetup.time);
}

// A raster asked of the rasterizer, as the plan shows it: made at once, its
// image (its slot where none could be made, for what draws in its place);
// on the pool, its slot, read once the jobs are done.
Planner::Shows Planner::shows(RasterSlot& slot, const Rect& rect) const {
    if (!mRasters->onPool() && slot.shown) return Shows{slot.shown, nullptr, rect};
    return Shows{nullptr, &slot, rect};
}

void Planner::showRaster(RasterSlot& slot, const Rect& rect, bool lowQuality) {
    const Shows shown = shows(slot, rect);
    emit(PlanImage{shown.image, shown.slot, rect, lowQuality});
}

// The mask's raster at the context's resolution, and where it goes.
std::pair<std::shared_ptr<Image>, Rect> Planner::mask(Layer& mask) {
    const Shown m = show(mask, mSetup.time);
    const auto extent = drawnExtent(m, mSetup.time, true).rect();
    if (m.shown->isHidden() || !extent) return {transparentPixel(), Rect{0, 0, 1, 1}};
    const double deviceScale = std::sqrt(std::abs(mDevice.determinant()));
    const double scale = std::isfinite(deviceScale) && deviceScale > 0 ? deviceScale : mSetup.scale;
    Rect box = snapped(m.shown->transformToSuperlayer().applyToRect(*extent), scale);
    if (!pixelSize(box, scale)) {
        // Larger than a raster may be: the part over the pixels drawn is
        // made, as nothing of the group shows beyond the mask's raster.
        const auto onLayer = mDevice.inverted();
        if (mSetup.area && onLayer) {
            const Rect shows = grown(onLayer->applyToRect(*mSetup.area), 1 / scale);
            const double x0 = std::max(box.minX(), shows.minX()), y0 = std::max(box.minY(), shows.minY());
            const double x1 = std::min(box.maxX(), shows.maxX()), y1 = std::min(box.maxY(), shows.maxY());
            if (!(x1 > x0 && y1 > y0)) return {transparentPixel(), Rect{0, 0, 1, 1}};  // none of it shows
            box = snapped(Rect{x0, y0, x1 - x0, y1 - y0}, scale);
        }
    }
    // Planned apart, its parts made first, and made here: the group it ends
    // is drawn as soon as the jobs are done.
    const AffineTransform drawn = AffineTransform::scale(scale, scale).translated(-box.x, -box.y);
    const PlanSetup inner = nested(false);
    Planner sub(drawn, 1, inner, mCache, mRasters);
    Rasterizer::Parts parts = mRasters->partsOf(false, [&] { sub.layer(mask); });
    const auto make = [&] { return rasterize(box, scale, [&](Context& context) { replayPlan(sub.plan, context); }); };
    const RasterSlot& slot = mRasters->makeHere(std::move(parts), make, kKeptNowhere, {});
    // Still none (no memory, or drawn apart from the screen): the layer
    // shows unmasked rather than not at all.
    if (!slot.image) return {nullptr, Rect{}};
    return {slot.image, box};
}

}  // namespace

FramePlan planFrame(Layer& root, const AffineTransform& device, double alpha, const PlanSetup& setup,
                    RasterCache* cache, Rasterizer* rasters) {
    // Without jobs, each raster is made as the walk asks for it.
    std::optional<Rasterizer> atOnce;
    if (!rasters) rasters = &atOnce.emplace(Rasterizer::AtOnce{setup.keepsRasters ? cache : nullptr});
    Planner planner(device, alpha, setup, cache, rasters);
    // The last frame's items, written over.
    if (setup.storage) {
        planner.plan.items = std::move(setup.storage->items);
        planner.plan.items.reserve(setup.storage->lastItems);
        planner.plan.held = std::move(setup.storage->held);
    }
    if (setup.area && rasters->onPool()) planner.plan.bandLoads.assign(setup.bands.size(), 0);
    planner.layer(root);
    planner.plan.slots = rasters->slots();
    auto& items = planner.plan.items;
    items.erase(items.begin() + static_cast<std::ptrdiff_t>(planner.emitted), items.end());
    return std::move(planner.plan);
}

FramePlan planFrame(Layer& root, const Context& placed, const PlanSetup& setup, RasterCache* cache,
                    Rasterizer* rasters) {
    return planFrame(root, placed.transform(), placed.alpha(), setup, cache, rasters);
}

}  // namespace platform::ui
