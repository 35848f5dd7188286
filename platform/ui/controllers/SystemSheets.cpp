#include "platform/ui/controllers/SystemSheets.h"

#include "platform/graphics/BitmapBands.h"

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/AsciiText.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Paths.h"
#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/Context.h"
#include "platform/ui/controllers/BarItems.h"
#include "platform/ui/views/Button.h"
#include "platform/ui/views/Font.h"
#include "platform/ui/views/ImageView.h"
#include "platform/ui/views/Label.h"
#include "platform/ui/views/Pasteboard.h"
#include "platform/ui/views/SymbolImages.h"
#include "platform/ui/views/SystemColors.h"
#include "platform/ui/views/TableView.h"
#include "platform/ui/views/Screen.h"
#include "platform/ui/views/View.h"
#include "platform/ui/views/Window.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <functional>
#include <string_view>
#include <utility>

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

// What the desktop can do with an item, in the order offered.
const std::vector<std::string>& desktopActivities() {
    static const std::vector<std::string> all{activity::kCopyToPasteboard, activity::kSaveToFiles};
    return all;
}

std::string activityTitle(const std::string& activity) {
    if (activity == activity::kCopyToPasteboard) return systemString("Copy");
    if (activity == activity::kSaveToFiles) return systemString("Save as PNG");
    return "";
}

// The system's line of `english` in the user's language, its "%@" replaced
// by `value`.
std::string systemLine(const std::string& english, const std::string& value) {
    std::string line = systemString(english);
    if (const auto at = line.find("%@"); at != std::string::npos) line.replace(at, 2, value);
    return line;
}

// "file://" and the path, each byte outside the unreserved characters, the
// sub-delimiters, ":", "@" and "/" escaped.
std::string fileURL(const std::filesystem::path& path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    static constexpr std::string_view kKept = "-._~!$&'()*+,;=:@/";
    std::string url = "file://";
    for (const char c : path.string()) {
        const auto byte = static_cast<unsigned char>(c);
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                           kKept.find(c) != std::string_view::npos;
        if (plain) {
            url += c;
        } else {
            url += '%';
            url += kHex[byte >> 4];
            url += kHex[byte & 0xF];
        }
    }
    return url;
}

// The folders and the files of the given extensions in `folder`, hidden
// ones left out; folders first, then by name regardless of case. A folder
// that cannot be read (or an entry that cannot) gives what could be read.
template <typename Entry>
std::vector<Entry> listFolderInto(const std::filesystem::path& folder, const std::vector<std::string>& extensions) {
    namespace fs = std::filesystem;
    std::vector<Entry> entries;
    std::error_code error;
    fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, error);
    for (; !error && it != fs::directory_iterator(); it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.empty() || name.front() == '.') continue;
        std::error_code statError;
        if (it->is_directory(statError)) {
            entries.push_back({name, true});
            continue;
        }
        if (statError || !it->is_regular_file(statError) || statError) continue;
        const std::string extension = it->path().extension().string();
        if (extension.size() > 1 && contains(extensions, ascii::lowercased(std::string_view(extension).substr(1))))
            entries.push_back({name, false});
    }
    // Each name lowered once, not at every comparison.
    struct Keyed {
        std::string key;
        Entry entry;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(entries.size());
    for (Entry& entry : entries) {
        std::string key = ascii::lowercased(entry.name);
        keyed.push_back({std::move(key), std::move(entry)});
    }
    std::sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
        if (a.entry.folder != b.entry.folder) return a.entry.folder;
        return a.key != b.key ? a.key < b.key : a.entry.name < b.entry.name;
    });
    entries.clear();
    for (Keyed& item : keyed) entries.push_back(std::move(item.entry));
    return entries;
}

// A folder's absolute path without "." or ".." steps or a trailing
// separator, so that paths of one folder compare equal and a URL of it is
// whole.
std::filesystem::path folderPath(const std::filesystem::path& folder) {
    std::error_code error;
    auto path = std::filesystem::absolute(folder, error).lexically_normal();
    if (error) path = folder.lexically_normal();
    if (!path.has_filename() && path.has_relative_path()) path = path.parent_path();
    return path;
}

