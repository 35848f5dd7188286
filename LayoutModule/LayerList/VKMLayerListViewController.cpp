#include "LayoutModule/LayerList/VKMLayerListViewController.h"

#include <algorithm>
#include <mutex>
#include <utility>

#include "LayoutModule/LayerList/QLLayerSummaryHelper.h"
#include "LayoutModule/LayerList/VKMLayerPreviewMaker.h"
#include "engine/services/VKMSoftAssert.h"
#include "LayoutView/ImageExport/VKMLayerPreviewHelper.h"
#include "app/Helper/VKMLayoutDocumentHelper.h"
#include "app/Utilities/Colors/VKMAutoColorizeHelper.h"
#include "app/Utilities/Localization/StringVekmont.h"
#include "app/Utilities/System/QLNotificationObserverTracker.h"
#include "engine/model/CurrentCloudLayout.h"
#include "engine/model/Layer.h"
#include "engine/model/LayerManager.h"
#include "engine/model/Layout.h"
#include "engine/services/ZDUtils.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/graphics/Context.h"
#include "platform/ui/controllers/BarItems.h"
#include "platform/ui/views/Button.h"
#include "platform/ui/views/Device.h"
#include "platform/ui/views/Font.h"
#include "platform/ui/views/ImageView.h"
#include "platform/ui/views/Label.h"
#include "platform/ui/views/Screen.h"
#include "platform/ui/views/SymbolImages.h"
#include "platform/ui/views/SystemColors.h"
#include "platform/ui/views/TableViewCell.h"

using namespace platform::ui;
using platform::Rect;

namespace {

constexpr double kRowHeight = 56;
constexpr double kVisibilityPointSize = 24;
constexpr double kPreviewCornerRadius = VKMLayerPreviewHelper::kCornerRadius;

// An eye, open for a shown layer, struck through for a hidden one.
void drawEye(platform::Context& context, const Rect& box, bool struck) {
    const double midY = box.y + box.height / 2;
    context.setLineWidth(box.width * 0.07);
    context.beginPath();
    context.moveTo({box.x + box.width * 0.05, midY});
    context.addQuadCurveTo({box.x + box.width / 2, box.y + box.height * 0.1}, {box.x + box.width * 0.95, midY});
    context.addQuadCurveTo({box.x + box.width / 2, box.y + box.height * 0.9}, {box.x + box.width * 0.05, midY});
    context.closePath();
    context.stroke();
    const double pupil = box.width * 0.28;
    context.beginPath();
    context.addEllipseInRect({box.x + (box.width - pupil) / 2, midY - pupil / 2, pupil, pupil});
    context.fill();
    if (!struck) return;
    context.beginPath();
    context.moveTo({box.x + box.width * 0.12, box.y + box.height * 0.88});
    context.lineTo({box.x + box.width * 0.88, box.y + box.height * 0.12});
    context.stroke();
}

void registerVisibilityImages() {
    static std::once_flag once;
    std::call_once(once, [] {
        registerSymbol(VKMLayerListViewController::kVisibilityOnImage,
                       [](platform::Context& context, const Rect& box) { drawEye(context, box, false); });
        registerSymbol(VKMLayerListViewController::kVisibilityOffImage,
                       [](platform::Context& context, const Rect& box) { drawEye(context, box, true); });
    });
}

std::shared_ptr<TableViewCell> makeLayerRow(const std::string& identifier) {
    auto cell = std::make_shared<TableViewCell>(TableViewCellStyle::defaultStyle, identifier);
    auto visibility = Button::make(ButtonType::system);
    visibility->setFrame({12, (kRowHeight - 36) / 2, 36, 36});
    // The row takes the tap: the button only shows the state.
    visibility->setUserInteractionEnabled(false);
    visibility->setTag(VKMLayerListViewController::kVisibilityButtonTag);
    auto name = std::make_shared<Label>(Rect{56, 8, 200, 22});
    name->setFont(Font::systemFont(17));
    name->setTag(VKMLayerListViewController::kNameLabelTag);
    auto summary = std::make_shared<Label>(Rect{56, 30, 200, 18});
    summary->setFont(Font::systemFont(13));
    summary->setTextColor(SystemColors::kDarkGray);
    summary->setTag(VKMLayerListViewController::kSummaryLabelTag);
    const double side = VKMLayerListViewController::kPreviewSize;
    auto preview = std::make_shared<ImageView>(Rect{264, (kRowHeight - side) / 2, side, side});
    preview->setTag(VKMLayerListViewController::kPreviewTag);
    for (const auto& view : std::vector<std::shared_ptr<View>>{visibility, name, summary, preview}) {
        cell->contentView()->addSubview(view);
    }
    return cell;
}

bool isTablet() { return Device::currentDevice().userInterfaceIdiom() != UserInterfaceIdiom::phone; }

std::string replaceAll(std::string text, const std::string& word, const std::string& with) {
    for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + with.size())) {
        text.replace(at, word.size(), with);
    }
    return text;
}

