// The log-in screen, the profile screen and the like action, driven through
// the touch system against the sharing and blob service stand-ins.

#include "SharingModule/Model/VKMLayoutEntityCache.h"
#include "UserProfileModule/Actions/VKMLayoutActionHelper.h"
#include "UserProfileModule/LogIn/VKMLogInViewController.h"
#include "UserProfileModule/Profile/VKMUserProfileViewController.h"
#include "platform/dispatch/MainThread.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/security/Keychain.h"
#include "platform/ui/controllers/AlertController.h"
#include "platform/ui/controllers/KeyCommands.h"
#include "platform/ui/controllers/SystemSheets.h"
#include "platform/ui/views/Button.h"
#include "platform/ui/views/Label.h"
#include "platform/ui/views/TextField.h"
#include "platform/ui/input/TouchSynth.h"
#include "platform/ui/views/Window.h"
#include "tests/SharingModule/support/SharingTestSupport.h"

using namespace sharingtest;
using namespace platform::ui;
using nlohmann::json;

namespace {

using EntityPtr = QLSharedLayoutsClient::EntityPtr;

json layoutJson(const std::string& id) {
    return {{"id", id}, {"title", "Harbour_Line"}, {"author", "bob"}, {"likeUsers", json::array()}};
}

std::optional<std::string> storedPassword(const std::string& userId) {
    platform::security::Keychain::Bytes bytes;
    if (platform::security::Keychain().copyItem(VKMSharedLayoutsUser::kKeychainService, userId, bytes) !=
        platform::security::Keychain::Status::Success) {
        return std::nullopt;
    }
    return std::string(bytes.begin(), bytes.end());
}

class CommunityScreenTest : public SharingServerTest {
protected:
    void SetUp() override {
        SharingServerTest::SetUp();
        window->setRootViewController(root);
        window->makeKeyAndVisible();
        likeButton->setFrame({20, 100, 120, 44});
        root->view()->addSubview(likeButton);
        sharing.addUsers({{"ada", {{"password", "pw"}, {"userName", "Ada"}}}});
        sharing.addLayouts({layoutJson("L1")});
    }

    EntityPtr fetchEntity(const std::string& id) {
        EntityPtr entity;
        bool done = false;
        client->layoutEntityWithId(
            id,
            [&](const EntityPtr& e) {
                entity = e;
                done = true;
            },
            [&](const platform::Error&) { done = true; });
        EXPECT_TRUE(runMainUntil([&] { return done; }));
        return entity;
    }

    void tapView(const std::shared_ptr<View>& view) {
        const platform::Rect frame = view->convertRectToView(view->bounds(), nullptr);
        synth.tap({frame.x + frame.width / 2, frame.y + frame.height / 2});
    }

    void type(const std::shared_ptr<TextField>& field, const std::string& text) {
        tapView(field);
        ASSERT_TRUE(window->insertText(text));
    }

    // Lets presentations and dismissals run their animations.
    void settle() { synth.wait(1); }

    std::shared_ptr<VKMLogInViewController> presentedLogIn() const {
        return std::dynamic_pointer_cast<VKMLogInViewController>(root->presentedViewController());
    }

    std::shared_ptr<Window> window = std::make_shared<Window>(platform::Rect{0, 0, 390, 844});
    std::shared_ptr<ViewController> root = std::make_shared<ViewController>();
    std::shared_ptr<Button> likeButton = Button::make();
    TouchSynth synth{window};
};

}  // namespace

