#pragma once
// Names of elements that have no catalogue name: texts, circles, rectangles,
// polygons, lines, arrows and dimension lines drawn by the user get a name
// from their kind and size in the user's unit. Every word comes from the
// string table "QLStrings" through the localisation service; without one the
// words are empty.
//
// A null element fails through UErrorHandling::ThrowIfNull with "Invalid
// element supplied" in every function here.

#include <string>

#include "engine/geometry/Point.h"

class CCompositeGeometry;

namespace UElementNameGenerator {

// Sizes of circles and rectangles are shown in `unitType`
// (UMeasureUnits::kUnitTypeMillimeters, ...) with its abbreviated name:
// the first that applies of generated element, text, circle ("GenericCircleName"),
// rectangle ("GenericRectName", width and height), polygon and line
// ("GenericPolyName", "GenericLineName", point count); "???" with a warning
// for anything else.
std::string GetGenericGraphicElementDescription(int unitType, const CCompositeGeometry* element);
// "GeneratedArrowName" for the arrow generator, "GeneratedDimensionName"
// for the dimension generator, else "???" with a warning.
std::string GetNameForGeneratedElement(const CCompositeGeometry* element);
// The text of a text element; empty for other elements and for a text that
// is empty or white space only.
std::string GetTextElementName(const CCompositeGeometry* element);
// GetTextElementName on one line (every CR, then every LF, becomes a
// blank), or "GenericTextName" when that is empty.
std::string GetTextElementDescription(const CCompositeGeometry* element);
// "GenericCircleName" with the diameter in the unit and the unit's
// abbreviated name.
std::string GetCircleElementDescription(int unitType, const CCompositeGeometry* element);
// The product number and " (-)".
std::string GetShortenedTrackName(const CCompositeGeometry* element);
// The product number, which holds the name the user gave, or
// "UserCreatedShape" when that is empty.
std::string GetUserCreatedShapeName(const CCompositeGeometry* element);
// What the viewer shows as the element's name: a shortened track's name, a
// text's description, a user-created shape's name (flex tracks excepted),
// else the product number.
std::string GetDisplayNameForElement(const CCompositeGeometry* element);
// For a user-created element that is not a track only: stores the generic
// description ("GenericTextName" for a text, else
// GetGenericGraphicElementDescription in the user's unit) as the element's
// "Description" in `language`. Other elements are left alone.
void SetGenericDescription(CCompositeGeometry* element, const std::string& language);

}  // namespace UElementNameGenerator

namespace UElementComponents {

// The radius of a circle element's first component; 0.0 with a warning for
// any other element.
double GetCircleRadius(const CCompositeGeometry* element);
// The third stored point of a rectangle element's polygon, which spans the
// rectangle from its first point; the origin with a warning for any other
// element or a polygon of fewer than 3 points.
CPoint GetRectangleCorner(const CCompositeGeometry* element);
double GetRectangleWidth(const CCompositeGeometry* element);
double GetRectangleHeight(const CCompositeGeometry* element);

}  // namespace UElementComponents
