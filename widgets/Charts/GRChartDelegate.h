#pragma once
// What the charts report about touches. Every call is optional: the default
// bodies do nothing. Charts hold their delegate weakly.

#include "platform/graphics/Geometry.h"

#include <cstdint>

class GRChartDelegate {
public:
    virtual ~GRChartDelegate() = default;

    // Line chart: a touch near a segment of the line.
    virtual void chartTappedOnLinePoint(platform::Point point, std::int64_t lineIndex) {
        (void)point;
        (void)lineIndex;
    }
    // Line chart: a touch near a data point of the line.
    virtual void chartTappedOnLineKeyPoint(platform::Point point, std::int64_t lineIndex, std::int64_t pointIndex) {
        (void)point;
        (void)lineIndex;
        (void)pointIndex;
    }
    virtual void chartTappedOnBarAtIndex(std::int64_t barIndex) { (void)barIndex; }
    virtual void chartTappedOnPieIndexItem(std::int64_t pieIndex) { (void)pieIndex; }
    // Pie chart: a touch in the hole.
    virtual void didUnselectPieItem() {}
};
