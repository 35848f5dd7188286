#include "platform/ui/controllers/BarItems.h"

#include "platform/foundation/Bundle.h"

namespace platform::ui {

namespace {

const char* englishTitle(BarButtonSystemItem item) {
    switch (item) {
        case BarButtonSystemItem::done: return "Done";
        case BarButtonSystemItem::cancel: return "Cancel";
        case BarButtonSystemItem::edit: return "Edit";
        case BarButtonSystemItem::save: return "Save";
        case BarButtonSystemItem::add: return "+";
        case BarButtonSystemItem::action: return "Share";
        case BarButtonSystemItem::trash: return "Delete";
    }
    return "";
}

}  // namespace

std::string systemString(const std::string& english) {
    if (const Bundle* bundle = Bundle::main()) {
        if (auto translated = bundle->localizedString(english, kSystemStringsTable)) return *translated;
    }
    return english;
}

std::string systemTitle(BarButtonSystemItem item) { return systemString(englishTitle(item)); }

BarButtonItem::BarButtonItem(BarButtonSystemItem item)
    : mSystemItem(item),
      mTitle(systemTitle(item)),
      mStyle(item == BarButtonSystemItem::done || item == BarButtonSystemItem::save ? BarButtonItemStyle::done
                                                                                    : BarButtonItemStyle::plain) {}

BarButtonItem::BarButtonItem(std::string title, BarButtonItemStyle style) : mTitle(std::move(title)), mStyle(style) {}

BarButtonItem::BarButtonItem(std::shared_ptr<Image> image, BarButtonItemStyle style)
    : mImage(std::move(image)), mStyle(style) {}

void BarButtonItem::sendAction() {
    if (mEnabled) mActions.send(*this);
}

void NavigationItem::setLeftBarButtonItem(std::shared_ptr<BarButtonItem> item) {
    mLeft.clear();
    if (item) mLeft.push_back(std::move(item));
}

void NavigationItem::setRightBarButtonItem(std::shared_ptr<BarButtonItem> item) {
    mRight.clear();
    if (item) mRight.push_back(std::move(item));
}

}  // namespace platform::ui
