#pragma once
// A visual effect view: a blurred, tinted copy of what lies beneath it in
// its window, with a content view above for what it holds. The backdrop is
// drawn once when the view comes into a window (on the main loop's next
// turn, once whatever is being put up with it is there), again when its
// size changes or on refreshBackdrop(), never per frame: it is a still of
// the moment a presentation began. Main thread only.

#include "platform/ui/views/View.h"

#include <memory>
#include <optional>

namespace platform::ui {

struct PlanStorage;

// The platform's values that the screens use.
enum class BlurEffectStyle { extraLight = 0, light = 1, dark = 2, regular = 4, prominent = 5 };

class VisualEffectView : public View {
public:
    // Points of blur (the Gaussian's deviation) at every style.
    static constexpr double kBlurRadius = 10;

    explicit VisualEffectView(std::optional<BlurEffectStyle> effect = std::nullopt, const Rect& frame = {});

    std::optional<BlurEffectStyle> effect() const { return mEffect; }
    void setEffect(std::optional<BlurEffectStyle> effect);
    // Subviews go here, above the backdrop; it follows the view's bounds.
    std::shared_ptr<View> contentView();

    // Draws the backdrop again now.
    void refreshBackdrop();
    // How often the backdrop has been drawn.
    int backdropRenderCount() const { return mRenders; }

    void didMoveToWindow() override;
    void layoutSubviews() override;
    std::string className() const override { return "VisualEffectView"; }

private:
    void scheduleBackdrop();

    std::optional<BlurEffectStyle> mEffect;
    std::shared_ptr<View> mContent;
    Size mBackdropSize{-1, -1};
    bool mBackdropPosted = false;
    int mRenders = 0;
    // What the last backdrop's plan left for the next (render/FramePlan.h).
    std::shared_ptr<PlanStorage> mPlans;
};

}  // namespace platform::ui
