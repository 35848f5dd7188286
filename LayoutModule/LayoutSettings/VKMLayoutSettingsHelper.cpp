#include "LayoutModule/LayoutSettings/VKMLayoutSettingsHelper.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "LayoutModule/LayoutSettings/VKMLayoutSettingsTableViewController.h"
#include "LayoutModule/Scenes/VKMLayoutScenes.h"
#include "app/Utilities/Colors/VKMAutoColorizeHelper.h"
#include "engine/drawing/TransientEdits.h"
#include "engine/model/CurrentCloudLayout.h"
#include "engine/model/Layout.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/views/Application.h"
#include "platform/ui/views/Device.h"
#include "platform/ui/controllers/NavigationController.h"
#include "platform/ui/controllers/PresentationController.h"
#include "platform/ui/views/SystemColors.h"
#include "platform/ui/controllers/TabBarController.h"
#include "platform/ui/views/Window.h"

using namespace platform::ui;

namespace {

// Identifies the helper as the poster of its notifications.
const char kPoster = 0;

std::size_t gLiveActions = 0;

// An edit action that counts itself while it lives.
template <typename Action>
class tCounted : public Action {
public:
    tCounted() { ++gLiveActions; }
    ~tCounted() override { --gLiveActions; }
};

// Every action a toggle made that may still be listed.
std::vector<std::unique_ptr<CTransientEditAction>>& ownedActions() {
    static std::vector<std::unique_ptr<CTransientEditAction>> actions;
    return actions;
}

tTransientEditActions& editActions() { return CCurrentCloudLayout::Instance().GetTransientEditActions(); }

// Deletes the owned actions that are no longer listed. The list is only
// read on the main thread, during a build or a hit test, so nothing can
// hold a removed action now.
void releaseUnlistedActions() {
    const tTransientEditActions& listed = editActions();
    auto& owned = ownedActions();
    owned.erase(std::remove_if(owned.begin(), owned.end(),
                               [&listed](const std::unique_ptr<CTransientEditAction>& action) {
                                   return std::find(listed.begin(), listed.end(), action.get()) == listed.end();
                               }),
                owned.end());
}

// Removes every action of that name when one is listed, else adds a new one.
template <typename Action>
void toggleEditAction() {
    tTransientEditActions& actions = editActions();
    if (UTransientEditActions::Contains(actions, Action::kName)) {
        UTransientEditActions::Remove(actions, Action::kName);
    } else {
        std::unique_ptr<CTransientEditAction> action = std::make_unique<tCounted<Action>>();
        if (UTransientEditActions::Add(actions, action.get())) ownedActions().push_back(std::move(action));
    }
    releaseUnlistedActions();
}

CLayout& document() { return *CCurrentCloudLayout::Instance().Layout(); }

bool isPhone() { return Device::currentDevice().userInterfaceIdiom() == UserInterfaceIdiom::phone; }

}  // namespace

void VKMLayoutSettingsHelper::presentLayoutSettingsAtButton(const std::shared_ptr<View>& button) {
    if (!VKM_SOFT_ASSERT(CCurrentCloudLayout::Instance().Layout() != nullptr)) return;
    const auto layoutSettingsController =
        VKMLayoutScenes::instantiate<VKMLayoutSettingsTableViewController>(VKMLayoutScenes::kLayoutSettingsId);
    if (!layoutSettingsController || !button) return;
    std::shared_ptr<ViewController> shown = layoutSettingsController;
    if (isPhone()) shown = NavigationController::make(layoutSettingsController);
    shown->setModalPresentationStyle(ModalPresentationStyle::popover);
    shown->setPreferredContentSize({kPreferredWidth, kPreferredHeight});
    if (auto popover = shown->popoverPresentationController()) {
        popover->setPermittedArrowDirections(PopoverArrowDirection::up | PopoverArrowDirection::left);
        platform::Rect source = button->frame();
        source.x += kSourceRectShift;
        popover->setSourceRect(source);
        popover->setSourceView(button->superview());
        popover->setBackgroundColor(SystemColors::kDarkGray);
    }
    presentViewController(shown);
}

void VKMLayoutSettingsHelper::presentViewController(const std::shared_ptr<ViewController>& controller) {
    const auto windows = Application::sharedApplication().windows();
    if (windows.empty() || !controller) return;
    const auto tabs = std::dynamic_pointer_cast<TabBarController>(windows.front()->rootViewController());
    const auto selected = tabs ? tabs->selectedViewController() : nullptr;
    if (selected) selected->presentViewController(controller, true, [] {});
}

void VKMLayoutSettingsHelper::postLayoutChangedNotification() {
    if (isPhone()) return;
    platform::NotificationCenter::defaultCenter().postNotificationName(kQLLayoutPropertiesChangedNotification,
                                                                       &kPoster);
}

void VKMLayoutSettingsHelper::toggleGrid() {
    CLayoutParameters& parameters = document().GetParameters();
    parameters.mShowGrid = !parameters.mShowGrid;
    postLayoutChangedNotification();
}

void VKMLayoutSettingsHelper::toggleElementLabels() {
    auto flags = static_cast<std::uint32_t>(document().GetParameters().mDisplayFlags);
    if ((flags & kElementNamesFlag) != 0) {
        flags &= ~kElementNamesFlag;
    } else {
        flags |= kElementNamesFlag | kElementNamesCompanionFlag;
    }
    document().GetParameters().mDisplayFlags = static_cast<std::int32_t>(flags);
    postLayoutChangedNotification();
}

void VKMLayoutSettingsHelper::toggleHeightLabels() {
    auto flags = static_cast<std::uint32_t>(document().GetParameters().mDisplayFlags);
    document().GetParameters().mDisplayFlags = static_cast<std::int32_t>(flags ^ kHeightLabelsFlag);
    postLayoutChangedNotification();
}

void VKMLayoutSettingsHelper::toggleTrackStyleFlag(std::uint32_t mask) {
    auto style = static_cast<std::uint32_t>(document().GetParameters().mTrackStyle);
    style = (style & mask) != mask ? style | mask : style & ~mask;
    document().GetParameters().mTrackStyle = static_cast<std::int32_t>(style);
    postLayoutChangedNotification();
}

void VKMLayoutSettingsHelper::toggleDarkBackground() {
    auto& defaults = platform::UserDefaults::standard();
    defaults.setBool(kDarkBackgroundKey, !defaults.boolValue(kDarkBackgroundKey).value_or(false));
    postLayoutChangedNotification();
}

void VKMLayoutSettingsHelper::toggleTracksOnly() {
    toggleEditAction<CTracksOnlyEditAction>();
    postLayoutChangedNotification();
}

void VKMLayoutSettingsHelper::toggleSingleLineTrackStyle() {
    toggleEditAction<CSingleLineStyleEditAction>();
    postLayoutChangedNotification();
}

void VKMLayoutSettingsHelper::toggleTunnelTracks() {
    if (document().GetParameters().mTunnelDisplayMode == kTunnelsHiddenMode) {
        toggleEditAction<CShowTunnelsEditAction>();
    } else {
        toggleEditAction<CHideTunnelsEditAction>();
    }
    postLayoutChangedNotification();
}

std::size_t VKMLayoutSettingsHelper::liveEditActionCount() { return gLiveActions; }

void VKMLayoutSettingsHelper::releaseDroppedEditActions() { releaseUnlistedActions(); }
