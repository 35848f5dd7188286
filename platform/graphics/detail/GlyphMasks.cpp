#include "platform/graphics/detail/GlyphMasks.h"

#include <pixman.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <unordered_map>

namespace platform::detail {

namespace {

// Bounds of the shared masks (the oldest go first) and of each thread's
// copies of them.
constexpr std::size_t kMostGlyphs = 8192;
constexpr std::size_t kMostMaskBytes = std::size_t{8} << 20;
constexpr std::size_t kMostFonts = 256;
constexpr std::size_t kMostThreadGlyphs = 4096;
constexpr std::size_t kMostThreadFonts = 64;
// Larger text is rare and its masks large: Cairo draws it.
constexpr double kLargestScale = 256;
// Room around a glyph's ink box when it is rendered.
constexpr int kMargin = 2;

thread_local bool tEnabled = true;
thread_local std::size_t tRunsDrawn = 0;
thread_local bool tFailGlyphImages = false;

// A glyph as Cairo's compositor sees it: its coverage, placed from the
// glyph's pixel origin, and its ink box in 1/256 pixel.
struct Mask {
    bool drawable = false;  // false: in colour or unusable, Cairo draws the run
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    int stride = 0;
    std::vector<std::uint32_t> pixels;  // A8 rows, `stride` bytes each
    std::int32_t box[4] = {0, 0, 0, 0};
};

// A font as drawn at one scale. Holds references to both fonts so their
// pointers are not reused while keyed.
struct Font {
    Font(cairo_scaled_font_t* laidOut, cairo_scaled_font_t* drawn)
        : laidOut(cairo_scaled_font_reference(laidOut)), drawn(cairo_scaled_font_reference(drawn)) {}
    ~Font() {
        cairo_scaled_font_destroy(drawn);
        cairo_scaled_font_destroy(laidOut);
    }
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;

