// The storyboard's layout scenes: each identifier gives its class with the
// outlets, prototype cells and tags the screens' code relies on; a scene
// that is missing or of another class gives nothing, and its presenter
// shows nothing.

#include <gtest/gtest.h>

#include "LayoutModule/ActionButtons/VKMLayoutActionButton.h"
#include "LayoutModule/ActionButtons/VKMLayoutActionButtonHelper.h"
#include "LayoutModule/ElementInfo/VKMElementInfoViewController.h"
#include "LayoutModule/LayerList/VKMLayerListViewController.h"
#include "LayoutModule/Layout/VKMLayoutViewController.h"
#include "LayoutModule/LayoutDetails/VKMLayoutDescriptionViewController.h"
#include "LayoutModule/LayoutDetails/VKMLayoutDetailsViewController.h"
#include "LayoutModule/LayoutDetails/VKMLayoutSummaryViewController.h"
#include "LayoutModule/LayoutDetails/VKMSpecificLanguageDescriptionViewController.h"
#include "LayoutModule/LayoutSettings/VKMLayoutSettingsTableViewController.h"
#include "LayoutModule/PartList/VKMPartListViewController.h"
#include "LayoutModule/Scenes/VKMLayoutScenes.h"
#include "platform/ui/views/ImageView.h"
#include "platform/ui/controllers/NavigationController.h"
#include "platform/ui/views/Label.h"
#include "platform/ui/input/PanGestureRecognizer.h"
#include "platform/ui/input/PinchGestureRecognizer.h"
#include "platform/ui/views/StackView.h"
#include "platform/ui/views/Switch.h"
#include "platform/ui/views/TableView.h"
#include "platform/ui/controllers/TabBarController.h"
#include "platform/ui/views/TableViewCell.h"
#include "platform/ui/input/TapGestureRecognizer.h"
#include "tests/LayoutModule/LayoutModuleTestSupport.h"
#include "tests/LayoutModule/LayoutScreenSupport.h"
#include "tests/support/LogWatch.h"

using namespace platform::ui;

namespace {

// The tags a prototype cell of the table holds.
void ExpectCellTags(TableView& table, const std::string& identifier, const std::vector<long>& tags) {
    const auto cell = table.dequeueReusableCell(identifier);
    ASSERT_NE(cell, nullptr) << identifier;
    for (const long tag : tags) EXPECT_NE(cell->viewWithTag(tag), nullptr) << identifier << " tag " << tag;
}

}  // namespace

