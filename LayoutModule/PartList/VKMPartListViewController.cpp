#include "LayoutModule/PartList/VKMPartListViewController.h"

#include <algorithm>
#include <chrono>
#include <mutex>

#include "LayoutModule/PartList/VKMPartsTableDataSource.h"
#include "app/Helper/VKMLayoutDocumentHelper.h"
#include "app/Utilities/Colors/UIColorCColor.h"
#include "app/Utilities/Colors/UIColorCColorPalette.h"
#include "app/Utilities/Localization/StringVekmont.h"
#include "app/Utilities/System/PreferredLocaleHelper.h"
#include "app/Utilities/System/QLNotificationObserverTracker.h"
#include "engine/model/CurrentCloudLayout.h"
#include "engine/model/ElementQueries.h"
#include "engine/model/Layout.h"
#include "engine/model/PartList.h"
#include "engine/model/Statistics.h"
#include "engine/services/ActivityAnalyticsService.h"
#include "engine/services/LocalizationService.h"
#include "engine/services/ZDUtils.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/graphics/Context.h"
#include "platform/ui/views/Button.h"
#include "platform/ui/views/Device.h"
#include "platform/ui/views/Font.h"
#include "platform/ui/views/ImageView.h"
#include "platform/ui/views/Label.h"
#include "platform/ui/layout/LayoutConstraint.h"
#include "platform/ui/views/Notifications.h"
#include "platform/ui/views/Pasteboard.h"
#include "platform/ui/views/Screen.h"
#include "platform/ui/views/StackView.h"
#include "platform/ui/views/Switch.h"
#include "platform/ui/views/SymbolImages.h"
#include "platform/ui/views/SystemColors.h"
#include "platform/ui/views/TableViewCell.h"
#include "platform/ui/views/Window.h"
#include "widgets/Charts/GRPieChart.h"
#include "widgets/HoverNotification/VKMHoverNotification.h"

using namespace platform::ui;
using platform::Rect;

