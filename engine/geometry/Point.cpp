#include "engine/geometry/Point.h"

#include <cmath>
#include <cstdio>

namespace {

// Turns (a, b) about (ca, cb) by `angle` degrees, counter-clockwise from a
// towards b. Exactly 0 returns before any arithmetic so that the coordinates
// stay bit for bit unchanged.
void RotatePair(double& a, double& b, double ca, double cb, double angle) { CPlanTurn(angle).Apply(a, b, ca, cb); }

}  // namespace

CPlanTurn::CPlanTurn(double angle) : mNone(angle == 0.0) {
    if (mNone) return;
    const double radians = angle * CPoint::kDegreesToRadians;
    mSin = std::sin(radians);
    mCos = std::cos(radians);
}

const CPoint& CPoint::Origin() {
    static const CPoint origin;
    return origin;
}

CPoint CPoint::MidPoint(const CPoint& a, const CPoint& b) {
    return CPoint((a.x + b.x) / 2.0, (a.y + b.y) / 2.0, (a.z + b.z) / 2.0);
}

void CPoint::Set(double newX, double newY) {
    x = newX;
    y = newY;
}

void CPoint::Set(double newX, double newY, double newZ) {
    Set(newX, newY);
    z = newZ;
}

CPoint& CPoint::Translate(double dx, double dy, double dz) {
    x += dx;
    y += dy;
    z += dz;
    return *this;
}

void CPoint::Scale(const CPoint& centre, double factor) {
    // Copy the centre first: it may be this very point.
    const double cx = centre.x;
    const double cy = centre.y;
    const double cz = centre.z;
    Translate(-cx, -cy, -cz);
    x *= factor;
    y *= factor;
    z *= factor;
    Translate(cx, cy, cz);
}

void CPoint::RotateAroundXAxis(double cy, double cz, double angle) { RotatePair(y, z, cy, cz, angle); }

void CPoint::RotateAroundYAxis(double cx, double cz, double angle) { RotatePair(x, z, cx, cz, angle); }

void CPoint::RotateAroundZAxis(double cx, double cy, double angle) { RotatePair(x, y, cx, cy, angle); }

void CPoint::Rotate(double cx, double cy, double angle) { RotateAroundZAxis(cx, cy, angle); }

void CPoint::Rotate(const CPoint& centre, double angle) { Rotate(centre.x, centre.y, angle); }

double CPoint::Distance2D(const CPoint& other) const { return std::hypot(other.x - x, other.y - y); }

double CPoint::Distance3D(const CPoint& other) const {
    const double dx = other.x - x;
    const double dy = other.y - y;
    const double dz = other.z - z;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

double CPoint::Distance3D(double otherX, double otherY, double otherZ) const {
    return Distance3D(CPoint(otherX, otherY, otherZ));
}

double CPoint::AngleTo(const CPoint& other) const {
    const double dx = other.x - x;
    const double dy = other.y - y;
    if (dx == 0.0) return dy >= 0.0 ? 90.0 : -90.0;
    return std::atan2(dy, dx) * kRadiansToDegrees;
}

bool CPoint::IsEqual(const CPoint& other, double tolerance) const {
    return std::fabs(other.x - x) < tolerance && std::fabs(other.y - y) < tolerance &&
           std::fabs(other.z - z) < tolerance;
}

std::string CPoint::Dump(int precision) const {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "<CPoint %p> x: %.*f; y: %.*f; z: %.*f", static_cast<const void*>(this),
                  precision, x, precision, y, precision, z);
    return buffer;
}
