// A layout's pictures: decoded once when the layout opens, together within
// the layout's budgets of memory and work, reduced or left out by name when
// they do not fit; rebuilds, zooms and layers shown later decode nothing.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <limits>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "LayoutModule/Layout/VKMLayoutView.h"
#include "LayoutView/Drawing/VKMImagesPainter.h"
#include "LayoutView/Drawing/VKMLayoutPictures.h"
#include "app/Helper/VKMLayoutDocumentHelper.h"
#include "engine/drawing/ImageInstruction.h"
#include "engine/drawing/PathInstruction.h"
#include "engine/model/Layer.h"
#include "engine/model/LayerManager.h"
#include "engine/model/Layout.h"
#include "engine/services/PerformanceCounters.h"
#include "platform/graphics/Image.h"
#include "tests/LayoutModule/LayoutModuleTestSupport.h"
#include "tests/LayoutModule/LayoutScreenSupport.h"
#include "tests/support/LogWatch.h"
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
    double width = 400;
    double height = 300;
};

// A layout of one track and the pictures (400 x 300 unless given) side by
// side, on
// the image layers "Plans" and "Hidden plans" (hidden); written by
// layoutgen, then each picture's bytes put in.
std::filesystem::path WriteLayout(const std::string& fileName, const std::vector<tPicture>& pictures) {
    std::string scenario =
        "version 13\nparam grid off\nlayer \"Tracks\"\nstraight length=200 at=0,-400 angle=0\n"
        "layer \"Plans\" type=image\nlayer \"Hidden plans\" type=image hidden\n";
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        scenario += "image \"" + pictures[i].name + "\" at=" + std::to_string(450 * i) +
                    ",0 size=" + std::to_string(pictures[i].width) + "," + std::to_string(pictures[i].height) +
                    " layer=\"" + pictures[i].layer + "\"\n";
    }
    ULayoutGen::tLayoutDocument document;
    ULayoutGen::tScenarioSummary summary;
    std::string error;
    EXPECT_TRUE(ULayoutGen::ParseLayoutScenario(scenario, document, summary, error)) << error;
    for (std::size_t i = 0; i < document.images.size(); ++i) document.ReplacePicture(i, pictures.at(i).bytes);
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

// Elements of a list of pictures that no document holds, 400 x 300 each.
struct tLoose {
    std::vector<std::unique_ptr<CImageElement>> owned;
    tImages images;

    void Add(const std::string& name, const Bytes& bytes, double width = 400, double height = 300) {
        owned.push_back(std::make_unique<CImageElement>(bytes.data(), static_cast<int>(bytes.size())));
        owned.back()->SetName(name);
        owned.back()->SetWidth(width);
        owned.back()->SetHeight(height);
        images.push_back(owned.back().get());
    }
};

}  // namespace

