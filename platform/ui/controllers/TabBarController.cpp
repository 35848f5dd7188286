#include "platform/ui/controllers/TabBarController.h"

#include "platform/ui/controllers/BarItems.h"
#include "platform/ui/views/Button.h"
#include "platform/ui/views/ImageView.h"
#include "platform/ui/views/Label.h"
#include "platform/ui/views/Screen.h"

#include <algorithm>
#include <string>
#include <string_view>

namespace platform::ui {

namespace {

// The platform's tab bar: the selected tab in the tint, the others grey;
// in a narrow item the image sits above a small title, in a wide one beside
// a larger title. A title too long for its item takes a second line where
// the bar has room for one, and the titles shrink together, all at one
// size as the platform's are, rather than one being cut or made tiny.
const Color kUnselectedTint{0.56, 0.56, 0.58, 1};
constexpr double kStackedBelow = 120;  // item widths below this stack
constexpr double kStackedTitleSize = 10;
constexpr double kSideTitleSize = 13;
constexpr double kImageSide = 28;
// Below this share of their size the titles are hard to read: a title that
// does not fit even so is cut.
constexpr double kTitleMinimumScale = 0.8;
constexpr int kTitleMaximumLines = 2;
constexpr double kItemInset = 2;
constexpr double kImageTitleGap = 6;

Size fittedImageSize(const ImageView& image) {
    if (image.isHidden() || !image.image()) return {};
    const Size size = image.image()->size();
    const double fit = std::min(
        {1.0, size.width > 0 ? kImageSide / size.width : 1.0, size.height > 0 ? kImageSide / size.height : 1.0});
    return {size.width * fit, size.height * fit};
}

class TabBarButton : public Button {
public:
    TabBarButton() : Button(ButtonType::system) {}

    bool stacked() const { return bounds().width < kStackedBelow; }
    double titleSize() const { return stacked() ? kStackedTitleSize : kSideTitleSize; }
    Size imageSize() { return fittedImageSize(*imageView()); }
    // The title's width: the item's, less the image beside it.
    double titleRoom() {
        const double room = std::max(0.0, bounds().width - 2 * kItemInset);
        const Size image = imageSize();
        if (stacked() || image.width <= 0) return room;
        return std::max(0.0, room - image.width - kImageTitleGap);
    }
    // The lines the title may take in the bar's height beside or under the
    // image, at this font.
    int titleLines(const Font& font) {
        const double height = stacked() ? TabBar::kHeight - imageSize().height : TabBar::kHeight;
        const int lines = static_cast<int>(height / font.lineHeight());
        return std::clamp(lines, 1, kTitleMaximumLines);
    }
    // Whether the title shows whole at `scale` of its size: no word broken,
    // within the lines it may take.
    bool titleFits(double scale) {
        const auto& title = titleLabel();
        if (title->isHidden() || title->text().empty()) return true;
        const Font font = Font::systemFont(titleSize() * scale, FontWeight::medium);
        const double room = titleRoom();
        Label probe;
        probe.setFont(font);
        std::string_view text = title->text();
        while (!text.empty()) {
            const std::size_t space = text.find(' ');
            probe.setText(std::string(text.substr(0, space)));
            if (probe.sizeThatFits({0, 0}).width > room) return false;
            text = space == std::string_view::npos ? std::string_view() : text.substr(space + 1);
        }
        probe.setText(title->text());
        probe.setNumberOfLines(titleLines(font));
        probe.setFrame({0, 0, room, TabBar::kHeight});
        return !probe.truncatesText();
    }
    void setTitleScale(double scale) {
        const Font font = Font::systemFont(titleSize() * scale, FontWeight::medium);
        const auto& title = titleLabel();
        if (!(title->font() == font)) title->setFont(font);
        title->setNumberOfLines(titleLines(font));
        setNeedsLayout();
    }

