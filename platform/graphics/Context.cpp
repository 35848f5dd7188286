#include "platform/graphics/Context.h"

#include "platform/graphics/Image.h"
#include "platform/graphics/Path.h"
#include "platform/graphics/TextLayout.h"
#include "platform/graphics/detail/ContextImpl.h"
#include "platform/graphics/detail/ImageImpl.h"
#include "platform/graphics/detail/PangoText.h"
#include "platform/graphics/detail/PolygonCoverage.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <limits>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <unordered_map>

#include <pixman.h>

namespace platform {

namespace detail {

ContextImpl::ContextImpl(cairo_surface_t* s)
    : surface(cairo_surface_reference(s)), cr(cairo_create(s)), pixels(ArgbPixels::of(s)) {
    cairo_set_line_width(cr, 1);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
    cairo_set_miter_limit(cr, Context::kDefaultMiterLimit);
}

ContextImpl::~ContextImpl() {
    if (clearsWhenDestroyed) clearUncleared();
    if (pixelImage != nullptr) pixman_image_unref(pixelImage);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
}

void ContextImpl::clearUncleared() const {
    if (uncleared.empty()) return;
    cairo_surface_flush(surface);
    unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (const PixelRect& r : uncleared) {
        for (int y = r.y0; y < r.y1; ++y) {
            std::memset(data + static_cast<std::size_t>(y) * stride + 4 * static_cast<std::size_t>(r.x0), 0,
                        4 * static_cast<std::size_t>(r.x1 - r.x0));
        }
    }
    cairo_surface_mark_dirty(surface);
    uncleared.clear();
}

void ContextImpl::covered(const PixelRect& r) {
    // A few pieces at most: beyond that, clearing at once is as cheap.
    constexpr std::size_t kMostPieces = 16;
    std::vector<PixelRect> left;
    for (const PixelRect& u : uncleared) {
        if (r.x1 <= u.x0 || u.x1 <= r.x0 || r.y1 <= u.y0 || u.y1 <= r.y0) {
            left.push_back(u);
            continue;
        }
        const int top = std::max(u.y0, r.y0);
        const int bottom = std::min(u.y1, r.y1);
        if (u.y0 < top) left.push_back({u.x0, u.y0, u.x1, top});
        if (bottom < u.y1) left.push_back({u.x0, bottom, u.x1, u.y1});
        if (u.x0 < r.x0) left.push_back({u.x0, top, r.x0, bottom});
        if (r.x1 < u.x1) left.push_back({r.x1, top, u.x1, bottom});
    }
    uncleared = std::move(left);
    if (uncleared.size() > kMostPieces) clearUncleared();
}

void setSourceColor(cairo_t* cr, const Color& color, double alpha) {
    const auto unit = [](double v) { return std::isnan(v) ? 0.0 : std::clamp(v, 0.0, 1.0); };
    cairo_set_source_rgba(cr, unit(color.red), unit(color.green), unit(color.blue), unit(color.alpha) * alpha);
}

}  // namespace detail

namespace {

double unit(double v) { return std::isnan(v) ? 0.0 : std::clamp(v, 0.0, 1.0); }

bool finite(Point p) { return std::isfinite(p.x) && std::isfinite(p.y); }

bool finite(const Rect& r) {
    return std::isfinite(r.x) && std::isfinite(r.y) && std::isfinite(r.width) && std::isfinite(r.height);
}

void setSource(cairo_t* cr, const Color& color, double alpha) { detail::setSourceColor(cr, color, alpha); }

AffineTransform fromCairo(const cairo_matrix_t& m) { return {m.xx, m.yx, m.xy, m.yy, m.x0, m.y0}; }

cairo_matrix_t toCairo(const AffineTransform& t) {
    cairo_matrix_t m;
    cairo_matrix_init(&m, t.a, t.b, t.c, t.d, t.tx, t.ty);
    return m;
}

// Cairo puts a context into a permanent error state when given a matrix it
// cannot invert; it tests exactly this.
bool usable(const AffineTransform& t) {
    const double det = t.determinant();
    return std::isfinite(det) && det != 0 && std::isfinite(t.tx) && std::isfinite(t.ty);
}

// Prepends `t` to the context's matrix when the result is usable.
bool prependChecked(cairo_t* cr, const AffineTransform& t) {
    cairo_matrix_t current;
    cairo_get_matrix(cr, &current);
    const AffineTransform combined = AffineTransform::concat(t, fromCairo(current));
    if (!usable(combined)) return false;
    const cairo_matrix_t m = toCairo(combined);
    cairo_set_matrix(cr, &m);
    return true;
}

// The clip as one rectangle of whole pixels of the surface; none when it
// is not one.
std::optional<detail::ContextImpl::PixelRect> clipInPixels(cairo_t* cr, cairo_surface_t* surface) {
    cairo_rectangle_list_t* list = cairo_copy_clip_rectangle_list(cr);
    std::optional<detail::ContextImpl::PixelRect> found;
    if (list->status == CAIRO_STATUS_SUCCESS && list->num_rectangles == 1) {
        const cairo_rectangle_t& r = list->rectangles[0];
        double x0 = r.x;
        double y0 = r.y;
        double x1 = r.x + r.width;
        double y1 = r.y + r.height;
        cairo_user_to_device(cr, &x0, &y0);
        cairo_user_to_device(cr, &x1, &y1);
        const auto whole = [](double v) { return std::abs(v - std::round(v)) < 1e-6; };
        if (whole(x0) && whole(y0) && whole(x1) && whole(y1)) {
            const int width = cairo_image_surface_get_width(surface);
            const int height = cairo_image_surface_get_height(surface);
            const auto within = [](double v, int most) {
                return static_cast<int>(std::clamp(std::round(v), 0.0, double(most)));
            };
            found = detail::ContextImpl::PixelRect{within(std::min(x0, x1), width), within(std::min(y0, y1), height),
                                                   within(std::max(x0, x1), width), within(std::max(y0, y1), height)};
        }
    }
    cairo_rectangle_list_destroy(list);
    return found;
}

// An image placed pixel on pixel up to rounding (a raster kept at the
// scale it is shown at) is placed exactly so: Cairo then copies it instead
// of resampling, which is faster and keeps it sharp.
// True when it did.
bool snapToPixels(cairo_t* cr) {
    cairo_matrix_t m;
    cairo_get_matrix(cr, &m);
    constexpr double kNear = 1e-9;
    const double x = std::round(m.x0);
    const double y = std::round(m.y0);
    if (std::abs(m.xx - 1) < kNear && std::abs(m.yy - 1) < kNear && std::abs(m.xy) < kNear && std::abs(m.yx) < kNear &&
        std::abs(m.x0 - x) < 1e-6 && std::abs(m.y0 - y) < 1e-6) {
        cairo_matrix_init_translate(&m, x, y);
        cairo_set_matrix(cr, &m);
        return true;
    }
    return false;
}

void replayElement(cairo_t* cr, const Path::Element& e) {
    switch (e.type) {
        case Path::ElementType::moveTo: cairo_move_to(cr, e.points[0].x, e.points[0].y); break;
        case Path::ElementType::lineTo: cairo_line_to(cr, e.points[0].x, e.points[0].y); break;
        case Path::ElementType::curveTo:
            cairo_curve_to(cr, e.points[0].x, e.points[0].y, e.points[1].x, e.points[1].y, e.points[2].x,
                           e.points[2].y);
            break;
        case Path::ElementType::closeSubpath: cairo_close_path(cr); break;
    }
}

void replay(cairo_t* cr, const Path& path, std::size_t from = 0) {
    const auto& elements = path.elements();
    for (std::size_t i = from; i < elements.size(); ++i) replayElement(cr, elements[i]);
}

// Keeps the current path across an operation that needs a path of its own.
class PathKeeper {
public:
    explicit PathKeeper(cairo_t* cr) : mCr(cr) {
        if (cairo_has_current_point(cr)) mPath = cairo_copy_path(cr);
        cairo_new_path(cr);
    }
    ~PathKeeper() {
        cairo_new_path(mCr);
        if (mPath != nullptr) {
            if (mPath->status == CAIRO_STATUS_SUCCESS) cairo_append_path(mCr, mPath);
            cairo_path_destroy(mPath);
        }
    }
    PathKeeper(const PathKeeper&) = delete;
    PathKeeper& operator=(const PathKeeper&) = delete;

private:
    cairo_t* mCr;
    cairo_path_t* mPath = nullptr;
};

cairo_fill_rule_t cairoRule(FillRule rule) {
    return rule == FillRule::evenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING;
}

cairo_filter_t cairoFilter(InterpolationQuality q) {
    switch (q) {
        case InterpolationQuality::none: return CAIRO_FILTER_NEAREST;
        case InterpolationQuality::low: return CAIRO_FILTER_FAST;
        case InterpolationQuality::high: return CAIRO_FILTER_BEST;
        case InterpolationQuality::medium:
        case InterpolationQuality::defaultQuality: break;
    }
    return CAIRO_FILTER_GOOD;
}

}  // namespace

Context::Context(std::unique_ptr<detail::ContextImpl> impl) : mImpl(std::move(impl)) {}

Context::~Context() = default;

bool Context::drawable() const { return !mImpl->state.degenerate && cairo_status(mImpl->cr) == CAIRO_STATUS_SUCCESS; }

// --- state -----------------------------------------------------------------

void Context::save() {
    cairo_save(mImpl->cr);
    mImpl->saved.push_back(mImpl->state);
}

void Context::restore() {
    if (mImpl->saved.empty()) return;
    if (!mImpl->layers.empty() && mImpl->saved.size() <= mImpl->layers.back().depth) return;
    cairo_restore(mImpl->cr);
    mImpl->state = mImpl->saved.back();
    mImpl->saved.pop_back();
}

void Context::concat(const AffineTransform& t) {
    auto& state = mImpl->state;
    if (state.degenerate) {
        state.degenerateTransform = AffineTransform::concat(t, state.degenerateTransform);
        return;
    }
    if (prependChecked(mImpl->cr, t)) return;
    state.degenerate = true;
    state.degenerateTransform = AffineTransform::concat(t, transform());
}

void Context::translate(double tx, double ty) { concat(AffineTransform::translation(tx, ty)); }

void Context::scale(double sx, double sy) { concat(AffineTransform::scale(sx, sy)); }

void Context::rotate(double radians) { concat(AffineTransform::rotation(radians)); }

AffineTransform Context::transform() const {
    if (mImpl->state.degenerate) return mImpl->state.degenerateTransform;
    cairo_matrix_t m;
    cairo_get_matrix(mImpl->cr, &m);
    return fromCairo(m);
}

bool Context::strokeWidthDraws(double width) const {
    // A width the context would refuse leaves the last width in force.
    if (!(width >= 0) || !std::isfinite(width)) return true;
    if (!drawable()) return false;
    // PDF and SVG keep every stroke: a viewer may zoom in on it.
    if (cairo_surface_get_type(cairo_get_target(mImpl->cr)) != CAIRO_SURFACE_TYPE_IMAGE) return true;
    cairo_matrix_t m;
    cairo_get_matrix(mImpl->cr, &m);
    // The transform's largest stretch of any direction: the widest the
    // line can come out on the device.
    const double sum = m.xx * m.xx + m.yx * m.yx + m.xy * m.xy + m.yy * m.yy;
    const double determinant = m.xx * m.yy - m.xy * m.yx;
    const double spread = std::sqrt(std::max(sum * sum - 4 * determinant * determinant, 0.0));
    const double stretch = std::sqrt((sum + spread) / 2);
    // A little short of Cairo's own limit, so that rounding never skips a
    // line it would draw.
    constexpr double kMargin = 0.98;
    return !(width * stretch < kMargin * cairo_get_tolerance(mImpl->cr) / 2);
}

void Context::setFillColor(const Color& color) { mImpl->state.fillColor = color; }

void Context::setStrokeColor(const Color& color) { mImpl->state.strokeColor = color; }

Color Context::fillColor() const { return mImpl->state.fillColor; }

Color Context::strokeColor() const { return mImpl->state.strokeColor; }

void Context::setAlpha(double alpha) {
    if (std::isfinite(alpha)) mImpl->state.alpha = std::clamp(alpha, 0.0, 1.0);
}

double Context::alpha() const { return mImpl->state.alpha; }

void Context::setLineWidth(double width) {
    if (std::isfinite(width) && width >= 0) cairo_set_line_width(mImpl->cr, width);
}

void Context::setLineCap(LineCap cap) {
    cairo_set_line_cap(mImpl->cr, cap == LineCap::round    ? CAIRO_LINE_CAP_ROUND
                                  : cap == LineCap::square ? CAIRO_LINE_CAP_SQUARE
                                                           : CAIRO_LINE_CAP_BUTT);
}

void Context::setLineJoin(LineJoin join) {
    cairo_set_line_join(mImpl->cr, join == LineJoin::round   ? CAIRO_LINE_JOIN_ROUND
                                   : join == LineJoin::bevel ? CAIRO_LINE_JOIN_BEVEL
                                                             : CAIRO_LINE_JOIN_MITER);
}

void Context::setMiterLimit(double limit) {
    if (std::isfinite(limit) && limit >= 0) cairo_set_miter_limit(mImpl->cr, limit);
}

void Context::setLineDash(double phase, const std::vector<double>& lengths) {
    // Cairo would refuse such a pattern by failing the whole context.
    const bool valid =
        std::all_of(lengths.begin(), lengths.end(), [](double l) { return std::isfinite(l) && l >= 0; }) &&
        std::any_of(lengths.begin(), lengths.end(), [](double l) { return l > 0; });
    if (!valid || lengths.size() > INT_MAX) {
        cairo_set_dash(mImpl->cr, nullptr, 0, 0);
        return;
    }
    cairo_set_dash(mImpl->cr, lengths.data(), static_cast<int>(lengths.size()), std::isfinite(phase) ? phase : 0);
}

void Context::setInterpolationQuality(InterpolationQuality quality) { mImpl->state.interpolation = quality; }

// --- the current path ------------------------------------------------------

template <typename Build>
void Context::addToPath(Build&& build) {
    if (!drawable()) return;
    cairo_t* cr = mImpl->cr;
    // Seed with the current point so that the piece continues the sub-path
    // exactly as the Path value would; the seed itself is not replayed.
    Path piece;
    std::size_t from = 0;
    if (cairo_has_current_point(cr)) {
        double x = 0;
        double y = 0;
        cairo_get_current_point(cr, &x, &y);
        piece.moveTo({x, y});
        from = 1;
    }
    build(piece);
    replay(cr, piece, std::min(from, piece.elements().size()));
}

void Context::beginPath() { cairo_new_path(mImpl->cr); }

void Context::moveTo(Point p) {
    if (drawable() && finite(p)) cairo_move_to(mImpl->cr, p.x, p.y);
}

void Context::lineTo(Point p) {
    addToPath([&](Path& path) { path.lineTo(p); });
}

void Context::addCurveTo(Point control1, Point control2, Point end) {
    addToPath([&](Path& path) { path.addCurveTo(control1, control2, end); });
}

void Context::addQuadCurveTo(Point control, Point end) {
    addToPath([&](Path& path) { path.addQuadCurveTo(control, end); });
}

void Context::addArc(Point center, double radius, double startAngle, double endAngle, bool clockwise) {
    addToPath([&](Path& path) { path.addArc(center, radius, startAngle, endAngle, clockwise); });
}

void Context::addRect(const Rect& rect) {
    Path path;
    path.addRect(rect);
    addPath(path);
}

void Context::addEllipseInRect(const Rect& rect) {
    Path path;
    path.addEllipseInRect(rect);
    addPath(path);
}

void Context::addRoundedRect(const Rect& rect, double cornerRadius) {
    Path path;
    path.addRoundedRect(rect, cornerRadius);
    addPath(path);
}

void Context::addPath(const Path& path) {
    if (drawable()) replay(mImpl->cr, path);
}

void Context::addLines(const Point* points, std::size_t count) {
    if (!drawable()) return;
    cairo_t* cr = mImpl->cr;
    bool current = cairo_has_current_point(cr);
    for (std::size_t i = 0; i < count; ++i) {
        const Point p = points[i];
        if (!finite(p)) continue;
        if (current) {
            cairo_line_to(cr, p.x, p.y);
        } else {
            cairo_move_to(cr, p.x, p.y);
            current = true;
        }
    }
}

namespace {

// The squared distance of p from the segment a-b.
double squaredDistanceToSegment(Point p, Point a, Point b) {
    const double dx = b.x - a.x;
    const double dy = b.y - a.y;
    const double length = dx * dx + dy * dy;
    double t = length > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / length : 0;
    t = std::clamp(t, 0.0, 1.0);
    const double ex = a.x + t * dx - p.x;
    const double ey = a.y + t * dy - p.y;
    return ex * ex + ey * ey;
}

// Marks in `keep` the points of `line` a simplification within `tolerance`
// keeps (Douglas and Peucker's): the ends, and in each run the point
// farthest from the line between the run's ends while it lies beyond.
void markKeptPoints(const std::vector<Point>& line, double tolerance, std::vector<char>& keep) {
    keep.assign(line.size(), 0);
    keep.front() = keep.back() = 1;
    thread_local std::vector<std::pair<std::size_t, std::size_t>> runs;
    runs.clear();
    runs.emplace_back(0, line.size() - 1);
    const double limit = tolerance * tolerance;
    while (!runs.empty()) {
        const auto [first, last] = runs.back();
        runs.pop_back();
        double farthest = limit;
        std::size_t at = 0;
        for (std::size_t i = first + 1; i < last; ++i) {
            const double distance = squaredDistanceToSegment(line[i], line[first], line[last]);
            if (distance > farthest) {
                farthest = distance;
                at = i;
            }
        }
        if (at == 0) continue;
        keep[at] = 1;
        runs.emplace_back(first, at);
        runs.emplace_back(at, last);
    }
}

// Runs shorter than this are added whole.
constexpr std::size_t kFewestToThin = 5;

// A sub-path of straight lines from points[0] (moved to) for a fill on a
// bitmap, without the points within kFillOutlineTolerance device pixels of
// the line between the points kept around them. Measured by the
// transform's linear part alone, so that drawings that differ only by a
// translation (a tile and its bands, two tiles) keep the same points.
void addThinnedRun(cairo_t* cr, const Point* points, std::size_t count) {
    if (count < kFewestToThin) {
        cairo_move_to(cr, points[0].x, points[0].y);
        for (std::size_t i = 1; i < count; ++i) cairo_line_to(cr, points[i].x, points[i].y);
        return;
    }
    cairo_matrix_t m;
    cairo_get_matrix(cr, &m);
    thread_local std::vector<Point> device;
    thread_local std::vector<char> keep;
    device.clear();
    for (std::size_t i = 0; i < count; ++i)
        device.push_back({m.xx * points[i].x + m.xy * points[i].y, m.yx * points[i].x + m.yy * points[i].y});
    markKeptPoints(device, Context::kFillOutlineTolerance, keep);
    cairo_move_to(cr, points[0].x, points[0].y);
    for (std::size_t i = 1; i < count; ++i) {
        if (keep[i]) cairo_line_to(cr, points[i].x, points[i].y);
    }
}

bool targetIsBitmap(cairo_t* cr) { return cairo_surface_get_type(cairo_get_target(cr)) == CAIRO_SURFACE_TYPE_IMAGE; }

// replay() for a path about to be filled: its runs of straight lines thinned
// as above on a bitmap.
void replayToFill(cairo_t* cr, const Path& path) {
    if (!targetIsBitmap(cr)) {
        replay(cr, path);
        return;
    }
    const auto& elements = path.elements();
    thread_local std::vector<Point> run;
    for (std::size_t i = 0; i < elements.size();) {
        if (elements[i].type != Path::ElementType::moveTo) {
            replayElement(cr, elements[i]);
            ++i;
            continue;
        }
        run.clear();
        run.push_back(elements[i].points[0]);
        std::size_t next = i + 1;
        for (; next < elements.size() && elements[next].type == Path::ElementType::lineTo; ++next)
            run.push_back(elements[next].points[0]);
        addThinnedRun(cr, run.data(), run.size());
        i = next;
    }
}

}  // namespace

void Context::addLinesToFill(const Point* points, std::size_t count) {
    if (!drawable()) return;
    cairo_t* cr = mImpl->cr;
    // Thinned only as the whole of a sub-path begun here, as a path's run of
    // lines is, so that both ways of giving the same outline fill alike.
    if (cairo_has_current_point(cr) || !targetIsBitmap(cr)) {
        addLines(points, count);
        return;
    }
    thread_local std::vector<Point> run;
    run.clear();
    for (std::size_t i = 0; i < count; ++i) {
        if (finite(points[i])) run.push_back(points[i]);
    }
    if (!run.empty()) addThinnedRun(cr, run.data(), run.size());
}

namespace {

// The pixel Cairo puts down for the colour at full coverage (premultiplied
// ARGB32), as Cairo itself works it out; the last few are kept.
std::uint32_t sourcePixel(const Color& color, double alpha) {
    struct Known {
        double red, green, blue, alpha;
        std::uint32_t pixel;
    };
    constexpr std::size_t kKept = 16;
    thread_local std::array<Known, kKept> known{};
    thread_local std::size_t count = 0;
    thread_local std::size_t next = 0;
    const double a = unit(color.alpha) * alpha;
    const double r = unit(color.red);
    const double g = unit(color.green);
    const double b = unit(color.blue);
    for (std::size_t i = 0; i < count; ++i) {
        const Known& k = known[i];
        if (k.red == r && k.green == g && k.blue == b && k.alpha == a) return k.pixel;
    }
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
    cairo_t* cr = cairo_create(surface);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_rgba(cr, r, g, b, a);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    std::uint32_t pixel = 0;
    if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS)
        std::memcpy(&pixel, cairo_image_surface_get_data(surface), sizeof pixel);
    cairo_surface_destroy(surface);
    known[next] = {r, g, b, a, pixel};
    next = (next + 1) % kKept;
    count = std::min(count + 1, kKept);
    return pixel;
}

// Fills the polygon straight onto the bitmap's pixels when that gives
// Cairo's fill (see fillLines); false, having drawn nothing, when it does
// not apply.
bool fillSmallPolygon(detail::ContextImpl& impl, const Point* points, std::size_t count) {
    const detail::ExtraState& state = impl.state;
    if (!impl.pixels || !impl.layers.empty() || state.degenerate || (state.clipped && !state.clipDevice) ||
        cairo_get_antialias(impl.cr) != CAIRO_ANTIALIAS_DEFAULT || cairo_get_operator(impl.cr) != CAIRO_OPERATOR_OVER) {
        return false;
    }
    cairo_matrix_t m;
    cairo_get_matrix(impl.cr, &m);
    // The outline thinned as addLinesToFill thins it, by the transform's
    // linear part, then moved.
    thread_local std::vector<Point> linear;
    thread_local std::vector<char> keep;
    thread_local std::vector<Point> device;
    linear.clear();
    Point low{INFINITY, INFINITY};
    Point high{-INFINITY, -INFINITY};
    for (std::size_t i = 0; i < count; ++i) {
        const Point p = points[i];
        if (!finite(p)) continue;
        const Point q{m.xx * p.x + m.xy * p.y, m.yx * p.x + m.yy * p.y};
        // A point the transform takes out of range is Cairo's to handle.
        if (!finite(q)) return false;
        linear.push_back(q);
        low = {std::min(low.x, q.x), std::min(low.y, q.y)};
        high = {std::max(high.x, q.x), std::max(high.y, q.y)};
    }
    // Fewer than three points enclose nothing.
    if (linear.size() < 3) return true;
    // Thinning moves no side by more than its tolerance: an outline this
    // large stays too large, and is not thinned twice.
    constexpr double kMostBeforeThinning = detail::kPolygonCoverageMost + 2 * Context::kFillOutlineTolerance;
    if (high.x - low.x > kMostBeforeThinning || high.y - low.y > kMostBeforeThinning) return false;
    if (linear.size() >= kFewestToThin) {
        markKeptPoints(linear, Context::kFillOutlineTolerance, keep);
    } else {
        keep.assign(linear.size(), 1);
    }
    device.clear();
    for (std::size_t i = 0; i < linear.size(); ++i) {
        if (!keep[i]) continue;
        const Point p{linear[i].x + m.x0, linear[i].y + m.y0};
        // Without sides of no length (a point twice, an outline closed on
        // its first point), which would meet the sides around them.
        if (device.empty() || p.x != device.back().x || p.y != device.back().y) device.push_back(p);
    }
    while (device.size() > 1 && device.back().x == device.front().x && device.back().y == device.front().y)
        device.pop_back();
    if (device.size() < 3) return true;
    double minX = device[0].x;
    double maxX = minX;
    double minY = device[0].y;
    double maxY = minY;
    for (const Point& p : device) {
        minX = std::min(minX, p.x);
        maxX = std::max(maxX, p.x);
        minY = std::min(minY, p.y);
        maxY = std::max(maxY, p.y);
    }
    // Far off the bitmap, beyond what the pixel arithmetic's ints hold:
    // Cairo's to cull.
    constexpr double kFar = 1 << 24;
    if (!(minX > -kFar && maxX < kFar && minY > -kFar && maxY < kFar)) return false;
    if (!(maxX - minX <= detail::kPolygonCoverageMost && maxY - minY <= detail::kPolygonCoverageMost) ||
        device.size() > detail::kPolygonCoverageMostPoints || !detail::isSimpleOutline(device.data(), device.size())) {
        return false;
    }
    // The pixels it may touch on the bitmap.
    const detail::PixelRect touched{std::max(static_cast<int>(std::floor(minX)), 0),
                                    std::max(static_cast<int>(std::floor(minY)), 0),
                                    std::min(static_cast<int>(std::ceil(maxX)), impl.pixels->width),
                                    std::min(static_cast<int>(std::ceil(maxY)), impl.pixels->height)};
    if (touched.x0 >= touched.x1 || touched.y0 >= touched.y1) return true;
    if (state.clipped) {
        // Cairo takes the clip's edges to 1/256 of a pixel.
        constexpr double kNear = 1.0 / 512;
        const Rect& clip = *state.clipDevice;
        if (touched.x0 < std::ceil(clip.minX() - kNear) || touched.y0 < std::ceil(clip.minY() - kNear) ||
            touched.x1 > std::floor(clip.maxX() + kNear) || touched.y1 > std::floor(clip.maxY() + kNear)) {
            return false;
        }
    }
    const std::uint32_t color = sourcePixel(state.fillColor, state.alpha);
    if ((color >> 24) == 0) return true;
    impl.clearUncleared();
    cairo_surface_flush(impl.surface);
    detail::fillPolygonCoverage(*impl.pixels, touched, device.data(), device.size(), color);
    cairo_surface_mark_dirty_rectangle(impl.surface, touched.x0, touched.y0, touched.x1 - touched.x0,
                                       touched.y1 - touched.y0);
    return true;
}

}  // namespace

