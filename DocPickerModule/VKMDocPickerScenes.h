#pragma once
// Registers this module's scenes in the storyboard "Main": the catalogue
// (VKMCatalogViewController::kSceneIdentifier, tab index 0) and the local
// layouts (VKMLocalLayoutsViewController::kSceneIdentifier, tab index 1).
// Programs call it once at start; calling it again replaces the same
// scenes. Only one catalogue should exist at a time: it serves the
// requests to open layouts.

namespace VKMDocPickerScenes {

inline constexpr const char* kStoryboardName = "Main";

void registerScenes();

}  // namespace VKMDocPickerScenes
