// Layout images: the workspace fitted to the content without growing on
// every call, the fitting zoom and the sharing crop, snapshots of generated
// layouts compared by colour counts in regions, layer previews, and the
// layoutrender program's pictures and exit codes.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "LayoutModule/Layout/VKMLayoutView.h"
#include "LayoutView/ImageExport/QLImageFromLayoutHelper.h"
#include "LayoutView/ImageExport/VKMImageExportHelper.h"
#include "LayoutView/ImageExport/VKMLayerPreviewHelper.h"
#include "LayoutView/ImageExport/VKMLayoutResizeHelper.h"
#include "engine/model/LayerManager.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/LayoutModule/LayoutModuleTestSupport.h"
#include "tools/layoutgen/LayoutFileWriter.h"
#include "tools/layoutgen/LargeLayout.h"
#include "tests/support/TempRoot.h"

#ifndef VEKMONT_LAYOUTRENDER
#error "VEKMONT_LAYOUTRENDER names the layoutrender program"
#endif

using layouttest::CountNear;

namespace {

// A board of 1000 x 500 at the origin (green), a red block and a blue block
// on two track layers, and a track.
const char* const kSnapshotScenario = R"(version 13
param workspace 4000 3000
param grid off
param display-flags 0
layer "Red"
layer "Blue"
layer "Boards" type=baseboard
on "Red"
rect size=200,100 at=100,100 color=1,0,0,1 color2=1,0,0,1
straight length=600 at=100,400 angle=0
on "Blue"
rect size=200,100 at=600,100 color=0,0,1,1 color2=0,0,1,1
baseboard "Board" rect=0,0,1000,500 color=0,0.8,0,1 layer="Boards"
)";

// Only a board of 200 x 100.
const char* const kSmallBoardScenario = R"(version 13
param grid off
layer "Tracks"
layer "Boards" type=baseboard
baseboard "Board" rect=50,50,200,100 layer="Boards"
)";

std::string PathFor(const std::string& name) { return (testsupport::processRoot() / name).string(); }

struct tRun {
    int status = -1;
    std::string err;
};

tRun Render(const std::string& arguments) {
    const std::string errPath = PathFor("layoutrender.err");
    const std::string command = "VEKMONT_LANGUAGE=en LC_ALL=en_US.UTF-8 '" + std::string(VEKMONT_LAYOUTRENDER) + "' " +
                                arguments + " >/dev/null 2>'" + errPath + "'";
    tRun run;
    const int status = std::system(command.c_str());
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream in(errPath);
    std::getline(in, run.err, '\0');
    return run;
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

}  // namespace

TEST(Export, FittingTheWorkspaceToTheContentDoesNotGrowItOnEveryCall) {
    auto layout = layouttest::LoadScenario(kSnapshotScenario, "resize.wkst");
    const platform::Size content = VKMLayoutResizeHelper::layoutContentSize(*layout);
    EXPECT_EQ(content, (platform::Size{1000, 500}));
    // The padding is the content's larger side (the workspace's 4000 is
    // larger): the board moves to (1000, 1000).
    const platform::Point first = VKMLayoutResizeHelper::sizeLayoutToFitContents(*layout);
    EXPECT_EQ(first, (platform::Point{1000, 1000}));
    EXPECT_EQ(layout->GetParameters().mWorkspaceWidth, 3000);
    EXPECT_EQ(layout->GetParameters().mWorkspaceHeight, 2500);
    for (int call = 0; call < 3; ++call) {
        const platform::Point again = VKMLayoutResizeHelper::sizeLayoutToFitContents(*layout);
        EXPECT_EQ(again, (platform::Point{0, 0})) << "call " << call;
        EXPECT_EQ(layout->GetParameters().mWorkspaceWidth, 3000) << "call " << call;
        EXPECT_EQ(layout->GetParameters().mWorkspaceHeight, 2500) << "call " << call;
    }
    // A small workspace pads by its own larger side.
    auto small = layouttest::LoadScenario(kSnapshotScenario, "resize-small.wkst");
    small->SetWorkspaceSize(300, 200);
    VKMLayoutResizeHelper::sizeLayoutToFitContents(*small);
    EXPECT_EQ(small->GetParameters().mWorkspaceWidth, 1600);
    EXPECT_EQ(small->GetParameters().mWorkspaceHeight, 1100);
    // A layout without content keeps its workspace.
    layouttest::RegisterServices();
    CLayout empty;
    empty.SetWorkspaceSize(4000, 3000);
    EXPECT_EQ(VKMLayoutResizeHelper::sizeLayoutToFitContents(empty), (platform::Point{0, 0}));
    EXPECT_EQ(empty.GetParameters().mWorkspaceWidth, 4000);
}

