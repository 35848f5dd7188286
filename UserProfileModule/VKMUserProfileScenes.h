#pragma once
// Registers this module's scenes in the storyboard "Main": the profile
// screen (VKMUserProfileViewController::kSceneIdentifier) and the log-in
// screen (VKMLogInViewController::kSceneIdentifier). Programs call it once
// at start; calling it again replaces the same scenes.

namespace VKMUserProfileScenes {

inline constexpr const char* kStoryboardName = "Main";

void registerScenes();

}  // namespace VKMUserProfileScenes
