// Every screen of the program's storyboards, shown at the phone's and the
// tablet's size and at the smallest the window may be made, with a shared
// layout open: no label's text is cut, and no two controls lie on each
// other but where the screens mean them to.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "LayoutModule/ActionButtons/VKMLayoutActionButton.h"
#include "LayoutModule/ActionButtons/VKMLayoutActionButtonHelper.h"
#include "LayoutModule/ElementInfo/VKMElementInfoViewController.h"
#include "LayoutModule/ElementInfo/VKMLayoutElementInfoHelper.h"
#include "LayoutModule/Info/VKMLayoutInfoHelper.h"
#include "LayoutModule/Layout/VKMLayoutView.h"
#include "LayoutModule/Layout/VKMLayoutViewController.h"
#include "LayoutModule/LayoutDetails/VKMLayoutDetailsViewController.h"
#include "LayoutModule/PartList/VKMPartListViewController.h"
#include "LayoutModule/PartList/VKMPartsTableDataSource.h"
#include "LayoutModule/Scenes/VKMLayoutScenes.h"
#include "SharingModule/Model/QLCloudLayoutsCache.h"
#include "SharingModule/Model/QLLayoutEntity.h"
#include "SharingModule/Model/QLUserNameCache.h"
#include "SharingModule/Model/VKMLayoutEntityCache.h"
#include "UserProfileModule/LogIn/VKMLogInViewController.h"
#include "UserProfileModule/Support/VKMCommunityStrings.h"
#include "UserProfileModule/VKMUserProfileScenes.h"
#include "app/Helper/VKMFileManager.h"
#include "app/Helper/VKMLayoutDocumentHelper.h"
#include "app/Session/VKMLayoutSession.h"
#include "app/Utilities/VKMAlerts.h"
#include "engine/model/Layout.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/Bundle.h"
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
#include "platform/ui/views/TableView.h"
#include "platform/ui/views/TableViewCell.h"
#include "platform/ui/views/TextField.h"
#include "platform/ui/views/Window.h"
#include "tests/LayoutModule/KeptPictures.h"
#include "tests/LayoutModule/LayoutModuleTestSupport.h"
#include "tests/LayoutModule/SideScreenSupport.h"
#include "tests/SharingModule/support/SharingTestSupport.h"
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

Rect InWindow(const View& view) { return view.convertRectToView(view.bounds(), nullptr); }

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

// The English tables' texts that another language says otherwise: one of
// them shown in that language was left in English. Texts with a number or
// name put in ("%d tracks") are matched as patterns.
class EnglishLeftovers {
public:
    explicit EnglishLeftovers(const std::string& language) {
        const platform::Bundle& bundle = *platform::Bundle::main();
        for (const auto& file : std::filesystem::directory_iterator(bundle.resourcesPath() / "en.lproj")) {
            if (file.path().extension() != ".strings") continue;
            const std::string table = file.path().stem().string();
            const auto translated = bundle.strings(language, table);
            for (const auto& [key, text] : translated) mTranslated.insert(text);
            for (const auto& [key, english] : bundle.strings("en", table)) {
                const auto it = translated.find(key);
                if (it != translated.end() && it->second == english) continue;
                mEnglish.push_back({table + "/" + key, english, Pattern(english)});
            }
        }
    }

    // The table and key of the English text `shown` is, if it is one.
    std::optional<std::string> find(const std::string& shown) const {
        if (shown.empty() || mTranslated.count(shown) != 0) return std::nullopt;
        for (const Entry& entry : mEnglish) {
            if (shown == entry.text || (entry.pattern && std::regex_match(shown, *entry.pattern))) return entry.where;
        }
        return std::nullopt;
    }

private:
    struct Entry {
        std::string where;
        std::string text;
        std::optional<std::regex> pattern;
    };

