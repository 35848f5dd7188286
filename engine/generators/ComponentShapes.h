#pragma once
// The small kit of polygon shapes the generators draw with, operations on
// polygon components, and operations on plain lists of points (transforms,
// path length and sub-paths).

#include <cstdint>
#include <string>
#include <vector>

#include "engine/geometry/Point.h"

class CCompositeGeometry;
class CPolyBIG;

// New shapes (the caller owns them): points with z 0, offset 0, 0, angle 0.
// The apex of every head shape is its point at x = 0.
namespace UComponentShapes {

// (0, 0), (w, 0), (w, h), (0, h); kind 3, fill flag as created.
CPolyBIG* CreateRectangle(std::int32_t lineWidth, double width, double height);
// Start and end (z kept); kind 1, not filled.
CPolyBIG* CreateLine(std::int32_t lineWidth, const CPoint& start, const CPoint& end);
// (0, s/2), (s/2, 0), (s, s/2), (s/2, s) with s = |size|; filled.
CPolyBIG* CreateDiamond(std::int32_t lineWidth, double size);
// Apex up: (0, 0), (s, 0), (s/2, s); else (0, s), (s, s), (s/2, 0); filled.
CPolyBIG* CreateTriangle(std::int32_t lineWidth, bool apexUp, double size);
// (s/2, 0), (s, 0), (s/2, s), (0, 0): point 0 is the middle of the base.
CPolyBIG* CreateBaseAnchoredTriangle(std::int32_t lineWidth, double size);
// (s r, s/2), (s, 0), (0, s/2), (s, s); line width 1, filled.
CPolyBIG* CreateNotchedArrowHead(double size, double notchRatio);
// (s, 0), (0, s/2), (s, s); line width 1, open.
CPolyBIG* CreateOpenArrowHead(double size);
// (s/2, s/2), (0, s), (s/2, 3s/2); line width 1, open.
CPolyBIG* CreateChevron(double size);

// Multiplies x and y of every point (z kept); with `scaleOffset` the offset
// too.
void ScaleComponent(CPolyBIG* component, double factor, bool scaleOffset);
void ScaleComponent(CPolyBIG* component, double factorX, double factorY, bool scaleOffset);
// Negates y of every point.
void MirrorY(CPolyBIG* component);
// Sets the component's angle to `angle` and moves it so that its point 0
// lands where turning it about `centre` by `angle` puts it. For a component
// at angle 0 this turns the whole polygon about the centre.
void RotateAroundPoint(CPolyBIG* component, const CPoint& centre, double angle);
// Moves the component so that its transformed point `index` lies on
// `target`. An index beyond the points changes nothing.
void MovePointTo(const CPoint& target, CPolyBIG* component, std::size_t index);
// The point `distance` from `from` toward `toward` (3-D; negative lies
// beyond `from`). Coinciding points give `from` itself.
CPoint GetPointAtDistance(const CPoint& from, const CPoint& toward, double distance);

}  // namespace UComponentShapes

// Point lists, changed in place unless a result is returned.
namespace UPointListOperations {

void Translate(std::vector<CPoint>& points, double dx, double dy, double dz);
// Plan rotation about the centre; nothing for |angle| < 0.0001.
void RotateAroundZAxis(std::vector<CPoint>& points, const CPoint& centre, double angle);
// Turns x and z about the centre's x and z; nothing for |angle| < 0.0001.
void RotateAroundYAxis(std::vector<CPoint>& points, const CPoint& centre, double angle);
// Multiplies x, y and z (about the origin).
void Scale(std::vector<CPoint>& points, double factor);
// Sum of the 3-D segment lengths; 0 for fewer than two points.
double GetPathLength(const std::vector<CPoint>& points);
// The part of the path between two percentages of its length (each clamped
// to 0..100). Fewer than two points: a copy.
std::vector<CPoint> GetSubPath(const std::vector<CPoint>& points, double startPercent, double endPercent);

}  // namespace UPointListOperations

// Element operations of the track library loader.
namespace UElementComponents {

// Sets the trackbed width, or the rail width, of every component of the
// element. A null element changes nothing.
void SetTrackbedWidthOfAll(CCompositeGeometry* element, double width);
void SetRailWidthOfAll(CCompositeGeometry* element, double width);

}  // namespace UElementComponents

namespace UPathStrings {

// The part after the last "/", or the whole text when it has none.
std::string GetLastPathComponent(const std::string& text);

}  // namespace UPathStrings
