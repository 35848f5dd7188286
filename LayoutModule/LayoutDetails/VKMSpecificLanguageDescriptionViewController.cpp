#include "LayoutModule/LayoutDetails/VKMSpecificLanguageDescriptionViewController.h"

#include "platform/ui/views/Label.h"
#include "platform/ui/views/TextView.h"

void VKMSpecificLanguageDescriptionViewController::setDescription(std::string description, std::string label) {
    mLayoutDescription = std::move(description);
    mTitleString = std::move(label);
}

void VKMSpecificLanguageDescriptionViewController::viewDidLoad() {
    if (auto title = outlets.titleLabel.lock()) title->setText(mTitleString);
    if (auto text = outlets.descriptionTextView.lock()) text->setText(mLayoutDescription);
}
