#include "LayoutModule/Scenes/VKMLayoutScenes.h"

#include "LayoutModule/ElementInfo/VKMElementInfoViewController.h"
#include "LayoutModule/LayerList/VKMLayerListViewController.h"
#include "LayoutModule/Layout/VKMLayoutSymbols.h"
#include "LayoutModule/Layout/VKMLayoutPreparer.h"
#include "LayoutModule/Layout/VKMLayoutView.h"
#include "LayoutModule/Layout/VKMLayoutViewController.h"
#include "LayoutModule/LayoutDetails/VKMLayoutDescriptionViewController.h"
#include "LayoutModule/LayoutDetails/VKMLayoutDetailsViewController.h"
#include "LayoutModule/LayoutDetails/VKMLayoutSummaryViewController.h"
#include "LayoutModule/LayoutDetails/VKMSpecificLanguageDescriptionViewController.h"
#include "LayoutModule/LayoutSettings/VKMLayoutSettingsTableViewController.h"
#include "LayoutModule/PartList/VKMPartListViewController.h"
#include "SharingModule/Model/VKMCurrentCloudLayout.h"
#include "app/Session/VKMLayoutSession.h"
#include "engine/services/LocalizationService.h"
#include "engine/services/ZDUtils.h"
#include "platform/foundation/Bundle.h"
#include "platform/ui/views/Button.h"
#include "platform/ui/views/Font.h"
#include "platform/ui/views/ImageView.h"
#include "platform/ui/views/Label.h"
#include "platform/ui/views/PageControl.h"
#include "platform/ui/input/PanGestureRecognizer.h"
#include "platform/ui/input/PinchGestureRecognizer.h"
#include "platform/ui/controllers/PresentationController.h"
#include "platform/ui/views/Screen.h"
#include "platform/ui/views/ScrollView.h"
#include "platform/ui/views/SegmentedControl.h"
#include "platform/ui/views/StackView.h"
#include "platform/ui/views/Switch.h"
#include "platform/ui/views/SystemColors.h"
#include "platform/ui/views/TableView.h"
#include "platform/ui/views/TableViewCell.h"
#include "platform/ui/input/TapGestureRecognizer.h"
#include "platform/ui/views/TextView.h"
#include "platform/ui/views/Window.h"

using namespace platform::ui;
using platform::Rect;

