#pragma once
// Stateless questions and small operations on layout elements that the rest
// of the engine and the screens share: what kind of element this is, its
// joints, placing a component by a positioning mode, making simple elements,
// and operations and filters over lists of elements.
//
// Lengths are millimetres, angles degrees. Lists of elements (tElements) are
// the caller's; a filter returns the same pointers in the input's order.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/geometry/Color.h"
#include "engine/model/CompositeGeometry.h"
#include "engine/geometry/Point.h"
#include "engine/model/TrackElementsContainer.h"

class CLayer;

// Element type codes the queries know by number (see the element types).
constexpr std::int32_t kElementTypeUnclassified = 0;
constexpr std::int32_t kElementTypePlainTrack = 1;
constexpr std::int32_t kElementTypeParallelTrack = 2;
constexpr std::int32_t kElementTypeShortableTrack = 18;
constexpr std::int32_t kElementTypeRailwayBridge = 209;
constexpr std::int32_t kElementTypeGenericSymbol = 500;

// The generator type of curved flex track.
constexpr int kGeneratorTypeCurvedFlexTrack = 2;

// What kind of element this is. Kinds that look at the first component are
// false for an element without components. A null element fails through
// UErrorHandling::ThrowIfNull with "Parameter is NULL" (IsPlainTrack: false).
namespace UElementInspector {

// The generator map is not empty.
bool IsGeneratedElement(const CCompositeGeometry* element);
// The first component is a flex track.
bool IsFlexTrack(const CCompositeGeometry* element);
// The first component is a polygon (a flex track counts) of kind 1, 2 or 3.
bool IsPolyElement(const CCompositeGeometry* element);
bool IsLineElement(const CCompositeGeometry* element);
bool IsRectElement(const CCompositeGeometry* element);
// The first component is an oval.
bool IsCircleElement(const CCompositeGeometry* element);
// A text component and nothing else.
bool IsTextElement(const CCompositeGeometry* element);
// The library name is shorter than 2 bytes.
bool IsUserCreatedElement(const CCompositeGeometry* element);
bool IsUserCreatedFlex(const CCompositeGeometry* element);
// Some component is a straight, curve or flex track.
bool IsTrackElement(const CCompositeGeometry* element);
int GetNumberOfTrackComponents(const CCompositeGeometry* element);
bool IsSingleTrackElement(const CCompositeGeometry* element);
// One track component, and it is a curve.
bool IsCurvedTrack(const CCompositeGeometry* element);
// Element type 1.
bool IsPlainTrack(const CCompositeGeometry* element);
// A track element of type 2 or 209 with exactly two track components.
bool IsParallelTrack(const CCompositeGeometry* element);
// A parallel track whose two track components are curves.
bool IsCurvedParallelTrack(const CCompositeGeometry* element);
// One component, and it is a track component; or type 18 whatever it holds.
bool IsShortableTrackElement(const CCompositeGeometry* element);
// The tunnel section of a track lies in its two tunnel integers, the start
// trim and the end trim: the section's start and end in percent of the
// track's length (0 and 0: no tunnel; 0 and 100: tunnel all along).
// A track element whose start or end trim is not 0.
bool IsTunnelTrack(const CCompositeGeometry* element);
// A track element whose tunnel covers only part of it: start trim above 0,
// or end trim from 1 to 99.
bool IsPartialTunnelTrack(const CCompositeGeometry* element);

}  // namespace UElementInspector

// The joints of an element as CCompositeGeometry::GetJoints returns them
// with the all-joints filter (which first brings them up to date). A null
// element fails through UErrorHandling::ThrowIfNull with "Invalid geometry
// parameter supplied".
namespace UElementJointQueries {

// The other end of the component that holds `joint` in the joint's owning
// element; null when no component there holds it or the joint has no owner.
// A null joint fails with "Invalid joint parameter supplied".
CJoint* GetOppositeJoint(const CJoint* joint);
int GetNumberOfJoints(CCompositeGeometry* element);
// Null, with a warning, for an index below 0 or not below the count.
CJoint* GetJointWithIndex(CCompositeGeometry* element, int index);
// Position in the element's joints, -1 when absent.
int GetIndexOfJointInElementJointVector(CCompositeGeometry* element, const CJoint* joint);

}  // namespace UElementJointQueries

// Which point of a component lands on the target point.
enum PositioningMode : int {
    kPositioningModeOffset = 0,  // the offset itself
    kPositioningModeCenter = 1,  // the centre of the unrotated box
    kPositioningModeJoint0 = 2,  // joint 0 placed at the origin
    kPositioningModeJoint1 = 3,  // joint 1 placed at the origin
};

