#pragma once
// The display settings: a table of labelled switches. The scene gives the
// prototype cell below.

#include "platform/ui/TableViewController.h"

class VKMLayoutSettingsTableViewController : public platform::ui::TableViewController {
public:
    static constexpr const char* kSceneIdentifier = "LayoutSettingsId";
    static constexpr const char* kCellIdentifier = "LayoutSettingsCellId";
    static constexpr long kLabelTag = 1;
    static constexpr long kSwitchTag = 2;

    std::string className() const override { return "VKMLayoutSettingsTableViewController"; }
};