constexpr const char* kFolderSymbol = "folder.fill";
constexpr const char* kDocumentSymbol = "doc";

// A folder: a body with a tab on its top left.
void drawFolder(Context& context, const Rect& box) {
    const double w = box.width, h = box.height;
    context.addRoundedRect({box.x + w * 0.05, box.y + h * 0.2, w * 0.4, h * 0.2}, w * 0.05);
    context.addRoundedRect({box.x + w * 0.05, box.y + h * 0.28, w * 0.9, h * 0.57}, w * 0.07);
    context.fill();
}

// A page with its top right corner folded.
void drawDocument(Context& context, const Rect& box) {
    const double w = box.width, h = box.height;
    const double left = box.x + w * 0.18, right = box.x + w * 0.82, top = box.y + h * 0.08, bottom = box.y + h * 0.92;
    const double fold = w * 0.2;
    context.save();
    context.setLineWidth(std::max(1.0, w * 0.07));
    context.setLineJoin(LineJoin::round);
    const Point outline[] = {{left, top}, {right - fold, top}, {right, top + fold}, {right, bottom}, {left, bottom}};
    context.moveTo(outline[0]);
    context.addLines(outline + 1, std::size(outline) - 1);
    context.closePath();
    context.moveTo({right - fold, top});
    context.lineTo({right - fold, top + fold});
    context.lineTo({right, top + fold});
    context.setStrokeColor(context.fillColor());
    context.stroke();
    context.restore();
}

void registerPickerSymbols() {
    if (!hasSymbol(kFolderSymbol)) registerSymbol(kFolderSymbol, drawFolder);
    if (!hasSymbol(kDocumentSymbol)) registerSymbol(kDocumentSymbol, drawDocument);
}

// A sheet's bar: Cancel on the left and a bold title in the middle.
struct SheetHeader {
    std::shared_ptr<Button> cancel;
    std::shared_ptr<Label> title;
};

SheetHeader addSheetHeader(View& root, std::function<void()> cancelled) {
    SheetHeader header;
    header.cancel = Button::make(ButtonType::system);
    header.cancel->setTitle(systemTitle(BarButtonSystemItem::cancel), ControlState::normal);
    header.cancel->setAccessibilityIdentifier(kCancel);
    header.cancel->addAction([cancelled = std::move(cancelled)](Control&) { cancelled(); },
                             ControlEvents::touchUpInside);
    root.addSubview(header.cancel);
    header.title = std::make_shared<Label>();
    header.title->setFont(Font::boldSystemFont(Font::systemFontSize()));
    header.title->setTextAlignment(TextAlignment::center);
    // A long name (a layout's, a folder's) takes a second line, and shrinks
    // a little when two are not enough.
    header.title->setNumberOfLines(2);
    header.title->setAdjustsFontSizeToFitWidth(true);
    header.title->setMinimumScaleFactor(0.75);
    root.addSubview(header.title);
    return header;
}

// Room kept between the button and the title, so that neither seems to
// run on into the other.
constexpr double kTitleGap = 8;

// Lays out the bar; its height: `barHeight`, or more when the title takes
// lines of its own below the button.
double layoutSheetHeader(Button& cancel, Label& title, double width, double margin, double barHeight) {
    // At least 80 points, wider for a longer title in another language.
    const double side = std::max(80.0, cancel.intrinsicContentSize().width);
    cancel.setFrame({margin, 0, side, barHeight});
    // Set only when it changes: a label told its lines lays out anew.
    const auto lines = [&title](int count) {
        if (title.numberOfLines() != count) title.setNumberOfLines(count);
    };
    // Centred on the bar while it fits between the button and as much room
    // on the other side; a longer one takes all the room right of the
    // button, as a bar's title moves aside for its buttons. A gap from the
    // button either way.
    const double beside = margin + side + kTitleGap;
    const double centred = std::max(0.0, width - 2 * beside);
    lines(2);
    if (title.intrinsicContentSize().width <= centred) {
        title.setFrame({beside, 0, centred, barHeight});
        return barHeight;
    }
    title.setFrame({beside, 0, std::max(0.0, width - margin - beside), barHeight});
    if (!title.truncatesText()) return barHeight;
    // Two lines beside the button, shrunk as far as it may, cannot hold it:
    // below the button across the sheet, on as many lines as it needs.
    const double inner = std::max(0.0, width - 2 * margin);
    lines(0);
    const double height = title.sizeThatFits({inner, 0}).height;
    title.setFrame({margin, barHeight, inner, height});
    return barHeight + height + margin / 2;
}

