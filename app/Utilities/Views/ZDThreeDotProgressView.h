#pragma once
// A busy indicator: three white dots on a translucent black rounded square
// that swell one after the other. It animates from creation until
// `animating` is set false; the round in progress then ends and no further
// dot swells. The repeating timer keeps the view alive until it stops.
// Main thread only.

#include <array>
#include <memory>

#include "platform/ui/views/View.h"

// One dot: a white filled ellipse in whatever rectangle it draws.
class ZDThreeDotProgressCircleView : public platform::ui::View {
public:
    explicit ZDThreeDotProgressCircleView(const platform::Rect& frame);
    void drawRect(platform::Context& context, const platform::Rect& rect) override;
    std::string className() const override { return "ZDThreeDotProgressCircleView"; }
};

class ZDThreeDotProgressView : public platform::ui::View {
public:
    // The only way to make one: the dots in a row about the middle, 2
    // diameters apart, and animating at once. A step of the animation
    // lasts `interval` seconds; an interval that is not positive leaves
    // the dots still.
    static std::shared_ptr<ZDThreeDotProgressView> make(const platform::Rect& frame, double pointDiameter,
                                                        double interval);

    bool animating() const { return mAnimating; }
    void setAnimating(bool animating) { mAnimating = animating; }
    double interval() const { return mInterval; }
    double pointDiameter() const { return mPointDiameter; }
    const std::shared_ptr<ZDThreeDotProgressCircleView>& leftCircle() const { return mCircles[0]; }
    const std::shared_ptr<ZDThreeDotProgressCircleView>& middleCircle() const { return mCircles[1]; }
    const std::shared_ptr<ZDThreeDotProgressCircleView>& rightCircle() const { return mCircles[2]; }

    // The frame's size.
    platform::Size intrinsicContentSize() const override;
    std::string className() const override { return "ZDThreeDotProgressView"; }

    // Public for make_shared only.
    ZDThreeDotProgressView(const platform::Rect& frame, double pointDiameter, double interval);

private:
    void layOutCircles();
    void startAnimating();
    // One tick of the timer; false when the timer is to stop.
    bool tick();
    void pulse(platform::ui::View& circle) const;

    bool mAnimating = false;
    double mInterval;
    double mPointDiameter;
    std::array<std::shared_ptr<ZDThreeDotProgressCircleView>, 3> mCircles;
    std::size_t mStep = 0;
};
