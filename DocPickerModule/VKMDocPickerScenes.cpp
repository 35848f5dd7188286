#include "DocPickerModule/VKMDocPickerScenes.h"

#include "DocPickerModule/Catalog/VKMCatalogViewController.h"
#include "DocPickerModule/LocalLayouts/VKMLocalLayoutsViewController.h"
#include "platform/ui/controllers/Storyboard.h"

namespace VKMDocPickerScenes {

void registerScenes() {
    using platform::ui::Storyboard;
    Storyboard::registerScene(kStoryboardName, VKMCatalogViewController::kSceneIdentifier,
                              [] { return std::make_shared<VKMCatalogViewController>(); });
    Storyboard::registerScene(kStoryboardName, VKMLocalLayoutsViewController::kSceneIdentifier,
                              [] { return std::make_shared<VKMLocalLayoutsViewController>(); });
}

}  // namespace VKMDocPickerScenes
