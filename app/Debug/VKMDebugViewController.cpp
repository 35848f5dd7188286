#include "app/Debug/VKMDebugViewController.h"

#include "SharingModule/Model/VKMCloudCaches.h"
#include "SharingModule/Model/VKMSharedLayouts.h"
#include "app/Debug/VKMLogTableDataSource.h"
#include "app/Debug/VKMPerfCounterTableDataSource.h"
#include "app/VKMNotificationNames.h"
#include "engine/services/PerformanceCounters.h"
#include "engine/services/ZDUtils.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/views/Button.h"
#include "platform/ui/views/Font.h"
#include "platform/ui/views/ImageView.h"
#include "platform/ui/views/Label.h"
#include "platform/ui/layout/LayoutConstraint.h"
#include "platform/ui/controllers/Storyboard.h"
#include "platform/ui/views/SymbolImages.h"
#include "platform/ui/views/Switch.h"
#include "platform/ui/views/TableView.h"
#include "platform/ui/views/TableViewCell.h"
#include "platform/ui/views/ViewControllerTransitioning.h"
#include "widgets/Views/UIViewVekmont.h"

#include <map>
#include <string>

using namespace platform::ui;
using platform::Color;
using platform::Rect;

namespace {

constexpr double kHeaderHeight = 32;
constexpr double kRowHeight = 44;
constexpr double kMargin = 20;

// The symbols of the section headers, drawn by our own code.
constexpr const char* kDebugSymbol = "ant.fill";
constexpr const char* kPerformanceSymbol = "gauge";
constexpr const char* kLogSymbol = "doc.plaintext";

void registerSymbols() {
    registerSymbol(kDebugSymbol, [](platform::Context& context, const Rect& box) {
        const double w = box.width;
        context.addEllipseInRect({box.x + w * 0.3, box.y + w * 0.1, w * 0.4, w * 0.3});
        context.addEllipseInRect({box.x + w * 0.25, box.y + w * 0.4, w * 0.5, w * 0.55});
        context.fill();
    });
    registerSymbol(kPerformanceSymbol, [](platform::Context& context, const Rect& box) {
        const double w = box.width;
        const platform::Point centre{box.x + w / 2, box.y + w * 0.7};
        context.setLineWidth(w * 0.12);
        context.addArc(centre, w * 0.4, 3.14159265358979, 2 * 3.14159265358979, true);
        context.stroke();
        context.moveTo(centre);
        context.lineTo({centre.x + w * 0.25, centre.y - w * 0.3});
        context.stroke();
    });
    registerSymbol(kLogSymbol, [](platform::Context& context, const Rect& box) {
        const double w = box.width;
        context.setLineWidth(w * 0.08);
        context.addRect({box.x + w * 0.2, box.y + w * 0.08, w * 0.6, w * 0.84});
        for (double y : {0.3, 0.5, 0.7}) {
            context.moveTo({box.x + w * 0.32, box.y + w * y});
            context.lineTo({box.x + w * 0.68, box.y + w * y});
        }
        context.stroke();
    });
}

std::shared_ptr<View> makeSectionHeader(const std::string& title, const char* symbol) {
    auto header = std::make_shared<View>(Rect{});
    auto image = std::make_shared<ImageView>(systemImage(symbol, 20));
    image->setFrame({0, 6, 20, 20});
    header->addSubview(image);
    auto label = std::make_shared<Label>(Rect{28, 0, 300, kHeaderHeight});
    label->setText(title);
    header->addSubview(label);
    return header;
}

// A caption on the left and a control on the right, both centred down.
std::shared_ptr<View> makeRow(const std::string& caption, const std::shared_ptr<View>& control) {
    auto row = std::make_shared<View>(Rect{});
    auto label = std::make_shared<Label>();
    label->setText(caption);
    for (const auto& view : {std::static_pointer_cast<View>(label), control}) {
        view->setTranslatesAutoresizingMaskIntoConstraints(false);
        row->addSubview(view);
    }
    LayoutConstraint::activateConstraints({
        label->leadingAnchor().constraintEqualToAnchor(row->leadingAnchor()),
        label->centerYAnchor().constraintEqualToAnchor(row->centerYAnchor()),
        control->trailingAnchor().constraintEqualToAnchor(row->trailingAnchor()),
        control->centerYAnchor().constraintEqualToAnchor(row->centerYAnchor()),
    });
    return row;
}

std::shared_ptr<Button> makeActionButton(const std::string& title) {
    auto button = Button::make(ButtonType::system);
    button->setTitle(title, ControlState::normal);
    button->setAccessibilityIdentifier(title);
    return button;
}

}  // namespace

