// Key commands as the key window routes them: Tab between the fields of a
// screen, Escape to the topmost presentation (dismissed as a tap outside
// dismisses it, cancelled for an alert, refused when modal).

#include "platform/ui/controllers/AlertController.h"
#include "platform/ui/controllers/KeyCommands.h"
#include "platform/ui/controllers/PresentationController.h"
#include "platform/ui/controllers/ViewController.h"
#include "platform/ui/views/Device.h"
#include "platform/ui/views/TextField.h"
#include "platform/ui/views/Window.h"
#include "tests/platform/support/VirtualTime.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

using platform::Rect;
using namespace platform::ui;

namespace {

const KeyCommand kEscape{KeyCommand::kInputEscape};
const KeyCommand kTab{KeyCommand::kInputTab};
const KeyCommand kBackTab{KeyCommand::kInputTab, KeyModifierFlags::shift};
const KeyCommand kReturn{KeyCommand::kInputReturn};

struct Heard : AdaptivePresentationControllerDelegate {
    void presentationControllerDidDismiss(PresentationController&) override { ++dismissed; }
    bool presentationControllerShouldDismiss(PresentationController&) override { return allow; }
    int dismissed = 0;
    bool allow = true;
};

struct Stage {
    testsupport::VirtualTime time;
    std::shared_ptr<Window> window = std::make_shared<Window>(Rect{0, 0, 390, 844});
    std::shared_ptr<ViewController> root = std::make_shared<ViewController>();

    Stage() {
        window->setRootViewController(root);
        window->makeKeyAndVisible();
    }
    ~Stage() { window->setRootViewController(nullptr); }
    void settle() { time.clock->advance(std::chrono::milliseconds(600)); }
    std::shared_ptr<TextField> field(View& in, double y) {
        auto made = std::make_shared<TextField>(Rect{20, y, 200, 34});
        in.addSubview(made);
        return made;
    }
};

}  // namespace

TEST(UiKeyCommand, TabMovesBetweenTheFieldsOfTheScreenSkippingHiddenOnesAndThoseBehind) {
    Stage s;
    auto behind = s.field(*s.root->view(), 40);
    auto sheet = std::make_shared<ViewController>();
    sheet->setModalPresentationStyle(ModalPresentationStyle::formSheet);
    s.root->presentViewController(sheet, false);
    auto user = s.field(*sheet->view(), 40);
    auto hidden = s.field(*sheet->view(), 80);
    hidden->setHidden(true);
    auto password = s.field(*sheet->view(), 120);
    ASSERT_TRUE(user->becomeFirstResponder());

    EXPECT_TRUE(RouteKeyCommand(*s.window, kTab));
    EXPECT_TRUE(password->isFirstResponder());
    EXPECT_TRUE(RouteKeyCommand(*s.window, kTab));
    EXPECT_TRUE(user->isFirstResponder()) << "round the end, within the sheet";
    EXPECT_TRUE(RouteKeyCommand(*s.window, kBackTab));
    EXPECT_TRUE(password->isFirstResponder());
    EXPECT_FALSE(behind->isFirstResponder());
    // A key the field does not take goes on: Ctrl+Q to the app's commands.
    EXPECT_FALSE(RouteKeyCommand(*s.window, KeyCommand{"q", KeyModifierFlags::control}));
}

TEST(UiKeyCommand, EscapeDismissesTheTopmostPresentationAsATapOutsideDoesUnlessModal) {
    Stage s;
    EXPECT_FALSE(RouteKeyCommand(*s.window, kEscape)) << "nothing presented";

    auto details = std::make_shared<ViewController>();
    s.root->presentViewController(details, false);
    auto heard = std::make_shared<Heard>();
    details->presentationController()->setDelegate(heard);
    auto over = std::make_shared<ViewController>();
    over->setModalInPresentation(true);
    details->presentViewController(over, false);

    // The topmost is modal: Escape leaves both.
    EXPECT_FALSE(RouteKeyCommand(*s.window, kEscape));
    s.settle();
    EXPECT_EQ(details->presentedViewController(), over);
    over->dismissViewController(false);

    // The delegate may decline; then it is dismissed and told so, once.
    heard->allow = false;
    EXPECT_FALSE(RouteKeyCommand(*s.window, kEscape));
    heard->allow = true;
    EXPECT_TRUE(RouteKeyCommand(*s.window, kEscape));
    EXPECT_FALSE(RouteKeyCommand(*s.window, kEscape)) << "already on its way out";
    s.settle();
    EXPECT_EQ(s.root->presentedViewController(), nullptr);
    EXPECT_EQ(heard->dismissed, 1);
}

