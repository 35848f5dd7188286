#include "LayoutModule/ActionButtons/VKMLayoutActionButtonHelper.h"

#include <cctype>
#include <map>

#include "LayoutModule/ActionButtons/VKMLayoutActionButton.h"
#include "LayoutModule/LayerList/VKMLayerListHelper.h"
#include "LayoutModule/Layout/VKMLayoutSymbols.h"
#include "LayoutModule/Layout/VKMLayoutViewController.h"
#include "LayoutModule/LayoutSettings/VKMLayoutSettingsHelper.h"
#include "SharingModule/Model/QLLayoutEntity.h"
#include "SharingModule/Model/VKMCurrentCloudLayout.h"
#include "app/Utilities/Colors/UIColorCColor.h"
#include "app/Utilities/Colors/VKMAutoColorizeHelper.h"
#include "app/Utilities/Strings/ZDUtilsStrings.h"
#include "engine/services/ActivityAnalyticsService.h"
#include "platform/foundation/AsciiText.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/net/URL.h"
#include "platform/ui/views/Application.h"
#include "platform/ui/views/Device.h"
#include "platform/ui/views/StackView.h"

using namespace platform::ui;

namespace {

std::map<std::string, std::shared_ptr<VKMLayoutActionButton>>& registry() {
    static std::map<std::string, std::shared_ptr<VKMLayoutActionButton>> buttons;
    return buttons;
}

bool isTablet() { return Device::currentDevice().userInterfaceIdiom() == UserInterfaceIdiom::tablet; }

void postWithButton(const char* notification, const char* name) {
    platform::NotificationCenter::defaultCenter().postNotificationName(notification,
                                                                       VKMLayoutActionButtonHelper::button(name).get());
}

std::shared_ptr<VKMLayoutActionButton> makeButton(const char* name, const char* symbol) {
    auto button = VKMLayoutActionButton::make();
    button->setImage(VKMLayoutSymbols::image(symbol, VKMLayoutActionButtonHelper::kSymbolPointSize),
                     ControlState::normal);
    button->setTintColor(UIColorCColor::vkmActionButtonsTintColor());
    button->setAccessibilityIdentifier(name);
    registry()[name] = button;
    return button;
}

bool isHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// What a query may hold as it is: unreserved, sub-delimiters, ":", "@",
// "/", "?", and the "%" of a well-formed escape.
std::string encodeForQuery(const std::string& text) {
    static const std::string allowed = "-._~!$&'()*+,;=:@/?";
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const bool escape = c == '%' && i + 2 < text.size() && isHexDigit(text[i + 1]) && isHexDigit(text[i + 2]);
        if (std::isalnum(c) != 0 && c < 0x80) {
            out += static_cast<char>(c);
        } else if (escape || (c < 0x80 && allowed.find(static_cast<char>(c)) != std::string::npos)) {
            out += static_cast<char>(c);
        } else {
            static const char digits[] = "0123456789ABCDEF";
            out += '%';
            out += digits[c >> 4];
            out += digits[c & 0xF];
        }
    }
    return out;
}

}  // namespace

