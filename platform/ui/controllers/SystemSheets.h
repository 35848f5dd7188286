#pragma once
// Stand-ins for what the platform shows outside the app, recorded for
// tests: the share sheet (the items, the activities left out, where its
// popover points, and a completion a test fires), the document picker (the
// content types asked for, and a pick or cancel a test fires) and the
// store's review prompt (counted). Both sheets are presented controllers
// (popovers where the caller asks for them); firing one dismisses it and
// tells the app once it has gone. Main thread only.

#include "platform/graphics/Image.h"
#include "platform/ui/controllers/ViewController.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform::ui {

// The platform's activity kinds that the screens name.
namespace activity {
inline constexpr const char* kAssignToContact = "assignToContact";
inline constexpr const char* kAddToReadingList = "addToReadingList";
inline constexpr const char* kSaveToCameraRoll = "saveToCameraRoll";
inline constexpr const char* kOpenInBooks = "openInBooks";
inline constexpr const char* kMail = "mail";
inline constexpr const char* kCopyToPasteboard = "copyToPasteboard";
}  // namespace activity

// One thing to share: text, an image or a URL.
struct ActivityItem {
    std::string text;
    std::shared_ptr<Image> image;
    std::string url;
};

class ActivityViewController : public ViewController {
public:
    // The activity chosen (none when the user closed the sheet) and whether
    // it was carried out.
    using Completion = std::function<void(std::optional<std::string> activity, bool completed)>;

    explicit ActivityViewController(std::vector<ActivityItem> items);

    const std::vector<ActivityItem>& activityItems() const { return mItems; }
    const std::vector<std::string>& excludedActivityTypes() const { return mExcluded; }
    void setExcludedActivityTypes(std::vector<std::string> types) { mExcluded = std::move(types); }
    void setCompletionWithItemsHandler(Completion completion) { mCompletion = std::move(completion); }

    // For tests: the user picks `activity` (or closes the sheet with none).
    // An excluded activity cannot be picked (false). Dismisses the sheet;
    // the completion runs once it has gone.
    bool complete(std::optional<std::string> activity, bool completed = true);

    std::string className() const override { return "ActivityViewController"; }

private:
    std::vector<ActivityItem> mItems;
    std::vector<std::string> mExcluded;
    Completion mCompletion;
};

class DocumentPickerViewController;

class DocumentPickerDelegate {
public:
    virtual ~DocumentPickerDelegate() = default;
    virtual void documentPickerDidPickDocumentsAtURLs(DocumentPickerViewController& picker,
                                                      const std::vector<std::string>& urls) {
        (void)picker, (void)urls;
    }
    virtual void documentPickerWasCancelled(DocumentPickerViewController& picker) { (void)picker; }
};

class DocumentPickerViewController : public ViewController {
public:
    // Content types are type identifiers; `asCopy` hands over copies (import).
    DocumentPickerViewController(std::vector<std::string> contentTypes, bool asCopy);

    const std::vector<std::string>& contentTypes() const { return mTypes; }
    bool shouldCopyItems() const { return mAsCopy; }
    bool allowsMultipleSelection() const { return mMultiple; }
    void setAllowsMultipleSelection(bool allows) { mMultiple = allows; }
    std::shared_ptr<DocumentPickerDelegate> delegate() const { return mDelegate.lock(); }
    void setDelegate(std::weak_ptr<DocumentPickerDelegate> delegate) { mDelegate = std::move(delegate); }

    // For tests: the user picks files (more than one only when allowed:
    // false otherwise), or cancels. The delegate hears once the picker has
    // gone.
    bool pick(std::vector<std::string> urls);
    void cancel();

    std::string className() const override { return "DocumentPickerViewController"; }

private:
    std::vector<std::string> mTypes;
    bool mAsCopy;
    bool mMultiple = false;
    std::weak_ptr<DocumentPickerDelegate> mDelegate;
};

class StoreReviewController {
public:
    // Records the request (the platform decides whether to show a prompt;
    // tests read the count).
    static void requestReview();
    static int requestCount();
    static void resetRequestCount();
};

// The controllers of type T presented now in the application's windows.
template <typename T>
std::vector<std::shared_ptr<T>> presentedControllers() {
    std::vector<std::shared_ptr<T>> found;
    for (const auto& controller : ViewController::allPresentedViewControllers()) {
        if (auto typed = std::dynamic_pointer_cast<T>(controller)) found.push_back(std::move(typed));
    }
    return found;
}

}  // namespace platform::ui