bool startsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

}  // namespace

std::shared_ptr<ViewController> VKMLayerListViewController::makeScene() {
    auto controller = std::make_shared<VKMLayerListViewController>();
    controller->tableView()->setRowHeight(kRowHeight);
    controller->tableView()->registerCell(kCellIdentifier, makeLayerRow);
    return controller;
}

CLayout* VKMLayerListViewController::trackLayout() { return CCurrentCloudLayout::Instance().Layout(); }

CLayer* VKMLayerListViewController::layerAt(int index) {
    CLayout* layout = trackLayout();
    if (layout == nullptr || index < 0) return nullptr;
    const tLayers& layers = layout->GetLayerManager().GetLayers();
    if (static_cast<std::size_t>(index) >= layers.size()) return nullptr;
    CLayer* layer = layers[static_cast<std::size_t>(index)];
    VKM_SOFT_ASSERT(layer != nullptr);
    return layer;
}

void VKMLayerListViewController::viewDidLoad() {
    TableViewController::viewDidLoad();
    mDocumentObserver = std::make_unique<QLNotificationObserverTracker>();
    const std::weak_ptr<VKMLayerListViewController> self =
        std::static_pointer_cast<VKMLayerListViewController>(sharedController());
    // Another document, or other colours: the rows and previews shown are
    // of what was.
    mDocumentObserver->observeNotifications(
        {VKMLayoutDocumentHelper::kDocumentLoadedNotification, VKMLayoutDocumentHelper::kDocumentDidCloseNotification,
         VKMLayoutDocumentHelper::kDocumentLoadFailedNotification, kQLLayoutPropertiesChangedNotification,
         kElementColorChangedNotification, kSessionFillColorChangedNotification},
        [self](const platform::Notification&) {
            if (const auto controller = self.lock()) controller->documentChanged();
        });
    registerVisibilityImages();
    auto table = tableView();
    table->setTableFooterView(std::make_shared<View>());
    table->setBounces(false);
    table->setSectionHeaderTopPadding(0);
    auto done = std::make_shared<BarButtonItem>(BarButtonSystemItem::done);
    const std::weak_ptr<VKMLayerListViewController> weak =
        std::static_pointer_cast<VKMLayerListViewController>(sharedController());
    done->actions().add([weak](BarButtonItem&) {
        if (auto controller = weak.lock()) controller->dismissButtonTapped();
    });
    navigationItem().setRightBarButtonItem(done);
}

void VKMLayerListViewController::dismissButtonTapped() { dismissViewController(true); }

void VKMLayerListViewController::viewDidDisappear(bool animated) {
    TableViewController::viewDidDisappear(animated);
    // Only the phone's list (in a navigation controller) waits to be
    // closed; a tablet's announces every change.
    if (presentingViewController() || !navigationController()) return;
    platform::NotificationCenter::defaultCenter().postNotificationName(kLayerChangedNotification, this);
}

int VKMLayerListViewController::numberOfRowsInSection(TableView& tableView, int section) {
    (void)tableView;
    (void)section;
    CLayout* layout = trackLayout();
    return layout == nullptr ? 0 : static_cast<int>(layout->GetLayerManager().GetLayers().size());
}

