// The display settings: built from their scene on the layout screen's
// settings button, posted once at Done on a phone and at every toggle on a
// tablet; each toggle's effect on the document, the defaults and the
// display edits; edit actions freed once they are off the list; a scene
// that cannot be made shows nothing.

#include <gtest/gtest.h>

#include "LayoutModule/ActionButtons/VKMLayoutActionButton.h"
#include "LayoutModule/ActionButtons/VKMLayoutActionButtonHelper.h"
#include "LayoutModule/LayerList/VKMLayerListViewController.h"
#include "LayoutModule/LayoutSettings/VKMLayoutSettingsHelper.h"
#include "LayoutModule/LayoutSettings/VKMLayoutSettingsTableViewController.h"
#include "LayoutModule/Scenes/VKMLayoutScenes.h"
#include "app/Helper/VKMLayoutDocumentHelper.h"
#include "app/Utilities/Colors/VKMAutoColorizeHelper.h"
#include "engine/drawing/TransientEdits.h"
#include "engine/model/CurrentCloudLayout.h"
#include "engine/model/Layout.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/views/Button.h"
#include "platform/ui/controllers/BarItems.h"
#include "platform/ui/views/Label.h"
#include "platform/ui/controllers/NavigationController.h"
#include "platform/ui/controllers/PresentationController.h"
#include "platform/ui/controllers/Storyboard.h"
#include "platform/ui/views/Switch.h"
#include "platform/ui/controllers/SystemSheets.h"
#include "platform/ui/views/TableView.h"
#include "platform/ui/views/TableViewCell.h"
#include "tests/LayoutModule/LayoutModuleTestSupport.h"
#include "tests/LayoutModule/TabFixture.h"

using namespace platform::ui;
using Helper = VKMLayoutSettingsHelper;
using sidetest::Heard;
using sidetest::TabFixture;

namespace {

const char* const kTunnelScenario = R"(version 13
param tunnel-mode 2
param track-style 0
layer "Plan"
rect size=1000,500 at=0,0 color=1,0,0 color2=1,0,0
straight length=800 at=100,250 angle=0 tunnel=20,80
)";

CLayoutParameters& Parameters() { return CCurrentCloudLayout::Instance().Layout()->GetParameters(); }

std::shared_ptr<VKMLayoutSettingsTableViewController> ShownSettings() {
    const auto direct = presentedControllers<VKMLayoutSettingsTableViewController>();
    if (!direct.empty()) return direct.front();
    for (const auto& navigation : presentedControllers<NavigationController>()) {
        if (auto top = std::dynamic_pointer_cast<VKMLayoutSettingsTableViewController>(navigation->topViewController()))
            return top;
    }
    return nullptr;
}

std::shared_ptr<Switch> SwitchOfRow(VKMLayoutSettingsTableViewController& settings, int row) {
    const auto cell = settings.tableView()->cellForRowAtIndexPath(IndexPath{0, row});
    return cell ? std::dynamic_pointer_cast<Switch>(cell->viewWithTag(VKMLayoutSettingsTableViewController::kSwitchTag))
                : nullptr;
}

std::string LabelOfRow(VKMLayoutSettingsTableViewController& settings, int row) {
    const auto cell = settings.tableView()->cellForRowAtIndexPath(IndexPath{0, row});
    const auto label =
        cell ? std::dynamic_pointer_cast<Label>(cell->viewWithTag(VKMLayoutSettingsTableViewController::kLabelTag))
             : nullptr;
    return label ? label->text() : "";
}

void OpenSettings(TabFixture& screen) {
    const auto button = VKMLayoutActionButtonHelper::button(VKMLayoutActionButtonHelper::kSettings);
    ASSERT_NE(button, nullptr);
    screen.tap(*button);
    screen.advance(0.5);
    screen.window->layoutIfNeeded();
}

}  // namespace

