#include "platform/ui/core/AnimationValue.h"

#include <type_traits>

namespace platform::ui {

namespace {

double mix(double a, double b, double f) { return a + (b - a) * f; }

Point mix(Point a, Point b, double f) { return {mix(a.x, b.x, f), mix(a.y, b.y, f)}; }

Size mix(Size a, Size b, double f) { return {mix(a.width, b.width, f), mix(a.height, b.height, f)}; }

Rect mix(const Rect& a, const Rect& b, double f) {
    return {mix(a.x, b.x, f), mix(a.y, b.y, f), mix(a.width, b.width, f), mix(a.height, b.height, f)};
}

Color mix(const Color& a, const Color& b, double f) {
    return {mix(a.red, b.red, f), mix(a.green, b.green, f), mix(a.blue, b.blue, f), mix(a.alpha, b.alpha, f)};
}

Transform3D mix(const Transform3D& a, const Transform3D& b, double f) {
    const auto pa = TransformParts::of(a);
    const auto pb = TransformParts::of(b);
    if (pa && pb) {
        TransformParts p;
        p.translationX = mix(pa->translationX, pb->translationX, f);
        p.translationY = mix(pa->translationY, pb->translationY, f);
        p.translationZ = mix(pa->translationZ, pb->translationZ, f);
        p.scaleX = mix(pa->scaleX, pb->scaleX, f);
        p.scaleY = mix(pa->scaleY, pb->scaleY, f);
        p.scaleZ = mix(pa->scaleZ, pb->scaleZ, f);
        p.rotationZ = mix(pa->rotationZ, pb->rotationZ, f);
        return p.compose();
    }
    // Depth turns and perspective: entry by entry.
    return {mix(a.m11, b.m11, f), mix(a.m12, b.m12, f), mix(a.m13, b.m13, f), mix(a.m14, b.m14, f),
            mix(a.m21, b.m21, f), mix(a.m22, b.m22, f), mix(a.m23, b.m23, f), mix(a.m24, b.m24, f),
            mix(a.m31, b.m31, f), mix(a.m32, b.m32, f), mix(a.m33, b.m33, f), mix(a.m34, b.m34, f),
            mix(a.m41, b.m41, f), mix(a.m42, b.m42, f), mix(a.m43, b.m43, f), mix(a.m44, b.m44, f)};
}

std::optional<Path> mix(const Path& a, const Path& b, double f) {
    const auto& ea = a.elements();
    const auto& eb = b.elements();
    if (ea.size() != eb.size()) return std::nullopt;
    Path out;
    out.reserve(ea.size());
    for (std::size_t i = 0; i < ea.size(); ++i) {
        if (ea[i].type != eb[i].type) return std::nullopt;
        const auto& pa = ea[i].points;
        const auto& pb = eb[i].points;
        switch (ea[i].type) {
            case Path::ElementType::moveTo: out.moveTo(mix(pa[0], pb[0], f)); break;
            case Path::ElementType::lineTo: out.lineTo(mix(pa[0], pb[0], f)); break;
            case Path::ElementType::curveTo:
                out.addCurveTo(mix(pa[0], pb[0], f), mix(pa[1], pb[1], f), mix(pa[2], pb[2], f));
                break;
            case Path::ElementType::closeSubpath: out.closePath(); break;
        }
    }
    return out;
}

}  // namespace

AnimationValue interpolate(const AnimationValue& from, const AnimationValue& to, double f) {
    const AnimationValue& nearer = f < 0.5 ? from : to;
    if (from.index() != to.index()) return nearer;
    return std::visit(
        [&](const auto& a) -> AnimationValue {
            using T = std::decay_t<decltype(a)>;
            const T& b = std::get<T>(to);
            if constexpr (std::is_same_v<T, Path>) {
                if (auto path = mix(a, b, f)) return *std::move(path);
                return nearer;
            } else {
                return mix(a, b, f);
            }
        },
        from);
}

std::optional<AnimationValue> addValues(const AnimationValue& value, const AnimationValue& by) {
    if (value.index() != by.index()) return std::nullopt;
    return std::visit(
        [&](const auto& a) -> std::optional<AnimationValue> {
            using T = std::decay_t<decltype(a)>;
            const T& b = std::get<T>(by);
            if constexpr (std::is_same_v<T, double>) {
                return a + b;
            } else if constexpr (std::is_same_v<T, Point>) {
                return Point{a.x + b.x, a.y + b.y};
            } else if constexpr (std::is_same_v<T, Size>) {
                return Size{a.width + b.width, a.height + b.height};
            } else if constexpr (std::is_same_v<T, Rect>) {
                return Rect{a.x + b.x, a.y + b.y, a.width + b.width, a.height + b.height};
            } else if constexpr (std::is_same_v<T, Color>) {
                return Color{a.red + b.red, a.green + b.green, a.blue + b.blue, a.alpha + b.alpha};
            } else if constexpr (std::is_same_v<T, Transform3D>) {
                return Transform3D::concat(a, b);
            } else {
                return std::nullopt;
            }
        },
        value);
}

std::optional<AnimationValue> subtractValues(const AnimationValue& value, const AnimationValue& by) {
    if (value.index() != by.index()) return std::nullopt;
    if (const auto* t = std::get_if<Transform3D>(&by)) {
        const auto inverse = t->inverted();
        if (!inverse) return std::nullopt;
        return Transform3D::concat(std::get<Transform3D>(value), *inverse);
    }
    return std::visit(
        [&](const auto& b) -> std::optional<AnimationValue> {
            using T = std::decay_t<decltype(b)>;
            if constexpr (std::is_same_v<T, double>) {
                return addValues(value, -b);
            } else if constexpr (std::is_same_v<T, Point>) {
                return addValues(value, Point{-b.x, -b.y});
            } else if constexpr (std::is_same_v<T, Size>) {
                return addValues(value, Size{-b.width, -b.height});
            } else if constexpr (std::is_same_v<T, Rect>) {
                return addValues(value, Rect{-b.x, -b.y, -b.width, -b.height});
            } else if constexpr (std::is_same_v<T, Color>) {
                return addValues(value, Color{-b.red, -b.green, -b.blue, -b.alpha});
            } else {
                return std::nullopt;
            }
        },
        by);
}

}  // namespace platform::ui
