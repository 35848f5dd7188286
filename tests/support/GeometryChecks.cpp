#include "tests/support/GeometryChecks.h"

#include <gtest/gtest.h>

namespace testsupport {

void ExpectPoint(const CPoint& p, double x, double y, double tolerance, const std::string& what) {
    EXPECT_NEAR(p.x, x, tolerance) << what << " (x)";
    EXPECT_NEAR(p.y, y, tolerance) << what << " (y)";
}

void ExpectRect(const tDoubleRect& r, double minX, double minY, double maxX, double maxY, double tolerance,
                const std::string& what) {
    EXPECT_NEAR(r.minX, minX, tolerance) << what << " (min x)";
    EXPECT_NEAR(r.minY, minY, tolerance) << what << " (min y)";
    EXPECT_NEAR(r.maxX, maxX, tolerance) << what << " (max x)";
    EXPECT_NEAR(r.maxY, maxY, tolerance) << what << " (max y)";
}

}  // namespace testsupport
