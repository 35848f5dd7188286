#include "LayoutModule/ElementInfo/VKMLayoutElementInfoHelper.h"

#include <cstring>

#include "LayoutModule/ElementInfo/VKMElementInfoViewController.h"
#include "LayoutModule/Scenes/VKMLayoutScenes.h"
#include "app/Utilities/Colors/UIColorCColor.h"
#include "app/Utilities/System/PreferredLocaleHelper.h"
#include "app/Utilities/VKMUISound.h"
#include "engine/model/CompositeGeometry.h"
#include "engine/model/CurrentCloudLayout.h"
#include "engine/model/ElementNames.h"
#include "engine/model/ElementQueries.h"
#include "engine/model/Layout.h"
#include "engine/model/RailConstants.h"
#include "engine/model/Statistics.h"
#include "platform/ui/views/Application.h"
#include "platform/ui/controllers/PresentationController.h"
#include "platform/ui/controllers/Storyboard.h"
#include "platform/ui/controllers/TabBarController.h"
#include "platform/ui/views/Window.h"

using namespace platform::ui;

namespace {

// The platform's grouped background in light mode.
constexpr platform::Color kSystemGroupedBackground{242.0 / 255, 242.0 / 255, 247.0 / 255, 1};
// Shorter library names belong to elements the user made.
constexpr std::size_t kMinimumLibraryLength = 4;

}  // namespace

bool VKMLayoutElementInfoHelper::presentInfoForElement(CCompositeGeometry* geometry, platform::Point point,
                                                       const std::shared_ptr<View>& view) {
    if (!VKM_SOFT_ASSERT(geometry != nullptr)) return false;
    VKMUISound::playMechanicBurrSound();
    const auto elementInfoViewController =
        Storyboard(VKMLayoutScenes::kStoryboard)
            .instantiateViewControllerAs<VKMElementInfoViewController>(VKMElementInfoViewController::kSceneIdentifier);
    // Nothing to show and nothing to fill.
    if (!VKM_SOFT_ASSERT(elementInfoViewController != nullptr)) return false;
    const platform::Color emphasis = UIColorCColor::colorWithCColor(geometry->GetFirstColor());
    if (!presentPopoverWithViewController(elementInfoViewController, emphasis, point, view)) return false;
    elementInfoViewController->setElement(geometry);
    configureItemDetailsViewController(*elementInfoViewController, *geometry);
    return true;
}

void VKMLayoutElementInfoHelper::configureItemDetailsViewController(ViewController& controller,
                                                                    const CCompositeGeometry& element) {
    auto* info = dynamic_cast<VKMElementInfoViewController*>(&controller);
    if (info == nullptr) return;
    const std::string library = element.GetLibraryName();
    std::string modelScale;
    if (!UElementInspector::IsUserCreatedElement(&element) || UElementInspector::IsFlexTrack(&element)) {
        modelScale = URailConstants::GetModelScaleAsString(element.GetModelScale(), false);
    }
    std::int64_t usageCount = 0;
    if (CLayout* layout = CCurrentCloudLayout::Instance().Layout()) {
        CTrackElementsStatistics& statistics = layout->GetStatistics();
        statistics.Refresh(layout->GetElements());
        if (library.size() >= kMinimumLibraryLength)
            usageCount = statistics.GetElementCount(element.GetProductNumber());
    }
    info->configureWithName(
        UElementNameGenerator::GetDisplayNameForElement(&element),
        element.GetLocalizedDescription(PreferredLocaleHelper::preferredLanguageCode().value_or("")),
        element.GetManufacturer(), library, modelScale, usageCount);
}

bool VKMLayoutElementInfoHelper::presentPopoverWithViewController(const std::shared_ptr<ViewController>& controller,
                                                                  const platform::Color& backgroundEmphasisColor,
                                                                  platform::Point point,
                                                                  const std::shared_ptr<View>& view) {
    if (!controller) return false;
    controller->setModalPresentationStyle(ModalPresentationStyle::popover);
    if (auto popover = controller->popoverPresentationController()) {
        popover->setPermittedArrowDirections(PopoverArrowDirection::any);
        popover->setSourceRect({point.x, point.y, 1, 1});
        popover->setSourceView(view);
        platform::Color tint = UIColorCColor::colorBlendedWithColor(kSystemGroupedBackground, backgroundEmphasisColor,
                                                                    kEmphasisBlendFactor);
        tint.alpha = kBackgroundAlpha;
        popover->setBackgroundColor(tint);
        if (auto delegate = std::dynamic_pointer_cast<PopoverPresentationControllerDelegate>(controller)) {
            popover->setPopoverDelegate(delegate);
        }
    }
    return presentViewController(controller);
}

bool VKMLayoutElementInfoHelper::presentViewController(const std::shared_ptr<ViewController>& controller) {
    const auto windows = Application::sharedApplication().windows();
    if (windows.empty() || !controller) return false;
    const auto tabs = std::dynamic_pointer_cast<TabBarController>(windows.front()->rootViewController());
    if (!tabs) return false;
    tabs->presentViewController(controller, true);
    return tabs->presentedViewController() == controller;
}
