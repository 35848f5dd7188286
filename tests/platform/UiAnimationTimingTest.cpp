// Presentation values at chosen times: animations are pure functions of
// time, so these tests give every animation an explicit begin time and
// sample the layer's presentation around it.

#include "platform/ui/core/AnimationGroup.h"
#include "platform/ui/core/BasicAnimation.h"
#include "platform/ui/core/KeyframeAnimation.h"
#include "platform/ui/core/Layer.h"
#include "platform/ui/core/ShapeLayer.h"
#include "platform/ui/core/SpringAnimation.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <numbers>
#include <string>

using platform::Color;
using platform::Path;
using platform::Point;
using platform::Rect;
using platform::ui::AnimationGroup;
using platform::ui::AnimationValue;
using platform::ui::BasicAnimation;
using platform::ui::CalculationMode;
using platform::ui::FillMode;
using platform::ui::KeyframeAnimation;
using platform::ui::Layer;
using platform::ui::MediaTimingFunction;
using platform::ui::ShapeLayer;
using platform::ui::SpringAnimation;
using platform::ui::Transform3D;
using platform::ui::TransformParts;

namespace {

constexpr double kBegin = 1000;  // far from the clock: nothing here waits for it

double number(const Layer& layer, const char* key, double time) {
    const auto value = layer.presentationLayer(time)->valueForKeyPath(key);
    return value ? std::get<double>(*value) : NAN;
}

std::shared_ptr<BasicAnimation> basic(const char* key, AnimationValue from, AnimationValue to, double duration) {
    auto animation = BasicAnimation::make(key);
    animation->setFromValue(std::move(from));
    animation->setToValue(std::move(to));
    animation->setDuration(duration);
    animation->setBeginTime(kBegin);
    return animation;
}

}  // namespace

TEST(UiAnimationTiming, TimingFunctionsSolveTheirCurvesExactly) {
    // Expected values are points of each curve worked out by hand: at
    // parameter s the curve is at (x(s), y(s)); valueAt(x(s)) must be y(s).
    // With controls at x 1/3 and 2/3, x(s) = s.
    const MediaTimingFunction straightX({1.0 / 3, 0}, {2.0 / 3, 1});
    const MediaTimingFunction overshoot({0.42, -0.3}, {0.58, 1.3});
    struct Case {
        const char* name;
        MediaTimingFunction function;
        double x;
        double y;
    };
    const Case cases[] = {
        {"linear is the identity", MediaTimingFunction::linear(), 0.3, 0.3},
        {"ease in at s = 1/2", MediaTimingFunction::easeIn(), 0.6575, 0.5},
        {"ease out at s = 1/2", MediaTimingFunction::easeOut(), 0.3425, 0.5},
        {"ease in and out at s = 1/2", MediaTimingFunction::easeInEaseOut(), 0.5, 0.5},
        {"ease in and out at s = 1/4", MediaTimingFunction::easeInEaseOut(), 0.274375, 0.15625},
        {"default at s = 1/2", MediaTimingFunction::defaultTiming(), 0.3125, 0.5375},
        {"custom with x(s) = s at 1/4", straightX, 0.25, 0.15625},
        {"custom with x(s) = s at 1/2", straightX, 0.5, 0.5},
        {"overshoot dips below 0 early", overshoot, 0.274375, 0.071875},
        {"ends are exact", MediaTimingFunction::easeIn(), 1, 1},
        {"time before 0 is clamped", MediaTimingFunction::easeOut(), -2, 0},
    };
    for (const auto& c : cases) EXPECT_NEAR(c.function.valueAt(c.x), c.y, 1e-12) << c.name;
    // The overshooting curve leaves 0 to 1 (its y is kept, unlike its x).
    double lowest = 1;
    double highest = 0;
    for (int i = 0; i <= 100; ++i) {
        lowest = std::min(lowest, overshoot.valueAt(i / 100.0));
        highest = std::max(highest, overshoot.valueAt(i / 100.0));
    }
    EXPECT_LT(lowest, 0);
    EXPECT_GT(highest, 1);
}