TEST(Export, FittingZoomAndSharingCrop) {
    auto layout = layouttest::LoadScenario(kSmallBoardScenario, "fit.wkst");
    // 200 x 100 with 100 around: 400 x 300; 120 / 400 = 0.3, and 0.3 x 300
    // = 90 fits into 120.
    EXPECT_DOUBLE_EQ(QLImageFromLayoutHelper::calculateFittingZoomForSize({120, 120}, *layout, 100), 0.3);
    EXPECT_EQ(layout->GetParameters().mWorkspaceWidth, 400);
    // 400 / 400 = 1 would make 300 > 100: the height decides.
    EXPECT_NEAR(QLImageFromLayoutHelper::calculateFittingZoomForSize({400, 100}, *layout, 100), 1.0 / 3.0, 1e-12);

    auto big = layouttest::LoadScenario(kSnapshotScenario, "crop.wkst");
    const VKMImageExportHelper::tCrop crop = VKMImageExportHelper::croppedFrame(*big, 350, 2048);
    // 1000 x 500 with 350 around: 1700 x 1200 at 2048 / 1700.
    EXPECT_DOUBLE_EQ(crop.zoom, 2048.0 / 1700.0);
    EXPECT_DOUBLE_EQ(crop.size.width, 2048.0);
    EXPECT_NEAR(crop.size.height, 1200 * 2048.0 / 1700.0, 1e-9);
    const auto image = VKMImageExportHelper::getCroppedImage(*big, 350, 2048);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->pixelWidth(), 2048);
    EXPECT_EQ(image->pixelHeight(), 1446);
}

TEST(Export, SnapshotOfAGeneratedLayoutOnWhiteAlsoWithTheDarkStyle) {
    platform::UserDefaults::standard().setBool(VKMLayoutView::kDarkBackgroundKey, true);
    auto layout = layouttest::LoadScenario(kSnapshotScenario, "snapshot.wkst");
    // At zoom 0.2 the workspace is 800 x 600 points; the board covers
    // (0..200, 0..100), the red block (20..60, 20..40), the blue one
    // (120..160, 20..40).
    const auto image = VKMImageExportHelper::imageForLayout(*layout, 0.2, false);
    ASSERT_TRUE(image);
    ASSERT_EQ(image->pixelWidth(), 800);
    ASSERT_EQ(image->pixelHeight(), 600);
    EXPECT_GT(CountNear(*image, 24, 24, 56, 36, 255, 0, 0), 0.9 * 32 * 12) << "red block";
    EXPECT_GT(CountNear(*image, 124, 24, 156, 36, 0, 0, 255), 0.9 * 32 * 12) << "blue block";
    EXPECT_GT(CountNear(*image, 70, 50, 110, 70, 0, 204, 0), 0.9 * 40 * 20) << "board fill";
    EXPECT_GT(CountNear(*image, 300, 200, 700, 500, 255, 255, 255, 10), 0.99 * 400 * 300)
        << "white around the board, dark style or not";
    EXPECT_EQ(CountNear(*image, 0, 0, 800, 600, 51, 51, 51, 10), 0) << "no dark background";
    // The track on the red layer: a line across (20..140, 80) of grey
    // outline, over the board.
    EXPECT_GT(CountNear(*image, 30, 76, 130, 84, 0, 204, 0), 0);
    EXPECT_LT(CountNear(*image, 30, 76, 130, 84, 0, 204, 0), 100 * 8) << "the track covers part of the board";

    // Hiding the blue layer removes its block; the grid, when asked, draws
    // over the white.
    layout->GetLayerManager().FindLayerByName("Blue")->SetVisible(false);
    const auto hidden = VKMImageExportHelper::imageForLayout(*layout, 0.2, true);
    ASSERT_TRUE(hidden);
    EXPECT_EQ(CountNear(*hidden, 124, 24, 156, 36, 0, 0, 255), 0);
    EXPECT_GT(CountNear(*hidden, 24, 24, 56, 36, 255, 0, 0), 0.9 * 32 * 12);
    EXPECT_LT(CountNear(*hidden, 300, 200, 700, 500, 255, 255, 255, 2), 400 * 300) << "grid lines on the white";
    platform::UserDefaults::standard().removeObject(VKMLayoutView::kDarkBackgroundKey);
}