    // A format's conversions as wildcards, when the rest says enough to
    // tell it from other texts.
    static std::optional<std::regex> Pattern(const std::string& format) {
        static const std::regex conversion(R"(%(\d+\$)?[-+ #0]*\d*(\.\d+)?(hh|h|ll|l|z|j|t|L)?[@dDiuUxXoOfFeEgGcsSp])");
        static const std::regex special(R"([.^$|()\[\]{}*+?\\])");
        if (format.find('%') == std::string::npos) return std::nullopt;
        std::string pattern;
        std::size_t literal = 0;
        auto begin = std::sregex_iterator(format.begin(), format.end(), conversion);
        std::size_t at = 0;
        for (auto it = begin; it != std::sregex_iterator(); ++it) {
            const std::string text = format.substr(at, static_cast<std::size_t>(it->position()) - at);
            literal += text.size();
            pattern += std::regex_replace(text, special, "\\$&") + ".+";
            at = static_cast<std::size_t>(it->position() + it->length());
        }
        const std::string rest = format.substr(at);
        literal += rest.size();
        pattern += std::regex_replace(rest, special, "\\$&");
        if (literal < 4) return std::nullopt;
        return std::regex(pattern);
    }

    std::vector<Entry> mEnglish;
    std::set<std::string> mTranslated;
};

// The texts shown now: labels (buttons' titles among them), segments and
// text fields.
std::vector<std::pair<std::string, std::string>> ShownTexts(Window& window) {
    window.layoutIfNeeded();
    std::vector<Shown> shown;
    const auto subviews = window.subviews();
    for (std::size_t i = 0; i < subviews.size(); ++i) Collect(subviews[i], window.bounds(), window.bounds(), i, shown);
    std::vector<std::pair<std::string, std::string>> texts;
    for (const Shown& s : shown) {
        if (const auto label = std::dynamic_pointer_cast<Label>(s.view)) {
            texts.emplace_back(label->text(), Describe(*label));
        } else if (const auto segments = std::dynamic_pointer_cast<SegmentedControl>(s.view)) {
            for (int i = 0; i < segments->numberOfSegments(); ++i) {
                texts.emplace_back(segments->titleForSegmentAtIndex(i), Describe(*segments));
            }
        } else if (const auto field = std::dynamic_pointer_cast<TextField>(s.view)) {
            texts.emplace_back(field->placeholder(), Describe(*field));
            texts.emplace_back(field->text(), Describe(*field));
        }
    }
    return texts;
}

const char* const kScreensScenario = R"(version 13
layer "Plan"
straight length=300 at=0,0 angle=0 product=S188.3 maker=layoutgen library="layoutgen H0" scale=16 desc="A straight track of the standard length"
straight length=300 product=S188.3 maker=layoutgen library="layoutgen H0" scale=16
straight length=300 product=S188.3 maker=layoutgen library="layoutgen H0" scale=16
curve radius=400 sweep=30 product=R2 maker=layoutgen library="layoutgen H0" scale=16
)";

// The shared layout as the sharing service describes it.
nlohmann::json SharedLayoutJson() {
    return {{"id", "L7"},
            {"title", "Harbour_Town_Junction_with_the_Engine_Shed"},
            {"author", "u7"},
            {"weburl", "https://layouts.example/l/L7"},
            {"tags", {"harbour", "steam"}},
            {"modelScales", {"H0"}},
            {"numberOfTracks", 4},
            {"uploadDate", "2024-05-01T10:00:00Z"},
            {"likeUsers", nlohmann::json::array()},
            {"blobName", "L7.layout"},
            {"summary", {{"en", "A harbour town with a junction and a shed."}}}};
}

class Screens : public sidescreens::SideScreens {
public:
    // The catalogue and the local list show rows: a local file and a
    // shared layout downloaded before, with long names.
    void fillLists() {
        namespace fs = std::filesystem;
        VKMFileManager::createVKMDocumentsFolderIfNotExists();
        const fs::path local = VKMFileManager::pathToVKMDocumentsFolder() / "Harbour Town Junction Engine Shed";
        fs::copy_file(layouttest::WriteScenario(kScreensScenario, "local.wkst"), local,
                      fs::copy_options::overwrite_existing);
        auto& cache = QLCloudLayoutsCache::sharedInstance();
        fs::create_directories(cache.pathForLayout("L7").parent_path());
        fs::copy_file(local, cache.pathForLayout("L7"), fs::copy_options::overwrite_existing);
        cache.recordDownload("L7");
    }