TEST_F(CommunityScreenTest, LogInStoresTheCredentialsAndRefusesEmptyOnes) {
    NotificationRecorder loggedIn(VKMSharedLayoutsUser::kLoggedInNotification);
    auto logIn = std::make_shared<VKMLogInViewController>(user);
    std::vector<bool> outcomes;
    logIn->setCompletionAction([&](bool signedIn) { outcomes.push_back(signedIn); });
    root->presentViewController(logIn, false);

    type(logIn->userIdField(), "  ada ");
    tapView(logIn->signInButton());
    EXPECT_FALSE(logIn->messageLabel()->isHidden()) << "a password is missing";
    EXPECT_FALSE(user->userID().has_value());
    EXPECT_EQ(loggedIn.count(), 0u);

    type(logIn->passwordField(), "pw");
    EXPECT_EQ(logIn->passwordField()->displayedText(), "\u2022\u2022") << "the password is not shown";
    tapView(logIn->signInButton());
    settle();
    EXPECT_EQ(user->userID(), "ada") << "blanks around the identifier are dropped";
    EXPECT_EQ(storedPassword("ada"), "pw");
    EXPECT_TRUE(user->hasValidUserCredentials());
    EXPECT_TRUE(user->lastLogonTimestamp().has_value());
    EXPECT_EQ(loggedIn.count(), 1u);
    EXPECT_EQ(outcomes, std::vector<bool>{true}) << "once, after the screen has gone";
    EXPECT_EQ(root->presentedViewController(), nullptr);

    // Another user signing in takes the first one's password away.
    ASSERT_TRUE(user->signIn("bob", "secret"));
    EXPECT_FALSE(storedPassword("ada").has_value());
    EXPECT_EQ(storedPassword("bob"), "secret");
    EXPECT_FALSE(user->signIn("carol", "")) << "no empty password";
    EXPECT_EQ(user->userID(), "bob");
    EXPECT_EQ(loggedIn.count(), 2u);
}

TEST_F(CommunityScreenTest, LikeWithStoredCredentialsSendsOnceAndHandsOverTheUpdatedLayout) {
    const EntityPtr entity = fetchEntity("L1");
    ASSERT_NE(entity, nullptr);
    signIn("ada", "pw");
    auto inProgress = std::make_shared<bool>(false);
    std::vector<EntityPtr> liked;
    bool onMain = false;
    auto completion = [&](const EntityPtr& updated) {
        liked.push_back(updated);
        onMain = platform::isMainThread();
    };

    VKMLayoutActionHelper::likeLayout(entity, inProgress, likeButton, completion, client);
    EXPECT_TRUE(*inProgress);
    EXPECT_FALSE(likeButton->isEnabled());
    // A second tap while the first is on its way does nothing.
    VKMLayoutActionHelper::likeLayout(entity, inProgress, likeButton, completion, client);
    ASSERT_TRUE(runMainUntil([&] { return !liked.empty(); }));
    runMainFor(std::chrono::milliseconds(100));

    ASSERT_EQ(liked.size(), 1u);
    EXPECT_TRUE(onMain);
    EXPECT_EQ(liked[0]->likeUsers(), std::vector<std::string>{"ada"});
    EXPECT_FALSE(*inProgress);
    EXPECT_TRUE(likeButton->isEnabled());
    EXPECT_EQ(sharing.requestsEndingWith("/layouts/L1/likes").size(), 1u);
    EXPECT_EQ(sharing.counts()["likes"]["L1"], json({"ada"}));
}

TEST_F(CommunityScreenTest, LikeWithoutCredentialsAsksForALogInFirst) {
    const EntityPtr entity = fetchEntity("L1");
    ASSERT_NE(entity, nullptr);
    auto inProgress = std::make_shared<bool>(false);
    std::vector<EntityPtr> liked;
    auto completion = [&](const EntityPtr& updated) { liked.push_back(updated); };

    // While the top screen is still coming up the log-in cannot be shown:
    // the like ends there instead of staying in progress.
    auto busy = std::make_shared<AlertController>("Busy", "", AlertControllerStyle::alert);
    busy->addAction(std::make_shared<AlertAction>("OK", AlertActionStyle::defaultStyle));
    root->presentViewController(busy, true);
    VKMLayoutActionHelper::likeLayout(entity, inProgress, likeButton, completion, client);
    ASSERT_TRUE(runMainUntil([&] { return !*inProgress; }, std::chrono::seconds(5)));
    EXPECT_TRUE(likeButton->isEnabled());
    settle();
    ASSERT_TRUE(busy->tapActionWithTitle("OK"));
    settle();

    // Cancelled: nothing is sent and the flag is free again.
    VKMLayoutActionHelper::likeLayout(entity, inProgress, likeButton, completion, client);
    ASSERT_TRUE(runMainUntil([&] { return presentedLogIn() != nullptr; }));
    settle();
    tapView(presentedLogIn()->cancelButton());
    settle();
    EXPECT_EQ(presentedLogIn(), nullptr);
    EXPECT_FALSE(*inProgress);
    EXPECT_TRUE(likeButton->isEnabled());
    EXPECT_TRUE(sharing.requestsEndingWith("/likes").empty());

    // Signed in: the like follows with the new credentials.
    VKMLayoutActionHelper::likeLayout(entity, inProgress, likeButton, completion, client);
    ASSERT_TRUE(runMainUntil([&] { return presentedLogIn() != nullptr; }));
    settle();
    auto logIn = presentedLogIn();
    type(logIn->userIdField(), "ada");
    type(logIn->passwordField(), "pw");
    tapView(logIn->signInButton());
    settle();
    ASSERT_TRUE(runMainUntil([&] { return !liked.empty(); }));
    EXPECT_EQ(liked[0]->likeUsers(), std::vector<std::string>{"ada"});
    EXPECT_FALSE(*inProgress);
    const auto likes = sharing.requestsEndingWith("/layouts/L1/likes");
    ASSERT_EQ(likes.size(), 1u);
    EXPECT_EQ(likes[0].header("Authorization"), "Basic YWRhOnB3");  // "ada:pw"
}