std::shared_ptr<StackView> VKMLayoutActionButtonHelper::addOverlayButtonsTo(const std::shared_ptr<View>& parentView,
                                                                            const std::shared_ptr<View>& referenceView,
                                                                            bool includeBrowseButton) {
    VKMLayoutSymbols::registerSymbols();
    const bool tablet = isTablet();
    auto stack = StackView::make();
    stack->setAxis(LayoutConstraintAxis::vertical);
    stack->setAlignment(StackViewAlignment::center);
    stack->setDistribution(StackViewDistribution::equalSpacing);
    stack->setSpacing(tablet ? 20 : 12.5);
    stack->setTranslatesAutoresizingMaskIntoConstraints(false);
    parentView->addSubview(stack);
    std::vector<std::shared_ptr<LayoutConstraint>> constraints{stack->leadingAnchor().constraintEqualToAnchor(
        parentView->safeAreaLayoutGuide()->leadingAnchor(), tablet ? 17.5 : 10)};
    if (referenceView) {
        constraints.push_back(tablet ? stack->topAnchor().constraintEqualToAnchor(referenceView->topAnchor())
                                     // Below the title block, by the column's own spacing,
                                     // so that its buttons do not touch the like button.
                                     : stack->topAnchor().constraintEqualToAnchor(referenceView->bottomAnchor(), 12.5));
    } else {
        constraints.push_back(stack->topAnchor().constraintEqualToAnchor(parentView->topAnchor()));
    }
    LayoutConstraint::activateConstraints(constraints);

    std::vector<std::shared_ptr<VKMLayoutActionButton>> arranged;
    if (includeBrowseButton) {
        auto browse = makeButton(kBrowse, VKMLayoutSymbols::kBrowse);
        browse->setTapActionBlock([] { browseCurrentLayout(); });
        if (tablet) {
            browse->setTranslatesAutoresizingMaskIntoConstraints(false);
            parentView->addSubview(browse);
            const std::map<std::string, double> metrics{{"StackMargin", 17.5}, {"TopStackMargin", 35}};
            const std::map<std::string, std::shared_ptr<View>> views{{"actionButton", browse}};
            LayoutConstraint::activateConstraints(
                LayoutConstraint::constraintsWithVisualFormat("[actionButton]-StackMargin-|", metrics, views));
            LayoutConstraint::activateConstraints(
                LayoutConstraint::constraintsWithVisualFormat("V:|-TopStackMargin-[actionButton]", metrics, views));
        } else {
            arranged.push_back(browse);
        }
    }
    auto share = makeButton(kShare, VKMLayoutSymbols::kShare);
    share->setTapActionBlock([] { postWithButton(VKMLayoutViewController::kShareLayoutNotification, kShare); });
    auto settings = makeButton(kSettings, VKMLayoutSymbols::kSettings);
    settings->setTapActionBlock([] {
        const auto anchor = button(kSettings);
        if (!anchor) return;
        VKMLayoutSettingsHelper::presentLayoutSettingsAtButton(anchor);
        QLActivityAnalytics::trackEvent("LayoutSettingsOpened");
    });
    auto layer = makeButton(kLayer, VKMLayoutSymbols::kLayers);
    layer->setTapActionBlock([] {
        const auto anchor = button(kLayer);
        if (!anchor) return;
        VKMLayerListHelper::presentLayerListAtButton(anchor);
        QLActivityAnalytics::trackEvent("LayerListOpened");
    });
    auto colorize = makeButton(kColorize, VKMLayoutSymbols::kColorize);
    colorize->setTapActionBlock([] { VKMAutoColorizeHelper::autoColorizeTracks(1); });
    colorize->setLongPressActionBlock(
        [] { postWithButton(VKMLayoutViewController::kShowColorizeOptionsNotification, kColorize); });
    for (auto& button : {share, settings, layer, colorize}) arranged.push_back(button);

    for (const auto& button : arranged) {
        button->setAlpha(0);
        stack->addArrangedSubview(button);
        View::animate(0.75, [raw = button.get()] { raw->setAlpha(1); });
    }
    return stack;
}

void VKMLayoutActionButtonHelper::removeActionButtons() {
    for (const auto& [name, button] : registry()) button->removeFromSuperview();
    registry().clear();
}

std::shared_ptr<VKMLayoutActionButton> VKMLayoutActionButtonHelper::button(const std::string& name) {
    const auto found = registry().find(name);
    return found == registry().end() ? nullptr : found->second;
}

std::shared_ptr<VKMLayoutActionButton> VKMLayoutActionButtonHelper::buttonForObject(const void* object) {
    if (object == nullptr) return nullptr;
    for (const auto& [name, button] : registry()) {
        if (button.get() == object) return button;
    }
    return nullptr;
}

std::optional<std::string> VKMLayoutActionButtonHelper::browseURLFromWebURL(const std::string& weburl) {
    const std::string trimmed = ZDUtils::stringByStrippingWhitespace(weburl);
    if (trimmed.empty()) return std::nullopt;
    // An address that is valid already keeps its escapes ("%20" is not
    // turned into "%2520").
    auto url = platform::net::URL::parse(trimmed);
    if (!url) url = platform::net::URL::parse(encodeForQuery(trimmed));
    if (!url || url->host().empty()) return std::nullopt;
    const std::string scheme = platform::ascii::lowercased(url->scheme());
    if (scheme != "http" && scheme != "https") return std::nullopt;
    return url->absoluteString();
}

void VKMLayoutActionButtonHelper::browseCurrentLayout() {
    const auto entity = VKMCurrentCloudLayout::layoutEntity();
    if (!entity) return;
    const auto address = browseURLFromWebURL(entity->weburl());
    if (!address) return;
    Application::sharedApplication().openURL(*address, [](bool) {});
    QLActivityAnalytics::trackEvent("LayoutURLBrowsed");
}
