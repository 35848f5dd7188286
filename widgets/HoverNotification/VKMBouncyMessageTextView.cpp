#include "widgets/HoverNotification/VKMBouncyMessageTextView.h"

#include "platform/ui/core/BasicAnimation.h"
#include "platform/ui/views/Font.h"
#include "platform/ui/core/KeyframeAnimation.h"
#include "platform/ui/views/Label.h"
#include "platform/graphics/TextLayout.h"
#include "platform/ui/core/Layer.h"
#include "platform/ui/views/Screen.h"
#include "widgets/HoverNotification/BouncyMessageTextPassthroughView.h"

#include <algorithm>
#include <utility>
#include <vector>

using platform::ui::FillMode;
using platform::ui::KeyframeAnimation;
using platform::ui::MediaTimingFunction;
using platform::ui::View;

namespace {

// The banner's size around its text, and its place above the screen's
// bottom edge.
constexpr double kHorizontalPadding = 30;
constexpr double kHeight = 35;
constexpr double kBottomDistance = 95;
// Kept free on either side of a banner as wide as the screen.
constexpr double kSideMargin = 8;

MediaTimingFunction linear() { return MediaTimingFunction::linear(); }
MediaTimingFunction easeOut() { return MediaTimingFunction::easeOut(); }
MediaTimingFunction overshoot() { return MediaTimingFunction({0.42, -0.3}, {0.58, 1.3}); }
MediaTimingFunction pop() { return MediaTimingFunction({0.0, 0.0}, {0.58, 1.3}); }

struct Track {
    const char* keySuffix;
    const char* viewName;
    const char* keyPath;
    std::vector<double> values;
    std::vector<double> keyTimes;
    std::vector<MediaTimingFunction> curves;
};

const std::vector<Track>& tracks() {
    static const std::vector<Track> all = {
        {"_Rotation",
         VKMBouncyMessageTextView::kRootName,
         "transform.rotation.z",
         {0, 0, 0.087, -0.035, 0, 0},
         {0, 0.083, 0.11, 0.15, 0.167, 1},
         {easeOut(), overshoot(), overshoot(), overshoot(), linear()}},
        {"_Opacity",
         VKMBouncyMessageTextView::kRootName,
         "opacity",
         {1, 1, 0, 0},
         {0, 0.75, 0.992, 1},
         {easeOut(), easeOut(), linear()}},
        {"_ScaleX",
         VKMBouncyMessageTextView::kXScaleName,
         "transform.scale.x",
         {0.25, 2.0, 1.0, 1.0},
         {0, 0.067, 0.127, 1},
         {pop(), easeOut(), linear()}},
        {"_ScaleY",
         VKMBouncyMessageTextView::kYScaleName,
         "transform.scale.y",
         {0.25, 1.75, 1.0, 1.0},
         {0, 0.067, 0.127, 1},
         {pop(), easeOut(), linear()}},
        {"_TranslationY",
         VKMBouncyMessageTextView::kRootName,
         "transform.translation.y",
         {100, -50, 0, 25},
         {0, 0.067, 0.11, 1},
         {pop(), overshoot(), linear()}},
    };
    return all;
}

std::string trackKey(const Track& track) {
    return std::string(VKMBouncyMessageTextView::kAnimationKey) + track.keySuffix;
}

}  // namespace

std::shared_ptr<VKMBouncyMessageTextView> VKMBouncyMessageTextView::make(std::string labelString, double bottomInset) {
    std::shared_ptr<VKMBouncyMessageTextView> view(new VKMBouncyMessageTextView(std::move(labelString), bottomInset));
    view->setupHierarchy();
    view->setUserInteractionEnabled(false);
    return view;
}

VKMBouncyMessageTextView::VKMBouncyMessageTextView(std::string labelString, double bottomInset)
    : View(platform::ui::Screen::mainScreen()->bounds()),
      mLabelString(std::move(labelString)),
      mBottomInset(std::max(0.0, bottomInset)) {}

std::shared_ptr<View> VKMBouncyMessageTextView::viewNamed(const std::string& name) const {
    const auto found = mViewsByName.find(name);
    return found == mViewsByName.end() ? nullptr : found->second;
}

