#include "UserProfileModule/LogIn/VKMLogInViewController.h"

#include "SharingModule/Model/VKMSharedLayouts.h"
#include "UserProfileModule/Support/VKMCommunityStrings.h"
#include "platform/foundation/AsciiText.h"
#include "platform/ui/input/KeyCommand.h"
#include "platform/ui/views/Button.h"
#include "platform/ui/views/Label.h"
#include "platform/ui/views/TextField.h"

using namespace platform::ui;

namespace {

constexpr double kMargin = 20;
constexpr double kRowHeight = 40;

template <typename T>
std::shared_ptr<T> addRow(View& view, std::shared_ptr<T> row, double top, double height = kRowHeight) {
    row->setFrame({kMargin, top, view.bounds().width - 2 * kMargin, height});
    row->setAutoresizingMask(ViewAutoresizing::flexibleWidth);
    view.addSubview(row);
    return row;
}

std::shared_ptr<Button> makeButton(const char* key) {
    auto button = Button::make();
    button->setTitle(VKMCommunityStrings::text(key), ControlState::normal);
    return button;
}

}  // namespace

VKMLogInViewController::VKMLogInViewController(std::shared_ptr<VKMSharedLayoutsUser> user)
    : mUser(user ? std::move(user) : VKMSharedLayouts::sharedLayoutsUser()) {
    setTitle(VKMCommunityStrings::text("LogInTitle"));
}

void VKMLogInViewController::viewDidLoad() {
    auto& root = *view();
    root.setBackgroundColor(platform::Color::white(1));

    auto title = std::make_shared<Label>();
    title->setText(VKMCommunityStrings::text("LogInTitle"));
    title->setFont(platform::ui::Font::boldSystemFont(22));
    addRow(root, title, 60);

    mUserIdField = addRow(root, std::make_shared<TextField>(), 120);
    mUserIdField->setPlaceholder(VKMCommunityStrings::text("LogInUserIdPlaceholder"));
    mUserIdField->setBorderStyle(TextBorderStyle::roundedRect);
    mPasswordField = addRow(root, std::make_shared<TextField>(), 170);
    mPasswordField->setPlaceholder(VKMCommunityStrings::text("LogInPasswordPlaceholder"));
    mPasswordField->setBorderStyle(TextBorderStyle::roundedRect);
    mPasswordField->setSecureTextEntry(true);

    const std::weak_ptr<VKMLogInViewController> weak =
        std::static_pointer_cast<VKMLogInViewController>(sharedController());
    for (const auto& field : {mUserIdField, mPasswordField}) {
        field->setDelegate(weak);
        // The warning concerns what was there before.
        field->addAction(
            [weak](Control&) {
                if (auto self = weak.lock(); self && self->mMessageLabel) self->mMessageLabel->setHidden(true);
            },
            ControlEvents::editingChanged);
    }

    mMessageLabel = addRow(root, std::make_shared<Label>(), 220, 44);
    mMessageLabel->setNumberOfLines(2);
    mMessageLabel->setTextColor(platform::Color{0.8, 0.1, 0.1, 1});
    mMessageLabel->setHidden(true);

    auto self = std::static_pointer_cast<VKMLogInViewController>(sharedController());
    mSignInButton = addRow(root, makeButton("LogInSignIn"), 270);
    mSignInButton->addTarget(self, &VKMLogInViewController::signInTapped, ControlEvents::touchUpInside);
    mCancelButton = addRow(root, makeButton("Cancel"), 320);
    mCancelButton->addTarget(self, &VKMLogInViewController::cancelTapped, ControlEvents::touchUpInside);
}

void VKMLogInViewController::viewWillAppear(bool animated) {
    ViewController::viewWillAppear(animated);
    if (isBeingPresented()) mOutcome.reset();
    // The form opens ready for typing, as a desktop form does: the first
    // keys go to the user identifier, and Tab from there to the password.
    // Before the sheet slides in, so that nothing typed meanwhile is lost.
    if (!mUserIdField->isFirstResponder() && !mPasswordField->isFirstResponder()) mUserIdField->becomeFirstResponder();
}

void VKMLogInViewController::signInTapped(Button&) { signIn(); }

bool VKMLogInViewController::textFieldShouldReturn(TextField&) {
    signIn();
    return false;
}

bool VKMLogInViewController::handleKeyCommand(const KeyCommand& command) {
    if (!command.is(KeyCommand::kInputEscape)) return false;
    finish(false);
    return true;
}

void VKMLogInViewController::signIn() {
    // Signed in already, the sheet on its way out: only asked to go again.
    if (mOutcome) {
        finish(*mOutcome);
        return;
    }
    const std::string userId(platform::ascii::trimmed(mUserIdField->text()));
    const std::string& password = mPasswordField->text();
    if (userId.empty() || password.empty()) {
        showMessage("LogInMissingCredentials");
        return;
    }
    if (!mUser->signIn(userId, password)) {
        showMessage("LogInNotStored");
        return;
    }
    finish(true);
}

void VKMLogInViewController::cancelTapped(Button&) { finish(false); }

void VKMLogInViewController::viewDidDisappear(bool animated) {
    ViewController::viewDidDisappear(animated);
    // Gone, however it was closed (by its answer, dragged down): nobody
    // signed in unless that was the answer.
    if (presentingViewController()) return;
    if (!mOutcome) mOutcome = false;
    report();
}

void VKMLogInViewController::showMessage(const char* key) {
    mMessageLabel->setText(VKMCommunityStrings::text(key));
    mMessageLabel->setHidden(false);
}

void VKMLogInViewController::finish(bool signedIn) {
    // The first answer stands: a Cancel after signing in does not undo it.
    if (!mOutcome) mOutcome = signedIn;
    if (mUserIdField->isFirstResponder()) mUserIdField->resignFirstResponder();
    if (mPasswordField->isFirstResponder()) mPasswordField->resignFirstResponder();
    // Each answer asks for the dismissal, so that none is lost to one that
    // was called off; the completion hears the first once it has gone.
    if (presentingViewController()) {
        dismissViewController(true);
    } else {
        report();
    }
}

void VKMLogInViewController::report() {
    auto action = std::move(mCompletionAction);
    mCompletionAction = nullptr;
    if (action) action(mOutcome.value_or(false));
}