TEST_F(CommunityScreenTest, ARefusedLikeIsShownAndFreesTheFlag) {
    const EntityPtr entity = fetchEntity("L1");
    ASSERT_NE(entity, nullptr);
    signIn("ada", "wrong");
    auto inProgress = std::make_shared<bool>(false);
    int completions = 0;
    VKMLayoutActionHelper::likeLayout(
        entity, inProgress, likeButton, [&](const EntityPtr&) { ++completions; }, client);
    ASSERT_TRUE(runMainUntil([&] { return !*inProgress; }));
    settle();
    ASSERT_EQ(AlertController::presentedAlerts().size(), 1u);
    EXPECT_EQ(AlertController::presentedAlerts()[0]->title(), "The layout could not be liked");
    EXPECT_EQ(completions, 0);
    EXPECT_TRUE(likeButton->isEnabled());
    EXPECT_TRUE(sharing.counts()["likes"].empty());
}

TEST_F(CommunityScreenTest, ProfileFollowsSignInAndSignOut) {
    NotificationRecorder loggedOut(VKMSharedLayoutsUser::kLoggedOutNotification);
    auto profile = std::make_shared<VKMUserProfileViewController>(user, client);
    window->setRootViewController(profile);
    EXPECT_EQ(profile->userIdLabel()->text(), "Not signed in");
    EXPECT_FALSE(profile->signInButton()->isHidden());
    EXPECT_TRUE(profile->signOutButton()->isHidden());

    tapView(profile->signInButton());
    settle();
    auto logIn = std::dynamic_pointer_cast<VKMLogInViewController>(profile->presentedViewController());
    ASSERT_NE(logIn, nullptr);
    type(logIn->userIdField(), "ada");
    type(logIn->passwordField(), "pw");
    tapView(logIn->signInButton());
    settle();
    EXPECT_EQ(profile->userIdLabel()->text(), "ada") << "the logged-in notification refreshes the screen";
    EXPECT_TRUE(profile->signInButton()->isHidden());
    // The screen asked for the user's picture.
    EXPECT_TRUE(runMainUntil([&] { return !sharing.requestsEndingWith("/users/ada/summary").empty(); }));

    tapView(profile->signOutButton());
    EXPECT_EQ(loggedOut.count(), 1u);
    EXPECT_EQ(user->userID(), "");
    EXPECT_FALSE(storedPassword("ada").has_value());
    EXPECT_EQ(profile->userIdLabel()->text(), "Not signed in");
    EXPECT_FALSE(profile->signInButton()->isHidden());
}