void Context::fillLines(const Point* points, std::size_t count, FillRule rule) {
    // A simple outline fills alike by either rule.
    if (!drawable() || fillSmallPolygon(*mImpl, points, count)) return;
    PathKeeper keep(mImpl->cr);
    addLinesToFill(points, count);
    fill(rule);
}

void Context::closePath() {
    if (drawable() && cairo_has_current_point(mImpl->cr)) cairo_close_path(mImpl->cr);
}

bool Context::isPathEmpty() const { return !cairo_has_current_point(mImpl->cr); }

bool Context::drawsPixels() const { return targetIsBitmap(mImpl->cr); }

// --- painting --------------------------------------------------------------

void Context::fill(FillRule rule) {
    cairo_t* cr = mImpl->cr;
    if (drawable()) {
        mImpl->clearUncleared();
        cairo_set_fill_rule(cr, cairoRule(rule));
        setSource(cr, mImpl->state.fillColor, mImpl->state.alpha);
        cairo_fill(cr);
    }
    cairo_new_path(cr);
}

void Context::stroke() {
    cairo_t* cr = mImpl->cr;
    if (drawable()) {
        mImpl->clearUncleared();
        setSource(cr, mImpl->state.strokeColor, mImpl->state.alpha);
        cairo_stroke(cr);
    }
    cairo_new_path(cr);
}

