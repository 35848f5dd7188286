// Sharing a picture of the layout (the share sheet receives the titled
// picture, drawn from a copy the screen may close meanwhile) and importing
// a layout file through the document picker.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>

#include "LayoutModule/ActionButtons/VKMLayoutActionButton.h"
#include "LayoutModule/ActionButtons/VKMLayoutActionButtonHelper.h"
#include "LayoutModule/Info/VKMLocalLayoutImporter.h"
#include "LayoutModule/Share/VKMLayoutCopy.h"
#include "LayoutModule/Share/VKMSharingHelper.h"
#include "SharingModule/Model/VKMLayoutEntityCache.h"
#include "app/Helper/VKMLayoutDocumentHelper.h"
#include "app/Session/VKMLayoutSession.h"
#include "app/VKMNotificationNames.h"
#include "engine/model/CompositeGeometry.h"
#include "engine/model/CurrentCloudLayout.h"
#include "engine/model/LayerManager.h"
#include "engine/model/Layout.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/Paths.h"
#include "platform/ui/controllers/AlertController.h"
#include "platform/ui/controllers/PresentationController.h"
#include "platform/ui/controllers/SystemSheets.h"
#include "platform/ui/views/Button.h"
#include "platform/ui/views/Label.h"
#include "platform/ui/views/Pasteboard.h"
#include "platform/ui/views/TableView.h"
#include "tests/LayoutModule/LayoutModuleTestSupport.h"
#include "tests/LayoutModule/TabFixture.h"
#include "tests/platform/support/VirtualTime.h"
#include "tests/support/EngineServices.h"
#include "widgets/HoverNotification/VKMBouncyMessageTextView.h"
#include "widgets/Views/UIViewVekmont.h"

using namespace platform::ui;
using platform::Value;
using sidetest::Heard;
using sidetest::TabFixture;

namespace {

// A red board of 1000 x 500 mm with a track across it, on a second layer.
const char* const kBoardScenario = R"(version 13
layer "Plan"
rect size=1000,500 at=0,0 color=1,0,0 color2=1,0,0
layer "Track"
straight length=800 at=100,250 angle=0
)";

// The board with the author parameter set.
std::string WithAuthor(const std::string& author) {
    std::string scenario = kBoardScenario;
    return scenario.insert(scenario.find('\n') + 1, "param author \"" + author + "\"\n");
}

void ShareTheLayoutEntity() {
    std::optional<platform::Error> error;
    const auto entity =
        QLLayoutEntity::entityWithJSON(Value(Value::Dictionary{{"id", "L9"}, {"title", "Green_Valley"}}), error);
    ASSERT_NE(entity, nullptr);
    VKMLayoutEntityCache::sharedInstance().setObject(entity, "L9");
    VKMLayoutSession::sharedSession().setCloudLayoutId(std::string("L9"));
}

// Three tracks on one layer and a baseboard on another.
const char* const kThreeTracksScenario = R"(version 13
layer "Plan" type=baseboard
baseboard "Board" rect=0,0,1000,500 layer="Plan"
layer "Track"
straight length=200 at=100,100 angle=0
straight length=200 at=100,200 angle=0
straight length=200 at=100,300 angle=0
)";

// The sheet, once its picture is in it (copied in turns of the main loop,
// drawn on another thread).
std::shared_ptr<ActivityViewController> WaitForSheet(layouttest::ScreenFixture& screen) {
    screen.advance(0.1);
    platform::RunLoop::main()->runUntil(
        [] {
            const auto sheets = presentedControllers<ActivityViewController>();
            return !sheets.empty() && !sheets.front()->isWaitingForItems();
        },
        std::chrono::seconds(20));
    const auto sheets = presentedControllers<ActivityViewController>();
    return sheets.empty() ? nullptr : sheets.front();
}

int EventsNamed(const std::string& name) {
    const auto& events = testsupport::Analytics().events;
    return static_cast<int>(
        std::count_if(events.begin(), events.end(), [&](const auto& event) { return event.first == name; }));
}

