#pragma once
// The column of round buttons over the drawn layout: Browse (the shared
// layout's web page), Share, Settings, Layers and Colorize. Buttons are
// kept by name in one process-wide table, so that the notifications they
// post carry the button as object and the layout screen can anchor what it
// opens at it. Main thread only.

#include <memory>
#include <optional>
#include <string>

namespace platform::ui {
class StackView;
class View;
}  // namespace platform::ui
class VKMLayoutActionButton;

class VKMLayoutActionButtonHelper {
public:
    static constexpr const char* kBrowse = "browse";
    static constexpr const char* kShare = "share";
    static constexpr const char* kSettings = "settings";
    static constexpr const char* kLayer = "layer";
    static constexpr const char* kColorize = "colorize";
    static constexpr double kSymbolPointSize = 22.5;

    // A vertical stack at the parent's leading edge (tablets beside the
    // reference view's top, phones below its bottom) with share, settings,
    // layer and colorize; the browse button first on phones, or at the
    // parent's top right corner on tablets, when asked for.
    static std::shared_ptr<platform::ui::StackView> addOverlayButtonsTo(
        const std::shared_ptr<platform::ui::View>& parentView, const std::shared_ptr<platform::ui::View>& referenceView,
        bool includeBrowseButton);
    // Takes every registered button from its superview and forgets them.
    static void removeActionButtons();

    // The registered button of that name, or null.
    static std::shared_ptr<VKMLayoutActionButton> button(const std::string& name);
    // The registered button at that address (a notification's object), or
    // null when none is.
    static std::shared_ptr<VKMLayoutActionButton> buttonForObject(const void* object);

    // The open shared layout's web address as it is opened: trimmed, kept
    // when it is already a valid address, else percent-encoded as a query
    // would be; only http and https addresses with a host count.
    static std::optional<std::string> browseURLFromWebURL(const std::string& weburl);
    // Opens the open shared layout's web page; nothing without one.
    static void browseCurrentLayout();
};
