// The colour category: colours read from text, packed and unpacked, named
// in the registry (also from several threads), blended, and bridged to the
// engine with the drawing road's colours.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <future>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "LayoutView/Drawing/VKMLayoutColors.h"
#include "app/Utilities/Colors/UIColorCColor.h"
#include "app/Utilities/Colors/UIColorCColorPalette.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/DispatchSemaphore.h"
#include "platform/graphics/Image.h"
#include "platform/ui/views/Window.h"

using platform::Color;
namespace C = UIColorCColor;

namespace {

// Compared as bytes, which is what text and packed values can hold.
std::optional<std::uint32_t> Packed(const std::optional<Color>& color) {
    if (!color) return std::nullopt;
    return C::RGBAValue(*color);
}

}  // namespace

TEST(ColorCategory, TextFormsGiveTheirColoursOrNone) {
    struct Case {
        const char* name;
        std::string text;
        std::optional<std::uint32_t> rgba;
    };
    const std::vector<Case> cases = {
        {"three digits are doubled and opaque", "#F00", 0xFF0000FF},
        {"three mixed digits", "#f80", 0xFF8800FF},
        {"six digits are opaque", "#1A2b3C", 0x1A2B3CFF},
        {"eight digits end with alpha", "0x00FF0080", 0x00FF0080},
        {"every # and 0x goes", "#0x336699", 0x336699FF},
        {"nothing left is transparent black", "#", 0x00000000},
        {"the empty text too", "", 0x00000000},
        {"five digits", "12345", std::nullopt},
        {"one digit", "f", std::nullopt},
        {"nine digits", "123456789", std::nullopt},
        {"no hexadecimal digit at the start", "zzzzzz", std::nullopt},
        {"digits are read as far as they go", "12zzzz", 0x00000012},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Packed(C::makeWithString(c.text, false)), c.rgba) << c.name;
        EXPECT_EQ(Packed(C::colorWithString(c.text)), c.rgba) << c.name;
    }
    // 0x80 is 128/255 exactly, not 0.5.
    EXPECT_DOUBLE_EQ(C::colorWithString("0x00FF0080")->alpha, 128.0 / 255.0);

    // Names are looked up without regard to case, and only with lookup on.
    EXPECT_EQ(C::colorWithString("Red"), (Color{1, 0, 0, 1}));
    EXPECT_EQ(C::makeWithString("CLEAR"), (Color{0, 0, 0, 0}));
    EXPECT_EQ(C::makeWithString("red", false), std::nullopt);
}

TEST(ColorCategory, RegisteredNamesAreFoundAndReportedInLowerCase) {
    EXPECT_EQ(C::standardColors().size(), 15u);
    EXPECT_EQ(C::standardColors().at("brown"), (Color{0.6, 0.4, 0.2, 1}));
    const Color teal{0.1, 0.6, 0.55, 1};
    C::registerColor(teal, "MyTeal");
    EXPECT_EQ(C::standardColors().count("myteal"), 1u);
    EXPECT_EQ(C::colorWithString("myteal"), teal);
    EXPECT_EQ(C::colorWithString("MYTEAL"), teal);
    EXPECT_EQ(C::stringValue(teal), "myteal");

    // A later registration under the same name replaces the colour.
    const Color other{0.2, 0.2, 0.2, 1};
    C::registerColor(other, "myTEAL");
    EXPECT_EQ(C::colorWithString("MyTeal"), other);
    EXPECT_EQ(C::stringValue(teal), "#19998c");

    EXPECT_EQ(C::stringValue(Color{1, 0, 0, 1}), "red");
    EXPECT_EQ(C::stringValue(Color{0x1a / 255.0, 0x2b / 255.0, 0x3c / 255.0, 1}), "#1a2b3c");
    EXPECT_EQ(C::stringValue(Color{0x1a / 255.0, 0x2b / 255.0, 0x3c / 255.0, 0x80 / 255.0}), "#1a2b3c80");
    // What stringValue writes reads back as the same bytes.
    const Color odd{0.3, 0.71, 0.09, 0.4};
    EXPECT_EQ(Packed(C::colorWithString(C::stringValue(odd))), C::RGBAValue(odd));
}

