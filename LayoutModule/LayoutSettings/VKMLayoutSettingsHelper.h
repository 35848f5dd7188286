#pragma once
// The display settings' toggles and their presentation. Each toggle changes
// an app default, a display field of the open document, or the holder's
// list of display edits, then announces the change: at once on a tablet,
// where the settings are a popover; on a phone the settings screen announces
// once when it is closed. Main thread only.

#include <cstddef>
#include <cstdint>
#include <memory>

namespace platform::ui {
class View;
class ViewController;
}  // namespace platform::ui

class VKMLayoutSettingsHelper {
public:
    static constexpr const char* kDarkBackgroundKey = "VKMUserDefaultLayoutStyleDarkBackground";
    static constexpr double kPreferredWidth = 400;
    static constexpr double kPreferredHeight = 525;
    static constexpr double kSourceRectShift = 2.5;

    // Label-flag and track-style bits the switches change.
    static constexpr std::uint32_t kElementNamesFlag = 1;
    static constexpr std::uint32_t kElementNamesCompanionFlag = 8;
    static constexpr std::uint32_t kHeightLabelsFlag = 16;
    static constexpr std::uint32_t kSingleLineStyle = 4;
    static constexpr std::uint32_t kTrackMarksStyle = 8;
    static constexpr std::uint32_t kRailsStyle = 64;
    static constexpr std::uint32_t kCurveCentersStyle = 1024;
    static constexpr std::int32_t kTunnelsHiddenMode = 2;

    // Shows the settings at the button: inside a navigation controller (for
    // its Done button) on a phone, as a popover elsewhere. Nothing without
    // an open document holder or when the scene cannot be made.
    static void presentLayoutSettingsAtButton(const std::shared_ptr<platform::ui::View>& button);
    // Presents on the selected tab of the first window's tab bar controller;
    // nothing without one.
    static void presentViewController(const std::shared_ptr<platform::ui::ViewController>& controller);

    static void postLayoutChangedNotification();

    static void toggleGrid();
    static void toggleElementLabels();
    static void toggleHeightLabels();
    // Sets every bit of the mask unless all are set already; then clears them.
    static void toggleTrackStyleFlag(std::uint32_t mask);
    static void toggleDarkBackground();
    static void toggleTracksOnly();
    static void toggleSingleLineTrackStyle();
    static void toggleTunnelTracks();

    // Edit actions made by the toggles that are still alive. The helper owns
    // them and deletes those off the holder's list at each toggle: the one a
    // toggle takes off at once, those a reset dropped (a document loaded or
    // closed) at the next toggle.
    static std::size_t liveEditActionCount();
    // Deletes at once those a reset dropped. For tests that run one after
    // another in a process: the next begins with none alive.
    static void releaseDroppedEditActions();
};
