#pragma once
// Points and rectangles compared within a tolerance, each coordinate named
// in the failure message.

#include "engine/geometry/DoubleRect.h"
#include "engine/geometry/Point.h"

#include <string>

namespace testsupport {

void ExpectPoint(const CPoint& p, double x, double y, double tolerance, const std::string& what);
void ExpectRect(const tDoubleRect& r, double minX, double minY, double maxX, double maxY, double tolerance,
                const std::string& what);

}  // namespace testsupport
