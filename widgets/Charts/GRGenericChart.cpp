#include "widgets/Charts/GRGenericChart.h"

#include "widgets/Charts/GRChartColors.h"

GRGenericChart::GRGenericChart(const platform::Rect& frame) : View(frame) {}

void GRGenericChart::setupDefaultValues() {
    mHasLegend = true;
    mLegendPosition = 1;
    mLegendStyle = 0;
    mLegendFont.reset();
    mLegendFontColor.reset();
    mLabelRowsInSerialMode = 1;
    mDisplayAnimated = true;
    mChartMarginLeft = mChartMarginRight = mChartMarginTop = mChartMarginBottom = 25;
}

void GRGenericChart::setLabelRowsInSerialMode(std::uint64_t rows) {
    mLabelRowsInSerialMode = mLegendStyle == 1 ? rows : 1;
}

std::shared_ptr<platform::ui::View> GRGenericChart::getLegendWithMaxWidth(double maxWidth) {
    (void)maxWidth;
    return nullptr;
}

platform::Size GRGenericChart::sizeOfString(const std::string& text, float width, const platform::ui::Font& font) {
    // Callers pass the largest float for "no limit"; the text layout takes
    // 0 for that, and widths that large would overflow its units.
    constexpr float kUnlimited = 1e7f;
    return platform::ui::boundingSize(text, font, width >= kUnlimited ? 0 : width);
}

platform::ui::Font GRGenericChart::legendFontOrDefault() const {
    return mLegendFont ? *mLegendFont : platform::ui::Font::systemFont(12);
}

platform::Color GRGenericChart::legendFontColorOrDefault() const {
    return mLegendFontColor ? *mLegendFontColor : GRChartColors::kBlack;
}