std::shared_ptr<TableViewCell> VKMLayerListViewController::cellForRowAtIndexPath(TableView& tableView,
                                                                                 IndexPath indexPath) {
    auto cell = tableView.dequeueReusableCell(kCellIdentifier);
    if (!cell) cell = std::make_shared<TableViewCell>(TableViewCellStyle::defaultStyle, kCellIdentifier);
    refreshLayerCell(*cell, indexPath.row);
    return cell;
}

void VKMLayerListViewController::refreshLayerCell(TableViewCell& cell, int index) {
    CLayer* layer = layerAt(index);
    CLayout* layout = trackLayout();
    if (layer == nullptr || layout == nullptr) return;
    if (auto button = std::dynamic_pointer_cast<Button>(cell.viewWithTag(kVisibilityButtonTag))) {
        adjustVisibilityImageForButton(*button, *layer);
    }
    if (auto name = std::dynamic_pointer_cast<Label>(cell.viewWithTag(kNameLabelTag))) {
        name->setText(getNameForLayer(*layer));
    }
    if (auto summary = std::dynamic_pointer_cast<Label>(cell.viewWithTag(kSummaryLabelTag))) {
        summary->setText(QLLayerSummaryHelper::getContentSummaryForLayer(layer, *layout, elementCounts()));
    }
    showPreview(cell, layer);
}

const QLLayerSummaryHelper::tElementCounts& VKMLayerListViewController::elementCounts() {
    // Counted once for all rows: counting a layer looks at every element of
    // the document.
    if (!mElementCounts) mElementCounts = QLLayerSummaryHelper::countElementsByLayer(*trackLayout());
    return *mElementCounts;
}

VKMLayerListViewController::VKMLayerListViewController() = default;

VKMLayerListViewController::~VKMLayerListViewController() = default;

void VKMLayerListViewController::showPreview(TableViewCell& cell, CLayer* layer) {
    const auto preview = std::dynamic_pointer_cast<ImageView>(cell.viewWithTag(kPreviewTag));
    if (!preview) return;
    auto made = mPreviews.find(layer);
    if (made == mPreviews.end()) {
        requestPreview(layer);
        made = mPreviews.find(layer);
    }
    preview->setImage(made != mPreviews.end() ? made->second : emptyPreview());
}

const std::shared_ptr<platform::Image>& VKMLayerListViewController::emptyPreview() {
    if (!mEmptyPreview) {
        mEmptyPreview =
            VKMLayerPreviewHelper::createFramedPreview(nullptr, {kPreviewSize, kPreviewSize}, kPreviewCornerRadius);
    }
    return mEmptyPreview;
}

void VKMLayerListViewController::requestPreview(CLayer* layer) {
    if (mPendingPreviews.count(layer) != 0) return;
    CLayout* layout = trackLayout();
    switch (layer->GetLayerType()) {
        case CLayer::kTrackLayer:
        case CLayer::kBaseboardLayer: break;
        default:
            // Pictures are left out of exported pictures, so an image
            // layer's preview is the empty frame; so is that of a type no
            // content is copied for.
            if (layer->GetLayerType() != CLayer::kImageLayer) {
                ZDUtils::logWarning("Unsupported layer type: %d", layer->GetLayerType());
            }
            mPreviews[layer] = emptyPreview();
            return;
    }
    if (!mPreviewMaker) {
        const auto weak = std::weak_ptr<VKMLayerListViewController>(
            std::static_pointer_cast<VKMLayerListViewController>(sharedController()));
        mPreviewMaker = VKMLayerPreviewMaker::make({kPreviewSize, kPreviewSize},
                                                   [weak](const CLayer* layer, std::shared_ptr<platform::Image> image) {
                                                       if (const auto controller = weak.lock())
                                                           controller->previewArrived(layer, std::move(image));
                                                   });
    }
    mPendingPreviews.insert(layer);
    std::size_t weight = std::as_const(*layout).GetBaseboards().size();
    if (layer->GetLayerType() == CLayer::kTrackLayer) {
        const auto counted = elementCounts().find(layer);
        weight = counted == elementCounts().end() ? 0 : counted->second;
    }
    mPreviewMaker->request(layer, weight);
}