TEST_F(CommunityScreenTest, TheLogInFormFromTheKeyboardReturnSubmitsTypingClearsTheWarningEscapeCancels) {
    auto logIn = std::make_shared<VKMLogInViewController>(user);
    std::vector<bool> outcomes;
    logIn->setCompletionAction([&](bool signedIn) { outcomes.push_back(signedIn); });
    root->presentViewController(logIn, false);

    // Return with no password: refused, and the field is still edited.
    type(logIn->userIdField(), "ada");
    ASSERT_TRUE(window->insertText("\n"));
    EXPECT_FALSE(logIn->messageLabel()->isHidden()) << "a password is missing";
    EXPECT_TRUE(logIn->userIdField()->isEditing());
    ASSERT_TRUE(window->insertText("x"));
    EXPECT_TRUE(logIn->messageLabel()->isHidden()) << "typing clears the warning";
    ASSERT_TRUE(window->deleteBackward());

    // Tab to the password, Return there signs in.
    ASSERT_TRUE(RouteKeyCommand(*window, KeyCommand{KeyCommand::kInputTab}));
    ASSERT_TRUE(logIn->passwordField()->isFirstResponder());
    ASSERT_TRUE(window->insertText("pw"));
    ASSERT_TRUE(window->insertText("\n"));
    settle();
    EXPECT_EQ(user->userID(), "ada");
    EXPECT_EQ(outcomes, std::vector<bool>{true});
    EXPECT_EQ(root->presentedViewController(), nullptr);

    // Escape is the Cancel button: the completion hears it.
    auto again = std::make_shared<VKMLogInViewController>(user);
    again->setCompletionAction([&](bool signedIn) { outcomes.push_back(signedIn); });
    root->presentViewController(again, false);
    EXPECT_TRUE(RouteKeyCommand(*window, KeyCommand{KeyCommand::kInputEscape}));
    settle();
    EXPECT_EQ(root->presentedViewController(), nullptr);
    EXPECT_EQ(outcomes, (std::vector<bool>{true, false}));
}

// Keys pressed as the sheet slides in, before any click, reach the user
// identifier, and Tab goes on to the password.
TEST_F(CommunityScreenTest, TheLogInSheetTakesTheKeyboardAsItOpens) {
    auto profile = std::make_shared<VKMUserProfileViewController>(user, client);
    window->setRootViewController(profile);
    tapView(profile->signInButton());
    const auto logIn = std::dynamic_pointer_cast<VKMLogInViewController>(profile->presentedViewController());
    ASSERT_NE(logIn, nullptr);
    ASSERT_TRUE(logIn->isBeingPresented()) << "typed while the sheet is still sliding in";

    ASSERT_TRUE(window->insertText("ada"));
    ASSERT_TRUE(RouteKeyCommand(*window, KeyCommand{KeyCommand::kInputTab}));
    ASSERT_TRUE(window->insertText("pw"));
    settle();
    EXPECT_EQ(logIn->userIdField()->text(), "ada");
    EXPECT_EQ(logIn->passwordField()->text(), "pw");
}

namespace {

// Calls off the first dismissal, as a transition of the platform's may be.
struct FirstDismissalCalledOff final : ViewControllerTransitioningDelegate, ViewControllerAnimatedTransitioning {
    double transitionDuration(const ViewControllerContextTransitioning*) override { return 0; }
    void animateTransition(ViewControllerContextTransitioning& context) override {
        context.completeTransition(++dismissals > 1);
    }
    std::shared_ptr<ViewControllerAnimatedTransitioning> animationControllerForDismissedController(
        ViewController&) override {
        return std::shared_ptr<ViewControllerAnimatedTransitioning>(self.lock(), this);
    }
    std::weak_ptr<FirstDismissalCalledOff> self;
    int dismissals = 0;
};

struct PickerHeard final : DocumentPickerDelegate {
    explicit PickerHeard(std::vector<std::string>& heard) : heard(heard) {}
    void documentPickerDidPickDocumentsAtURLs(DocumentPickerViewController&,
                                              const std::vector<std::string>& urls) override {
        heard.push_back("picked " + urls.at(0));
    }
    void documentPickerWasCancelled(DocumentPickerViewController&) override { heard.push_back("cancelled"); }
    std::vector<std::string>& heard;
};

}  // namespace