TEST(UiAnimationTiming, BasicAnimationsChangeOnlyThePresentationAlongTheirCurve) {
    struct Case {
        const char* name;
        std::optional<MediaTimingFunction> function;
        double fraction;  // of the duration
        double expected;  // opacity, from 0 to 1
    };
    const Case cases[] = {
        {"linear when none is given", std::nullopt, 0.25, 0.25},
        {"ease in", MediaTimingFunction::easeIn(), 0.6575, 0.5},
        {"ease out", MediaTimingFunction::easeOut(), 0.3425, 0.5},
        {"ease in and out", MediaTimingFunction::easeInEaseOut(), 0.274375, 0.15625},
        {"default", MediaTimingFunction::defaultTiming(), 0.3125, 0.5375},
        {"custom", MediaTimingFunction({1.0 / 3, 0}, {2.0 / 3, 1}), 0.25, 0.15625},
    };
    for (const auto& c : cases) {
        auto layer = Layer::make();
        layer->setOpacity(0.75);
        auto animation = basic("opacity", 0.0, 1.0, 2);
        animation->setTimingFunction(c.function);
        layer->addAnimation(animation, "fade");
        EXPECT_NEAR(number(*layer, "opacity", kBegin + 2 * c.fraction), c.expected, 1e-9) << c.name;
        EXPECT_EQ(layer->opacity(), 0.75) << c.name << ": the model keeps its value";
    }

    // Which values an animation runs between.
    auto layer = Layer::make();
    layer->setPosition({10, 20});
    auto fromBy = basic("position.x", 100.0, 0.0, 1);
    fromBy->setToValue(std::nullopt);
    fromBy->setByValue(50.0);
    layer->addAnimation(fromBy, "fromBy");
    EXPECT_DOUBLE_EQ(number(*layer, "position.x", kBegin + 0.5), 125) << "from 100 by 50";

    auto byTo = basic("position.y", 0.0, 40.0, 1);
    byTo->setFromValue(std::nullopt);
    byTo->setByValue(-20.0);
    layer->addAnimation(byTo, "byTo");
    EXPECT_DOUBLE_EQ(number(*layer, "position.y", kBegin + 0.5), 50) << "to 40, by -20: from 60";

    auto to = BasicAnimation::make("cornerRadius");
    layer->setCornerRadius(4);
    to->setToValue(12.0);
    to->setBeginTime(kBegin);
    layer->addAnimation(to, "to");
    EXPECT_DOUBLE_EQ(number(*layer, "cornerRadius", kBegin + 0.125), 8) << "from the value shown when added";

    auto from = BasicAnimation::make("borderWidth");
    from->setFromValue(10.0);
    from->setBeginTime(kBegin);
    layer->addAnimation(from, "from");
    layer->setBorderWidth(2);
    EXPECT_DOUBLE_EQ(number(*layer, "borderWidth", kBegin + 0.125), 6) << "to the model value, read as it is now";

    auto none = BasicAnimation::make("zPosition");
    none->setBeginTime(kBegin);
    layer->addAnimation(none, "none");
    EXPECT_DOUBLE_EQ(number(*layer, "zPosition", kBegin + 0.1), 0) << "no values: nothing moves";
}

TEST(UiAnimationTiming, FillModesDecideWhatShowsBeforeAndAfterTheActiveTime) {
    struct Case {
        FillMode mode;
        double before;
        double after;
    };
    // Opacity from 0.2 to 0.6 over 1 s, model 1, kept on the layer.
    const Case cases[] = {
        {FillMode::removed, 1, 1},
        {FillMode::forwards, 1, 0.6},
        {FillMode::backwards, 0.2, 1},
        {FillMode::both, 0.2, 0.6},
    };
    for (const auto& c : cases) {
        const std::string name = "fill mode " + std::to_string(static_cast<int>(c.mode));
        auto layer = Layer::make();
        auto animation = basic("opacity", 0.2, 0.6, 1);
        animation->setFillMode(c.mode);
        animation->setRemovedOnCompletion(false);
        layer->addAnimation(animation, "fade");
        EXPECT_DOUBLE_EQ(number(*layer, "opacity", kBegin - 0.5), c.before) << name;
        EXPECT_DOUBLE_EQ(number(*layer, "opacity", kBegin + 0.5), 0.4) << name;
        EXPECT_DOUBLE_EQ(number(*layer, "opacity", kBegin + 5), c.after) << name;
    }
}

