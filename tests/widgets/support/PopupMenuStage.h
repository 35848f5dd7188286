#pragma once
// A window of a given idiom and size with a plain root controller, on the
// virtual clock, to present pop-up menus in; and the small readings the
// menu tests share.

#include "platform/dispatch/Clock.h"
#include "platform/ui/views/Device.h"
#include "platform/ui/views/Label.h"
#include "platform/ui/core/Layer.h"
#include "platform/ui/core/MediaTime.h"
#include "platform/ui/views/Screen.h"
#include "platform/ui/views/View.h"
#include "platform/ui/controllers/ViewController.h"
#include "platform/ui/views/Window.h"
#include "widgets/PopupMenu/PopupMenuAction.h"
#include "widgets/PopupMenu/PopupMenuViewController.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace popupmenutest {

struct Stage {
    std::shared_ptr<platform::VirtualClock> clock = std::make_shared<platform::VirtualClock>();
    platform::ScopedClock installed{clock};
    std::shared_ptr<platform::ui::Window> window;
    std::shared_ptr<platform::ui::ViewController> root = std::make_shared<platform::ui::ViewController>();

    explicit Stage(platform::ui::UserInterfaceIdiom idiom = platform::ui::UserInterfaceIdiom::phone,
                   platform::Size size = platform::ui::Screen::kDefaultSize, double bottomInset = 34) {
        platform::ui::Device::currentDevice().setUserInterfaceIdiom(idiom);
        platform::ui::Screen::mainScreen()->setSize(size);
        window = std::make_shared<platform::ui::Window>(platform::Rect{0, 0, size.width, size.height});
        window->setSafeAreaInsets({0, 0, bottomInset, 0});
        window->setRootViewController(root);
        window->makeKeyAndVisible();
        window->layoutIfNeeded();
    }
    ~Stage() {
        platform::ui::Device::currentDevice().setUserInterfaceIdiom(platform::ui::UserInterfaceIdiom::phone);
        platform::ui::Screen::mainScreen()->setSize(platform::ui::Screen::kDefaultSize);
    }

    void advance(double seconds) {
        clock->advance(std::chrono::duration_cast<platform::Clock::Duration>(std::chrono::duration<double>(seconds)));
    }

    // A control on the root screen at `frame`.
    std::shared_ptr<platform::ui::View> sourceAt(const platform::Rect& frame) {
        auto view = std::make_shared<platform::ui::View>(frame);
        root->view()->addSubview(view);
        return view;
    }

    // Presents with animation and lets the animation end.
    void present(const std::shared_ptr<PopupMenuViewController>& menu) {
        root->presentViewController(menu, true);
        advance(0.2);
        window->layoutIfNeeded();
    }
};

// Rows titled as given, each counting its selections.
struct Rows {
    std::vector<std::shared_ptr<PopupMenuAction>> actions;
    std::vector<std::string> chosen;

    explicit Rows(const std::vector<std::string>& titles) {
        for (const auto& title : titles) {
            actions.push_back(PopupMenuDefaultAction::make(
                title, nullptr, std::nullopt, [this, title](PopupMenuAction&) { chosen.push_back(title); }));
        }
    }
};

// The width the toolkit's label needs for `text` in the default label font.
inline double labelWidth(const std::string& text) {
    platform::ui::Label label;
    label.setText(text);
    return label.sizeThatFits(platform::ui::Screen::mainScreen()->bounds().size()).width;
}

// The row's frame in the window.
inline platform::Rect windowFrame(const platform::ui::View& view) {
    return view.convertRectToView(view.bounds(), nullptr);
}

inline platform::Point middle(const platform::Rect& r) { return {r.x + r.width / 2, r.y + r.height / 2}; }

}  // namespace popupmenutest
