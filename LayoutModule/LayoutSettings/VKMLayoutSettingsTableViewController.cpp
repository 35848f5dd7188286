#include "LayoutModule/LayoutSettings/VKMLayoutSettingsTableViewController.h"

#include "LayoutModule/LayoutSettings/VKMLayoutSettingsHelper.h"
#include "app/Utilities/Colors/VKMAutoColorizeHelper.h"
#include "engine/drawing/TransientEdits.h"
#include "engine/model/CurrentCloudLayout.h"
#include "engine/model/Layout.h"
#include "engine/services/ZDUtils.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/controllers/BarItems.h"
#include "platform/ui/views/Font.h"
#include "platform/ui/views/Label.h"
#include "platform/ui/views/Switch.h"
#include "platform/ui/views/SystemColors.h"
#include "platform/ui/views/TableView.h"
#include "platform/ui/views/TableViewCell.h"

using namespace platform::ui;
using Helper = VKMLayoutSettingsHelper;

VKMLayoutSettingsTableViewController::tSetting VKMLayoutSettingsTableViewController::settingWithValue(
    bool value, const std::string& labelKey, std::function<void()> action) {
    return {ZDUtils::localizedString(labelKey), value, std::move(action)};
}

void VKMLayoutSettingsTableViewController::configureSettings() {
    mSettings.clear();
    const CLayout& layout = *CCurrentCloudLayout::Instance().Layout();
    const CLayoutParameters& parameters = layout.GetParameters();
    const tTransientEditActions& actions = CCurrentCloudLayout::Instance().GetTransientEditActions();
    const auto labels = static_cast<std::uint32_t>(parameters.mDisplayFlags);
    const auto style = static_cast<std::uint32_t>(parameters.mTrackStyle);
    auto hasStyle = [style](std::uint32_t bit) { return (style & bit) != 0; };
    auto styleToggle = [](std::uint32_t bit) { return [bit] { Helper::toggleTrackStyleFlag(bit); }; };
    const bool tunnelsShown = parameters.mTunnelDisplayMode == Helper::kTunnelsHiddenMode
                                  ? UTransientEditActions::Contains(actions, CShowTunnelsEditAction::kName)
                                  : !UTransientEditActions::Contains(actions, CHideTunnelsEditAction::kName);

    mSettings.push_back(
        settingWithValue((labels & Helper::kElementNamesFlag) != 0, "ShowLabels", Helper::toggleElementLabels));
    mSettings.push_back(settingWithValue(UTransientEditActions::Contains(actions, CTracksOnlyEditAction::kName),
                                         "ShowTracksOnly", Helper::toggleTracksOnly));
    mSettings.push_back(
        settingWithValue((labels & Helper::kHeightLabelsFlag) != 0, "ShowHeight", Helper::toggleHeightLabels));
    mSettings.push_back(settingWithValue(hasStyle(Helper::kRailsStyle), "DrawRails", styleToggle(Helper::kRailsStyle)));
    if (!hasStyle(Helper::kSingleLineStyle)) {
        mSettings.push_back(
            settingWithValue(UTransientEditActions::Contains(actions, CSingleLineStyleEditAction::kName),
                             "ShowSingleLine", Helper::toggleSingleLineTrackStyle));
    }
    mSettings.push_back(
        settingWithValue(hasStyle(Helper::kTrackMarksStyle), "ShowTrackMarks", styleToggle(Helper::kTrackMarksStyle)));
    mSettings.push_back(settingWithValue(tunnelsShown, "ShowTunnelTracks", Helper::toggleTunnelTracks));
    mSettings.push_back(settingWithValue(hasStyle(Helper::kCurveCentersStyle), "MarkCurveCenters",
                                         styleToggle(Helper::kCurveCentersStyle)));
    mSettings.push_back(settingWithValue(parameters.mShowGrid, "ShowGrid", Helper::toggleGrid));
    mSettings.push_back(
        settingWithValue(platform::UserDefaults::standard().boolValue(Helper::kDarkBackgroundKey).value_or(false),
                         "DarkMode", Helper::toggleDarkBackground));
}