void Context::clip(FillRule rule) {
    cairo_t* cr = mImpl->cr;
    if (drawable()) {
        cairo_set_fill_rule(cr, cairoRule(rule));
        cairo_clip(cr);
        mImpl->state.clipped = true;
        mImpl->state.clipPixels =
            cairo_surface_get_type(mImpl->surface) == CAIRO_SURFACE_TYPE_IMAGE && mImpl->layers.empty()
                ? clipInPixels(cr, mImpl->surface)
                : std::nullopt;
        mImpl->state.clippedToPath = true;
        mImpl->state.clipDevice.reset();
    }
    cairo_new_path(cr);
}

namespace {

// The pixels of the bitmap itself that an opaque fill of `path` replaces
// wholly: those of a rectangle upright on whole device pixels, within the
// clip when that is one rectangle of whole pixels. None otherwise.
std::optional<detail::PixelRect> opaqueRectPixels(const detail::ContextImpl& impl, const Path& path) {
    using Type = Path::ElementType;
    const auto& e = path.elements();
    if (e.size() != 5 || e[0].type != Type::moveTo || e[1].type != Type::lineTo || e[2].type != Type::lineTo ||
        e[3].type != Type::lineTo || e[4].type != Type::closeSubpath || !impl.layers.empty() ||
        (impl.state.clipped && !impl.state.clipPixels) || !impl.pixels) {
        return std::nullopt;
    }
    cairo_matrix_t m;
    cairo_get_matrix(impl.cr, &m);
    constexpr double kNear = 1e-9;
    if (std::abs(m.xy) >= kNear || std::abs(m.yx) >= kNear) return std::nullopt;
    std::array<Point, 4> corners;
    for (std::size_t i = 0; i < 4; ++i) {
        const Point p = e[i].points[0];
        corners[i] = {m.xx * p.x + m.x0, m.yy * p.y + m.y0};
    }
    // Each side upright: one coordinate the same at both ends.
    for (std::size_t i = 0; i < 4; ++i) {
        const Point& a = corners[i];
        const Point& b = corners[(i + 1) % 4];
        if (a.x != b.x && a.y != b.y) return std::nullopt;
    }
    const auto [left, right] = std::minmax({corners[0].x, corners[1].x, corners[2].x, corners[3].x});
    const auto [top, bottom] = std::minmax({corners[0].y, corners[1].y, corners[2].y, corners[3].y});
    const auto whole = [](double v) { return std::isfinite(v) && std::abs(v - std::round(v)) < 1e-6; };
    if (!whole(left) || !whole(right) || !whole(top) || !whole(bottom)) return std::nullopt;
    const auto within = [](double v, int most) {
        return static_cast<int>(std::clamp(std::round(v), 0.0, double(most)));
    };
    detail::PixelRect r{within(left, impl.pixels->width), within(top, impl.pixels->height),
                        within(right, impl.pixels->width), within(bottom, impl.pixels->height)};
    if (impl.state.clipped) {
        const detail::PixelRect& clip = *impl.state.clipPixels;
        r = {std::max(r.x0, clip.x0), std::max(r.y0, clip.y0), std::min(r.x1, clip.x1), std::min(r.y1, clip.y1)};
    }
    if (r.x0 >= r.x1 || r.y0 >= r.y1) return std::nullopt;
    return r;
}

}  // namespace