TEST(UiAnimationTiming, RepeatsAutoreversesAndSpeed) {
    struct Case {
        const char* name;
        double repeatCount;
        bool autoreverses;
        double speed;
        double at;  // seconds after the begin
        double expected;
    };
    // From 0 to 10 over 1 s, linear, filled forwards.
    const Case cases[] = {
        {"first pass", 2.5, false, 1, 0.25, 2.5},
        {"second pass starts again", 2.5, false, 1, 1.25, 2.5},
        {"a fractional repeat ends mid-pass", 2.5, false, 1, 9, 5},
        {"whole repeats end at the end", 2, false, 1, 9, 10},
        {"going out", 2.5, true, 1, 0.25, 2.5},
        {"coming back", 2.5, true, 1, 1.25, 7.5},
        {"third round going out", 2.5, true, 1, 4.5, 5},
        {"two and a half rounds end out", 2.5, true, 1, 9, 10},
        {"two rounds end back at the start", 2, true, 1, 9, 0},
        {"twice the speed", 1, false, 2, 0.25, 5},
        {"twice the speed ends in half the time", 1, false, 2, 0.5, 10},
    };
    for (const auto& c : cases) {
        auto layer = Layer::make();
        auto animation = basic("zPosition", 0.0, 10.0, 1);
        animation->setRepeatCount(c.repeatCount);
        animation->setAutoreverses(c.autoreverses);
        animation->setSpeed(c.speed);
        animation->setFillMode(FillMode::forwards);
        animation->setRemovedOnCompletion(false);
        layer->addAnimation(animation, "z");
        EXPECT_NEAR(number(*layer, "zPosition", kBegin + c.at), c.expected, 1e-9) << c.name;
    }

    auto forever = basic("opacity", 0.0, 1.0, 0.4);
    forever->setRepeatCount(FLT_MAX);
    EXPECT_TRUE(std::isinf(forever->activeDuration())) << "the largest float repeats for ever";
    auto defaulted = BasicAnimation::make("opacity");
    EXPECT_DOUBLE_EQ(defaulted->activeDuration(), 0.25) << "duration 0 is the platform's 0.25 s";
}

TEST(UiAnimationTiming, KeyframesFollowKeyTimesSegmentCurvesAndDiscreteSteps) {
    auto layer = Layer::make();
    auto linear = KeyframeAnimation::make("zPosition");
    linear->setValues({0.0, 10.0, 20.0});
    linear->setKeyTimes({0, 0.25, 1});
    linear->setTimingFunctions({MediaTimingFunction({1.0 / 3, 0}, {2.0 / 3, 1})});
    linear->setDuration(4);
    linear->setBeginTime(kBegin);
    layer->addAnimation(linear, "z");
    EXPECT_DOUBLE_EQ(number(*layer, "zPosition", kBegin + 0.25), 1.5625) << "first segment on its curve";
    EXPECT_DOUBLE_EQ(number(*layer, "zPosition", kBegin + 1), 10) << "at the second key time";
    EXPECT_DOUBLE_EQ(number(*layer, "zPosition", kBegin + 2.5), 15) << "second segment, linear";

    const auto valuesAt = [](const KeyframeAnimation& a, std::initializer_list<double> fractions) {
        std::vector<double> out;
        for (double f : fractions) out.push_back(std::get<double>(*a.valueAt(f)));
        return out;
    };
    KeyframeAnimation discrete("opacity");
    discrete.setValues({1.0, 2.0, 3.0});
    discrete.setCalculationMode(CalculationMode::discrete);
    EXPECT_EQ(valuesAt(discrete, {0, 0.3, 0.34, 0.7, 1}), (std::vector<double>{1, 1, 2, 3, 3})) << "even steps";
    discrete.setKeyTimes({0, 0.5, 0.9});
    EXPECT_EQ(valuesAt(discrete, {0.49, 0.5, 0.89, 0.95}), (std::vector<double>{1, 2, 2, 3})) << "placed steps";
    discrete.setKeyTimes({0, 0.6, 0.5});
    EXPECT_EQ(valuesAt(discrete, {0.4, 0.5}), (std::vector<double>{2, 2})) << "falling key times are spread evenly";

    // A banner's horizontal pop: at each key time exactly its value.
    KeyframeAnimation pop("transform.scale.x");
    pop.setValues({0.25, 2.0, 1.0, 1.0});
    pop.setKeyTimes({0, 0.067, 0.127, 1});
    pop.setTimingFunctions(
        {MediaTimingFunction({0, 0}, {0.58, 1.3}), MediaTimingFunction::easeOut(), MediaTimingFunction::linear()});
    EXPECT_EQ(valuesAt(pop, {0, 0.067, 0.127, 0.5, 1}), (std::vector<double>{0.25, 2, 1, 1, 1}));
}

