#include "platform/ui/views/Screen.h"

#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/views/Notifications.h"

#include <algorithm>
#include <cmath>

namespace platform::ui {

namespace {

std::vector<std::shared_ptr<Screen>>& connected() {
    static std::vector<std::shared_ptr<Screen>> screens;
    return screens;
}

}  // namespace

Screen::Screen(Size size, double scale) : mSize(size), mScale(1) { setScale(scale); }

void Screen::setScale(double scale) { mScale = std::isfinite(scale) && scale > 0 ? scale : 1; }

std::shared_ptr<Screen> Screen::mainScreen() {
    static const auto screen = std::make_shared<Screen>(kDefaultSize, kDefaultScale);
    return screen;
}

std::vector<std::shared_ptr<Screen>> Screen::screens() {
    std::vector<std::shared_ptr<Screen>> all{mainScreen()};
    all.insert(all.end(), connected().begin(), connected().end());
    return all;
}

void Screen::connectScreen(const std::shared_ptr<Screen>& screen) {
    auto& list = connected();
    if (!screen || screen == mainScreen() || std::find(list.begin(), list.end(), screen) != list.end()) return;
    list.push_back(screen);
    NotificationCenter::defaultCenter().postNotificationName(kScreenDidConnectNotification, screen.get());
}

void Screen::disconnectScreen(const std::shared_ptr<Screen>& screen) {
    auto& list = connected();
    const auto found = std::find(list.begin(), list.end(), screen);
    if (found == list.end()) return;
    list.erase(found);
    NotificationCenter::defaultCenter().postNotificationName(kScreenDidDisconnectNotification, screen.get());
}

}  // namespace platform::ui