// Pixels of the top rows (where the title goes) that are neither white nor
// red: the title's grey ink.
int InkInRows(const platform::Image& image, int y0, int y1) {
    int ink = 0;
    for (int y = y0; y < y1; ++y) {
        for (int x = 0; x < image.pixelWidth(); ++x) {
            const auto p = *image.pixel(x, y);
            if (p.alpha > 200 && p.red < 200 && std::abs(p.red - p.green) < 30) ++ink;
        }
    }
    return ink;
}

}  // namespace

TEST(ShareLayout, TheShareSheetReceivesTheTitledPictureAtTheShareButton) {
    for (const UserInterfaceIdiom idiom : {UserInterfaceIdiom::tablet, UserInterfaceIdiom::phone}) {
        TabFixture screen;
        screen.show(idiom);
        screen.open(kBoardScenario, "share.wkst");
        ShareTheLayoutEntity();
        const auto button = VKMLayoutActionButtonHelper::button(VKMLayoutActionButtonHelper::kShare);
        ASSERT_NE(button, nullptr);
        screen.tap(*button);
        const auto sheet = WaitForSheet(screen);
        ASSERT_NE(sheet, nullptr);
        ASSERT_EQ(sheet->activityItems().size(), 1u);
        const auto image = sheet->activityItems().front().image;
        ASSERT_NE(image, nullptr);
        // 1000 x 500 mm and 350 mm around: 1700 x 1200, the longer side 2048.
        EXPECT_NEAR(std::max(image->size().width, image->size().height), 2048, 1);
        EXPECT_NEAR(image->size().height, 2048.0 * 1200 / 1700, 3);
        EXPECT_TRUE(
            layouttest::PixelNear(*image, image->pixelWidth() / 2, image->pixelHeight() / 2 - 60, 255, 0, 0, 255));
        EXPECT_TRUE(layouttest::PixelNear(*image, 20, image->pixelHeight() / 2, 255, 255, 255, 255));
        EXPECT_GT(InkInRows(*image, 0, image->pixelHeight() * 6 / 100), 200) << "the title";
        EXPECT_GT(InkInRows(*image, image->pixelHeight() * 97 / 100, image->pixelHeight()), 50) << "the app line";
        const auto& excluded = sheet->excludedActivityTypes();
        EXPECT_EQ(excluded.size(), 4u);
        EXPECT_NE(std::find(excluded.begin(), excluded.end(), activity::kSaveToCameraRoll), excluded.end());
        const auto popover = sheet->popoverPresentationController();
        ASSERT_NE(popover, nullptr);
        EXPECT_EQ(popover->sourceView(), button->superview());
        EXPECT_EQ(popover->sourceRect(), button->frame());
        EXPECT_EQ(popover->styleInForce(), idiom == UserInterfaceIdiom::phone ? ModalPresentationStyle::pageSheet
                                                                              : ModalPresentationStyle::popover);

        screen.advance(1);
        const int shared = EventsNamed("LayoutImageShared");
        ASSERT_TRUE(sheet->complete(std::string(activity::kMail)));
        screen.advance(1);
        EXPECT_EQ(EventsNamed("LayoutImageShared"), shared + 1);

        // Cancelled: logged, not counted.
        screen.tap(*button);
        const auto second = WaitForSheet(screen);
        ASSERT_NE(second, nullptr);
        screen.advance(1);
        ASSERT_TRUE(second->complete(std::nullopt, false));
        screen.advance(1);
        EXPECT_EQ(EventsNamed("LayoutImageShared"), shared + 1);
    }
}

