#pragma once
// A ring chart: one coloured sector per item, running clockwise from the
// top, a label in the middle of each, a reveal animation that sweeps the
// ring, a highlight ring on touch and a legend on request. Every drawChart
// (and so every layout pass) builds the content afresh.
//
// Made with make(), which runs the defaults; main thread only.

#include "platform/ui/core/Animation.h"
#include "platform/ui/views/Label.h"
#include "platform/ui/core/ShapeLayer.h"
#include "widgets/Charts/GRChartDelegate.h"
#include "widgets/Charts/GRGenericChart.h"
#include "widgets/Charts/GRPieChartDataItem.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace platform::ui {
class ImageView;
}

class GRPieChart : public GRGenericChart, public platform::ui::AnimationDelegate {
public:
    using Items = std::vector<std::shared_ptr<GRPieChartDataItem>>;

    static std::shared_ptr<GRPieChart> make(const platform::Rect& frame, Items items);
    // Use make(): the defaults need the chart to be shared.
    explicit GRPieChart(const platform::Rect& frame);

    const Items& items() const { return mItems; }
    // Replaces the items; nothing is drawn until the next drawChart.
    void updateChartData(Items items) { mItems = std::move(items); }

    const platform::ui::Font& descriptionTextFont() const { return mDescriptionTextFont; }
    void setDescriptionTextFont(platform::ui::Font font) { mDescriptionTextFont = std::move(font); }
    const platform::Color& descriptionTextColor() const { return mDescriptionTextColor; }
    void setDescriptionTextColor(const platform::Color& color) { mDescriptionTextColor = color; }
    const platform::Color& descriptionTextShadowColor() const { return mDescriptionTextShadowColor; }
    void setDescriptionTextShadowColor(const platform::Color& color) { mDescriptionTextShadowColor = color; }
    platform::Size descriptionTextShadowOffset() const { return mDescriptionTextShadowOffset; }
    void setDescriptionTextShadowOffset(platform::Size offset) { mDescriptionTextShadowOffset = offset; }
    double duration() const { return mDuration; }
    void setDuration(double seconds) { mDuration = seconds; }
    bool showOnlyValues() const { return mShowOnlyValues; }
    void setShowOnlyValues(bool show) { mShowOnlyValues = show; }
    bool showAbsoluteValues() const { return mShowAbsoluteValues; }
    void setShowAbsoluteValues(bool show) { mShowAbsoluteValues = show; }
    // Sectors with a smaller share keep an empty label.
    double labelPercentageCutoff() const { return mLabelPercentageCutoff; }
    void setLabelPercentageCutoff(double share) { mLabelPercentageCutoff = share; }
    bool shouldHighlightSectorOnTouch() const { return mShouldHighlightSectorOnTouch; }
    void setShouldHighlightSectorOnTouch(bool highlight) { mShouldHighlightSectorOnTouch = highlight; }
    // Both are set again from the bounds at every drawChart.
    double outerCircleRadius() const { return mOuterCircleRadius; }
    void setOuterCircleRadius(double radius) { mOuterCircleRadius = radius; }
    double innerCircleRadius() const { return mInnerCircleRadius; }
    void setInnerCircleRadius(double radius) { mInnerCircleRadius = radius; }
    std::shared_ptr<GRChartDelegate> delegate() const { return mDelegate.lock(); }
    void setDelegate(std::weak_ptr<GRChartDelegate> delegate) { mDelegate = std::move(delegate); }
    bool enableMultipleSelection() const { return mEnableMultipleSelection; }
    void setEnableMultipleSelection(bool enable) { mEnableMultipleSelection = enable; }
    bool hideValues() const { return mHideValues; }
    void setHideValues(bool hide) { mHideValues = hide; }

    // The drawn state, for the owner and tests.
    const std::vector<double>& endPercentages() const { return mEndPercentages; }
    const std::shared_ptr<platform::ui::View>& contentView() const { return mContentView; }
    const std::shared_ptr<platform::ui::ShapeLayer>& pieLayer() const { return mPieLayer; }
    const std::vector<std::shared_ptr<platform::ui::Label>>& descriptionLabels() const { return mDescriptionLabels; }
    const std::shared_ptr<platform::ui::ShapeLayer>& sectorHighlight() const { return mSectorHighlight; }
    const std::map<std::string, std::shared_ptr<platform::ui::ShapeLayer>>& selectedItems() const {
        return mSelectedItems;
    }

    void drawChart();
    void layoutSubviews() override;
    // Radii from the bounds: half and a sixth of the smaller side.
    void recompute();

    std::shared_ptr<GRPieChartDataItem> dataItemForIndex(std::size_t index) const { return mItems.at(index); }
    double startPercentageForItemAtIndex(std::size_t index) const;
    double endPercentageForItemAtIndex(std::size_t index) const;
    double ratioForItemAtIndex(std::size_t index) const;

    std::shared_ptr<platform::ui::ShapeLayer> newCircleLayerWithRadius(double radius, double borderWidth,
                                                                       const platform::Color& fillColor,
                                                                       const platform::Color& borderColor,
                                                                       double startPercentage, double endPercentage);

    void touchesBegan(const platform::ui::TouchSet& touches, const platform::ui::Event& event) override;
    // A touch at `point` of the content view.
    void didTouchAt(platform::Point point);
    // Shows the highlight ring of one sector; none for an index out of range.
    void highlightAtIndex(int index);
    // The clockwise share (0 to 1) of the turn from the top to the point.
    static double findPercentageOfAngleInCircle(platform::Point center, platform::Point point);

    std::shared_ptr<platform::ui::View> getLegendWithMaxWidth(double maxWidth) override;
    // A round legend dot as an image view centred at `center`.
    static std::shared_ptr<platform::ui::ImageView> drawInflexion(double diameter, platform::Point center,
                                                                  const platform::Color& color);

    void animationDidStop(platform::ui::Animation& animation, bool finished) override;

    std::string className() const override { return "GRPieChart"; }

private:
    void baseInit();
    void loadDefault();
    void maskChart();
    void addAnimationIfNeeded();
    std::shared_ptr<platform::ui::Label> descriptionLabelForItemAtIndex(std::size_t index);
    std::shared_ptr<platform::ui::ShapeLayer> highlightLayerForItem(std::size_t index);

    Items mItems;
    platform::ui::Font mDescriptionTextFont = platform::ui::Font::namedOrSystem("Avenir-Medium", 18);
    platform::Color mDescriptionTextColor{1, 1, 1, 1};
    platform::Color mDescriptionTextShadowColor{0, 0, 0, 0.4};
    platform::Size mDescriptionTextShadowOffset{0, 1};
    double mDuration = 1.0;
    bool mShowOnlyValues = false;
    bool mShowAbsoluteValues = false;
    double mLabelPercentageCutoff = 0;
    bool mShouldHighlightSectorOnTouch = true;
    double mOuterCircleRadius = 0;
    double mInnerCircleRadius = 0;
    std::weak_ptr<GRChartDelegate> mDelegate;
    bool mEnableMultipleSelection = false;
    bool mHideValues = false;

    std::vector<double> mEndPercentages;
    std::shared_ptr<platform::ui::View> mContentView;
    std::shared_ptr<platform::ui::ShapeLayer> mPieLayer;
    std::vector<std::shared_ptr<platform::ui::Label>> mDescriptionLabels;
    std::shared_ptr<platform::ui::ShapeLayer> mSectorHighlight;
    std::map<std::string, std::shared_ptr<platform::ui::ShapeLayer>> mSelectedItems;
    std::shared_ptr<platform::ui::Animation> mRevealAnimation;
};
