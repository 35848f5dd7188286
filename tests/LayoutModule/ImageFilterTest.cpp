// The sketch filters on small bitmaps with known answers, and the whole
// pencil-drawing diagnostic on a generated layout.

#include <gtest/gtest.h>

#include <filesystem>

#include "LayoutModule/Experiments/VKMExperimentals.h"
#include "LayoutModule/Experiments/VKMImageFilters.h"
#include "engine/model/AutoColorize.h"
#include "engine/model/Layout.h"
#include "platform/foundation/Paths.h"
#include "platform/ui/views/Application.h"
#include "tests/LayoutModule/LayoutModuleTestSupport.h"

using namespace VKMImageFilters;
using platform::Pixel;

namespace {

constexpr Pixel kWhite{255, 255, 255, 255};
constexpr Pixel kBlack{0, 0, 0, 255};

// White, with a black square from (x0, y0) to (x1, y1) exclusive.
tBitmap Square(int size, int x0, int y0, int x1, int y1) {
    tBitmap bitmap = constantColor(size, size, 1, kWhite);
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) bitmap.pixels[static_cast<std::size_t>(y) * size + x] = kBlack;
    return bitmap;
}

}  // namespace

TEST(ImageFilters, MotionBlurSpreadsAlongItsAngleOnly) {
    // One black pixel on white, blurred by 3 at 45 degrees (up to the right
    // on screen).
    const tBitmap blurred = motionBlur(Square(21, 10, 10, 11, 11), 3, 45);
    ASSERT_EQ(blurred.width, 21);
    EXPECT_LT(blurred.at(10, 10).red, 255);
    EXPECT_EQ(blurred.at(10, 10).red, blurred.at(12, 8).red) << "along the line, up and right";
    EXPECT_EQ(blurred.at(10, 10).red, blurred.at(8, 12).red) << "and down and left";
    EXPECT_EQ(blurred.at(12, 12).red, 255) << "not across it";
    EXPECT_EQ(blurred.at(10, 13).red, 255);
    EXPECT_EQ(blurred.at(10, 10).alpha, 255);
    EXPECT_TRUE(motionBlur(tBitmap{}, 3, 45).empty());
}

TEST(ImageFilters, LineOverlayInksEdgesAndLeavesFlatAreasClear) {
    const tBitmap lines = lineOverlay(Square(40, 10, 10, 30, 30), 0.95, 0.2);
    ASSERT_EQ(lines.width, 40);
    EXPECT_EQ(lines.at(10, 20).alpha, 255) << "the left edge";
    EXPECT_EQ(lines.at(20, 29).alpha, 255) << "the bottom edge";
    EXPECT_EQ(lines.at(20, 20).alpha, 0) << "inside";
    EXPECT_EQ(lines.at(3, 3).alpha, 0) << "outside";
    EXPECT_EQ(lines.at(10, 20).red, 0);
    // Low contrast (a step of 0.05) stays below the threshold.
    tBitmap faint = constantColor(20, 20, 1, kWhite);
    for (int y = 0; y < 20; ++y)
        for (int x = 10; x < 20; ++x) faint.pixels[static_cast<std::size_t>(y) * 20 + x] = {242, 242, 242, 255};
    const tBitmap none = lineOverlay(faint, 0.95, 0.2);
    for (const Pixel& p : none.pixels) ASSERT_EQ(p.alpha, 0);
}

TEST(ImageFilters, SourceOverAndComicEffect) {
    tBitmap half = constantColor(2, 1, 1, {0, 0, 0, 0});
    half.pixels[0] = {0, 0, 0, 128};
    const tBitmap over = sourceOver(half, constantColor(2, 1, 1, kWhite));
    EXPECT_NEAR(over.at(0, 0).red, 127, 1);
    EXPECT_EQ(over.at(0, 0).alpha, 255);
    EXPECT_EQ(over.at(1, 0), kWhite);
    EXPECT_TRUE(sourceOver(half, constantColor(3, 1, 1, kWhite)).empty()) << "sizes differ";

    // Colours fall into four bands a channel; strong edges are inked.
    tBitmap flat = constantColor(30, 30, 1, {200, 100, 30, 255});
    const tBitmap comic = comicEffect(flat);
    EXPECT_EQ(comic.at(15, 15), (Pixel{170, 85, 0, 255}));
    const tBitmap inked = comicEffect(Square(30, 10, 10, 20, 20));
    EXPECT_EQ(inked.at(10, 15), kBlack);
    EXPECT_EQ(inked.at(3, 3), kWhite);
}

TEST(ImageFilters, ThePencilDiagnosticWritesNewFilesAndRestoresTheLayout) {
    layouttest::RegisterServices();
    auto layout = layouttest::LoadScenario(R"(version 13
param track-style 32
layer "Plan"
straight length=300 at=100,100 angle=0 color=0,0,1
curve radius=360 sweep=30 color=0,1,0
layer "Boards" type=baseboard
baseboard "Board" rect=0,0,800,400 color=0.6,0.4,0.2
)",
                                           "pencil.wkst");
    const auto colors = UElementColors::GetColorsById(layout->GetElements(), 0);
    auto& application = platform::ui::Application::sharedApplication();
    const std::size_t opened = application.openedURLs().size();

    VKMExperimentals::testLineDrawingFilterForLayout(*layout);
    VKMExperimentals::testLineDrawingFilterForLayout(*layout);

    EXPECT_EQ(layout->GetParameters().mTrackStyle, 32);
    const auto after = UElementColors::GetColorsById(layout->GetElements(), 0);
    ASSERT_EQ(after.size(), colors.size());
    for (const auto& [id, color] : colors) EXPECT_EQ(after.at(id), color) << id;

    ASSERT_EQ(application.openedURLs().size(), opened + 2);
    const std::string first = application.openedURLs()[opened];
    const std::string second = application.openedURLs()[opened + 1];
    EXPECT_NE(first, second);
    for (const std::string& url : {first, second}) {
        ASSERT_EQ(url.rfind("file://", 0), 0u) << url;
        const std::filesystem::path file = url.substr(7);
        EXPECT_EQ(file.parent_path(), platform::Paths::tmp());
        EXPECT_EQ(file.extension(), ".png");
        const auto image = platform::Image::fromFile(file);
        ASSERT_NE(image, nullptr);
        EXPECT_NEAR(std::max(image->pixelWidth(), image->pixelHeight()), 2048, 1);
        // A sketch: mostly paper, with the board's edges inked (white
        // elements leave no edges of their own).
        const int ink = layouttest::CountNear(*image, 0, 0, image->pixelWidth(), image->pixelHeight(), 0, 0, 0, 60);
        EXPECT_GT(ink, 100);
        EXPECT_LT(ink, image->pixelWidth() * image->pixelHeight() / 4);
    }
}