TEST(Export, ALayerPreviewHoldsOnlyThatLayer) {
    auto layout = layouttest::LoadScenario(kSnapshotScenario, "preview.wkst");
    CLayerManager& layers = layout->GetLayerManager();
    const auto red = VKMLayerPreviewHelper::previewForLayer(layers.FindLayerByName("Red"), *layout, {200, 100});
    ASSERT_TRUE(red);
    EXPECT_EQ(red->pixelWidth(), 200);
    EXPECT_GT(CountNear(*red, 0, 0, 200, 100, 255, 0, 0), 100);
    EXPECT_EQ(CountNear(*red, 0, 0, 200, 100, 0, 0, 255), 0);
    EXPECT_EQ(CountNear(*red, 0, 0, 200, 100, 0, 204, 0), 0) << "no board on a tracks layer";
    const auto boards = VKMLayerPreviewHelper::previewForLayer(layers.FindLayerByName("Boards"), *layout, {200, 100});
    ASSERT_TRUE(boards);
    EXPECT_GT(CountNear(*boards, 0, 0, 200, 100, 0, 204, 0), 1000);
    EXPECT_EQ(CountNear(*boards, 0, 0, 200, 100, 255, 0, 0), 0);
    // The source document is not changed by a preview.
    EXPECT_EQ(layout->GetParameters().mWorkspaceWidth, 4000);
    EXPECT_EQ(layout->GetElements().size(), 3u);
}

// A picture of many instructions is painted in parts side by side: a small
// one in layers of runs of the list laid over each other, a larger one in
// bands of rows, each band what reaches its rows. The same pixels as the
// layout painted in one go (within rounding), for previews (lines widened)
// and plain pictures, with the grid, at zooms where lines are a pixel or
// far less.
TEST(Export, APictureInPartsIsTheOnePaintedInOneGo) {
    ULayoutGen::tLayoutDocument document;
    ULayoutGen::ComposeLargeLayout(document, 3000, 20240601, 13);
    const std::string path = PathFor("bands.wkst");
    const auto bytes = ULayoutFileWriter::LayoutFileBytes(document.FileContent());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    CLayout layout;
    ASSERT_EQ(layout.Load(path), kLayoutLoaded);
    VKMLayoutResizeHelper::sizeLayoutToFitContents(layout);
    const double width = layout.GetParameters().mWorkspaceWidth;
    // Each layer laid over the picture rounds to whole units once more.
    constexpr int kRounding = 8;
    struct Case {
        const char* name;
        double zoom;
        bool grid;
        double minimumLineWidth;
    };
    for (const Case& c : {Case{"a preview of 48 points", 48 / width, false, 1},
                          Case{"a picture of 600 points with the grid", 600 / width, true, 0},
                          Case{"a picture of 2000 points", 2000 / width, false, 0}}) {
        SCOPED_TRACE(c.name);
        // Once first, so that both drawings find the texts' glyphs kept.
        ASSERT_TRUE(VKMImageExportHelper::imageForLayout(layout, c.zoom, c.grid, c.minimumLineWidth));
        const auto banded = VKMImageExportHelper::imageForLayout(layout, c.zoom, c.grid, c.minimumLineWidth);
        ASSERT_TRUE(banded);
        auto whole = platform::BitmapContext::createForPointSize(
            {layout.GetParameters().mWorkspaceWidth * c.zoom, layout.GetParameters().mWorkspaceHeight * c.zoom});
        ASSERT_TRUE(whole);
        VKMImageExportHelper::drawLayout(layout, *whole, c.zoom, c.grid, c.minimumLineWidth);
        const auto reference = whole->makeImage();
        ASSERT_EQ(banded->pixelWidth(), reference->pixelWidth());
        ASSERT_EQ(banded->pixelHeight(), reference->pixelHeight());
        int differing = 0;
        int ink = 0;
        for (int y = 0; y < reference->pixelHeight(); ++y) {
            for (int x = 0; x < reference->pixelWidth(); ++x) {
                const auto p = *banded->pixel(x, y);
                const auto q = *reference->pixel(x, y);
                if (std::max({std::abs(p.red - q.red), std::abs(p.green - q.green), std::abs(p.blue - q.blue),
                              std::abs(p.alpha - q.alpha)}) > kRounding)
                    ++differing;
                if (std::max({q.red, q.green, q.blue}) < 200) ++ink;
            }
        }
        EXPECT_EQ(differing, 0);
        EXPECT_GT(ink, reference->pixelWidth()) << "something drawn";
    }
}