// Answered as it slides in (auto-typed, or a quick hand), then Escape as
// well: each sheet goes once it is shown and tells its answer once, as the
// user gave it first; Escape alone closes it too.
TEST_F(CommunityScreenTest, EverySheetAnsweredAsItSlidesInGoesAndTellsItsAnswerOnce) {
    std::vector<std::string> heard;
    auto present = [&](const auto& sheet) {
        root->presentViewController(sheet, true);
        return sheet;
    };
    auto picker = std::make_shared<PickerHeard>(heard);
    auto presentPicker = [&] {
        auto documents = present(
            std::make_shared<DocumentPickerViewController>(std::vector<std::string>{"org.vekmont.layout"}, true));
        documents->setDelegate(picker);
        return documents;
    };
    const struct {
        const char* name;
        std::function<std::shared_ptr<ViewController>()> presentAndAnswer;
        std::string expected;
    } sheets[] = {
        {"log-in",
         [&] {
             auto logIn = std::make_shared<VKMLogInViewController>(user);
             logIn->setModalPresentationStyle(ModalPresentationStyle::formSheet);
             logIn->setCompletionAction(
                 [&](bool signedIn) { heard.push_back(signedIn ? user->userID().value_or("?") : "cancelled"); });
             present(logIn);
             EXPECT_TRUE(window->insertText("ada") && RouteKeyCommand(*window, KeyCommand{KeyCommand::kInputTab}) &&
                         window->insertText("pw") && window->insertText("\n"));
             return logIn;
         },
         "ada"},
        {"alert",
         [&] {
             auto alert = present(std::make_shared<AlertController>("Replace it?", "", AlertControllerStyle::alert));
             for (const auto style : {AlertActionStyle::destructive, AlertActionStyle::cancel}) {
                 const std::string title = style == AlertActionStyle::cancel ? "Keep" : "Replace";
                 alert->addAction(
                     std::make_shared<AlertAction>(title, style, [&, title](AlertAction&) { heard.push_back(title); }));
             }
             EXPECT_TRUE(alert->tapActionWithTitle("Replace"));
             return alert;
         },
         "Replace"},
        {"share sheet",
         [&] {
             auto share = present(std::make_shared<ActivityViewController>(
                 std::vector<ActivityItem>{{"Harbour_Line", nullptr, "", "Harbour_Line"}}));
             share->setCompletionWithItemsHandler([&](std::optional<std::string> activity, bool completed) {
                 heard.push_back(activity.value_or("none") + (completed ? " done" : ""));
             });
             EXPECT_TRUE(share->complete(activity::kCopyToPasteboard));
             return share;
         },
         std::string(activity::kCopyToPasteboard) + " done"},
        {"document picker",
         [&] {
             auto documents = presentPicker();
             EXPECT_TRUE(documents->pick({"file:///Yard.wkst"}));
             return documents;
         },
         "picked file:///Yard.wkst"},
        {"document picker, Escape alone", presentPicker, "cancelled"},
    };
    for (const auto& sheet : sheets) {
        SCOPED_TRACE(sheet.name);
        heard.clear();
        const std::shared_ptr<ViewController> shown = sheet.presentAndAnswer();
        RouteKeyCommand(*window, KeyCommand{KeyCommand::kInputEscape});
        ASSERT_TRUE(shown->isBeingPresented()) << "all of it as the sheet slides in";
        settle();
        EXPECT_EQ(root->presentedViewController(), nullptr);
        EXPECT_EQ(heard, std::vector<std::string>{sheet.expected});
        if (root->presentedViewController()) root->dismissViewController(false);
    }
}

// Until the log-in sheet has gone its buttons and keys still close it, and
// the completion hears the first answer once.
TEST_F(CommunityScreenTest, TheLogInSheetCanBeLeftUntilItHasGone) {
    auto calledOff = std::make_shared<FirstDismissalCalledOff>();
    calledOff->self = calledOff;
    auto logIn = std::make_shared<VKMLogInViewController>(user);
    logIn->setTransitioningDelegate(calledOff);
    std::vector<bool> outcomes;
    logIn->setCompletionAction([&](bool signedIn) { outcomes.push_back(signedIn); });
    root->presentViewController(logIn, false);
    type(logIn->userIdField(), "ada");
    type(logIn->passwordField(), "pw");
    tapView(logIn->signInButton());
    ASSERT_EQ(calledOff->dismissals, 1);
    ASSERT_EQ(root->presentedViewController(), logIn) << "its dismissal was called off";
    EXPECT_TRUE(outcomes.empty());

    tapView(logIn->cancelButton());
    EXPECT_EQ(root->presentedViewController(), nullptr);
    EXPECT_EQ(outcomes, std::vector<bool>{true}) << "signed in, as first answered";
    EXPECT_EQ(user->userID(), "ada");
}
