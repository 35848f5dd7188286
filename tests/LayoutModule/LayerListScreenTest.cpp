// The layer list opened from the layout screen's layer button in a headless
// window: rows with visibility, names, summaries and previews; a phone
// announces the changes once when the list is closed, a tablet at once;
// and the summaries and names of odd layers.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "LayoutModule/ActionButtons/VKMLayoutActionButton.h"
#include "LayoutModule/ActionButtons/VKMLayoutActionButtonHelper.h"
#include "LayoutModule/LayerList/QLLayerSummaryHelper.h"
#include "LayoutModule/LayerList/VKMLayerListViewController.h"
#include "LayoutModule/LayerList/VKMLayerPreviewMaker.h"
#include "LayoutView/ImageExport/VKMLayerPreviewHelper.h"
#include "LayoutView/ImageExport/VKMLayoutResizeHelper.h"
#include "app/Helper/VKMLayoutDocumentHelper.h"
#include "app/Utilities/Colors/VKMAutoColorizeHelper.h"
#include "LayoutView/Drawing/VKMDrawingInstructionsRenderData.h"
#include "LayoutView/Drawing/VKMLayoutRenderData.h"
#include "engine/model/Layer.h"
#include "engine/model/LayerManager.h"
#include "engine/model/Layout.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/Paths.h"
#include "platform/ui/controllers/BarItems.h"
#include "platform/ui/views/Button.h"
#include "platform/ui/views/ImageView.h"
#include "platform/ui/views/Label.h"
#include "platform/ui/views/TableViewCell.h"
#include "platform/ui/controllers/NavigationController.h"
#include "platform/ui/controllers/PresentationController.h"
#include "tests/LayoutModule/LayoutModuleTestSupport.h"
#include "tests/LayoutModule/SideScreenSupport.h"
#include "tests/support/EngineServices.h"
#include "tools/layoutgen/LargeLayout.h"
#include "tools/layoutgen/LayoutFileWriter.h"

using namespace platform::ui;
using sidescreens::Heard;
using sidescreens::SamePixels;
using sidescreens::SideScreens;

namespace {

// Two tracks on a layer of the German default name, a baseboard and an
// image of 300 x 200 mm. (The empty layer goes when the layout is read.)
const char* const kLayersScenario = R"(version 13
layer "Ebene 1"
straight length=300 at=0,0 angle=0 color=1,0,0 color2=1,0,0
straight length=300
layer "Boards" type=baseboard
baseboard "Board" rect=-100,-300,900,600
layer "Pictures" type=image
image "Photo" at=0,0 size=300,200

)";

std::string Text(TableViewCell& cell, long tag) {
    const auto label = std::dynamic_pointer_cast<Label>(cell.viewWithTag(tag));
    return label ? label->text() : "<no label>";
}

std::shared_ptr<platform::Image> VisibilityImage(TableViewCell& cell) {
    const auto button =
        std::dynamic_pointer_cast<Button>(cell.viewWithTag(VKMLayerListViewController::kVisibilityButtonTag));
    return button ? button->imageForState(ControlState::normal) : nullptr;
}

std::size_t ElementInstructions(const SideScreens& screens) {
    const auto view = screens.layoutScreen->outlets.layoutView.lock();
    return view->renderData()->elementsData()->drawingInstructions()->size();
}

// Opens the list with a tap on the layer button.
std::shared_ptr<VKMLayerListViewController> OpenList(SideScreens& screens) {
    const auto button = VKMLayoutActionButtonHelper::button(VKMLayoutActionButtonHelper::kLayer);
    if (!button) return nullptr;
    screens.synth->tap(screens.centreOf(*button));
    screens.advance(1);
    auto shown = screens.presented();
    if (auto navigation = std::dynamic_pointer_cast<NavigationController>(shown)) {
        shown = navigation->topViewController();
    }
    return std::dynamic_pointer_cast<VKMLayerListViewController>(shown);
}