// Placing a component inside its element. The box is the unrotated one
// (CalcBoundingBox at angle 0); a component with an empty box (a polygon
// without points) has centre, width and height 0. A null component is left
// alone: the target point, or 0.
namespace UComponentPositioning {

// The offset that puts the mode's point of the component on (x, y); z 0.
// An unknown mode gives (x, y) with a warning. Modes 2 and 3 recompute the
// component's joints at the origin without grade.
CPoint GetAdjustedComponentOffsetWithMode(CBasicGeometry* component, PositioningMode mode, double x, double y);
// Sets offset x, then offset y, to that result.
void AdjustComponentOffsetWithMode(CBasicGeometry* component, PositioningMode mode, double x, double y);
CPoint GetComponentCenter(CBasicGeometry* component);
double GetComponentWidth(CBasicGeometry* component);
double GetComponentHeight(CBasicGeometry* component);

}  // namespace UComponentPositioning

// New elements for the caller to own.
namespace UCompositeGeometryFactory {

// A default element at `position` with `color` as its first colour and
// `name` (cut to the product number's field) as its product number.
CCompositeGeometry* CreateEmptyElement(const CPoint& position, const CColor& color, const std::string& name);
// A circle centred on the element's origin, 10 cm across when `metric`,
// else 5 inch, appended to `element` or, when that is null, to a new empty
// element. The second colour is set and type 0 becomes 500. Returns the
// element the circle went into (the given one, or the new one).
CCompositeGeometry* CreateOval(const CPoint& position, const CColor& firstColor, const CColor& secondColor, bool metric,
                               const std::string& name, CCompositeGeometry* element);
// An element of one text component; both colours `color`, the text as its
// name, type 500.
CCompositeGeometry* CreateText(const CPoint& position, const CColor& color, const std::string& text, std::int32_t size,
                               const std::string& fontName);

}  // namespace UCompositeGeometryFactory

namespace UElementComponents {

// Sets the line width of every component (only polygons and ovals keep one).
void SetLineWidth(CCompositeGeometry* element, std::int32_t width);

}  // namespace UElementComponents

namespace UElementGeometry {

// Replaces the point's z by the height of its (x, y) on the grade.
void ApplyGradeToPoint(CPoint& point, const CGradeVector& grade);

}  // namespace UElementGeometry

// Operations and filters over lists of elements. Null entries are skipped by
// every test and operation (a filter drops them).
namespace UElementVectorOperations {

// A deep copy of every element, each with a new identifier; the caller owns
// the copies.
tElements CloneElements(const tElements& elements);
// Moves each element's position by (dx, dy) and recomputes its joints.
void TranslateElements(const tElements& elements, double dx, double dy);
// Sum of the elements' track lengths.
double GetOverallTrackLength(const tElements& elements);
// The radii of the curved tracks, ascending; radii within 0.001 of one
// already listed are left out.
std::vector<double> GetListOfRadii(const tElements& elements);
// Some element has type code 0.
bool ContainsUnclassifiedElements(const tElements& elements);
// The elements of `elements` that are not in `subtracted` (pointer identity).
tElements SubtractElements(const tElements& elements, const tElements& subtracted);

// Elements that have a layer, and that layer is visible.
tElements GetElementsOnVisibleLayers(const tElements& elements);
tElements GetElementsOfLayer(const tElements& elements, const CLayer* layer);
// Track elements that are tunnel tracks.
tElements GetTunnelTracks(const tElements& elements);
tElements GetTrackElements(const tElements& elements);
tElements GetElementsWithProductNumber(const tElements& elements, const std::string& productNumber);
tElements GetElementsOfManufacturer(const tElements& elements, const std::string& manufacturer);
tElements GetElementsOfType(const tElements& elements, std::int32_t type);
// Type codes from `low` to `high`, both included.
tElements GetElementsWithTypeInRange(const tElements& elements, std::int32_t low, std::int32_t high);
tElements GetSingleCurvedTracks(const tElements& elements);
// Plain tracks that are neither curved tracks nor flex tracks.
tElements GetStraightPlainTracks(const tElements& elements);
tElements GetCurvedPlainTracks(const tElements& elements);
tElements GetPlainFlexTracks(const tElements& elements);
// Plain tracks made by the curved flex-track generator.
tElements GetCurvedFlexTracks(const tElements& elements);

}  // namespace UElementVectorOperations