TEST(LayoutPictures, APictureNeedsWhatItsPlaceOnThePlanCanShow) {
    struct Case {
        const char* name;
        long long filePixels;
        double area;
        double screenScale;
        long long expected;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Case cases[] = {
        {"a photo as a thumbnail of 10 x 7.5: 250 x 187.5 pixels at 1250 %", 4032 * 3024, 75, 2, 46'875},
        {"the same on a screen of 3 pixels a point, rounded up", 4032 * 3024, 75, 3, 105'469},
        {"a photo across the view: its file's", 4032 * 3024, 750'000, 2, 4032 * 3024},
        {"a plan larger than the budget of one picture", 8000 * 8000, 1'000'000, 2, 4096 * 4096},
        {"a place of one unit: never below 64 x 64", 4032 * 3024, 1, 2, 4096},
        {"a file smaller than that: its own", 10 * 10, 0.01, 2, 100},
        {"no pixels", 0, 75, 2, 0},
        {"no area, or not a number: 64 x 64", 4032 * 3024, nan, 2, 4096},
        {"no scale: the densest screen's", 4032 * 3024, 75, 0, 105'469},
    };
    for (const Case& c : cases)
        EXPECT_EQ(VKMLayoutPictures::needOf(c.filePixels, c.area, c.screenScale), c.expected) << c.name;
}

TEST(LayoutPictures, PixelsAreSharedAQuarterEvenlyAndTheRestByAreaNeverPastTheBudgetOrANeed) {
    struct Case {
        const char* name;
        std::vector<long long> needs;
        std::vector<double> areas;
        long long budget;
        std::vector<long long> expected;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Case cases[] = {
        {"all fit: each whole", {100, 300, 50}, {1, 1, 1}, 450, {100, 300, 50}},
        {"equal ones share evenly, rounding down", {100, 100, 100}, {5, 5, 5}, 200, {66, 66, 66}},
        // 62,500 each, then 75 pixels a unit of the 10,000 units.
        {"a photo across the view before thumbnails",
         {4'000'000, 400'000, 400'000, 400'000},
         {9'997, 1, 1, 1},
         1'000'000,
         {812'275, 62'575, 62'575, 62'575}},
        // 66,666 each; the scan takes the 33,334 it still needs, the photos
        // share the rest.
        {"a coarse scan over much of the plan leaves the rest to the photos",
         {100'000, 1'000'000, 1'000'000},
         {8'000, 1'024, 1'024},
         800'000,
         {100'000, 350'000, 350'000}},
        {"the small stay whole in the even part", {10, 1000, 20, 1000}, {1, 1, 1, 1}, 230, {10, 100, 20, 100}},
        // 25 each of the even 76; what the first leaves goes to the others,
        // which have no area for the rest.
        {"one just under the even share stays whole", {24, 1000, 1000}, {1, nan, nan}, 304, {24, 26, 26}},
        {"those that need nothing take nothing", {0, 500, -3, 500}, {1, 1, 1, 0}, 600, {0, 500, 0, 75}},
        {"an area that is no number takes only the even part", {1000, 1000}, {nan, 5}, 400, {50, 350}},
        {"no budget: nothing for anyone", {5, 7}, {1, 1}, 0, {0, 0}},
        {"a negative budget is none", {5}, {1}, -10, {0}},
        {"no pictures", {}, {}, 100, {}},
        {"sums that would overflow", {1LL << 62, 1LL << 62, 1LL << 62}, {1, 1, 1}, 300, {100, 100, 100}},
    };
    for (const Case& c : cases) {
        const auto shares = VKMLayoutPictures::shareBudget(c.needs, c.areas, c.budget);
        EXPECT_EQ(shares, c.expected) << c.name;
        long long sum = 0;
        for (std::size_t i = 0; i < shares.size(); ++i) {
            sum += shares[i];
            EXPECT_LE(shares[i], std::max(0LL, c.needs[i])) << c.name << ": never more than it needs";
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

TEST(LayoutPictures, TheLargestOnTheLayoutIsDecodedFirst) {
    struct Case {
        const char* name;
        std::vector<double> areas;
        std::vector<std::size_t> expected;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Case cases[] = {
        {"a plan last in the file goes first", {120'000, 120'000, 5'760'000}, {2, 0, 1}},
        {"equal areas in list order", {10, 30, 10, 30}, {1, 3, 0, 2}},
        {"no area, or not a number, last", {nan, 0, 5}, {2, 0, 1}},
        {"none", {}, {}},
    };
    for (const Case& c : cases) EXPECT_EQ(VKMLayoutPictures::decodeOrder(c.areas), c.expected) << c.name;
}

// What decoding the bytes alone takes, in the meter's units.
long long WorkOf(const Bytes& bytes, long long maxPixels) {
    platform::DecodeMeter meter(std::numeric_limits<long long>::max() / 2);
    EXPECT_NE(platform::Image::decode(bytes, 1, maxPixels, &meter).image, nullptr);
    return meter.spent();
}

TEST(LayoutPictures, OnePictureMayTakeTheLayoutsWholeWorkAndAPlanIsNotLeftOutForPhotos) {
    const Bytes plan = testsupport::PlainPng(600, 600, 2, {200, 190, 170});
    const Bytes photo = testsupport::PlainPng(300, 200, 2, {20, 90, 160});
    const long long planWork = WorkOf(plan, platform::Image::kDecodedPixelBudget);
    const long long photoWork = WorkOf(photo, platform::Image::kDecodedPixelBudget);
    ASSERT_GT(planWork, 3 * photoWork);
    struct Case {
        const char* name;
        long long work;
        std::vector<bool> shown;  // photo 1, photo 2, plan
    };
    const Case cases[] = {
        {"all of it for the plan", planWork, {false, false, true}},
        {"one unit short: the plan cut, the photos after it have nothing", planWork - 1, {false, false, false}},
        {"the plan, then one photo", planWork + photoWork, {true, false, true}},
        {"enough for all", planWork + 2 * photoWork, {true, true, true}},
    };
    for (const Case& c : cases) {
        tLoose loose;
        loose.Add("Photo 1", photo);
        loose.Add("Photo 2", photo);
        loose.Add("Plan", plan, 2000, 2000);
        const testsupport::LogWatch watch;
        VKMLayoutPictures::decodePictures(loose.images, {}, {.layoutWork = c.work});
        for (std::size_t i = 0; i < 3; ++i) {
            const CImageElement& image = *loose.images[i];
            EXPECT_TRUE(image.IsPictureDecoded()) << c.name << ": " << image.GetName();
            EXPECT_EQ(image.GetPicture() != nullptr, c.shown[i]) << c.name << ": " << image.GetName();
            EXPECT_EQ(image.IsPictureLeftOut(), !c.shown[i]) << c.name << ": " << image.GetName();
        }
        EXPECT_EQ(watch.Count("Layout image \"Plan\" (3 of 3): left out, the work of the layout's pictures (" +
                              std::to_string(c.work) + ") is spent while it was decoded"),
                  c.shown[2] ? 0 : 1)
            << c.name;
    }
}

TEST(LayoutPictures, APictureLeftOutIsDrawnAsAMarkedFrameAndOneThatDoesNotDecodeAsNothing) {
    const Bytes stamp = Stamp();
    tLoose loose;
    loose.Add("Shown", stamp);
    loose.Add("Broken", Bytes{'n', 'o', 't', ' ', 'a', ' ', 'p', 'n', 'g'});
    loose.Add("Cut", Bytes(stamp.begin(), stamp.begin() + static_cast<std::ptrdiff_t>(stamp.size() / 2)));
    VKMLayoutPictures::decodePictures(loose.images);
    for (const CImageElement* image : loose.images) {
        ASSERT_TRUE(image->IsPictureDecoded()) << image->GetName();
        EXPECT_FALSE(image->IsPictureLeftOut()) << image->GetName();
    }
    // Turned a quarter: 300 x 400 about the centre (300, 200), over the
    // element's own 400 x 300.
    loose.Add("Left out", Stamp());
    loose.owned.back()->SetPosition(CPoint(100, 50));
    loose.owned.back()->SetParameter606(90);
    loose.owned.back()->SetPictureLeftOut();

    tDrawingInstructions drawn;
    VKMImagesPainter::drawImages(loose.images, nullptr, drawn);
    ASSERT_EQ(drawn.size(), 2u) << "the picture and the frame; nothing for the bytes that do not decode";
    const auto* picture = dynamic_cast<const CImageDrawingInstruction*>(drawn[0]);
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->mImage, loose.images[0]->GetPicture());
    const auto* frame = dynamic_cast<const CPathDrawingInstruction*>(drawn[1]);
    ASSERT_NE(frame, nullptr);
    EXPECT_TRUE(frame->mUseStroke);
    EXPECT_FALSE(frame->mUseFill);
    std::vector<std::string> steps;
    for (const CPathMicroInstruction& step : frame->mPathMicroInstructions) {
        if (const auto* line = std::get_if<CPathLineToMicroInstruction>(&step)) {
            steps.push_back(std::to_string(std::lround(line->mPoint.x)) + "," +
                            std::to_string(std::lround(line->mPoint.y)));
        } else {
            steps.push_back(std::holds_alternative<CPathStartNewMicroInstruction>(step) ? "new" : "other");
        }
    }
    // The frame as the picture would stand, then both diagonals.
    const std::vector<std::string> expected{"500,50", "500,350", "100,350", "100,50",  "500,50", "new",
                                            "500,50", "100,350", "new",     "500,350", "100,50"};
    EXPECT_EQ(steps, expected);
    for (CDrawingInstruction* instruction : drawn) delete instruction;
}

TEST(LayoutPictures, BrokenPicturesAreLeftOutByNameAndTheRestShown) {
    ScreenFixture screen;
    screen.show(platform::ui::UserInterfaceIdiom::phone);
    Bytes cut = Large(50);
    cut.resize(cut.size() / 2);
    const testsupport::LogWatch watch;
    const int decodes = Decodes();
    Open(screen, WriteLayout("broken.wkst", {{"Garbage", "Plans", Bytes{'n', 'o', 't', ' ', 'a', ' ', 'p', 'n', 'g'}},
                                             {"Stamp", "Plans", Stamp()},
                                             {"Cut", "Plans", cut}}));
    const tImages& images = screen.layout().GetImages();
    ASSERT_EQ(images.size(), 3u);
    EXPECT_EQ(Decodes() - decodes, 2) << "the stamp, and the cut file that fails; the garbage not tried";
    for (const auto& [name, why] :
         {std::pair<std::string, std::string>{"\"Garbage\" (1 of 3)",
                                              "left out, its bytes are no PNG or JPEG whose size can be read"},
          {"\"Cut\" (3 of 3)", "left out, its bytes do not decode"}})
        EXPECT_EQ(watch.Count("Layout image " + name + ": " + why), 1) << name;
    EXPECT_EQ(watch.Count("Layout images: 1 of 3 shown, 2 left out"), 1);
    for (const CImageElement* image : images) EXPECT_TRUE(image->IsPictureDecoded()) << image->GetName();
    const auto view = screen.controller->outlets.layoutView.lock();
    EXPECT_EQ(DrawnPictures(*view), std::vector<const platform::Image*>{images[1]->GetPicture().get()});
}

TEST(LayoutPictures, FortyPhonePhotosFillTheBudgetWithTheirFilesAndAreAllShownSmall) {
    // 119 MB of files would leave 94 k pixels a photo, under its 190 k at
    // 1/8; the pixels have 16 MiB whatever the files take.
    const Bytes& photo = testsupport::PhonePhoto();
    ASSERT_GT(photo.size(), 2'900'000u);
    tLoose loose;
    for (int i = 1; i <= 40; ++i) loose.Add("Photo " + std::to_string(i), photo);
    const testsupport::LogWatch watch;
    EXPECT_EQ(VKMLayoutPictures::decodePictures(loose.images), 40u);
    EXPECT_EQ(watch.Count("): a picture of 4032 x 3024 pixels is over the budget of 104857: decoded at 252 x 189"), 40);
}

TEST(LayoutPictures, APictureShownLargeGetsItsPixelsBeforeThumbnailsWhenPhotosFillTheBudget) {
    ScreenFixture screen;
    screen.show(platform::ui::UserInterfaceIdiom::phone);
    // Phone photos whose files alone fill the budget, as thumbnails, and
    // last a photo or a plan shown large.
    struct Case {
        const char* name;
        tPicture large;
        int thumbnails;
        double thumbnailWidth;
        int leastWidth, leastHeight;  // of the large one
    };
    const Case cases[] = {
        {"a progressive photo across the view among 39 thumbnails",
         {"Big", "Plans", testsupport::PhonePhoto(true), 1000, 750},
         39,
         10,
         1008,
         756},
        {"a plan of 8000 x 8000 under the tracks and 40 photos",
         {"Plan", "Plans", testsupport::PlainPng(8000, 8000, 2, {200, 190, 170}), 1000, 1000},
         40,
         100,
         1000,
         1000},
    };
    for (const Case& c : cases) {
        std::vector<tPicture> pictures(
            c.thumbnails, {"Photo", "Plans", testsupport::PhonePhoto(), c.thumbnailWidth, c.thumbnailWidth * 0.75});
        pictures.push_back(c.large);
        const auto path = WriteLayout("thumbnails.wkst", pictures);
        Open(screen, path);
        std::filesystem::remove(path);
        const tImages& images = screen.layout().GetImages();
        ASSERT_EQ(images.size(), pictures.size()) << c.name;
        std::size_t shown = 0;
        for (const CImageElement* image : images) shown += image->GetPicture() ? 1 : 0;
        EXPECT_EQ(shown, pictures.size()) << c.name;
        EXPECT_LE(VKMLayoutPictures::decodedBytes(images), VKMLayoutPictures::kLeastPictureBytes) << c.name;
        ASSERT_NE(images.back()->GetPicture(), nullptr) << c.name;
        EXPECT_GE(images.back()->GetPicture()->pixelWidth(), c.leastWidth) << c.name;
        EXPECT_GE(images.back()->GetPicture()->pixelHeight(), c.leastHeight) << c.name;
    }
}

TEST(LayoutPictures, ANewerOpenStopsTheDecodeWithinAPicture) {
    const Bytes plan = testsupport::PlainPng(1024, 1024, 2, {1, 2, 3});
    // How often the decode of the picture asks, when never stopped.
    int asked = 0;
    tLoose whole;
    whole.Add("Plan", plan);
    ASSERT_EQ(VKMLayoutPictures::decodePictures(whole.images, [&asked] { return ++asked < 0; }), 1u);
    ASSERT_GE(asked, 10) << "asked within the picture, not only before it";

    tLoose loose;
    loose.Add("Plan", plan);
    int again = 0;
    const testsupport::LogWatch watch;
    EXPECT_EQ(VKMLayoutPictures::decodePictures(loose.images, [&again, asked] { return ++again > asked / 2; }), 0u);
    EXPECT_LT(again, asked) << "stopped halfway";
    EXPECT_FALSE(loose.images[0]->IsPictureDecoded()) << "left for a later open";
    EXPECT_EQ(watch.Count("Layout images: stopped before 1 of 1, a newer open has begun"), 1);
}

TEST(LayoutPictures, ANewerOpenStopsTheDecodeBetweenPictures) {
    tLoose stamps;
    for (int i = 1; i <= 5; ++i) stamps.Add("Stamp " + std::to_string(i), Stamp());
    const auto decoded = [&stamps] {
        return std::count_if(stamps.images.begin(), stamps.images.end(),
                             [](const CImageElement* image) { return image->IsPictureDecoded(); });
    };
    const testsupport::LogWatch watch;
    EXPECT_EQ(VKMLayoutPictures::decodePictures(stamps.images, [&decoded] { return decoded() >= 2; }), 2u);
    EXPECT_EQ(watch.Count("Layout images: stopped before 3 of 5, a newer open has begun"), 1);
    EXPECT_EQ(VKMLayoutPictures::decodePictures(stamps.images, [] { return true; }), 0u) << "replaced before it began";
    EXPECT_EQ(VKMLayoutPictures::decodePictures(stamps.images), 3u);
}

TEST(LayoutPictures, ALayoutWithNothingToDecodeDoesNotWaitForAnotherLayoutsDecode) {
    // One decode is held, with the lock of all decodes, where it asks
    // whether it is replaced.
    tLoose busy;
    busy.Add("Busy", Stamp());
    std::promise<void> inside;
    std::promise<void> release;
    std::thread holder([&, released = release.get_future().share(), asked = 0]() mutable {
        VKMLayoutPictures::decodePictures(busy.images, [&] {
            if (++asked == 2) {
                inside.set_value();
                released.wait();
            }
            return false;
        });
    });
    inside.get_future().wait();

    tLoose decodedBefore;
    decodedBefore.Add("Done", Stamp());
    decodedBefore.owned.back()->SetPicture(nullptr);
    auto looks = std::async(std::launch::async, [&] {
        return VKMLayoutPictures::decodePictures({}) + VKMLayoutPictures::decodePictures(decodedBefore.images);
    });
    const bool answered = looks.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    release.set_value();
    holder.join();
    EXPECT_TRUE(answered) << "the looks waited for the other decode";
    EXPECT_EQ(looks.get(), 0u);
}