std::shared_ptr<ImageView> PreviewOf(TableView& table, int row) {
    const auto cell = table.cellForRowAtIndexPath({0, row});
    return cell ? std::dynamic_pointer_cast<ImageView>(cell->viewWithTag(VKMLayerListViewController::kPreviewTag))
                : nullptr;
}

// Runs the main loop until the row's preview is more than an empty frame.
bool WaitForPreview(TableView& table, int row) {
    const double side = VKMLayerListViewController::kPreviewSize;
    const auto empty =
        VKMLayerPreviewHelper::createFramedPreview(nullptr, {side, side}, VKMLayerPreviewHelper::kCornerRadius);
    return platform::RunLoop::main()->runUntil(
        [&] {
            const auto preview = PreviewOf(table, row);
            return preview && preview->image() && !SamePixels(*preview->image(), *empty);
        },
        std::chrono::seconds(20));
}

// Pixels of the image that are not white, inside its frame, left and right
// of its middle.
std::pair<int, int> InkLeftAndRight(const platform::Image& image) {
    std::pair<int, int> ink{0, 0};
    const int border = 3;
    for (int y = border; y < image.pixelHeight() - border; ++y) {
        for (int x = border; x < image.pixelWidth() - border; ++x) {
            const auto p = image.pixel(x, y);
            if (!p || p->alpha < 200 || std::max({p->red, p->green, p->blue}) > 230) continue;
            (x < image.pixelWidth() / 2 ? ink.first : ink.second) += 1;
        }
    }
    return ink;
}

// Pixels that are not white within `reach` of (x, y).
int InkAround(const platform::Image& image, int x, int y, int reach) {
    int ink = 0;
    for (int row = y - reach; row <= y + reach; ++row) {
        for (int column = x - reach; column <= x + reach; ++column) {
            const auto p = image.pixel(column, row);
            if (p && p->alpha >= 200 && std::max({p->red, p->green, p->blue}) <= 230) ++ink;
        }
    }
    return ink;
}

}  // namespace