void VKMLayerListViewController::previewArrived(const CLayer* layer, std::shared_ptr<platform::Image> image) {
    mPendingPreviews.erase(layer);
    if (!image) return;
    mPreviews[layer] = image;
    if (!isViewLoaded()) return;
    for (const IndexPath& row : tableView()->indexPathsForVisibleRows()) {
        if (layerAt(row.row) != layer) continue;
        const auto cell = tableView()->cellForRowAtIndexPath(row);
        const auto preview = cell ? std::dynamic_pointer_cast<ImageView>(cell->viewWithTag(kPreviewTag)) : nullptr;
        if (preview) preview->setImage(image);
    }
}

void VKMLayerListViewController::forgetPreviews() {
    if (mPreviewMaker) mPreviewMaker->forget();
    mPreviews.clear();
    mPendingPreviews.clear();
    mElementCounts.reset();
}

void VKMLayerListViewController::documentChanged() {
    forgetPreviews();
    if (isViewLoaded()) tableView()->reloadData();
}

std::size_t VKMLayerListViewController::previewCopiesBegun() const {
    return mPreviewMaker ? mPreviewMaker->copiesBegun() : 0;
}

void VKMLayerListViewController::adjustVisibilityImageForButton(Button& button, const CLayer& layer) {
    registerVisibilityImages();
    const char* name = layer.IsVisible() ? kVisibilityOnImage : kVisibilityOffImage;
    button.setImage(systemImage(name, kVisibilityPointSize, Screen::mainScreen()->scale()), ControlState::normal);
}

std::string VKMLayerListViewController::getNameForLayer(const CLayer& layer) {
    std::string name = layer.GetName();
    const std::string translated = StringVekmont::localized("LayerName");
    if (startsWith(name, "Ebene")) name = replaceAll(name, "Ebene", translated);
    if (startsWith(name, "Layer")) name = replaceAll(name, "Layer", translated);
    return name;
}

void VKMLayerListViewController::handleRowTapped(IndexPath indexPath) {
    CLayer* layer = layerAt(indexPath.row);
    if (layer == nullptr) return;
    ZDUtils::logInfo("Toggling visibility for layer '%s' (V: %d)", layer->GetName().c_str(),
                     layer->IsVisible() ? 1 : 0);
    layer->SetVisible(!layer->IsVisible());
    tableView()->reloadRows({indexPath}, TableViewRowAnimation::fade);
    if (isTablet()) {
        platform::NotificationCenter::defaultCenter().postNotificationName(kLayerChangedNotification, this);
    }
}

std::string VKMLayerListViewController::titleForHeaderInSection(TableView& tableView, int section) {
    (void)tableView;
    return section == 0 ? StringVekmont::localized("LayerListTitle") : "???";
}

std::shared_ptr<View> VKMLayerListViewController::viewForHeaderInSection(TableView& tableView, int section) {
    auto header = std::make_shared<View>(Rect{0, 0, tableView.bounds().width, kHeaderHeight});
    header->setBackgroundColor(SystemColors::kDarkGray);
    auto label = std::make_shared<Label>(Rect{30, 3, tableView.bounds().width - 50, 35});
    label->setFont(Font::boldSystemFont(17));
    label->setTextColor(platform::Color::white(0.95, 1));
    label->setText(titleForHeaderInSection(tableView, section));
    header->addSubview(label);
    return header;
}

double VKMLayerListViewController::heightForHeaderInSection(TableView& tableView, int section) {
    (void)tableView;
    (void)section;
    return kHeaderHeight;
}

void VKMLayerListViewController::didSelectRowAtIndexPath(TableView& tableView, IndexPath indexPath) {
    (void)tableView;
    handleRowTapped(indexPath);
}
