#pragma once
// Generator 6: rebuilds a shortened straight or curve from its library
// prototype when a layout is loaded, and keeps the track component at its
// stored place in the element's component list.

#include "engine/generators/ComponentGenerator.h"

class CShortenedTrackComponentGenerator : public CComponentGenerator {
public:
    // Parameter keys.
    static constexpr int kLibraryNameKey = 0;
    static constexpr int kElementNameKey = 1;
    static constexpr int kStraightLengthKey = 2;
    static constexpr int kCurveArcAngleKey = 4;
    static constexpr int kGaugeKey = 7;
    static constexpr int kTrackbedWidthKey = 8;
    static constexpr int kPrototypeLengthKey = 34;
    static constexpr int kPrototypeArcAngleKey = 35;
    static constexpr int kComponentIndexKey = 42;

    // The prototype named by keys 0 and 1, cut by key 2 (straight) or key 4
    // (curve): one new component, or nothing.
    tComponents Generate(tGeneratorParameters& parameters, CCompositeGeometry* element) override;
    // Not supported: fails through UErrorHandling::ThrowIfNull.
    tGeneratorParameters DefaultParameters() const override;
    // The parameters that describe a shortable element as it is; empty for
    // anything else.
    tGeneratorParameters DefaultParameters(CCompositeGeometry* element) const;
    bool HasElementActions() const override { return true; }
    // Moves the element's first track component to the index of key 42.
    void PerformElementActions(tGeneratorParameters& parameters, CCompositeGeometry* element) override;

    // The shortened copy of `prototype`'s first track component by the
    // parameters; null for a missing key or a component that is neither a
    // straight nor a curve. The caller owns the result.
    static CBasicGeometry* ShortenedComponent(const tGeneratorParameters& parameters,
                                              const CCompositeGeometry* prototype);
};