// Where the user looks: the sheet comes at once and says in its status line
// that the picture is being prepared (no banner hidden under it), offers
// the picture once drawn, and after Copy says "Copied" for a moment before
// it closes, with the picture on the pasteboard.
TEST(ShareLayout, TheSheetSaysWhileThePictureIsPreparedAndThatItWasCopied) {
    for (const UserInterfaceIdiom idiom : {UserInterfaceIdiom::phone, UserInterfaceIdiom::tablet}) {
        TabFixture screen;
        screen.show(idiom);
        screen.open(kBoardScenario, "status.wkst");
        const auto button = VKMLayoutActionButtonHelper::button(VKMLayoutActionButtonHelper::kShare);
        ASSERT_NE(button, nullptr);
        screen.tap(*button);
        const auto sheets = presentedControllers<ActivityViewController>();
        ASSERT_EQ(sheets.size(), 1u) << "shown at once";
        const auto sheet = sheets.front();
        EXPECT_TRUE(sheet->isWaitingForItems());
        EXPECT_EQ(sheet->statusText(), "Preparing the picture of your layout…");
        screen.window->layoutIfNeeded();
        const auto status =
            std::dynamic_pointer_cast<Label>(sheet->view()->findViewWithAccessibilityIdentifier("status"));
        ASSERT_NE(status, nullptr);
        EXPECT_EQ(status->text(), "Preparing the picture of your layout…");
        const platform::Rect line = status->convertRectToView(status->bounds(), nullptr);
        const platform::Rect shown = screen.window->bounds();
        EXPECT_TRUE(line.x >= shown.x && line.y >= shown.y && line.maxX() <= shown.maxX() &&
                    line.maxY() <= shown.maxY())
            << "on the screen: " << line.x << ", " << line.y << ", " << line.width << " x " << line.height;
        EXPECT_TRUE(UIViewVekmont::subViewsOfKind<VKMBouncyMessageTextView>(*screen.window).empty())
            << "no banner under the sheet";
        const auto copy = std::dynamic_pointer_cast<Button>(
            sheet->view()->findViewWithAccessibilityIdentifier(activity::kCopyToPasteboard));
        ASSERT_NE(copy, nullptr);
        EXPECT_FALSE(copy->isEnabled()) << "nothing to copy yet";

        screen.advance(0.1);
        ASSERT_TRUE(
            platform::RunLoop::main()->runUntil([&] { return !sheet->isWaitingForItems(); }, std::chrono::seconds(20)));
        const auto image = sheet->activityItems().at(0).image;
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(sheet->statusText(), "");
        EXPECT_TRUE(copy->isEnabled());
        screen.advance(0.5);

        const int shared = EventsNamed("LayoutImageShared");
        screen.tap(*copy);
        EXPECT_EQ(Pasteboard::generalPasteboard().image(), image);
        EXPECT_EQ(status->text(), "Copied");
        screen.advance(ActivityViewController::kCopiedShowTime - 0.2);
        EXPECT_EQ(presentedControllers<ActivityViewController>().size(), 1u) << "still saying it";
        EXPECT_EQ(EventsNamed("LayoutImageShared"), shared);
        screen.advance(0.7);
        EXPECT_TRUE(presentedControllers<ActivityViewController>().empty());
        EXPECT_EQ(EventsNamed("LayoutImageShared"), shared + 1);
    }
}

// The open document is copied in turns after the tap: closed before that,
// the sheet says there is no picture. Any other layout is copied in the call.
TEST(ShareLayout, ThePictureIsDrawnFromACopyThatOutlivesTheDocument) {
    TabFixture screen;
    screen.show(UserInterfaceIdiom::tablet);
    screen.open(kBoardScenario, "race.wkst");
    const auto button = VKMLayoutActionButtonHelper::button(VKMLayoutActionButtonHelper::kShare);
    VKMSharingHelper::shareImageOfLayout(*CCurrentCloudLayout::Instance().Layout(), screen.controller, button);
    screen.advance(0.02);
    // The screen closes the document while the picture is being drawn.
    VKMLayoutDocumentHelper::closeCurrentLayout();
    auto sheet = WaitForSheet(screen);
    ASSERT_NE(sheet, nullptr);
    auto image = sheet->activityItems().front().image;
    ASSERT_NE(image, nullptr);
    EXPECT_NEAR(image->size().width, 2048, 1);
    EXPECT_TRUE(layouttest::PixelNear(*image, image->pixelWidth() / 2, image->pixelHeight() / 2 - 60, 255, 0, 0, 255));
    screen.advance(1);
    sheet->dismissViewController(false);

    screen.open(kBoardScenario, "race.wkst");
    VKMSharingHelper::shareImageOfLayout(*CCurrentCloudLayout::Instance().Layout(), screen.controller, button);
    VKMLayoutDocumentHelper::closeCurrentLayout();
    sheet = WaitForSheet(screen);
    ASSERT_NE(sheet, nullptr);
    EXPECT_TRUE(sheet->activityItems().empty());
    EXPECT_EQ(sheet->statusText(), "The picture of your layout could not be made.");
    screen.advance(1);
    sheet->dismissViewController(false);

    auto own = layouttest::LoadScenario(kBoardScenario, "own.wkst");
    VKMSharingHelper::shareImageOfLayout(*own, screen.controller, button);
    own.reset();
    sheet = WaitForSheet(screen);
    ASSERT_NE(sheet, nullptr);
    image = sheet->activityItems().front().image;
    ASSERT_NE(image, nullptr);
    EXPECT_TRUE(layouttest::PixelNear(*image, image->pixelWidth() / 2, image->pixelHeight() / 2 - 60, 255, 0, 0, 255));
    screen.advance(1);
    sheet->dismissViewController(false);
}

