// A layout's pictures: decoded once when the layout opens, all of them
// together within the layout's budget, reduced and named in a warning when
// they do not fit; rebuilds, zooms and layers shown later decode nothing.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "LayoutModule/Layout/VKMLayoutView.h"
#include "LayoutView/Drawing/VKMLayoutPictures.h"
#include "app/Helper/VKMLayoutDocumentHelper.h"
#include "engine/drawing/ImageInstruction.h"
#include "engine/model/Layer.h"
#include "engine/model/LayerManager.h"
#include "engine/model/Layout.h"
#include "engine/services/PerformanceCounters.h"
#include "platform/graphics/Image.h"
#include "tests/LayoutModule/LayoutModuleTestSupport.h"
#include "tests/LayoutModule/LayoutScreenSupport.h"
#include "tests/support/TempRoot.h"
#include "tests/support/TestPictures.h"
#include "tools/layoutgen/LayoutFileWriter.h"
#include "tools/layoutgen/Scenario.h"

using layouttest::ScreenFixture;

namespace {

using Bytes = std::vector<std::uint8_t>;

struct tPicture {
    std::string name;
    std::string layer;
    Bytes bytes;
};

// A layout of one track and the pictures, 400 x 300 each side by side, on
// the image layers "Plans" and "Hidden plans" (hidden); written by
// layoutgen, then each picture's bytes put in.
std::filesystem::path WriteLayout(const std::string& fileName, const std::vector<tPicture>& pictures) {
    std::string scenario =
        "version 13\nparam grid off\nlayer \"Tracks\"\nstraight length=200 at=0,-400 angle=0\n"
        "layer \"Plans\" type=image\nlayer \"Hidden plans\" type=image hidden\n";
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        scenario += "image \"" + pictures[i].name + "\" at=" + std::to_string(450 * i) + ",0 size=400,300 layer=\"" +
                    pictures[i].layer + "\"\n";
    }
    ULayoutGen::tLayoutDocument document;
    ULayoutGen::tScenarioSummary summary;
    std::string error;
    EXPECT_TRUE(ULayoutGen::ParseLayoutScenario(scenario, document, summary, error)) << error;
    for (std::size_t i = 0; i < document.images.size(); ++i) {
        const CImageElement& made = *document.images[i];
        const Bytes& bytes = pictures.at(i).bytes;
        auto image = std::make_unique<CImageElement>(bytes.data(), static_cast<int>(bytes.size()));
        image->SetName(made.GetName());
        image->SetPosition(made.GetPosition());
        image->SetWidth(made.GetWidth());
        image->SetHeight(made.GetHeight());
        image->SetLayer(made.GetLayer());
        document.images[i] = std::move(image);
    }
    const auto path = testsupport::processRoot() / fileName;
    EXPECT_TRUE(ULayoutFileWriter::WriteLayoutFile(path, document.FileContent()));
    return path;
}

void Open(ScreenFixture& screen, const std::filesystem::path& path) {
    ASSERT_TRUE(VKMLayoutDocumentHelper::loadLayoutFile(path.string()));
    // Loaded, centred 0.1 s later, fully drawn 0.1 s after that.
    screen.advance(1);
    screen.window->layoutIfNeeded();
    ASSERT_TRUE(screen.controller->outlets.layoutView.lock()->waitForTiles());
}

// Pictures decoded so far, from the counter every decode adds to.
int Decodes() {
    const auto lines = QLPerformanceCounters::getCountersAsStrings();
    if (!lines) return -1;
    const std::string name = "DecodeLayoutPicture,";
    for (const std::string& line : *lines) {
        if (line.rfind(name, 0) == 0) return std::stoi(line.substr(name.size()));
    }
    return 0;
}

// The pictures of the background's instructions, in order.
std::vector<const platform::Image*> DrawnPictures(const VKMLayoutView& view) {
    std::vector<const platform::Image*> pictures;
    const auto background = view.renderData()->backgroundData();
    for (const CDrawingInstruction* instruction : *background->drawingInstructions()) {
        if (const auto* image = dynamic_cast<const CImageDrawingInstruction*>(instruction))
            pictures.push_back(image->mImage.get());
    }
    return pictures;
}

Bytes Large(int grey) { return testsupport::PlainPng(4096, 4096, 0, {static_cast<std::uint8_t>(grey)}); }
Bytes Stamp() { return testsupport::PlainPng(64, 48, 2, {10, 20, 30}); }

}  // namespace

TEST(LayoutPictures, PixelsAreSharedSmallestFirstAndNeverPastTheBudget) {
    struct Case {
        const char* name;
        std::vector<long long> wanted;
        long long budget;
        std::vector<long long> expected;
    };
    const Case cases[] = {
        {"all fit: each whole", {100, 300, 50}, 450, {100, 300, 50}},
        {"equal ones share evenly, rounding down", {100, 100, 100}, 200, {66, 66, 66}},
        {"the small stay whole, the large share the rest", {10, 1000, 20, 1000}, 230, {10, 100, 20, 100}},
        {"one just under the even share stays whole", {99, 1000, 1000}, 300, {99, 100, 100}},
        {"those that want nothing take nothing", {0, 500, -3, 500}, 600, {0, 300, 0, 300}},
        {"no budget: nothing for anyone", {5, 7}, 0, {0, 0}},
        {"a negative budget is none", {5}, -10, {0}},
        {"no pictures", {}, 100, {}},
        {"sums that would overflow", {1LL << 62, 1LL << 62, 1LL << 62}, 300, {100, 100, 100}},
    };
    for (const Case& c : cases) {
        const auto shares = VKMLayoutPictures::shareBudget(c.wanted, c.budget);
        EXPECT_EQ(shares, c.expected) << c.name;
        long long sum = 0;
        for (std::size_t i = 0; i < shares.size(); ++i) {
            sum += shares[i];
            EXPECT_LE(shares[i], std::max(0LL, c.wanted[i])) << c.name << ": never more than it wants";
        }
        EXPECT_LE(sum, std::max(0LL, c.budget)) << c.name;
    }
}

