#include "platform/ui/core/Transform3D.h"

#include <array>
#include <cmath>

namespace platform::ui {

namespace {

using Matrix = std::array<std::array<double, 4>, 4>;

Matrix toMatrix(const Transform3D& t) {
    return {{{t.m11, t.m12, t.m13, t.m14},
             {t.m21, t.m22, t.m23, t.m24},
             {t.m31, t.m32, t.m33, t.m34},
             {t.m41, t.m42, t.m43, t.m44}}};
}

Transform3D fromMatrix(const Matrix& m) {
    return {m[0][0], m[0][1], m[0][2], m[0][3], m[1][0], m[1][1], m[1][2], m[1][3],
            m[2][0], m[2][1], m[2][2], m[2][3], m[3][0], m[3][1], m[3][2], m[3][3]};
}

}  // namespace

Transform3D Transform3D::translation(double tx, double ty, double tz) {
    Transform3D t;
    t.m41 = tx;
    t.m42 = ty;
    t.m43 = tz;
    return t;
}

Transform3D Transform3D::scale(double sx, double sy, double sz) {
    Transform3D t;
    t.m11 = sx;
    t.m22 = sy;
    t.m33 = sz;
    return t;
}

Transform3D Transform3D::rotation(double radians, double x, double y, double z) {
    const double length = std::sqrt(x * x + y * y + z * z);
    if (!(length > 0) || !std::isfinite(length)) return {};
    x /= length;
    y /= length;
    z /= length;
    const double c = std::cos(radians);
    const double s = std::sin(radians);
    const double k = 1 - c;
    Transform3D t;
    t.m11 = c + x * x * k;
    t.m12 = y * x * k + z * s;
    t.m13 = z * x * k - y * s;
    t.m21 = x * y * k - z * s;
    t.m22 = c + y * y * k;
    t.m23 = z * y * k + x * s;
    t.m31 = x * z * k + y * s;
    t.m32 = y * z * k - x * s;
    t.m33 = c + z * z * k;
    return t;
}

Transform3D Transform3D::fromAffine(const AffineTransform& a) {
    Transform3D t;
    t.m11 = a.a;
    t.m12 = a.b;
    t.m21 = a.c;
    t.m22 = a.d;
    t.m41 = a.tx;
    t.m42 = a.ty;
    return t;
}

Transform3D Transform3D::concat(const Transform3D& first, const Transform3D& second) {
    const Matrix a = toMatrix(first);
    const Matrix b = toMatrix(second);
    Matrix r{};
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            double sum = 0;
            for (int k = 0; k < 4; ++k) sum += a[i][k] * b[k][j];
            r[i][j] = sum;
        }
    }
    return fromMatrix(r);
}

Transform3D Transform3D::translated(double tx, double ty, double tz) const {
    return concat(translation(tx, ty, tz), *this);
}

Transform3D Transform3D::scaled(double sx, double sy, double sz) const { return concat(scale(sx, sy, sz), *this); }

Transform3D Transform3D::rotated(double radians, double x, double y, double z) const {
    return concat(rotation(radians, x, y, z), *this);
}

std::optional<Transform3D> Transform3D::inverted() const {
    // Gauss-Jordan elimination with partial pivoting.
    Matrix a = toMatrix(*this);
    Matrix inverse = toMatrix(Transform3D{});
    for (int column = 0; column < 4; ++column) {
        int pivot = column;
        for (int row = column + 1; row < 4; ++row) {
            if (std::abs(a[row][column]) > std::abs(a[pivot][column])) pivot = row;
        }
        const double p = a[pivot][column];
        if (p == 0 || !std::isfinite(p)) return std::nullopt;
        std::swap(a[pivot], a[column]);
        std::swap(inverse[pivot], inverse[column]);
        for (int j = 0; j < 4; ++j) {
            a[column][j] /= p;
            inverse[column][j] /= p;
        }
        for (int row = 0; row < 4; ++row) {
            if (row == column) continue;
            const double factor = a[row][column];
            if (factor == 0) continue;
            for (int j = 0; j < 4; ++j) {
                a[row][j] -= factor * a[column][j];
                inverse[row][j] -= factor * inverse[column][j];
            }
        }
    }
    const Transform3D result = fromMatrix(inverse);
    for (const auto& row : toMatrix(result)) {
        for (double v : row) {
            if (!std::isfinite(v)) return std::nullopt;
        }
    }
    return result;
}

bool Transform3D::isAffine() const {
    return m13 == 0 && m14 == 0 && m23 == 0 && m24 == 0 && m31 == 0 && m32 == 0 && m33 == 1 && m34 == 0 && m43 == 0 &&
           m44 == 1;
}

AffineTransform Transform3D::affine() const { return {m11, m12, m21, m22, m41, m42}; }

std::optional<TransformParts> TransformParts::of(const Transform3D& t) {
    if (t.m13 != 0 || t.m14 != 0 || t.m23 != 0 || t.m24 != 0 || t.m31 != 0 || t.m32 != 0 || t.m34 != 0 || t.m44 != 1) {
        return std::nullopt;
    }
    TransformParts parts;
    parts.translationX = t.m41;
    parts.translationY = t.m42;
    parts.translationZ = t.m43;
    parts.scaleZ = t.m33;
    // The upper 2 x 2 is scale(sx, sy) then a turn by r:
    // [sx cos r, sx sin r; -sy sin r, sy cos r].
    const double sx = std::hypot(t.m11, t.m12);
    const double r = sx > 0 ? std::atan2(t.m12, t.m11) : std::atan2(-t.m21, t.m22);
    parts.scaleX = sx;
    parts.rotationZ = r;
    parts.scaleY = t.m22 * std::cos(r) - t.m21 * std::sin(r);
    return parts;
}

Transform3D TransformParts::compose() const {
    Transform3D t = Transform3D::concat(Transform3D::scale(scaleX, scaleY, scaleZ), Transform3D::rotationZ(rotationZ));
    t.m41 = translationX;
    t.m42 = translationY;
    t.m43 = translationZ;
    return t;
}

}  // namespace platform::ui
