#pragma once
// The program's storyboard: every module's scenes, and the main
// storyboard's initial scene, the tab bar. Its tabs in order: the
// catalogue, the local layouts, the layout screen, the part list, the
// profile, and the debug screen last (the app removes it at launch). A
// screen that no module registers yet shows a placeholder of its name.

namespace vekmont {

inline constexpr const char* kMainStoryboard = "Main";

// Registers the modules' scenes and the tab bar; once per process.
void registerScenes();

}  // namespace vekmont
