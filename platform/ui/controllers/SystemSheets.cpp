#include "platform/ui/controllers/SystemSheets.h"

#include "platform/foundation/Paths.h"
#include "platform/ui/views/Button.h"
#include "platform/ui/views/Font.h"
#include "platform/ui/views/ImageView.h"
#include "platform/ui/views/Label.h"
#include "platform/ui/views/Pasteboard.h"
#include "platform/ui/views/SystemColors.h"
#include "platform/ui/views/View.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace platform::ui {

namespace {

int gReviewRequests = 0;

constexpr const char* kCancel = "cancel";

bool contains(const std::vector<std::string>& list, const std::string& value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

std::string fileNameFrom(const std::string& name) {
    std::string clean;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        clean += (c == '/' || c == '\\' || byte < 0x20 || byte == 0x7f) ? ' ' : c;
    }
    // No hidden file, and room for " 9999.png" within a file name's bytes.
    const auto first = clean.find_first_not_of(" .");
    clean = first == std::string::npos ? std::string() : clean.substr(first);
    while (!clean.empty() && clean.back() == ' ') clean.pop_back();
    if (clean.size() > 200) {
        std::size_t cut = 200;
        while (cut > 0 && (static_cast<unsigned char>(clean[cut]) & 0xC0) == 0x80) --cut;
        clean.resize(cut);
    }
    return clean.empty() ? "Image" : clean;
}

const char* activityTitle(const std::string& activity) {
    if (activity == activity::kCopyToPasteboard) return "Copy";
    if (activity == activity::kSaveToFiles) return "Save as PNG";
    return "";
}

}  // namespace

std::optional<std::filesystem::path> savePNGUnderFreeName(const Image& image, const std::filesystem::path& folder,
                                                          const std::string& name) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    const std::string base = fileNameFrom(name);
    for (int n = 1; n < 10000; ++n) {
        const auto path = folder / (n == 1 ? base + ".png" : base + " " + std::to_string(n) + ".png");
        // Claimed by creating it: a name taken meanwhile is passed over.
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return std::nullopt;
        }
        ::close(fd);
        if (image.writePNG(path)) return path;
        std::filesystem::remove(path, error);
        return std::nullopt;
    }
    return std::nullopt;
}

struct ActivityViewController::Views {
    std::shared_ptr<Button> cancel;
    std::shared_ptr<Label> title;
    std::shared_ptr<ImageView> preview;
    std::vector<std::shared_ptr<Button>> activities;
    std::shared_ptr<Label> status;
};

ActivityViewController::ActivityViewController(std::vector<ActivityItem> items) : mItems(std::move(items)) {
    setTitle("Share");
}

void ActivityViewController::setExcludedActivityTypes(std::vector<std::string> types) {
    mExcluded = std::move(types);
    if (!isViewLoaded()) return;
    // Offer what is left.
    for (const auto& button : mViews->activities) {
        button->setHidden(contains(mExcluded, button->accessibilityIdentifier()));
    }
    view()->setNeedsLayout();
}

std::vector<std::string> ActivityViewController::offeredActivityTypes() const {
    std::vector<std::string> offered;
    const bool anything = !mItems.empty();
    const bool image = anything && mItems.front().image;
    if (anything && !contains(mExcluded, activity::kCopyToPasteboard))
        offered.emplace_back(activity::kCopyToPasteboard);
    if (image && !contains(mExcluded, activity::kSaveToFiles)) offered.emplace_back(activity::kSaveToFiles);
    return offered;
}

std::filesystem::path ActivityViewController::saveFolder() const { return platform::Paths::documents(); }

void ActivityViewController::loadView() {
    auto root = std::make_shared<View>(Rect{0, 0, 320, 480});
    root->setBackgroundColor(SystemColors::kWhite);
    auto views = std::make_shared<Views>();
    std::weak_ptr<ActivityViewController> weak = std::static_pointer_cast<ActivityViewController>(sharedController());

    views->cancel = Button::make(ButtonType::system);
    views->cancel->setTitle(std::string("Cancel"), ControlState::normal);
    views->cancel->setAccessibilityIdentifier(kCancel);
    views->cancel->addAction(
        [weak](Control&) {
            if (auto self = weak.lock()) self->close();
        },
        ControlEvents::touchUpInside);
    root->addSubview(views->cancel);

    views->title = std::make_shared<Label>();
    views->title->setFont(Font::boldSystemFont(Font::systemFontSize()));
    views->title->setTextAlignment(TextAlignment::center);
    views->title->setText(mItems.empty() || mItems.front().name.empty() ? title() : mItems.front().name);
    root->addSubview(views->title);

    views->preview = std::make_shared<ImageView>();
    views->preview->setContentMode(ViewContentMode::scaleAspectFit);
    if (!mItems.empty()) views->preview->setImage(mItems.front().image);
    root->addSubview(views->preview);

    for (const std::string& activity : offeredActivityTypes()) {
        auto button = Button::make(ButtonType::system);
        button->setTitle(std::string(activityTitle(activity)), ControlState::normal);
        button->setAccessibilityIdentifier(activity);
        button->addAction(
            [weak, activity](Control&) {
                if (auto self = weak.lock()) self->perform(activity);
            },
            ControlEvents::touchUpInside);
        root->addSubview(button);
        views->activities.push_back(std::move(button));
    }

    views->status = std::make_shared<Label>();
    views->status->setFont(Font::systemFont(13));
    views->status->setTextColor(SystemColors::kDarkGray);
    views->status->setTextAlignment(TextAlignment::center);
    views->status->setNumberOfLines(2);
    views->status->setAccessibilityIdentifier("status");
    root->addSubview(views->status);

    mViews = std::move(views);
    setView(root);
}

