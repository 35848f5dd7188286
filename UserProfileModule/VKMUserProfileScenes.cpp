#include "UserProfileModule/VKMUserProfileScenes.h"

#include "UserProfileModule/LogIn/VKMLogInViewController.h"
#include "UserProfileModule/Profile/VKMUserProfileViewController.h"
#include "platform/ui/controllers/Storyboard.h"

namespace VKMUserProfileScenes {

void registerScenes() {
    using platform::ui::Storyboard;
    Storyboard::registerScene(kStoryboardName, VKMUserProfileViewController::kSceneIdentifier,
                              [] { return std::make_shared<VKMUserProfileViewController>(); });
    Storyboard::registerScene(kStoryboardName, VKMLogInViewController::kSceneIdentifier,
                              [] { return std::make_shared<VKMLogInViewController>(); });
}

}  // namespace VKMUserProfileScenes