    void layoutSubviews() override {
        const Rect b = bounds();
        const auto& title = titleLabel();
        const auto& image = imageView();
        const Size imageSize = this->imageSize();
        const bool hasTitle = !title->isHidden();
        const double room = titleRoom();
        const Size natural = hasTitle ? title->sizeThatFits({room, 0}) : Size{};
        if (stacked()) {
            const double total = imageSize.height + natural.height;
            const double top = b.minY() + std::max(0.0, (TabBar::kHeight - total) / 2);
            image->setFrame({b.minX() + (b.width - imageSize.width) / 2, top, imageSize.width, imageSize.height});
            title->setFrame({b.minX() + kItemInset, top + imageSize.height, room, natural.height});
        } else {
            const double gap = imageSize.width > 0 && hasTitle ? kImageTitleGap : 0;
            const double titleWidth = std::min(natural.width, room);
            const double x = b.minX() + (b.width - imageSize.width - gap - titleWidth) / 2;
            const double middle = b.minY() + TabBar::kHeight / 2;
            image->setFrame({x, middle - imageSize.height / 2, imageSize.width, imageSize.height});
            title->setFrame({x + imageSize.width + gap, middle - natural.height / 2, titleWidth, natural.height});
        }
    }
    std::string className() const override { return "TabBarButton"; }
};

}  // namespace

// --- TabBar -------------------------------------------------------------------

TabBar::TabBar() : View(Rect{0, 0, 320, kHeight}) { setBackgroundColor(Color{0.97, 0.97, 0.97, 1}); }

void TabBar::show(const std::vector<std::shared_ptr<ViewController>>& controllers, std::size_t selected,
                  std::function<void(std::size_t)> tapped) {
    for (const auto& button : mButtons) button->removeFromSuperview();
    mButtons.clear();
    auto shared = std::make_shared<std::function<void(std::size_t)>>(std::move(tapped));
    for (std::size_t i = 0; i < controllers.size(); ++i) {
        ViewController& controller = *controllers[i];
        TabBarItem& item = controller.tabBarItem();
        auto button = std::make_shared<TabBarButton>();
        button->setTintColor(i == selected ? std::nullopt : std::optional<Color>(kUnselectedTint));
        button->setTitle(item.title().empty() ? controller.title() : item.title(), ControlState::normal);
        const auto image = i == selected && item.selectedImage() ? item.selectedImage() : item.image();
        if (image) button->setImage(image, ControlState::normal);
        button->setSelected(i == selected);
        button->setTag(item.tag());
        button->addAction([shared, i](Control&) { (*shared)(i); }, ControlEvents::touchUpInside);
        addSubview(button);
        mButtons.push_back(button);
    }
    setNeedsLayout();
}

void TabBar::layoutSubviews() {
    if (mButtons.empty()) return;
    const Rect b = bounds();
    const double width = b.width / static_cast<double>(mButtons.size());
    for (std::size_t i = 0; i < mButtons.size(); ++i) {
        mButtons[i]->setFrame({b.x + width * static_cast<double>(i), b.y, width, kHeight});
    }
    // One size for every title: the largest, to a hundredth, at which all
    // of them fit, not below the smallest legible.
    const auto allFit = [&](double scale) {
        for (const auto& button : mButtons) {
            if (!static_cast<TabBarButton&>(*button).titleFits(scale)) return false;
        }
        return true;
    };
    double scale = 1;
    if (!allFit(1)) {
        double low = kTitleMinimumScale;
        double high = 1;
        if (allFit(low)) {
            while (high - low > 0.01) {
                const double middle = (low + high) / 2;
                (allFit(middle) ? low : high) = middle;
            }
        }
        scale = low;
    }
    for (const auto& button : mButtons) static_cast<TabBarButton&>(*button).setTitleScale(scale);
}

// --- TabBarController ---------------------------------------------------------

std::shared_ptr<TabBar> TabBarController::tabBar() {
    if (!mBar) mBar = std::make_shared<TabBar>();
    return mBar;
}

void TabBarController::loadView() {
    auto view = std::make_shared<View>(Screen::mainScreen()->bounds());
    view->setBackgroundColor(Color{1, 1, 1, 1});
    view->addSubview(tabBar());
    setView(view);
    if (const auto selected = selectedViewController()) {
        mShown = selected;
        view->insertSubview(selected->view(), 0);
    }
    refreshBar();
}

void TabBarController::viewWillLayoutSubviews() {
    const auto view = viewIfLoaded();
    if (!view) return;
    const Rect b = view->bounds();
    const double barHeight = TabBar::kHeight + view->safeAreaInsets().bottom;
    mBar->setFrame({b.x, b.maxY() - barHeight, b.width, barHeight});
    if (mShown && mShown->viewIfLoaded()) {
        mShown->view()->setFrame({b.x, b.y, b.width, std::max(0.0, b.height - barHeight)});
    }
}

std::shared_ptr<ViewController> TabBarController::selectedViewController() const {
    return mSelected < mControllers.size() ? mControllers[mSelected] : nullptr;
}

void TabBarController::setViewControllers(std::vector<std::shared_ptr<ViewController>> controllers, bool animated) {
    (void)animated;
    const auto keep = sharedController();
    const auto selected = selectedViewController();
    for (const auto& c : mControllers) {
        if (std::find(controllers.begin(), controllers.end(), c) == controllers.end() && c != selected) {
            c->willMoveToParentViewController(nullptr);
            c->removeFromParentViewController();
        }
    }
    for (const auto& c : controllers) {
        if (c->parentViewController().get() != this) {
            addChildViewController(c);
            c->didMoveToParentViewController(this);
        }
    }
    const std::size_t oldIndex = mSelected;
    mControllers = std::move(controllers);
    const auto kept = std::find(mControllers.begin(), mControllers.end(), selected);
    if (mControllers.empty()) {
        mSelected = kNoSelection;
    } else if (kept != mControllers.end()) {
        mSelected = static_cast<std::size_t>(kept - mControllers.begin());
    } else if (oldIndex == kNoSelection) {
        mSelected = 0;
    } else {
        mSelected = std::min(oldIndex, mControllers.size() - 1);
    }
    show(selectedViewController());
    if (selected && kept == mControllers.end()) {
        selected->willMoveToParentViewController(nullptr);
        selected->removeFromParentViewController();
    }
    refreshBar();
}

void TabBarController::setSelectedIndex(std::size_t index) {
    if (index >= mControllers.size()) return;
    mSelected = index;
    show(mControllers[index]);
    refreshBar();
}

void TabBarController::setSelectedViewController(const std::shared_ptr<ViewController>& controller) {
    const auto at = std::find(mControllers.begin(), mControllers.end(), controller);
    if (at != mControllers.end()) setSelectedIndex(static_cast<std::size_t>(at - mControllers.begin()));
}

void TabBarController::tapTab(std::size_t index) {
    if (index >= mControllers.size()) return;
    const auto controller = mControllers[index];
    const auto d = delegate();
    if (d && !d->shouldSelectViewController(*this, *controller)) return;
    setSelectedIndex(index);
    if (d) d->didSelectViewController(*this, *controller);
}

void TabBarController::show(const std::shared_ptr<ViewController>& controller) {
    const auto view = viewIfLoaded();
    if (controller == mShown) return;
    const auto from = mShown;
    mShown = controller;
    if (!view) return;
    const bool shown = appearanceState() == AppearanceState::appeared;
    if (shown && from) from->beginAppearanceTransition(false, false);
    if (shown && controller) controller->beginAppearanceTransition(true, false);
    if (from && from->viewIfLoaded()) from->view()->removeFromSuperview();
    if (controller) view->insertSubview(controller->view(), 0);
    view->setNeedsLayout();
    if (shown && from) from->endAppearanceTransition();
    if (shown && controller) controller->endAppearanceTransition();
}

void TabBarController::refreshBar() {
    if (!mBar) return;
    std::weak_ptr<TabBarController> weak = std::static_pointer_cast<TabBarController>(sharedController());
    mBar->show(mControllers, mSelected, [weak](std::size_t index) {
        if (auto self = weak.lock()) self->tapTab(index);
    });
}

}  // namespace platform::ui
