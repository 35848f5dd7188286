#pragma once
// The small rounded control under the drawn layout that shows the zoom as a
// percentage in the user's number format; a tap runs its action and plays
// the action-button sound. Main thread only.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/ui/views/View.h"

namespace platform::ui {
class Label;
}

class VKMZoomButton : public platform::ui::View {
public:
    static constexpr double kCornerRadius = 8;

    // Made with std::make_shared; the label is added by make().
    static std::shared_ptr<VKMZoomButton> make(const platform::Rect& frame = {});

    double currentZoomFactor() const { return mCurrentZoomFactor; }
    // Shows the zoom as a percentage.
    void setCurrentZoomFactor(double zoomFactor);

    const std::function<void()>& tapAction() const { return mTapAction; }
    void setTapAction(std::function<void()> action) { mTapAction = std::move(action); }

    const std::shared_ptr<platform::ui::Label>& zoomLabel() const { return mZoomLabel; }

    // Runs the tap action, then plays the action-button sound.
    void handleTap();
    // Teal for 0.1 s, then back to the tint colour over 0.1 s.
    void provideVisualFeedback();

    // Dimmed greys the background (light grey at 0.3); normal restores it.
    void tintColorDidChange() override;
    platform::Size intrinsicContentSize() const override;
    std::string className() const override { return "VKMZoomButton"; }

    // The value in the current locale's percent style ("36 %", "1,250%");
    // none when it cannot be formatted.
    static std::optional<std::string> formattedPercentage(double value);

    explicit VKMZoomButton(const platform::Rect& frame);

private:
    void build();

    std::shared_ptr<platform::ui::Label> mZoomLabel;
    double mCurrentZoomFactor = 1.0;
    std::function<void()> mTapAction;
};
