#pragma once
// Stand-ins for what the platform shows outside the app, recorded for
// tests: the share sheet (the items, the activities left out, where its
// popover points, and a completion a test fires; on the desktop it shows
// the item and offers what a desktop can do with it), the document picker (the
// content types asked for, and a pick or cancel a test fires; on the
// desktop it lists folders and files to pick from) and the
// store's review prompt (counted). Both sheets are presented controllers
// (popovers where the caller asks for them); firing one dismisses it and
// tells the app once it has gone. Main thread only.

#include "platform/graphics/Image.h"
#include "platform/ui/controllers/ViewController.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {
class Bundle;
}

namespace platform::ui {

// The platform's activity kinds that the screens name.
namespace activity {
inline constexpr const char* kAssignToContact = "assignToContact";
inline constexpr const char* kAddToReadingList = "addToReadingList";
inline constexpr const char* kSaveToCameraRoll = "saveToCameraRoll";
inline constexpr const char* kOpenInBooks = "openInBooks";
inline constexpr const char* kMail = "mail";
inline constexpr const char* kCopyToPasteboard = "copyToPasteboard";
inline constexpr const char* kSaveToFiles = "saveToFiles";
}  // namespace activity

// One thing to share: text, an image or a URL. `name` names a saved copy
// (without its extension).
struct ActivityItem {
    std::string text;
    std::shared_ptr<Image> image;
    std::string url;
    std::string name;
};

// Writes `image` as a PNG file in `folder` under the first free name of
// "<name>.png", "<name> 2.png", "<name> 3.png"... (never over a file that
// is there, even one that appears meanwhile); the path written, or nothing
// when it could not be written. Characters a file name cannot hold become
// spaces; an empty name is "Image".
std::optional<std::filesystem::path> savePNGUnderFreeName(const Image& image, const std::filesystem::path& folder,
                                                          const std::string& name);

// The share sheet: the first item shown (its name the title, beside Cancel
// while two lines there hold it, else below it), a button for each activity the
// desktop offers and the app did not exclude (copy to the pasteboard; save an
// image as a PNG file in the documents folder), a line saying what was done,
// and Cancel (Done once something was). Copying says so and closes the sheet a
// moment later (kCopiedShowTime), so that the user can read it; saving keeps it
// open to say where the file went. The picture is encoded and written on the
// shared pool; the line says so meanwhile, and the outcome arrives on the main
// loop. The sheet may be shown before its items are ready (waitForItems).
// However it is closed (a button, a tap outside, a drag, or any dismissal), the
// completion runs once, after it has gone and any save under way has ended:
// with the last activity carried out, else none and not completed.
//
// A picture of more pixels than the preview's frame is reduced to the
// frame's pixels on the shared pool, just as the frame would draw it whole,
// and shown so: drawn whole by the main thread, a picture of millions of
// pixels would hold up the frame that shows it by tens of milliseconds.
// One reduction runs at a time; frames asked for meanwhile leave only the
// last to be reduced next.
class ActivityViewController : public ViewController {
public:
    // The activity chosen (none when the user closed the sheet) and whether
    // it was carried out.
    using Completion = std::function<void(std::optional<std::string> activity, bool completed)>;

    explicit ActivityViewController(std::vector<ActivityItem> items);

    const std::vector<ActivityItem>& activityItems() const { return mItems; }
    const std::vector<std::string>& excludedActivityTypes() const { return mExcluded; }
    void setExcludedActivityTypes(std::vector<std::string> types);
    void setCompletionWithItemsHandler(Completion completion) { mCompletion = std::move(completion); }

    // Shown before the items are ready (a picture still being drawn): the
    // items given so far stand in for them (their name titles the sheet),
    // the status line says `status`, and every activity the desktop has
    // (but the excluded) shows greyed out until setActivityItems.
    void waitForItems(std::string status);
    bool isWaitingForItems() const { return mWaiting; }
    // The items, ready: shown, and what they allow can be done. The status
    // line says `status` (empty: nothing), for one to say why there are no
    // items. A sheet on the screen whose preview must first be reduced (see
    // below) goes on waiting until the preview is in place, so that the
    // picture, the line and the buttons change together.
    void setActivityItems(std::vector<ActivityItem> items, std::string status = {});

    // The activities offered, in order (their buttons' accessibility
    // identifiers).
    std::vector<std::string> offeredActivityTypes() const;
    // Carries out an offered activity as its button does: false when it
    // is not offered or failed, while the items are awaited, and once a
    // copy is closing the sheet. A save is started (false while one is
    // under way): statusText() says how it went once the main loop has
    // heard.
    bool perform(const std::string& activity);
    // What the sheet's status line says (empty before any activity).
    const std::string& statusText() const { return mStatus; }
    // Whether a save is under way: until the main loop hears how it went.
    bool isSaving() const { return mSaving; }
    // Where saved files go: the documents folder.
    std::filesystem::path saveFolder() const;

