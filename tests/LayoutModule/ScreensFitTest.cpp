// Every screen of the program's storyboards, shown at the phone's and the
// tablet's size with a shared layout open: no label's text is cut, and no
// two controls lie on each other but where the screens mean them to.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "LayoutModule/ActionButtons/VKMLayoutActionButton.h"
#include "LayoutModule/ActionButtons/VKMLayoutActionButtonHelper.h"
#include "LayoutModule/ElementInfo/VKMLayoutElementInfoHelper.h"
#include "LayoutModule/Info/VKMLayoutInfoHelper.h"
#include "LayoutModule/Layout/VKMLayoutViewController.h"
#include "LayoutModule/LayoutDetails/VKMLayoutDetailsViewController.h"
#include "LayoutModule/Scenes/VKMLayoutScenes.h"
#include "SharingModule/Model/QLLayoutEntity.h"
#include "SharingModule/Model/VKMLayoutEntityCache.h"
#include "UserProfileModule/LogIn/VKMLogInViewController.h"
#include "UserProfileModule/VKMUserProfileScenes.h"
#include "app/Helper/VKMLayoutDocumentHelper.h"
#include "app/Session/VKMLayoutSession.h"
#include "app/Utilities/VKMAlerts.h"
#include "engine/model/Layout.h"
#include "engine/services/ZDUtils.h"
#include "platform/ui/controllers/AlertController.h"
#include "platform/ui/controllers/PresentationController.h"
#include "platform/ui/controllers/Storyboard.h"
#include "platform/ui/controllers/SystemSheets.h"
#include "platform/ui/controllers/TabBarController.h"
#include "platform/ui/input/TouchSynth.h"
#include "platform/ui/views/Control.h"
#include "platform/ui/views/Device.h"
#include "platform/ui/views/Label.h"
#include "platform/ui/views/Screen.h"
#include "platform/ui/views/ScrollView.h"
#include "platform/ui/views/SegmentedControl.h"
#include "platform/ui/views/StackView.h"
#include "platform/ui/views/Window.h"
#include "tests/LayoutModule/LayoutModuleTestSupport.h"
#include "tests/LayoutModule/SideScreenSupport.h"
#include "tools/vekmont/VekmontScenes.h"

using namespace platform::ui;
using platform::Rect;

