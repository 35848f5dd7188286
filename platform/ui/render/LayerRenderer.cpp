#include "platform/ui/render/LayerRenderer.h"

#include "platform/dispatch/DispatchQueue.h"
#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/Context.h"
#include "platform/graphics/Shadow.h"
#include "platform/ui/core/Layer.h"
#include "platform/ui/core/ShapeLayer.h"
#include "platform/ui/core/detail/AnimationRun.h"
#include "platform/ui/render/detail/LayerCache.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <span>
#include <utility>

namespace platform::ui {

namespace {

using detail::LayerAccess;

// The pixels of a raster of `box` (points of the current layer, whole
// pixels at `scale`), wide and high; none when it would be empty or too
// large.
struct PixelSize {
    int width;
    int height;
    double pixels() const { return static_cast<double>(width) * height; }
};
std::optional<PixelSize> pixelSize(const Rect& box, double scale) {
    const double width = std::round(box.width * scale);
    const double height = std::round(box.height * scale);
    if (!(width >= 1 && height >= 1 && width <= 1e6 && height <= 1e6)) return std::nullopt;
    return PixelSize{static_cast<int>(width), static_cast<int>(height)};
}

// Rasters that the first walk of a frame drawn in bands leaves to draw side
// by side: other threads draw them while the walk goes on.
struct RasterJobs {
    RasterJobs() = default;
    RasterJobs(const RasterJobs&) = delete;
    RasterJobs& operator=(const RasterJobs&) = delete;