// `image` as an image view fitting it into a frame of `size` points draws
// it at `scale`: whole, centred, with the same sampling, drawn in bands of
// rows side by side on the pool. Null when no such bitmap can be made.
std::shared_ptr<Image> reducedPreview(const Image& image, Size size, double scale, const Color& tint) {
    const int width = static_cast<int>(std::ceil(size.width * scale - 1e-6));
    const int height = static_cast<int>(std::ceil(size.height * scale - 1e-6));
    constexpr int kLeastBandRows = 64;
    const int count = std::clamp<int>(height / kLeastBandRows, 1, static_cast<int>(DispatchQueue::concurrency()));
    const std::vector<BandRows> rows = evenBands(height, count);
    BitmapBands bands = BitmapBands::make(width, height, scale, {0, 0}, rows);
    if (bands.empty()) return nullptr;
    const Rect placed = placeContent(image.size(), {0, 0, size.width, size.height}, ViewContentMode::scaleAspectFit);
    DispatchQueue::concurrentPerform(bands.size(), [&](std::size_t i) {
        drawImage(bands[i], image, placed, tint);
        bands.end(i);
    });
    return bands.takeImage();
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
    setTitle(systemTitle(BarButtonSystemItem::action));
}

void ActivityViewController::setExcludedActivityTypes(std::vector<std::string> types) {
    mExcluded = std::move(types);
    // Offer what is left.
    refreshActivityButtons();
}

void ActivityViewController::waitForItems(std::string status) {
    mWaiting = true;
    mAwaitedStatus.reset();
    showStatus(std::move(status));
    refreshActivityButtons();
}

void ActivityViewController::setActivityItems(std::vector<ActivityItem> items, std::string status) {
    mItems = std::move(items);
    if (mViews) {
        mViews->title->setText(mItems.empty() || mItems.front().name.empty() ? title() : mItems.front().name);
    }
    // Offered with their preview when it must be reduced first.
    mWaiting = showPreview();
    if (mWaiting) {
        mAwaitedStatus = std::move(status);
    } else {
        mAwaitedStatus.reset();
        showStatus(std::move(status));
    }
    refreshActivityButtons();
}

bool ActivityViewController::showPreview() {
    if (!mViews) return false;
    ImageView& preview = *mViews->preview;
    const std::shared_ptr<Image> image = mItems.empty() ? nullptr : mItems.front().image;
    const auto window = view()->window();
    const Size size = preview.bounds().size();
    const double scale = window ? window->screen()->scale() : 0;
    if (image && (size.width <= 0 || size.height <= 0 || scale <= 0)) {
        // Not laid out on a screen yet: nothing to draw until it is.
        mPreviewOf.reset();
        mPreviewPending = false;
        preview.setImage(nullptr);
        return false;
    }
    const double framePixels = size.width * scale * size.height * scale;
    if (!image || static_cast<double>(image->pixelWidth()) * image->pixelHeight() <= framePixels) {
        mPreviewOf = image;
        mPreviewPending = false;
        if (preview.image() != image) preview.setImage(image);
        return false;
    }
    if (mPreviewOf == image && mPreviewSize == size && mPreviewScale == scale) return mPreviewPending;
    mPreviewOf = image;
    mPreviewSize = size;
    mPreviewScale = scale;
    mPreviewPending = true;
    // One reduction at a time: a window dragged to another size asks for
    // one at each step, and only the last size is worth the whole picture.
    if (!mPreviewReducing) reducePreview();
    return true;
}