TEST(ColorCategory, PackedValuesTruncateAndHexTextRounds) {
    const Color almost{0.999, 0.5, 0.0, 1};
    EXPECT_EQ(C::RGBValue(almost), 0xFE7F00u) << "0.999 x 255 = 254.7 is truncated";
    EXPECT_EQ(C::hexStringFromRGBColor(almost), "FF8000") << "but rounded as text";

    // Every byte survives a round trip in every position.
    for (std::uint32_t k = 0; k < 256; ++k) {
        EXPECT_EQ(C::RGBValue(C::colorWithRGBValue(k << 16 | (255 - k) << 8 | k)), k << 16 | (255 - k) << 8 | k);
        const std::uint32_t rgba = k << 24 | (k ^ 0x5A) << 16 | (255 - k) << 8 | k;
        EXPECT_EQ(C::RGBAValue(C::colorWithRGBAValue(rgba)), rgba);
    }
    const Color unpacked = C::colorWithRGBAValue(0x11223344);
    EXPECT_DOUBLE_EQ(unpacked.red, 0x11 / 255.0);
    EXPECT_DOUBLE_EQ(unpacked.green, 0x22 / 255.0);
    EXPECT_DOUBLE_EQ(unpacked.blue, 0x33 / 255.0);
    EXPECT_DOUBLE_EQ(unpacked.alpha, 0x44 / 255.0);
    // The three-byte form divides in single precision.
    EXPECT_EQ(C::colorWithRGBValue(0x800000).red, static_cast<double>(128.0f / 255.0f));

    // Components beyond 0 to 1 stay within their byte instead of spilling
    // into the next one.
    const Color bright = C::colorWithBrightness(Color{0.8, 0.4, 0.2, 1}, 2);
    EXPECT_EQ(C::RGBValue(bright), 0xFFCC66u);
    EXPECT_EQ(C::RGBAValue(Color{-0.5, 1.5, 0.5, 2}), 0x00FF7FFFu);
    EXPECT_EQ(C::hexStringFromRGBColor(Color{-0.5, 1.5, 0.5, 1}), "00FF80");
    EXPECT_EQ(C::stringValue(bright), "#ffcc66");
}

TEST(ColorCategory, BlendingBrightnessAndComparisonHoldTheirLimits) {
    const Color self{0.2, 0.4, 0.6, 1.0};
    const Color other{1.0, 0.0, 0.2, 0.0};
    EXPECT_EQ(C::colorBlendedWithColor(self, other, 2), other);
    EXPECT_EQ(C::colorBlendedWithColor(self, other, -1), self);
    EXPECT_EQ(C::colorBlendedWithColor(self, other, std::nan("")), self);
    const Color half = C::colorBlendedWithColor(self, other, 0.5);
    EXPECT_DOUBLE_EQ(half.red, 0.6);
    EXPECT_DOUBLE_EQ(half.green, 0.2);
    EXPECT_DOUBLE_EQ(half.blue, 0.4);
    EXPECT_DOUBLE_EQ(half.alpha, 0.5);

    EXPECT_EQ(C::colorWithBrightness(self, -3), (Color{0, 0, 0, 1})) << "negative counts as 0, alpha kept";
    const Color doubled = C::colorWithBrightness(Color{0.2, 0.4, 0.6, 0.3}, 2);
    EXPECT_DOUBLE_EQ(doubled.blue, 1.2) << "no upper limit";
    EXPECT_DOUBLE_EQ(doubled.alpha, 0.3);

    EXPECT_DOUBLE_EQ(C::brightnessOfColor(Color{1, 0, 0, 1}), 0.299);
    EXPECT_DOUBLE_EQ(C::brightnessOfColor(Color{0, 0, 1, 1}), 0.114);
    EXPECT_FALSE(C::isColorDark(Color::white(0.5))) << "0.5 itself is light";
    EXPECT_TRUE(C::isColorDark(Color::white(0.499)));
    EXPECT_TRUE(C::isColorLight(C::paperColorYellow200()));
    EXPECT_TRUE(C::isColorClear(Color{1, 1, 1, 0}));
    EXPECT_TRUE(C::isColorClear(Color{1, 1, 1, -0.1}));
    EXPECT_FALSE(C::isColorClear(Color{0, 0, 0, 0.01}));

    // Within the same 255th the colours are equivalent, though not equal.
    EXPECT_TRUE(C::isEquivalentToColor(Color{0.5, 0.5, 0.5, 1}, Color{0.501, 0.5, 0.5, 1}));
    EXPECT_FALSE(C::isEquivalentToColor(Color{0.5, 0.5, 0.5, 1}, Color{0.505, 0.5, 0.5, 1}));
    EXPECT_FALSE(C::isEquivalent(self, std::nullopt));
    EXPECT_TRUE(C::isEquivalent(self, self));
}

