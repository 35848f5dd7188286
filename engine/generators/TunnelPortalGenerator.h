#pragma once
// Generator 5: the filled outline of a tunnel portal, placed at one of the
// element's joints and turned to the track's direction.

#include <vector>

#include "engine/generators/ComponentGenerator.h"
#include "engine/geometry/Point.h"

class CTunnelPortalComponentGenerator : public CComponentGenerator {
public:
    // Parameter keys.
    static constexpr int kStyleKey = 27;
    static constexpr int kColorKey = 28;
    static constexpr int kAngleKey = 29;
    static constexpr int kPortalNumberKey = 30;
    static constexpr int kJointIndexKey = 31;
    static constexpr int kOffsetXKey = 32;
    static constexpr int kOffsetYKey = 33;

    static constexpr int kDefaultStyle = 2;
    static constexpr int kFirstStyle = 1;
    static constexpr int kLastStyle = 4;

    // At most one polygon component; none for a style outside 1 to 4.
    tComponents Generate(tGeneratorParameters& parameters, CCompositeGeometry* element) override;
    // Keys 27 (style 2) and 28 (grey 0.6, opaque).
    tGeneratorParameters DefaultParameters() const override;

    // The outline of a style in drawing units of model scale 16 and its
    // anchor; empty points for an unknown style.
    static std::vector<CPoint> OutlineForStyle(int style);
    static CPoint AnchorForStyle(int style);
};