TEST(UiKeyCommand, EscapeCancelsAnAlertOrAnswersItsOnlyOKAndIsRefusedByOneThatMustBeAnswered) {
    Stage s;
    std::vector<std::string> ran;
    auto question = std::make_shared<AlertController>("Delete", "Delete this layout?", AlertControllerStyle::alert);
    question->addAction(std::make_shared<AlertAction>("Delete", AlertActionStyle::destructive,
                                                      [&](AlertAction& a) { ran.push_back(a.title()); }));
    question->addAction(std::make_shared<AlertAction>("Cancel", AlertActionStyle::cancel,
                                                      [&](AlertAction& a) { ran.push_back(a.title()); }));
    s.root->presentViewController(question, false);
    EXPECT_TRUE(RouteKeyCommand(*s.window, kEscape));
    s.settle();
    EXPECT_EQ(ran, std::vector<std::string>{"Cancel"});
    EXPECT_TRUE(AlertController::presentedAlerts().empty());

    auto notice =
        std::make_shared<AlertController>("Error", "The file could not be opened.", AlertControllerStyle::alert);
    notice->addAction(std::make_shared<AlertAction>("OK", AlertActionStyle::defaultStyle,
                                                    [&](AlertAction& a) { ran.push_back(a.title()); }));
    s.root->presentViewController(notice, false);
    EXPECT_TRUE(RouteKeyCommand(*s.window, kEscape));
    s.settle();
    EXPECT_EQ(ran, (std::vector<std::string>{"Cancel", "OK"})) << "its only action, a plain one, answers it";
    EXPECT_TRUE(AlertController::presentedAlerts().empty());

    // Two choices and no cancel, or only a destructive one: it must be
    // answered, so Escape is taken and does nothing.
    auto choice = std::make_shared<AlertController>("Import", "Replace or keep both?", AlertControllerStyle::alert);
    choice->addAction(std::make_shared<AlertAction>("Replace", AlertActionStyle::defaultStyle,
                                                    [&](AlertAction& a) { ran.push_back(a.title()); }));
    choice->addAction(std::make_shared<AlertAction>("Keep Both", AlertActionStyle::defaultStyle,
                                                    [&](AlertAction& a) { ran.push_back(a.title()); }));
    s.root->presentViewController(choice, false);
    EXPECT_TRUE(RouteKeyCommand(*s.window, kEscape)) << "taken: it must be answered";
    s.settle();
    EXPECT_EQ(AlertController::presentedAlerts().size(), 1u);
    choice->dismissViewController(false);
    auto erase = std::make_shared<AlertController>("Erase", "", AlertControllerStyle::alert);
    erase->addAction(std::make_shared<AlertAction>("Erase", AlertActionStyle::destructive,
                                                   [&](AlertAction& a) { ran.push_back(a.title()); }));
    s.root->presentViewController(erase, false);
    EXPECT_TRUE(RouteKeyCommand(*s.window, kEscape));
    s.settle();
    EXPECT_EQ(AlertController::presentedAlerts().size(), 1u);
    EXPECT_EQ(ran.size(), 2u);
}

TEST(UiKeyCommand, ReturnTakesAnAlertsPreferredOrOnlyActionAndOtherwiseNothingBehindIt) {
    Stage s;
    std::vector<std::string> ran;
    const auto action = [&](const char* title, AlertActionStyle style) {
        return std::make_shared<AlertAction>(title, style, [&](AlertAction& a) { ran.push_back(a.title()); });
    };
    EXPECT_FALSE(RouteKeyCommand(*s.window, kReturn)) << "nothing presented: typed";

    struct Case {
        const char* name;
        AlertControllerStyle style;
        std::vector<std::shared_ptr<AlertAction>> actions;
        int preferred;         // index, or -1
        const char* answered;  // nullptr: none
    };
    const auto ok = action("OK", AlertActionStyle::defaultStyle);
    const auto erase = action("Delete", AlertActionStyle::destructive);
    const auto cancel = action("Cancel", AlertActionStyle::cancel);
    const auto replace = action("Replace", AlertActionStyle::defaultStyle);
    const auto keep = action("Keep Both", AlertActionStyle::defaultStyle);
    const auto stranger = action("Elsewhere", AlertActionStyle::defaultStyle);
    const Case cases[] = {
        {"only OK", AlertControllerStyle::alert, {ok}, -1, "OK"},
        {"only a destructive one", AlertControllerStyle::alert, {erase}, -1, "Delete"},
        {"the preferred of two", AlertControllerStyle::alert, {erase, cancel}, 0, "Delete"},
        {"the preferred cancel", AlertControllerStyle::alert, {replace, cancel}, 1, "Cancel"},
        {"two and none preferred", AlertControllerStyle::alert, {replace, keep}, -1, nullptr},
        {"a preferred of another alert", AlertControllerStyle::alert, {replace, keep}, 99, nullptr},
        {"an action sheet", AlertControllerStyle::actionSheet, {ok}, -1, nullptr},
    };
    for (const Case& c : cases) {
        ran.clear();
        auto alert = std::make_shared<AlertController>("Title", "Message", c.style);
        for (const auto& a : c.actions) alert->addAction(a);
        if (c.preferred == 99) alert->setPreferredAction(stranger);
        if (c.preferred >= 0 && c.preferred < 99) alert->setPreferredAction(c.actions[c.preferred]);
        s.root->presentViewController(alert, false);
        EXPECT_TRUE(RouteKeyCommand(*s.window, kReturn)) << c.name << ": taken, never typed behind it";
        s.settle();
        if (c.answered) {
            EXPECT_EQ(ran, std::vector<std::string>{c.answered}) << c.name;
            EXPECT_TRUE(AlertController::presentedAlerts().empty()) << c.name;
        } else {
            EXPECT_TRUE(ran.empty()) << c.name;
            EXPECT_EQ(AlertController::presentedAlerts().size(), 1u) << c.name;
            alert->dismissViewController(false);
            s.settle();
        }
    }
    // A disabled one is not taken.
    ran.clear();
    auto disabled = std::make_shared<AlertController>("Title", "", AlertControllerStyle::alert);
    const auto off = action("OK", AlertActionStyle::defaultStyle);
    off->setEnabled(false);
    disabled->addAction(off);
    s.root->presentViewController(disabled, false);
    EXPECT_TRUE(RouteKeyCommand(*s.window, kReturn));
    s.settle();
    EXPECT_TRUE(ran.empty());
    disabled->dismissViewController(false);
    s.settle();
}