void Context::fillPath(const Path& path, FillRule rule) {
    PathKeeper keep(mImpl->cr);
    if (drawable()) replayToFill(mImpl->cr, path);
    // An opaque rectangle on whole pixels replaces what is below it: the
    // part of a reused bitmap not yet cleared that it covers is not
    // cleared first (a screen's background over a frame drawn before), and
    // the rest, which it does not touch, is left for later.
    const detail::ExtraState& state = mImpl->state;
    if (!mImpl->uncleared.empty() && drawable() && state.alpha >= 1 && state.fillColor.alpha >= 1) {
        if (const auto replaced = opaqueRectPixels(*mImpl, path)) {
            mImpl->covered(*replaced);
            cairo_t* cr = mImpl->cr;
            cairo_set_fill_rule(cr, cairoRule(rule));
            setSource(cr, state.fillColor, state.alpha);
            cairo_fill(cr);
            cairo_new_path(cr);
            return;
        }
    }
    fill(rule);
}

void Context::strokePath(const Path& path) {
    PathKeeper keep(mImpl->cr);
    addPath(path);
    stroke();
}

void Context::clipToPath(const Path& path, FillRule rule) {
    PathKeeper keep(mImpl->cr);
    addPath(path);
    clip(rule);
}

void Context::fillRect(const Rect& rect) {
    Path path;
    path.addRect(rect);
    fillPath(path);
}