TEST(ShareLayout, TheOpenDocumentIsCopiedInTurnsAndAgainAfterAChange) {
    layouttest::RegisterServices();
    testsupport::VirtualTime time;
    const auto turn = [&] { time.clock->advance(VKMLayoutCopier::kTurnInterval); };
    CCurrentCloudLayout& holder = CCurrentCloudLayout::Instance();
    const std::string path = layouttest::WriteScenario(kThreeTracksScenario, "turns.wkst");
    ASSERT_TRUE(holder.LoadLayout(path));
    VKMLayoutCopier::setMostCopiesPerTurn(1);
    std::optional<std::unique_ptr<CLayout>> delivered;
    const auto copyOpen = [&](VKMLayoutCopier::tWanted wanted) {
        delivered.reset();
        return VKMLayoutCopier::copyOpenDocument(std::move(wanted), [&](auto copy) { delivered = std::move(copy); });
    };

    auto copier = copyOpen([] { return true; });
    EXPECT_EQ(copier->copied(), 0u) << "nothing copied in the call";
    turn();
    turn();
    EXPECT_EQ(copier->copied(), 2u);
    holder.Layout()->GetElements().at(0)->SetPosition(CPoint(700, 50, 0));
    turn();
    for (int i = 0; i < 10 && !delivered; ++i) turn();
    EXPECT_EQ(copier->turns(), 6u) << "two, then the three tracks and the board again";
    ASSERT_TRUE(delivered && *delivered);
    const CLayout& source = *holder.Layout();
    const CLayout& copy = **delivered;
    const auto layerOf = [](const CLayout& layout, const auto& element) {
        return layout.GetLayerManager().GetLayerIndex(element.GetLayer());
    };
    ASSERT_EQ(copy.GetElements().size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        const CCompositeGeometry& made = *copy.GetElements()[i];
        EXPECT_NE(&made, source.GetElements()[i]);
        EXPECT_TRUE(made.GetPosition().IsEqual(source.GetElements()[i]->GetPosition(), 1e-9)) << i << ", as moved";
        EXPECT_EQ(layerOf(copy, made), layerOf(source, *source.GetElements()[i])) << i;
    }
    ASSERT_EQ(copy.GetBaseboards().size(), 1u);
    EXPECT_EQ(layerOf(copy, *copy.GetBaseboards()[0]), layerOf(source, *source.GetBaseboards()[0]));

    // A change before every turn: after a few copies begun again, the rest
    // at once.
    copier = copyOpen([] { return true; });
    for (int i = 0; i < 10 && !delivered; ++i) {
        turn();
        holder.Layout()->GetElements().at(1)->SetPosition(CPoint(100.0 * i, 80, 0));
    }
    ASSERT_TRUE(delivered && *delivered);
    EXPECT_EQ(copier->turns(), 1u + VKMLayoutCopier::kMostRestarts);

    // Another document opened between turns: no copy.
    copier = copyOpen([] { return true; });
    turn();
    ASSERT_TRUE(holder.LoadLayout(path));
    turn();
    ASSERT_TRUE(delivered.has_value());
    EXPECT_EQ(*delivered, nullptr);

    // No longer wanted: it stops and says nothing.
    bool wanted = true;
    copier = copyOpen([&wanted] { return wanted; });
    turn();
    wanted = false;
    for (int i = 0; i < 6; ++i) turn();
    EXPECT_FALSE(delivered.has_value());
    EXPECT_EQ(copier->turns(), 2u) << "no turn after it stopped";
    VKMLayoutCopier::setMostCopiesPerTurn(0);
    holder.Reset();
}

