#pragma once
// The layout's descriptions, one page per language.

#include "platform/ui/PageViewController.h"

class VKMLayoutDescriptionViewController : public platform::ui::PageViewController {
public:
    static constexpr const char* kSceneIdentifier = "LayoutDescriptionId";

    std::string className() const override { return "VKMLayoutDescriptionViewController"; }
};
