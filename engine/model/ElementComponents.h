#pragma once
// Editing and inspecting an element's component list: appending with the
// element's limit, replacing, moving, cloning by type code, marking and
// removing generated components, the shapes the generators build, and the
// largest track measures of an element. Also the polygon end-point access of
// the flex-track generators and the big-endian colour words of the readers.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/model/CompositeGeometry.h"

class CFlexTrackBIG;
class COvalBIG;
class CPolyBIG;

namespace UElementComponents {

// Appends `component` (the element owns it from then on) and gives it the
// attribute of the element's first component, if any. With
// CCompositeGeometry::kMaxComponents components already: a warning, false,
// and the component stays the caller's. A null element or component fails
// through UErrorHandling::ThrowIfNull.
bool AppendComponent(CCompositeGeometry* element, CBasicGeometry* component);

// Puts `component` at `index` (at most the count). The entry that stood
// there is taken out, not deleted: the caller keeps it. False, with nothing
// changed, for a null element or component or an index out of range.
bool ReplaceComponentAt(CCompositeGeometry* element, int index, CBasicGeometry* component);

// Moves `component` to `newIndex` in `list`, the entries in between shifting
// by one place. False for a component not in the list (with a warning) and
// for an index below 0 or not below the count.
bool MoveComponent(CBasicGeometry* component, tComponents& list, int newIndex);

// Copies of every component in order (the caller owns them); components
// that cannot be copied are left out.
tComponents CloneComponents(const tComponents& list);
// A copy made by the copy constructor of the component's class, chosen by
// type code; null, with a warning, for an unknown code; null for null.
CBasicGeometry* CloneComponent(CBasicGeometry* component);

// Every component becomes generated with this generator ID.
void MarkAsGenerated(tComponents& list, std::int32_t generatorID);
// Takes the generated components of this generator (all generated ones for
// ID 0) out of the list and deletes them; the others keep their order.
void RemoveGeneratedComponents(tComponents& list, std::int32_t generatorID);

// Position in the element's list, or -1 with a warning.
int GetComponentIndex(const CCompositeGeometry* element, const CBasicGeometry* component);

// The straights, curves and flex tracks (type codes 1, 2, 6) in list order.
tComponents GetTrackComponents(const CCompositeGeometry* element);
// The first of those, or null.
CBasicGeometry* GetFirstTrackComponent(const CCompositeGeometry* element);

// The largest value among all components; 0 without components.
double GetMaxGauge(const CCompositeGeometry* element);
double GetMaxTrackbedWidth(const CCompositeGeometry* element);
double GetMaxRailWidth(const CCompositeGeometry* element);
// The largest line width, never below 0.
std::int32_t GetMaxLineWidth(const CCompositeGeometry* element);
// The first component's attribute; the component default (1) for an element
// without components.
std::int32_t GetComponentAttribute(const CCompositeGeometry* element);

// New components for the generators; the caller owns each until it is
// appended.
// A polygon of these points, line width, kind (1 polygon, 2 line,
// 3 rectangle), offset and angle; gauge 0, both joints disabled, not free.
CPolyBIG* CreatePolyComponent(const std::vector<CPoint>& points, std::int32_t lineWidth, std::int32_t kind,
                              double offsetX, double offsetY, double angle);
// A flex track from `firstPoint` to `lastPoint` with their midpoint between
// them, angle 0; each joint enabled and free as its flag says.
CFlexTrackBIG* CreateFlexTrackComponent(const CPoint& firstPoint, const CPoint& lastPoint, bool joint0Enabled,
                                        bool joint1Enabled, double offsetX, double offsetY, double maxLength,
                                        double gauge, double trackbedWidth, double railWidth);
// A circle of `radius` whose box corner (the oval's offset) is (centreX,
// centreY); gauge 0, both joints disabled, not free.
COvalBIG* CreateCircleComponent(std::int32_t lineWidth, double centreX, double centreY, double radius);

}  // namespace UElementComponents

// The end points of a polygon component, for the flex-track generators. End
// 0 selects the last point (the first when there are fewer than 2); any other
// end up to the point count selects the first.
namespace UPolygonPoints {

// The selected point transformed at the element angle; the origin, with a
// warning, for an empty polygon or an end above the count.
CPoint GetPoint(CCompositeGeometry* element, CPolyBIG* polygon, int end);
// Moves the element to origin, then moves its position by the difference
// from the selected point (at the element angle) to `layoutPoint`, each axis
// only when that difference is non-zero and a number. An empty polygon or an
// end above the count changes nothing, with a warning.
void SetPoint(CCompositeGeometry* element, CPolyBIG* polygon, int end, const CPoint& layoutPoint);

}  // namespace UPolygonPoints

// Colour words as read raw from a file (big-endian unsigned 16-bit values)
// into host order, in place.
namespace UColorWords {

// Three values: red, green, blue.
void BigEndianTripleToHost(std::uint16_t (&words)[3]);
// Four values held in one 8-byte field.
void BigEndianQuadrupleToHost(std::uint16_t (&words)[4]);

}  // namespace UColorWords
