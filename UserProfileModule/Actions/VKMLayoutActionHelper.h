#pragma once
// Actions on a shared layout that the layout screens offer. Main thread only.

#include "SharingModule/Model/QLSharedLayoutsClient.h"

#include <memory>

namespace platform::ui {
class Button;
}

class VKMLayoutActionHelper {
public:
    // Likes the layout for the signed-in user. Without stored credentials the
    // log-in screen comes first (over the top-most screen), and the like
    // is sent once the user has signed in; cancelling it sends nothing.
    // `likeInProgress` is the caller's flag: set while the like is on its
    // way (a call meanwhile does nothing), cleared when it ends however it
    // ends; it is shared so that a caller that goes away early leaves no
    // dangling flag. The button is disabled meanwhile. `completionAction`
    // gets the entity as the service returns it, on the main queue; a failed
    // like is shown in an alert and calls nothing. A null entity (a layout
    // that is not shared) does nothing. The app's client when none is given.
    static void likeLayout(const QLSharedLayoutsClient::EntityPtr& entity, const std::shared_ptr<bool>& likeInProgress,
                           const std::shared_ptr<platform::ui::Button>& likeButton,
                           QLSharedLayoutsClient::EntityAction completionAction,
                           std::shared_ptr<QLSharedLayoutsClient> client = nullptr);
};
