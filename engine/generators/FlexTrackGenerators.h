#pragma once
// Flex track: one CFlexTrackBIG rebuilt from its parameters, laid straight to
// a length (generator 1) or bent to a radius and arc angle (generator 2). The
// track comes from a track library (keys 0 and 1) or, for a flex track the
// user made, is built generically from gauge, trackbed width and maximum
// length.

#include "engine/generators/ComponentGenerator.h"

class CFlexTrackBIG;

class CFlexTrackComponentGeneratorBase : public CComponentGenerator {
public:
    // Parameter keys.
    static constexpr int kLibraryNameKey = 0;
    static constexpr int kElementNameKey = 1;
    static constexpr int kLengthKey = 2;
    static constexpr int kAngleKey = 3;
    static constexpr int kArcAngleKey = 4;
    static constexpr int kRadiusKey = 5;
    static constexpr int kMaxLengthKey = 6;
    static constexpr int kGaugeKey = 7;
    static constexpr int kTrackbedWidthKey = 8;
    static constexpr int kComponentAttributeKey = 9;

    static constexpr double kDefaultLength = 100.0;
    static constexpr double kDefaultArcAngle = 30.0;
    static constexpr double kDefaultRadius = 360.0;
    static constexpr int kDefaultMaxLength = 500;
    static constexpr int kDefaultComponentAttribute = 1;

    // Not supported: fails through UErrorHandling::ThrowIfNull with
    // "Parameterless constructor not supported for this type of component
    // generator".
    tGeneratorParameters DefaultParameters() const override;
    // The parameters that describe an existing flex-track element.
    virtual tGeneratorParameters DefaultParameters(CCompositeGeometry* element) const = 0;

protected:
    // The element the track is shaped in: a copy of the library element of
    // keys 0 and 1, else a new element around a generic flex track of keys
    // 6 to 9; null when neither can be had. The caller owns it.
    static CCompositeGeometry* CreateWorkingElement(const tGeneratorParameters& parameters);
    // The generic set (7, 8, 9, 6) of a user-created flex element; throws
    // when its first track component is not a flex track.
    static tGeneratorParameters GenericFlexParameters(CCompositeGeometry* element, const char* signature);
    // Keys 0 and 1 from the element's library name and product number.
    static void AddLibraryParameters(tGeneratorParameters& parameters, const CCompositeGeometry* element);
    // Takes the flex track out of the working element for the caller, marked
    // as generated, after moving the element so that the remembered layout
    // point of its last control point is kept. Deletes the element.
    static tComponents HandOver(CCompositeGeometry* element, CFlexTrackBIG* flex, const CPoint& keptEnd);
};

// Generator 1: a straight flex track of key 2's length at key 3's angle.
class CStraightFlexTrackComponentGenerator : public CFlexTrackComponentGeneratorBase {
public:
    using CFlexTrackComponentGeneratorBase::DefaultParameters;

    // One flex track, or nothing. The element is not used.
    tComponents Generate(tGeneratorParameters& parameters, CCompositeGeometry* element) override;
    // Library flex: 2 = 100, 0, 1. User-created flex: 2 = 100, 7, 8, 9, 6.
    // No element: a warning and the empty set.
    tGeneratorParameters DefaultParameters(CCompositeGeometry* element) const override;
    tGeneratorParameters ParametersForGenericFlex(CCompositeGeometry* element) const;
};

// Generator 2: a flex track bent to key 5's radius through key 4's arc angle
// at key 3's angle.
class CCurvedFlexTrackComponentGenerator : public CFlexTrackComponentGeneratorBase {
public:
    using CFlexTrackComponentGeneratorBase::DefaultParameters;

    // One flex track, or nothing. The element is not used.
    tComponents Generate(tGeneratorParameters& parameters, CCompositeGeometry* element) override;
    // Library flex: 4 = 30, 5 = 360, 0, 1. User-created flex: 4 = 30,
    // 5 = 360, 7, 8, 9, 6. No element: a warning and the empty set.
    tGeneratorParameters DefaultParameters(CCompositeGeometry* element) const override;
    tGeneratorParameters ParametersForGenericFlex(CCompositeGeometry* element) const;
};

namespace UTrackComponentGenerators {

// The library element named by keys 0 (library) and 1 (element name), or
// null with a warning. The element belongs to the library; do not change it.
CCompositeGeometry* GetPrototypeTrackFromLibraryElementParameters(tGeneratorParameters& parameters);

}  // namespace UTrackComponentGenerators