namespace {

constexpr platform::Color kSecondarySystemBackground{242.0 / 255, 242.0 / 255, 247.0 / 255, 1};
constexpr platform::Color kTertiaryLabel{60.0 / 255, 60.0 / 255, 67.0 / 255, 0.3};
constexpr double kRowHeight = 60;
constexpr double kSwitchBarHeight = 44;

bool partListOnPhone() { return Device::currentDevice().userInterfaceIdiom() == UserInterfaceIdiom::phone; }

// Two overlapping sheets, the front one whole.
void registerCopySymbol() {
    static std::once_flag once;
    std::call_once(once, [] {
        registerSymbol(VKMPartListViewController::kCopySymbol, [](platform::Context& context, const Rect& box) {
            const double side = box.width * 0.62;
            const double radius = box.width * 0.1;
            context.setLineWidth(box.width * 0.07);
            context.beginPath();
            context.addRoundedRect({box.x + box.width * 0.3, box.y + box.height * 0.08, side, side}, radius);
            context.stroke();
            const Rect front{box.x + box.width * 0.08, box.y + box.height * 0.3, side, side};
            context.setFillColor(platform::Color{0, 0, 0, 0});
            context.beginPath();
            context.addRoundedRect(front, radius);
            context.stroke();
        });
    });
}

// A part's row: the count as wide as its text at the right edge, the title
// and the description in what is left, the description on two lines when
// it needs them, the pair centred in the row.
class PartCell : public TableViewCell {
public:
    using TableViewCell::TableViewCell;
    void layoutSubviews() override {
        TableViewCell::layoutSubviews();
        const Rect b = contentView()->bounds();
        const auto title = std::dynamic_pointer_cast<Label>(viewWithTag(VKMPartsTableDataSource::kTitleTag));
        const auto description =
            std::dynamic_pointer_cast<Label>(viewWithTag(VKMPartsTableDataSource::kDescriptionTag));
        const auto count = std::dynamic_pointer_cast<Label>(viewWithTag(VKMPartsTableDataSource::kCountTag));
        if (!title || !description || !count) return;
        const platform::Size countSize = count->sizeThatFits({b.width, b.height});
        const double countX = b.maxX() - kCellMargin - countSize.width;
        count->setFrame({countX, b.minY() + (b.height - countSize.height) / 2, countSize.width, countSize.height});
        const double textX = kCellMargin + VKMPartsTableDataSource::kPictureSize + 12.5;
        const double width = std::max(0.0, countX - kTextCountGap - textX);
        const double titleHeight = title->sizeThatFits({width, 0}).height;
        const double descriptionHeight = description->sizeThatFits({width, 0}).height;
        const double gap = titleHeight > 0 && descriptionHeight > 0 ? 1 : 0;
        const double top = b.minY() + std::max(0.0, (b.height - titleHeight - gap - descriptionHeight) / 2);
        title->setFrame({textX, top, width, titleHeight});
        description->setFrame({textX, top + titleHeight + gap, width, descriptionHeight});
    }
    std::string className() const override { return "VKMPartCell"; }

private:
    static constexpr double kCellMargin = 16;
    static constexpr double kTextCountGap = 8;
};

std::shared_ptr<TableViewCell> makePartCell(const std::string& identifier) {
    auto cell = std::make_shared<PartCell>(TableViewCellStyle::defaultStyle, identifier);
    // At the screen's width until the table sizes it.
    const double width = Screen::mainScreen()->bounds().width;
    cell->setFrame({0, 0, width, kRowHeight});
    const double side = VKMPartsTableDataSource::kPictureSize;
    auto picture = std::make_shared<ImageView>(Rect{16, (kRowHeight - side) / 2, side, side});
    picture->setContentMode(ViewContentMode::scaleAspectFit);
    picture->setTag(VKMPartsTableDataSource::kPictureTag);
    cell->contentView()->addSubview(picture);
    // A long title shrinks a little; a long description takes a second line.
    auto title = std::make_shared<Label>(Rect{76, 8, width - 160, 22});
    title->setFont(Font::boldSystemFont(16));
    title->setAdjustsFontSizeToFitWidth(true);
    title->setMinimumScaleFactor(0.75);
    title->setTag(VKMPartsTableDataSource::kTitleTag);
    auto description = std::make_shared<Label>(Rect{76, 31, width - 160, 20});
    description->setFont(Font::systemFont(13));
    description->setTextColor(SystemColors::kDarkGray);
    description->setNumberOfLines(2);
    description->setLineBreakMode(platform::LineBreakMode::truncatingTail);
    description->setTag(VKMPartsTableDataSource::kDescriptionTag);
    auto count = std::make_shared<Label>(Rect{width - 76, 18, 60, 24});
    count->setFont(Font::systemFont(17, FontWeight::medium));
    count->setTextAlignment(platform::TextAlignment::right);
    count->setTag(VKMPartsTableDataSource::kCountTag);
    for (const auto& view : std::vector<std::shared_ptr<View>>{title, description, count}) {
        cell->contentView()->addSubview(view);
    }
    return cell;
}

std::string rectText(const Rect& rect) {
    char text[128];
    std::snprintf(text, sizeof text, "{{%g, %g}, {%g, %g}}", rect.x, rect.y, rect.width, rect.height);
    return text;
}

}  // namespace