TEST(LayerListScreen, APhoneFlipsTheIconsAndAnnouncesTheChangesOnceAtDone) {
    SideScreens screens;
    screens.show(UserInterfaceIdiom::phone, sidescreens::kLayoutTab);
    screens.open(kLayersScenario, "layers-phone.wkst");
    const std::size_t drawnBefore = ElementInstructions(screens);
    ASSERT_GT(drawnBefore, 0u);
    Heard heard(VKMLayerListViewController::kLayerChangedNotification);

    const auto list = OpenList(screens);
    ASSERT_NE(list, nullptr);
    // In a navigation controller, shown full screen, with a Done button.
    ASSERT_NE(std::dynamic_pointer_cast<NavigationController>(screens.presented()), nullptr);
    const auto table = list->tableView();
    ASSERT_EQ(table->numberOfRowsInSection(0), 3);

    const auto tracks = table->cellForRowAtIndexPath({0, 0});
    ASSERT_NE(tracks, nullptr);
    EXPECT_EQ(Text(*tracks, VKMLayerListViewController::kNameLabelTag), "Layer 1");
    EXPECT_EQ(Text(*tracks, VKMLayerListViewController::kSummaryLabelTag), "(2 elements)");
    const auto boards = table->cellForRowAtIndexPath({0, 1});
    EXPECT_EQ(Text(*boards, VKMLayerListViewController::kNameLabelTag), "Boards");
    EXPECT_EQ(Text(*boards, VKMLayerListViewController::kSummaryLabelTag), "(1 baseboard parts)");
    ASSERT_NE(table->cellForRowAtIndexPath({0, 2}), nullptr);
    EXPECT_EQ(Text(*table->cellForRowAtIndexPath({0, 2}), VKMLayerListViewController::kSummaryLabelTag), "(300 x 200)");
    // A preview of 48 points a side.
    const auto preview =
        std::dynamic_pointer_cast<ImageView>(tracks->viewWithTag(VKMLayerListViewController::kPreviewTag));
    ASSERT_NE(preview, nullptr);
    ASSERT_NE(preview->image(), nullptr);
    EXPECT_EQ(preview->image()->size().width, 48);
    EXPECT_EQ(preview->image()->size().height, 48);
    const auto shownIcon = VisibilityImage(*tracks);
    ASSERT_NE(shownIcon, nullptr);

    // Taps flip the layers and their icons, and announce nothing yet.
    CLayerManager& layers = screens.layoutScreen->trackLayout()->GetLayerManager();
    screens.synth->tap(screens.centreOf(*tracks));
    screens.advance(0.5);
    EXPECT_FALSE(layers.GetLayers()[0]->IsVisible());
    const auto hiddenIcon = VisibilityImage(*table->cellForRowAtIndexPath({0, 0}));
    ASSERT_NE(hiddenIcon, nullptr);
    EXPECT_FALSE(SamePixels(*shownIcon, *hiddenIcon));
    screens.synth->tap(screens.centreOf(*table->cellForRowAtIndexPath({0, 2})));
    screens.advance(0.5);
    EXPECT_FALSE(layers.GetLayers()[2]->IsVisible());
    EXPECT_TRUE(layers.GetLayers()[1]->IsVisible());
    EXPECT_EQ(heard.count, 0);
    EXPECT_EQ(ElementInstructions(screens), drawnBefore);

    // Done closes the list; then one announcement, and the layout is drawn
    // without the hidden tracks.
    const auto done = list->navigationItem().rightBarButtonItems();
    ASSERT_EQ(done.size(), 1u);
    ASSERT_EQ(done[0]->systemItem(), std::optional<BarButtonSystemItem>(BarButtonSystemItem::done));
    ASSERT_NE(done[0]->view(), nullptr);
    screens.synth->tap(screens.centreOf(*done[0]->view()));
    screens.advance(1);
    EXPECT_EQ(screens.presented(), nullptr);
    EXPECT_EQ(heard.count, 1);
    EXPECT_LT(ElementInstructions(screens), drawnBefore);
}

TEST(LayerListScreen, ATabletAnnouncesEveryChangeAtOnceInAPopover) {
    SideScreens screens;
    screens.show(UserInterfaceIdiom::tablet, sidescreens::kLayoutTab);
    screens.open(kLayersScenario, "layers-tablet.wkst");
    const std::size_t drawnBefore = ElementInstructions(screens);
    Heard heard(VKMLayerListViewController::kLayerChangedNotification);

    const auto list = OpenList(screens);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(screens.presented(), list);
    const auto popover = list->popoverPresentationController();
    ASSERT_NE(popover, nullptr);
    EXPECT_EQ(popover->permittedArrowDirections(), PopoverArrowDirection::up | PopoverArrowDirection::left);
    EXPECT_EQ(list->preferredContentSize().width, 410);
    EXPECT_EQ(list->preferredContentSize().height, 885);

    const auto table = list->tableView();
    screens.synth->tap(screens.centreOf(*table->cellForRowAtIndexPath({0, 0})));
    screens.advance(0.5);
    EXPECT_EQ(heard.count, 1);
    EXPECT_LT(ElementInstructions(screens), drawnBefore);
    screens.synth->tap(screens.centreOf(*table->cellForRowAtIndexPath({0, 0})));
    screens.advance(0.5);
    EXPECT_EQ(heard.count, 2);
    EXPECT_EQ(ElementInstructions(screens), drawnBefore);
    EXPECT_TRUE(screens.layoutScreen->trackLayout()->GetLayerManager().GetLayers()[0]->IsVisible());

    // The snapshot: the dark header band, and the red tracks in the first
    // row's framed preview once it has come.
    ASSERT_TRUE(WaitForPreview(*table, 0));
    screens.advance(0.1);
    const auto shot = screens.window->snapshot();
    ASSERT_NE(shot, nullptr);
    const platform::Rect header = table->convertRectToView(table->rectForHeaderInSection(0), nullptr);
    EXPECT_TRUE(layouttest::PixelNear(*shot, static_cast<int>((header.x + 8) * 2),
                                      static_cast<int>((header.y + 20) * 2), 85, 85, 85, 255, 10));
    const auto preview = table->cellForRowAtIndexPath({0, 0})->viewWithTag(VKMLayerListViewController::kPreviewTag);
    const platform::Rect box = preview->convertRectToView(preview->bounds(), nullptr);
    EXPECT_GT(layouttest::CountNear(*shot, static_cast<int>(box.x * 2), static_cast<int>(box.y * 2),
                                    static_cast<int>(box.maxX() * 2), static_cast<int>(box.maxY() * 2), 255, 0, 0, 60),
              4);
}

