#pragma once
// Small pieces the catalogue and community screens share: their texts (the
// string table "Community") and where they present what they show.
// Main thread only.

#include <memory>
#include <string>

namespace platform::ui {
class View;
class ViewController;
}  // namespace platform::ui

namespace VKMCommunityUI {

// The translation of `key` in the "Community" table, else the key itself.
std::string text(const char* key);

// The controller to present on for something shown from `view`: the top of
// the presentations of its window, else of the key window; null when there
// is no window.
std::shared_ptr<platform::ui::ViewController> presenterForView(const std::shared_ptr<platform::ui::View>& view);

// An alert with one OK button over presenterForView(view); only logged when
// there is nothing to present on.
void showMessage(const std::shared_ptr<platform::ui::View>& view, const std::string& title, const std::string& message);

}  // namespace VKMCommunityUI