TEST(LayoutSettings, APhonePostsOnceAtDoneAndATabletAtEveryToggle) {
    for (const UserInterfaceIdiom idiom : {UserInterfaceIdiom::phone, UserInterfaceIdiom::tablet}) {
        const bool phone = idiom == UserInterfaceIdiom::phone;
        TabFixture screen;
        screen.show(idiom);
        screen.open(kTunnelScenario, phone ? "phone.wkst" : "tablet.wkst");
        OpenSettings(screen);
        const auto settings = ShownSettings();
        ASSERT_NE(settings, nullptr) << phone;
        EXPECT_EQ(presentedControllers<NavigationController>().empty(), !phone);
        ASSERT_EQ(settings->tableView()->numberOfRowsInSection(0), 10);
        EXPECT_EQ(LabelOfRow(*settings, 8), "Grid");

        Heard changed(kQLLayoutPropertiesChangedNotification);
        const bool gridBefore = Parameters().mShowGrid;
        const auto grid = SwitchOfRow(*settings, 8);
        ASSERT_NE(grid, nullptr);
        EXPECT_EQ(grid->isOn(), gridBefore);
        screen.tap(*grid);
        screen.advance(0.3);
        EXPECT_NE(Parameters().mShowGrid, gridBefore);
        const auto rails = SwitchOfRow(*settings, 3);
        screen.tap(*rails);
        screen.advance(0.3);
        EXPECT_EQ(Parameters().mTrackStyle & 64, 64);
        EXPECT_TRUE(rails->isOn());

        if (phone) {
            EXPECT_EQ(changed.count, 0);
            const auto done = settings->navigationItem().rightBarButtonItem();
            ASSERT_NE(done, nullptr);
            ASSERT_NE(done->view(), nullptr);
            screen.tap(*done->view());
            screen.advance(1);
            EXPECT_EQ(changed.count, 1);
            EXPECT_EQ(changed.object, settings.get());
            EXPECT_EQ(ShownSettings(), nullptr);
        } else {
            EXPECT_EQ(changed.count, 2);
            const auto popover = settings->popoverPresentationController();
            ASSERT_NE(popover, nullptr);
            EXPECT_EQ(settings->preferredContentSize().width, Helper::kPreferredWidth);
            EXPECT_EQ(popover->sourceView(),
                      VKMLayoutActionButtonHelper::button(VKMLayoutActionButtonHelper::kSettings)->superview());
        }
    }
}

// The Done buttons of the phone's sheets speak the user's language.
TEST(LayoutSettings, ThePhonesSheetsShowDoneInGerman) {
    TabFixture screen;
    platform::Bundle::main()->setPreferredLanguage(std::string("de"));
    screen.show(UserInterfaceIdiom::phone);
    screen.open(kTunnelScenario, "fertig.wkst");
    const auto doneTitle = [](ViewController& controller) -> std::string {
        const auto item = controller.navigationItem().rightBarButtonItem();
        const auto button = item ? std::dynamic_pointer_cast<Button>(item->view()) : nullptr;
        return button ? button->currentTitle().value_or("<untitled>") : "<no button>";
    };

    OpenSettings(screen);
    const auto settings = ShownSettings();
    ASSERT_NE(settings, nullptr);
    EXPECT_EQ(LabelOfRow(*settings, 8), "Raster");
    EXPECT_EQ(doneTitle(*settings), "Fertig");
    screen.tap(*settings->navigationItem().rightBarButtonItem()->view());
    screen.advance(1);
    ASSERT_EQ(ShownSettings(), nullptr);

    const auto layers = VKMLayoutActionButtonHelper::button(VKMLayoutActionButtonHelper::kLayer);
    ASSERT_NE(layers, nullptr);
    screen.tap(*layers);
    screen.advance(1);
    const auto navigations = presentedControllers<NavigationController>();
    ASSERT_EQ(navigations.size(), 1u);
    const auto list = std::dynamic_pointer_cast<VKMLayerListViewController>(navigations.front()->topViewController());
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(doneTitle(*list), "Fertig");
    platform::Bundle::main()->setPreferredLanguage(std::string("en"));
}

TEST(LayoutSettings, TogglesChangeTheirFieldsAndTheRowsReadThem) {
    TabFixture screen;
    screen.show(UserInterfaceIdiom::tablet);
    screen.open(kTunnelScenario, "toggles.wkst");
    CLayoutParameters& p = Parameters();

    // Names off and on again leave the companion bit set.
    p.mDisplayFlags = 0;
    Helper::toggleElementLabels();
    EXPECT_EQ(p.mDisplayFlags, 9);
    Helper::toggleElementLabels();
    EXPECT_EQ(p.mDisplayFlags, 8);
    Helper::toggleHeightLabels();
    EXPECT_EQ(p.mDisplayFlags, 24);

    // Some bits of a mask set: all are set; all set: all cleared.
    p.mTrackStyle = 8;
    Helper::toggleTrackStyleFlag(8 | 64);
    EXPECT_EQ(p.mTrackStyle, 72);
    Helper::toggleTrackStyleFlag(8 | 64);
    EXPECT_EQ(p.mTrackStyle, 0);

    // Tunnels hidden in the document: the switch opens off, on adds a
    // show-tunnels action, off takes it away.
    auto& actions = CCurrentCloudLayout::Instance().GetTransientEditActions();
    ASSERT_EQ(p.mTunnelDisplayMode, 2);
    auto settings =
        VKMLayoutScenes::instantiate<VKMLayoutSettingsTableViewController>(VKMLayoutScenes::kLayoutSettingsId);
    settings->loadViewIfNeeded();
    EXPECT_FALSE(settings->settings()[6].value);
    Helper::toggleTunnelTracks();
    EXPECT_TRUE(UTransientEditActions::Contains(actions, CShowTunnelsEditAction::kName));
    Helper::toggleTunnelTracks();
    EXPECT_TRUE(actions.empty());
    p.mTunnelDisplayMode = 0;
    Helper::toggleTunnelTracks();
    EXPECT_TRUE(UTransientEditActions::Contains(actions, CHideTunnelsEditAction::kName));

    // The dark background lives in the defaults.
    const bool dark = platform::UserDefaults::standard().boolValue(Helper::kDarkBackgroundKey).value_or(false);
    Helper::toggleDarkBackground();
    EXPECT_EQ(platform::UserDefaults::standard().boolValue(Helper::kDarkBackgroundKey), !dark);

    // A document drawn single-line already has no single-line row.
    p.mTrackStyle = 4;
    settings = VKMLayoutScenes::instantiate<VKMLayoutSettingsTableViewController>(VKMLayoutScenes::kLayoutSettingsId);
    settings->loadViewIfNeeded();
    ASSERT_EQ(settings->settings().size(), 9u);
    EXPECT_EQ(settings->settings()[4].label, "Track marks");
    EXPECT_FALSE(settings->settings()[5].value) << "a hide-tunnels action is listed";
}