std::shared_ptr<ViewController> VKMPartListViewController::makeScene() {
    auto controller = std::make_shared<VKMPartListViewController>();
    auto root = std::make_shared<View>(Screen::mainScreen()->bounds());
    root->setBackgroundColor(SystemColors::kWhite);
    const Rect bounds = root->bounds();

    auto tracksOnly = Switch::make();
    tracksOnly->setFrame({bounds.width - 67, 6, 51, 31});
    tracksOnly->setAutoresizingMask(ViewAutoresizing::flexibleLeftMargin);
    const std::weak_ptr<VKMPartListViewController> weak = controller;
    tracksOnly->addAction(
        [weak](Control& sender) {
            if (auto self = weak.lock()) self->changeSwitch(sender);
        },
        ControlEvents::valueChanged);
    root->addSubview(tracksOnly);

    auto chartContainer = std::make_shared<View>(Rect{0, 0, bounds.width, bounds.height / 2});
    auto pieChart = GRPieChart::make({0, 0, 200, 200}, {});
    pieChart->setTranslatesAutoresizingMaskIntoConstraints(false);
    chartContainer->addSubview(pieChart);
    auto width = pieChart->widthAnchor().constraintEqualToConstant(200);
    LayoutConstraint::activateConstraints({
        width,
        pieChart->heightAnchor().constraintEqualToAnchor(pieChart->widthAnchor()),
        pieChart->centerXAnchor().constraintEqualToAnchor(chartContainer->centerXAnchor()),
        pieChart->centerYAnchor().constraintEqualToAnchor(chartContainer->centerYAnchor()),
    });

    auto table = TableView::make({0, 0, bounds.width, bounds.height / 2});
    table->setRowHeight(kRowHeight);
    table->registerCell(VKMPartsTableDataSource::kCellIdentifier, makePartCell);

    auto stack = StackView::make({chartContainer, table});
    stack->setAxis(LayoutConstraintAxis::vertical);
    stack->setDistribution(StackViewDistribution::fillEqually);
    stack->setAlignment(StackViewAlignment::fill);
    stack->setFrame({0, kSwitchBarHeight, bounds.width, bounds.height - kSwitchBarHeight});
    stack->setAutoresizingMask(ViewAutoresizing::flexibleWidth | ViewAutoresizing::flexibleHeight);
    root->addSubview(stack);

    // Made before the app's services are up: the text comes straight from
    // the bundle's table.
    auto empty = std::make_shared<Label>(bounds);
    const platform::Bundle* bundle = platform::Bundle::main();
    empty->setText(
        bundle ? bundle->localizedString("NoLayoutOpen", LocalizationService::kStringTable).value_or(std::string())
               : std::string());
    empty->setFont(Font::systemFont(17));
    empty->setTextColor(SystemColors::kGray);
    empty->setTextAlignment(platform::TextAlignment::center);
    empty->setNumberOfLines(0);
    empty->setAutoresizingMask(ViewAutoresizing::flexibleWidth | ViewAutoresizing::flexibleHeight);
    empty->setHidden(true);
    root->addSubview(empty);

    controller->outlets = {table, stack, pieChart, width, tracksOnly, empty};
    controller->setView(root);
    return controller;
}

VKMPartListViewController::VKMPartListViewController() = default;
VKMPartListViewController::~VKMPartListViewController() = default;

std::shared_ptr<VKMPartListViewController> VKMPartListViewController::self() {
    return std::static_pointer_cast<VKMPartListViewController>(sharedController());
}

CLayout* VKMPartListViewController::trackLayout() const { return CCurrentCloudLayout::Instance().Layout(); }

std::uint32_t VKMPartListViewController::numberOfTracks() const {
    CLayout* layout = trackLayout();
    if (layout == nullptr) return 0;
    const tElementKindCounts counts = layout->GetStatistics().GetElementKindCounts();
    return counts[0] + counts[2];
}

bool VKMPartListViewController::hasLayout() const { return CCurrentCloudLayout::Instance().HasDocument(); }

void VKMPartListViewController::refreshPartList() {
    CLayout* layout = hasLayout() ? trackLayout() : nullptr;
    if (layout == nullptr) {
        mPartList.reset();
    } else {
        CTrackElementsStatistics& statistics = layout->GetStatistics();
        mPartList = std::make_unique<CPartList>(layout, &statistics);
        statistics.Refresh(layout->GetElements());
        mPartList->Refresh();
    }
    auto parts = partsArrayFromPartsVector();
    if (mPartsDataSource) mPartsDataSource->partsArray = parts;
    refreshChart(parts);
    showLayoutState();
}

void VKMPartListViewController::showLayoutState() {
    const bool open = hasLayout();
    if (auto stack = outlets.stackView.lock()) stack->setHidden(!open);
    if (auto tracksOnly = outlets.tracksOnlySwitch.lock()) tracksOnly->setHidden(!open);
    if (auto empty = outlets.emptyStateLabel.lock()) empty->setHidden(open);
}

bool VKMPartListViewController::isShown() const {
    const auto root = viewIfLoaded();
    return root && root->window() && root->superview();
}