TEST(LayerListScreen, NamesAndSummariesOfOddLayers) {
    SideScreens screens;
    screens.show(UserInterfaceIdiom::phone, sidescreens::kLayoutTab);
    screens.open(kLayersScenario, "layers-names.wkst");
    CLayout& layout = *screens.layoutScreen->trackLayout();

    CLayer ebene("Ebene 2");
    CLayer both("Layer 1 Layer");
    CLayer middle("Top Layer x");
    EXPECT_EQ(VKMLayerListViewController::getNameForLayer(ebene), "Layer 2");
    EXPECT_EQ(VKMLayerListViewController::getNameForLayer(middle), "Top Layer x");

    // A tracks layer without elements, an image layer without an image, a
    // layer of an unknown type.
    CLayer spare("Spare");
    EXPECT_EQ(QLLayerSummaryHelper::getContentSummaryForLayer(&spare, &layout), "(empty)");
    CLayer pictures("Pictures");
    pictures.SetLayerType(CLayer::kImageLayer);
    EXPECT_EQ(QLLayerSummaryHelper::getContentSummaryForLayer(&pictures, &layout), "()");
    CLayer odd("Odd");
    odd.SetLayerType(7);
    EXPECT_EQ(QLLayerSummaryHelper::getContentSummaryForLayer(&odd, &layout), "?");
    EXPECT_EQ(QLLayerSummaryHelper::getTooltipForLayer(&odd, layout), std::nullopt);
    const CLayer* tracks = layout.GetLayerManager().GetLayers()[0];
    EXPECT_EQ(QLLayerSummaryHelper::getTooltipForLayer(tracks, layout),
              std::optional<std::string>("Tracks layer with 2 elements"));

    testsupport::RegisterLocalization("de");
    EXPECT_EQ(VKMLayerListViewController::getNameForLayer(both), "Ebene 1 Ebene");
    EXPECT_EQ(VKMLayerListViewController::getNameForLayer(ebene), "Ebene 2");
    spare.SetName("Reserve");
    EXPECT_EQ(QLLayerSummaryHelper::getContentSummaryForLayer(&spare, &layout), "(leer)");
    testsupport::RegisterLocalization("en");
}

