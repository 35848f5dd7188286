#pragma once
// Rebuilding the generated components of an element from its stored
// generators, and the generators' element actions around that.

#include "engine/generators/ComponentGenerator.h"

class CReferencePointComparer;

namespace UGeneratedElements {

// Runs every stored generator of the element again (in ascending type
// order, each with a copy of its parameters) and replaces the element's
// generated components with what they give, keeping the other components
// and putting the element back at its angle and, with a comparer, at its
// reference position. Returns the offset of the final move to the origin.
//
// The new components are made on a scratch copy of the element first and
// swapped in only when every generator gave components. When one gives none
// or fails, or generated components have no generator to rebuild them, the
// element is left exactly as it was (with a warning) and the result is the
// zero offset. A null element fails through UErrorHandling::ThrowIfNull.
CPoint RegenerateComponents(CCompositeGeometry* element, CReferencePointComparer* comparer);

// Turns the element about the origin by minus the comparer's angle
// difference, moves it back by the comparer's offset (x and y) and
// recomputes its joints.
void RestoreReferencePosition(CCompositeGeometry* element, CReferencePointComparer* comparer);

// The element actions of the element's generator of `generatorType`, when
// its parameters are not empty and the generator has element actions.
void ResetElementActions(CCompositeGeometry* element, int generatorType);
void PerformElementActions(CCompositeGeometry* element, int generatorType);

}  // namespace UGeneratedElements

namespace UGeneratorParameters {

// A numeric parameter of the element's generator of `generatorType`; 0.0
// when there is no such generator or key.
double GetGeneratorDouble(const CCompositeGeometry* element, int generatorType, int key);

}  // namespace UGeneratorParameters
