#pragma once
// The message banner: a full-screen view that takes no touches, holding a
// dark rounded label 95 points above the bottom of the screen (or of the
// bars along it) that pops in with a bounce, wobbles, stays and fades out
// within three seconds.
//
// The banner sits in three containers, each carrying part of the motion
// (the root: turn, opacity and rise; then the horizontal and the vertical
// scale), all inside a view of the screen's size that is scaled to fit
// this one. Main thread only.

#include "platform/ui/core/Animation.h"
#include "platform/ui/views/View.h"

#include <functional>
#include <map>
#include <memory>
#include <string>

class VKMBouncyMessageTextView : public platform::ui::View, public platform::ui::AnimationDelegate {
public:
    using tCompletion = std::function<void(bool finished)>;

    // Names of the views of the hierarchy, outermost first.
    static constexpr const char* kScalingName = "__scaling__";
    static constexpr const char* kRootName = "bouncyView__root";
    static constexpr const char* kXScaleName = "bouncyView__xScale";
    static constexpr const char* kYScaleName = "bouncyView__yScale";
    static constexpr const char* kLabelName = "bouncyView";
    // The key of the animation that times the completion, on this view's
    // own layer; the others are this followed by "_Rotation" and so on.
    static constexpr const char* kAnimationKey = "BouncyTextAnimation";
    static constexpr double kDuration = 3.0;
    static constexpr const char* kFontName = "AvenirNext-Medium";
    static constexpr double kFontSize = 20;

    // As large as the main screen, with its hierarchy set up; the banner
    // stands 95 points above the bottom less `bottomInset` (the height of
    // the bars along it).
    static std::shared_ptr<VKMBouncyMessageTextView> make(std::string labelString, double bottomInset = 0);

    const std::string& labelString() const { return mLabelString; }
    const std::map<std::string, std::shared_ptr<platform::ui::View>>& viewsByName() const { return mViewsByName; }
    // Null for a name that is not one of the hierarchy's.
    std::shared_ptr<platform::ui::View> viewNamed(const std::string& name) const;

    // Scales the screen-sized view to this view's bounds as the content
    // mode says (stretched, else aspect fill or fit) and centres it.
    void layoutSubviews() override;
    // Builds the named views; make() does this once.
    void setupHierarchy();

    // Begin time 0 (now). Without a completion: filled both ways and kept.
    void addBouncyTextAnimation();
    void addBouncyTextAnimationWithCompletion(tCompletion completion);
    // Removed: fill mode removed and dropped at the end; kept: filled both
    // ways and kept.
    void addBouncyTextAnimationAndRemoveOnCompletion(bool removedOnCompletion, tCompletion completion = {});
    // The completion hears once whether the animation ran its 3 seconds
    // (true) or was removed first (false).
    void addBouncyTextAnimationWithBeginTime(double beginTime, platform::ui::FillMode fillMode,
                                             bool removedOnCompletion, tCompletion completion);
    // The banner's five animations and the completion's.
    void removeBouncyTextAnimation();
    // Every animation of the named views, and the completion's.
    void removeAllAnimations();

    void animationDidStop(platform::ui::Animation& animation, bool finished) override;
    std::string className() const override { return "VKMBouncyMessageTextView"; }

private:
    VKMBouncyMessageTextView(std::string labelString, double bottomInset);

    std::string mLabelString;
    double mBottomInset;
    std::map<std::string, std::shared_ptr<platform::ui::View>> mViewsByName;
    // Keyed by the animation object the layer holds, which is not kept
    // alive by this table.
    std::map<const platform::ui::Animation*, tCompletion> mCompletionBlocksByAnimation;
};
