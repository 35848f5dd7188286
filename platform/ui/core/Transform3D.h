#pragma once
// A 3-D transform as layers have it: a 4 x 4 matrix applied to row vectors,
// (x y z 1) * M, so that the translation sits in m41, m42 and m43.
// concat(a, b) applies a first, then b; translated(), scaled() and rotated()
// prepend, as AffineTransform's do (the new step happens first). Positive
// angles turn +x towards +y, clockwise on a y-down screen.
//
// Layers are drawn flat: compositing projects a transform to the 2-D affine
// part (affine()), dropping depth and perspective.

#include "platform/graphics/AffineTransform.h"

#include <optional>

namespace platform::ui {

struct Transform3D {
    double m11 = 1, m12 = 0, m13 = 0, m14 = 0;
    double m21 = 0, m22 = 1, m23 = 0, m24 = 0;
    double m31 = 0, m32 = 0, m33 = 1, m34 = 0;
    double m41 = 0, m42 = 0, m43 = 0, m44 = 1;

    static Transform3D identity() { return {}; }
    static Transform3D translation(double tx, double ty, double tz = 0);
    static Transform3D scale(double sx, double sy, double sz = 1);
    // About the axis (x, y, z), which need not be of unit length; a zero
    // axis gives the identity.
    static Transform3D rotation(double radians, double x, double y, double z);
    static Transform3D rotationZ(double radians) { return rotation(radians, 0, 0, 1); }
    static Transform3D fromAffine(const AffineTransform& t);

    // `first` applied first, then `second`.
    static Transform3D concat(const Transform3D& first, const Transform3D& second);

    Transform3D translated(double tx, double ty, double tz = 0) const;
    Transform3D scaled(double sx, double sy, double sz = 1) const;
    Transform3D rotated(double radians, double x, double y, double z) const;

    // None when the matrix is singular or not finite.
    std::optional<Transform3D> inverted() const;

    bool isIdentity() const { return *this == Transform3D{}; }
    // True when only the entries of a 2-D affine transform differ from the
    // identity.
    bool isAffine() const;
    // The 2-D part: a = m11, b = m12, c = m21, d = m22, tx = m41, ty = m42.
    AffineTransform affine() const;

    friend bool operator==(const Transform3D&, const Transform3D&) = default;
};

// A transform taken apart as the key paths "transform.scale.x",
// "transform.rotation.z", "transform.translation.y" … see it: scale, then a
// turn about z, then translation. Only transforms that turn about z alone
// (no depth rotation, no perspective) come apart; a shear is lost.
struct TransformParts {
    double translationX = 0, translationY = 0, translationZ = 0;
    double scaleX = 1, scaleY = 1, scaleZ = 1;
    double rotationZ = 0;

    static std::optional<TransformParts> of(const Transform3D& t);
    Transform3D compose() const;
};

}  // namespace platform::ui