namespace {

// Overlaps the screens mean: the message banner slides over the zoom button
// (and whatever else lies at the top) while it shows. Listed by class name.
const std::vector<std::pair<std::string, std::string>> kIntendedOverlaps{
    {"VKMBouncyMessageTextView", "VKMZoomButton"},
};

bool Intended(const std::string& a, const std::string& b) {
    for (const auto& [first, second] : kIntendedOverlaps) {
        if ((a == first && b == second) || (a == second && b == first)) return true;
    }
    return false;
}

Rect Intersection(const Rect& a, const Rect& b) {
    const double x0 = std::max(a.minX(), b.minX());
    const double y0 = std::max(a.minY(), b.minY());
    const double x1 = std::min(a.maxX(), b.maxX());
    const double y1 = std::min(a.maxY(), b.maxY());
    if (x1 <= x0 || y1 <= y0) return {};
    return {x0, y0, x1 - x0, y1 - y0};
}

Rect Inset(const Rect& r, double by) { return {r.x + by, r.y + by, r.width - 2 * by, r.height - 2 * by}; }

struct Shown {
    std::shared_ptr<View> view;
    Rect frame;       // in the window
    Rect visible;     // cut by the clipping views above it
    Rect fixedClip;   // cut by those that do not scroll: what lies outside is never seen
    std::size_t top;  // which of the window's subviews holds it (a presentation lies in its own)
};

void Collect(const std::shared_ptr<View>& view, const Rect& clip, const Rect& fixedClip, std::size_t top,
             std::vector<Shown>& out) {
    if (view->isHidden() || view->alpha() < 0.01) return;
    const Rect frame = view->convertRectToView(view->bounds(), nullptr);
    const Rect visible = Intersection(frame, clip);
    if (visible.width <= 0 || visible.height <= 0) {
        if (view->clipsToBounds()) return;
    } else {
        out.push_back({view, frame, visible, fixedClip, top});
    }
    const bool scrolls = std::dynamic_pointer_cast<ScrollView>(view) != nullptr;
    const Rect inner = view->clipsToBounds() ? visible : clip;
    // What a scroll view holds can be brought into its frame.
    const Rect fixedInner = scrolls                 ? Rect{-1e6, -1e6, 2e6, 2e6}
                            : view->clipsToBounds() ? Intersection(frame, fixedClip)
                                                    : fixedClip;
    for (const auto& subview : view->subviews()) Collect(subview, inner, fixedInner, top, out);
}

// Where the label's text lies in the window.
Rect TextFrame(const Label& label) {
    const Label::Rendering r = label.rendering();
    double x0 = 1e9, y0 = 1e9, x1 = -1e9, y1 = -1e9;
    for (const auto& line : r.layout->lines()) {
        x0 = std::min(x0, line.frame.minX());
        y0 = std::min(y0, line.frame.minY());
        x1 = std::max(x1, line.frame.maxX());
        y1 = std::max(y1, line.frame.maxY());
    }
    if (x1 < x0) return {};
    return label.convertRectToView({r.origin.x + x0, r.origin.y + y0, x1 - x0, y1 - y0}, nullptr);
}

std::string Frames(const Shown& s) {
    char text[160];
    std::snprintf(text, sizeof text, " (at %g,%g %gx%g, seen in %g,%g %gx%g)", s.frame.x, s.frame.y, s.frame.width,
                  s.frame.height, s.fixedClip.x, s.fixedClip.y, s.fixedClip.width, s.fixedClip.height);
    return text;
}

bool Inside(const Rect& inner, const Rect& outer) {
    constexpr double kSlack = 0.5;
    return inner.minX() >= outer.minX() - kSlack && inner.minY() >= outer.minY() - kSlack &&
           inner.maxX() <= outer.maxX() + kSlack && inner.maxY() <= outer.maxY() + kSlack;
}

std::string Describe(const View& view) {
    std::string text = view.className();
    if (const auto* label = dynamic_cast<const Label*>(&view)) text += " \"" + label->text() + "\"";
    if (!view.accessibilityIdentifier().empty()) text += " #" + view.accessibilityIdentifier();
    if (const auto parent = view.superview()) text += " in " + parent->className();
    return text;
}

bool Contains(const View& outer, const View& inner) {
    for (auto v = inner.superview(); v; v = v->superview()) {
        if (v.get() == &outer) return true;
    }
    return false;
}

// What is wrong with the window as shown now.
std::vector<std::string> Problems(Window& window) {
    window.layoutIfNeeded();
    std::vector<Shown> shown;
    const auto subviews = window.subviews();
    for (std::size_t i = 0; i < subviews.size(); ++i) {
        Collect(subviews[i], window.bounds(), window.bounds(), i, shown);
    }
    std::vector<std::string> problems;
    std::vector<const Shown*> controls;
    for (const Shown& s : shown) {
        if (const auto label = std::dynamic_pointer_cast<Label>(s.view)) {
            if (label->truncatesText()) problems.push_back("cut: " + Describe(*label));
            // Text that a view which cannot scroll cuts off.
            if (!label->text().empty() && !Inside(TextFrame(*label), s.fixedClip)) {
                problems.push_back("clipped: " + Describe(*label) + Frames(s));
            }
        }
        if (std::dynamic_pointer_cast<Control>(s.view)) controls.push_back(&s);
    }
    for (std::size_t i = 0; i < controls.size(); ++i) {
        for (std::size_t j = i + 1; j < controls.size(); ++j) {
            const Shown& a = *controls[i];
            const Shown& b = *controls[j];
            if (a.top != b.top || Contains(*a.view, *b.view) || Contains(*b.view, *a.view)) continue;
            if (Intended(a.view->className(), b.view->className())) continue;
            // Controls that touch are as hard to tell apart as those that
            // overlap: each keeps a point around it.
            // Siblings laid out as one group (a tab bar, an alert's
            // buttons) may adjoin.
            const double margin = a.view->superview() == b.view->superview() ? 0 : 1;
            const Rect both = Intersection(Inset(a.visible, -margin), Inset(b.visible, -margin));
            if (both.width > 0.01 && both.height > 0.01) {
                problems.push_back("overlap: " + Describe(*a.view) + Frames(a) + " and " + Describe(*b.view) +
                                   Frames(b));
            }
        }
    }
    return problems;
}

const char* const kScenario = R"(version 13
layer "Plan"
straight length=300 at=0,0 angle=0 product=S188.3 maker=layoutgen library="layoutgen H0" scale=16 desc="A straight track of the standard length"
straight length=300 product=S188.3 maker=layoutgen library="layoutgen H0" scale=16
straight length=300 product=S188.3 maker=layoutgen library="layoutgen H0" scale=16
curve radius=400 sweep=30 product=R2 maker=layoutgen library="layoutgen H0" scale=16
)";

