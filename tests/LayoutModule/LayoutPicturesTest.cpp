// A layout's pictures: decoded once when the layout opens, together within
// the layout's budgets of memory and work, reduced or left out by name when
// they do not fit; rebuilds, zooms and layers shown later decode nothing.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>
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

    void Add(const std::string& name, const Bytes& bytes) {
        owned.push_back(std::make_unique<CImageElement>(bytes.data(), static_cast<int>(bytes.size())));
        owned.back()->SetName(name);
        owned.back()->SetWidth(400);
        owned.back()->SetHeight(300);
        images.push_back(owned.back().get());
    }
};

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

TEST(LayoutPictures, WorkIsAdmittedCheapestFirstWithinTheBoundsOfOneAndOfAll) {
    using A = VKMLayoutPictures::tAdmission;
    constexpr A d = A::decoded;
    struct Case {
        const char* name;
        std::vector<long long> work;
        long long picture;
        long long layout;
        std::vector<A> expected;
    };
    const Case cases[] = {
        {"one over the bound of one", {10, 101, 30}, 100, 1000, {d, A::overPictureWork, d}},
        {"work not known", {-1, 5}, 100, 100, {A::unreadable, d}},
        {"the cheapest first, the dearest left out", {50, 10, 40, 30}, 100, 85, {A::overLayoutWork, d, d, d}},
        {"equal work in list order", {30, 30, 30}, 100, 60, {d, d, A::overLayoutWork}},
        {"exactly at the bounds", {100, 100}, 100, 200, {d, d}},
        {"no work left: only what costs none", {1, 0}, 100, 0, {A::overLayoutWork, d}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(VKMLayoutPictures::admitWork(c.work, c.picture, c.layout), c.expected) << c.name;

    // Pixels to read: A 10,000, B 2,500, C 20,000 (past what B and A leave),
    // D 90,000 (over the bound of one).
    tLoose loose;
    loose.Add("A", testsupport::PlainPng(100, 100, 0, {1}));
    loose.Add("B", testsupport::PlainPng(50, 50, 0, {2}));
    loose.Add("C", testsupport::PlainPng(200, 100, 0, {3}));
    loose.Add("D", testsupport::PlainPng(300, 300, 0, {4}));
    const testsupport::LogWatch watch;
    EXPECT_EQ(VKMLayoutPictures::decodePictures(loose.images, {}, {.pictureWork = 50'000, .layoutWork = 25'000}), 2u);
    EXPECT_EQ(watch.Count("Layout image \"C\" (3 of 4): left out, decoding it would read 20000 pixels, past what "
                          "is left of the layout's 25000"),
              1);
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(loose.images[i]->GetPicture() != nullptr, i < 2) << i;
}

TEST(LayoutPictures, HostileAndBrokenPicturesAreLeftOutByNameAndTheRestShown) {
    ScreenFixture screen;
    screen.show(platform::ui::UserInterfaceIdiom::phone);
    // Half a megabyte, every one of whose 16384 x 16384 pixels would be read.
    const Bytes hostile = testsupport::PlainPng(16384, 16384, 0, {9});
    Bytes cut = Large(50);
    cut.resize(cut.size() / 2);
    const testsupport::LogWatch watch;
    const int decodes = Decodes();
    Open(screen, WriteLayout("hostile.wkst", {{"Hostile A", "Plans", hostile},
                                              {"Stamp", "Plans", Stamp()},
                                              {"Garbage", "Plans", Bytes{'n', 'o', 't', ' ', 'a', ' ', 'p', 'n', 'g'}},
                                              {"Cut", "Hidden plans", cut},
                                              {"Hostile B", "Hidden plans", hostile}}));
    const tImages& images = screen.layout().GetImages();
    ASSERT_EQ(images.size(), 5u);
    EXPECT_EQ(Decodes() - decodes, 2) << "the stamp, and the cut file that fails; the rest not tried";
    const std::string hostileWhy =
        "left out, decoding it would read 268435456 pixels, over the 67108864 of one picture";
    for (const auto& [name, why] :
         {std::pair<std::string, std::string>{"\"Hostile A\" (1 of 5)", hostileWhy},
          {"\"Garbage\" (3 of 5)", "left out, its bytes are no PNG or JPEG whose size and make-up can be read"},
          {"\"Cut\" (4 of 5)", "left out, its bytes do not decode"},
          {"\"Hostile B\" (5 of 5)", hostileWhy}})
        EXPECT_EQ(watch.Count("Layout image " + name + ": " + why), 1) << name;
    EXPECT_EQ(watch.Count("Layout images: 1 of 5 shown, 4 left out"), 1);
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