TEST(ShareLayout, TheCopyHasItsOwnLayersAndElements) {
    layouttest::RegisterServices();
    const auto source = layouttest::LoadScenario(kBoardScenario, "copy.wkst");
    source->GetLayerManager().GetLayers()[1]->SetVisible(false);
    const auto copy = VKMLayoutCopy::copyForDrawing(*source);
    const tLayers& layers = copy->GetLayerManager().GetLayers();
    ASSERT_EQ(layers.size(), source->GetLayerManager().GetLayers().size());
    EXPECT_EQ(layers[1]->GetName(), "Track");
    EXPECT_FALSE(layers[1]->IsVisible());
    ASSERT_EQ(copy->GetElements().size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_NE(copy->GetElements()[i], source->GetElements()[i]);
        EXPECT_EQ(copy->GetLayerManager().GetLayerIndex(copy->GetElements()[i]->GetLayer()),
                  source->GetLayerManager().GetLayerIndex(source->GetElements()[i]->GetLayer()));
    }
    EXPECT_EQ(copy->GetParameters().mWorkspaceWidth, source->GetParameters().mWorkspaceWidth);
}

TEST(LocalImport, ThePickedFileIsPostedAndNothingElse) {
    TabFixture screen;
    screen.show(UserInterfaceIdiom::phone);
    auto importer = std::make_shared<VKMLocalLayoutImporter>(screen.tabs);
    Heard open(VKMNotificationNames::kOpenLocalLayout);

    importer->handleOpenLocalTapped();
    screen.advance(1);
    const auto alerts = presentedControllers<AlertController>();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts.front()->title(), "Import a layout");
    ASSERT_TRUE(alerts.front()->tapActionWithTitle("OK"));
    screen.advance(1);
    auto pickers = presentedControllers<DocumentPickerViewController>();
    ASSERT_EQ(pickers.size(), 1u);
    EXPECT_EQ(pickers.front()->contentTypes(), std::vector<std::string>{VKMLocalLayoutImporter::kLayoutDocumentType});
    EXPECT_TRUE(pickers.front()->shouldCopyItems());
    EXPECT_FALSE(pickers.front()->pick({"/tmp/a.wkst", "/tmp/b.wkst"})) << "one file at a time";

    // Several files, or none, post nothing.
    importer->documentPickerDidPickDocumentsAtURLs(*pickers.front(), {"/tmp/a.wkst", "/tmp/b.wkst"});
    importer->documentPickerDidPickDocumentsAtURLs(*pickers.front(), {});
    EXPECT_EQ(open.count, 0);

    ASSERT_TRUE(pickers.front()->pick({"/tmp/picked.wkst"}));
    screen.advance(1);
    ASSERT_EQ(open.count, 1);
    EXPECT_EQ(open.object, importer.get());
    const Value* file = open.last.find(VKMNotificationNames::kKeyFileURL);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(*file->asString(), "/tmp/picked.wkst");

    // Cancelled: nothing.
    importer->openDocumentPicker();
    screen.advance(1);
    pickers = presentedControllers<DocumentPickerViewController>();
    ASSERT_EQ(pickers.size(), 1u);
    pickers.front()->cancel();
    screen.advance(1);
    EXPECT_EQ(open.count, 1);
    EXPECT_TRUE(presentedControllers<DocumentPickerViewController>().empty());
}