class Screens : public sidescreens::SideScreens {
public:
    void showApp(UserInterfaceIdiom idiom) {
        const platform::Size size =
            idiom == UserInterfaceIdiom::tablet ? platform::Size{820, 1180} : platform::Size{390, 844};
        Device::currentDevice().setUserInterfaceIdiom(idiom);
        Screen::mainScreen()->setSize(size);
        Screen::mainScreen()->setScale(2);
        vekmont::registerScenes();
        window = std::make_shared<Window>(Rect{0, 0, size.width, size.height});
        synth = std::make_shared<TouchSynth>(window);
        tabs = std::dynamic_pointer_cast<TabBarController>(
            Storyboard(vekmont::kMainStoryboard).instantiateInitialViewController());
        ASSERT_NE(tabs, nullptr);
        window->setRootViewController(tabs);
        window->makeKeyAndVisible();
        advance(0.1);
    }

    // A layout of the catalogue, open: its title, author, like and info
    // buttons and the browse button show.
    void openShared() {
        std::optional<platform::Error> error;
        const auto entity = QLLayoutEntity::entityWithJSON(
            platform::Value(platform::Value::Dictionary{
                {"id", "L7"},
                {"title", "Harbour_Town_Junction_with_the_Engine_Shed"},
                {"author", "u7"},
                {"weburl", "https://layouts.example/l/L7"},
                {"tags", platform::Value::Array{"harbour", "steam"}},
                {"modelScales", platform::Value::Array{"H0"}},
                {"numberOfTracks", 4},
                {"uploadDate", "2024-05-01T10:00:00Z"},
                {"likeUsers", platform::Value::Array{}},
                {"summary", platform::Value::Dictionary{{"en", "A harbour town with a junction and a shed."}}}}),
            error);
        ASSERT_NE(entity, nullptr);
        VKMLayoutEntityCache::sharedInstance().setObject(entity, "L7");
        tabs->setSelectedViewController(layout());
        advance(0.1);
        // As the catalogue opens it: the session knows it before it loads.
        VKMLayoutSession::sharedSession().setCloudLayoutId(std::string("L7"));
        open(kScenario, "shared.wkst");
    }

    std::shared_ptr<VKMLayoutViewController> layout() const {
        for (const auto& c : tabs->viewControllers()) {
            if (auto l = std::dynamic_pointer_cast<VKMLayoutViewController>(c)) return l;
        }
        return nullptr;
    }

    void dismiss() {
        tabs->dismissViewController(false);
        advance(0.5);
    }

    void expectFits(const std::string& where) {
        for (const auto& problem : Problems(*window)) ADD_FAILURE() << where << ": " << problem;
    }
};

