// Every screen presented over the layout, on both idioms, left by every way
// a user has: its own Cancel or Done, a tap outside a popover, a drag down
// on a sheet, and a dismissal from elsewhere (the path the Escape key
// takes). Each time the screen is gone and the screen beneath takes taps
// again; the share sheet and the log-in say how they ended. The share
// sheet as it looks on either idiom, what it saves and copies, and the
// settings popover's end.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "LayoutModule/ActionButtons/VKMLayoutActionButton.h"
#include "LayoutModule/ActionButtons/VKMLayoutActionButtonHelper.h"
#include "LayoutModule/Share/VKMSharingHelper.h"
#include "LayoutModule/LayerList/VKMLayerListViewController.h"
#include "LayoutModule/Layout/VKMLayoutView.h"
#include "SharingModule/Model/QLLayoutEntity.h"
#include "SharingModule/Model/VKMLayoutEntityCache.h"
#include "UserProfileModule/LogIn/VKMLogInViewController.h"
#include "engine/model/CompositeGeometry.h"
#include "engine/model/Layout.h"
#include "engine/model/LayoutBounds.h"
#include "app/Session/VKMLayoutSession.h"
#include "app/Utilities/Colors/VKMAutoColorizeHelper.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Paths.h"
#include "platform/graphics/Image.h"
#include "platform/ui/controllers/BarItems.h"
#include "platform/ui/controllers/NavigationController.h"
#include "platform/ui/controllers/PresentationController.h"
#include "platform/ui/controllers/SystemSheets.h"
#include "platform/ui/views/Button.h"
#include "platform/ui/views/ImageView.h"
#include "platform/ui/views/Label.h"
#include "platform/ui/views/Pasteboard.h"
#include "tests/LayoutModule/KeptPictures.h"
#include "tests/LayoutModule/LayoutModuleTestSupport.h"
#include "tests/LayoutModule/SideScreenSupport.h"
#include "tests/support/EngineServices.h"
#include "tests/support/LogWatch.h"

using namespace platform::ui;
using platform::Point;
using platform::Rect;
using sidescreens::Heard;
using sidescreens::SideScreens;

namespace {

// A red board with a straight track across it.
const char* const kScenario = R"(version 13
layer "Plan"
rect size=1000,500 at=0,0 color=1,0,0 color2=1,0,0
straight length=800 at=100,250 angle=0
)";

enum class Way { button, tapOutside, dragDown, dismissal };

const char* nameOf(Way way) {
    switch (way) {
        case Way::button: return "its button";
        case Way::tapOutside: return "a tap outside";
        case Way::dragDown: return "a drag down";
        default: return "a dismissal";
    }
}

void ShareLayoutEntity() {
    std::optional<platform::Error> error;
    const auto entity = QLLayoutEntity::entityWithJSON(
        platform::Value(platform::Value::Dictionary{{"id", "P1"}, {"title", "Green_Valley"}}), error);
    ASSERT_NE(entity, nullptr);
    VKMLayoutEntityCache::sharedInstance().setObject(entity, "P1");
    VKMLayoutSession::sharedSession().setCloudLayoutId(std::string("P1"));
}

int EventCount(const std::string& name) {
    const auto& events = testsupport::Analytics().events;
    return static_cast<int>(
        std::count_if(events.begin(), events.end(), [&](const auto& event) { return event.first == name; }));
}

Rect FrameInWindow(const View& view) { return view.convertRectToView(view.bounds(), nullptr); }

void TapButton(SideScreens& screens, const char* name) {
    const auto button = VKMLayoutActionButtonHelper::button(name);
    ASSERT_NE(button, nullptr) << name;
    screens.window->layoutIfNeeded();
    screens.synth->tap(screens.centreOf(*button));
}