    // At the idiom's size unless given one.
    void showApp(UserInterfaceIdiom idiom, std::optional<platform::Size> given = std::nullopt) {
        const platform::Size size =
            given.value_or(idiom == UserInterfaceIdiom::tablet ? platform::Size{820, 1180} : platform::Size{390, 844});
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
    // buttons and the browse button show. The sharing service's entity
    // when it served one, else one made here.
    void openShared() {
        if (!VKMLayoutEntityCache::sharedInstance().objectForKey("L7")) cacheEntity();
        fillLists();
        tabs->setSelectedViewController(layout());
        advance(0.1);
        // As the catalogue opens it: the session knows it before it loads.
        VKMLayoutSession::sharedSession().setCloudLayoutId(std::string("L7"));
        open(kScreensScenario, "shared.wkst");
    }

    static void cacheEntity() {
        std::optional<platform::Error> error;
        const auto entity =
            QLLayoutEntity::entityWithJSON(*platform::Value::fromJson(SharedLayoutJson().dump()), error);
        ASSERT_NE(entity, nullptr);
        VKMLayoutEntityCache::sharedInstance().setObject(entity, "L7");
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
        if (const char* folder = std::getenv("SCREEN_PICTURES")) {
            std::string name = where;
            std::replace(name.begin(), name.end(), ' ', '-');
            if (const auto shot = window->snapshot()) shot->writePNG(std::string(folder) + "/" + name + ".png");
        }
        for (const auto& problem : Problems(*window)) ADD_FAILURE() << where << ": " << problem;
        if (!english) return;
        for (const auto& [text, view] : ShownTexts(*window)) {
            if (const auto key = english->find(text))
                ADD_FAILURE() << where << ": in English: " << view << " (" << *key << ")";
        }
    }

    // When set, the screens are in another language: what they show of the
    // English tables is a miss.
    const EnglishLeftovers* english = nullptr;
};

// The sizes the window is shown at: each idiom's own, and the smallest the
// desktop window can be made.
// desktop window can be made, and the tablet on its side as a wide display
// opens it.
struct Shape {
    const char* name;
    UserInterfaceIdiom idiom;
    platform::Size size;
    DeviceOrientation orientation = DeviceOrientation::portrait;
};
const Shape kShapes[] = {
    {"phone", UserInterfaceIdiom::phone, {390, 844}},
    {"small phone", UserInterfaceIdiom::phone, {320, 568}},
    {"tablet", UserInterfaceIdiom::tablet, {820, 1180}},
    {"small tablet", UserInterfaceIdiom::tablet, {768, 1024}},
    {"landscape tablet", UserInterfaceIdiom::tablet, {1180, 820}, DeviceOrientation::landscapeLeft},
    {"small landscape tablet", UserInterfaceIdiom::tablet, {1024, 768}, DeviceOrientation::landscapeLeft},
};

}  // namespace