TEST(UiAnimationTiming, SpringsOvershootWhenLightlyDampedAndSettle) {
    SpringAnimation critical("opacity");
    critical.setDamping(20);  // mass 1, stiffness 100: critically damped
    // (1 + 10 t) e^(-10 t) is left of the change after t seconds.
    EXPECT_NEAR(critical.springProgress(0.1), 1 - 2 * std::exp(-1.0), 1e-12);
    double highest = 0;
    for (int i = 0; i <= 300; ++i) highest = std::max(highest, critical.springProgress(i / 100.0));
    EXPECT_LE(highest, 1) << "critical damping never overshoots";

    SpringAnimation light("opacity");  // damping 10: ratio 1/2
    // The first peak, at t = pi / wd with wd = 10 sqrt(3/4), overshoots by
    // e^(-5 t).
    const double wd = 10 * std::sqrt(0.75);
    const double peak = std::numbers::pi / wd;
    EXPECT_NEAR(light.springProgress(peak), 1 + std::exp(-5 * peak), 1e-12);
    EXPECT_GT(light.springProgress(peak), 1.16);

    for (SpringAnimation* spring : {&critical, &light}) {
        const double settled = spring->settlingDuration();
        ASSERT_TRUE(std::isfinite(settled));
        for (double t = settled; t < settled + 5; t += 0.01) {
            ASSERT_LT(std::abs(spring->springProgress(t) - 1), 0.001) << "settled at " << t;
        }
        bool outBefore = false;
        for (double t = settled - 0.002; t < settled; t += 0.0001) {
            outBefore = outBefore || std::abs(spring->springProgress(t) - 1) >= 0.001;
        }
        EXPECT_TRUE(outBefore) << "the settling time is the last moment out of reach, to a millisecond";
    }

    // A push towards the target gets there sooner.
    SpringAnimation pushed("opacity");
    pushed.setDamping(20);
    pushed.setInitialVelocity(5);
    EXPECT_GT(pushed.springProgress(0.05), critical.springProgress(0.05));

    // On a layer, the spring drives the value from `from` to `to`.
    auto layer = Layer::make();
    auto animation = SpringAnimation::make("position.x");
    animation->setFromValue(0.0);
    animation->setToValue(100.0);
    animation->setDuration(animation->settlingDuration());
    animation->setBeginTime(kBegin);
    layer->addAnimation(animation, "spring");
    EXPECT_NEAR(number(*layer, "position.x", kBegin + peak), 100 * light.springProgress(peak), 1e-9);
}