std::shared_ptr<ViewController> WaitForPresented(SideScreens& screens) {
    // The share sheet comes at once; the document is copied in turns of the
    // main loop, and its picture drawn on another thread.
    screens.advance(0.1);
    platform::RunLoop::main()->runUntil(
        [&] {
            const auto shown = screens.presented();
            const auto sheet = std::dynamic_pointer_cast<ActivityViewController>(shown);
            return shown && !(sheet && sheet->isWaitingForItems());
        },
        std::chrono::seconds(20));
    screens.advance(1);
    screens.window->layoutIfNeeded();
    return screens.presented();
}

// The view the presentation shows: the popover's box or the sheet.
Rect ShownFrame(ViewController& presented) {
    const auto view = presented.view();
    return FrameInWindow(*view);
}

// A point of the window well away from the box.
Point Outside(const SideScreens& screens, const Rect& box) {
    const Rect bounds = screens.window->bounds();
    const std::vector<Point> candidates{{15, bounds.height / 2},
                                        {bounds.width - 15, bounds.height / 2},
                                        {bounds.width / 2, bounds.height - 120},
                                        {bounds.width / 2, 80}};
    for (const Point p : candidates) {
        const Rect grown{box.x - 30, box.y - 30, box.width + 60, box.height + 60};
        if (!grown.contains(p)) return p;
    }
    return {0, 0};
}

void Leave(SideScreens& screens, ViewController& presented, Way way, const std::shared_ptr<View>& button) {
    const Rect box = ShownFrame(presented);
    switch (way) {
        case Way::button:
            ASSERT_NE(button, nullptr);
            screens.synth->tap(screens.centreOf(*button));
            break;
        case Way::tapOutside: screens.synth->tap(Outside(screens, box)); break;
        case Way::dragDown: {
            const double x = box.x + box.width / 2;
            screens.synth->pan({{x, box.y + 12}, {x, box.y + 12 + std::max(320.0, box.height / 2)}}, 0.6);
            break;
        }
        case Way::dismissal: presented.dismissViewController(true); break;
    }
    screens.advance(1);
}

// One presented screen: how it is opened, and the button that closes it
// (null when it has none on that idiom).
struct Scene {
    std::string name;
    std::function<void(SideScreens&)> open;
    std::function<std::shared_ptr<View>(ViewController&)> closeButton;
    // What a phone's screen announces once it is closed, however.
    const char* announcedOnAPhone = nullptr;
};

std::shared_ptr<View> DoneOf(ViewController& presented) {
    const auto navigation = dynamic_cast<NavigationController*>(&presented);
    const auto top = navigation ? navigation->topViewController() : nullptr;
    if (!top) return nullptr;
    const auto items = top->navigationItem().rightBarButtonItems();
    return items.empty() ? nullptr : items.front()->view();
}

std::vector<Scene> Scenes() {
    return {
        {"share sheet", [](SideScreens& s) { TapButton(s, VKMLayoutActionButtonHelper::kShare); },
         [](ViewController& p) { return p.view()->findViewWithAccessibilityIdentifier("cancel"); }},
        {"settings", [](SideScreens& s) { TapButton(s, VKMLayoutActionButtonHelper::kSettings); }, DoneOf,
         kQLLayoutPropertiesChangedNotification},
        {"layer list", [](SideScreens& s) { TapButton(s, VKMLayoutActionButtonHelper::kLayer); }, DoneOf,
         VKMLayerListViewController::kLayerChangedNotification},
        {"element info",
         [](SideScreens& s) {
             // On the track, most of the way along.
             CLayout& layout = *s.layoutScreen->trackLayout();
             CCompositeGeometry* track = layout.GetElements().back();
             const tDoubleRect box = UElementVectorOperations::GetBoundingBox({track});
             const double zoom = layout.GetZoom();
             const Point offset = s.layoutScreen->contentOffset();
             s.synth->longPress({offset.x + zoom * (box.minX + 0.8 * (box.maxX - box.minX)),
                                 offset.y + zoom * (box.minY + box.maxY) / 2},
                                0.8);
         },
         [](ViewController&) { return std::shared_ptr<View>(); }},
        {"layout details",
         [](SideScreens& s) {
             // A shared layout's title block, with its info button.
             ShareLayoutEntity();
             s.layoutScreen->refreshTitleAuthorLabel();
             s.window->layoutIfNeeded();
             const auto info = s.layoutScreen->outlets.infoButton.lock();
             ASSERT_NE(info, nullptr);
             s.synth->tap(s.centreOf(*info));
         },
         [](ViewController&) { return std::shared_ptr<View>(); }},
    };
}

}  // namespace