void ActivityViewController::reducePreview() {
    mPreviewReducing = true;
    ++mPreviewReductions;
    const std::weak_ptr<ActivityViewController> weak =
        std::static_pointer_cast<ActivityViewController>(sharedController());
    DispatchQueue::global().async(
        [weak, image = mPreviewOf, size = mPreviewSize, scale = mPreviewScale, tint = mViews->preview->tintColor()] {
            auto reduced = reducedPreview(*image, size, scale, tint);
            DispatchQueue::main().async([weak, image, size, scale, reduced = std::move(reduced)]() mutable {
                if (const auto self = weak.lock()) self->previewReduced(image, size, scale, std::move(reduced));
            });
        });
}

void ActivityViewController::previewReduced(const std::shared_ptr<Image>& image, Size size, double scale,
                                            std::shared_ptr<Image> reduced) {
    mPreviewReducing = false;
    if (!mPreviewPending) return;
    if (image != mPreviewOf || size != mPreviewSize || scale != mPreviewScale) {
        // Made for a frame no longer shown: the latest one's turn.
        reducePreview();
        return;
    }
    mPreviewPending = false;
    if (mViews) mViews->preview->setImage(std::move(reduced));
    offerAwaitedItems();
}

void ActivityViewController::offerAwaitedItems() {
    if (!mAwaitedStatus) return;
    mWaiting = false;
    showStatus(*std::exchange(mAwaitedStatus, std::nullopt));
    refreshActivityButtons();
}