void ActivityViewController::viewDidLayoutSubviews() {
    if (!mViews) return;
    const Rect bounds = view()->bounds();
    const double bottom = bounds.height - view()->safeAreaInsets().bottom;
    const double inner = std::max(0.0, bounds.width - 2 * kMargin);
    mViews->cancel->setFrame({kMargin, 0, 80, kBarHeight});
    mViews->title->setFrame({kMargin + 80, 0, std::max(0.0, bounds.width - 2 * (kMargin + 80)), kBarHeight});
    double y = bottom - kStatusHeight;
    mViews->status->setFrame({kMargin, y, inner, kStatusHeight});
    for (auto it = mViews->activities.rbegin(); it != mViews->activities.rend(); ++it) {
        if ((*it)->isHidden()) continue;
        y -= kButtonHeight;
        (*it)->setFrame({kMargin, y, inner, kButtonHeight});
    }
    mViews->preview->setFrame({kMargin, kBarHeight, inner, std::max(0.0, y - kMargin - kBarHeight)});
}

void ActivityViewController::viewWillAppear(bool animated) {
    ViewController::viewWillAppear(animated);
    if (isBeingPresented()) mReported = false;
}

void ActivityViewController::viewDidDisappear(bool animated) {
    ViewController::viewDidDisappear(animated);
    // Gone, however it was closed: say once what was done.
    if (presentingViewController() || mReported) return;
    mReported = true;
    const auto done = mDone;
    mDone.reset();
    if (mCompletion) mCompletion(done, done.has_value());
}

void ActivityViewController::showStatus(std::string text) {
    mStatus = std::move(text);
    if (mViews) {
        mViews->status->setText(mStatus);
        if (mDone) mViews->cancel->setTitle(std::string("Done"), ControlState::normal);
    }
}

void ActivityViewController::close() {
    if (presentingViewController() && !isBeingDismissed()) dismissViewController(true);
}

bool ActivityViewController::perform(const std::string& activity) {
    const auto offered = offeredActivityTypes();
    if (mItems.empty() || !contains(offered, activity) || isBeingDismissed()) return false;
    const ActivityItem& item = mItems.front();
    if (activity == activity::kCopyToPasteboard) {
        auto& pasteboard = Pasteboard::generalPasteboard();
        if (item.image) {
            pasteboard.setImage(item.image);
        } else {
            pasteboard.setString(item.url.empty() ? item.text : item.url);
        }
        mDone = activity;
        showStatus("Copied");
        close();
        return true;
    }
    if (activity == activity::kSaveToFiles) {
        const auto folder = saveFolder();
        const auto saved = savePNGUnderFreeName(*item.image, folder, item.name);
        if (!saved) {
            showStatus("Could not save the image in " + folder.string());
            return false;
        }
        mDone = activity;
        showStatus("Saved to " + saved->string());
        return true;
    }
    return false;
}

bool ActivityViewController::complete(std::optional<std::string> activity, bool completed) {
    if (!presentingViewController() || isBeingDismissed()) return false;
    if (activity && contains(mExcluded, *activity)) return false;
    // Reported as the sheet goes, with the activity named even when it
    // was not carried out.
    auto completion = mCompletion;
    mReported = true;
    mDone.reset();
    dismissViewController(true, [completion, activity, completed] {
        if (completion) completion(activity, activity ? completed : false);
    });
    return true;
}

DocumentPickerViewController::DocumentPickerViewController(std::vector<std::string> contentTypes, bool asCopy)
    : mTypes(std::move(contentTypes)), mAsCopy(asCopy) {}

bool DocumentPickerViewController::pick(std::vector<std::string> urls) {
    if (!presentingViewController() || isBeingDismissed()) return false;
    if (urls.empty() || (urls.size() > 1 && !mMultiple)) return false;
    std::weak_ptr<DocumentPickerViewController> weak =
        std::static_pointer_cast<DocumentPickerViewController>(sharedController());
    dismissViewController(true, [weak, urls = std::move(urls)] {
        const auto self = weak.lock();
        if (!self) return;
        if (auto d = self->delegate()) d->documentPickerDidPickDocumentsAtURLs(*self, urls);
    });
    return true;
}

void DocumentPickerViewController::cancel() {
    if (!presentingViewController() || isBeingDismissed()) return;
    std::weak_ptr<DocumentPickerViewController> weak =
        std::static_pointer_cast<DocumentPickerViewController>(sharedController());
    dismissViewController(true, [weak] {
        const auto self = weak.lock();
        if (!self) return;
        if (auto d = self->delegate()) d->documentPickerWasCancelled(*self);
    });
}

void StoreReviewController::requestReview() { ++gReviewRequests; }
int StoreReviewController::requestCount() { return gReviewRequests; }
void StoreReviewController::resetRequestCount() { gReviewRequests = 0; }

}  // namespace platform::ui