void VKMPartListViewController::reloadTableIfShown() {
    if (!isShown()) return;
    if (auto table = outlets.partsTableView.lock()) table->reloadData();
}

void VKMPartListViewController::refreshPartListAndTable() {
    refreshPartList();
    reloadTableIfShown();
}

std::vector<std::shared_ptr<VKMPartListValueObject>> VKMPartListViewController::partsArrayFromPartsVector() const {
    std::vector<std::shared_ptr<VKMPartListValueObject>> parts;
    if (!mPartList) return parts;
    for (CCountedGeometry* entry : mPartList->GetEntries()) {
        if (!UElementInspector::IsTrackElement(entry)) continue;
        parts.push_back(VKMPartListValueObject::partListValueObjectForCountedCIG(entry));
    }
    std::stable_sort(parts.begin(), parts.end(), [](const auto& a, const auto& b) {
        return a->partsEntry->GetCount() > b->partsEntry->GetCount();
    });
    return parts;
}

std::string VKMPartListViewController::partListAsStringUsingDelimiterCharacter(const std::string& delimiter) const {
    if (!mPartList || delimiter.empty()) return {};
    return mPartList->ExportToString(delimiter[0], PreferredLocaleHelper::preferredLanguageCode().value_or(""));
}

void VKMPartListViewController::copyToClipboard() {
    const std::string text = partListAsStringUsingDelimiterCharacter("\t");
    if (text.empty()) {
        ZDUtils::logWarning("Could not create string for part list");
        VKMHoverNotification::displayMessage(StringVekmont::localized("PartListNothingToCopy"));
        return;
    }
    Pasteboard& pasteboard = Pasteboard::generalPasteboard();
    pasteboard.setString(text);
    QLActivityAnalytics::trackEvent("PartListCopied");
    if (pasteboard.hasStrings()) VKMHoverNotification::displayMessage(StringVekmont::localized("PartlistCopied"));
}

void VKMPartListViewController::changeSwitch(Control& sender) {
    const auto* tracksOnly = dynamic_cast<Switch*>(&sender);
    if (tracksOnly == nullptr) return;
    platform::UserDefaults::standard().setBool(kTracksOnlyDefaultsKey, tracksOnly->isOn());
    const std::weak_ptr<VKMPartListViewController> weak = self();
    platform::DispatchQueue::main().asyncAfter(
        std::chrono::duration_cast<platform::Clock::Duration>(std::chrono::duration<double>(kSwitchRefreshDelay)),
        [weak] {
            if (auto controller = weak.lock()) controller->refreshPartListAndTable();
        });
}

void VKMPartListViewController::handleDeviceRotated() {
    if (!isShown()) return;
    const auto stack = outlets.stackView.lock();
    if (!stack) return;
    switch (Device::currentDevice().orientation()) {
        case DeviceOrientation::landscapeLeft:
        case DeviceOrientation::landscapeRight: stack->setAxis(LayoutConstraintAxis::horizontal); break;
        case DeviceOrientation::portrait:
        case DeviceOrientation::portraitUpsideDown: stack->setAxis(LayoutConstraintAxis::vertical); break;
        default: break;
    }
}

platform::Color VKMPartListViewController::colorForIndex(std::size_t index) {
    using namespace UIColorCColor;
    switch (index % kPaletteSize) {
        case 0: return paperColorTeal200();
        case 1: return paperColorDeepOrange200();
        case 2: return paperColorGreen200();
        case 3: return paperColorAmber200();
        case 4: return paperColorLightBlue200();
        case 5: return paperColorYellow200();
        case 6: return paperColorIndigo200();
        case 7: return paperColorRed200();
        case 8: return paperColorLime200();
        case 9: return paperColorPink200();
        default: return paperColorBlueGray200();
    }
}

void VKMPartListViewController::refreshChart(const std::vector<std::shared_ptr<VKMPartListValueObject>>& parts) {
    GRPieChart::Items items;
    items.reserve(parts.size());
    for (std::size_t i = 0; i < parts.size(); ++i) {
        items.push_back(GRPieChartDataItem::dataItemWithValue(parts[i]->partsEntry->GetCount(), colorForIndex(i),
                                                              parts[i]->productNr));
    }
    if (partListOnPhone()) return;
    if (auto chart = outlets.pieChart.lock()) {
        chart->updateChartData(std::move(items));
        chart->setNeedsLayout();
    }
}

