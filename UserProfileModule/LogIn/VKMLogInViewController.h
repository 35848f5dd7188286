#pragma once
// The log-in screen: user identifier and password, sign-in and cancel.
// Signing in stores the credentials through the signed-in user (password in
// the keychain) and posts the logged-in notification; the screen then goes
// away (when it was presented) and tells its completion action whether the
// user signed in: the first answer stands, and until the screen has gone
// Sign in, Cancel and Escape ask again for it to go. It opens with the user
// identifier ready for typing.
// From the keyboard: Return in either field signs in as the
// button does, typing hides the warning, Escape cancels as the Cancel button
// does. Main thread only; made with std::make_shared.

#include "platform/ui/controllers/ViewController.h"
#include "platform/ui/views/TextField.h"

#include <functional>
#include <memory>
#include <optional>

namespace platform::ui {
class Button;
class Label;
class TextField;
}  // namespace platform::ui
class VKMSharedLayoutsUser;

class VKMLogInViewController : public platform::ui::ViewController, public platform::ui::TextFieldDelegate {
public:
    static constexpr const char* kSceneIdentifier = "VKMLogInViewController";
    using CompletionAction = std::function<void(bool signedIn)>;

    // The app's signed-in user when none is given.
    explicit VKMLogInViewController(std::shared_ptr<VKMSharedLayoutsUser> user = nullptr);

    // Runs once, after the screen has gone: true when the user signed in.
    void setCompletionAction(CompletionAction completionAction) { mCompletionAction = std::move(completionAction); }

    // Made with the view.
    const std::shared_ptr<platform::ui::TextField>& userIdField() const { return mUserIdField; }
    const std::shared_ptr<platform::ui::TextField>& passwordField() const { return mPasswordField; }
    const std::shared_ptr<platform::ui::Button>& signInButton() const { return mSignInButton; }
    const std::shared_ptr<platform::ui::Button>& cancelButton() const { return mCancelButton; }
    // Says what is wrong when sign-in is refused; hidden otherwise.
    const std::shared_ptr<platform::ui::Label>& messageLabel() const { return mMessageLabel; }

    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    // Gone: the completion hears the answer, or that nobody signed in.
    void viewDidDisappear(bool animated) override;
    std::string className() const override { return "VKMLogInViewController"; }

    void signInTapped(platform::ui::Button& sender);
    void cancelTapped(platform::ui::Button& sender);

    // Return signs in; the field goes on editing when that is refused.
    bool textFieldShouldReturn(platform::ui::TextField& field) override;
    bool handleKeyCommand(const platform::ui::KeyCommand& command) override;

private:
    void signIn();
    void showMessage(const char* key);
    void finish(bool signedIn);
    // Tells the completion action the outcome, once.
    void report();

    std::shared_ptr<VKMSharedLayoutsUser> mUser;
    CompletionAction mCompletionAction;
    // Signed in or cancelled, once answered; the sheet may still be going.
    std::optional<bool> mOutcome;
    std::shared_ptr<platform::ui::TextField> mUserIdField;
    std::shared_ptr<platform::ui::TextField> mPasswordField;
    std::shared_ptr<platform::ui::Button> mSignInButton;
    std::shared_ptr<platform::ui::Button> mCancelButton;
    std::shared_ptr<platform::ui::Label> mMessageLabel;
};