void VKMLayoutSettingsTableViewController::configureCell(TableViewCell& cell, const tSetting& setting) {
    if (auto label = std::dynamic_pointer_cast<Label>(cell.viewWithTag(kLabelTag))) label->setText(setting.label);
    auto toggle = std::dynamic_pointer_cast<Switch>(cell.viewWithTag(kSwitchTag));
    if (!toggle) return;
    toggle->setOn(setting.value);
    const auto self = std::static_pointer_cast<VKMLayoutSettingsTableViewController>(sharedController());
    toggle->removeTarget(this, ControlEvents::touchUpInside);
    toggle->addTarget(self, &VKMLayoutSettingsTableViewController::userDidToggleSwitch, ControlEvents::touchUpInside);
    mActionForSwitch[toggle.get()] = setting.action;
}

void VKMLayoutSettingsTableViewController::userDidToggleSwitch(Switch& sender) {
    const auto found = mActionForSwitch.find(&sender);
    if (found != mActionForSwitch.end() && found->second) found->second();
}

void VKMLayoutSettingsTableViewController::dismissButtonTapped() { dismissViewController(true); }

void VKMLayoutSettingsTableViewController::viewDidDisappear(bool animated) {
    TableViewController::viewDidDisappear(animated);
    // Only the phone's settings (in a navigation controller) wait to be
    // closed; a tablet's announce every toggle.
    if (presentingViewController() || !navigationController()) return;
    const void* poster = this;
    platform::DispatchQueue::main().async([poster] {
        platform::NotificationCenter::defaultCenter().postNotificationName(kQLLayoutPropertiesChangedNotification,
                                                                           poster);
    });
}

void VKMLayoutSettingsTableViewController::viewDidLoad() {
    TableViewController::viewDidLoad();
    mActionForSwitch.clear();
    configureSettings();
    tableView()->setAllowsSelection(false);
    tableView()->setSectionHeaderTopPadding(0);
    auto done = std::make_shared<BarButtonItem>(BarButtonSystemItem::done);
    const auto self = std::static_pointer_cast<VKMLayoutSettingsTableViewController>(sharedController());
    done->actions().add([weak = std::weak_ptr(self)](BarButtonItem&) {
        if (auto controller = weak.lock()) controller->dismissButtonTapped();
    });
    navigationItem().setRightBarButtonItem(done);
}

int VKMLayoutSettingsTableViewController::numberOfRowsInSection(TableView& tableView, int section) {
    (void)tableView, (void)section;
    return static_cast<int>(mSettings.size());
}

std::shared_ptr<TableViewCell> VKMLayoutSettingsTableViewController::cellForRowAtIndexPath(TableView& tableView,
                                                                                           IndexPath indexPath) {
    auto cell = tableView.dequeueReusableCell(kCellIdentifier);
    if (cell && indexPath.row >= 0 && indexPath.row < static_cast<int>(mSettings.size())) {
        configureCell(*cell, mSettings[static_cast<std::size_t>(indexPath.row)]);
    }
    return cell;
}

std::string VKMLayoutSettingsTableViewController::titleForHeaderInSection(TableView& tableView, int section) {
    (void)tableView;
    return section == 0 ? ZDUtils::localizedString("DisplaySettings") : "???";
}

std::shared_ptr<View> VKMLayoutSettingsTableViewController::viewForHeaderInSection(TableView& tableView, int section) {
    const double width = tableView.bounds().width;
    auto header = std::make_shared<View>(platform::Rect{0, 0, width, kHeaderHeight});
    header->setBackgroundColor(SystemColors::kDarkGray);
    auto label = std::make_shared<Label>(platform::Rect{30, 3, width - 50, 35});
    label->setFont(Font::boldSystemFont(17));
    label->setTextColor(platform::Color::white(0.95));
    label->setTextAlignment(platform::TextAlignment::center);
    label->setText(titleForHeaderInSection(tableView, section));
    header->addSubview(label);
    return header;
}

double VKMLayoutSettingsTableViewController::heightForHeaderInSection(TableView& tableView, int section) {
    (void)tableView, (void)section;
    return kHeaderHeight;
}

std::optional<IndexPath> VKMLayoutSettingsTableViewController::willSelectRowAtIndexPath(TableView& tableView,
                                                                                        IndexPath indexPath) {
    (void)tableView, (void)indexPath;
    return std::nullopt;
}