std::string VKMPartListViewController::titleForHeaderInSection(int section) const {
    return section == 0 ? StringVekmont::localized("ShoppingList") : "???";
}

void VKMPartListViewController::stylePieChart() {
    auto chart = outlets.pieChart.lock();
    if (!chart) return;
    chart->setDescriptionTextColor(SystemColors::kBlack);
    chart->setDescriptionTextFont(Font::namedOrSystem("Avenir-Medium", 10));
    chart->setDescriptionTextShadowColor(
        platform::Color{kTertiaryLabel.red, kTertiaryLabel.green, kTertiaryLabel.blue, 0.05});
    chart->setBackgroundColor(UIColorCColor::vkmPartListPieChartFillColor());
    chart->setDelegate(std::static_pointer_cast<GRChartDelegate>(self()));
    chart->setShowAbsoluteValues(false);
    chart->setLabelPercentageCutoff(0.04);
    if (partListOnPhone()) {
        if (auto container = chart->superview()) {
            if (auto stack = outlets.stackView.lock()) stack->removeArrangedSubview(container.get());
            container->setHidden(true);
        }
    }
}

void VKMPartListViewController::viewDidLoad() {
    refreshPartList();
    mPartsDataSource = std::make_shared<VKMPartsTableDataSource>(partsArrayFromPartsVector());
    if (auto table = outlets.partsTableView.lock()) {
        table->setDataSource(mPartsDataSource);
        table->setTableDelegate(std::static_pointer_cast<TableViewDelegate>(self()));
        table->setSectionHeaderTopPadding(0);
    }
    mNotificationTracker = std::make_unique<QLNotificationObserverTracker>();
    const std::weak_ptr<VKMPartListViewController> weak = self();
    mNotificationTracker->observeNotification(kDeviceOrientationDidChangeNotification,
                                              [weak](const platform::Notification&) {
                                                  if (auto controller = weak.lock()) controller->handleDeviceRotated();
                                              });
    // A load that fails closes the layout: no rows of the last one stay.
    for (const char* name : {VKMLayoutDocumentHelper::kDocumentLoadedNotification,
                             VKMLayoutDocumentHelper::kDocumentDidCloseNotification}) {
        mNotificationTracker->observeNotification(name, [weak](const platform::Notification&) {
            if (auto controller = weak.lock()) controller->refreshPartListAndTable();
        });
    }
    stylePieChart();
}

void VKMPartListViewController::viewWillAppear(bool animated) {
    ViewController::viewWillAppear(animated);
    QLActivityAnalytics::trackEvent("PartListEntered");
    refreshPartList();
    // Shown from the next layout pass on: reload now so that it has rows.
    if (auto table = outlets.partsTableView.lock()) table->reloadData();
}

void VKMPartListViewController::viewDidLayoutSubviews() {
    handleDeviceRotated();
    const auto chart = outlets.pieChart.lock();
    const auto container = chart ? chart->superview() : nullptr;
    const auto stack = outlets.stackView.lock();
    if (!chart || !stack || (container && container->isHidden())) return;
    const Rect bounds = stack->bounds();
    const double side = std::min(bounds.width, bounds.height);
    if (side <= kSmallestStackSide) {
        ZDUtils::logWarning("Stack view too small: %s, UIDeviceOrientation = %ld", rectText(bounds).c_str(),
                            static_cast<long>(Device::currentDevice().orientation()));
        return;
    }
    if (auto width = outlets.pieChartWidthConstraint.lock()) width->setConstant(kPieChartShare * side);
}

double VKMPartListViewController::heightForHeaderInSection(TableView& tableView, int section) {
    (void)tableView;
    (void)section;
    return kHeaderHeight;
}