void Context::clipToRect(const Rect& rect) {
    cairo_matrix_t m;
    cairo_get_matrix(mImpl->cr, &m);
    detail::ExtraState& state = mImpl->state;
    const bool toPath = state.clippedToPath;
    const bool wasClipped = state.clipped;
    const std::optional<Rect> before = state.clipDevice;
    Path path;
    path.addRect(rect);
    clipToPath(path);
    if (m.xy != 0 || m.yx != 0) return;
    // Text draws faster in a clip it knows to be rectangles.
    state.clippedToPath = toPath;
    // Small fills, when they lie inside it.
    if (!drawable() || !finite(rect)) return;
    const double x0 = m.xx * rect.minX() + m.x0;
    const double x1 = m.xx * rect.maxX() + m.x0;
    const double y0 = m.yy * rect.minY() + m.y0;
    const double y1 = m.yy * rect.maxY() + m.y0;
    Rect device{std::min(x0, x1), std::min(y0, y1), std::abs(x1 - x0), std::abs(y1 - y0)};
    if (wasClipped) {
        if (!before) return;
        const double left = std::max(device.minX(), before->minX());
        const double top = std::max(device.minY(), before->minY());
        const double right = std::min(device.maxX(), before->maxX());
        const double bottom = std::min(device.maxY(), before->maxY());
        device = {left, top, std::max(right - left, 0.0), std::max(bottom - top, 0.0)};
    }
    state.clipDevice = device;
}

