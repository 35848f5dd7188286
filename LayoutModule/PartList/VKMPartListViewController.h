#pragma once
// The part list tab: counted track pieces in a table, a chart beside them
// and a switch for tracks only. The scene gives the views below.

#include <memory>

#include "platform/ui/ViewController.h"

namespace platform::ui {
class StackView;
class Switch;
class TableView;
}  // namespace platform::ui

class VKMPartListViewController : public platform::ui::ViewController {
public:
    static constexpr const char* kSceneIdentifier = "VKMPartListViewController";
    static constexpr const char* kPartsPrototypeCell = "PartsPrototypeCell";
    // Tags of the prototype cell's views.
    static constexpr long kPictureTag = 1;
    static constexpr long kFirstLabelTag = 2;
    static constexpr long kSecondLabelTag = 3;
    static constexpr long kThirdLabelTag = 5;

    struct Outlets {
        std::weak_ptr<platform::ui::TableView> partsTableView;
        std::weak_ptr<platform::ui::StackView> chartStackView;
        std::weak_ptr<platform::ui::Switch> tracksOnlySwitch;
    };
    Outlets outlets;

    // The tracks-only switch's action.
    virtual void changeSwitch() {}
    std::string className() const override { return "VKMPartListViewController"; }
};
