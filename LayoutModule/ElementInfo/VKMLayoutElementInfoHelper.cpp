#include "LayoutModule/ElementInfo/VKMLayoutElementInfoHelper.h"

#include "LayoutModule/ElementInfo/VKMElementInfoViewController.h"
#include "LayoutModule/Scenes/VKMLayoutScenes.h"

bool VKMLayoutElementInfoHelper::presentInfoForElement(CCompositeGeometry* element, platform::Point point,
                                                       const std::shared_ptr<platform::ui::View>& view,
                                                       const std::shared_ptr<platform::ui::ViewController>& presenter) {
    (void)presenter;
    if (element == nullptr || !view) return false;
    const auto info =
        VKMLayoutScenes::instantiate<VKMElementInfoViewController>(VKMElementInfoViewController::kSceneIdentifier);
    if (!info) return false;
    info->setElement(element);
    return VKMLayoutScenes::presentAt(info, view, {point.x, point.y, 1, 1});
}
