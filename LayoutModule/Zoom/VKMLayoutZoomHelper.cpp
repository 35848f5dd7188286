#include "LayoutModule/Zoom/VKMLayoutZoomHelper.h"

#include "LayoutModule/Zoom/VKMZoomButton.h"
#include "engine/services/ZDUtils.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/Value.h"
#include "platform/ui/controllers/AlertController.h"
#include "platform/ui/views/Application.h"
#include "platform/ui/controllers/PresentationController.h"
#include "platform/ui/views/Window.h"

#include <cstdio>

using namespace platform::ui;

const void* VKMLayoutZoomHelper::notificationObject() {
    static const char identity = 0;
    return &identity;
}

std::shared_ptr<VKMZoomButton> VKMLayoutZoomHelper::addZoomButtonTo(const std::shared_ptr<View>& container,
                                                                    const std::shared_ptr<View>& centerOnView,
                                                                    double zoomFactor) {
    auto button = VKMZoomButton::make();
    button->setCurrentZoomFactor(zoomFactor);
    container->addSubview(button);
    std::vector<std::shared_ptr<LayoutConstraint>> constraints{
        button->bottomAnchor().constraintEqualToAnchor(container->bottomAnchor(), -kBottomMargin)};
    constraints.push_back(centerOnView ? button->centerXAnchor().constraintEqualToAnchor(centerOnView->centerXAnchor())
                                       : button->centerXAnchor().constraintEqualToAnchor(container->centerXAnchor()));
    LayoutConstraint::activateConstraints(constraints);
    const std::weak_ptr<VKMZoomButton> weak = button;
    button->setTapAction([weak] {
        if (auto self = weak.lock()) showZoomLevelsFrom(self);
    });
    return button;
}

std::shared_ptr<AlertController> VKMLayoutZoomHelper::showZoomLevelsFrom(const std::shared_ptr<VKMZoomButton>& button) {
    const auto window = Application::sharedApplication().keyWindow();
    const auto root = window ? window->rootViewController() : nullptr;
    if (!root) return nullptr;
    auto sheet = std::make_shared<AlertController>("", "", AlertControllerStyle::actionSheet);
    for (const double level : kZoomLevels) {
        sheet->addAction(std::make_shared<AlertAction>(
            VKMZoomButton::formattedPercentage(level).value_or("?"), AlertActionStyle::defaultStyle,
            [level](AlertAction&) {
                char text[32];
                std::snprintf(text, sizeof text, "%g", level);
                ZDUtils::logInfo("Changing zoom level to %s", text);
                const platform::Value info(platform::Value::Dictionary{{kNewZoomFactorKey, platform::Value(level)}});
                platform::NotificationCenter::defaultCenter().postNotificationName(kChangeZoomFactorNotification,
                                                                                   notificationObject(), info);
            }));
    }
    if (auto popover = sheet->popoverPresentationController()) {
        popover->setSourceView(button);
        popover->setSourceRect(button->bounds());
        popover->setPermittedArrowDirections(PopoverArrowDirection::down);
    }
    root->topmostPresentedViewController()->presentViewController(sheet, true);
    return sheet;
}
