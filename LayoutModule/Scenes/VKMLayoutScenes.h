#pragma once
// The layout screens' scenes of the storyboard "Main": each controller
// built with the outlets, prototype cells, recognisers and tags its code
// relies on. A scene that cannot be made, or is of another class, is met by
// a soft assertion and nothing is shown. Main thread only.

#include <memory>
#include <string>

#include "engine/services/VKMSoftAssert.h"
#include "platform/graphics/Geometry.h"
#include "platform/ui/controllers/Storyboard.h"

namespace platform::ui {
class View;
class ViewController;
}  // namespace platform::ui

namespace VKMLayoutScenes {

inline constexpr const char* kStoryboard = "Main";
inline constexpr const char* kLayoutViewController = "VKMLayoutViewController";
inline constexpr const char* kPartListViewController = "VKMPartListViewController";
inline constexpr const char* kLayoutSettingsId = "LayoutSettingsId";
inline constexpr const char* kLayoutDetailsId = "LayoutDetailsId";
inline constexpr const char* kLayoutSummaryId = "LayoutSummaryId";
inline constexpr const char* kLayoutDescriptionId = "LayoutDescriptionId";
inline constexpr const char* kSpecificLanguageDescriptionId = "SpecificLanguageDescriptionId";
inline constexpr const char* kLayerListId = "LayerListId";
inline constexpr const char* kLayoutItemDetailsId = "LayoutItemDetailsId";

// Registers every scene above, lets the open cloud layout be known to the
// sharing module through the layout session, and has the documents that
// opens read prepared for the layout screen (VKMLayoutPreparer). Once is
// enough; again replaces them.
void registerScenes();

// A new controller of the scene as a T; null (after a soft assertion) when
// the scene cannot be made or is of another class.
template <typename T>
std::shared_ptr<T> instantiate(const std::string& identifier) {
    const auto made = platform::ui::Storyboard(kStoryboard).instantiateViewControllerAs<T>(identifier);
    VKM_SOFT_ASSERT(made != nullptr);
    return made;
}

// Presents the scene (any class) as a popover at `rect` of `anchor`, by the
// top-most controller of the anchor's window; false when the scene cannot
// be made or there is no window, and then nothing is shown.
bool presentSceneAt(const std::string& identifier, const std::shared_ptr<platform::ui::View>& anchor,
                    const platform::Rect& rect);
// Presents an instantiated controller that way; false without a window.
bool presentAt(const std::shared_ptr<platform::ui::ViewController>& controller,
               const std::shared_ptr<platform::ui::View>& anchor, const platform::Rect& rect);

}  // namespace VKMLayoutScenes