TEST(Scenes, EveryLayoutSceneOffersItsClassOutletsCellsAndTags) {
    layouttest::ScreenFixture screen;
    using VKMLayoutScenes::instantiate;

    auto layout = instantiate<VKMLayoutViewController>(VKMLayoutScenes::kLayoutViewController);
    ASSERT_NE(layout, nullptr);
    layout->loadViewIfNeeded();
    const auto& o = layout->outlets;
    EXPECT_TRUE(o.layoutTitleLabel.lock() && o.authorButton.lock() && o.likeButton.lock() && o.infoButton.lock());
    EXPECT_TRUE(o.layoutInfoStackView.lock() && o.emptyStateStackView.lock() && o.actionsStackView.lock());
    ASSERT_NE(o.layoutView.lock(), nullptr);
    EXPECT_EQ(o.layoutView.lock()->className(), "VKMLayoutView");
    EXPECT_NE(std::dynamic_pointer_cast<ImageView>(o.emptyStateStackView.lock()->viewWithTag(42)), nullptr);
    ASSERT_TRUE(o.pinchRecognizer.lock() && o.panRecognizer.lock() && o.tapRecognizer.lock());
    EXPECT_EQ(o.tapRecognizer.lock()->numberOfTapsRequired(), 2);

    auto parts = instantiate<VKMPartListViewController>(VKMLayoutScenes::kPartListViewController);
    ASSERT_NE(parts, nullptr);
    ASSERT_NE(parts->outlets.partsTableView.lock(), nullptr);
    EXPECT_NE(parts->outlets.stackView.lock(), nullptr);
    EXPECT_NE(parts->outlets.pieChart.lock(), nullptr);
    EXPECT_NE(parts->outlets.pieChartWidthConstraint.lock(), nullptr);
    EXPECT_NE(parts->outlets.tracksOnlySwitch.lock(), nullptr);
    ExpectCellTags(*parts->outlets.partsTableView.lock(), "PartsPrototypeCell", {1, 2, 3, 5});

    auto settings = instantiate<VKMLayoutSettingsTableViewController>(VKMLayoutScenes::kLayoutSettingsId);
    ASSERT_NE(settings, nullptr);
    ExpectCellTags(*settings->tableView(), "LayoutSettingsCellId", {1, 2});
    EXPECT_NE(std::dynamic_pointer_cast<Switch>(
                  settings->tableView()->dequeueReusableCell("LayoutSettingsCellId")->viewWithTag(2)),
              nullptr);

    auto details = instantiate<VKMLayoutDetailsViewController>(VKMLayoutScenes::kLayoutDetailsId);
    ASSERT_NE(details, nullptr);
    EXPECT_TRUE(details->outlets.containerView.lock() && details->outlets.pageControl.lock());
    EXPECT_NE(instantiate<VKMLayoutSummaryViewController>(VKMLayoutScenes::kLayoutSummaryId), nullptr);
    EXPECT_NE(instantiate<VKMLayoutDescriptionViewController>(VKMLayoutScenes::kLayoutDescriptionId), nullptr);
    auto page =
        instantiate<VKMSpecificLanguageDescriptionViewController>(VKMLayoutScenes::kSpecificLanguageDescriptionId);
    ASSERT_NE(page, nullptr);
    EXPECT_TRUE(page->outlets.titleLabel.lock() && page->outlets.descriptionTextView.lock() &&
                page->outlets.pageControl.lock());

    auto layers = instantiate<VKMLayerListViewController>(VKMLayoutScenes::kLayerListId);
    ASSERT_NE(layers, nullptr);
    ExpectCellTags(*layers->tableView(), "LayerListRowId", {1, 2, 3, 4});

    auto info = instantiate<VKMElementInfoViewController>(VKMLayoutScenes::kLayoutItemDetailsId);
    ASSERT_NE(info, nullptr);
    const auto& i = info->outlets;
    EXPECT_TRUE(i.titleLabel.lock() && i.descriptionLabel.lock() && i.libraryLabel.lock() && i.modelScaleLabel.lock() &&
                i.stackVCenterConstraint.lock());

    // Asked for as another class, or not registered: nothing (logged).
    testsupport::LogWatch log;
    EXPECT_EQ(instantiate<VKMLayerListViewController>(VKMLayoutScenes::kLayoutSettingsId), nullptr);
    EXPECT_EQ(instantiate<VKMLayoutViewController>("NoSuchScene"), nullptr);
    EXPECT_EQ(log.Count("Condition not satisfied"), 2);
}

TEST(Scenes, ASideScreenThatCannotBeMadeShowsNothing) {
    layouttest::ScreenFixture screen;
    screen.show(UserInterfaceIdiom::phone);
    screen.open("version 13\nlayer \"Plan\"\nstraight length=200\n", "side.wkst");
    const auto settings = VKMLayoutActionButtonHelper::button(VKMLayoutActionButtonHelper::kSettings);
    ASSERT_NE(settings, nullptr);
    // The settings present on the selected tab of a tab bar at the root; a
    // phone wraps them in a navigation controller.
    auto tabs = std::make_shared<TabBarController>();
    screen.window->setRootViewController(nullptr);
    tabs->setViewControllers({screen.controller});
    screen.window->setRootViewController(tabs);
    settings->buttonTapped();
    screen.advance(1);
    const auto navigation = std::dynamic_pointer_cast<NavigationController>(tabs->presentedViewController());
    ASSERT_NE(navigation, nullptr);
    EXPECT_NE(std::dynamic_pointer_cast<VKMLayoutSettingsTableViewController>(navigation->topViewController()),
              nullptr);
    tabs->dismissViewController(false);

    Storyboard::removeScene(VKMLayoutScenes::kStoryboard, VKMLayoutScenes::kLayoutSettingsId);
    settings->buttonTapped();
    screen.advance(1);
    EXPECT_EQ(tabs->presentedViewController(), nullptr);
    VKMLayoutScenes::registerScenes();
}
