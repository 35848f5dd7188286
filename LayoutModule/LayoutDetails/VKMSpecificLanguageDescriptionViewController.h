#pragma once
// One page of the layout's descriptions: a heading naming the language,
// the text and the page dots.

#include <memory>
#include <string>

#include "platform/ui/controllers/ViewController.h"

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

    void setDescription(std::string description, std::string label);
    const std::string& layoutDescription() const { return mLayoutDescription; }
    const std::string& titleString() const { return mTitleString; }

    void viewDidLoad() override;
    std::string className() const override { return "VKMSpecificLanguageDescriptionViewController"; }

private:
    std::string mLayoutDescription;
    std::string mTitleString;
};
