#pragma once
// CPoint: the unit of all engine geometry, three doubles (plan x, plan y,
// height z). Angles are degrees; positive angles turn counter-clockwise in the
// plan (x towards y).
//
// The operations are virtual, and those built on other operations call them
// through the virtual table: a subclass overriding Set (x, y), Translate,
// RotateAroundZAxis, Rotate (cx, cy, angle) or Distance3D (point) changes the
// operations built on them.

#include <string>

class CPoint {
public:
    static constexpr double kDegreesToRadians = 0.017453292519943295;
    static constexpr double kRadiansToDegrees = 57.29577951308232;

    CPoint() = default;
    CPoint(double x, double y, double z = 0.0) : x(x), y(y), z(z) {}
    CPoint(const CPoint&) = default;
    CPoint& operator=(const CPoint&) = default;

    // The shared origin (0, 0, 0), used to reset positions and as the
    // default centre.
    static const CPoint& Origin();

    // The point halfway between `a` and `b`: x, y and z averaged.
    static CPoint MidPoint(const CPoint& a, const CPoint& b);

    virtual ~CPoint() = default;

    // Sets x and y; z keeps its value.
    virtual void Set(double newX, double newY);
    virtual void Set(double newX, double newY, double newZ);

    virtual CPoint& Translate(double dx, double dy, double dz);
    // Scales x, y and z about `centre` (whose z counts too).
    virtual void Scale(const CPoint& centre, double factor);

    // Turns (y, z) about (cy, cz). An angle of exactly 0 changes nothing.
    virtual void RotateAroundXAxis(double cy, double cz, double angle);
    // Turns (x, z) about (cx, cz). An angle of exactly 0 changes nothing.
    virtual void RotateAroundYAxis(double cx, double cz, double angle);
    // Turns (x, y) about (cx, cy): the plan rotation. An angle of exactly 0
    // changes nothing.
    virtual void RotateAroundZAxis(double cx, double cy, double angle);
    virtual void Rotate(double cx, double cy, double angle);
    virtual void Rotate(const CPoint& centre, double angle);

    virtual double Distance2D(const CPoint& other) const;
    virtual double Distance3D(const CPoint& other) const;
    virtual double Distance3D(double otherX, double otherY, double otherZ) const;

    // Plan direction from this point to `other`, in degrees in [-180, 180].
    // When both x are equal the result is 90 (dy >= 0) or -90 (dy < 0), so a
    // point's angle to itself is 90.
    virtual double AngleTo(const CPoint& other) const;

    // True when every coordinate differs by strictly less than `tolerance`;
    // false for a tolerance of 0 and for NaN coordinates.
    virtual bool IsEqual(const CPoint& other, double tolerance) const;

    // "<CPoint 0x...> x: ...; y: ...; z: ..." with `precision` decimals, cut
    // to 63 characters.
    virtual std::string Dump(int precision) const;

    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
};

// A plan turn by one fixed angle, its sine and cosine worked out once for
// any number of points. Apply gives bit for bit what RotateAroundZAxis gives
// a plain CPoint (an angle of exactly 0 changes nothing).
class CPlanTurn {
public:
    explicit CPlanTurn(double angle);

    // Turns (x, y) about (cx, cy).
    void Apply(double& x, double& y, double cx, double cy) const {
        if (mNone) return;
        const double dx = x - cx;
        const double dy = y - cy;
        x = dx * mCos - dy * mSin + cx;
        y = dx * mSin + dy * mCos + cy;
    }

private:
    bool mNone;
    double mSin = 0.0;
    double mCos = 1.0;
};