void VKMDebugViewController::registerScene() {
    registerSymbols();
    Storyboard::registerScene(kStoryboard, kSceneIdentifier, [] {
        auto controller = std::make_shared<VKMDebugViewController>();
        controller->setTitle("Debug");
        return controller;
    });
}

void VKMDebugViewController::loadView() {
    auto root = std::make_shared<View>(Rect{0, 0, 390, 844});
    root->setBackgroundColor(Color::white(1));
    setView(root);

    auto debugHeader = makeSectionHeader("Debug", kDebugSymbol);
    auto switchOne = Switch::make();
    auto switchTwo = Switch::make();
    switchOne->setAccessibilityIdentifier(kClearCachesOnLaunchKey);
    switchTwo->setAccessibilityIdentifier(kLogNotificationsKey);
    auto rowOne = makeRow("Clear caches on launch", switchOne);
    auto rowTwo = makeRow("Log notifications", switchTwo);
    auto clearButton = makeActionButton("Clear caches");
    auto resetButton = makeActionButton("Reset user");
    auto dumpButton = makeActionButton("Dump counters");
    auto performanceHeader = makeSectionHeader("Performance counters", kPerformanceSymbol);
    auto perfTable = TableView::make();
    auto logHeader = makeSectionHeader("Log", kLogSymbol);
    auto logTable = TableView::make();

    const std::map<std::string, std::shared_ptr<View>> views{{"debugHeader", debugHeader},
                                                             {"rowOne", rowOne},
                                                             {"rowTwo", rowTwo},
                                                             {"clear", clearButton},
                                                             {"reset", resetButton},
                                                             {"dump", dumpButton},
                                                             {"perfHeader", performanceHeader},
                                                             {"perfTable", perfTable},
                                                             {"logHeader", logHeader},
                                                             {"logTable", logTable}};
    for (const auto& [name, view] : views) {
        view->setTranslatesAutoresizingMaskIntoConstraints(false);
        root->addSubview(view);
    }
    const std::map<std::string, double> metrics{{"header", kHeaderHeight}, {"row", kRowHeight}, {"margin", kMargin}};
    std::vector<std::shared_ptr<LayoutConstraint>> constraints;
    auto add = [&](std::string_view format) {
        auto made = LayoutConstraint::constraintsWithVisualFormat(format, metrics, views);
        constraints.insert(constraints.end(), made.begin(), made.end());
    };
    add("V:|-(margin)-[debugHeader(header)]-4-[rowOne(row)][rowTwo(row)][clear(row)]-8-[perfHeader(header)]-4-"
        "[perfTable]-8-[logHeader(header)]-4-[logTable]-8-|");
    for (const char* name : {"debugHeader", "rowOne", "rowTwo", "perfHeader", "perfTable", "logHeader", "logTable"}) {
        add(std::string("H:|-(margin)-[") + name + "]-(margin)-|");
    }
    add("H:|-(margin)-[clear]-[reset]-[dump]-(margin)-|");
    for (const auto& button : {resetButton, dumpButton}) {
        constraints.push_back(button->topAnchor().constraintEqualToAnchor(clearButton->topAnchor()));
        constraints.push_back(button->heightAnchor().constraintEqualToAnchor(clearButton->heightAnchor()));
        constraints.push_back(button->widthAnchor().constraintEqualToAnchor(clearButton->widthAnchor()));
    }
    mTableViewHeightConstraint = logTable->heightAnchor().constraintEqualToConstant(200);
    constraints.push_back(mTableViewHeightConstraint);
    LayoutConstraint::activateConstraints(constraints);

    perfTable->registerCell(VKMPerfCounterTableDataSource::kCellIdentifier, [](const std::string& identifier) {
        auto cell = std::make_shared<TableViewCell>(TableViewCellStyle::defaultStyle, identifier);
        const double widths[] = {150, 60, 60, 60};
        double x = 0;
        for (int tag = 1; tag <= 4; ++tag) {
            auto label = std::make_shared<Label>(Rect{x, 0, widths[tag - 1], kRowHeight});
            label->setFont(Font::systemFont(12));
            label->setTag(tag);
            cell->contentView()->addSubview(label);
            x += widths[tag - 1];
        }
        return cell;
    });
    logTable->registerCell(VKMLogTableDataSource::kCellIdentifier, [](const std::string& identifier) {
        auto cell = std::make_shared<TableViewCell>(TableViewCellStyle::defaultStyle, identifier);
        cell->textLabel()->setFont(Font::systemFont(10));
        return cell;
    });

    const std::weak_ptr<VKMDebugViewController> weak =
        std::static_pointer_cast<VKMDebugViewController>(shared_from_this());
    auto action = [weak](void (VKMDebugViewController::*method)()) {
        return [weak, method](Control&) {
            if (auto self = weak.lock()) ((*self).*method)();
        };
    };
    switchOne->addAction(action(&VKMDebugViewController::debugSwitchOneToggled), ControlEvents::valueChanged);
    switchTwo->addAction(action(&VKMDebugViewController::debugSwitchTwoToggled), ControlEvents::valueChanged);
    clearButton->addAction(action(&VKMDebugViewController::clearCloudCaches), ControlEvents::touchUpInside);
    resetButton->addAction(action(&VKMDebugViewController::resetCurrentUser), ControlEvents::touchUpInside);
    dumpButton->addAction(action(&VKMDebugViewController::dumpPerformanceCounters), ControlEvents::touchUpInside);

    mDebugSectionHeaderView = debugHeader;
    mPerformanceSectionHeaderView = performanceHeader;
    mLogSectionHeaderView = logHeader;
    mLogTableView = logTable;
    mPerfCounterTableView = perfTable;
    mDebugSwitchOne = switchOne;
    mDebugSwitchTwo = switchTwo;
}