// Short black tracks spread over 150 x 100 m, fitted into 48 points: each far
// thinner than a pixel. The preview comes after the list is shown and shows
// them, and a layer of texts shows where they are; a row reloaded later
// shows its preview again at once.
TEST(LayerListScreen, APreviewOfContentFarApartShowsIt) {
    SideScreens screens;
    screens.show(UserInterfaceIdiom::phone, sidescreens::kLayoutTab);
    screens.open(R"(version 13
layer "Far"
straight length=300 at=0,0 angle=0 color=0,0,0 color2=0,0,0
straight length=300 at=37500,25000 angle=0 color=0,0,0 color2=0,0,0
straight length=300 at=75000,50000 angle=0 color=0,0,0 color2=0,0,0
straight length=300 at=112500,75000 angle=0 color=0,0,0 color2=0,0,0
straight length=300 at=150000,100000 angle=0 color=0,0,0 color2=0,0,0
layer "Names"
text "West" at=0,0 size=40 color=0,0,0,1 color2=0,0,0,1
text "Middle" at=75000,50000 size=40 color=0,0,0,1 color2=0,0,0,1
text "East" at=150000,100000 size=40 color=0,0,0,1 color2=0,0,0,1
)",
                 "far-apart.wkst");
    // Laid out at once, before the loop turns: the row has an empty frame,
    // the layer is neither copied nor drawn yet.
    auto list = std::make_shared<VKMLayerListViewController>();
    list->tableView()->registerCell(VKMLayerListViewController::kCellIdentifier, [](const std::string& identifier) {
        auto cell = std::make_shared<TableViewCell>(TableViewCellStyle::defaultStyle, identifier);
        auto preview = std::make_shared<ImageView>(platform::Rect{264, 4, 48, 48});
        preview->setTag(VKMLayerListViewController::kPreviewTag);
        cell->contentView()->addSubview(preview);
        return cell;
    });
    screens.window->addSubview(list->view());
    list->view()->setFrame({0, 0, 390, 400});
    list->view()->layoutIfNeeded();
    ASSERT_NE(PreviewOf(*list->tableView(), 0), nullptr);
    const auto first = PreviewOf(*list->tableView(), 0)->image();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(InkLeftAndRight(*first), (std::pair<int, int>{0, 0}));
    list->view()->removeFromSuperview();

    list = OpenList(screens);
    ASSERT_NE(list, nullptr);
    const auto table = list->tableView();
    ASSERT_EQ(table->numberOfRowsInSection(0), 2);
    ASSERT_TRUE(WaitForPreview(*table, 0)) << "no preview came";
    const auto made = PreviewOf(*table, 0)->image();
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->size().width, 48);
    const auto [left, right] = InkLeftAndRight(*made);
    EXPECT_GE(left, 2) << "the track 37.5 m from the left";
    EXPECT_GE(right, 2) << "the track 37.5 m from the right";
    // Texts too small to read are marked where they are.
    ASSERT_TRUE(WaitForPreview(*table, 1)) << "no preview of the texts came";
    const auto names = PreviewOf(*table, 1)->image();
    ASSERT_NE(names, nullptr);
    EXPECT_GE(InkAround(*names, names->pixelWidth() / 2, names->pixelHeight() / 2, 4), 1) << "the middle text";

    // Hiding the layer reloads its row, which shows the preview made.
    screens.synth->tap(screens.centreOf(*table->cellForRowAtIndexPath({0, 0})));
    screens.advance(0.5);
    EXPECT_FALSE(screens.layoutScreen->trackLayout()->GetLayerManager().GetLayers()[0]->IsVisible());
    EXPECT_EQ(PreviewOf(*table, 0)->image(), made);
}

namespace {

// A generated layout of `elements` elements: four tracks layers, an image
// layer "Plan" with pictures and a baseboard layer "Boards".
void OpenGenerated(SideScreens& screens, std::size_t elements, std::uint64_t seed, const std::string& name) {
    ULayoutGen::tLayoutDocument document;
    ULayoutGen::ComposeLargeLayout(document, elements, seed, 13);
    const auto path = platform::Paths::tmp() / name;
    const auto bytes = ULayoutFileWriter::LayoutFileBytes(document.FileContent());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(VKMLayoutDocumentHelper::loadLayoutFile(path));
    screens.advance(1);
}

// Taps the layer button and lays the window out once, as the frame after
// the tap does; nothing more runs.
std::shared_ptr<VKMLayerListViewController> TapLayerButton(SideScreens& screens) {
    const auto button = VKMLayoutActionButtonHelper::button(VKMLayoutActionButtonHelper::kLayer);
    if (!button) return nullptr;
    screens.synth->tap(screens.centreOf(*button));
    screens.window->layoutIfNeeded();
    return std::dynamic_pointer_cast<VKMLayerListViewController>(screens.presented());
}

// Moves the clock a turn at a time and lets the drawing threads deliver,
// until every row's preview has come (true) or 20 s have passed.
bool AllPreviewsArrive(SideScreens& screens, VKMLayerListViewController& list) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    const auto rows = [&] { return static_cast<std::size_t>(list.tableView()->numberOfRowsInSection(0)); };
    while (std::chrono::steady_clock::now() < until) {
        if (list.previewsMade() >= rows() && list.previewsPending() == 0) return true;
        screens.advance(0.02);
        platform::RunLoop::main()->runUntil([&] { return list.previewsMade() >= rows(); },
                                            std::chrono::milliseconds(10));
    }
    return false;
}

