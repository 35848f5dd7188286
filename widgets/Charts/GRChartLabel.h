#pragma once
// The label of chart axes: bold system font of 11 points, centred, shrinking
// to fit its width, any number of lines, clear background, taking touches.

#include "platform/ui/views/Label.h"

class GRChartLabel : public platform::ui::Label {
public:
    explicit GRChartLabel(const platform::Rect& frame);
    std::string className() const override { return "GRChartLabel"; }
};