TEST(PresentedScenes, EveryScreenOverTheLayoutCanBeLeftByEachWayAUserHas) {
    for (const UserInterfaceIdiom idiom : {UserInterfaceIdiom::phone, UserInterfaceIdiom::tablet}) {
        const bool phone = idiom == UserInterfaceIdiom::phone;
        SideScreens screens;
        VKMLayoutSession::sharedSession().setCloudLayoutId(std::nullopt);
        screens.show(idiom, sidescreens::kLayoutTab);
        screens.open(kScenario, phone ? "leave-phone.wkst" : "leave-tablet.wkst");
        screens.advance(0.5);
        std::vector<std::string> left;
        for (const Scene& scene : Scenes()) {
            for (const Way way : {Way::button, Way::tapOutside, Way::dragDown, Way::dismissal}) {
                const std::string what = scene.name + (phone ? " on a phone by " : " on a tablet by ") + nameOf(way);
                scene.open(screens);
                const auto presented = WaitForPresented(screens);
                ASSERT_NE(presented, nullptr) << what;
                const auto presentation = presented->presentationController();
                ASSERT_NE(presentation, nullptr) << what;
                const ModalPresentationStyle style = presentation->styleInForce();
                EXPECT_NE(style, ModalPresentationStyle::fullScreen) << what << ": nothing traps the screen";
                const bool sheet = style == ModalPresentationStyle::pageSheet;
                const bool popover = style == ModalPresentationStyle::popover;
                const auto button = scene.closeButton(*presented);
                const bool applies = (way == Way::button && button) || (way == Way::tapOutside && popover) ||
                                     (way == Way::dragDown && sheet) || way == Way::dismissal;
                if (!applies) {
                    presented->dismissViewController(false);
                    screens.advance(0.5);
                    continue;
                }
                left.push_back(scene.name + " by " + nameOf(way));
                const testsupport::LogWatch log;
                const int shared = EventCount("LayoutImageShared");
                std::optional<Heard> announced;
                if (phone && scene.announcedOnAPhone) announced.emplace(scene.announcedOnAPhone);
                Leave(screens, *presented, way, button);
                if (announced) {
                    EXPECT_EQ(announced->count, 1) << what << ": the changes announced once";
                }
                EXPECT_EQ(screens.presented(), nullptr) << what;
                EXPECT_EQ(presented->presentingViewController(), nullptr) << what;
                if (scene.name == "share sheet") {
                    EXPECT_EQ(testsupport::CountWith(log.Lines(), "Image of sharing aborted (error = (null))"), 1)
                        << what;
                    EXPECT_EQ(EventCount("LayoutImageShared"), shared) << what;
                }
            }
        }
        const std::vector<std::string> phoneWays{
            "share sheet by its button",     "share sheet by a drag down",  "share sheet by a dismissal",
            "settings by its button",        "settings by a drag down",     "settings by a dismissal",
            "layer list by its button",      "layer list by a drag down",   "layer list by a dismissal",
            "element info by a tap outside", "element info by a dismissal", "layout details by a drag down",
            "layout details by a dismissal"};
        const std::vector<std::string> tabletWays{
            "share sheet by its button",       "share sheet by a tap outside",  "share sheet by a dismissal",
            "settings by a tap outside",       "settings by a dismissal",       "layer list by a tap outside",
            "layer list by a dismissal",       "element info by a tap outside", "element info by a dismissal",
            "layout details by a tap outside", "layout details by a dismissal"};
        EXPECT_EQ(left, phone ? phoneWays : tabletWays);
        // The screen beneath takes taps again.
        Scenes().back().open(screens);
        EXPECT_NE(WaitForPresented(screens), nullptr);
    }
}