// Pixels of the two images (of one size) that differ by more than 8 on a
// channel; -1 for images of different sizes.
int Differing(const platform::Image& a, const platform::Image& b) {
    if (a.pixelWidth() != b.pixelWidth() || a.pixelHeight() != b.pixelHeight()) return -1;
    int differing = 0;
    for (int y = 0; y < a.pixelHeight(); ++y) {
        for (int x = 0; x < a.pixelWidth(); ++x) {
            const auto p = *a.pixel(x, y);
            const auto q = *b.pixel(x, y);
            if (std::abs(p.red - q.red) > 8 || std::abs(p.green - q.green) > 8 || std::abs(p.blue - q.blue) > 8 ||
                std::abs(p.alpha - q.alpha) > 8)
                ++differing;
        }
    }
    return differing;
}

// Each row's preview beside the layer's picture drawn at once from the
// document as it is now; the names of the rows that differ.
std::vector<std::string> RowsUnlikeTheirLayers(SideScreens& screens, VKMLayerListViewController& list) {
    std::vector<std::string> unlike;
    CLayout& layout = *screens.layoutScreen->trackLayout();
    const double side = VKMLayerListViewController::kPreviewSize;
    for (int row = 0; row < list.tableView()->numberOfRowsInSection(0); ++row) {
        CLayer* layer = layout.GetLayerManager().GetLayers()[static_cast<std::size_t>(row)];
        const auto expected = VKMLayerPreviewHelper::previewForLayer(layer, layout, {side, side});
        const auto preview = PreviewOf(*list.tableView(), row);
        if (!expected || !preview || !preview->image() || Differing(*preview->image(), *expected) != 0) {
            unlike.push_back(layer->GetName());
        }
    }
    return unlike;
}

// Restores the default size of a turn's copies when a test ends.
struct ScopedCopiesPerTurn {
    explicit ScopedCopiesPerTurn(std::size_t copies) { VKMLayerPreviewMaker::setMostCopiesPerTurn(copies); }
    ~ScopedCopiesPerTurn() { VKMLayerPreviewMaker::setMostCopiesPerTurn(0); }
};

}  // namespace