TEST(Export, LayoutRenderWritesPicturesAndReportsFailuresByItsExitCode) {
    const std::string file = layouttest::WriteScenario(kSnapshotScenario, "render.wkst");

    const std::string png = PathFor("render.png");
    tRun run = Render(Quoted(file) + " -o " + Quoted(png));
    ASSERT_EQ(run.status, 0) << run.err;
    const auto shared = platform::Image::fromFile(png);
    ASSERT_TRUE(shared);
    EXPECT_EQ(shared->pixelWidth(), 2048) << "the sharing crop's longer side";
    EXPECT_GT(CountNear(*shared, 0, 0, shared->pixelWidth(), shared->pixelHeight(), 255, 0, 0), 1000);

    const std::string fitted = PathFor("fitted.png");
    run = Render(Quoted(file) + " -o " + Quoted(fitted) + " --width 400 --height 300 --style 0x68");
    ASSERT_EQ(run.status, 0) << run.err;
    const auto small = platform::Image::fromFile(fitted);
    ASSERT_TRUE(small);
    EXPECT_EQ(small->pixelWidth(), 400);
    EXPECT_EQ(small->pixelHeight(), 300);
    EXPECT_GT(CountNear(*small, 0, 0, 400, 300, 0, 0, 255), 100);

    const std::string pdf = PathFor("render.pdf");
    run = Render(Quoted(file) + " -o " + Quoted(pdf) + " --pdf");
    ASSERT_EQ(run.status, 0) << run.err;
    std::ifstream in(pdf, std::ios::binary);
    std::string head(4, '\0');
    in.read(head.data(), 4);
    EXPECT_EQ(head, "%PDF");

    struct Case {
        const char* name;
        std::string arguments;
        int status;
    };
    {
        std::ofstream garbage(PathFor("garbage.wkst"), std::ios::binary);
        garbage << "this is no layout file at all";
    }
    const Case failures[] = {
        {"missing file", Quoted(PathFor("missing.wkst")) + " -o " + Quoted(PathFor("x.png")), 2},
        {"not a layout", Quoted(PathFor("garbage.wkst")) + " -o " + Quoted(PathFor("x.png")), 3},
        {"folder missing", Quoted(file) + " -o " + Quoted(PathFor("no/such/folder/x.png")), 2},
        {"no output", Quoted(file), 1},
        {"bad size", Quoted(file) + " -o x.png --width 0", 1},
        {"unknown option", Quoted(file) + " -o x.png --colour", 1},
    };
    for (const Case& c : failures) {
        run = Render(c.arguments);
        EXPECT_EQ(run.status, c.status) << c.name << ": " << run.err;
        EXPECT_FALSE(run.err.empty()) << c.name;
    }
}