TEST(LocalImport, AFileTappedInThePickerIsPostedAsItsFileURL) {
    namespace fs = std::filesystem;
    const fs::path documents = platform::Paths::documents();
    fs::rename(layouttest::WriteScenario(kBoardScenario, "board.wkst"), documents / "Red board.wkst");
    { std::ofstream(documents / "Red board.png") << "not a layout"; }
    TabFixture screen;
    screen.show(UserInterfaceIdiom::tablet);
    auto importer = std::make_shared<VKMLocalLayoutImporter>(screen.tabs);
    Heard open(VKMNotificationNames::kOpenLocalLayout);
    importer->openDocumentPicker();
    screen.advance(1);
    const auto pickers = presentedControllers<DocumentPickerViewController>();
    ASSERT_EQ(pickers.size(), 1u);
    EXPECT_EQ(pickers.front()->presentationController()->styleInForce(), ModalPresentationStyle::formSheet);
    const auto table = pickers.front()->view()->findView<TableView>();
    ASSERT_TRUE(table);
    EXPECT_EQ(table->findViewWithAccessibilityIdentifier("Red board.png"), nullptr) << "not a layout's type";
    const auto row = table->findViewWithAccessibilityIdentifier("Red board.wkst");
    ASSERT_TRUE(row);
    screen.tap(*row);
    screen.advance(1);
    EXPECT_TRUE(presentedControllers<DocumentPickerViewController>().empty());
    ASSERT_EQ(open.count, 1);
    const Value* file = open.last.find(VKMNotificationNames::kKeyFileURL);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(*file->asString(), "file://" + documents.string() + "/Red%20board.wkst");
}

TEST(ShareLayout, ALocalLayoutsPictureNamesItsFileAndTheAuthorItsFileGives) {
    TabFixture screen;
    screen.show(UserInterfaceIdiom::phone);
    VKMLayoutSession::sharedSession().setCloudLayoutId(std::nullopt);
    screen.open(WithAuthor("  Ada Lovelace "), "Green_Valley_2.wkst");
    VKMSharingHelper::tOverlayTexts texts = VKMSharingHelper::currentOverlayTexts();
    EXPECT_EQ(texts.title, "Green Valley 2") << "the file's name, as the layout screen shows titles";
    EXPECT_EQ(texts.author, "Ada Lovelace");

    screen.open(WithAuthor("   "), "no-author.wkst");
    texts = VKMSharingHelper::currentOverlayTexts();
    EXPECT_EQ(texts.title, "no-author");
    EXPECT_EQ(texts.author, "") << "blank is no author";

    // A shared layout whose record is not there yet names nothing of the file.
    VKMLayoutSession::sharedSession().setCloudLayoutId(std::string("not-cached"));
    texts = VKMSharingHelper::currentOverlayTexts();
    EXPECT_EQ(texts.title, "");
    EXPECT_EQ(texts.author, "");
    VKMLayoutSession::sharedSession().setCloudLayoutId(std::nullopt);
}

TEST(ShareLayout, ALongTitleIsMadeSmallerToFitThePictureNotCutAtItsEdges) {
    TabFixture screen;
    screen.show(UserInterfaceIdiom::phone);
    screen.open(kBoardScenario, "long.wkst");
    const VKMSharingHelper::tOverlayTexts texts{
        "Modellbahnanlage Hauptbahnhof mit Güterbahnhof, Bahnbetriebswerk, Steinbruchstrecke und Schattenbahnhof "
        "unter dem Bergwerk, Anschlussgleisen der Papierfabrik und zweigleisiger Hauptstrecke",
        "layoutgen", "Vekmont"};
    const auto image = VKMSharingHelper::getCroppedOverlayedImage(*CCurrentCloudLayout::Instance().Layout(), texts);
    ASSERT_NE(image, nullptr);
    // The title's band: ink across it, none in the margins at either edge.
    const int band = image->pixelHeight() * 6 / 100;
    int margins = 0;
    for (int y = 0; y < band; ++y) {
        for (int x : {0, 1, 2, 3, image->pixelWidth() - 4, image->pixelWidth() - 3, image->pixelWidth() - 2,
                      image->pixelWidth() - 1}) {
            const auto p = *image->pixel(x, y);
            if (p.alpha > 200 && p.red < 200 && std::abs(p.red - p.green) < 30) ++margins;
        }
    }
    EXPECT_GT(InkInRows(*image, 0, band), 200);
    EXPECT_EQ(margins, 0);
}
