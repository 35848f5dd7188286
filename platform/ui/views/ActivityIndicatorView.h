#pragma once
// An activity indicator: twelve spokes round a centre, fading from the
// brightest, turning a spoke at a time (kStepsPerSecond) on the main loop's
// display link while animating. Hidden while stopped when hidesWhenStopped
// (the default). Takes no touches. Main thread only.

#include "platform/ui/views/View.h"

#include <memory>

namespace platform {
class DisplayLink;
}

namespace platform::ui {

enum class ActivityIndicatorViewStyle { medium, large };

class ActivityIndicatorView : public View {
public:
    static constexpr int kSpokes = 12;
    static constexpr double kStepsPerSecond = 12;
    static constexpr double kMediumSide = 20;
    static constexpr double kLargeSide = 37;

    explicit ActivityIndicatorView(ActivityIndicatorViewStyle style = ActivityIndicatorViewStyle::medium);
    ~ActivityIndicatorView() override;

    ActivityIndicatorViewStyle style() const { return mStyle; }
    void setStyle(ActivityIndicatorViewStyle style);
    Color color() const { return mColor; }
    void setColor(const Color& color);

    void startAnimating();
    void stopAnimating();
    bool isAnimating() const { return mLink != nullptr; }
    bool hidesWhenStopped() const { return mHidesWhenStopped; }
    void setHidesWhenStopped(bool hides);

    // The spoke drawn brightest now (0 points up, then clockwise).
    int brightestSpoke() const { return mStep; }

    Size intrinsicContentSize() const override;
    Size sizeThatFits(Size size) const override { return intrinsicContentSize(); }
    void drawRect(Context& context, const Rect& rect) override;
    std::string className() const override { return "ActivityIndicatorView"; }

private:
    ActivityIndicatorViewStyle mStyle;
    Color mColor{0.56, 0.56, 0.58, 1};
    bool mHidesWhenStopped = true;
    int mStep = 0;
    double mStart = 0;
    std::unique_ptr<DisplayLink> mLink;
};

}  // namespace platform::ui