TEST(ColorCategory, PaletteAndAppColours) {
    // A hue alone is its 500 shade; shades are opaque and each is darker
    // than the one before it, from 50 to 900.
    using Shade = Color (*)();
    const std::vector<std::vector<Shade>> hues = {
        {C::paperColorRed50, C::paperColorRed100, C::paperColorRed200, C::paperColorRed300, C::paperColorRed400,
         C::paperColorRed500, C::paperColorRed600, C::paperColorRed700, C::paperColorRed800, C::paperColorRed900},
        {C::paperColorBlue50, C::paperColorBlue100, C::paperColorBlue200, C::paperColorBlue300, C::paperColorBlue400,
         C::paperColorBlue500, C::paperColorBlue600, C::paperColorBlue700, C::paperColorBlue800, C::paperColorBlue900},
        {C::paperColorGray50, C::paperColorGray100, C::paperColorGray200, C::paperColorGray300, C::paperColorGray400,
         C::paperColorGray500, C::paperColorGray600, C::paperColorGray700, C::paperColorGray800, C::paperColorGray900},
    };
    for (const auto& shades : hues) {
        for (size_t i = 0; i < shades.size(); ++i) {
            EXPECT_EQ(shades[i]().alpha, 1.0) << i;
            if (i > 0) {
                EXPECT_LT(C::brightnessOfColor(shades[i]()), C::brightnessOfColor(shades[i - 1]())) << i;
            }
        }
    }
    EXPECT_EQ(C::paperColorRed(), C::paperColorRed500());
    EXPECT_EQ(C::paperColorBlue(), C::paperColorBlue500());
    EXPECT_EQ(C::paperColorGray(), C::paperColorGray500());
    EXPECT_NE(C::paperColorRedA700(), C::paperColorRed700());
    // Text colours: black on light ground, white on dark, fading from text
    // to secondary, hint and divider.
    const std::vector<Color> dark = {C::paperColorTextDark(), C::paperColorTextDarkSecondary(),
                                     C::paperColorTextDarkHint(), C::paperColorTextDarkDivider()};
    const std::vector<Color> light = {C::paperColorTextLight(), C::paperColorTextLightSecondary(),
                                      C::paperColorTextLightHint(), C::paperColorTextLightDivider()};
    for (size_t i = 0; i < dark.size(); ++i) {
        EXPECT_TRUE(C::isColorDark(Color{dark[i].red, dark[i].green, dark[i].blue, 1})) << i;
        EXPECT_TRUE(C::isColorLight(Color{light[i].red, light[i].green, light[i].blue, 1})) << i;
        if (i > 0) {
            EXPECT_LT(dark[i].alpha, dark[i - 1].alpha) << i;
            EXPECT_LT(light[i].alpha, light[i - 1].alpha) << i;
        }
    }

    EXPECT_EQ(C::vkmPartListPieChartFillColor(), Color::white(0.975));

    // Styled colours follow the key window at each call.
    EXPECT_EQ(C::vkmLeaderboardBackgroundColor(), Color::white(0.96));
    auto window = std::make_shared<platform::ui::Window>();
    window->makeKeyAndVisible();
    window->setUserInterfaceStyle(platform::ui::UserInterfaceStyle::dark);
    EXPECT_NE(C::vkmLeaderboardBackgroundColor(), Color::white(0.96));
    EXPECT_EQ(C::vkmLeaderboardEntryShadowColor(), (Color{0, 0, 0, 0.5}));
    window->setUserInterfaceStyle(platform::ui::UserInterfaceStyle::light);
    EXPECT_EQ(C::vkmLeaderboardBackgroundColor(), Color::white(0.96));
    EXPECT_EQ(C::vkmLeaderboardEntryShadowColor(), (Color{2.0 / 3, 2.0 / 3, 2.0 / 3, 0.5}));

    const auto pixel = C::imageFromColor(Color{1, 0, 0, 1});
    ASSERT_NE(pixel, nullptr);
    EXPECT_EQ(pixel->size(), (platform::Size{1, 1}));
    EXPECT_EQ(pixel->pixel(0, 0), (platform::Pixel{255, 0, 0, 255}));
}