TEST(LayoutSettings, EditActionsTakenOffTheListAreDeleted) {
    TabFixture screen;
    screen.show(UserInterfaceIdiom::tablet);
    screen.open(kTunnelScenario, "actions.wkst");
    const std::size_t before = Helper::liveEditActionCount();
    for (int i = 0; i < 20; ++i) Helper::toggleTracksOnly();
    EXPECT_EQ(Helper::liveEditActionCount(), before);
    Helper::toggleTracksOnly();
    Helper::toggleSingleLineTrackStyle();
    EXPECT_EQ(Helper::liveEditActionCount(), before + 2);
    // A load or close empties the list; the next toggle frees what it held.
    VKMLayoutDocumentHelper::closeCurrentLayout();
    EXPECT_TRUE(CCurrentCloudLayout::Instance().GetTransientEditActions().empty());
    Helper::toggleGrid();
    Helper::toggleTracksOnly();
    EXPECT_EQ(Helper::liveEditActionCount(), before + 1);
}

TEST(LayoutSettings, ASceneThatCannotBeMadeShowsNothing) {
    TabFixture screen;
    screen.show(UserInterfaceIdiom::phone);
    screen.open(kTunnelScenario, "noscene.wkst");
    Storyboard::removeScene(VKMLayoutScenes::kStoryboard, VKMLayoutScenes::kLayoutSettingsId);
    OpenSettings(screen);
    EXPECT_TRUE(ViewController::allPresentedViewControllers().empty());
    EXPECT_GE(layouttest::CountWarnings("made != nullptr"), 1);
}

TEST(LayoutSettings, SnapshotsShowTheHeaderBandAndTheSwitchesThatAreOn) {
    for (const UserInterfaceIdiom idiom : {UserInterfaceIdiom::phone, UserInterfaceIdiom::tablet}) {
        TabFixture screen;
        screen.show(idiom);
        screen.open(kTunnelScenario, "look.wkst");
        Parameters().mShowGrid = true;
        OpenSettings(screen);
        screen.advance(1);
        const auto settings = ShownSettings();
        ASSERT_NE(settings, nullptr);
        const auto shot = screen.window->snapshot();
        ASSERT_NE(shot, nullptr);
        const double scale = 2;
        const auto header = settings->tableView()->headerViewForSection(0);
        ASSERT_NE(header, nullptr);
        const platform::Rect band = header->convertRectToView(header->bounds(), nullptr);
        EXPECT_TRUE(layouttest::PixelNear(*shot, static_cast<int>((band.x + 8) * scale),
                                          static_cast<int>((band.y + 8) * scale), 85, 85, 85, 255, 24));
        for (const int row : {7, 8}) {
            const auto toggle = SwitchOfRow(*settings, row);
            ASSERT_NE(toggle, nullptr);
            const platform::Rect frame = toggle->convertRectToView(toggle->bounds(), nullptr);
            const int x = static_cast<int>((frame.x + 10) * scale);
            const int y = static_cast<int>((frame.y + Switch::kSize.height / 2) * scale);
            if (row == 8) {
                EXPECT_TRUE(layouttest::PixelNear(*shot, x, y, 52, 199, 89, 255, 30)) << "grid on: green track";
            } else {
                EXPECT_FALSE(layouttest::PixelNear(*shot, x, y, 52, 199, 89, 255, 30)) << "curve centres off";
            }
        }
    }
}
