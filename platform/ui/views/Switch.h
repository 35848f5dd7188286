#pragma once
// A switch: on or off, drawn 51 by 31 points at its top-left whatever its
// frame (its intrinsic and fitting size): a track with a round thumb at its
// left when off, at its right when on. A tap toggles it,
// moving the thumb and the track's colour over kToggleDuration on the clock,
// and sends valueChanged, then primaryActionTriggered; setOn sends nothing.
// Main thread only.

#include "platform/ui/views/Control.h"

#include <memory>

namespace platform::ui {

class Switch : public Control {
public:
    static constexpr Size kSize{51, 31};
    static constexpr double kThumbInset = 2;
    static constexpr double kToggleDuration = 0.25;
    static constexpr Color kDefaultOnTint{0.204, 0.780, 0.349, 1};
    static constexpr Color kOffTrack{0.9, 0.9, 0.9, 1};

    static std::shared_ptr<Switch> make();
    Switch();
    explicit Switch(const Rect& frame);

    bool isOn() const { return mOn; }
    void setOn(bool on, bool animated = false);

    Color onTintColor() const { return mOnTint; }
    void setOnTintColor(const Color& color);
    Color thumbTintColor() const { return mThumbTint; }
    void setThumbTintColor(const Color& color);

    // The track and the thumb, for tests: their frames and colours show
    // the state (the thumb's presentation moves while animating).
    const std::shared_ptr<View>& trackView() const { return mTrack; }
    const std::shared_ptr<View>& thumbView() const { return mThumb; }

    Size sizeThatFits(Size size) const override;
    Size intrinsicContentSize() const override { return kSize; }
    void layoutSubviews() override;
    void didMoveToSuperview() override;
    std::string className() const override { return "Switch"; }
    void describeForDump(std::string& line) const override;

protected:
    void endTrackingWithTouch(const Touch* touch, const Event* event) override;
    void stateDidChange() override;

private:
    void installSubviews();
    void place();

    bool mOn = false;
    Color mOnTint = kDefaultOnTint;
    Color mThumbTint{1, 1, 1, 1};
    std::shared_ptr<View> mTrack;
    std::shared_ptr<View> mThumb;
};

}  // namespace platform::ui