    // For tests: the user picks `activity` (or closes the sheet with none).
    // An excluded activity cannot be picked (false). Dismisses the sheet;
    // the completion runs once it has gone.
    bool complete(std::optional<std::string> activity, bool completed = true);
    // For tests: the reductions of a preview started so far.
    unsigned previewReductions() const { return mPreviewReductions; }

    void loadView() override;
    void viewDidLayoutSubviews() override;
    void viewWillAppear(bool animated) override;
    void viewDidDisappear(bool animated) override;
    std::string className() const override { return "ActivityViewController"; }

    static constexpr double kBarHeight = 52;
    static constexpr double kMargin = 16;
    static constexpr double kButtonHeight = 44;
    static constexpr double kStatusHeight = 44;
    // What the status line says while a save is under way, in English (it
    // shows in the user's language).
    static constexpr const char* kSavingStatus = "Saving…";
    // What it says once copied, and for how long (seconds on the main
    // loop's clock) before the sheet closes itself.
    static constexpr const char* kCopiedStatus = "Copied";
    static constexpr double kCopiedShowTime = 1.0;

private:
    void showStatus(std::string text);
    void close();
    void saved(const std::filesystem::path& folder, const std::optional<std::filesystem::path>& path);
    // Each button shown when its activity is offered, usable when it can
    // be carried out now.
    void refreshActivityButtons();
    void report();
    // Puts the first item's picture in the preview, or asks the pool for
    // it reduced to the preview's frame; true while that is under way.
    bool showPreview();
    // Reduces the picture for the frame wanted now on the pool.
    void reducePreview();
    void previewReduced(const std::shared_ptr<Image>& image, Size size, double scale, std::shared_ptr<Image> reduced);
    // Items that waited for their preview are offered.
    void offerAwaitedItems();

    std::vector<ActivityItem> mItems;
    std::vector<std::string> mExcluded;
    Completion mCompletion;
    std::optional<std::string> mDone;  // the last activity carried out
    bool mReported = false;
    bool mSaving = false;
    bool mReportWhenSaved = false;
    bool mWaiting = false;
    // Copied, and closing in a moment: nothing more is done.
    bool mClosingAfterCopy = false;
    // Counts the presentations, so that a close timed for one does not
    // close the next.
    unsigned mPresentations = 0;
    std::string mStatus;
    // The picture the preview shows, for which frame, and whether it waits
    // for it reduced; whether a reduction is on the pool (for that frame or
    // an earlier one), and how many were started.
    std::shared_ptr<Image> mPreviewOf;
    Size mPreviewSize;
    double mPreviewScale = 0;
    bool mPreviewPending = false;
    bool mPreviewReducing = false;
    unsigned mPreviewReductions = 0;
    // The line of items given while their preview is reduced.
    std::optional<std::string> mAwaitedStatus;
    struct Views;
    std::shared_ptr<Views> mViews;
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

// The file name extensions (lower case, without the dot) that `bundle`'s
// info declares for a content type ("UTExportedTypeDeclarations": each
// declaration's "UTTypeIdentifier" and, under "UTTypeTagSpecification",
// its "public.filename-extension", a text or a list); none for a type it
// does not declare or without a bundle.
std::vector<std::string> fileExtensionsForContentType(const std::string& type, const platform::Bundle* bundle);

// The document picker, as a desktop offers one: a bar with Cancel and the
// folder's name over a list of its folders and of the files of the content
// types, folders first, each by name; a row to the folder above (never
// above the user's home). It opens in the documents folder. A tap on a
// folder opens it, on a file picks it. A folder that cannot be read shows
// nothing. It comes as a form sheet (a sheet on a phone). However it goes
// without a pick (Cancel, a drag down, a key, any dismissal) the delegate
// hears once that it was cancelled, after it has gone.
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

    // The folder shown (empty before it first appears).
    const std::filesystem::path& directoryShown() const { return mDirectory; }

    // For tests: the user picks files (more than one only when allowed:
    // false otherwise), or cancels. The delegate hears once the picker has
    // gone.
    bool pick(std::vector<std::string> urls);
    void cancel();

    void loadView() override;
    void viewDidLayoutSubviews() override;
    void viewWillAppear(bool animated) override;
    void viewDidDisappear(bool animated) override;
    std::string className() const override { return "DocumentPickerViewController"; }

    static constexpr double kBarHeight = 52;
    static constexpr double kMargin = 16;
    static constexpr double kRowHeight = 44;
    // The title of the row to the folder above.
    static constexpr const char* kUpRowTitle = "..";

private:
    struct Entry {
        std::string name;
        bool folder = false;
    };
    class List;
    struct Views;

    void show(const std::filesystem::path& folder);
    bool canGoUp() const;
    void tappedRow(int row);

    std::vector<std::string> mTypes;
    bool mAsCopy;
    bool mMultiple = false;
    std::weak_ptr<DocumentPickerDelegate> mDelegate;
    bool mReported = false;
    std::filesystem::path mHome;
    std::filesystem::path mDirectory;
    std::vector<std::string> mExtensions;
    std::vector<Entry> mEntries;
    std::shared_ptr<Views> mViews;
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