// The tap shows the rows with empty frames before any layer is copied; then
// every layer's preview comes, each the picture the layer's own preview is
// when drawn at once, the image layer's the empty frame (pictures are left
// out of exported pictures), copied over several turns.
TEST(LayerListScreen, TheListShowsBeforeAnyCopyAndThenEveryLayersPreviewComes) {
    SideScreens screens;
    screens.show(UserInterfaceIdiom::tablet, sidescreens::kLayoutTab);
    OpenGenerated(screens, 6000, 77, "previews.wkst");
    const ScopedCopiesPerTurn turns(1000);

    const auto list = TapLayerButton(screens);
    ASSERT_NE(list, nullptr);
    const auto table = list->tableView();
    ASSERT_EQ(table->numberOfRowsInSection(0), 6);
    const double side = VKMLayerListViewController::kPreviewSize;
    const auto empty =
        VKMLayerPreviewHelper::createFramedPreview(nullptr, {side, side}, VKMLayerPreviewHelper::kCornerRadius);
    for (int row = 0; row < 6; ++row) {
        const auto preview = PreviewOf(*table, row);
        ASSERT_NE(preview, nullptr) << "row " << row;
        ASSERT_NE(preview->image(), nullptr) << "row " << row;
        EXPECT_TRUE(SamePixels(*preview->image(), *empty)) << "row " << row;
    }
    EXPECT_EQ(list->previewCopiesBegun(), 0u);
    EXPECT_EQ(Text(*table->cellForRowAtIndexPath({0, 0}), VKMLayerListViewController::kNameLabelTag), "Tracks");
    EXPECT_NE(Text(*table->cellForRowAtIndexPath({0, 0}), VKMLayerListViewController::kSummaryLabelTag), "(empty)");

    ASSERT_TRUE(AllPreviewsArrive(screens, *list));
    EXPECT_EQ(RowsUnlikeTheirLayers(screens, *list), std::vector<std::string>{});
    // The tracks and the baseboards show; the pictures do not.
    CLayout& layout = *screens.layoutScreen->trackLayout();
    for (int row = 0; row < 6; ++row) {
        const CLayer* layer = layout.GetLayerManager().GetLayers()[static_cast<std::size_t>(row)];
        const bool pictures = layer->GetLayerType() == CLayer::kImageLayer;
        EXPECT_EQ(SamePixels(*PreviewOf(*table, row)->image(), *empty), pictures) << layer->GetName();
    }
    EXPECT_GE(list->previewCopiesBegun(), 5u);
}

// A change of the document while the copies are made over several turns,
// or once the previews have come: the previews shown in the end are those
// of the document as it is afterwards, never a mixture or the old picture,
// and nothing of a closed document comes.
TEST(LayerListScreen, AChangeOfTheDocumentShowsNoStalePreview) {
    struct Case {
        const char* name;
        std::function<void()> change;
        int rowsAfter;
    };
    const std::vector<Case> cases = {
        {"the document moved, as the centring after a load moves it",
         [] { VKMLayoutResizeHelper::sizeLayoutToFitContents(); }, 6},
        {"the tracks coloured by type", [] { VKMAutoColorizeHelper::autoColorizeTracks(1); }, 6},
        {"another document opened",
         [] {
             ULayoutGen::tLayoutDocument document;
             ULayoutGen::ComposeLargeLayout(document, 3000, 5, 13);
             const auto path = platform::Paths::tmp() / "changes-other.wkst";
             const auto bytes = ULayoutFileWriter::LayoutFileBytes(document.FileContent());
             std::ofstream(path, std::ios::binary)
                 .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
             ASSERT_TRUE(VKMLayoutDocumentHelper::loadLayoutFile(path));
         },
         6},
        {"the document closed (an empty one in its place)", [] { VKMLayoutDocumentHelper::closeCurrentLayout(); }, 1},
    };
    for (const bool copying : {true, false}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (copying ? " while copying" : " after the previews came"));
            SideScreens screens;
            screens.show(UserInterfaceIdiom::tablet, sidescreens::kLayoutTab);
            OpenGenerated(screens, 6000, 91, "changes.wkst");
            const ScopedCopiesPerTurn turns(1000);
            const auto list = TapLayerButton(screens);
            ASSERT_NE(list, nullptr);
            if (copying) {
                // The largest layer's copy is under way.
                screens.advance(0.02);
                ASSERT_EQ(list->previewCopiesBegun(), 1u);
                ASSERT_EQ(list->previewsMade(), 1u) << "only the pictures' empty frame";
            } else {
                ASSERT_TRUE(AllPreviewsArrive(screens, *list));
            }

            c.change();
            screens.window->layoutIfNeeded();
            ASSERT_EQ(list->tableView()->numberOfRowsInSection(0), c.rowsAfter);
            ASSERT_TRUE(AllPreviewsArrive(screens, *list));
            EXPECT_EQ(RowsUnlikeTheirLayers(screens, *list), std::vector<std::string>{});
            EXPECT_EQ(list->previewsMade(), static_cast<std::size_t>(c.rowsAfter));
        }
    }
}