std::string IdiomName(UserInterfaceIdiom idiom) { return idiom == UserInterfaceIdiom::tablet ? "tablet" : "phone"; }

}  // namespace

TEST(ScreensFit, EveryScreenShowsItsTextWholeAndItsControlsApart) {
    for (const UserInterfaceIdiom idiom : {UserInterfaceIdiom::phone, UserInterfaceIdiom::tablet}) {
        const std::string name = IdiomName(idiom);
        Screens s;
        s.showApp(idiom);
        s.openShared();
        const auto layout = s.layout();
        ASSERT_NE(layout, nullptr);
        ASSERT_FALSE(layout->outlets.layoutInfoStackView.lock()->isHidden()) << name;
        ASSERT_NE(VKMLayoutActionButtonHelper::button(VKMLayoutActionButtonHelper::kBrowse), nullptr) << name;

        // Each tab.
        const auto controllers = s.tabs->viewControllers();
        for (std::size_t i = 0; i < controllers.size(); ++i) {
            // The program takes the debug screen out at launch.
            if (controllers[i]->className() == "VKMDebugViewController") continue;
            s.tabs->setSelectedIndex(i);
            s.advance(1);
            s.expectFits(name + " tab " + controllers[i]->className());
        }
        s.tabs->setSelectedViewController(layout);
        s.advance(1);

        // The screens the layout screen presents.
        VKMLayoutInfoHelper::presentLayoutInfoWithInfoButton(layout->outlets.infoButton.lock());
        s.advance(1);
        s.expectFits(name + " layout details");
        const auto details = presentedControllers<VKMLayoutDetailsViewController>();
        ASSERT_EQ(details.size(), 1u) << name;
        if (const auto segments = details.front()->outlets.pageControl.lock()) {
            segments->setSelectedSegmentIndex(1);
            segments->sendActionsForControlEvents(ControlEvents::valueChanged);
            s.advance(1);
            s.expectFits(name + " layout summary");
        }
        s.dismiss();

        for (const char* button : {VKMLayoutActionButtonHelper::kSettings, VKMLayoutActionButtonHelper::kLayer}) {
            VKMLayoutActionButtonHelper::button(button)->buttonTapped();
            s.advance(1);
            ASSERT_NE(s.presented(), nullptr) << name << " " << button;
            s.expectFits(name + " " + button);
            s.dismiss();
        }

        ASSERT_TRUE(VKMLayoutElementInfoHelper::presentInfoForElement(layout->trackLayout()->GetElements().at(0),
                                                                      {300, 500}, layout->view()));
        s.advance(1);
        s.expectFits(name + " element information");
        s.dismiss();

        // The log-in form.
        const auto logIn = Storyboard(VKMUserProfileScenes::kStoryboardName)
                               .instantiateViewController(VKMLogInViewController::kSceneIdentifier);
        ASSERT_NE(logIn, nullptr);
        s.tabs->presentViewController(logIn, false);
        s.advance(1);
        s.expectFits(name + " log-in");
        s.dismiss();

        // The alerts: a failed load, a file of a newer version, a deletion.
        ASSERT_FALSE(VKMLayoutDocumentHelper::loadLayoutFile("/nonexistent/missing.wkst"));
        s.advance(1);
        s.expectFits(name + " alert of a missing file");
        s.dismiss();
        VKMAlerts::showAlertWithTitle(ZDUtils::localizedString("OperationFailed"),
                                      ZDUtils::localizedString("LayoutLoadFailedVersionIsNotSupported"), "OK", [] {});
        s.advance(1);
        s.expectFits(name + " alert of a newer version");
        s.dismiss();
        VKMAlerts::askYesNoWithTitle("Harbour Town Junction with the Engine Shed.wkst",
                                     "Delete this layout from the device?", "Delete", [] {});
        s.advance(1);
        s.expectFits(name + " delete confirmation");
        s.dismiss();
    }
}