// `author`: the name the title block shows, when the service gave one.
static void CheckEveryScreen(const std::optional<std::string>& language, const std::optional<std::string>& author) {
    for (const Shape& shape : kShapes) {
        const std::string name = shape.name;
        Screens s;
        // Chosen once the services are up: setting them up forgets it.
        platform::Bundle::main()->setPreferredLanguage(language);
        if (language == "de") {
            ASSERT_EQ(ZDUtils::localizedString("OperationFailed"), "Vorgang fehlgeschlagen");
        }
        std::optional<EnglishLeftovers> leftovers;
        if (language && *language != "en") {
            leftovers.emplace(*language);
            s.english = &*leftovers;
        }
        Device::currentDevice().setOrientation(shape.orientation);
        s.showApp(shape.idiom, shape.size);
        s.openShared();
        const auto layout = s.layout();
        ASSERT_NE(layout, nullptr);
        ASSERT_FALSE(layout->outlets.layoutInfoStackView.lock()->isHidden()) << name;
        ASSERT_NE(VKMLayoutActionButtonHelper::button(VKMLayoutActionButtonHelper::kBrowse), nullptr) << name;
        if (author) {
            const auto shown = layout->outlets.authorButton.lock()->currentTitle().value_or("");
            EXPECT_NE(shown.find(*author), std::string::npos) << name << ": " << shown;
        }

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
            // Every fact shows without scrolling: hidden ones leave no gap.
            std::vector<Shown> facts;
            const auto page = details.front()->view();
            Collect(page, InWindow(*page), InWindow(*page), 0, facts);
            int shownFacts = 0;
            for (const Shown& fact : facts) {
                const auto label = std::dynamic_pointer_cast<Label>(fact.view);
                if (!label || label->text().empty()) continue;
                ++shownFacts;
                EXPECT_TRUE(Inside(TextFrame(*label), InWindow(*page))) << name << " " << label->text();
            }
            EXPECT_GE(shownFacts, 20) << name;
        }
        s.dismiss();

        for (const char* button : {VKMLayoutActionButtonHelper::kSettings, VKMLayoutActionButtonHelper::kLayer}) {
            VKMLayoutActionButtonHelper::button(button)->buttonTapped();
            s.advance(1);
            ASSERT_NE(s.presented(), nullptr) << name << " " << button;
            s.expectFits(name + " " + button);
            s.dismiss();
        }

        // The share sheet, and what it says once the picture is saved. The
        // picture is drawn and written on other threads.
        VKMLayoutActionButtonHelper::button(VKMLayoutActionButtonHelper::kShare)->buttonTapped();
        const auto sheet = std::dynamic_pointer_cast<ActivityViewController>(s.presented());
        ASSERT_NE(sheet, nullptr) << name << ": shown at once";
        s.window->layoutIfNeeded();
        s.expectFits(name + " share sheet preparing");
        // The document is copied in turns of the main loop, then drawn.
        s.advance(0.1);
        ASSERT_TRUE(
            platform::RunLoop::main()->runUntil([&] { return !sheet->isWaitingForItems(); }, std::chrono::seconds(20)))
            << name;
        s.advance(1);
        s.expectFits(name + " share sheet");
        ASSERT_TRUE(sheet->perform(activity::kSaveToFiles)) << name;
        ASSERT_TRUE(platform::RunLoop::main()->runUntil([&] { return !sheet->isSaving(); }, std::chrono::seconds(20)));
        s.advance(0.1);
        ASSERT_NE(sheet->statusText().find(".png"), std::string::npos) << name << ": " << sheet->statusText();
        s.expectFits(name + " share sheet saved");
        s.dismiss();

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
                                     VKMCommunityStrings::text("LocalLayoutDeleteQuestion"),
                                     VKMCommunityStrings::text("LocalLayoutDelete"), [] {});
        s.advance(1);
        s.expectFits(name + " delete confirmation");
        s.dismiss();
    }
}

// The shared layout and its author's name come from the sharing service
// stand-in, as the catalogue fetches them.
class ServedScreens : public sharingtest::SharingServerTest {
protected:
    void serve() {
        sharing.addUsers({{"u7", {{"password", "pw"}, {"userName", "Ada Lovelace-Byron"}}}});
        sharing.addLayouts({SharedLayoutJson()});
        std::shared_ptr<const QLLayoutEntity> entity;
        bool done = false;
        client->layoutEntityWithId(
            "L7",
            [&](const std::shared_ptr<const QLLayoutEntity>& e) {
                entity = e;
                done = true;
            },
            [&](const platform::Error&) { done = true; });
        ASSERT_TRUE(sharingtest::runMainUntil([&] { return done; }));
        ASSERT_NE(entity, nullptr);
        VKMLayoutEntityCache::sharedInstance().setObject(entity, "L7");
        QLUserNameCache::sharedInstance().requestUserNameForUserId("u7", client);
        ASSERT_TRUE(sharingtest::runMainUntil(
            [] { return QLUserNameCache::sharedInstance().userNameForUserId("u7").has_value(); }));
    }
};

