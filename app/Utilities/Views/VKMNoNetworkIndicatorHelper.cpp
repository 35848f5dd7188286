#include "app/Utilities/Views/VKMNoNetworkIndicatorHelper.h"

#include "engine/services/ZDUtils.h"
#include "platform/graphics/Image.h"
#include "platform/ui/views/Font.h"
#include "platform/ui/views/ImageView.h"
#include "platform/ui/views/Label.h"
#include "platform/ui/layout/LayoutConstraint.h"
#include "platform/ui/views/NamedColors.h"
#include "platform/ui/views/NamedImages.h"

namespace {

using namespace platform::ui;

constexpr double kSpacing = 15;
constexpr double kIconSide = 36;
constexpr double kTitleSize = 24;
constexpr double kDescriptionSize = 15;

void arrange(StackView& stack, LayoutConstraintAxis axis) {
    stack.setAxis(axis);
    stack.setSpacing(kSpacing);
    stack.setAlignment(StackViewAlignment::center);
    stack.setDistribution(StackViewDistribution::fillProportionally);
    stack.setTranslatesAutoresizingMaskIntoConstraints(false);
}

platform::Color named(const char* name) { return colorNamed(name).value_or(platform::Color{0, 0, 0, 1}); }

}  // namespace

std::shared_ptr<StackView> VKMNoNetworkIndicatorHelper::insertNoNetworkIndicatorAt(const std::shared_ptr<View>& view) {
    auto icon = std::make_shared<ImageView>(platform::Rect{0, 0, kIconSide, kIconSide});
    if (auto image = imageNamed("cloud_off_36dp")) {
        icon->setImage(image->withRenderingMode(platform::ImageRenderingMode::alwaysTemplate));
    }
    icon->setContentMode(ViewContentMode::scaleAspectFit);
    icon->setTintColor(named("TitleLabelColor"));

    auto title = std::make_shared<Label>();
    title->setFont(Font::boldSystemFont(kTitleSize));
    title->setText(ZDUtils::localizedString("NetworkOfflineTitle"));
    title->setTextColor(named("TitleLabelColor"));

    auto description = std::make_shared<Label>();
    description->setFont(Font::systemFont(kDescriptionSize));
    description->setNumberOfLines(2);
    description->setLineBreakMode(platform::LineBreakMode::wordWrapping);
    description->setTextAlignment(platform::TextAlignment::center);
    description->setText(ZDUtils::localizedString("NetworkOfflineDescription"));
    description->setTextColor(named("TextDescriptionLabelColor"));

    auto row = StackView::make({icon, title});
    arrange(*row, LayoutConstraintAxis::horizontal);
    auto notice = StackView::make({row, description});
    arrange(*notice, LayoutConstraintAxis::vertical);

    view->addSubview(notice);
    view->addConstraints({LayoutConstraint::constraintWithItem(notice, LayoutAttribute::centerX, LayoutRelation::equal,
                                                               view, LayoutAttribute::centerX, 1, 0),
                          LayoutConstraint::constraintWithItem(notice, LayoutAttribute::centerY, LayoutRelation::equal,
                                                               view, LayoutAttribute::centerY, 1, 0)});
    return notice;
}