    std::uint64_t id = 0;
    cairo_scaled_font_t* laidOut;
    cairo_scaled_font_t* drawn;  // the one Cairo makes for the scale
    double scale = 1;
    double maxScale = 0;
    cairo_matrix_t fontMatrix{};
    bool usable = false;
};

struct FontKey {
    cairo_scaled_font_t* font;
    double scale;
    bool operator==(const FontKey& o) const { return font == o.font && scale == o.scale; }
};

struct FontKeyHash {
    std::size_t operator()(const FontKey& k) const {
        return std::hash<const void*>()(k.font) ^ (std::hash<double>()(k.scale) * 31);
    }
};

std::uint64_t glyphKey(const Font& font, unsigned long index) { return font.id << 32 | index; }

std::int32_t toFixed(double v) { return static_cast<std::int32_t>(std::nearbyint(v * 256)); }
int fixedFloor(std::int32_t v) { return v >> 8; }
int fixedCeil(std::int32_t v) { return (v + 255) >> 8; }

// Cairo rounds glyph positions half up.
int roundHalfUp(double v) {
    const double f = std::floor(v);
    return static_cast<int>(v - f >= 0.5 ? f + 1 : f);
}

// Renders one glyph through Cairo at a whole pixel, as its compositor
// would take it: the coverage is what white over transparency leaves.
std::shared_ptr<const Mask> renderMask(const Font& font, unsigned long index) {
    auto mask = std::make_shared<Mask>();
    cairo_glyph_t glyph{index, 0, 0};
    cairo_text_extents_t e{};
    cairo_scaled_font_glyph_extents(font.drawn, &glyph, 1, &e);
    const double s = font.scale;
    const double x1 = e.x_bearing * s;
    const double y1 = e.y_bearing * s;
    const double x2 = (e.x_bearing + e.width) * s;
    const double y2 = (e.y_bearing + e.height) * s;
    if (cairo_scaled_font_status(font.drawn) != CAIRO_STATUS_SUCCESS ||
        !(std::abs(x1) < 4 * kLargestScale && std::abs(y1) < 4 * kLargestScale && std::abs(x2) < 4 * kLargestScale &&
          std::abs(y2) < 4 * kLargestScale)) {
        return mask;
    }
    mask->box[0] = toFixed(x1);
    mask->box[1] = toFixed(y1);
    mask->box[2] = toFixed(x2);
    mask->box[3] = toFixed(y2);
    const int left = fixedFloor(mask->box[0]) - kMargin;
    const int top = fixedFloor(mask->box[1]) - kMargin;
    const int width = fixedCeil(mask->box[2]) + kMargin - left;
    const int height = fixedCeil(mask->box[3]) + kMargin - top;

    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_t* cr = cairo_create(surface);
    cairo_translate(cr, -left, -top);
    cairo_scale(cr, s, s);
    cairo_set_scaled_font(cr, font.laidOut);
    const bool sameFont = cairo_get_scaled_font(cr) == font.drawn;
    cairo_set_source_rgb(cr, 1, 1, 1);
    if (sameFont) cairo_show_glyphs(cr, &glyph, 1);
    const bool drawn = sameFont && cairo_status(cr) == CAIRO_STATUS_SUCCESS;
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    bool plain = drawn && data != nullptr;
    int inkX0 = width, inkY0 = height, inkX1 = 0, inkY1 = 0;
    for (int y = 0; plain && y < height; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(data + static_cast<std::size_t>(y) * stride);
        for (int x = 0; x < width; ++x) {
            const std::uint32_t p = row[x];
            const std::uint32_t a = p >> 24;
            // Anything but grey coverage (a colour glyph, subpixel masks)
            // is left to Cairo.
            if (p != (a << 24 | a << 16 | a << 8 | a)) plain = false;
            if (a == 0) continue;
            inkX0 = std::min(inkX0, x);
            inkY0 = std::min(inkY0, y);
            inkX1 = std::max(inkX1, x + 1);
            inkY1 = std::max(inkY1, y + 1);
        }
    }
    if (plain && inkX0 < inkX1) {
        mask->left = left + inkX0;
        mask->top = top + inkY0;
        mask->width = inkX1 - inkX0;
        mask->height = inkY1 - inkY0;
        mask->stride = (mask->width + 3) & ~3;
        mask->pixels.assign(static_cast<std::size_t>(mask->stride / 4) * mask->height, 0);
        auto* to = reinterpret_cast<unsigned char*>(mask->pixels.data());
        for (int y = 0; y < mask->height; ++y) {
            const auto* row =
                reinterpret_cast<const std::uint32_t*>(data + static_cast<std::size_t>(y + inkY0) * stride);
            for (int x = 0; x < mask->width; ++x)
                to[static_cast<std::size_t>(y) * mask->stride + x] = static_cast<unsigned char>(row[x + inkX0] >> 24);
        }
    }
    cairo_surface_destroy(surface);
    mask->drawable = plain;
    return mask;
}

// The masks every thread shares: read under a shared lock, and only when a
// thread's own copies miss.
class SharedMasks {
public:
    static SharedMasks& instance() {
        static auto* masks = new SharedMasks();  // threads may draw at exit
        return *masks;
    }

    // The font Cairo draws `laidOut` with at `scale`, found with `cr`.
    std::shared_ptr<const Font> font(cairo_t* cr, cairo_scaled_font_t* laidOut, double scale) {
        const FontKey key{laidOut, scale};
        {
            std::shared_lock lock(mMutex);
            if (auto found = mFonts.find(key); found != mFonts.end()) return found->second;
        }
        cairo_set_scaled_font(cr, laidOut);
        cairo_scaled_font_t* drawn = cairo_get_scaled_font(cr);
        if (cairo_status(cr) != CAIRO_STATUS_SUCCESS || cairo_scaled_font_status(drawn) != CAIRO_STATUS_SUCCESS)
            return nullptr;
        auto made = std::make_shared<Font>(laidOut, drawn);
        made->scale = scale;
        cairo_matrix_t m;
        cairo_scaled_font_get_scale_matrix(drawn, &m);
        made->maxScale = std::max(std::abs(m.xx) + std::abs(m.xy), std::abs(m.yx) + std::abs(m.yy));
        cairo_scaled_font_get_font_matrix(laidOut, &made->fontMatrix);
        made->usable =
            made->maxScale <= kLargestScale && std::isfinite(made->fontMatrix.x0) && std::isfinite(made->fontMatrix.y0);
        made->id = mNextId.fetch_add(1);
        decltype(mFonts) dropped;
        std::unique_lock lock(mMutex);
        if (auto found = mFonts.find(key); found != mFonts.end()) return found->second;
        if (mFonts.size() >= kMostFonts) dropped.swap(mFonts);  // their masks age out
        mFonts.emplace(key, made);
        lock.unlock();
        return made;
    }