void Context::drawLinearGradient(const std::vector<GradientStop>& stops, Point start, Point end, bool extend) {
    if (!drawable() || stops.empty() || !finite(start) || !finite(end)) return;
    std::vector<GradientStop> sorted = stops;
    for (auto& stop : sorted) stop.location = unit(stop.location);
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const GradientStop& a, const GradientStop& b) { return a.location < b.location; });
    cairo_pattern_t* pattern = cairo_pattern_create_linear(start.x, start.y, end.x, end.y);
    for (const auto& stop : sorted) {
        cairo_pattern_add_color_stop_rgba(pattern, stop.location, unit(stop.color.red), unit(stop.color.green),
                                          unit(stop.color.blue), unit(stop.color.alpha));
    }
    cairo_pattern_set_extend(pattern, extend ? CAIRO_EXTEND_PAD : CAIRO_EXTEND_NONE);
    mImpl->clearUncleared();
    cairo_t* cr = mImpl->cr;
    cairo_save(cr);
    cairo_set_source(cr, pattern);
    cairo_paint_with_alpha(cr, mImpl->state.alpha);
    cairo_restore(cr);
    cairo_pattern_destroy(pattern);
}

void Context::beginTransparencyLayer() {
    mImpl->clearUncleared();
    const double alpha = mImpl->state.alpha;
    save();
    mImpl->layers.push_back({mImpl->saved.size(), alpha});
    cairo_push_group(mImpl->cr);
    mImpl->state.alpha = 1;
}

void Context::endTransparencyLayer() { endLayer(nullptr, {}); }

void Context::endTransparencyLayer(const Image& mask, const Rect& maskRect) { endLayer(&mask, maskRect); }

void Context::endLayer(const Image* mask, const Rect& maskRect) {
    auto& layers = mImpl->layers;
    if (layers.empty()) return;
    while (mImpl->saved.size() > layers.back().depth) restore();
    cairo_t* cr = mImpl->cr;
    cairo_pattern_t* group = cairo_pop_group(cr);
    const double alpha = layers.back().alpha;
    layers.pop_back();
    restore();
    if (drawable()) {
        PathKeeper keep(cr);
        cairo_save(cr);
        if (mask == nullptr) {
            cairo_set_source(cr, group);
            cairo_paint_with_alpha(cr, alpha);
        } else {
            const detail::ImageImpl& pixels = mask->impl();
            const int width = cairo_image_surface_get_width(pixels.surface);
            const int height = cairo_image_surface_get_height(pixels.surface);
            if (finite(maskRect) && !maskRect.isEmpty() && width > 0 && height > 0) {
                cairo_pattern_t* maskPattern = cairo_pattern_create_for_surface(pixels.surface);
                cairo_matrix_t placement;
                cairo_matrix_init_scale(&placement, width / maskRect.width, height / maskRect.height);
                cairo_matrix_translate(&placement, -maskRect.x, -maskRect.y);
                cairo_pattern_set_matrix(maskPattern, &placement);
                cairo_pattern_set_filter(maskPattern, CAIRO_FILTER_GOOD);
                // The alpha of the layer applies to the masked group as a whole.
                if (alpha < 1) cairo_push_group(cr);
                cairo_set_source(cr, group);
                cairo_mask(cr, maskPattern);
                if (alpha < 1) {
                    cairo_pop_group_to_source(cr);
                    cairo_paint_with_alpha(cr, alpha);
                }
                cairo_pattern_destroy(maskPattern);
            }
        }
        cairo_restore(cr);
    }
    cairo_pattern_destroy(group);
}

