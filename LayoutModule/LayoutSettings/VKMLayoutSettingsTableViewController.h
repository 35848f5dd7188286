#pragma once
// The display settings: a table of labelled switches, one per setting, with
// the values they had when the screen loaded. A Done button dismisses it
// and then announces the changes. The scene gives the prototype cell below.

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/ui/controllers/TableViewController.h"

namespace platform::ui {
class Switch;
}

class VKMLayoutSettingsTableViewController : public platform::ui::TableViewController {
public:
    static constexpr const char* kSceneIdentifier = "LayoutSettingsId";
    static constexpr const char* kCellIdentifier = "LayoutSettingsCellId";
    static constexpr long kLabelTag = 1;
    static constexpr long kSwitchTag = 2;
    static constexpr double kHeaderHeight = 40;

    // One row: its translated text, the switch's value when the screen
    // opened, and what a toggle does.
    struct tSetting {
        std::string label;
        bool value = false;
        std::function<void()> action;
    };

    static tSetting settingWithValue(bool value, const std::string& labelKey, std::function<void()> action);

    const std::vector<tSetting>& settings() const { return mSettings; }
    // Rebuilds the rows from the open document and the defaults.
    void configureSettings();
    void configureCell(platform::ui::TableViewCell& cell, const tSetting& setting);
    void userDidToggleSwitch(platform::ui::Switch& sender);
    void dismissButtonTapped();

    void viewDidLoad() override;
    // Closed on a phone, by Done or otherwise (a drag down, a key): the
    // changes are announced, once.
    void viewDidDisappear(bool animated) override;
    int numberOfRowsInSection(platform::ui::TableView& tableView, int section) override;
    std::shared_ptr<platform::ui::TableViewCell> cellForRowAtIndexPath(platform::ui::TableView& tableView,
                                                                       platform::ui::IndexPath indexPath) override;
    std::string titleForHeaderInSection(platform::ui::TableView& tableView, int section) override;
    std::shared_ptr<platform::ui::View> viewForHeaderInSection(platform::ui::TableView& tableView,
                                                               int section) override;
    double heightForHeaderInSection(platform::ui::TableView& tableView, int section) override;
    std::optional<platform::ui::IndexPath> willSelectRowAtIndexPath(platform::ui::TableView& tableView,
                                                                    platform::ui::IndexPath indexPath) override;
    std::string className() const override { return "VKMLayoutSettingsTableViewController"; }

private:
    std::vector<tSetting> mSettings;
    // A cell's switch to the action of the row it shows now; cells are
    // reused, so the map follows the latest configuration.
    std::map<const platform::ui::Switch*, std::function<void()>> mActionForSwitch;
};
