// toolkit-demo headless: one frame of the demo screen as PNG, at the idiom's
// size and the scale asked, with the star where it stands at the time asked;
// a wrong command line or an unwritable file is refused with its status.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/graphics/Image.h"
#include "tests/tools/support/ToolsTestSupport.h"

using toolstest::PathFor;
using toolstest::RunTool;

namespace {

bool Near(std::optional<platform::Pixel> p, int r, int g, int b, int tolerance = 12) {
    return p && std::abs(p->red - r) <= tolerance && std::abs(p->green - g) <= tolerance &&
           std::abs(p->blue - b) <= tolerance;
}

}  // namespace

TEST(ToolkitDemo, HeadlessItWritesOneFrameOfTheScreenAtTheIdiomsSize) {
    const std::string phone = PathFor("phone.png");
    const auto run = RunTool(toolstest::kToolkitDemo, {"--headless", "--snapshot", phone, "--time", "0"});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto image = platform::Image::fromFile(phone);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->pixelWidth(), 780);
    EXPECT_EQ(image->pixelHeight(), 1688);
    // Points times two: the card is white, the star's middle orange, the
    // background light grey, the header's top-left blue.
    EXPECT_TRUE(Near(image->pixel(80, 400), 255, 255, 255));
    EXPECT_TRUE(Near(image->pixel(390, 1240), 255, 158, 26));
    EXPECT_TRUE(Near(image->pixel(40, 1600), 240, 240, 245));
    EXPECT_TRUE(Near(image->pixel(2, 2), 33, 89, 217, 20));
    // The star's top point, straight up at time 0, has turned away a
    // second later (a quarter of a turn in four seconds).
    EXPECT_TRUE(Near(image->pixel(390, 1240 - 90), 255, 158, 26));
    const std::string later = PathFor("later.png");
    ASSERT_EQ(RunTool(toolstest::kToolkitDemo, {"--headless", "--snapshot", later, "--time", "1"}).status, 0);
    EXPECT_FALSE(Near(platform::Image::fromFile(later)->pixel(390, 1240 - 90), 255, 158, 26));

    const std::string tablet = PathFor("tablet.png");
    ASSERT_EQ(RunTool(toolstest::kToolkitDemo, {"--headless", "--snapshot", tablet, "--tablet", "--scale", "1"}).status,
              0);
    const auto tabletImage = platform::Image::fromFile(tablet);
    ASSERT_TRUE(tabletImage);
    EXPECT_EQ(tabletImage->pixelWidth(), 820);
    EXPECT_EQ(tabletImage->pixelHeight(), 1180);
}

TEST(ToolkitDemo, AWrongCommandLineOrAnUnwritableFileIsRefused) {
    for (const auto& arguments : std::vector<std::vector<std::string>>{
             {"--snapshot", PathFor("a.png")},
             {"--headless"},
             {"--headless", "--snapshot", PathFor("a.png"), "--scale", "0"},
             {"--headless", "--snapshot", PathFor("a.png"), "--time", "soon"},
             {"--headless", "--snapshot"},
             {"--colour"},
         }) {
        const auto run = RunTool(toolstest::kToolkitDemo, arguments);
        EXPECT_EQ(run.status, 1) << arguments.back();
        EXPECT_NE(run.err.find("toolkit-demo: "), std::string::npos) << run.err;
    }
    const auto run =
        RunTool(toolstest::kToolkitDemo, {"--headless", "--snapshot", PathFor("no-such-folder/frame.png")});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("No such file or directory"), std::string::npos) << run.err;
    EXPECT_EQ(RunTool(toolstest::kToolkitDemo, {"--help"}).status, 0);
}