    std::shared_ptr<const Mask> mask(const Font& font, unsigned long index) {
        const std::uint64_t key = glyphKey(font, index);
        {
            std::shared_lock lock(mMutex);
            if (auto found = mMasks.find(key); found != mMasks.end()) return found->second;
        }
        // Rendered outside the lock: Cairo takes its own.
        std::shared_ptr<const Mask> made = renderMask(font, index);
        std::vector<std::shared_ptr<const Mask>> dropped;
        std::unique_lock lock(mMutex);
        auto [at, added] = mMasks.emplace(key, made);
        if (!added) return at->second;
        mOrder.push_back(key);
        mBytes += made->pixels.size() * 4 + sizeof(Mask);
        while (mMasks.size() > kMostGlyphs || mBytes > kMostMaskBytes) {
            auto oldest = mMasks.find(mOrder.front());
            mOrder.pop_front();
            mBytes -= oldest->second->pixels.size() * 4 + sizeof(Mask);
            dropped.push_back(std::move(oldest->second));
            mMasks.erase(oldest);
        }
        return made;
    }

private:
    std::shared_mutex mMutex;
    std::unordered_map<FontKey, std::shared_ptr<const Font>, FontKeyHash> mFonts;
    std::unordered_map<std::uint64_t, std::shared_ptr<const Mask>> mMasks;
    std::deque<std::uint64_t> mOrder;  // of mMasks, oldest first
    std::size_t mBytes = 0;
    std::atomic<std::uint64_t> mNextId{1};
};

struct LocalGlyph {
    std::shared_ptr<const Mask> mask;
    pixman_image_t* image = nullptr;  // over the mask's pixels; null when it has none
};

// A thread's own copies in front of the shared masks, so that drawing
// takes no lock once a thread has seen its glyphs.
class LocalMasks {
public:
    static LocalMasks& instance() {
        thread_local LocalMasks masks;
        return masks;
    }
    ~LocalMasks() { clearGlyphs(); }

    const Font* font(cairo_t* cr, cairo_scaled_font_t* laidOut, double scale) {
        const FontKey key{laidOut, scale};
        if (auto found = mFonts.find(key); found != mFonts.end()) return found->second.get();
        std::shared_ptr<const Font> font = SharedMasks::instance().font(cr, laidOut, scale);
        if (!font) return nullptr;
        if (mFonts.size() >= kMostThreadFonts) mFonts.clear();
        return mFonts.emplace(key, std::move(font)).first->second.get();
    }

    // A glyph with ink whose image could not be made has a null image:
    // the run is drawn by Cairo then, and the image is tried again.
    const LocalGlyph& glyph(const Font& font, unsigned long index) {
        const std::uint64_t key = glyphKey(font, index);
        if (auto found = mGlyphs.find(key); found != mGlyphs.end()) {
            if (found->second.image == nullptr) found->second.image = imageOf(*found->second.mask);
            return found->second;
        }
        LocalGlyph glyph;
        glyph.mask = SharedMasks::instance().mask(font, index);
        glyph.image = imageOf(*glyph.mask);
        return mGlyphs.emplace(key, std::move(glyph)).first->second;
    }

    // Before a run: the glyphs of the run are held by reference until it
    // is drawn, so the copies are bounded between runs.
    void bound() {
        if (mGlyphs.size() >= kMostThreadGlyphs) clearGlyphs();
    }

    void clearGlyphs() {
        for (auto& [key, glyph] : mGlyphs) {
            if (glyph.image != nullptr) pixman_image_unref(glyph.image);
        }
        mGlyphs.clear();
    }

private:
    static pixman_image_t* imageOf(const Mask& m) {
        if (!m.drawable || m.width <= 0 || tFailGlyphImages) return nullptr;
        // Pixman only reads the pixels, which never change.
        return pixman_image_create_bits(PIXMAN_a8, m.width, m.height, const_cast<std::uint32_t*>(m.pixels.data()),
                                        m.stride);
    }