namespace {

// Prepends the transform that puts an image's pixels onto `rect` and clips
// to them; false when that cannot draw anything (no pixels, or a rectangle
// too small for Cairo to invert the transform). Caller has saved the state.
// Sets `onPixels` when the image lands pixel on pixel.
bool placeImagePixels(cairo_t* cr, cairo_surface_t* surface, const Rect& rect, bool* onPixels = nullptr) {
    const int width = cairo_image_surface_get_width(surface);
    const int height = cairo_image_surface_get_height(surface);
    if (width <= 0 || height <= 0) return false;
    const AffineTransform placement = AffineTransform::concat(
        AffineTransform::scale(rect.width / width, rect.height / height), AffineTransform::translation(rect.x, rect.y));
    if (!prependChecked(cr, placement)) return false;
    const bool snapped = snapToPixels(cr);
    if (onPixels != nullptr) *onPixels = snapped;
    cairo_rectangle(cr, 0, 0, width, height);
    cairo_clip(cr);
    return true;
}

// Pixels sampled at the context's quality; padding keeps the edges crisp
// instead of fading into transparency.
void setImageSampling(cairo_pattern_t* pattern, InterpolationQuality quality) {
    cairo_pattern_set_filter(pattern, cairoFilter(quality));
    cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
}

// Whether `rect` of user space lands wholly off the bitmap drawn on: the
// drawing can be skipped before Cairo sets it up (a frame drawn in bands
// passes every image to every band).
bool offBitmap(const detail::ContextImpl& impl, const Rect& rect) {
    if (cairo_surface_get_type(impl.surface) != CAIRO_SURFACE_TYPE_IMAGE) return false;
    cairo_matrix_t m;
    cairo_get_matrix(impl.cr, &m);
    double left = std::numeric_limits<double>::infinity();
    double top = left;
    double right = -left;
    double bottom = -left;
    for (const Point corner : {Point{rect.minX(), rect.minY()}, Point{rect.maxX(), rect.minY()},
                               Point{rect.minX(), rect.maxY()}, Point{rect.maxX(), rect.maxY()}}) {
        const double x = m.xx * corner.x + m.xy * corner.y + m.x0;
        const double y = m.yx * corner.x + m.yy * corner.y + m.y0;
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
    }
    return right <= 0 || bottom <= 0 || left >= cairo_image_surface_get_width(impl.surface) ||
           top >= cairo_image_surface_get_height(impl.surface);
}

// Puts an image down pixel on pixel, at full alpha, straight onto the
// bitmap's pixels: most images a frame draws are kept rasters placed so,
// and this is the compositing Cairo does for them without its setting up
// of source, clip and state for each. False, having drawn nothing, when the
// image is not placed so, or the context has an open layer or a clip other
// than one rectangle of whole pixels.
bool copyOntoPixels(detail::ContextImpl& impl, const detail::ImageImpl& image, const Rect& rect, double alpha) {
    if (alpha < 1 || (impl.state.clipped && !impl.state.clipPixels) || impl.state.degenerate || !impl.layers.empty() ||
        !impl.pixels || !image.pixels) {
        return false;
    }
    const int width = image.pixels->width;
    const int height = image.pixels->height;
    cairo_matrix_t m;
    cairo_get_matrix(impl.cr, &m);
    constexpr double kNear = 1e-9;
    const double x = m.xx * rect.x + m.x0;
    const double y = m.yy * rect.y + m.y0;
    const double dx = std::round(x);
    const double dy = std::round(y);
    if (std::abs(m.xy) >= kNear || std::abs(m.yx) >= kNear || std::abs(m.xx * rect.width / width - 1) >= kNear ||
        std::abs(m.yy * rect.height / height - 1) >= kNear || std::abs(x - dx) >= 1e-6 || std::abs(y - dy) >= 1e-6) {
        return false;
    }
    // The part that lands on the bitmap.
    const int targetWidth = impl.pixels->width;
    const int targetHeight = impl.pixels->height;
    double x0 = std::max(dx, 0.0);
    double y0 = std::max(dy, 0.0);
    double x1 = std::min(dx + width, static_cast<double>(targetWidth));
    double y1 = std::min(dy + height, static_cast<double>(targetHeight));
    if (impl.state.clipped) {
        const detail::PixelRect& clip = *impl.state.clipPixels;
        x0 = std::max(x0, static_cast<double>(clip.x0));
        y0 = std::max(y0, static_cast<double>(clip.y0));
        x1 = std::min(x1, static_cast<double>(clip.x1));
        y1 = std::min(y1, static_cast<double>(clip.y1));
    }
    if (!(x0 < x1 && y0 < y1)) return true;
    const detail::ContextImpl::PixelRect area{static_cast<int>(x0), static_cast<int>(y0), static_cast<int>(x1),
                                              static_cast<int>(y1)};
    const bool opaque = image.opaque();
    if (!opaque) impl.clearUncleared();
    // An image's pixels are final once made (and bands read them at once:
    // flushing one writes to it); the bitmap's may still be Cairo's.
    cairo_surface_flush(impl.surface);
    if (impl.pixelImage == nullptr) {
        impl.pixelImage = pixman_image_create_bits(PIXMAN_a8r8g8b8, targetWidth, targetHeight, impl.pixels->data,
                                                   impl.pixels->stride);
    }
    pixman_image_t* from =
        pixman_image_create_bits(PIXMAN_a8r8g8b8, width, height, image.pixels->data, image.pixels->stride);
    if (from == nullptr || impl.pixelImage == nullptr) {
        if (from != nullptr) pixman_image_unref(from);
        return false;
    }
    const int sx = static_cast<int>(dx);
    const int sy = static_cast<int>(dy);
    const auto put = [&](int x0, int y0, int x1, int y1) {
        pixman_image_composite32(opaque ? PIXMAN_OP_SRC : PIXMAN_OP_OVER, from, nullptr, impl.pixelImage, x0 - sx,
                                 y0 - sy, 0, 0, x0, y0, x1 - x0, y1 - y0);
    };
    if (!opaque && image.tracksInk()) {
        // A large image mostly clear: only the columns of each few rows
        // that hold anything; clear pixels drawn over change nothing.
        constexpr int kRun = detail::ImageImpl::kInkRows;
        for (int run = (area.y0 - sy) / kRun; run * kRun + sy < area.y1; ++run) {
            const auto ink = image.inkColumns(run);
            const int x0 = std::max(area.x0, ink->x0 + sx);
            const int x1 = std::min(area.x1, ink->x1 + sx);
            if (x0 < x1) put(x0, std::max(area.y0, run * kRun + sy), x1, std::min(area.y1, (run + 1) * kRun + sy));
        }
    } else {
        put(area.x0, area.y0, area.x1, area.y1);
    }
    pixman_image_unref(from);
    cairo_surface_mark_dirty_rectangle(impl.surface, area.x0, area.y0, area.x1 - area.x0, area.y1 - area.y0);
    if (opaque) impl.covered(area);
    return true;
}

}  // namespace

void Context::fillMask(const Image& mask, const Rect& rect) {
    if (!drawable() || !finite(rect) || rect.isEmpty()) return;
    mImpl->clearUncleared();
    cairo_t* cr = mImpl->cr;
    PathKeeper keep(cr);
    cairo_save(cr);
    if (placeImagePixels(cr, mask.impl().surface, rect)) {
        setSource(cr, mImpl->state.fillColor, mImpl->state.alpha);
        cairo_pattern_t* maskPattern = cairo_pattern_create_for_surface(mask.impl().surface);
        setImageSampling(maskPattern, mImpl->state.interpolation);
        cairo_mask(cr, maskPattern);
        cairo_pattern_destroy(maskPattern);
    }
    cairo_restore(cr);
}