TEST(LayoutPictures, ManyLargePicturesAreDecodedOnceWithinTheLayoutsBudgetAndEachReducedOneIsNamed) {
    ScreenFixture screen;
    screen.show(platform::ui::UserInterfaceIdiom::phone);
    // Ten pictures of 4096 x 4096 in a file of about a megabyte: 640 MiB
    // decoded each at the budget of one. Three of them on a hidden layer; two
    // small stamps among them.
    std::vector<tPicture> pictures;
    for (int i = 1; i <= 10; ++i)
        pictures.push_back({"Plan " + std::to_string(i), i > 7 ? "Hidden plans" : "Plans", Large(20 * i)});
    pictures.insert(pictures.begin() + 3, {"Stamp A", "Plans", Stamp()});
    pictures.push_back({"Stamp B", "Hidden plans", Stamp()});
    const long before = layouttest::CountWarnings("Layout image ");
    const int decodes = Decodes();
    Open(screen, WriteLayout("pictures.wkst", pictures));

    const tImages& images = screen.layout().GetImages();
    ASSERT_EQ(images.size(), 12u);
    EXPECT_EQ(Decodes() - decodes, 12) << "each once, those of the hidden layer too";
    // The files' bytes and the pictures within the budget: the stamps whole
    // (3,072 pixels each), the rest sharing what is left evenly, about
    // 3.3 Mi pixels each: 1366 x 1366 (a third on a side).
    std::size_t files = 0;
    for (const tPicture& picture : pictures) files += picture.bytes.size();
    EXPECT_LE(VKMLayoutPictures::decodedBytes(images) + files,
              static_cast<std::size_t>(VKMLayoutPictures::kLayoutPictureBytes));
    const long long share =
        ((VKMLayoutPictures::kLayoutPictureBytes - static_cast<long long>(files)) / 4 - 2 * 64 * 48) / 10;
    for (const CImageElement* image : images) {
        ASSERT_TRUE(image->IsPictureDecoded()) << image->GetName();
        ASSERT_NE(image->GetPicture(), nullptr) << image->GetName();
        const bool stamp = image->GetName().rfind("Stamp", 0) == 0;
        EXPECT_EQ(image->GetPicture()->pixelWidth(), stamp ? 64 : 1366) << image->GetName();
        EXPECT_EQ(image->GetPicture()->pixelHeight(), stamp ? 48 : 1366) << image->GetName();
        const long named = layouttest::CountWarnings("Layout image \"" + image->GetName() + "\" (");
        EXPECT_EQ(named, stamp ? 0 : 1) << image->GetName();
    }
    EXPECT_EQ(layouttest::CountWarnings("Layout image \"Plan 4\" (5 of 12): a picture of 4096 x 4096 pixels is over "
                                        "the budget of " +
                                        std::to_string(share) + ": decoded at 1366 x 1366"),
              1);
    EXPECT_EQ(layouttest::CountWarnings("Layout image ") - before, 10);
    EXPECT_TRUE(layouttest::PixelNear(*images[4]->GetPicture(), 1365, 1365, 80, 80, 80, 255, 0));
}

TEST(LayoutPictures, RebuildsZoomsAndLayersShownLaterDecodeNothingAgain) {
    ScreenFixture screen;
    screen.show(platform::ui::UserInterfaceIdiom::phone);
    const int decodes = Decodes();
    Open(screen, WriteLayout("again.wkst", {{"Plan", "Plans", Large(40)},
                                            {"Stamp", "Plans", Stamp()},
                                            {"Hidden plan", "Hidden plans", Large(90)}}));
    ASSERT_EQ(Decodes() - decodes, 3);
    const auto view = screen.controller->outlets.layoutView.lock();
    const tImages& images = screen.layout().GetImages();
    const std::vector<const platform::Image*> shown{images[0]->GetPicture().get(), images[1]->GetPicture().get()};
    EXPECT_EQ(DrawnPictures(*view), shown) << "the elements' own pictures are drawn";

    // A background rebuild, a whole one, a zoom set outright and a pinch.
    view->refreshLayoutRenderDataBackgroundOnly(true);
    view->refreshLayoutRenderData();
    screen.controller->changeZoomTo(screen.zoom() * 3);
    screen.window->layoutIfNeeded();
    ASSERT_TRUE(view->waitForTiles());
    view->setInteractiveZoom(true);
    screen.controller->changeZoomTo(screen.zoom() / 2);
    screen.window->layoutIfNeeded();
    view->setInteractiveZoom(false);
    screen.window->layoutIfNeeded();
    ASSERT_TRUE(view->waitForTiles());
    EXPECT_EQ(Decodes() - decodes, 3);
    EXPECT_EQ(DrawnPictures(*view), shown);

    // The hidden layer shown: its picture was decoded at the open.
    screen.layout().GetLayerManager().GetLayers().at(2)->SetVisible(true);
    view->refreshLayoutRenderDataBackgroundOnly(true);
    ASSERT_TRUE(view->waitForTiles());
    EXPECT_EQ(Decodes() - decodes, 3);
    const std::vector<const platform::Image*> all{images[2]->GetPicture().get(), shown[0], shown[1]};
    EXPECT_EQ(DrawnPictures(*view), all) << "the last layer's pictures first";
}