TEST_F(ServedScreens, EveryScreenShowsItsTextWholeAndItsControlsApart) {
    serve();
    CheckEveryScreen(std::nullopt, "Ada Lovelace-Byron");
}

// German words are longer.
TEST(ScreensFit, EveryScreenInGermanToo) {
    CheckEveryScreen("de", std::nullopt);
    platform::Bundle::main()->setPreferredLanguage(std::nullopt);
}

// --- Window pictures -----------------------------------------------------------

namespace {

bool Ink(const platform::Pixel& p) { return p.alpha > 200 && std::max({p.red, p.green, p.blue}) < 110; }

// Pixel rows and columns of the rectangle (points, scale 2) holding ink.
struct InkFound {
    int pixels = 0;
    int bands = 0;  // runs of rows with ink: lines of text
};
InkFound FindInk(const platform::Image& image, const Rect& r) {
    InkFound found;
    bool previous = false;
    const int x0 = static_cast<int>(r.minX() * 2), x1 = static_cast<int>(r.maxX() * 2);
    for (int y = static_cast<int>(r.minY() * 2); y < static_cast<int>(r.maxY() * 2); ++y) {
        bool row = false;
        for (int x = x0; x < x1; ++x) {
            const auto p = image.pixel(x, y);
            if (p && Ink(*p)) {
                ++found.pixels;
                row = true;
            }
        }
        if (row && !previous) ++found.bands;
        previous = row;
    }
    return found;
}

void SavePicture(const platform::Image& image, const std::string& name) {
    if (const char* folder = std::getenv("SCREEN_PICTURES")) image.writePNG(std::string(folder) + "/" + name + ".png");
}

// The alert shown now: its words drawn whole inside its box, on as many
// lines as `lines` at least, none in the box's side margins.
void ExpectAlertPicture(Screens& s, const std::string& name, int lines) {
    const auto alerts = AlertController::presentedAlerts();
    ASSERT_EQ(alerts.size(), 1u) << name;
    const auto shot = s.window->snapshot();
    ASSERT_NE(shot, nullptr);
    SavePicture(*shot, name);
    layouttest::ExpectLooksAsKept(*shot, name);
    const auto message = alerts[0]->messageLabel();
    const auto title = alerts[0]->titleLabel();
    ASSERT_TRUE(message && title) << name;
    EXPECT_FALSE(message->truncatesText()) << name << ": " << message->text();
    EXPECT_FALSE(title->truncatesText()) << name << ": " << title->text();
    const Rect box = InWindow(*message->superview()->superview());
    EXPECT_TRUE(Inside(box, s.window->bounds())) << name;
    const InkFound words = FindInk(*shot, InWindow(*message));
    EXPECT_GT(words.pixels, 200) << name;
    EXPECT_GE(words.bands, lines) << name;
    EXPECT_GE(FindInk(*shot, InWindow(*title)).pixels, 100) << name;
    // The text keeps 16 points from the box's sides.
    const Rect text = InWindow(*alerts[0]->textScrollView());
    EXPECT_EQ(FindInk(*shot, {box.minX(), text.minY(), 12, text.height}).pixels, 0) << name << " left margin";
    EXPECT_EQ(FindInk(*shot, {box.maxX() - 12, text.minY(), 12, text.height}).pixels, 0) << name << " right margin";
}

void ExpectNothingCut(const std::shared_ptr<View>& root, const std::string& name) {
    std::vector<Shown> shown;
    Collect(root, InWindow(*root), InWindow(*root), 0, shown);
    for (const Shown& s : shown) {
        if (const auto label = std::dynamic_pointer_cast<Label>(s.view)) {
            EXPECT_FALSE(label->truncatesText()) << name << ": " << label->text();
        }
    }
}

}  // namespace

