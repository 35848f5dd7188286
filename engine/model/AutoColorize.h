#pragma once
// Auto-colourise: sorts elements into groups by one criterion (type, layer,
// manufacturer, product number, curve radius, height) and gives each group
// one colour of a list, written into the elements' first colour. Also the
// bulk reading and writing of element colours.
//
// Main thread only. Lists of elements are the caller's; null entries are
// skipped everywhere.

#include <map>
#include <string>
#include <vector>

#include "engine/geometry/Color.h"
#include "engine/model/CompositeGeometry.h"
#include "engine/model/TrackElementsContainer.h"

// Groups in the order the grouping made them; empty groups are kept.
using tElementGroups = std::vector<tElements>;
using tColorList = std::vector<CColor>;
// Element identifier text -> colour.
using tElementColorMap = std::map<std::string, CColor>;

// The operation codes of GroupElementsForOperation.
enum ColorizeOperation : int {
    kColorizeByType = 1,
    kColorizeByLayer = 2,
    kColorizeByManufacturer = 3,
    kColorizeByProductNumber = 4,
    kColorizeByRadius = 5,
    kColorizeByHeight = 6,
};

namespace UAutoColorize {

// The groups of `elements` for the operation; `partitionCount` is the number
// of height bands (operation 6 only). An unknown operation logs the warning
// "Colorize operation <%d> not recognized" and gives no groups.
tElementGroups GroupElementsForOperation(const tElements& elements, int operation, int partitionCount);

// Gives consecutive non-empty groups consecutive colours of the list (wrapping
// round), starting at index 0 or at a random one, and repeats with a new
// order while the colouring equals the colours the elements had before, at
// most 10 passes. Mode 1 with a shuffle flag other than 0: a shuffled list
// and a random start; mode 0: the list reversed on even passes and as given
// on odd ones, from index 0; any other mode: the list as given from a random
// start. Returns the number of passes; 0 when there is nothing to colour or
// no colour to give (nothing changes then).
unsigned int ApplyColorList(const tElementGroups& groups, const tColorList& colors, int shuffle, int mode);

}  // namespace UAutoColorize

// Operation 1: straight, curved and flex plain tracks; the other track
// types 2 to 20 one by one; symbols 500 and 501; plants 300; unclassified;
// vehicles 100 to 107; buildings 200 to 209; electric and mechanical parts
// 400 to 406. Elements of any other type belong to no group.
namespace UColorizeByType {
tElementGroups GroupElements(const tElements& elements);
}

// Operation 2: one group per layer (by identity, elements without a layer
// sharing one), in order of first occurrence.
namespace UColorizeByLayer {
tElementGroups GroupElements(const tElements& elements);
}

// Operation 3: one group per manufacturer text (byte for byte), in order of
// first occurrence.
namespace UColorizeByManufacturer {
tElementGroups GroupElements(const tElements& elements);
}

// Operation 4: as operation 3 with the product number.
namespace UColorizeByProductNumber {
tElementGroups GroupElements(const tElements& elements);
}

// Operation 5: the non-track elements, the straight tracks, then one group
// per radius of the single curved tracks, ascending; curved flex tracks join
// the group of their radius. Curved flex tracks whose radius no single curve
// has belong to no group.
namespace UColorizeByRadius {

// The radius of the element's first track component, which must be a curve.
// A null element, or one whose first track component is no curve, fails
// through UErrorHandling::ThrowIfNull.
double GetCurveRadius(const CCompositeGeometry* element);
// A single curved track's curve radius; otherwise the radius of the curved
// flex-track generator (360.0 when it names none); 0.0 for an element that
// has no such generator.
double GetElementRadius(const CCompositeGeometry* element);
tElementGroups GroupElements(const tElements& elements);

}  // namespace UColorizeByRadius

// Operation 6: the non-track elements, then the tracks in height bands
// (height = z of the element's position). The bands start at the lowest
// height and are each the range divided by the band count, rounded up to a
// whole number, high; the last band reaches up to the highest element. A
// band count below 2 gives one band. All elements within 0.001 of one
// height form one group.
namespace UColorizeByHeight {

// The elements whose height h lies in the band: lower < h + 0.001 and
// h < lower + partitionHeight - 0.001 (NaN lies in no band).
tElements TrackElementsInHeightRange(const tElements& elements, const double lower, const double partitionHeight);
tElementGroups GroupElements(const tElements& elements, int partitionCount);

}  // namespace UColorizeByHeight

namespace UElementColors {

// Every element's identifier mapped to its first colour (selector 0) or its
// second colour (any other selector); a later element with the same
// identifier wins.
tElementColorMap GetColorsById(const tElements& elements, int selector);
// Sets the first (selector 0) or second colour of every element whose
// identifier the map holds; others are left alone.
void SetColorsById(const tElements& elements, const tElementColorMap& colors, int selector);
// Sets the given colours on every element; a null colour is left unchanged.
void SetColors(const tElements& elements, const CColor* firstColor, const CColor* secondColor);

}  // namespace UElementColors
