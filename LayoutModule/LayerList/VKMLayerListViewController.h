#pragma once
// The layer list: one row per layer. The scene gives the prototype cell.

#include "platform/ui/TableViewController.h"

class VKMLayerListViewController : public platform::ui::TableViewController {
public:
    static constexpr const char* kSceneIdentifier = "LayerListId";
    static constexpr const char* kCellIdentifier = "LayerListRowId";
    // Tags of the row's views, 1 to 4.
    static constexpr long kFirstTag = 1;
    static constexpr long kLastTag = 4;
    static constexpr const char* kVisibilityOnImage = "visibility_on";
    static constexpr const char* kVisibilityOffImage = "visibility_off";

    std::string className() const override { return "VKMLayerListViewController"; }
};
