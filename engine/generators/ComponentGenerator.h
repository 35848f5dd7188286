#pragma once
// Component generators derive an element's drawable components from a small
// set of numbered parameters. Each generator is a stateless, process-wide
// object handed out by UComponentGeneratorFactory; callers never delete it.

#include "engine/model/GeneratorParameters.h"
#include "engine/model/CompositeGeometry.h"

// Generator type codes of the factory.
enum : int {
    kGeneratorStraightFlexTrack = 1,
    kGeneratorCurvedFlexTrack = 2,
    kGeneratorArrow = 3,
    kGeneratorDimension = 4,
    kGeneratorTunnelPortal = 5,
    kGeneratorShortenedTrack = 6,
    kGeneratorTrackBumper = 7,
};

class CComponentGenerator {
public:
    virtual ~CComponentGenerator() = default;

    // New components in drawing order; the caller owns them.
    virtual tComponents Generate(tGeneratorParameters& parameters, CCompositeGeometry* element) = 0;
    virtual tGeneratorParameters DefaultParameters() const = 0;

    virtual bool HasElementActions() const { return false; }
    virtual void PerformElementActions(tGeneratorParameters& parameters, CCompositeGeometry* element) {}
    virtual void ResetElementActions(tGeneratorParameters& parameters, CCompositeGeometry* element) {}
};

// Answers every unknown type code: logs the parameters, generates nothing.
class CDummyComponentGenerator : public CComponentGenerator {
public:
    tComponents Generate(tGeneratorParameters& parameters, CCompositeGeometry* element) override;
    tGeneratorParameters DefaultParameters() const override;
};

namespace UComponentGeneratorFactory {

// The shared generator of a type code; an unknown code logs
// "Component generator type %d not recognized" and gives the dummy.
CComponentGenerator* GetGeneratorForType(int type);

}  // namespace UComponentGeneratorFactory