    std::unordered_map<FontKey, std::shared_ptr<const Font>, FontKeyHash> mFonts;
    std::unordered_map<std::uint64_t, LocalGlyph> mGlyphs;
};

struct Placed {
    int x;
    int y;
    const LocalGlyph* glyph;
};

bool intersect(GlyphTarget::Box& a, const GlyphTarget::Box& b) {
    a = {std::max(a.x0, b.x0), std::max(a.y0, b.y0), std::min(a.x1, b.x1), std::min(a.y1, b.y1)};
    return a.x0 < a.x1 && a.y0 < a.y1;
}

// A pixel coordinate from user space, when the value is a whole pixel.
std::optional<int> wholePixel(double v) {
    const double r = std::round(v);
    if (!(std::abs(v - r) < 1e-6) || !(std::abs(r) < INT_MAX / 2)) return std::nullopt;
    return static_cast<int>(r);
}

// Cairo's coordinates are fixed point, 8 bits of fraction, rounded to the
// nearest.
double fixedPoint(double v) { return std::nearbyint(v * 256); }

}  // namespace

std::optional<GlyphTarget> GlyphTarget::of(cairo_t* cr, bool rectangularClip, const double* only) {
    // What is copied here is Cairo 1.16's compositing; later versions place
    // glyphs at fractions of a pixel.
    static const bool knownCairo =
        cairo_version() >= CAIRO_VERSION_ENCODE(1, 16, 0) && cairo_version() < CAIRO_VERSION_ENCODE(1, 17, 0);
    if (!knownCairo || !tEnabled || cairo_get_operator(cr) != CAIRO_OPERATOR_OVER) return std::nullopt;
    GlyphTarget t;
    t.surface = cairo_get_group_target(cr);
    if (cairo_surface_get_type(t.surface) != CAIRO_SURFACE_TYPE_IMAGE ||
        cairo_image_surface_get_format(t.surface) != CAIRO_FORMAT_ARGB32) {
        return std::nullopt;
    }
    t.data = cairo_image_surface_get_data(t.surface);
    t.width = cairo_image_surface_get_width(t.surface);
    t.height = cairo_image_surface_get_height(t.surface);
    t.stride = cairo_image_surface_get_stride(t.surface);
    if (t.data == nullptr || t.width <= 0 || t.height <= 0) return std::nullopt;
    cairo_get_matrix(cr, &t.ctm);
    double sx = 1, sy = 1;
    cairo_surface_get_device_scale(t.surface, &sx, &sy);
    cairo_matrix_init(&t.device, sx, 0, 0, sy, 0, 0);
    cairo_surface_get_device_offset(t.surface, &t.device.x0, &t.device.y0);
    cairo_matrix_t full;
    cairo_matrix_multiply(&full, &t.ctm, &t.device);
    if (full.xy != 0 || full.yx != 0 || full.xx != full.yy || !(full.xx > 0) || !std::isfinite(full.xx) ||
        !std::isfinite(full.x0) || !std::isfinite(full.y0)) {
        return std::nullopt;
    }
    t.scale = full.xx;
    const Box surface{0, 0, t.width, t.height};

    if (only) {
        const double x0 = t.device.xx * only[0] + t.device.x0;
        const double y0 = t.device.yy * only[1] + t.device.y0;
        const double x1 = t.device.xx * only[2] + t.device.x0;
        const double y1 = t.device.yy * only[3] + t.device.y0;
        constexpr double kLargest = INT_MAX / 2;
        if (!(std::abs(x0) < kLargest && std::abs(y0) < kLargest && std::abs(x1) < kLargest &&
              std::abs(y1) < kLargest)) {
            return std::nullopt;
        }
        // The pixels the box touches; none when it has no area, even less
        // than a pixel wide.
        const double fx0 = fixedPoint(std::min(x0, x1));
        const double fy0 = fixedPoint(std::min(y0, y1));
        const double fx1 = fixedPoint(std::max(x0, x1));
        const double fy1 = fixedPoint(std::max(y0, y1));
        Box box{static_cast<int>(std::floor(fx0 / 256)), static_cast<int>(std::floor(fy0 / 256)),
                static_cast<int>(std::ceil(fx1 / 256)), static_cast<int>(std::ceil(fy1 / 256))};
        if (fx0 < fx1 && fy0 < fy1 && intersect(box, surface)) t.clip.push_back(box);
        t.clipExtents = t.clip.empty() ? Box{0, 0, 0, 0} : box;
        return t;
    }

    // Cairo gives the clip as user-space rectangles when it is one of whole
    // pixels (the surface when there is none).
    cairo_rectangle_list_t* list = cairo_copy_clip_rectangle_list(cr);
    const cairo_status_t status = list->status;
    bool whole = status == CAIRO_STATUS_SUCCESS;
    t.clipExtents = {INT_MAX, INT_MAX, INT_MIN, INT_MIN};
    for (int i = 0; whole && i < list->num_rectangles; ++i) {
        const cairo_rectangle_t& r = list->rectangles[i];
        const auto x0 = wholePixel(full.xx * r.x + full.x0);
        const auto y0 = wholePixel(full.yy * r.y + full.y0);
        const auto x1 = wholePixel(full.xx * (r.x + r.width) + full.x0);
        const auto y1 = wholePixel(full.yy * (r.y + r.height) + full.y0);
        whole = x0 && y0 && x1 && y1;
        if (!whole) break;
        Box box{*x0, *y0, *x1, *y1};
        if (!intersect(box, surface)) continue;
        t.clip.push_back(box);
        t.clipExtents = {std::min(t.clipExtents.x0, box.x0), std::min(t.clipExtents.y0, box.y0),
                         std::max(t.clipExtents.x1, box.x1), std::max(t.clipExtents.y1, box.y1)};
    }
    cairo_rectangle_list_destroy(list);
    if (!whole && status == CAIRO_STATUS_CLIP_NOT_REPRESENTABLE && rectangularClip) {
        // An upright rectangle off the pixel grid: Cairo clips glyphs to
        // the pixels it touches, which are its extents.
        double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
        cairo_clip_extents(cr, &x0, &y0, &x1, &y1);
        const auto px0 = wholePixel(full.xx * x0 + full.x0);
        const auto py0 = wholePixel(full.yy * y0 + full.y0);
        const auto px1 = wholePixel(full.xx * x1 + full.x0);
        const auto py1 = wholePixel(full.yy * y1 + full.y0);
        if (!px0 || !py0 || !px1 || !py1) return std::nullopt;
        Box box{*px0, *py0, *px1, *py1};
        t.clip.clear();
        if (intersect(box, surface)) t.clip.push_back(box);
        t.clipExtents = box;
        whole = true;
    }
    if (!whole) return std::nullopt;
    if (t.clip.empty()) t.clipExtents = {0, 0, 0, 0};
    return t;
}

bool drawGlyphsFromMasks(const GlyphTarget& target, cairo_t* cr, cairo_scaled_font_t* laidOut,
                         const cairo_glyph_t* glyphs, std::size_t count, double red, double green, double blue,
                         double alpha) {
    if (!tEnabled) return false;
    LocalMasks& local = LocalMasks::instance();
    local.bound();
    const Font* font = local.font(cr, laidOut, target.scale);
    if (font == nullptr || !font->usable) return false;

    // Glyphs to pixels as Cairo moves them to the surface, with its own
    // arithmetic; far outside the clip they are dropped, as it drops them.
    const cairo_matrix_t& ctm = target.ctm;
    const cairo_matrix_t& device = target.device;
    const bool translation = ctm.xx == 1 && ctm.yx == 0 && ctm.xy == 0 && ctm.yy == 1 && device.xx == 1 &&
                             device.yx == 0 && device.xy == 0 && device.yy == 1;
    cairo_matrix_t toPixels;
    cairo_matrix_init_translate(&toPixels, font->fontMatrix.x0, font->fontMatrix.y0);
    cairo_matrix_multiply(&toPixels, &toPixels, &ctm);
    cairo_matrix_multiply(&toPixels, &toPixels, &device);
    const double tx = font->fontMatrix.x0 + ctm.x0 + device.x0;
    const double ty = font->fontMatrix.y0 + ctm.y0 + device.y0;
    const GlyphTarget::Box& extents = target.clipExtents;
    if (extents.x0 >= extents.x1 || extents.y0 >= extents.y1) return true;  // all clipped
    const double reach = 10 * font->maxScale;
    const double keepX0 = extents.x0 - reach;
    const double keepY0 = extents.y0 - reach;
    const double keepX1 = extents.x1 + reach;
    const double keepY1 = extents.y1 + reach;

    thread_local std::vector<Placed> placed;
    placed.clear();
    // Glyph ink boxes that meet the ones before them: Cairo then adds the
    // glyphs up in a mask and composites that once.
    std::int32_t box[4] = {INT_MAX, INT_MAX, INT_MIN, INT_MIN};
    bool overlap = false;
    for (std::size_t i = 0; i < count; ++i) {
        double x = glyphs[i].x;
        double y = glyphs[i].y;
        if (translation) {
            x = x + tx;
            y = y + ty;
        } else {
            cairo_matrix_transform_point(&toPixels, &x, &y);
        }
        if (!(keepX0 <= x && x <= keepX1 && keepY0 <= y && y <= keepY1)) continue;
        if (glyphs[i].index > UINT32_MAX) return false;
        const LocalGlyph& glyph = local.glyph(*font, glyphs[i].index);
        if (!glyph.mask->drawable) return false;
        if (glyph.image == nullptr && glyph.mask->width > 0) return false;  // ink Cairo must draw
        const Placed p{roundHalfUp(x), roundHalfUp(y), &glyph};
        const std::int32_t* b = glyph.mask->box;
        const std::int32_t x1 = p.x * 256 + b[0], y1 = p.y * 256 + b[1];
        const std::int32_t x2 = p.x * 256 + b[2], y2 = p.y * 256 + b[3];
        if (!overlap && x1 != x2 && y1 != y2) overlap = x2 > box[0] && x1 < box[2] && y2 > box[1] && y1 < box[3];
        box[0] = std::min(box[0], x1);
        box[1] = std::min(box[1], y1);
        box[2] = std::max(box[2], x2);
        box[3] = std::max(box[3], y2);
        placed.push_back(p);
    }
    ++tRunsDrawn;
    if (placed.empty()) return true;
    // Cairo composites within the glyphs' boxes, rounded out, and the clip.
    GlyphTarget::Box bounded{fixedFloor(box[0]), fixedFloor(box[1]), fixedCeil(box[2]), fixedCeil(box[3])};
    if (!intersect(bounded, extents)) return true;

    std::vector<pixman_box32_t> rects;
    rects.reserve(target.clip.size());
    for (const GlyphTarget::Box& c : target.clip) {
        GlyphTarget::Box r = c;
        if (intersect(r, bounded)) rects.push_back(pixman_box32_t{r.x0, r.y0, r.x1, r.y1});
    }
    if (rects.empty()) return true;

    const auto unit = [](double v) { return std::isnan(v) ? 0.0 : std::clamp(v, 0.0, 1.0); };
    const auto toShort = [](double v) { return static_cast<std::uint16_t>(v * 65535.0 + 0.5); };
    const double a = unit(alpha);
    const pixman_color_t color{toShort(unit(red) * a), toShort(unit(green) * a), toShort(unit(blue) * a), toShort(a)};

    cairo_surface_flush(target.surface);
    pixman_image_t* dst = pixman_image_create_bits(PIXMAN_a8r8g8b8, target.width, target.height,
                                                   reinterpret_cast<std::uint32_t*>(target.data), target.stride);
    pixman_image_t* source = pixman_image_create_solid_fill(&color);
    pixman_region32_t region;
    pixman_region32_init_rects(&region, rects.data(), static_cast<int>(rects.size()));
    pixman_image_set_clip_region32(dst, &region);
    if (overlap) {
        const int width = bounded.x1 - bounded.x0;
        const int height = bounded.y1 - bounded.y0;
        const int stride = (width + 3) & ~3;
        thread_local std::vector<std::uint32_t> sum;
        sum.assign(static_cast<std::size_t>(stride / 4) * height, 0);
        pixman_image_t* added = pixman_image_create_bits(PIXMAN_a8, width, height, sum.data(), stride);
        for (const Placed& p : placed) {
            const Mask& m = *p.glyph->mask;
            if (p.glyph->image == nullptr) continue;
            pixman_image_composite32(PIXMAN_OP_ADD, p.glyph->image, nullptr, added, 0, 0, 0, 0,
                                     p.x + m.left - bounded.x0, p.y + m.top - bounded.y0, m.width, m.height);
        }
        pixman_image_composite32(PIXMAN_OP_OVER, source, added, dst, 0, 0, 0, 0, bounded.x0, bounded.y0, width, height);
        pixman_image_unref(added);
    } else {
        for (const Placed& p : placed) {
            const Mask& m = *p.glyph->mask;
            if (p.glyph->image == nullptr) continue;
            pixman_image_composite32(PIXMAN_OP_OVER, source, p.glyph->image, dst, 0, 0, 0, 0, p.x + m.left, p.y + m.top,
                                     m.width, m.height);
        }
    }
    pixman_region32_fini(&region);
    pixman_image_unref(source);
    pixman_image_unref(dst);
    cairo_surface_mark_dirty(target.surface);
    return true;
}

void setGlyphMasksEnabled(bool enabled) { tEnabled = enabled; }

void setGlyphImagesFail(bool fail) {
    tFailGlyphImages = fail;
    LocalMasks::instance().clearGlyphs();  // images made before are made again
}

std::size_t glyphRunsDrawnFromMasks() { return tRunsDrawn; }

}  // namespace platform::detail