namespace VKMLayoutScenes {

namespace {

constexpr auto kFlexibleSize = ViewAutoresizing::flexibleWidth | ViewAutoresizing::flexibleHeight;

std::shared_ptr<View> rootView() {
    auto root = std::make_shared<View>(Screen::mainScreen()->bounds());
    root->setBackgroundColor(SystemColors::kWhite);
    return root;
}

std::shared_ptr<Label> makeLabel(const Rect& frame, double size) {
    auto label = std::make_shared<Label>(frame);
    label->setFont(Font::systemFont(size));
    return label;
}

// A controller's member function as a recogniser's or control's action,
// holding the controller weakly.
template <typename Sender>
std::function<void(Sender&)> action(const std::shared_ptr<VKMLayoutViewController>& controller,
                                    void (VKMLayoutViewController::*method)()) {
    const std::weak_ptr<VKMLayoutViewController> weak = controller;
    return [weak, method](Sender&) {
        if (auto self = weak.lock()) ((*self).*method)();
    };
}
std::function<void(GestureRecognizer&)> gesture(const std::shared_ptr<VKMLayoutViewController>& controller,
                                                void (VKMLayoutViewController::*method)(GestureRecognizer&)) {
    const std::weak_ptr<VKMLayoutViewController> weak = controller;
    return [weak, method](GestureRecognizer& recognizer) {
        if (auto self = weak.lock()) ((*self).*method)(recognizer);
    };
}

std::shared_ptr<ViewController> makeLayoutScreen() {
    auto controller = std::make_shared<VKMLayoutViewController>();
    auto root = rootView();
    const Rect bounds = root->bounds();

    auto layoutView = std::make_shared<VKMLayoutView>(bounds);
    layoutView->setAutoresizingMask(kFlexibleSize);
    root->addSubview(layoutView);

    auto title = makeLabel({0, 0, bounds.width - 120, 24}, 20);
    // A long title takes a second line, then shrinks a little.
    title->setNumberOfLines(2);
    title->setAdjustsFontSizeToFitWidth(true);
    title->setMinimumScaleFactor(0.75);
    auto author = Button::make(ButtonType::system);
    author->addAction(action<Control>(controller, &VKMLayoutViewController::authorTapped),
                      ControlEvents::touchUpInside);
    auto like = Button::make(ButtonType::custom);
    like->addAction(action<Control>(controller, &VKMLayoutViewController::likeButtonTapped),
                    ControlEvents::touchUpInside);
    auto info = Button::make(ButtonType::custom);
    info->addAction(action<Control>(controller, &VKMLayoutViewController::infoButtonTapped),
                    ControlEvents::touchUpInside);
    auto buttons = StackView::make({like, info});
    buttons->setAxis(LayoutConstraintAxis::horizontal);
    buttons->setSpacing(12);
    auto infoStack = StackView::make({title, author, buttons});
    infoStack->setAxis(LayoutConstraintAxis::vertical);
    infoStack->setAlignment(StackViewAlignment::leading);
    infoStack->setSpacing(4);
    infoStack->setHidden(true);
    infoStack->setTranslatesAutoresizingMaskIntoConstraints(false);
    root->addSubview(infoStack);
    LayoutConstraint::activateConstraints({
        infoStack->leadingAnchor().constraintEqualToAnchor(root->safeAreaLayoutGuide()->leadingAnchor(),
                                                           VKMLayoutViewController::titleBlockLeadingInset()),
        infoStack->trailingAnchor().constraintLessThanOrEqualToAnchor(
            root->safeAreaLayoutGuide()->trailingAnchor(), -VKMLayoutViewController::titleBlockTrailingInset()),
        infoStack->topAnchor().constraintEqualToAnchor(root->safeAreaLayoutGuide()->topAnchor(), 8),
    });

    auto emptyImage = std::make_shared<ImageView>(VKMLayoutSymbols::image(VKMLayoutSymbols::kLayers, 64));
    emptyImage->setTag(VKMLayoutViewController::kEmptyStateImageTag);
    auto emptyLabel = makeLabel({0, 0, 240, 24}, 17);
    // The app's first screen is made before its services are up: the text
    // comes straight from the bundle's table.
    const platform::Bundle* bundle = platform::Bundle::main();
    emptyLabel->setText(
        bundle ? bundle->localizedString("NoLayoutOpen", LocalizationService::kStringTable).value_or(std::string())
               : std::string());
    emptyLabel->setTextColor(SystemColors::kGray);
    auto emptyStack = StackView::make({emptyImage, emptyLabel});
    emptyStack->setAxis(LayoutConstraintAxis::vertical);
    emptyStack->setAlignment(StackViewAlignment::center);
    emptyStack->setSpacing(12);
    emptyStack->setTranslatesAutoresizingMaskIntoConstraints(false);
    root->addSubview(emptyStack);
    LayoutConstraint::activateConstraints({
        emptyStack->centerXAnchor().constraintEqualToAnchor(root->centerXAnchor()),
        emptyStack->centerYAnchor().constraintEqualToAnchor(root->centerYAnchor()),
    });

    auto actions = StackView::make();
    root->addSubview(actions);

    auto pinch = std::make_shared<PinchGestureRecognizer>();
    pinch->setName("pinchRecognizer");
    pinch->addAction(gesture(controller, &VKMLayoutViewController::handlePinchGesture));
    auto pan = std::make_shared<PanGestureRecognizer>();
    pan->setName("panRecognizer");
    pan->addAction(gesture(controller, &VKMLayoutViewController::handlePanGesture));
    auto tap = std::make_shared<TapGestureRecognizer>();
    tap->setName("tapRecognizer");
    tap->setNumberOfTapsRequired(2);
    tap->addAction(gesture(controller, &VKMLayoutViewController::handleDoubleTapAction));
    for (const std::shared_ptr<GestureRecognizer>& recognizer :
         {std::shared_ptr<GestureRecognizer>(pinch), std::shared_ptr<GestureRecognizer>(pan),
          std::shared_ptr<GestureRecognizer>(tap)}) {
        root->addGestureRecognizer(recognizer);
    }

    auto& outlets = controller->outlets;
    outlets.layoutTitleLabel = title;
    outlets.authorButton = author;
    outlets.likeButton = like;
    outlets.infoButton = info;
    outlets.layoutInfoStackView = infoStack;
    outlets.emptyStateStackView = emptyStack;
    outlets.actionsStackView = actions;
    outlets.layoutView = layoutView;
    outlets.pinchRecognizer = pinch;
    outlets.panRecognizer = pan;
    outlets.tapRecognizer = tap;
    controller->setView(root);
    return controller;
}

std::shared_ptr<ViewController> makeLayoutSettings() {
    auto controller = std::make_shared<VKMLayoutSettingsTableViewController>();
    controller->tableView()->registerCell(
        VKMLayoutSettingsTableViewController::kCellIdentifier, [](const std::string& identifier) {
            auto cell = std::make_shared<TableViewCell>(TableViewCellStyle::defaultStyle, identifier);
            auto label = makeLabel({16, 12, 220, 20}, 17);
            label->setTag(VKMLayoutSettingsTableViewController::kLabelTag);
            cell->contentView()->addSubview(label);
            auto toggle = Switch::make();
            toggle->setFrame({250, 6, 51, 31});
            toggle->setTag(VKMLayoutSettingsTableViewController::kSwitchTag);
            cell->contentView()->addSubview(toggle);
            return cell;
        });
    return controller;
}

std::shared_ptr<ViewController> makeLayoutDetails() {
    auto controller = std::make_shared<VKMLayoutDetailsViewController>();
    auto root = rootView();
    const Rect bounds = root->bounds();
    auto pages = std::make_shared<SegmentedControl>(std::vector<std::string>{
        ZDUtils::localizedString("LayoutDetailsDescription"), ZDUtils::localizedString("LayoutDetailsSummary")});
    pages->setFrame({16, 8, bounds.width - 32, 32});
    pages->setAutoresizingMask(ViewAutoresizing::flexibleWidth);
    root->addSubview(pages);
    auto container = std::make_shared<View>(Rect{0, 48, bounds.width, bounds.height - 48});
    container->setAutoresizingMask(kFlexibleSize);
    root->addSubview(container);
    controller->outlets = {container, pages};
    controller->setView(root);
    return controller;
}

// The summary's facts, one row under the other: a row whose caption or
// value is hidden leaves no gap, so that the facts fit the popover.
class SummaryRowsView : public ScrollView {
public:
    using ScrollView::ScrollView;
    static constexpr double kTop = 64;
    static constexpr double kRowStep = 24;
    void addRow(const std::shared_ptr<Label>& caption, const std::shared_ptr<Label>& value) {
        mRows.emplace_back(caption, value);
    }
    void layoutSubviews() override {
        ScrollView::layoutSubviews();
        double y = kTop;
        for (const auto& [weakCaption, weakValue] : mRows) {
            const auto caption = weakCaption.lock();
            const auto value = weakValue.lock();
            if (!caption || !value || caption->isHidden() || value->isHidden()) continue;
            caption->setFrame({caption->frame().x, y, caption->frame().width, caption->frame().height});
            value->setFrame({value->frame().x, y, value->frame().width, value->frame().height});
            y += kRowStep;
        }
        const platform::Size content{bounds().width, y + 8};
        if (contentSize() != content) setContentSize(content);
    }
    std::string className() const override { return "VKMSummaryRowsView"; }

private:
    std::vector<std::pair<std::weak_ptr<Label>, std::weak_ptr<Label>>> mRows;
};

std::shared_ptr<ViewController> makeLayoutSummary() {
    auto controller = std::make_shared<VKMLayoutSummaryViewController>();
    auto root = rootView();
    const double width = root->bounds().width;
    auto& o = controller->outlets;
    // The facts scroll where the page is shorter than they are (a popover
    // on a tablet, a phone held sideways).
    auto scroll = std::make_shared<SummaryRowsView>(root->bounds());
    scroll->setAutoresizingMask(kFlexibleSize);
    root->addSubview(scroll);
    // A long title takes two lines, then shrinks a little.
    auto title = makeLabel({16, 8, width - 32, 48}, 20);
    title->setNumberOfLines(2);
    title->setAdjustsFontSizeToFitWidth(true);
    title->setMinimumScaleFactor(0.75);
    title->setAutoresizingMask(ViewAutoresizing::flexibleWidth);
    scroll->addSubview(title);
    o.titleLabel = title;
    // One row per fact: a caption (the outlet named for titles) and a value.
    double y = SummaryRowsView::kTop;
    auto row = [&](const char* captionKey, std::weak_ptr<Label>& value, std::weak_ptr<Label>* caption = nullptr) {
        auto name = makeLabel({16, y, 150, 20}, 13);
        name->setText(ZDUtils::localizedString(captionKey));
        name->setTextColor(SystemColors::kGray);
        name->setAdjustsFontSizeToFitWidth(true);
        name->setMinimumScaleFactor(0.75);
        auto text = makeLabel({170, y, width - 186, 20}, 13);
        text->setAutoresizingMask(ViewAutoresizing::flexibleWidth);
        text->setAdjustsFontSizeToFitWidth(true);
        text->setMinimumScaleFactor(0.75);
        scroll->addSubview(name);
        scroll->addSubview(text);
        scroll->addRow(name, text);
        value = text;
        if (caption) *caption = name;
        y += SummaryRowsView::kRowStep;
    };
    row("SummaryUploadDate", o.uploadDateLabel);
    row("SummaryTags", o.tagsLabel);
    row("SummaryCacheDate", o.cacheDateLabel, &o.cacheDateHeaderLabel);
    row("SummaryRevision", o.revisionLabel, &o.revisionTitleLabel);
    row("SummaryModelScales", o.modelScaleLabel);
    row("SummaryTrackLength", o.trackLengthLabel);
    row("SummaryTunnelSections", o.tunnelSectionsLabel);
    row("SummaryGroups", o.groupsLabel);
    row("SummaryDimensions", o.contentDimensionLabel);
    row("SummaryElements", o.elementCountLabel);
    row("SummaryTracks", o.trackCountLabel);
    row("SummaryImages", o.imageCountLabel, &o.imagesTitleLabel);
    row("SummaryBaseboards", o.baseboardCountLabel, &o.baseboardsTitleLabel);
    row("SummaryLayers", o.layerCountLabel);
    row("SummaryFileSize", o.fileSizeLabel);
    controller->setView(root);
    return controller;
}

std::shared_ptr<ViewController> makeSpecificLanguageDescription() {
    auto controller = std::make_shared<VKMSpecificLanguageDescriptionViewController>();
    auto root = rootView();
    const Rect bounds = root->bounds();
    auto title = makeLabel({16, 8, bounds.width - 32, 24}, 20);
    auto text = TextView::make({16, 40, bounds.width - 32, bounds.height - 80});
    text->setAutoresizingMask(kFlexibleSize);
    auto dots = std::make_shared<PageControl>(Rect{0, bounds.height - 36, bounds.width, 28});
    for (const auto& view : std::vector<std::shared_ptr<View>>{title, text, dots}) root->addSubview(view);
    controller->outlets = {title, text, dots};
    controller->setView(root);
    return controller;
}

}  // namespace

void registerScenes() {
    VKMCurrentCloudLayout::setCloudLayoutIdProvider([] { return VKMLayoutSession::sharedSession().cloudLayoutId(); });
    // What the layout screen would do with an opened document on the main
    // thread is done while the document is read.
    VKMLayoutDocumentHelper::setDocumentPreparer(VKMLayoutPreparer::shared());
    const struct {
        const char* identifier;
        Storyboard::SceneFactory factory;
    } scenes[] = {
        {kLayoutViewController, makeLayoutScreen},
        {kPartListViewController, VKMPartListViewController::makeScene},
        {kLayoutSettingsId, makeLayoutSettings},
        {kLayoutDetailsId, makeLayoutDetails},
        {kLayoutSummaryId, makeLayoutSummary},
        {kLayoutDescriptionId, [] { return std::make_shared<VKMLayoutDescriptionViewController>(); }},
        {kSpecificLanguageDescriptionId, makeSpecificLanguageDescription},
        {kLayerListId, VKMLayerListViewController::makeScene},
        {kLayoutItemDetailsId, VKMElementInfoViewController::makeScene},
    };
    for (const auto& scene : scenes) Storyboard::registerScene(kStoryboard, scene.identifier, scene.factory);
}

bool presentAt(const std::shared_ptr<ViewController>& controller, const std::shared_ptr<View>& anchor,
               const Rect& rect) {
    const auto window = anchor ? anchor->window() : nullptr;
    const auto root = window ? window->rootViewController() : nullptr;
    if (!controller || !root) return false;
    controller->setModalPresentationStyle(ModalPresentationStyle::popover);
    if (auto popover = controller->popoverPresentationController()) {
        popover->setSourceView(anchor);
        popover->setSourceRect(rect);
    }
    root->topmostPresentedViewController()->presentViewController(controller, true);
    return true;
}

bool presentSceneAt(const std::string& identifier, const std::shared_ptr<View>& anchor, const Rect& rect) {
    const auto controller = instantiate<ViewController>(identifier);
    return controller && presentAt(controller, anchor, rect);
}

}  // namespace VKMLayoutScenes
