#include "platform/graphics/TextMeasure.h"

#include <gtest/gtest.h>

#include <cmath>
#include <latch>
#include <thread>
#include <vector>

using platform::fontExists;
using platform::measureText;
using platform::systemFontFamily;

TEST(TextMeasureTest, FontExistsByFamilyFullAndPostScriptName) {
    EXPECT_EQ(systemFontFamily(), "DejaVu Sans");
    struct Case {
        const char* name;
        bool exists;
    };
    const Case cases[] = {
        {"DejaVu Sans", true},
        {"dejavu sans", true},
        {"DejaVu Sans Mono", true},
        {"DejaVuSans-Bold", true},   // PostScript name
        {"DejaVu Sans Bold", true},  // full name
        {"DejaVu Sans-Bold", true},  // family-style
        {"DejaVuSansMono-Oblique", true},
        {"NoSuchFont-Regular", false},
        {"DejaVu", false},  // a prefix is no name
        {"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(fontExists(c.name), c.exists) << c.name;
}

TEST(TextMeasureTest, WidthsFollowTextAndSize) {
    const auto narrow = measureText("iiii", "DejaVu Sans", 12);
    const auto wide = measureText("WWWW", "DejaVu Sans", 12);
    EXPECT_GT(wide.width, narrow.width * 2);
    EXPECT_GT(measureText("Hello, World", "DejaVu Sans", 12).width, measureText("Hello", "DejaVu Sans", 12).width);

    const auto small = measureText("Gleisplan 42", "DejaVu Sans", 10);
    const auto large = measureText("Gleisplan 42", "DejaVu Sans", 20);
    EXPECT_NEAR(large.width / small.width, 2.0, 0.02);
    EXPECT_NEAR(large.height / small.height, 2.0, 0.02);

    // A bold face is wider than the regular one: the style of a PostScript name counts.
    EXPECT_GT(measureText("Gleisplan", "DejaVuSans-Bold", 12).width, measureText("Gleisplan", "DejaVu Sans", 12).width);
}

TEST(TextMeasureTest, OnePointIsOneUnit) {
    // DejaVu Sans Mono advances every glyph by 1233/2048 em; DejaVu Sans is
    // 1901 + 483 font units of 2048 high. Independent of any screen resolution.
    EXPECT_NEAR(measureText("M", "DejaVu Sans Mono", 100).width, 100 * 1233.0 / 2048, 0.01);
    EXPECT_NEAR(measureText("iiiiiiiiii", "DejaVu Sans Mono", 100).width, 1000 * 1233.0 / 2048, 0.1);
    EXPECT_NEAR(measureText("Hello", "DejaVu Sans", 10).height, 10 * (1901.0 + 483.0) / 2048, 0.05);
}

TEST(TextMeasureTest, UnknownFontMeasuresLikeTheSystemFont) {
    for (const char* text : {"Hello, World",
                             "Stra\xC3\x9F"
                             "e 12",
                             ""}) {
        const auto system = measureText(text, systemFontFamily(), 14);
        const auto unknown = measureText(text, "NoSuchFont-Regular", 14);
        EXPECT_EQ(unknown.width, system.width) << text;
        EXPECT_EQ(unknown.height, system.height) << text;
    }
    EXPECT_NE(measureText("Hello", "DejaVu Sans Mono", 14).width, measureText("Hello", systemFontFamily(), 14).width);
}

TEST(TextMeasureTest, EdgeCasesDoNotCrash) {
    const auto empty = measureText("", "DejaVu Sans", 10);
    EXPECT_EQ(empty.width, 0);
    EXPECT_EQ(empty.height, measureText("Hello", "DejaVu Sans", 10).height);  // one line's height

    struct Case {
        const char* name;
        double size;
    };
    for (const Case c :
         {Case{"zero", 0}, Case{"negative", -5}, Case{"NaN", std::nan("")}, Case{"infinite", INFINITY}}) {
        const auto size = measureText("Hello", "DejaVu Sans", c.size);
        EXPECT_EQ(size.width, 0) << c.name;
        EXPECT_EQ(size.height, 0) << c.name;
    }
    // Sizes beyond Pango's integer range still scale linearly.
    EXPECT_NEAR(measureText("Hello", "DejaVu Sans", 4000).width, 400 * measureText("Hello", "DejaVu Sans", 10).width,
                0.5);
    // Broken UTF-8 measures as replacement characters.
    EXPECT_GT(measureText(std::string("a\xFF"
                                      "b"),
                          "DejaVu Sans", 10)
                  .width,
              measureText("ab", "DejaVu Sans", 10).width);
}

TEST(TextMeasureTest, ConcurrentMeasuringAgreesWithSerial) {
    const auto expected = measureText("Concurrent layout text", "DejaVu Sans", 13);
    constexpr int kThreads = 8;
    std::latch start(kThreads);
    std::vector<std::thread> threads;
    std::vector<int> mismatches(kThreads, 0);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            start.arrive_and_wait();
            for (int i = 0; i < 50; ++i) {
                const auto s = measureText("Concurrent layout text", t % 2 ? "DejaVu Sans" : "NoSuchFont", 13);
                if (s.width != expected.width || s.height != expected.height) ++mismatches[t];
                fontExists("DejaVuSans-Bold");
            }
        });
    }
    for (auto& t : threads) t.join();
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(mismatches[t], 0) << "thread " << t;
}