TEST(ScreenPictures, AlertsShowTheirWholeTitleAndMessage) {
    Screens s;
    s.showApp(UserInterfaceIdiom::phone);
    ASSERT_FALSE(VKMLayoutDocumentHelper::loadLayoutFile("/nonexistent/missing.wkst"));
    s.advance(1);
    ExpectAlertPicture(s, "alert-missing-phone", 1);
    s.dismiss();
    VKMAlerts::showAlertWithTitle(ZDUtils::localizedString("OperationFailed"),
                                  ZDUtils::localizedString("LayoutLoadFailedVersionIsNotSupported"), "OK", [] {});
    s.advance(1);
    ExpectAlertPicture(s, "alert-newer-phone", 2);
    s.dismiss();
    VKMAlerts::askYesNoWithTitle("Harbour Town Junction with the Engine Shed.wkst",
                                 VKMCommunityStrings::text("LocalLayoutDeleteQuestion"), "Delete", [] {});
    s.advance(1);
    ExpectAlertPicture(s, "alert-delete-phone", 1);
    s.dismiss();
}

TEST(ScreenPictures, TheGermanAdviceToUpdateTheAppShows) {
    Screens s;
    platform::Bundle::main()->setPreferredLanguage("de");
    s.showApp(UserInterfaceIdiom::phone);
    const std::string advice = ZDUtils::localizedString("LayoutLoadFailedVersionIsNotSupported");
    ASSERT_NE(advice.find("aktualisiere"), std::string::npos) << advice;
    VKMAlerts::showAlertWithTitle(ZDUtils::localizedString("OperationFailed"), advice, "OK", [] {});
    s.advance(1);
    ExpectAlertPicture(s, "alert-newer-de-phone", 2);
    s.dismiss();
    platform::Bundle::main()->setPreferredLanguage(std::nullopt);
}

TEST(ScreenPictures, ThePartListOfAHundredThousandElementsShowsItsCountsWhole) {
    // Four parts in 100,000 pieces, each piece with its type stored so that
    // loading guesses none.
    const struct {
        const char* product;
        int count;
    } parts[] = {{"S188.3", 43210}, {"S94.2", 31415}, {"R2-30", 15000}, {"S64.3", 10375}};
    std::string scenario = "version 13\nlayer \"Plan\"\n";
    scenario.reserve(100000 * 90);
    int row = 0;
    for (const auto& part : parts) {
        for (int i = 0; i < part.count; ++i, ++row) {
            scenario += "straight length=100 at=" + std::to_string(row % 300 * 120) + "," +
                        std::to_string(row / 300 * 20) + " angle=0 product=" + part.product +
                        " maker=layoutgen library=\"layoutgen H0\" scale=16 type=1\n";
        }
    }
    Screens s;
    s.show(UserInterfaceIdiom::phone, sidescreens::kPartListTab);
    s.open(scenario, "hundred-thousand.wkst");
    s.advance(1);
    const auto shot = s.window->snapshot();
    ASSERT_NE(shot, nullptr);
    SavePicture(*shot, "partlist");
    layouttest::ExpectLooksAsKept(*shot, "part-list-100000-phone");
    const auto table = s.partList->outlets.partsTableView.lock();
    ASSERT_NE(table, nullptr);
    ExpectNothingCut(table, "part list");
    const auto first = table->cellForRowAtIndexPath({0, 0});
    ASSERT_NE(first, nullptr);
    const auto count = std::dynamic_pointer_cast<Label>(first->viewWithTag(VKMPartsTableDataSource::kCountTag));
    ASSERT_NE(count, nullptr);
    EXPECT_EQ(count->text(), "43210x");
    // The count is drawn whole, right of the title, inside its row.
    const Rect countText = TextFrame(*count);
    EXPECT_TRUE(Inside(countText, InWindow(*first))) << "count";
    const auto title = std::dynamic_pointer_cast<Label>(first->viewWithTag(VKMPartsTableDataSource::kTitleTag));
    EXPECT_GE(countText.minX(), TextFrame(*title).maxX());
    EXPECT_GT(FindInk(*shot, countText).pixels, 100);
    // The header's copy button keeps its icon's width, apart from the count.
    std::shared_ptr<Control> copy;
    std::vector<Shown> shown;
    Collect(table, InWindow(*table), InWindow(*table), 0, shown);
    for (const Shown& v : shown) {
        if (v.view->className() == "Button") copy = std::dynamic_pointer_cast<Control>(v.view);
    }
    ASSERT_NE(copy, nullptr);
    EXPECT_GE(InWindow(*copy).width, 22.5);
    const auto header = copy->superview();
    for (const auto& view : header->subviews()) {
        if (const auto label = std::dynamic_pointer_cast<Label>(view)) {
            EXPECT_FALSE(Intersection(TextFrame(*label), InWindow(*copy)).width > 0) << label->text();
        }
    }
}

