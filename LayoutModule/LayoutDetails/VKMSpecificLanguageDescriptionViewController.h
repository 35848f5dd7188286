#pragma once
// One page of the layout's descriptions: a title, the text and the page dots.

#include <memory>

#include "platform/ui/ViewController.h"

namespace platform::ui {
class Label;
class PageControl;
class TextView;
}  // namespace platform::ui

class VKMSpecificLanguageDescriptionViewController : public platform::ui::ViewController {
public:
    static constexpr const char* kSceneIdentifier = "SpecificLanguageDescriptionId";

    struct Outlets {
        std::weak_ptr<platform::ui::Label> titleLabel;
        std::weak_ptr<platform::ui::TextView> descriptionTextView;
        std::weak_ptr<platform::ui::PageControl> pageControl;
    };
    Outlets outlets;

    std::string className() const override { return "VKMSpecificLanguageDescriptionViewController"; }
};