void VKMDebugViewController::viewDidLoad() {
    ViewController::viewDidLoad();
    adjustSectionHeaderStyles();
    configureLogTableView();
    initializeDebugSwitches();
}

void VKMDebugViewController::adjustSectionHeaderStyles() {
    for (const auto& header : {debugSectionHeaderView(), logSectionHeaderView(), performanceSectionHeaderView()}) {
        if (header) styleSectionHeaderView(header);
    }
}

void VKMDebugViewController::styleSectionHeaderView(const std::shared_ptr<View>& header) {
    const auto root = view();
    auto band = std::make_shared<View>(Rect{});
    band->setBackgroundColor(root->tintColor());
    band->setTranslatesAutoresizingMaskIntoConstraints(false);
    root->addSubview(band);
    root->sendSubviewToBack(band.get());
    LayoutConstraint::activateConstraints({
        band->heightAnchor().constraintEqualToAnchor(header->heightAnchor()),
        band->widthAnchor().constraintEqualToAnchor(header->widthAnchor(), 1, 40),
        band->centerXAnchor().constraintEqualToAnchor(header->centerXAnchor()),
        band->centerYAnchor().constraintEqualToAnchor(header->centerYAnchor()),
    });
    if (auto label = UIViewVekmont::subViewOfKind<Label>(*header)) {
        label->setTextColor(Color::white(1));
        label->setFont(Font::boldSystemFont(16));
    }
    if (auto image = UIViewVekmont::subViewOfKind<ImageView>(*header)) {
        if (image->image())
            image->setImage(image->image()->withRenderingMode(platform::ImageRenderingMode::alwaysTemplate));
        image->setTintColor(Color::white(1));
    }
}

