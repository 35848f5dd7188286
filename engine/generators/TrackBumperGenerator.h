#pragma once
// Track bumpers (buffer stops) drawn a little way in from one end of a track.
// The element action closes that end so it no longer counts as open.

#include "engine/generators/ComponentGenerator.h"
#include "engine/geometry/Color.h"
#include "engine/geometry/Point.h"

// Bumper kinds (key 40).
enum : int {
    kBumperTypeBracket = 0,
    kBumperTypeHayes = 1,
    kBumperTypeEarthen = 2,
    kBumperTypeFriction = 3,
};

// Generator type 7. Keys: 31 joint index (0 or 1), 39 colour text, 40 bumper
// type, 41 inset in percent of the track's length.
class CTrackBumperComponentGenerator : public CComponentGenerator {
public:
    // 2, 6, 2 or 4 polygons by type; nothing for a missing joint or an
    // unknown type.
    tComponents Generate(tGeneratorParameters& parameters, CCompositeGeometry* element) override;
    // 40 = 0, 41 = 85, 39 = "#FF999999".
    tGeneratorParameters DefaultParameters() const override;

    bool HasElementActions() const override { return true; }
    // Closes the bumpered joint of the first track component.
    void PerformElementActions(tGeneratorParameters& parameters, CCompositeGeometry* element) override;
    // Opens it again.
    void ResetElementActions(tGeneratorParameters& parameters, CCompositeGeometry* element) override;

    // The bumper's components at `position` turned by `angle` degrees, sized
    // from the element's gauge and trackbed width.
    static tComponents GetBumperComponentsForType(CCompositeGeometry* element, double angle, CPoint position, int type,
                                                  CColor& color);
};
