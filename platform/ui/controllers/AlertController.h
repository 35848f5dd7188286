#pragma once
// Alerts and action sheets: a title, a message and actions shown as
// buttons; a tap on one dismisses the controller and, once it is gone, runs
// the action's handler. An alert shows centred over a dimmed window, an
// action sheet at the bottom; on a tablet an action sheet is a popover
// (anchored at the container's centre when no source is given, where the
// platform would stop the app). Tests tap an action by its title. Main
// thread only.

#include "platform/ui/controllers/ViewController.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform::ui {

class AlertController;

enum class AlertActionStyle { defaultStyle = 0, cancel = 1, destructive = 2 };
enum class AlertControllerStyle { actionSheet = 0, alert = 1 };

class AlertAction {
public:
    using Handler = std::function<void(AlertAction&)>;
    AlertAction(std::string title, AlertActionStyle style, Handler handler = {})
        : mTitle(std::move(title)), mStyle(style), mHandler(std::move(handler)) {}

    const std::string& title() const { return mTitle; }
    AlertActionStyle style() const { return mStyle; }
    bool isEnabled() const { return mEnabled; }
    void setEnabled(bool enabled) { mEnabled = enabled; }

private:
    friend class AlertController;
    std::string mTitle;
    AlertActionStyle mStyle;
    Handler mHandler;
    bool mEnabled = true;
};

class AlertController : public ViewController {
public:
    static constexpr double kAlertWidth = 270;
    static constexpr double kButtonHeight = 44;

    AlertController(std::string title, std::string message, AlertControllerStyle style);

    const std::string& message() const { return mMessage; }
    AlertControllerStyle preferredStyle() const { return mStyle; }
    void addAction(const std::shared_ptr<AlertAction>& action);
    std::vector<std::shared_ptr<AlertAction>> actions() const { return mActions; }
    // The action Return takes; one of the alert's actions (another is
    // ignored), none by default.
    std::shared_ptr<AlertAction> preferredAction() const { return mPreferred; }
    void setPreferredAction(std::shared_ptr<AlertAction> action) { mPreferred = std::move(action); }

    // What a tap on the action's button does (the first enabled action with
    // that title): false when there is none or the alert is not shown.
    bool tapActionWithTitle(std::string_view title);

    // The alerts presented now in the application's windows, in the order
    // of the windows and their chains of presentations.
    static std::vector<std::shared_ptr<AlertController>> presentedAlerts();

    void loadView() override;
    void viewWillLayoutSubviews() override;
    // Escape taps the cancel action, or an alert's only action when that is
    // a plain one (OK); any other alert without a cancel action must be
    // answered, so Escape is taken and does nothing. Return taps an alert's
    // preferred action, else its only one; with neither it is taken and
    // does nothing, as it is on an action sheet: keys do not reach what
    // lies behind.
    bool handleKeyCommand(const KeyCommand& command) override;
    std::string className() const override { return "AlertController"; }

    // The title's and the message's labels once the view is loaded.
    std::shared_ptr<class Label> titleLabel() const { return mTitleLabel; }
    std::shared_ptr<class Label> messageLabel() const { return mMessageLabel; }
    // The scroll view the two labels sit in.
    std::shared_ptr<class ScrollView> textScrollView() const { return mTextScroll; }

private:
    void tap(const std::shared_ptr<AlertAction>& action);
    // The height of the text block and of the whole box at a box width.
    double textHeight(double boxWidth) const;
    double boxHeight(double boxWidth) const;

    std::string mMessage;
    AlertControllerStyle mStyle;
    std::vector<std::shared_ptr<AlertAction>> mActions;
    std::shared_ptr<AlertAction> mPreferred;
    std::shared_ptr<View> mBox;
    std::shared_ptr<class ScrollView> mTextScroll;
    std::shared_ptr<class Label> mTitleLabel;
    std::shared_ptr<class Label> mMessageLabel;
    bool mTapped = false;
};

}  // namespace platform::ui
