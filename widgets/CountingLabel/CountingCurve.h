#pragma once
// The easing curves of a counting label: t from 0 to 1 to the share of the
// count made, 0 at the start and 1 at the end. Powers and products are
// taken in single precision.

#include <memory>

class CountingCurve {
public:
    virtual ~CountingCurve() = default;
    virtual double update(double t) const = 0;
};

class CountingCurveEaseInOut : public CountingCurve {
public:
    double update(double t) const override;
};
class CountingCurveEaseIn : public CountingCurve {
public:
    double update(double t) const override;
};
class CountingCurveEaseOut : public CountingCurve {
public:
    double update(double t) const override;
};
class CountingCurveLinear : public CountingCurve {
public:
    double update(double t) const override;
};
// The ease-out bounce played backwards: small hops that grow into the end.
class CountingCurveEaseInBounce : public CountingCurve {
public:
    double update(double t) const override;
};
class CountingCurveEaseOutBounce : public CountingCurve {
public:
    double update(double t) const override;
};

// The curve for a counting method (0 ease in and out, 1 ease in, 2 ease
// out, 3 linear, 4 ease-in bounce, 5 ease-out bounce); linear for any other.
std::unique_ptr<CountingCurve> makeCountingCurve(unsigned method);
