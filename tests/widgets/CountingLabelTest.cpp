// The counting label: its six curves at chosen points, counts sampled on
// the virtual clock's display frames (in the tracking mode too), formats
// accepted and refused, and the completion's one shot.

#include "platform/ui/input/TouchSynth.h"
#include "platform/ui/views/Window.h"
#include "tests/platform/support/VirtualTime.h"
#include "widgets/CountingLabel/CountingLabel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>

TEST(CountingLabel, CurvesMeetTheirPointsWorkedByHand) {
    struct Case {
        unsigned method;
        double at25, at50, at75;
    } cases[] = {
        {0, 0.0625, 0.5, 0.9375}, {1, 0.015625, 0.125, 0.421875},        {2, 0.578125, 0.875, 0.984375},
        {3, 0.25, 0.5, 0.75},     {4, 0.02734375, 0.234375, 0.52734375}, {5, 0.47265625, 0.765625, 0.97265625},
        {9, 0.25, 0.5, 0.75},  // unknown methods count linearly
    };
    for (const auto& c : cases) {
        const auto curve = makeCountingCurve(c.method);
        EXPECT_NEAR(curve->update(0), 0, 1e-6) << c.method;
        EXPECT_NEAR(curve->update(0.25), c.at25, 1e-6) << c.method;
        EXPECT_NEAR(curve->update(0.5), c.at50, 1e-6) << c.method;
        EXPECT_NEAR(curve->update(0.75), c.at75, 1e-6) << c.method;
        EXPECT_NEAR(curve->update(1), 1, 1e-6) << c.method;
    }
}

TEST(CountingLabel, CountsOnDisplayFramesWithEveryCurve) {
    testsupport::VirtualTime time;
    const double at25[] = {0.0625, 0.015625, 0.578125, 0.25, 0.02734375, 0.47265625};
    const double at75[] = {0.9375, 0.421875, 0.984375, 0.75, 0.52734375, 0.97265625};
    for (unsigned method = 0; method <= 6; ++method) {
        auto label = std::make_shared<CountingLabel>();
        ASSERT_TRUE(label->setFormat("%.4f"));
        label->setMethod(method);
        label->countFrom(100, 200, 2.0);
        const unsigned curve = method == 6 ? 3 : method;  // 6 is unknown: linear
        // A little past the frame due at 0.5 s, so that it has fired.
        time.clock->advance(std::chrono::milliseconds(501));
        EXPECT_NEAR(std::atof(label->text().c_str()), 100 + 100 * at25[curve], 0.05) << method;
        time.clock->advance(std::chrono::seconds(1));
        EXPECT_NEAR(std::atof(label->text().c_str()), 100 + 100 * at75[curve], 0.05) << method;
        time.clock->advance(std::chrono::milliseconds(600));
        EXPECT_EQ(label->text(), "200.0000") << "the end is the destination exactly";
        EXPECT_FALSE(label->isCounting());
    }
}

TEST(CountingLabel, TicksEveryFrameAndGoesOnWhileATouchIsTracked) {
    testsupport::VirtualTime time;
    auto window = std::make_shared<platform::ui::Window>(platform::Rect{0, 0, 200, 200});
    platform::ui::TouchSynth synth{window};
    auto label = std::make_shared<CountingLabel>(platform::Rect{0, 0, 100, 20});
    window->addSubview(label);
    int frames = 0;
    label->setFormatBlock([&](double value) {
        ++frames;
        return std::to_string(std::lround(value));
    });
    label->setMethod(3);
    label->countFromZeroTo(60, 1.0);
    time.clock->advance(std::chrono::milliseconds(101));
    EXPECT_EQ(frames, 6) << "sixty frames a second";
    EXPECT_EQ(label->text(), "6");
    // A finger held down puts the main loop in the tracking mode.
    auto touch = synth.touchDown({150, 150});
    synth.wait(0.4);
    EXPECT_EQ(label->text(), "30");
    synth.lift({touch});
    synth.wait(0.6);
    EXPECT_EQ(label->text(), "60");
}

TEST(CountingLabel, FormatsTakeOneNumericConversion) {
    testsupport::VirtualTime time;
    struct Case {
        const char* format;
        double value;
        const char* text;
    } accepted[] = {
        {"%d", 41.9, "41"},           {"%.0i", -7.8, "-7"},       {"%5d", 12, "   12"},
        {"%.1f", 2.46, "2.5"},        {"%.2f%%", 99.5, "99.50%"}, {"Total: %+d m", 3e12, "Total: +2147483647 m"},
        {"%e", 1500, "1.500000e+03"},
    };
    for (const auto& c : accepted) {
        CountingLabel label;
        ASSERT_TRUE(label.setFormat(c.format)) << c.format;
        label.countFrom(0, c.value, 0);
        EXPECT_EQ(label.text(), c.text) << c.format;
    }
    // Texts as long as a short buffer, and longer, come out whole.
    for (const int width : {63, 64, 65, 200}) {
        CountingLabel label;
        ASSERT_TRUE(label.setFormat("%" + std::to_string(width) + ".1f"));
        label.countFrom(0, 2.5, 0);
        EXPECT_EQ(label.text(), std::string(static_cast<std::size_t>(width) - 3, ' ') + "2.5") << width;
    }
    const char* refused[] = {"%s", "%d and %d", "%n", "no number", "%ld", "%*d", "%.*f", "%p", "%1000d", "%"};
    for (const char* format : refused) {
        CountingLabel label;
        ASSERT_TRUE(label.setFormat("%.1f"));
        EXPECT_FALSE(label.setFormat(format)) << format;
        EXPECT_EQ(label.format(), "%.1f") << format;
        label.countFrom(0, 3, 0);
        EXPECT_EQ(label.text(), "3.0") << format;
    }
    // No format: "%f" stands in at the start of a count.
    CountingLabel plain;
    plain.countFrom(0, 1.5, 0);
    EXPECT_EQ(plain.format(), "%f");
    EXPECT_EQ(plain.text(), "1.500000");
    // Setting a format redraws at once.
    ASSERT_TRUE(plain.setFormat("%d"));
    EXPECT_EQ(plain.text(), "1");
}

TEST(CountingLabel, CompletionRunsOnceAndAReplacedCountDropsIt) {
    testsupport::VirtualTime time;
    auto label = std::make_shared<CountingLabel>();
    int done = 0;
    label->setCompletionBlock([&] { ++done; });
    label->countFrom(0, 5, 0);
    EXPECT_EQ(done, 1);
    EXPECT_EQ(label->text(), "5.000000");
    label->countFrom(0, 8, 0);
    EXPECT_EQ(done, 1) << "one shot";

    // Without a duration: 2 seconds, kept in the label.
    int first = 0;
    int second = 0;
    label->setCompletionBlock([&] { ++first; });
    label->countFrom(0, 10);
    EXPECT_EQ(label->animationDuration(), 2.0);
    EXPECT_EQ(label->totalTime(), 2.0);
    time.clock->advance(std::chrono::seconds(1));
    label->setCompletionBlock([&] { ++second; });
    label->countFromCurrentValueTo(20, 1.0);
    EXPECT_GT(label->startingValue(), 0);
    time.clock->advance(std::chrono::seconds(2));
    EXPECT_EQ(first, 0) << "the replaced count never completes";
    EXPECT_EQ(second, 1);
    EXPECT_EQ(label->currentValue(), 20);
}