TEST(ScreenPictures, TheElementInformationShowsItsTitleWithTheUsageCount) {
    Screens s;
    s.showApp(UserInterfaceIdiom::tablet);
    s.openShared();
    const auto layout = s.layout();
    ASSERT_TRUE(VKMLayoutElementInfoHelper::presentInfoForElement(layout->trackLayout()->GetElements().at(0),
                                                                  {400, 600}, layout->view()));
    s.advance(1);
    const auto info = presentedControllers<VKMElementInfoViewController>();
    ASSERT_EQ(info.size(), 1u);
    // The layout beneath is drawn in tiles on worker threads.
    ASSERT_TRUE(layout->outlets.layoutView.lock()->waitForTiles());
    const auto shot = s.window->snapshot();
    ASSERT_NE(shot, nullptr);
    SavePicture(*shot, "element-info");
    layouttest::ExpectLooksAsKept(*shot, "element-info-tablet");
    const auto title = info[0]->outlets.titleLabel.lock();
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->text(), "S188.3 (layoutgen) (3\u00D7)");
    EXPECT_FALSE(title->truncatesText());
    const Rect popover = InWindow(*info[0]->view());
    // Every row, the last (the model scale) too, lies whole in the popover.
    const auto& o = info[0]->outlets;
    for (const auto& label : {title, o.descriptionLabel.lock(), o.libraryLabel.lock(), o.modelScaleLabel.lock()}) {
        ASSERT_NE(label, nullptr);
        ASSERT_FALSE(label->isHidden()) << label->text();
        EXPECT_TRUE(Inside(TextFrame(*label), popover)) << label->text();
        EXPECT_GT(FindInk(*shot, TextFrame(*label)).pixels, 100) << label->text();
    }
}

TEST(ScreenPictures, TheTabletsSharedLayoutTitleKeepsClearOfTheActionButtons) {
    Screens s;
    s.showApp(UserInterfaceIdiom::tablet);
    s.openShared();
    ASSERT_TRUE(s.layout()->outlets.layoutView.lock()->waitForTiles());
    const auto shot = s.window->snapshot();
    ASSERT_NE(shot, nullptr);
    SavePicture(*shot, "shared-layout-tablet");
    layouttest::ExpectLooksAsKept(*shot, "shared-layout-tablet");
    const auto title = s.layout()->outlets.layoutTitleLabel.lock();
    ASSERT_NE(title, nullptr);
    EXPECT_FALSE(title->truncatesText()) << title->text();
    const Rect text = TextFrame(*title);
    const InkFound words = FindInk(*shot, text);
    EXPECT_GT(words.pixels, 300);
    for (const char* name : {VKMLayoutActionButtonHelper::kBrowse, VKMLayoutActionButtonHelper::kShare,
                             VKMLayoutActionButtonHelper::kSettings}) {
        const auto button = VKMLayoutActionButtonHelper::button(name);
        ASSERT_NE(button, nullptr) << name;
        const Rect around = Inset(InWindow(*button), -4);
        EXPECT_FALSE(Intersection(text, around).width > 0) << name;
        // Only the button's own outline and symbol inside its circle: no
        // letters of the title.
        EXPECT_EQ(FindInk(*shot, Intersection(InWindow(*title), around)).pixels, 0) << name;
    }
}
