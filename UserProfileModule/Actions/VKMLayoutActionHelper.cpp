#include "UserProfileModule/Actions/VKMLayoutActionHelper.h"

#include "SharingModule/Model/VKMSharedLayouts.h"
#include "UserProfileModule/LogIn/VKMLogInViewController.h"
#include "app/Utilities/VKMAlerts.h"
#include "UserProfileModule/Support/VKMCommunityStrings.h"
#include "engine/services/ZDUtils.h"
#include "platform/ui/views/Button.h"

namespace {

// One like on its way: sent, and sent again after a log-in it asked for.
struct LikeRequest : std::enable_shared_from_this<LikeRequest> {
    QLSharedLayoutsClient::EntityPtr entity;
    std::shared_ptr<bool> inProgress;
    std::weak_ptr<platform::ui::Button> button;
    QLSharedLayoutsClient::EntityAction completionAction;
    std::shared_ptr<QLSharedLayoutsClient> client;

    void send() {
        auto self = shared_from_this();
        client->likeLayout(
            entity,
            [self](const QLSharedLayoutsClient::EntityPtr& updated) {
                self->end();
                if (self->completionAction) self->completionAction(updated);
            },
            [self](const platform::Error& error) {
                self->end();
                VKMAlerts::showAlertWithTitle(VKMCommunityStrings::text("LikeFailedTitle"),
                                              error.localizedDescription(), VKMCommunityStrings::text("OK"), {});
            },
            [self] { self->askForLogIn(); });
    }

    void askForLogIn() {
        auto presenter = VKMAlerts::topMostViewController();
        if (!presenter) {
            ZDUtils::logWarning("No window to ask for a log-in before liking '%s'", entity->layoutId().c_str());
            end();
            return;
        }
        auto logIn = std::make_shared<VKMLogInViewController>();
        auto self = shared_from_this();
        logIn->setCompletionAction([self](bool signedIn) {
            if (signedIn) {
                self->send();
            } else {
                self->end();
            }
        });
        logIn->setModalPresentationStyle(platform::ui::ModalPresentationStyle::formSheet);
        presenter->presentViewController(logIn, true);
        // A refused presentation never finishes: the like must not stay in progress.
        if (!logIn->presentingViewController()) {
            ZDUtils::logWarning("The log-in could not be shown before liking '%s'", entity->layoutId().c_str());
            end();
        }
    }

    void end() {
        *inProgress = false;
        if (auto strong = button.lock()) strong->setEnabled(true);
    }
};

}  // namespace

void VKMLayoutActionHelper::likeLayout(const QLSharedLayoutsClient::EntityPtr& entity,
                                       const std::shared_ptr<bool>& likeInProgress,
                                       const std::shared_ptr<platform::ui::Button>& likeButton,
                                       QLSharedLayoutsClient::EntityAction completionAction,
                                       std::shared_ptr<QLSharedLayoutsClient> client) {
    if (!entity) {
        ZDUtils::logWarning("Like requested without a shared layout");
        return;
    }
    if (!likeInProgress || *likeInProgress) return;
    *likeInProgress = true;
    if (likeButton) likeButton->setEnabled(false);
    auto request = std::make_shared<LikeRequest>();
    request->entity = entity;
    request->inProgress = likeInProgress;
    request->button = likeButton;
    request->completionAction = std::move(completionAction);
    request->client = client ? std::move(client) : VKMSharedLayouts::sharedLayoutsClient();
    request->send();
}