TEST(PresentedScenes, TheLogInFormSheetIsDimmedAndEveryWayOutEndsTheLogIn) {
    for (const UserInterfaceIdiom idiom : {UserInterfaceIdiom::phone, UserInterfaceIdiom::tablet}) {
        SideScreens screens;
        screens.show(idiom, sidescreens::kLayoutTab);
        for (const Way way : {Way::button, Way::dragDown, Way::dismissal}) {
            const std::string what =
                std::string(idiom == UserInterfaceIdiom::phone ? "phone, " : "tablet, ") + nameOf(way);
            // As the like and the profile show it.
            auto logIn = std::make_shared<VKMLogInViewController>();
            std::vector<bool> ended;
            logIn->setCompletionAction([&ended](bool signedIn) { ended.push_back(signedIn); });
            logIn->setModalPresentationStyle(ModalPresentationStyle::formSheet);
            screens.tabs->presentViewController(logIn, true);
            screens.advance(1);
            screens.window->layoutIfNeeded();
            const auto presentation = logIn->presentationController();
            ASSERT_NE(presentation, nullptr) << what;
            EXPECT_TRUE(presentation->isSheet()) << what;
            ASSERT_NE(presentation->dimmingView(), nullptr) << what;
            EXPECT_EQ(presentation->dimmingView()->alpha(), 1) << what;
            Leave(screens, *logIn, way, logIn->cancelButton());
            EXPECT_EQ(screens.presented(), nullptr) << what;
            EXPECT_EQ(ended, std::vector<bool>{false}) << what << ": told once that nobody signed in";
        }
    }
}

namespace {

int Red(const platform::Image& shot, Point at) {
    return shot.pixel(static_cast<int>(at.x * 2), static_cast<int>(at.y * 2))->red;
}

// Pixels of the box (in points) near the colour, at every fourth pixel.
int CountNear(const platform::Image& shot, const Rect& box, int r, int g, int b) {
    int count = 0;
    for (int y = static_cast<int>(box.y * 2); y < static_cast<int>(box.maxY() * 2); y += 4) {
        for (int x = static_cast<int>(box.x * 2); x < static_cast<int>(box.maxX() * 2); x += 4) {
            const auto p = shot.pixel(x, y);
            if (p && std::abs(p->red - r) < 40 && std::abs(p->green - g) < 40 && std::abs(p->blue - b) < 40) ++count;
        }
    }
    return count;
}

}  // namespace

