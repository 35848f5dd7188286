#pragma once
// One sector of a pie chart: its size, colour and optional description.

#include "platform/graphics/Color.h"

#include <memory>
#include <optional>
#include <string>

struct GRPieChartDataItem {
    double value = 0;  // shares are value / the sum of all values
    platform::Color color;
    std::optional<std::string> textDescription;

    static std::shared_ptr<GRPieChartDataItem> dataItemWithValue(double value, const platform::Color& color) {
        return std::make_shared<GRPieChartDataItem>(GRPieChartDataItem{value, color, std::nullopt});
    }
    static std::shared_ptr<GRPieChartDataItem> dataItemWithValue(double value, const platform::Color& color,
                                                                 std::string description) {
        return std::make_shared<GRPieChartDataItem>(GRPieChartDataItem{value, color, std::move(description)});
    }
};
