#include "platform/ui/controllers/KeyCommands.h"

#include "platform/ui/controllers/AlertController.h"
#include "platform/ui/controllers/PresentationController.h"
#include "platform/ui/controllers/ViewController.h"
#include "platform/ui/views/View.h"
#include "platform/ui/views/Window.h"

#include <algorithm>

namespace platform::ui {

bool RouteKeyCommand(Window& window, const KeyCommand& command) {
    const auto first = Responder::firstResponder();
    if (const auto* view = dynamic_cast<const View*>(first.get()); view && view->window().get() == &window) {
        for (auto responder = first; responder; responder = responder->nextResponder())
            if (responder->handleKeyCommand(command)) return true;
    }
    const auto root = window.rootViewController();
    const auto top = root ? root->topmostPresentedViewController() : nullptr;
    if (!top || top == root) return false;
    if (top->handleKeyCommand(command)) return true;
    if (!command.is(KeyCommand::kInputEscape)) return false;
    const auto presentation = top->presentationController();
    return presentation && presentation->dismissByUser();
}

bool AlertController::handleKeyCommand(const KeyCommand& command) {
    const bool shown = presentingViewController() && !isBeingPresented() && !isBeingDismissed();
    if (command.is(KeyCommand::kInputReturn)) {
        std::shared_ptr<AlertAction> answer;
        if (mStyle == AlertControllerStyle::alert) {
            if (mPreferred && std::find(mActions.begin(), mActions.end(), mPreferred) != mActions.end()) {
                answer = mPreferred;
            } else if (mActions.size() == 1) {
                answer = mActions.front();
            }
        }
        if (answer && answer->isEnabled() && shown) tap(answer);
        return true;
    }
    if (!command.is(KeyCommand::kInputEscape)) return false;
    std::shared_ptr<AlertAction> answer;
    for (const auto& action : mActions) {
        if (action->style() == AlertActionStyle::cancel && action->isEnabled()) {
            answer = action;
            break;
        }
    }
    // A notice with only OK: Escape acknowledges it, as on the desktop.
    if (!answer && mStyle == AlertControllerStyle::alert && mActions.size() == 1 &&
        mActions.front()->style() == AlertActionStyle::defaultStyle)
        answer = mActions.front();
    if (answer && answer->isEnabled() && shown) tap(answer);
    return true;
}

}  // namespace platform::ui