TEST(PresentedScenes, TheShareSheetShowsTheLocalLayoutsPictureAndSavesItUnderItsName) {
    namespace fs = std::filesystem;
    for (const UserInterfaceIdiom idiom : {UserInterfaceIdiom::phone, UserInterfaceIdiom::tablet}) {
        const bool phone = idiom == UserInterfaceIdiom::phone;
        SideScreens screens;
        VKMLayoutSession::sharedSession().setCloudLayoutId(std::nullopt);
        screens.show(idiom, sidescreens::kLayoutTab);
        screens.open(kScenario, phone ? "Green_Valley.wkst" : "Harbour_Line.wkst");
        const std::string title = phone ? "Green Valley" : "Harbour Line";

        // A local layout's picture names it and its author as its file does.
        const auto texts = VKMSharingHelper::currentOverlayTexts();
        EXPECT_EQ(texts.title, title);
        EXPECT_EQ(texts.author, "layoutgen");

        TapButton(screens, VKMLayoutActionButtonHelper::kShare);
        const auto sheet = std::dynamic_pointer_cast<ActivityViewController>(WaitForPresented(screens));
        ASSERT_NE(sheet, nullptr);
        EXPECT_EQ(sheet->activityItems().at(0).name, title);

        // What it looks like: a sheet over the dimmed layout on a phone, an
        // edged popover over the undimmed one on a tablet; the picture (the
        // red board) inside, the buttons' tint below it. The layout beneath
        // is drawn in tiles on worker threads.
        ASSERT_TRUE(screens.layoutScreen->outlets.layoutView.lock()->waitForTiles());
        const auto shot = screens.window->snapshot();
        ASSERT_NE(shot, nullptr);
        layouttest::ExpectLooksAsKept(*shot, phone ? "share-sheet-phone" : "share-sheet-tablet");
        const Rect box = ShownFrame(*sheet);
        const auto preview = sheet->view()->findViewWithAccessibilityIdentifier(activity::kCopyToPasteboard);
        ASSERT_NE(preview, nullptr);
        const Rect copy = FrameInWindow(*preview);
        const Rect picture{box.x, box.y + ActivityViewController::kBarHeight, box.width,
                           copy.y - box.y - ActivityViewController::kBarHeight};
        EXPECT_GT(CountNear(*shot, picture, 255, 0, 0), phone ? 400 : 150) << "the red board in the picture";
        EXPECT_GT(CountNear(*shot, copy, 0, 122, 255), 3) << "the Copy button's title";
        EXPECT_EQ(Red(*shot, {box.x + box.width / 2, copy.maxY() + 4}), 255) << "white below";
        if (phone) {
            EXPECT_EQ(box.y, PresentationController::kSheetTopGap);
            EXPECT_NEAR(Red(*shot, {30, 4}), 255 * (1 - PresentationController::kDimmingAlpha), 4) << "dimmed above";
        } else {
            const auto share = VKMLayoutActionButtonHelper::button(VKMLayoutActionButtonHelper::kShare);
            const Rect button = FrameInWindow(*share);
            EXPECT_NEAR(box.y, button.maxY() + PopoverPresentationController::kArrowHeight, 0.5) << "below the button";
            EXPECT_LT(Red(*shot, {box.x - 0.25, box.y + box.height / 2}), 240) << "an edge on the white layout";
            EXPECT_EQ(Red(*shot, {box.maxX() + 80, box.y + 20}), 255) << "not dimmed";
        }

        // Saved under the layout's name, or the next free one when a file
        // has it; the sheet says where.
        const fs::path documents = platform::Paths::documents();
        std::ofstream(documents / (title + ".png")) << "someone else's";
        ASSERT_TRUE(sheet->perform(activity::kSaveToFiles));
        // Written off the main thread: said once the main loop hears.
        EXPECT_TRUE(platform::RunLoop::main()->runUntil(
            [&] { return sheet->statusText() != ActivityViewController::kSavingStatus; }, std::chrono::seconds(10)));
        EXPECT_TRUE(fs::exists(documents / (title + " 2.png")));
        EXPECT_EQ(sheet->statusText(), "Saved to " + (documents / (title + " 2.png")).string());
        const auto saved = platform::Image::fromFile(documents / (title + " 2.png"));
        ASSERT_NE(saved, nullptr);
        EXPECT_EQ(saved->pixelWidth(), sheet->activityItems().at(0).image->pixelWidth());

        // Copied: the picture is on the pasteboard, the sheet says so a
        // moment, then goes and the share is counted.
        const int shared = EventCount("LayoutImageShared");
        const testsupport::LogWatch log;
        screens.synth->tap(screens.centreOf(*preview));
        screens.advance(0.5);
        EXPECT_EQ(Pasteboard::generalPasteboard().image(), sheet->activityItems().at(0).image);
        EXPECT_EQ(sheet->statusText(), "Copied");
        EXPECT_EQ(screens.presented(), sheet);
        screens.advance(ActivityViewController::kCopiedShowTime);
        EXPECT_EQ(screens.presented(), nullptr);
        EXPECT_EQ(EventCount("LayoutImageShared"), shared + 1);
        EXPECT_EQ(testsupport::CountWith(log.Lines(), "Image of layout shared (copyToPasteboard)"), 1);
    }
}