std::shared_ptr<View> VKMPartListViewController::viewForHeaderInSection(TableView& tableView, int section) {
    if (section != 0) return nullptr;
    registerCopySymbol();
    auto header = std::make_shared<View>(Rect{0, 0, tableView.bounds().width, kHeaderHeight});
    header->setBackgroundColor(kSecondarySystemBackground);

    auto title = std::make_shared<Label>();
    title->setFont(Font::boldSystemFont(22));
    title->setTextColor(UIColorCColor::vkmLeaderboardHeaderColor());
    title->setText(titleForHeaderInSection(section));
    title->setContentHuggingPriority(700, LayoutConstraintAxis::horizontal);

    auto count = std::make_shared<Label>();
    count->setFont(Font::systemFont(22, FontWeight::light));
    count->setTextColor(SystemColors::kDarkGray);
    count->setTextAlignment(platform::TextAlignment::left);
    count->setText(StringVekmont::localizedFormat("NumberOfTracks", {numberOfTracks()}));
    count->setContentHuggingPriority(150, LayoutConstraintAxis::horizontal);
    // Where the row is too narrow, the count gives way first and its text
    // shrinks to its room; the copy button keeps its size.
    count->setContentCompressionResistancePriority(740, LayoutConstraintAxis::horizontal);
    count->setAdjustsFontSizeToFitWidth(true);
    count->setMinimumScaleFactor(0.5);
    title->setContentCompressionResistancePriority(745, LayoutConstraintAxis::horizontal);
    title->setAdjustsFontSizeToFitWidth(true);
    title->setMinimumScaleFactor(0.5);

    auto copy = Button::make(ButtonType::system);
    copy->setImage(systemImage(kCopySymbol, kCopySymbolPointSize, Screen::mainScreen()->scale()), ControlState::normal);
    copy->setContentHorizontalAlignment(ControlContentHorizontalAlignment::right);
    copy->setContentHuggingPriority(650, LayoutConstraintAxis::horizontal);
    copy->setContentCompressionResistancePriority(1000, LayoutConstraintAxis::horizontal);
    const std::weak_ptr<VKMPartListViewController> weak = self();
    copy->addAction(
        [weak](Control&) {
            if (auto controller = weak.lock()) controller->copyToClipboard();
        },
        ControlEvents::touchUpInside);

    auto stack = StackView::make({title, count, copy});
    stack->setAxis(LayoutConstraintAxis::horizontal);
    stack->setSpacing(8);
    stack->setAlignment(StackViewAlignment::center);
    stack->setDistribution(StackViewDistribution::fill);
    stack->setTranslatesAutoresizingMaskIntoConstraints(false);
    header->addSubview(stack);
    LayoutConstraint::activateConstraints(LayoutConstraint::constraintsWithVisualFormat(
        "|-StackMargin-[stackView]-StackMargin-|", {{"StackMargin", kHeaderStackMargin}}, {{"stackView", stack}}));
    LayoutConstraint::activateConstraints({stack->centerYAnchor().constraintEqualToAnchor(header->centerYAnchor())});
    return header;
}

void VKMPartListViewController::didSelectRowAtIndexPath(TableView& tableView, IndexPath indexPath) {
    (void)tableView;
    if (!mPartsDataSource || indexPath.row < 0 ||
        static_cast<std::size_t>(indexPath.row) >= mPartsDataSource->partsArray.size()) {
        return;
    }
    ZDUtils::logInfo("Part list element %s tapped in table view",
                     mPartsDataSource->partsArray[static_cast<std::size_t>(indexPath.row)]->productNr.c_str());
    if (partListOnPhone()) return;
    if (auto chart = outlets.pieChart.lock()) chart->highlightAtIndex(indexPath.row);
}

void VKMPartListViewController::chartTappedOnPieIndexItem(std::int64_t pieIndex) {
    if (!mPartsDataSource || pieIndex < 0 ||
        static_cast<std::size_t>(pieIndex) >= mPartsDataSource->partsArray.size()) {
        return;
    }
    ZDUtils::logInfo("Part list element %s tapped in pie chart",
                     mPartsDataSource->partsArray[static_cast<std::size_t>(pieIndex)]->productNr.c_str());
    if (auto table = outlets.partsTableView.lock()) {
        table->selectRow(IndexPath{0, static_cast<int>(pieIndex)}, true, TableViewScrollPosition::middle);
    }
}