    using Job = std::function<void()>;
    // A kept whole, put together from its parts' rasters once they are
    // made, by the thread that makes them. The largest are started first,
    // so that none is left to hold up the end.
    struct Whole {
        double pixels;
        std::vector<Job> parts;
        std::function<void()> make;
    };
    std::vector<Whole> wholes;
    // Small rasters of content drawn from properties, by scale, are drawn
    // in batches into one bitmap, whose pixels they share: making and
    // clearing a bitmap costs more than a small raster's pixels, and calls
    // on several threads at once queue for the drawing library's shared
    // free lists. Shapes that stroke their whole path and fill nothing are
    // batched by stroke style, and drawn as one path.
    struct Stacked {
        Layer* model;
        detail::LayerCache* cache;
        Rect box;  // points of the layer
        PixelSize size;
        std::optional<detail::KeptBackground> under;
    };
    // A batch is drawn as soon as it is full: a few dozen rasters, in a
    // bitmap no taller than a few thousand rows.
    struct Batch {
        const ShapeLayer* style;  // the strokes' style; none for content of any kind
        double scale;
        std::vector<Stacked> items;
        int rows = 0;
    };
    std::vector<Batch> batches;
    void batch(const Stacked& item, const ShapeLayer* style, double scale);
    void draw(Batch& batch);
    // Within a whole, the walk leaves jobs with its parts, drawn after it.
    std::vector<Job>* parts = nullptr;
    void add(Job job) {
        if (parts) {
            parts->push_back(std::move(job));
        } else {
            sideBySide.add(std::move(job));
        }
    }
    // Hands small jobs to `add`.
    const detail::MarkJobs toSideBySide = [this](Job job) { add(std::move(job)); };
    // Last: gone first, waiting for the jobs that use the rest.
    ConcurrentFeed sideBySide;
};

bool isFinite(const Rect& r) {
    return std::isfinite(r.x) && std::isfinite(r.y) && std::isfinite(r.width) && std::isfinite(r.height);
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

struct Frame {
    Frame(Context& into, double at, double pixelsPerPoint, bool keeps = true)
        : context(into), time(at), scale(pixelsPerPoint), keepsVectors(keeps) {}

    Context& context;
    double time;
    double scale;
    // False for offscreen drawing (shadows, masks): vector content is then
    // drawn directly, so that its kept raster stays the screen's.
    bool keepsVectors = true;
    // Under a layer that an animation moves, scales or resizes.
    bool moving = false;
    // False when drawing apart from the screen: nothing kept is made or
    // replaced (see RenderOptions).
    bool keepsRasters = true;
    // A frame drawn in bands is walked first on its own, drawing nowhere,
    // to make what it shows: what is made or found current is marked with
    // `serial`, and content drawn from properties alone (the toolkit's
    // shapes, text and gradients, and views that say so) is left in
    // `jobs`. Then every band walks it at once, `readOnly`: it draws what
    // is marked and makes or changes nothing. Zero for a frame in one
    // piece.
    std::uint64_t serial = 0;
    RasterJobs* jobs = nullptr;
    bool readOnly = false;
    // The first walk: what it would draw lands nowhere, so it is not drawn.
    bool drawsNowhere() const { return jobs != nullptr && !readOnly; }
    // Set by the first walk when a band would have to run a delegate's
    // drawing itself: delegates draw on the main thread only.
    bool* unbandable = nullptr;
    // Within a layer whose whole is queued: layers below draw in parts.
    bool inWhole = false;
    // The device pixels drawn on, when known: layers wholly outside are
    // passed over.
    std::optional<Rect> area;
    // A band's pixels as the first walk's device space (the whole
    // bitmap's) has them, and its place among the bands.
    std::optional<Rect> bandArea;
    std::size_t band = 0;
    // For the first walk: every band's pixels, in order, and how many
    // sublayers each was found to draw, where they are counted.
    std::span<const Rect> bands;
    std::vector<std::size_t>* bandLoads = nullptr;
    // While the first walk composites a layer: where its sublayers draw.
    Extent* sublayerAreas = nullptr;

    // A frame for drawing offscreen within this one.
    Frame inner(Context& into, bool keeps) const {
        Frame f(into, time, scale, keeps);
        f.keepsRasters = keepsRasters;
        f.serial = serial;
        f.readOnly = readOnly;
        f.unbandable = unbandable;
        return f;
    }
};

// Sublayers draw in this order: by zPosition, ties in list order.
constexpr auto kBelowInZ = [](const auto& a, const auto& b) { return a->zPosition() < b->zPosition(); };

// The layer's cache; none when a band finds none (it makes nothing).
detail::LayerCache* cacheOf(const Layer& layer, const Frame& frame) {
    return frame.readOnly ? LayerAccess::existingCache(layer) : &LayerAccess::cache(layer);
}

// A layer as this frame shows it: the model (which owns the tree and the
// kept rasters) and its presentation (itself when nothing animates it).
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

void renderLayer(Layer& layer, Frame& frame);
void composite(const Shown& s, Frame& frame, double opacity, bool withShadow);

std::shared_ptr<Image> transparentPixel() {
    static const std::shared_ptr<Image> pixel = BitmapContext::create(1, 1)->makeImage();
    return pixel;
}

// Draws into a new raster of `box`; null when it would be empty or too
// large.
template <typename Draw>
std::shared_ptr<Image> rasterize(const Rect& box, double scale, Draw&& draw) {
    const auto size = pixelSize(box, scale);
    if (!size) return nullptr;
    auto bitmap = BitmapContext::create(size->width, size->height, scale);
    if (!bitmap) return nullptr;
    bitmap->translate(-box.x, -box.y);
    draw(*bitmap);
    return BitmapContext::takeImage(std::move(bitmap));
}

// A layer's kept content: its background when asked, then its drawing.
void drawKept(Layer& model, Context& bitmap, const Rect& extent, const std::optional<detail::KeptBackground>& under,
              bool vector);

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

// The deviation, in pixels of the raster it is made in, beyond which a
// shadow is made at a lower resolution.
constexpr double kWideShadowPixels = 16;

void makeShadow(const Shown& s, Frame& frame, detail::LayerCache& cache);

void drawShadow(const Shown& s, Frame& frame) {
    const Layer& p = *s.shown;
    // Drawn apart from the screen, the shadow is made for this drawing only.
    std::optional<detail::LayerCache> scratch;
    detail::LayerCache* kept = frame.keepsRasters ? cacheOf(s.model, frame) : &scratch.emplace();
    if (!kept) return;
    detail::LayerCache& cache = *kept;
    if (!frame.readOnly) {
        makeShadow(s, frame, cache);
        cache.shadowFrame = frame.serial;
    }
    if (!cache.shadow || cache.shadowFrame != frame.serial || frame.drawsNowhere()) return;
    Rect placed = cache.shadowRect;
    placed.x += p.shadowOffset().width;
    placed.y += p.shadowOffset().height;
    // A blur looks the same however it is resampled.
    frame.context.save();
    frame.context.setInterpolationQuality(InterpolationQuality::low);
    frame.context.drawImage(*cache.shadow, placed);
    frame.context.restore();
}

// Makes the shadow again unless what it was made from is unchanged.
void makeShadow(const Shown& s, Frame& frame, detail::LayerCache& cache) {
    const Layer& p = *s.shown;
    Color color = p.shadowColor();
    color.alpha = unit(color.alpha) * unit(p.shadowOpacity());
    const double radius = std::max(0.0, p.shadowRadius());
    bool fresh =
        cache.shadow && cache.shadowScale == frame.scale && cache.shadowRadius == radius && cache.shadowColor == color;
    if (p.shadowPath()) {
        fresh = fresh && cache.shadowSourcePath == p.shadowPath();
    } else {
        fresh = fresh && !cache.shadowSourcePath && cache.shadowTreeVersion == LayerAccess::treeVersion(s.model) &&
                !compositeAnimated(s.model, true);
    }
    if (!fresh) {
        // A wide blur hides detail finer than itself: the shadow is taken at
        // the resolution that makes its deviation kWideShadowPixels and
        // stretched to its place.
        const double scale = radius * frame.scale > kWideShadowPixels ? kWideShadowPixels / radius : frame.scale;
        const Rect box = snapped(shadowSourceExtent(s, frame.time), scale);
        const auto image = rasterize(box, scale, [&](Context& context) {
            // Blurred anyway: images in it need no careful resampling.
            context.setInterpolationQuality(InterpolationQuality::low);
            if (p.shadowPath()) {
                context.setFillColor({0, 0, 0, 1});
                context.fillPath(*p.shadowPath());
            } else {
                Frame inner = frame.inner(context, false);
                composite(s, inner, 1, false);
            }
        });
        cache.shadow.reset();
        if (!image) return;
        const ShadowImage shadow = makeShadowImage(*image, radius * scale, color);
        if (!shadow.image) return;
        const double margin = shadow.margin / scale;
        cache.shadow = shadow.image;
        cache.shadowRect = grown(box, margin);
        // A shadow remade every frame is not kept long enough to repay a
        // copy at the device's pixels.
        const bool remadeEachFrame = !p.shadowPath() && compositeAnimated(s.model, true);
        if (scale < frame.scale && !remadeEachFrame) {
            // Kept at the device's pixels, so that a frame that reuses it
            // copies it rather than stretching it again.
            const Rect placed = snapped(cache.shadowRect, frame.scale);
            auto sharp = rasterize(placed, frame.scale,
                                   [&](Context& context) { context.drawImage(*shadow.image, cache.shadowRect); });
            if (sharp) {
                cache.shadow = std::move(sharp);
                cache.shadowRect = placed;
            }
        }
        cache.shadowScale = frame.scale;
        cache.shadowRadius = radius;
        cache.shadowColor = color;
        cache.shadowSourcePath = p.shadowPath();
        cache.shadowTreeVersion = LayerAccess::treeVersion(s.model);
    }
}

// Rasters of this many device pixels or more are drawn in rows apart, side
// by side: one alone would hold up the end of a frame's rasters.
constexpr double kRowsApart = 256 * 1024;

// Rasters of this many device pixels at most are drawn in batches.
constexpr double kLargestBatched = 64 * 64;

// Whether a shape's raster is drawn in a batch of strokes: stroking its
// whole path without dashes, filling nothing.
bool strokesAlone(const ShapeLayer& shape) {
    return shape.fillsNothing() && shape.strokeColor().alpha > 0 && shape.lineWidth() > 0 &&
           std::isfinite(shape.lineWidth()) && shape.lineDashPattern().empty() && shape.strokeStart() == 0 &&
           shape.strokeEnd() >= 1;
}

bool sameStroke(const ShapeLayer& a, const ShapeLayer& b) {
    return a.strokeColor() == b.strokeColor() && a.lineWidth() == b.lineWidth() && a.lineCap() == b.lineCap() &&
           a.lineJoin() == b.lineJoin() && (a.lineJoin() != LineJoin::miter || a.miterLimit() == b.miterLimit());
}

void RasterJobs::batch(const Stacked& item, const ShapeLayer* style, double scale) {
    constexpr std::size_t kItemsPerJob = 64;
    constexpr int kMostRows = 4096;
    // Among the last few batches only: rasters of one kind come together.
    constexpr std::size_t kBatchesLookedAt = 8;
    Batch* into = nullptr;
    for (std::size_t i = batches.size(); i > 0 && i + kBatchesLookedAt > batches.size(); --i) {
        Batch& batch = batches[i - 1];
        if (batch.scale == scale && (style ? batch.style && sameStroke(*batch.style, *style) : !batch.style)) {
            into = &batch;
            break;
        }
    }
    if (!into) into = &batches.emplace_back(Batch{style, scale, {}});
    if (!into->items.empty() && into->rows + item.size.height > kMostRows) draw(*into);
    into->items.push_back(item);
    into->rows += item.size.height + 1;
    if (into->items.size() == kItemsPerJob) draw(*into);
}

// Moves `bitmap`'s origin so that `item`'s layer draws into the rows from
// `top`, its raster's box at the left edge.
void placeItem(Context& bitmap, const RasterJobs::Stacked& item, int top, double scale) {
    bitmap.translate(-item.box.x, top / scale - item.box.y);
}

// Draws the rasters of a batch into one bitmap, one below the other a
// pixel apart, and gives each its part: strokes of one `style` as one
// path, the rest one by one, each from a state as fresh as its own
// bitmap's. Each is placed on whole pixels and has rows of its own: the
// drawing library samples the edges of a row more finely when no other
// shape's edges meet it, so each part holds the pixels its own raster
// would (backgrounds filled as one path came out a few steps off along
// their edges). When the bitmap cannot be made, each is drawn into one of
// its own.
void drawStacked(std::span<const RasterJobs::Stacked> items, const ShapeLayer* style, double scale) {
    int width = 0;
    std::vector<int> top;
    top.reserve(items.size());
    int height = 0;
    for (const RasterJobs::Stacked& item : items) {
        width = std::max(width, item.size.width);
        top.push_back(height);
        height += item.size.height + 1;
    }
    auto bitmap = BitmapContext::create(width, height - 1, scale);
    if (!bitmap) {
        if (items.size() > 1) {
            for (std::size_t i = 0; i < items.size(); ++i) drawStacked(items.subspan(i, 1), style, scale);
        }
        return;
    }
    if (style) {
        bitmap->setStrokeColor(style->strokeColor());
        bitmap->setLineWidth(style->lineWidth());
        bitmap->setLineCap(style->lineCap());
        bitmap->setLineJoin(style->lineJoin());
        bitmap->setMiterLimit(style->miterLimit());
        bitmap->beginPath();
        for (std::size_t i = 0; i < items.size(); ++i) {
            bitmap->save();
            placeItem(*bitmap, items[i], top[i], scale);
            bitmap->addPath(static_cast<const ShapeLayer&>(*items[i].model).path());
            bitmap->restore();
        }
        bitmap->stroke();
    } else {
        for (std::size_t i = 0; i < items.size(); ++i) {
            bitmap->save();
            placeItem(*bitmap, items[i], top[i], scale);
            drawKept(*items[i].model, *bitmap, {}, items[i].under, true);
            bitmap->restore();
        }
    }
    const auto image = BitmapContext::takeImage(std::move(bitmap));
    if (!image) return;
    for (std::size_t i = 0; i < items.size(); ++i) {
        items[i].cache->raster = image->cropped(0, top[i], items[i].size.width, items[i].size.height);
    }
}

// Hands the batch's rasters to a job and empties it.
void RasterJobs::draw(Batch& batch) {
    sideBySide.add([items = std::move(batch.items), style = batch.style, scale = batch.scale] {
        drawStacked(items, style, scale);
    });
    batch.items.clear();
    batch.rows = 0;
}

// Queues the drawing of `model`'s kept raster (drawn on any thread) in
// rows, one job for each kRowsApart / 4 pixels, up to 8: the job
// that ends last keeps the raster. Fixed by the size alone, so that the
// raster comes out the same everywhere.
void queueInRows(RasterJobs& jobs, Layer& model, detail::LayerCache& cache, const Rect& box, double scale,
                 const Rect& extent, const std::optional<detail::KeptBackground>& under, bool vector) {
    const auto size = pixelSize(box, scale);
    if (!size) return;
    struct Rows {
        std::unique_ptr<BitmapContext> bitmap;
        std::atomic<int> left{0};
    };
    auto rows = std::make_shared<Rows>();
    rows->bitmap = BitmapContext::createForBands(size->width, size->height, scale);
    if (!rows->bitmap) return;
    rows->bitmap->translate(-box.x, -box.y);
    const int pieces = static_cast<int>(std::clamp(std::floor(size->pixels() / (kRowsApart / 4)), 1.0, 8.0));
    const int pixelRows = size->height;
    std::vector<std::unique_ptr<BitmapContext>> parts;
    for (int i = 0; i < pieces; ++i) {
        parts.push_back(rows->bitmap->band(pixelRows * i / pieces, pixelRows * (i + 1) / pieces));
        if (!parts.back()) return;
    }
    rows->left = pieces;
    for (auto& part : parts) {
        jobs.add([rows, part = std::shared_ptr<BitmapContext>(std::move(part)), &model, &cache, extent, under,
                  vector]() mutable {
            drawKept(model, *part, extent, under, vector);
            part.reset();
            if (rows->left.fetch_sub(1, std::memory_order_acq_rel) == 1) {
                cache.raster = BitmapContext::takeImage(std::move(rows->bitmap));
            }
        });
    }
}

// The layer's drawn content; with `background`, its background too, drawn
// into the same kept raster (the same pixels, as drawing over is
// associative) where the content is kept at the device's pixels and covers
// the bounds. Returns false, having drawn nothing, when it cannot take the
// background.
bool drawContent(const Shown& s, Frame& frame, bool background = false) {
    Context& context = frame.context;
    Layer& p = *s.shown;
    const bool vector = LayerAccess::drawsFromProperties(s.model);
    const std::optional<double> upright = uprightScale(context.transform());
    // Drawn afresh from what shows: content that changes with time, vector
    // content that would not land pixel on pixel, and anything drawn apart
    // from the screen.
    if ((s.copy && LayerAccess::contentAnimated(s.model)) || (vector && (!upright || !frame.keepsVectors)) ||
        !frame.keepsRasters) {
        if (background) return false;
        if (!vector && frame.unbandable) *frame.unbandable = true;
        // Shapes, text and gradients keep to their extent by themselves.
        context.save();
        if (!vector) context.clipToRect(LayerAccess::contentExtent(p));
        p.drawInContext(context);
        context.restore();
        return true;
    }
    const auto* shape = vector ? dynamic_cast<const ShapeLayer*>(&s.model) : nullptr;
    const Rect extent = LayerAccess::contentExtent(s.model);
    if (background) {
        const Rect b = roundedBoundsBox(s.model);
        if (!vector || shape || s.copy || b.minX() < extent.minX() || b.minY() < extent.minY() ||
            b.maxX() > extent.maxX() || b.maxY() > extent.maxY()) {
            return false;
        }
    }
    detail::LayerCache* kept = cacheOf(s.model, frame);
    if (!kept) return true;
    detail::LayerCache& cache = *kept;
    if (extent.isEmpty() || !isFinite(extent)) return true;
    // Vector content is kept at the device's pixels, a drawn layer's
    // backing at the contents scale (and stretched as the platform's is).
    // Drawing that may run on any thread (text, mostly) is kept at the
    // device's pixels too where they are the contents scale: a backing off
    // the pixel grid would be resampled at every frame, and blurred.
    const bool onGrid = vector || (upright && *upright == frame.scale && LayerAccess::drawsOnAnyThread(s.model));
    const double scale = vector ? *upright : frame.scale;
    const Rect box = onGrid ? deviceAligned(extent, context.transform()) : snapped(extent, scale);
    const std::uint64_t version = LayerAccess::contentVersion(s.model);
    if (shape && detail::drawRepeatedMarks(*shape, extent, version, cache.marks, context, *upright, !frame.readOnly,
                                           frame.jobs ? &frame.jobs->toSideBySide : nullptr)) {
        if (!frame.readOnly) cache.raster.reset();
        return true;
    }
    std::optional<detail::KeptBackground> under;
    if (background) under = detail::KeptBackground{p.backgroundColor(), p.bounds(), p.cornerRadius()};
    // While the layer or one above it moves, the raster made before is
    // kept and stretched, though it no longer lands pixel on pixel: it
    // shows for a frame, and is made afresh once the motion ends.
    const bool stale =
        cache.rasterExtent != extent || (!frame.moving && (cache.rasterScale != scale || cache.rasterRect != box));
    if (!frame.readOnly &&
        (!cache.raster || cache.rasterVersion != version || stale || cache.rasterBackground != under)) {
        if (frame.jobs && LayerAccess::drawsOnAnyThread(s.model)) {
            // On other threads, while the walk goes on; such drawing reads
            // only its layer's or view's state, so a large raster of it is
            // drawn by several threads at once.
            cache.raster.reset();
            const double pixels = box.width * box.height * scale * scale;
            const auto size = pixelSize(box, scale);
            if (vector && size && !frame.jobs->parts && size->pixels() <= kLargestBatched) {
                frame.jobs->batch({&s.model, &cache, box, *size, under},
                                  shape && strokesAlone(*shape) ? shape : nullptr, scale);
            } else if (pixels >= kRowsApart) {
                queueInRows(*frame.jobs, s.model, cache, box, scale, extent, under, vector);
            } else {
                frame.jobs->add([&model = s.model, &cache, box, scale, extent, under, vector] {
                    cache.raster =
                        rasterize(box, scale, [&](Context& bitmap) { drawKept(model, bitmap, extent, under, vector); });
                });
            }
        } else {
            cache.raster =
                rasterize(box, scale, [&](Context& bitmap) { drawKept(s.model, bitmap, extent, under, vector); });
        }
        LayerAccess::displayed(s.model);
        cache.rasterRect = box;
        cache.rasterExtent = extent;
        cache.rasterScale = scale;
        cache.rasterVersion = version;
        cache.rasterBackground = under;
    }
    if (!frame.readOnly) cache.rasterFrame = frame.serial;
    // The raster may be in the making on another thread.
    if (frame.drawsNowhere()) return true;
    if (!cache.raster || cache.rasterFrame != frame.serial) return true;
    Rect target = cache.rasterRect;
    if (s.copy) {
        // Bounds that animate stretch the content drawn for the model's.
        const Rect shown = LayerAccess::contentExtent(p);
        if (shown != extent && extent.width != 0 && extent.height != 0) {
            const double sx = shown.width / extent.width;
            const double sy = shown.height / extent.height;
            target = {shown.x + (target.x - extent.x) * sx, shown.y + (target.y - extent.y) * sy, target.width * sx,
                      target.height * sy};
        }
    }
    context.drawImage(*cache.raster, target);
    return true;
}

void drawKept(Layer& model, Context& bitmap, const Rect& extent, const std::optional<detail::KeptBackground>& under,
              bool vector) {
    if (under) {
        bitmap.setFillColor(under->color);
        bitmap.fillPath(roundedBounds(model));
    }
    // Shapes, text and gradients keep to their extent by themselves; a clip
    // off the pixel grid would only slow them down.
    if (!vector) bitmap.clipToRect(extent);
    model.drawInContext(bitmap);
}

void drawBorder(const Layer& p, Context& context) {
    const double width = p.borderWidth();
    if (!(width > 0) || !(p.borderColor().alpha > 0)) return;
    const Rect outer = p.bounds();
    Path path;
    path.addRoundedRect(outer, std::max(0.0, p.cornerRadius()));
    const Rect inner{outer.minX() + width, outer.minY() + width, std::abs(outer.width) - 2 * width,
                     std::abs(outer.height) - 2 * width};
    if (inner.width > 0 && inner.height > 0) path.addRoundedRect(inner, std::max(0.0, p.cornerRadius() - width));
    context.setFillColor(p.borderColor());
    context.fillPath(path, FillRule::evenOdd);
}

// The mask's raster at the context's resolution, and where it goes.
std::pair<std::shared_ptr<Image>, Rect> renderMask(Layer& mask, Frame& frame) {
    const Shown m = show(mask, frame.time);
    const auto extent = drawnExtent(m, frame.time, true).rect();
    if (m.shown->isHidden() || !extent) return {transparentPixel(), Rect{0, 0, 1, 1}};
    const double deviceScale = std::sqrt(std::abs(frame.context.transform().determinant()));
    const double scale = std::isfinite(deviceScale) && deviceScale > 0 ? deviceScale : frame.scale;
    const Rect box = snapped(m.shown->transformToSuperlayer().applyToRect(*extent), scale);
    auto image = rasterize(box, scale, [&](Context& context) {
        Frame inner = frame.inner(context, false);
        renderLayer(mask, inner);
    });
    if (!image) return {transparentPixel(), Rect{0, 0, 1, 1}};
    return {std::move(image), box};
}

// A layer that draws nothing and holds nothing, now or while animating
// (an empty content view), is no part that overlaps another.
bool showsNothing(const Layer& layer) {
    return LayerAccess::sublayers(layer).empty() && !layer.hasAnimations() && !layer.mask() && !hasShadow(layer) &&
           !(layer.backgroundColor().alpha > 0) && !(layer.borderWidth() > 0) && !layer.contents() &&
           !LayerAccess::drawsContent(layer);
}

// Everything of a layer but its shadow: background, contents, drawn
// content, sublayers (clipped when it masks to its bounds) and border.
void drawBody(const Shown& s, Frame& frame) {
    Context& context = frame.context;
    const Layer& p = *s.shown;
    const bool background = p.backgroundColor().alpha > 0;
    const bool border = p.borderWidth() > 0 && p.borderColor().alpha > 0;
    const bool drawn = LayerAccess::drawsContent(s.model);
    const bool clips = p.masksToBounds();
    // Nothing comes between a background and drawn content unless the
    // layer has contents or clips.
    const bool baked = background && drawn && !s.copy && !p.contents() && !clips && drawContent(s, frame, true);
    const bool paints = !frame.drawsNowhere();
    if (background && !baked && paints) {
        context.setFillColor(p.backgroundColor());
        context.fillPath(roundedBounds(p));
    }
    const bool clipped = clips && paints && (p.contents() || drawn || !LayerAccess::sublayers(s.model).empty());
    if (clipped) {
        context.save();
        context.clipToPath(roundedBounds(p));
    }
    // Images stretched by a running animation are sampled quickly: they
    // show for a frame.
    if (s.copy) context.setInterpolationQuality(InterpolationQuality::low);
    if (p.contents() && paints)
        context.drawImage(*p.contents(), placeContents(p.contents()->size(), p.bounds(), p.contentsGravity()));
    if (drawn && !baked) drawContent(s, frame);
    const auto& sublayers = LayerAccess::sublayers(s.model);
    const detail::LayerCache* kept = frame.bandArea ? LayerAccess::existingCache(s.model) : nullptr;
    if (kept && kept->areaFrame == frame.serial && !kept->bandSublayers.empty()) {
        for (const std::uint32_t i : kept->bandSublayers[frame.band]) renderLayer(*sublayers[i], frame);
    } else if (std::is_sorted(sublayers.begin(), sublayers.end(), kBelowInZ)) {
        for (const auto& sublayer : sublayers) renderLayer(*sublayer, frame);
    } else {
        std::vector<Layer*> order;
        order.reserve(sublayers.size());
        for (const auto& sublayer : sublayers) order.push_back(sublayer.get());
        std::stable_sort(order.begin(), order.end(), kBelowInZ);
        for (Layer* sublayer : order) renderLayer(*sublayer, frame);
    }
    if (clipped) context.restore();
    if (border && paints) drawBorder(p, context);
}

// Whether a layer below has a mask: a mask has no superlayer, so its
// changes do not reach the tree's version.
bool masksBelow(const Layer& layer) {
    for (const auto& sublayer : LayerAccess::sublayers(layer)) {
        if (sublayer->mask() || masksBelow(*sublayer)) return true;
    }
    return false;
}

// A layer that clips to rounded corners costs the drawing library a mask
// as tall as the layer for each thing drawn inside it, every frame: while
// nothing in it changes, its body is kept as one raster at the device's
// pixels, when upright and not large. False when it is not (yet): the
// caller draws the parts.
bool drawKeptWhole(const Shown& s, Frame& frame) {
    constexpr double kLargestKept = 512 * 512;  // device pixels
    const Layer& p = *s.shown;
    if (!frame.keepsVectors || !frame.keepsRasters || s.copy || !p.masksToBounds() || !(p.cornerRadius() > 0) ||
        LayerAccess::sublayers(s.model).empty() || compositeAnimated(s.model, false) || masksBelow(s.model)) {
        return false;
    }
    const std::optional<double> upright = uprightScale(frame.context.transform());
    if (!upright) return false;
    const Rect bounds = roundedBoundsBox(p);
    if (bounds.isEmpty() || !isFinite(bounds)) return false;
    const Rect box = deviceAligned(bounds, frame.context.transform());
    if (!(box.width * box.height * *upright * *upright <= kLargestKept)) return false;
    if (frame.readOnly) {
        const detail::LayerCache* kept = LayerAccess::existingCache(s.model);
        if (!kept || !kept->whole || kept->wholeFrame != frame.serial) return false;
        frame.context.drawImage(*kept->whole, kept->wholeRect);
        return true;
    }
    detail::LayerCache& cache = LayerAccess::cache(s.model);
    const std::uint64_t version = LayerAccess::treeVersion(s.model);
    if (!cache.whole || cache.wholeVersion != version || cache.wholeScale != *upright || cache.wholeRect != box ||
        cache.wholeContentsScale != frame.scale) {
        // Made once the layer shows unchanged a second time: a layer
        // drawn once, or changed every frame, would pay for the raster
        // on top of its parts.
        const bool settled = cache.wholeVersion == version && cache.wholeScale == *upright && cache.wholeRect == box &&
                             cache.wholeContentsScale == frame.scale;
        cache.wholeRect = box;
        cache.wholeScale = *upright;
        cache.wholeContentsScale = frame.scale;
        cache.wholeVersion = version;
        cache.whole.reset();
        if (frame.jobs && !frame.inWhole) {
            // Drawn in bands: the parts are made (or queued) now, and the
            // whole is put together from them beside the other rasters:
            // bands would each pay for the rounded clip.
            RasterJobs& jobs = *frame.jobs;
            RasterJobs::Whole whole{box.width * box.height * *upright * *upright, {}, {}};
            jobs.parts = &whole.parts;
            frame.inWhole = true;
            drawBody(s, frame);
            frame.inWhole = false;
            jobs.parts = nullptr;
            whole.make = [&model = s.model, &cache, box, scale = *upright, time = frame.time,
                          contentsScale = frame.scale, serial = frame.serial] {
                cache.whole = rasterize(box, scale, [&](Context& bitmap) {
                    Frame inner(bitmap, time, contentsScale);
                    inner.serial = serial;
                    inner.readOnly = true;
                    drawBody(Shown{model, nullptr, &model}, inner);
                });
            };
            jobs.wholes.push_back(std::move(whole));
            cache.wholeFrame = frame.serial;
            return true;
        }
        if (!settled) return false;
        cache.whole = rasterize(box, *upright, [&](Context& bitmap) {
            // The bitmap lies on the screen's pixel grid, so what is kept
            // below serves it as it serves the screen, and clips cut the
            // same rasters they cut there.
            Frame inner = frame.inner(bitmap, true);
            drawBody(s, inner);
        });
    }
    // Without it (out of memory), the parts are drawn.
    if (!cache.whole) return false;
    cache.wholeFrame = frame.serial;
    frame.context.drawImage(*cache.whole, cache.wholeRect);
    return true;
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

// Draws the layer, its transform applied; the caller saves and restores
// the context's state around it.
void composite(const Shown& s, Frame& frame, double opacity, bool withShadow) {
    Context& context = frame.context;
    const Layer& p = *s.shown;
    const bool shadow = withShadow && hasShadow(p);
    const bool masked = s.model.mask() != nullptr;
    // Parts that overlap fade as one, through a group; one part alone
    // takes the alpha directly.
    const double alpha = context.alpha() * opacity;
    const bool group = masked || (alpha < 1 && showsSeveralParts(s, shadow));
    context.setAlpha(alpha);
    if (group) {
        const auto extent = drawnExtent(s, frame.time, shadow).rect();
        if (!extent) return;
        context.clipToRect(grown(*extent, 1));
        context.beginTransparencyLayer();
    }

    if (shadow) drawShadow(s, frame);
    if (!(alpha >= 1 && !masked && drawKeptWhole(s, frame))) drawBody(s, frame);

    if (group) {
        if (masked) {
            const auto [image, rect] = renderMask(*s.model.mask(), frame);
            context.endTransparencyLayer(*image, rect);
        } else {
            context.endTransparencyLayer();
        }
    }
}

bool overlaps(const Rect& a, const Rect& b) {
    return a.maxX() > b.minX() && a.minX() < b.maxX() && a.maxY() > b.minY() && a.minY() < b.maxY();
}

// Whether a layer lands wholly outside the pixels drawn on (a band draws a
// few rows of a frame of thousands of layers): a band asks where the first
// walk found the layer and its sublayers drawing; otherwise only layers
// without sublayers, shadow or mask are looked at.
// Where such a layer draws, in device pixels, is left in `drawn` (nothing
// when it draws nothing).
bool outsideArea(const Shown& s, const Frame& frame, std::optional<Extent>& drawn) {
    if (!frame.area) return false;
    if (frame.bandArea) {
        const detail::LayerCache* kept = LayerAccess::existingCache(s.model);
        if (kept && kept->areaFrame == frame.serial) return !overlaps(kept->area, *frame.bandArea);
    }
    if (!LayerAccess::sublayers(s.model).empty() || s.model.mask() || hasShadow(*s.shown)) return false;
    const auto extent = ownExtent(s, frame.time, false).rect();
    drawn.emplace();
    if (!extent) return true;
    const AffineTransform device = AffineTransform::concat(s.shown->transformToSuperlayer(), frame.context.transform());
    const Rect onDevice = device.applyToRect(*extent);
    drawn->add(onDevice);
    return !overlaps(onDevice, *frame.area);
}

// For a layer with many sublayers (a chart's points, a long list), the
// first walk notes which of them each band draws: those whose noted area
// it overlaps, as `outsideArea` would find. Sublayers the walk passed over
// (hidden, clear, off the bitmap) no band draws either.
void noteBandSublayers(const Layer& layer, const Frame& frame, detail::LayerCache& cache) {
    constexpr std::size_t kManySublayers = 64;
    const auto& sublayers = LayerAccess::sublayers(layer);
    if (frame.bands.empty() || sublayers.size() < kManySublayers || sublayers.size() > UINT32_MAX ||
        !std::is_sorted(sublayers.begin(), sublayers.end(), kBelowInZ)) {
        cache.bandSublayers.clear();
        return;
    }
    // The lists are kept from frame to frame, and only refilled.
    cache.bandSublayers.resize(frame.bands.size());
    for (auto& list : cache.bandSublayers) list.clear();
    // Bands lie one below the other, each as wide as the bitmap: the first
    // a sublayer may overlap is found by halving, the rest follow it.
    const auto below = [](const Rect& band, double y) { return band.maxY() <= y; };
    for (std::size_t i = 0; i < sublayers.size(); ++i) {
        const detail::LayerCache* kept = LayerAccess::existingCache(*sublayers[i]);
        if (!kept || kept->areaFrame != frame.serial) continue;
        const Rect& area = kept->area;
        auto band = std::lower_bound(frame.bands.begin(), frame.bands.end(), area.minY(), below);
        for (; band != frame.bands.end() && overlaps(area, *band); ++band) {
            cache.bandSublayers[static_cast<std::size_t>(band - frame.bands.begin())].push_back(
                static_cast<std::uint32_t>(i));
        }
    }
    if (frame.bandLoads) {
        for (std::size_t band = 0; band < frame.bands.size(); ++band) {
            (*frame.bandLoads)[band] += cache.bandSublayers[band].size();
        }
    }
}

// The first walk of a frame in bands notes where a layer draws (`own`, in
// device pixels, when known already), its sublayers' drawing (`sublayers`)
// with it, and adds that to what its superlayer draws.
void noteArea(const Shown& s, const Frame& frame, const std::optional<Extent>& own, const Extent& sublayers) {
    Extent area;
    if (own) {
        area = *own;
    } else if (const auto extent = ownExtent(s, frame.time, true).rect()) {
        area.add(frame.context.transform().applyToRect(*extent));
    }
    if (!s.shown->masksToBounds() && sublayers.rect()) area.add(*sublayers.rect());
    detail::LayerCache& cache = LayerAccess::cache(s.model);
    cache.areaFrame = frame.serial;
    // A pixel more each way holds the anti-aliasing of edges.
    cache.area = area.rect() ? grown(*area.rect(), 1) : Rect{};
    if (frame.sublayerAreas && area.rect()) frame.sublayerAreas->add(cache.area);
    noteBandSublayers(s.model, frame, cache);
}

void renderLayer(Layer& layer, Frame& frame) {
    const Shown s = show(layer, frame.time);
    const Layer& p = *s.shown;
    if (p.isHidden()) return;
    const double opacity = unit(p.opacity());
    std::optional<Extent> drawn;
    if (opacity <= 0 || outsideArea(s, frame, drawn)) return;
    frame.context.save();
    frame.context.concat(p.transformToSuperlayer());
    const bool moving = frame.moving;
    frame.moving = moving || s.copy != nullptr;
    const bool notes = frame.jobs && !frame.readOnly;
    Extent* const above = frame.sublayerAreas;
    Extent sublayers;
    if (notes) frame.sublayerAreas = &sublayers;
    composite(s, frame, opacity, true);
    frame.moving = moving;
    if (notes) {
        frame.sublayerAreas = above;
        noteArea(s, frame, drawn, sublayers);
    }
    frame.context.restore();
}

}  // namespace

namespace detail {

LayerCache& LayerAccess::cache(const Layer& layer) {
    if (!layer.mCache) layer.mCache = std::make_shared<LayerCache>();
    return *layer.mCache;
}

}  // namespace detail

namespace {

// Renders in progress on the main thread: one inside another draws in one
// piece.
int gRendering = 0;
std::uint64_t gLastSerial = 0;

// A bitmap's pixels, as device space sees them.
Rect pixelsOf(const BitmapContext& bitmap) {
    return {0, 0, static_cast<double>(bitmap.pixelWidth()), static_cast<double>(bitmap.pixelHeight())};
}

// How many bands a bitmap is drawn in: one below a size where threads cost
// more than they save, and none thinner than a few dozen rows. About two
// for each of 8 threads: a menu or a popover crowds its drawing into a few
// rows, and smaller bands spread it. Fixed by the size alone, not by the
// processors there are, so that a frame comes out the same everywhere (the
// drawing library's edges can differ by a step between a band and the
// whole).
int bandsFor(const BitmapContext& bitmap) {
    constexpr double kFewestPixels = 512.0 * 1024;
    constexpr double kPixelsPerBand = 128.0 * 1024;
    constexpr double kMostBands = 16;
    constexpr int kFewestRows = 64;
    const double pixels = static_cast<double>(bitmap.pixelWidth()) * bitmap.pixelHeight();
    if (pixels < kFewestPixels) return 1;
    const double most = std::min({kMostBands, std::floor(pixels / kPixelsPerBand),
                                  std::floor(bitmap.pixelHeight() / static_cast<double>(kFewestRows))});
    return most >= 2 ? static_cast<int>(most) : 1;
}

// Draws the frame in horizontal bands on several threads: first a walk on
// this thread makes (or queues) every raster the frame needs, the queued
// ones are drawn side by side, then the bands are drawn at once. False,
// having drawn nothing, when the frame has to be drawn in one piece.
bool renderInBands(Layer& root, BitmapContext& bitmap, int bands, double time, double scale) {
    // The first walk draws into a pixel with the bitmap's transform, so it
    // takes the same turns as the bands will.
    auto nowhere = BitmapContext::create(1, 1);
    if (!nowhere) return false;
    nowhere->concat(bitmap.transform());
    nowhere->setAlpha(bitmap.alpha());
    RasterJobs jobs;
    bool unbandable = false;
    const int height = bitmap.pixelHeight();
    std::vector<Rect> bandAreas;
    for (int i = 0; i < bands; ++i) {
        const int first = height * i / bands;
        const int end = height * (i + 1) / bands;
        bandAreas.push_back({0, static_cast<double>(first), static_cast<double>(bitmap.pixelWidth()),
                             static_cast<double>(end - first)});
    }
    Frame making{*nowhere, time, scale};
    making.area = pixelsOf(bitmap);
    making.bands = bandAreas;
    std::vector<std::size_t> loads(bandAreas.size(), 0);
    making.bandLoads = &loads;
    making.serial = ++gLastSerial;
    making.jobs = &jobs;
    making.unbandable = &unbandable;
    renderLayer(root, making);
    for (RasterJobs::Batch& batch : jobs.batches) {
        if (!batch.items.empty()) jobs.draw(batch);
    }
    std::stable_sort(jobs.wholes.begin(), jobs.wholes.end(),
                     [](const RasterJobs::Whole& a, const RasterJobs::Whole& b) { return a.pixels > b.pixels; });
    for (RasterJobs::Whole& whole : jobs.wholes) {
        if (unbandable) {
            // Wholes would draw what a delegate draws during compositing
            // there: only their parts are made.
            for (RasterJobs::Job& part : whole.parts) jobs.add(std::move(part));
            continue;
        }
        jobs.add([&whole] {
            for (const RasterJobs::Job& part : whole.parts) part();
            whole.make();
        });
    }
    jobs.sideBySide.finish();
    if (unbandable) return false;

    std::vector<std::unique_ptr<BitmapContext>> parts;
    for (int i = 0; i < bands; ++i) {
        auto part = bitmap.band(static_cast<int>(bandAreas[i].minY()), static_cast<int>(bandAreas[i].maxY()));
        // What was handed to bands made so far is cleared as they go.
        if (!part) return false;
        parts.push_back(std::move(part));
    }
    // The bands with the most to draw first, so that none is left to hold
    // up the end.
    std::vector<std::size_t> order(parts.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return loads[a] > loads[b]; });
    DispatchQueue::concurrentPerform(parts.size(), [&](std::size_t turn) {
        const std::size_t i = order[turn];
        Frame frame{*parts[i], time, scale};
        frame.area = pixelsOf(*parts[i]);
        frame.bandArea = bandAreas[i];
        frame.band = i;
        frame.serial = making.serial;
        frame.readOnly = true;
        renderLayer(root, frame);
        parts[i].reset();
    });
    return true;
}

}  // namespace

void renderLayerTree(Layer& root, Context& context, const RenderOptions& options) {
    const double scale = std::isfinite(options.contentsScale) && options.contentsScale > 0 ? options.contentsScale : 1;
    ++gRendering;
    struct Done {
        ~Done() { --gRendering; }
    } done;
    auto* bitmap = gRendering == 1 ? dynamic_cast<BitmapContext*>(&context) : nullptr;
    // Bands draw what the first walk kept.
    const int bands = bitmap && options.keepsRasters ? bandsFor(*bitmap) : 1;
    if (bands >= 2 && renderInBands(root, *bitmap, bands, options.time, scale)) return;
    Frame frame{context, options.time, scale};
    frame.keepsRasters = options.keepsRasters;
    if (bitmap) frame.area = pixelsOf(*bitmap);
    renderLayer(root, frame);
}

}  // namespace platform::ui