void VKMBouncyMessageTextView::setupHierarchy() {
    if (!mViewsByName.empty()) return;
    const platform::Rect screen = platform::ui::Screen::mainScreen()->bounds();

    auto scaling = std::make_shared<View>(screen);
    addSubview(scaling);

    // The containers have no size: each one's origin is the banner's
    // middle, where their scales and turns pivot.
    auto root = std::make_shared<BouncyMessageTextPassthroughView>(
        platform::Rect{screen.x + screen.width / 2, screen.maxY() - mBottomInset - kBottomDistance, 0, 0});
    scaling->addSubview(root);
    auto xScale = std::make_shared<BouncyMessageTextPassthroughView>(platform::Rect{});
    root->addSubview(xScale);
    auto yScale = std::make_shared<BouncyMessageTextPassthroughView>(platform::Rect{});
    xScale->addSubview(yScale);

    auto label = std::make_shared<platform::ui::Label>();
    const platform::ui::Font font = platform::ui::Font::namedOrSystem(kFontName, kFontSize);
    label->setText(mLabelString);
    label->setFont(font);
    label->setTextAlignment(platform::TextAlignment::center);
    label->setTextColor(platform::Color{1, 1, 1, 1});
    label->setBackgroundColor(platform::Color{0, 0, 0, 0.75});
    label->layer()->setCornerRadius(7.5);
    label->setClipsToBounds(true);
    label->setContentMode(platform::ui::ViewContentMode::center);
    const double textWidth = platform::ui::boundingSize(mLabelString, font, screen.width).width;
    const double room = screen.width - 2 * kSideMargin - kHorizontalPadding;
    if (platform::ui::textSize(mLabelString, font).width <= room) {
        label->setBounds({0, 0, textWidth + kHorizontalPadding, kHeight});
    } else {
        // Wider than the screen leaves it: broken into lines of the room
        // there is, each kept clear of the banner's sides, and as tall as
        // they are.
        platform::TextLayoutOptions options;
        options.width = room;
        const auto layout = platform::TextLayout::make(mLabelString, font.textAttributes(platform::Color{}), options);
        std::string lines;
        for (const auto& line : layout->lines()) {
            std::string text = mLabelString.substr(line.start, line.length);
            while (!text.empty() && (text.back() == ' ' || text.back() == '\n')) text.pop_back();
            lines += (lines.empty() ? "" : "\n") + text;
        }
        label->setText(lines);
        label->setNumberOfLines(0);
        const platform::Size size = layout->size();
        label->setBounds(
            {0, 0, size.width + kHorizontalPadding, std::max(kHeight, size.height + kHeight - font.lineHeight())});
    }
    label->setCenter({0, 0});
    yScale->addSubview(label);

    mViewsByName = {
        {kScalingName, scaling}, {kRootName, root}, {kXScaleName, xScale}, {kYScaleName, yScale}, {kLabelName, label}};
}

void VKMBouncyMessageTextView::layoutSubviews() {
    const auto scaling = viewNamed(kScalingName);
    if (!scaling) return;
    const platform::Rect own = bounds();
    const platform::Rect scaled = scaling->bounds();
    double sx = own.width / scaled.width;
    double sy = own.height / scaled.height;
    switch (contentMode()) {
        case platform::ui::ViewContentMode::scaleToFill: break;
        case platform::ui::ViewContentMode::scaleAspectFill: sx = sy = std::max(sx, sy); break;
        default: sx = sy = std::min(sx, sy); break;
    }
    scaling->setTransform(platform::AffineTransform::scale(sx, sy));
    scaling->setCenter({own.x + own.width / 2, own.y + own.height / 2});
}

void VKMBouncyMessageTextView::addBouncyTextAnimation() {
    addBouncyTextAnimationWithBeginTime(0, FillMode::both, false, {});
}

void VKMBouncyMessageTextView::addBouncyTextAnimationWithCompletion(tCompletion completion) {
    addBouncyTextAnimationWithBeginTime(0, FillMode::both, false, std::move(completion));
}

void VKMBouncyMessageTextView::addBouncyTextAnimationAndRemoveOnCompletion(bool removedOnCompletion,
                                                                           tCompletion completion) {
    addBouncyTextAnimationWithBeginTime(0, removedOnCompletion ? FillMode::removed : FillMode::both,
                                        removedOnCompletion, std::move(completion));
}

void VKMBouncyMessageTextView::addBouncyTextAnimationWithBeginTime(double beginTime, FillMode fillMode,
                                                                   bool removedOnCompletion, tCompletion completion) {
    if (completion) {
        auto timer = platform::ui::BasicAnimation::make("not.a.real.key");
        timer->setDuration(kDuration);
        timer->setDelegate(std::static_pointer_cast<VKMBouncyMessageTextView>(sharedView()));
        layer()->addAnimation(timer, kAnimationKey);
        mCompletionBlocksByAnimation[layer()->animationForKey(kAnimationKey).get()] = std::move(completion);
    }
    for (const Track& track : tracks()) {
        const auto view = viewNamed(track.viewName);
        if (!view) continue;
        auto animation = KeyframeAnimation::make(track.keyPath);
        animation->setDuration(kDuration);
        animation->setValues({track.values.begin(), track.values.end()});
        animation->setKeyTimes(track.keyTimes);
        animation->setTimingFunctions(track.curves);
        animation->setBeginTime(beginTime);
        animation->setFillMode(fillMode);
        animation->setRemovedOnCompletion(removedOnCompletion);
        view->layer()->addAnimation(animation, trackKey(track));
    }
}

void VKMBouncyMessageTextView::removeBouncyTextAnimation() {
    for (const Track& track : tracks()) {
        if (const auto view = viewNamed(track.viewName)) view->layer()->removeAnimationForKey(trackKey(track));
    }
    layer()->removeAnimationForKey(kAnimationKey);
}

void VKMBouncyMessageTextView::removeAllAnimations() {
    for (const auto& [name, view] : mViewsByName) view->layer()->removeAllAnimations();
    layer()->removeAnimationForKey(kAnimationKey);
}

void VKMBouncyMessageTextView::animationDidStop(platform::ui::Animation& animation, bool finished) {
    const auto found = mCompletionBlocksByAnimation.find(&animation);
    if (found == mCompletionBlocksByAnimation.end()) return;
    tCompletion completion = std::move(found->second);
    mCompletionBlocksByAnimation.erase(found);
    if (completion) completion(finished);
}