TEST(UiAnimationTiming, KeyPathsReachIntoTransformsBoundsColoursAndPaths) {
    auto layer = Layer::make();
    layer->setBounds({0, 0, 200, 44});
    layer->setTransform(Transform3D::scale(2, 2));
    layer->addAnimation(basic("transform.rotation.z", 0.0, std::numbers::pi, 1), "turn");
    layer->addAnimation(basic("transform.translation.y", 0.0, 10.0, 1), "move");
    layer->addAnimation(basic("bounds.size.width", 200.0, 44.0, 1), "shrink");
    layer->addAnimation(basic("backgroundColor", Color{0, 0, 0, 0}, Color{1, 0.5, 0, 1}, 1), "tint");
    const auto shown = layer->presentationLayer(kBegin + 0.5);
    const auto parts = TransformParts::of(shown->transform());
    ASSERT_TRUE(parts);
    EXPECT_NEAR(parts->rotationZ, std::numbers::pi / 2, 1e-12) << "turned half way";
    EXPECT_NEAR(parts->scaleX, 2, 1e-12) << "the model's scale stays";
    EXPECT_NEAR(parts->translationY, 5, 1e-12);
    EXPECT_EQ(shown->bounds(), (Rect{0, 0, 122, 44})) << "only the width moves";
    EXPECT_EQ(shown->backgroundColor(), (Color{0.5, 0.25, 0, 0.5}));
    EXPECT_EQ(layer->transform(), Transform3D::scale(2, 2)) << "the model is untouched";

    // Paths of the same elements move point by point; others switch half way.
    auto shape = ShapeLayer::make();
    Path small;
    small.addArc({50, 50}, 1, 0, 2 * std::numbers::pi, true);
    Path large;
    large.addArc({50, 50}, 41, 0, 2 * std::numbers::pi, true);
    Path square;
    square.addRect({0, 0, 10, 10});
    shape->addAnimation(basic("path", small, large, 1), "reveal");
    const Path half = std::get<Path>(*shape->presentationLayer(kBegin + 0.5)->valueForKeyPath("path"));
    EXPECT_NEAR(half.elements()[0].points[0].x, 71, 1e-12) << "radius 21 at the start point (0 degrees)";
    shape->addAnimation(basic("path", small, square, 1), "reveal");
    EXPECT_EQ(std::get<Path>(*shape->presentationLayer(kBegin + 0.49)->valueForKeyPath("path")), small);
    EXPECT_EQ(std::get<Path>(*shape->presentationLayer(kBegin + 0.5)->valueForKeyPath("path")), square);

    // A key path that names nothing runs without changing anything.
    auto nothing = basic("not.a.real.key", 0.0, 1.0, 3);
    layer->addAnimation(nothing, "BouncyTextAnimation");
    EXPECT_EQ(layer->presentationLayer(kBegin + 1)->valueForKeyPath("not.a.real.key"), std::nullopt);
    EXPECT_EQ(layer->animationForKey("BouncyTextAnimation"), nothing) << "the layer holds the object added";
}

TEST(UiAnimationTiming, GroupsTimeTheirChildrenAndLaterAnimationsWin) {
    // A pop and fade: both children 0.3 s in a group of 0.6 s that stays.
    auto fade = basic("opacity", 1.0, 0.0, 0.3);
    fade->setBeginTime(0);
    fade->setFillMode(FillMode::forwards);
    auto grow = basic("transform.scale", 1.0, 4.0, 0.3);
    grow->setBeginTime(0);
    auto group = AnimationGroup::make();
    group->setAnimations({fade, grow});
    group->setDuration(0.6);
    group->setFillMode(FillMode::forwards);
    group->setRemovedOnCompletion(false);
    group->setBeginTime(kBegin);
    auto layer = Layer::make();
    layer->addAnimation(group, "animationGroup");

    EXPECT_NEAR(number(*layer, "opacity", kBegin + 0.15), 0.5, 1e-12);
    EXPECT_NEAR(number(*layer, "transform.scale", kBegin + 0.15), 2.5, 1e-12);
    EXPECT_NEAR(number(*layer, "opacity", kBegin + 0.45), 0, 1e-12) << "the fade holds";
    EXPECT_NEAR(number(*layer, "transform.scale", kBegin + 0.45), 1, 1e-12) << "the growth does not";
    EXPECT_NEAR(number(*layer, "opacity", kBegin + 5), 0, 1e-12) << "the group holds its end";

    // Two animations of one key path: the one added later shows.
    auto later = basic("opacity", 0.7, 0.7, 10);
    layer->addAnimation(later, "later");
    EXPECT_DOUBLE_EQ(number(*layer, "opacity", kBegin + 0.15), 0.7);
    EXPECT_EQ(layer->animationKeys(), (std::vector<std::string>{"animationGroup", "later"}));
    // Adding under a key that is taken replaces that animation.
    layer->addAnimation(basic("opacity", 0.25, 0.25, 10), "animationGroup");
    EXPECT_EQ(layer->animationKeys(), (std::vector<std::string>{"later", "animationGroup"}));
    EXPECT_DOUBLE_EQ(number(*layer, "opacity", kBegin + 0.15), 0.25);
    layer->removeAnimationForKey("animationGroup");
    EXPECT_DOUBLE_EQ(number(*layer, "opacity", kBegin + 0.15), 0.7);
    layer->removeAllAnimations();
    EXPECT_TRUE(layer->animationKeys().empty());
    EXPECT_DOUBLE_EQ(number(*layer, "opacity", kBegin + 0.15), 1);
}