std::vector<std::string> ActivityViewController::offeredActivityTypes() const {
    std::vector<std::string> offered;
    // Awaited items may be anything: all that the desktop can do is shown.
    const bool anything = mWaiting || !mItems.empty();
    const bool image = mWaiting || (anything && mItems.front().image);
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

    auto header = addSheetHeader(*root, [weak] {
        if (auto self = weak.lock()) self->close();
    });
    views->cancel = std::move(header.cancel);
    views->title = std::move(header.title);
    views->title->setText(mItems.empty() || mItems.front().name.empty() ? title() : mItems.front().name);

    // Its picture comes once it is laid out on a screen (showPreview).
    views->preview = std::make_shared<ImageView>();
    views->preview->setContentMode(ViewContentMode::scaleAspectFit);
    views->preview->setAccessibilityIdentifier("preview");
    root->addSubview(views->preview);

    for (const std::string& activity : desktopActivities()) {
        auto button = Button::make(ButtonType::system);
        button->setTitle(activityTitle(activity), ControlState::normal);
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
    // As many lines as it needs: where a picture went is told whole.
    views->status->setNumberOfLines(0);
    views->status->setAccessibilityIdentifier("status");
    // Said before the sheet was shown (waiting for its items).
    views->status->setText(mStatus);
    root->addSubview(views->status);

    mViews = std::move(views);
    setView(root);
    refreshActivityButtons();
}

void ActivityViewController::viewDidLayoutSubviews() {
    if (!mViews) return;
    const Rect bounds = view()->bounds();
    const double bottom = bounds.height - view()->safeAreaInsets().bottom;
    const double inner = std::max(0.0, bounds.width - 2 * kMargin);
    const double header = layoutSheetHeader(*mViews->cancel, *mViews->title, bounds.width, kMargin, kBarHeight);
    const double statusHeight =
        std::max(kStatusHeight, mViews->status->sizeThatFits({inner, 0}).height + kStatusHeight / 4);
    double y = bottom - statusHeight;
    mViews->status->setFrame({kMargin, y, inner, statusHeight});
    for (auto it = mViews->activities.rbegin(); it != mViews->activities.rend(); ++it) {
        if ((*it)->isHidden()) continue;
        y -= kButtonHeight;
        (*it)->setFrame({kMargin, y, inner, kButtonHeight});
    }
    mViews->preview->setFrame({kMargin, header, inner, std::max(0.0, y - kMargin - header)});
    // Laid out anew (shown, or another size): the picture for this frame.
    // Items awaiting a preview that is no longer asked for are offered.
    if (!showPreview()) offerAwaitedItems();
}

void ActivityViewController::viewWillAppear(bool animated) {
    ViewController::viewWillAppear(animated);
    if (isBeingPresented()) {
        ++mPresentations;
        mReported = false;
        mReportWhenSaved = false;
        mClosingAfterCopy = false;
        refreshActivityButtons();
    }
}

void ActivityViewController::viewDidDisappear(bool animated) {
    ViewController::viewDidDisappear(animated);
    // Gone, however it was closed: say once what was done (a save under
    // way once it has ended).
    if (presentingViewController() || mReported) return;
    if (mSaving) {
        mReportWhenSaved = true;
        return;
    }
    report();
}

void ActivityViewController::showStatus(std::string text) {
    mStatus = std::move(text);
    if (mViews) {
        mViews->status->setText(mStatus);
        view()->setNeedsLayout();
        if (mDone) mViews->cancel->setTitle(systemTitle(BarButtonSystemItem::done), ControlState::normal);
    }
}

void ActivityViewController::close() {
    if (presentingViewController() && !isBeingDismissed()) dismissViewController(true);
}

bool ActivityViewController::perform(const std::string& activity) {
    const auto offered = offeredActivityTypes();
    if (mWaiting || mClosingAfterCopy || mItems.empty() || !contains(offered, activity) || isBeingDismissed())
        return false;
    const ActivityItem& item = mItems.front();
    if (activity == activity::kCopyToPasteboard) {
        auto& pasteboard = Pasteboard::generalPasteboard();
        if (item.image) {
            pasteboard.setImage(item.image);
        } else {
            pasteboard.setString(item.url.empty() ? item.text : item.url);
        }
        mDone = activity;
        mClosingAfterCopy = true;
        showStatus(systemString(kCopiedStatus));
        refreshActivityButtons();
        // Closed once "Copied" can be read; not a sheet presented again
        // meanwhile.
        const std::weak_ptr<ActivityViewController> weak =
            std::static_pointer_cast<ActivityViewController>(sharedController());
        DispatchQueue::main().asyncAfter(
            std::chrono::duration_cast<Clock::Duration>(std::chrono::duration<double>(kCopiedShowTime)),
            [weak, presentation = mPresentations] {
                const auto self = weak.lock();
                if (self && self->mPresentations == presentation) self->close();
            });
        return true;
    }
    if (activity == activity::kSaveToFiles) {
        if (mSaving) return false;
        mSaving = true;
        refreshActivityButtons();
        showStatus(systemString(kSavingStatus));
        // Encoding a big picture takes long: off the main thread, the
        // outcome back on it. The sheet is kept until it has heard, and is
        // let go on the main thread.
        auto self = std::static_pointer_cast<ActivityViewController>(sharedController());
        DispatchQueue::global().async(
            [self = std::move(self), image = item.image, folder = saveFolder(), name = item.name]() mutable {
                auto path = savePNGUnderFreeName(*image, folder, name);
                DispatchQueue::main().async([self = std::move(self), folder = std::move(folder),
                                             path = std::move(path)] { self->saved(folder, path); });
            });
        return true;
    }
    return false;
}

void ActivityViewController::saved(const std::filesystem::path& folder,
                                   const std::optional<std::filesystem::path>& path) {
    mSaving = false;
    refreshActivityButtons();
    if (path) {
        mDone = activity::kSaveToFiles;
        showStatus(systemLine("Saved to %@", path->string()));
    } else {
        showStatus(systemLine("Could not save the image in %@", folder.string()));
    }
    // Closed while saving: told now, with the save.
    if (mReportWhenSaved) {
        mReportWhenSaved = false;
        report();
    }
}

void ActivityViewController::refreshActivityButtons() {
    if (!mViews) return;
    const auto offered = offeredActivityTypes();
    for (const auto& button : mViews->activities) {
        const std::string& activity = button->accessibilityIdentifier();
        button->setHidden(!contains(offered, activity));
        button->setEnabled(!mWaiting && !mClosingAfterCopy && !(mSaving && activity == activity::kSaveToFiles));
    }
    view()->setNeedsLayout();
}

void ActivityViewController::report() {
    mReported = true;
    const auto done = mDone;
    mDone.reset();
    if (mCompletion) mCompletion(done, done.has_value());
}

bool ActivityViewController::complete(std::optional<std::string> activity, bool completed) {
    if (!presentingViewController() || isBeingDismissed()) return false;
    // Nothing can be done with items not there yet; closing can.
    if (activity && (contains(mExcluded, *activity) || mWaiting)) return false;
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

std::vector<std::string> fileExtensionsForContentType(const std::string& type, const platform::Bundle* bundle) {
    std::vector<std::string> extensions;
    const auto declarations = bundle ? bundle->infoValue("UTExportedTypeDeclarations") : std::nullopt;
    const auto* list = declarations ? declarations->asArray() : nullptr;
    if (!list) return extensions;
    const auto add = [&](const platform::Value& value) {
        const std::string* text = value.asString();
        if (!text || text->empty()) return;
        std::string extension = ascii::lowercased(*text);
        if (extension.front() == '.') extension.erase(0, 1);
        if (!extension.empty() && !contains(extensions, extension)) extensions.push_back(std::move(extension));
    };
    for (const platform::Value& declaration : *list) {
        const platform::Value* identifier = declaration.find("UTTypeIdentifier");
        if (!identifier || !identifier->asString() || *identifier->asString() != type) continue;
        const platform::Value* tags = declaration.find("UTTypeTagSpecification");
        const platform::Value* names = tags ? tags->find("public.filename-extension") : nullptr;
        if (!names) continue;
        if (const auto* several = names->asArray()) {
            for (const platform::Value& name : *several) add(name);
        } else {
            add(*names);
        }
    }
    return extensions;
}

struct DocumentPickerViewController::Views {
    std::shared_ptr<Button> cancel;
    std::shared_ptr<Label> title;
    std::shared_ptr<View> rule;
    std::shared_ptr<TableView> table;
    std::shared_ptr<List> list;
};

// The rows: the one to the folder above (when there is one), then the
// folder's entries.
class DocumentPickerViewController::List : public TableViewDataSource, public TableViewDelegate {
public:
    explicit List(std::weak_ptr<DocumentPickerViewController> picker) : mPicker(std::move(picker)) {}

    int numberOfRowsInSection(TableView&, int) override {
        const auto picker = mPicker.lock();
        if (!picker) return 0;
        return static_cast<int>(picker->mEntries.size()) + (picker->canGoUp() ? 1 : 0);
    }

    std::shared_ptr<TableViewCell> cellForRowAtIndexPath(TableView& table, IndexPath indexPath) override {
        auto cell = table.dequeueReusableCell(kEntryCell);
        const auto picker = mPicker.lock();
        if (!cell || !picker) return cell;
        const bool up = picker->canGoUp();
        std::string name = kUpRowTitle;
        bool folder = true;
        if (!up || indexPath.row > 0) {
            const auto& entry = picker->mEntries.at(static_cast<std::size_t>(indexPath.row - (up ? 1 : 0)));
            name = entry.name;
            folder = entry.folder;
        }
        cell->textLabel()->setText(name);
        cell->imageView()->setImage(systemImage(folder ? kFolderSymbol : kDocumentSymbol, 22));
        cell->setAccessibilityIdentifier(name);
        return cell;
    }

    void didSelectRowAtIndexPath(TableView& table, IndexPath indexPath) override {
        table.deselectRow(indexPath, false);
        if (const auto picker = mPicker.lock()) picker->tappedRow(indexPath.row);
    }

    static constexpr const char* kEntryCell = "entry";

private:
    std::weak_ptr<DocumentPickerViewController> mPicker;
};

DocumentPickerViewController::DocumentPickerViewController(std::vector<std::string> contentTypes, bool asCopy)
    : mTypes(std::move(contentTypes)), mAsCopy(asCopy) {
    // Arrives as a sheet, as the platform's picker does.
    setModalPresentationStyle(ModalPresentationStyle::formSheet);
    for (const std::string& type : mTypes) {
        for (auto& extension : fileExtensionsForContentType(type, platform::Bundle::main())) {
            if (!contains(mExtensions, extension)) mExtensions.push_back(std::move(extension));
        }
    }
}

void DocumentPickerViewController::loadView() {
    registerPickerSymbols();
    auto root = std::make_shared<View>(Rect{0, 0, 320, 480});
    root->setBackgroundColor(SystemColors::kWhite);
    auto views = std::make_shared<Views>();
    std::weak_ptr<DocumentPickerViewController> weak =
        std::static_pointer_cast<DocumentPickerViewController>(sharedController());

    auto header = addSheetHeader(*root, [weak] {
        if (auto self = weak.lock()) self->cancel();
    });
    views->cancel = std::move(header.cancel);
    views->title = std::move(header.title);
    views->title->setAccessibilityIdentifier("folder");

    views->rule = std::make_shared<View>();
    views->rule->setBackgroundColor(SystemColors::kLightGray);
    root->addSubview(views->rule);

    views->list = std::make_shared<List>(weak);
    views->table = TableView::make();
    views->table->setRowHeight(kRowHeight);
    views->table->registerCellClass<TableViewCell>(List::kEntryCell);
    views->table->setDataSource(views->list);
    views->table->setTableDelegate(views->list);
    root->addSubview(views->table);

    mViews = std::move(views);
    setView(root);
}

void DocumentPickerViewController::viewDidLayoutSubviews() {
    if (!mViews) return;
    const Rect bounds = view()->bounds();
    const double header = layoutSheetHeader(*mViews->cancel, *mViews->title, bounds.width, kMargin, kBarHeight);
    mViews->rule->setFrame({0, header - 0.5, bounds.width, 0.5});
    mViews->table->setFrame({0, header, bounds.width, std::max(0.0, bounds.height - header)});
}

void DocumentPickerViewController::viewWillAppear(bool animated) {
    ViewController::viewWillAppear(animated);
    if (!isBeingPresented()) return;
    mReported = false;
    if (mDirectory.empty()) {
        mHome = folderPath(platform::Paths::root());
        show(folderPath(platform::Paths::documents()));
    } else {
        show(mDirectory);
    }
}

void DocumentPickerViewController::viewDidDisappear(bool animated) {
    ViewController::viewDidDisappear(animated);
    // Gone without a pick, however it was closed: cancelled, once.
    if (presentingViewController() || mReported) return;
    mReported = true;
    if (auto d = delegate()) d->documentPickerWasCancelled(*this);
}

void DocumentPickerViewController::show(const std::filesystem::path& folder) {
    mDirectory = folder;
    mEntries = listFolderInto<Entry>(folder, mExtensions);
    if (!mViews) return;
    mViews->title->setText(folder.filename().string());
    mViews->table->setContentOffset({0, 0});
    mViews->table->reloadData();
}

bool DocumentPickerViewController::canGoUp() const {
    if (mHome.empty() || mDirectory == mHome) return false;
    const auto relative = mDirectory.lexically_relative(mHome);
    return !relative.empty() && relative != "." && *relative.begin() != "..";
}

void DocumentPickerViewController::tappedRow(int row) {
    if (!presentingViewController() || isBeingDismissed()) return;
    const bool up = canGoUp();
    if (up && row == 0) {
        show(mDirectory.parent_path());
        return;
    }
    const auto index = static_cast<std::size_t>(row - (up ? 1 : 0));
    if (index >= mEntries.size()) return;
    const Entry entry = mEntries[index];
    if (entry.folder) {
        show(mDirectory / entry.name);
    } else {
        pick({fileURL(mDirectory / entry.name)});
    }
}

bool DocumentPickerViewController::pick(std::vector<std::string> urls) {
    if (!presentingViewController() || isBeingDismissed()) return false;
    if (urls.empty() || (urls.size() > 1 && !mMultiple)) return false;
    mReported = true;
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
    // Reported as it goes (viewDidDisappear).
    if (presentingViewController() && !isBeingDismissed()) dismissViewController(true);
}

void StoreReviewController::requestReview() { ++gReviewRequests; }
int StoreReviewController::requestCount() { return gReviewRequests; }
void StoreReviewController::resetRequestCount() { gReviewRequests = 0; }

}  // namespace platform::ui
