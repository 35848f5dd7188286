#pragma once
// What a controller shows in the bars of its containers: its navigation
// item (title and bar button items) and its tab item (title, images, badge).
// A bar button item is tapped through the button its bar makes for it, or
// by a test calling sendAction. Main thread only.

#include "platform/graphics/Image.h"
#include "platform/ui/input/TargetAction.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform::ui {

class View;

// The platform's values that the screens use.
enum class BarButtonSystemItem { done = 0, cancel = 1, edit = 2, save = 3, add = 4, action = 9, trash = 16 };
enum class BarButtonItemStyle { plain = 0, done = 2 };
// The string table of the system items' titles, keyed by their English.
inline constexpr const char* kSystemStringsTable = "System";

// A text of the toolkit's own (a button or a line the system shows) in the
// user's language when the bundle's system table has it, keyed by the
// English text, else in English.
std::string systemString(const std::string& english);

// The title of a system item in the user's language (systemString).
std::string systemTitle(BarButtonSystemItem item);

class BarButtonItem : public std::enable_shared_from_this<BarButtonItem> {
public:
    BarButtonItem() = default;
    // A system item's title is the platform's ("Done", "Cancel", ...), in
    // the user's language from the bundle's kSystemStringsTable; done and
    // save are in the done style.
    explicit BarButtonItem(BarButtonSystemItem item);
    explicit BarButtonItem(std::string title, BarButtonItemStyle style = BarButtonItemStyle::plain);
    explicit BarButtonItem(std::shared_ptr<Image> image, BarButtonItemStyle style = BarButtonItemStyle::plain);

    std::optional<BarButtonSystemItem> systemItem() const { return mSystemItem; }
    const std::string& title() const { return mTitle; }
    void setTitle(std::string title) { mTitle = std::move(title); }
    std::shared_ptr<Image> image() const { return mImage; }
    void setImage(std::shared_ptr<Image> image) { mImage = std::move(image); }
    BarButtonItemStyle style() const { return mStyle; }
    void setStyle(BarButtonItemStyle style) { mStyle = style; }
    bool isEnabled() const { return mEnabled; }
    void setEnabled(bool enabled) { mEnabled = enabled; }
    std::int64_t tag() const { return mTag; }
    void setTag(std::int64_t tag) { mTag = tag; }

    TargetActions<BarButtonItem>& actions() { return mActions; }
    // What a tap does: the actions, when enabled.
    void sendAction();
    // The button showing the item in a bar; null while in none.
    std::shared_ptr<View> view() const { return mView.lock(); }
    void setView(std::weak_ptr<View> view) { mView = std::move(view); }

private:
    std::optional<BarButtonSystemItem> mSystemItem;
    std::string mTitle;
    std::shared_ptr<Image> mImage;
    BarButtonItemStyle mStyle = BarButtonItemStyle::plain;
    bool mEnabled = true;
    std::int64_t mTag = 0;
    TargetActions<BarButtonItem> mActions;
    std::weak_ptr<View> mView;
};

class NavigationItem {
public:
    // Empty: the controller's title.
    const std::string& title() const { return mTitle; }
    void setTitle(std::string title) { mTitle = std::move(title); }
    // The first of each list is the outermost.
    std::vector<std::shared_ptr<BarButtonItem>> leftBarButtonItems() const { return mLeft; }
    void setLeftBarButtonItems(std::vector<std::shared_ptr<BarButtonItem>> items) { mLeft = std::move(items); }
    std::shared_ptr<BarButtonItem> leftBarButtonItem() const { return mLeft.empty() ? nullptr : mLeft.front(); }
    void setLeftBarButtonItem(std::shared_ptr<BarButtonItem> item);
    std::vector<std::shared_ptr<BarButtonItem>> rightBarButtonItems() const { return mRight; }
    void setRightBarButtonItems(std::vector<std::shared_ptr<BarButtonItem>> items) { mRight = std::move(items); }
    std::shared_ptr<BarButtonItem> rightBarButtonItem() const { return mRight.empty() ? nullptr : mRight.front(); }
    void setRightBarButtonItem(std::shared_ptr<BarButtonItem> item);
    bool hidesBackButton() const { return mHidesBackButton; }
    void setHidesBackButton(bool hides) { mHidesBackButton = hides; }

private:
    std::string mTitle;
    std::vector<std::shared_ptr<BarButtonItem>> mLeft;
    std::vector<std::shared_ptr<BarButtonItem>> mRight;
    bool mHidesBackButton = false;
};

class TabBarItem {
public:
    TabBarItem() = default;
    TabBarItem(std::string title, std::shared_ptr<Image> image, std::shared_ptr<Image> selectedImage = nullptr)
        : mTitle(std::move(title)), mImage(std::move(image)), mSelectedImage(std::move(selectedImage)) {}

    // Empty: the controller's title.
    const std::string& title() const { return mTitle; }
    void setTitle(std::string title) { mTitle = std::move(title); }
    std::shared_ptr<Image> image() const { return mImage; }
    void setImage(std::shared_ptr<Image> image) { mImage = std::move(image); }
    // Null: the image, tinted.
    std::shared_ptr<Image> selectedImage() const { return mSelectedImage; }
    void setSelectedImage(std::shared_ptr<Image> image) { mSelectedImage = std::move(image); }
    std::optional<std::string> badgeValue() const { return mBadgeValue; }
    void setBadgeValue(std::optional<std::string> badge) { mBadgeValue = std::move(badge); }
    std::int64_t tag() const { return mTag; }
    void setTag(std::int64_t tag) { mTag = tag; }

private:
    std::string mTitle;
    std::shared_ptr<Image> mImage;
    std::shared_ptr<Image> mSelectedImage;
    std::optional<std::string> mBadgeValue;
    std::int64_t mTag = 0;
};

}  // namespace platform::ui
