#pragma once
// The view the pie, bar and line charts share: legend settings, the
// animation switch and the plot margins. hasLegend, legendPosition and
// labelRowsInSerialMode are kept for the chart's owner; the charts' own
// legends read only the style, the font and the font colour.

#include "platform/graphics/Color.h"
#include "platform/ui/views/Font.h"
#include "platform/ui/views/View.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class GRGenericChart : public platform::ui::View {
public:
    explicit GRGenericChart(const platform::Rect& frame);

    // The defaults of the shared settings.
    void setupDefaultValues();

    bool hasLegend() const { return mHasLegend; }
    void setHasLegend(bool hasLegend) { mHasLegend = hasLegend; }
    std::uint64_t legendPosition() const { return mLegendPosition; }
    void setLegendPosition(std::uint64_t position) { mLegendPosition = position; }
    // 0: one legend item under the other; 1: side by side in rows that wrap.
    std::uint64_t legendStyle() const { return mLegendStyle; }
    void setLegendStyle(std::uint64_t style) { mLegendStyle = style; }
    // None: the system font of 12 points.
    const std::optional<platform::ui::Font>& legendFont() const { return mLegendFont; }
    void setLegendFont(std::optional<platform::ui::Font> font) { mLegendFont = std::move(font); }
    // None: black.
    const std::optional<platform::Color>& legendFontColor() const { return mLegendFontColor; }
    void setLegendFontColor(std::optional<platform::Color> color) { mLegendFontColor = color; }
    // Kept only for legends of style 1; otherwise 1.
    std::uint64_t labelRowsInSerialMode() const { return mLabelRowsInSerialMode; }
    void setLabelRowsInSerialMode(std::uint64_t rows);
    bool displayAnimated() const { return mDisplayAnimated; }
    void setDisplayAnimated(bool animated) { mDisplayAnimated = animated; }
    // Space around the plot of the bar and line charts; the pie chart has
    // no use for it.
    double chartMarginLeft() const { return mChartMarginLeft; }
    void setChartMarginLeft(double margin) { mChartMarginLeft = margin; }
    double chartMarginRight() const { return mChartMarginRight; }
    void setChartMarginRight(double margin) { mChartMarginRight = margin; }
    double chartMarginTop() const { return mChartMarginTop; }
    void setChartMarginTop(double margin) { mChartMarginTop = margin; }
    double chartMarginBottom() const { return mChartMarginBottom; }
    void setChartMarginBottom(double margin) { mChartMarginBottom = margin; }

    // A new legend view no wider than `maxWidth`; none for charts without one.
    virtual std::shared_ptr<platform::ui::View> getLegendWithMaxWidth(double maxWidth);

    // The size of the string's box drawn in the font within `width` and an
    // unlimited height (the largest float means no width limit either).
    static platform::Size sizeOfString(const std::string& text, float width, const platform::ui::Font& font);

    std::string className() const override { return "GRGenericChart"; }

protected:
    platform::ui::Font legendFontOrDefault() const;
    platform::Color legendFontColorOrDefault() const;

    double mChartMarginLeft = 25;
    double mChartMarginRight = 25;
    double mChartMarginTop = 25;
    double mChartMarginBottom = 25;

private:
    bool mHasLegend = true;
    std::uint64_t mLegendPosition = 1;
    std::uint64_t mLegendStyle = 0;
    std::optional<platform::ui::Font> mLegendFont;
    std::optional<platform::Color> mLegendFontColor;
    std::uint64_t mLabelRowsInSerialMode = 1;
    bool mDisplayAnimated = true;
};