void VKMDebugViewController::configureLogTableView() {
    mPerfCounterTableDataSource = std::make_shared<VKMPerfCounterTableDataSource>();
    mLogTableDataSource = std::make_shared<VKMLogTableDataSource>();
    if (auto table = perfCounterTableView()) table->setDataSource(mPerfCounterTableDataSource);
    mLogTableView->setDataSource(mLogTableDataSource);
    setLogTableHeight();
    view()->layoutIfNeeded();
}

void VKMDebugViewController::setLogTableHeight() {
    mTableViewHeightConstraint->setConstant(view()->frame().height / 4);
    ZDUtils::logDebug("Log table height adjusted to %d", static_cast<int>(mTableViewHeightConstraint->constant()));
}

void VKMDebugViewController::initializeDebugSwitches() {
    auto& defaults = platform::UserDefaults::standard();
    if (auto one = debugSwitchOne()) one->setOn(defaults.boolValue(kClearCachesOnLaunchKey).value_or(false));
    if (auto two = debugSwitchTwo()) two->setOn(defaults.boolValue(kLogNotificationsKey).value_or(false));
}

void VKMDebugViewController::viewWillAppear(bool animated) {
    ZDUtils::logInfo("Entering %s", className().c_str());
    ViewController::viewWillAppear(animated);
    mLogTableView->reloadData();
    if (auto table = perfCounterTableView()) table->reloadData();
}

void VKMDebugViewController::viewWillTransitionToSize(platform::Size size,
                                                      ViewControllerTransitionCoordinator& coordinator) {
    ViewController::viewWillTransitionToSize(size, coordinator);
    const std::weak_ptr<VKMDebugViewController> weak =
        std::static_pointer_cast<VKMDebugViewController>(shared_from_this());
    coordinator.animateAlongsideTransition(
        [weak](ViewControllerContextTransitioning&) {
            if (auto self = weak.lock()) {
                self->setLogTableHeight();
                self->view()->layoutIfNeeded();
                self->mLogTableView->reloadData();
            }
        },
        nullptr);
}

void VKMDebugViewController::didReceiveMemoryWarning() {
    ZDUtils::logInfo("Memory warning received in %s", className().c_str());
    ViewController::didReceiveMemoryWarning();
}

void VKMDebugViewController::toggleDefault(const char* key) {
    auto& defaults = platform::UserDefaults::standard();
    const bool value = !defaults.boolValue(key).value_or(false);
    defaults.setBool(key, value);
    ZDUtils::logInfo("User default '%s' changed to %s", key, value ? "1" : "0");
    platform::NotificationCenter::defaultCenter().postNotificationName(VKMNotificationNames::kDebugSettingsChanged,
                                                                       this);
}

void VKMDebugViewController::debugSwitchOneToggled() { toggleDefault(kClearCachesOnLaunchKey); }

void VKMDebugViewController::debugSwitchTwoToggled() { toggleDefault(kLogNotificationsKey); }

void VKMDebugViewController::clearCloudCaches() {
    ZDUtils::logInfo("%s: Clearing cloud caches", className().c_str());
    VKMCloudCaches::clearCloudCaches();
    mLogTableView->reloadData();
}

void VKMDebugViewController::resetCurrentUser() {
    ZDUtils::logInfo("%s: Resetting current user", className().c_str());
    VKMSharedLayouts::sharedLayoutsUser()->clearCurrentUserID();
    platform::NotificationCenter::defaultCenter().postNotificationName(VKMNotificationNames::kUserLoggedOut, this);
    mLogTableView->reloadData();
}

void VKMDebugViewController::dumpPerformanceCounters() {
    ZDUtils::logInfo("%s: Dumping performance counters", className().c_str());
    QLPerformanceCounters::dumpCounters();
    mLogTableView->reloadData();
}
