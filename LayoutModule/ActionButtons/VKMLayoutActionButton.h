#pragma once
// A round overlay button of the layout screen: a filled circle with a thin
// outline and a shadow, with a tap action and a long-press action (0.3 s).
// Made in code only, with make(). Main thread only.

#include <functional>
#include <memory>

#include "platform/ui/views/Button.h"

namespace platform::ui {
class GestureRecognizer;
class ShapeLayer;
}  // namespace platform::ui

class VKMLayoutActionButton : public platform::ui::Button {
public:
    static constexpr double kPhoneSide = 40;
    static constexpr double kTabletSide = 45;
    static constexpr double kMinimumPressDuration = 0.3;

    static std::shared_ptr<VKMLayoutActionButton> make(platform::Point origin = {0, 0});
    explicit VKMLayoutActionButton(platform::Point origin);

    bool playsTapSound() const { return mPlaysTapSound; }
    void setPlaysTapSound(bool plays) { mPlaysTapSound = plays; }
    void setTapActionBlock(std::function<void()> block) { mTapActionBlock = std::move(block); }
    void setLongPressActionBlock(std::function<void()> block) { mLongPressActionBlock = std::move(block); }
    const std::shared_ptr<platform::ui::ShapeLayer>& circleShapeLayer() const { return mCircleShapeLayer; }

    // Plays the tap sound (when set), then runs the tap action.
    void buttonTapped();
    // Runs the long-press action when the press begins.
    void buttonLongPressed(platform::ui::GestureRecognizer& recognizer);

    platform::Size intrinsicContentSize() const override;
    void layoutSubviews() override;
    void tintColorDidChange() override;
    std::string className() const override { return "VKMLayoutActionButton"; }

    // 45 points a side on a tablet, 40 otherwise.
    static double side();

private:
    void addRecognizers();

    bool mPlaysTapSound = true;
    std::shared_ptr<platform::ui::ShapeLayer> mCircleShapeLayer;
    std::function<void()> mTapActionBlock;
    std::function<void()> mLongPressActionBlock;
};
