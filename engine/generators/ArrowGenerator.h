#pragma once
// Arrows: a straight shaft between two points with a head at the start and a
// tail at the end, each picked from a set of shapes and sizes.

#include "engine/generators/ComponentGenerator.h"

// Generator type 3. Keys: 10-13 shaft start and end, 18 head shape, 19 head
// size, 20 tail shape, 21 tail size. No element actions.
class CArrowComponentGenerator : public CComponentGenerator {
public:
    // [head components], shaft, [tail components]; all marked as generated
    // by generator 3. The element is not used.
    tComponents Generate(tGeneratorParameters& parameters, CCompositeGeometry* element) override;
    // 18 = 103, 19 = 2, 20 = 204, 21 = 1, 10 = 0, 11 = 0, 12 = 100, 13 = 0.
    tGeneratorParameters DefaultParameters() const override;
};
