#include "widgets/Charts/GRChartLabel.h"

GRChartLabel::GRChartLabel(const platform::Rect& frame) : Label(frame) {
    setFont(platform::ui::Font::boldSystemFont(11));
    setBackgroundColor(std::nullopt);
    setTextAlignment(platform::TextAlignment::center);
    setUserInteractionEnabled(true);
    setAdjustsFontSizeToFitWidth(true);
    setNumberOfLines(0);
}
