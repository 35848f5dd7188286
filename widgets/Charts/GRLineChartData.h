#pragma once
// The data of line charts: points, colour bands and one line's settings.

#include "platform/foundation/Range.h"
#include "platform/graphics/Color.h"
#include "platform/ui/views/Font.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// One point: the plotted value and the value its label shows.
struct GRLineChartDataItem {
    double y = 0;
    double rawY = 0;

    static GRLineChartDataItem dataItemWithY(double y) { return {y, y}; }
    static GRLineChartDataItem dataItemWithY(double y, double rawY) { return {y, rawY}; }
};

// A band of y values from location to location + length, in data units,
// drawn in its colour. `inclusive` is kept for the owner; drawing ignores it.
struct GRLineChartColorRange {
    platform::Range range;
    platform::Color color;
    bool inclusive = false;

    GRLineChartColorRange(platform::Range range, platform::Color color, bool inclusive = false)
        : range(range), color(color), inclusive(inclusive) {}
};

// Inflexion point styles; other values draw no marker.
enum GRLineChartPointStyle : std::uint64_t {
    GRLineChartPointStyleNone = 0,
    GRLineChartPointStyleCircle = 1,
    GRLineChartPointStyleSquare = 3,
    GRLineChartPointStyleTriangle = 4,
};

// One line of a line chart.
class GRLineChartData {
public:
    using DataGetter = std::function<GRLineChartDataItem(std::size_t index)>;

    // None: the default line colour (the system green).
    std::optional<platform::Color> color;
    // Opacity of the point markers and legend samples.
    double alpha = 1;
    std::uint64_t itemCount = 0;
    DataGetter getData;
    std::string dataTitle;
    bool showPointLabel = false;
    platform::Color pointLabelColor{0, 0, 0, 1};
    std::optional<platform::ui::Font> pointLabelFont;
    // None: the chart's y label format.
    std::optional<std::string> pointLabelFormat = "%1.f";
    std::uint64_t inflexionPointStyle = GRLineChartPointStyleNone;
    std::optional<platform::Color> inflexionPointColor;
    // Sorted by location when the chart lays the line out.
    std::vector<GRLineChartColorRange> rangeColors;
    double inflexionPointWidth = 6;
    double lineWidth = 2;

    static std::shared_ptr<GRLineChartData> make() { return std::make_shared<GRLineChartData>(); }
};
