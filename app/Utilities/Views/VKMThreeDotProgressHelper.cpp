#include "app/Utilities/Views/VKMThreeDotProgressHelper.h"

#include "platform/ui/layout/LayoutConstraint.h"

namespace {

constexpr double kStepSeconds = 0.4;

}  // namespace

std::shared_ptr<ZDThreeDotProgressView> VKMThreeDotProgressHelper::insertThreeDotProgressAt(
    const std::shared_ptr<platform::ui::View>& view, double widthHeight, double pointSize, double multiplierX,
    double multiplierY) {
    using platform::ui::LayoutAttribute;
    using platform::ui::LayoutConstraint;
    using platform::ui::LayoutRelation;
    auto progress = ZDThreeDotProgressView::make({0, 0, widthHeight, widthHeight}, pointSize, kStepSeconds);
    progress->setTranslatesAutoresizingMaskIntoConstraints(false);
    view->addSubview(progress);
    LayoutConstraint::activateConstraints(
        {LayoutConstraint::constraintWithItem(progress, LayoutAttribute::centerX, LayoutRelation::equal, view,
                                              LayoutAttribute::centerX, multiplierX, 0),
         LayoutConstraint::constraintWithItem(progress, LayoutAttribute::centerY, LayoutRelation::equal, view,
                                              LayoutAttribute::centerY, multiplierY, 0)});
    return progress;
}