// The share sheet speaks the user's language: Abbrechen, Kopieren and Als
// PNG sichern, then Fertig and where the picture went once it is saved. A
// long layout name titles it clear of "Abbrechen": beside it with a gap
// while two lines hold it, else below it, and whole either way, on the
// phone and on the smallest window.
TEST(PresentedScenes, TheShareSheetIsInGerman) {
    SideScreens screens;
    platform::Bundle::main()->setPreferredLanguage(std::string("de"));
    screens.show(UserInterfaceIdiom::phone, sidescreens::kLayoutTab);
    const std::string name = "Bahnhof Neustadt mit Güterbahnhof und Ausweichgleisen";
    screens.open(kScenario, name + ".wkst");
    TapButton(screens, VKMLayoutActionButtonHelper::kShare);
    const auto sheet = std::dynamic_pointer_cast<ActivityViewController>(WaitForPresented(screens));
    ASSERT_NE(sheet, nullptr);
    const auto bar = std::dynamic_pointer_cast<Button>(sheet->view()->findViewWithAccessibilityIdentifier("cancel"));
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->currentTitle(), "Abbrechen");
    EXPECT_GE(bar->frame().width, bar->intrinsicContentSize().width) << "the title cut short";
    std::shared_ptr<Label> title;
    for (const auto& view : sheet->view()->subviews()) {
        const auto label = std::dynamic_pointer_cast<Label>(view);
        if (label && label->text() == name) title = label;
    }
    ASSERT_NE(title, nullptr);
    const auto preview = sheet->view()->findViewWithAccessibilityIdentifier("preview");
    ASSERT_NE(preview, nullptr);
    for (const platform::Size size : {platform::Size{390, 844}, platform::Size{320, 568}}) {
        SCOPED_TRACE(std::to_string(int(size.width)) + " wide");
        screens.window->transitionToSize(size, 0);
        screens.advance(0.5);
        screens.window->layoutIfNeeded();
        EXPECT_FALSE(title->truncatesText());
        EXPECT_GE(title->rendering().layout->lines().size(), 2u);
        const Rect button = FrameInWindow(*bar);
        const Rect titleFrame = FrameInWindow(*title);
        EXPECT_TRUE(titleFrame.minX() >= button.maxX() + 8 || titleFrame.minY() >= button.maxY());
        EXPECT_GE(FrameInWindow(*preview).minY(), titleFrame.maxY()) << "the picture begins below the title";
    }
    const auto button = [&](const char* activity) {
        const auto shown =
            std::dynamic_pointer_cast<Button>(sheet->view()->findViewWithAccessibilityIdentifier(activity));
        return shown ? shown->currentTitle().value_or("") : "(none)";
    };
    EXPECT_EQ(button(activity::kCopyToPasteboard), "Kopieren");
    EXPECT_EQ(button(activity::kSaveToFiles), "Als PNG sichern");
    ASSERT_TRUE(sheet->perform(activity::kSaveToFiles));
    EXPECT_EQ(sheet->statusText(), "Wird gesichert …");
    EXPECT_TRUE(platform::RunLoop::main()->runUntil([&] { return !sheet->isSaving(); }, std::chrono::seconds(10)));
    EXPECT_EQ(bar->currentTitle(), "Fertig");
    EXPECT_EQ(sheet->statusText(), "Gesichert unter " + (platform::Paths::documents() / (name + ".png")).string());
    ASSERT_TRUE(sheet->perform(activity::kCopyToPasteboard));
    EXPECT_EQ(sheet->statusText(), "Kopiert");
    platform::Bundle::main()->setPreferredLanguage(std::string("en"));
}

TEST(PresentedScenes, TheSettingsPopoverIsWhiteBelowItsLastRow) {
    SideScreens screens;
    screens.show(UserInterfaceIdiom::tablet, sidescreens::kLayoutTab);
    screens.open(kScenario, "settings.wkst");
    TapButton(screens, VKMLayoutActionButtonHelper::kSettings);
    const auto settings = WaitForPresented(screens);
    ASSERT_NE(settings, nullptr);
    const Rect box = ShownFrame(*settings);
    const auto shot = screens.window->snapshot();
    // The popover's dark grey (the header's) shows only in the header.
    EXPECT_EQ(Red(*shot, {box.x + box.width / 2, box.maxY() - 12}), 255);
    EXPECT_LT(Red(*shot, {box.x + 8, box.y + 8}), 100);
}