void Context::drawImage(const Image& image, const Rect& rect, double alpha) {
    if (!drawable() || !finite(rect) || rect.isEmpty() || !std::isfinite(alpha) || offBitmap(*mImpl, rect)) return;
    if (copyOntoPixels(*mImpl, image.impl(), rect, std::clamp(alpha, 0.0, 1.0) * mImpl->state.alpha)) return;
    cairo_t* cr = mImpl->cr;
    PathKeeper keep(cr);
    cairo_save(cr);
    bool onPixels = false;
    if (placeImagePixels(cr, image.impl().surface, rect, &onPixels)) {
        cairo_set_source_surface(cr, image.impl().surface, 0, 0);
        setImageSampling(cairo_get_source(cr), mImpl->state.interpolation);
        const double paintAlpha = std::clamp(alpha, 0.0, 1.0) * mImpl->state.alpha;
        // An opaque image put down pixel on pixel on the bitmap itself hides
        // what is below it: that part need not be cleared first.
        std::optional<detail::ContextImpl::PixelRect> hidden;
        if (!mImpl->uncleared.empty() && onPixels && paintAlpha >= 1 && mImpl->layers.empty() &&
            image.impl().opaque()) {
            hidden = clipInPixels(cr, mImpl->surface);
        }
        if (!hidden) mImpl->clearUncleared();
        cairo_paint_with_alpha(cr, paintAlpha);
        if (hidden) mImpl->covered(*hidden);
    }
    cairo_restore(cr);
}

namespace {

struct TextPlacement {
    Point origin;
    std::optional<Rect> box;  // wrap width and clip, when drawing in a rectangle
    TextAlignment alignment = TextAlignment::left;
};

// Caller holds the Pango lock and has saved the Cairo state.
void drawTextLocked(cairo_t* cr, const std::string& utf8, const TextPlacement& placement,
                    const TextAttributes& attributes, double alpha) {
    const double laidOutSize = std::min(attributes.fontSize, detail::kLargestLaidOutSize);
    const double factor = attributes.fontSize / laidOutSize;

    // A layout wrapped to a box is changed below, so it is made afresh.
    PangoLayout* layout = placement.box ? detail::makeLayoutLocked(utf8, attributes.fontName, laidOutSize)
                                        : detail::keptLayoutLocked(utf8, attributes.fontName, laidOutSize);
    if (placement.box) {
        const double width = std::abs(placement.box->width) / factor * PANGO_SCALE;
        if (width < INT_MAX) {
            pango_layout_set_width(layout, static_cast<int>(std::lround(width)));
            pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
        }
        pango_layout_set_alignment(layout, placement.alignment == TextAlignment::center  ? PANGO_ALIGN_CENTER
                                           : placement.alignment == TextAlignment::right ? PANGO_ALIGN_RIGHT
                                                                                         : PANGO_ALIGN_LEFT);
        cairo_rectangle(cr, placement.box->minX(), placement.box->minY(), std::abs(placement.box->width),
                        std::abs(placement.box->height));
        cairo_clip(cr);
    }
    if (prependChecked(cr,
                       AffineTransform::concat(AffineTransform::scale(factor, factor),
                                               AffineTransform::translation(placement.origin.x, placement.origin.y)))) {
        cairo_move_to(cr, 0, 0);
        const double strokeWidth = std::isfinite(attributes.strokeWidth) ? attributes.strokeWidth : 0;
        const bool fillGlyphs = strokeWidth <= 0;
        if (strokeWidth == 0) {
            setSource(cr, attributes.color, alpha);
            pango_cairo_show_layout(cr, layout);
        } else {
            pango_cairo_layout_path(cr, layout);
            if (fillGlyphs) {
                setSource(cr, attributes.color, alpha);
                cairo_fill_preserve(cr);
            }
            setSource(cr, attributes.strokeColor.value_or(attributes.color), alpha);
            // A percentage of the font size, in the laid-out (unscaled) space.
            cairo_set_line_width(cr, std::abs(strokeWidth) * laidOutSize / 100);
            cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
            cairo_set_dash(cr, nullptr, 0, 0);
            cairo_stroke(cr);
        }
    }
    g_object_unref(layout);
}

}  // namespace

void Context::drawText(const std::string& utf8, Point topLeft, const TextAttributes& attributes) {
    if (!drawable() || !finite(topLeft) || !std::isfinite(attributes.fontSize) || attributes.fontSize <= 0) return;
    mImpl->clearUncleared();
    cairo_t* cr = mImpl->cr;
    PathKeeper keep(cr);
    cairo_save(cr);
    {
        std::lock_guard lock(detail::pangoMutex());
        drawTextLocked(cr, utf8, TextPlacement{topLeft, std::nullopt, TextAlignment::left}, attributes,
                       mImpl->state.alpha);
    }
    cairo_restore(cr);
}

void Context::drawTextInRect(const std::string& utf8, const Rect& rect, const TextAttributes& attributes,
                             TextAlignment alignment) {
    if (!drawable() || !finite(rect) || rect.isEmpty() || !std::isfinite(attributes.fontSize) ||
        attributes.fontSize <= 0) {
        return;
    }
    mImpl->clearUncleared();
    cairo_t* cr = mImpl->cr;
    PathKeeper keep(cr);
    cairo_save(cr);
    {
        std::lock_guard lock(detail::pangoMutex());
        drawTextLocked(cr, utf8, TextPlacement{{rect.minX(), rect.minY()}, rect, alignment}, attributes,
                       mImpl->state.alpha);
    }
    cairo_restore(cr);
}

void Context::drawTextLayout(const TextLayout& layout, Point topLeft) {
    if (!drawable() || !finite(topLeft) || layout.lines().empty()) return;
    mImpl->clearUncleared();
    cairo_t* cr = mImpl->cr;
    PathKeeper keep(cr);
    cairo_save(cr);
    detail::drawTextLayout(cr, *layout.mImpl, topLeft, mImpl->state.alpha, !mImpl->state.clippedToPath);
    cairo_restore(cr);
}

void Context::drawTextLayout(const TextLayout& layout, Point topLeft, const Rect& clip) {
    cairo_t* cr = mImpl->cr;
    cairo_matrix_t m;
    cairo_get_matrix(cr, &m);
    // Upright with no clip yet, the clip is left to the text: glyphs drawn
    // from masks keep to its pixels by themselves, and setting Cairo's clip
    // (and reading it back) costs more than drawing a short label.
    if (mImpl->state.clipped || !mImpl->layers.empty() || m.xy != 0 || m.yx != 0 || !finite(clip)) {
        save();
        clipToRect(clip);
        drawTextLayout(layout, topLeft);
        restore();
        return;
    }
    if (!drawable() || !finite(topLeft) || layout.lines().empty()) return;
    mImpl->clearUncleared();
    const double corners[] = {m.xx * clip.minX() + m.x0, m.yy * clip.minY() + m.y0, m.xx * clip.maxX() + m.x0,
                              m.yy * clip.maxY() + m.y0};
    PathKeeper keep(cr);
    cairo_save(cr);
    detail::drawTextLayout(cr, *layout.mImpl, topLeft, mImpl->state.alpha, true, corners);
    cairo_restore(cr);
}

}  // namespace platform