TEST(ColorCategory, EngineBridgeAndDocumentColoursHaveOneSource) {
    const CColor engine(0.1, 0.2, 0.3, 0.4);
    const Color platformColor = C::colorWithCColor(engine);
    EXPECT_EQ(platformColor, (Color{0.1, 0.2, 0.3, 0.4}));
    const CColor back = C::CColor(platformColor);
    EXPECT_DOUBLE_EQ(back.mRed, 0.1);
    EXPECT_DOUBLE_EQ(back.mAlpha, 0.4);
    EXPECT_EQ(C::vkmDocumentBackgroundColor(), VKMLayoutColors::vkmDocumentBackgroundColor());
    EXPECT_EQ(C::vkmDocumentDarkBackgroundColor(), Color::white(0.2));
    EXPECT_EQ(C::vkmLayoutGridColor(), VKMLayoutColors::vkmLayoutGridColor());
    EXPECT_EQ(C::vkmElementSelectionColor(), (Color{1.0, 0.2, 0.2, 1.0}));
}

TEST(ColorCategory, NamesAreReadUnderTheRegistryQueue) {
    // While the registry's queue is busy, naming a colour waits for it.
    platform::DispatchSemaphore started(0);
    platform::DispatchSemaphore release(0);
    C::sharedDispatchQueue().async([&] {
        started.signal();
        release.wait();
    });
    started.wait();
    auto name = std::async(std::launch::async, [] { return C::stringValue(Color{1, 0, 0, 1}); });
    EXPECT_EQ(name.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout)
        << "the registry was read beside the queue";
    release.signal();
    EXPECT_EQ(name.get(), "red");
}

TEST(ColorCategory, RegistryTakesWritersAndReadersOnManyThreads) {
    std::atomic<bool> stop{false};
    std::atomic<int> wrong{0};
    std::vector<std::thread> readers;
    for (int r = 0; r < 3; ++r) {
        readers.emplace_back([&] {
            while (!stop) {
                if (C::stringValue(Color{0, 0, 1, 1}) != "blue") ++wrong;
                if (C::colorWithString("Cyan") != Color{0, 1, 1, 1}) ++wrong;
            }
        });
    }
    for (int i = 0; i < 2000; ++i) {
        C::registerColor(Color{i / 4000.0, 0.25, 0.75, 1}, "Shade" + std::to_string(i));
    }
    stop = true;
    for (std::thread& reader : readers) reader.join();
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(C::stringValue(Color{1999 / 4000.0, 0.25, 0.75, 1}), "shade1999");
}
