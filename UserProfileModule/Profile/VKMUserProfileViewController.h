#pragma once
// The profile tab as far as the app needs it: the signed-in user's
// identifier and picture (from the profile-picture cache, asked for once
// when it has none), a sign-out button; when signed out, a sign-in button
// that presents the log-in screen. Follows the logged-in and logged-out
// notifications and the picture cache's updates. Main thread only; made
// with std::make_shared.

#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/controllers/ViewController.h"

#include <memory>
#include <set>
#include <string>
#include <vector>

namespace platform::ui {
class Button;
class ImageView;
class Label;
}  // namespace platform::ui
class QLSharedLayoutsClient;
class VKMSharedLayoutsUser;

class VKMUserProfileViewController : public platform::ui::ViewController {
public:
    static constexpr const char* kSceneIdentifier = "VKMUserProfileViewController";
    static constexpr double kPictureSide = 128;

    // The app's signed-in user and sharing client when none are given.
    explicit VKMUserProfileViewController(std::shared_ptr<VKMSharedLayoutsUser> user = nullptr,
                                          std::shared_ptr<QLSharedLayoutsClient> client = nullptr);

    const std::shared_ptr<platform::ui::Label>& userIdLabel() const { return mUserIdLabel; }
    const std::shared_ptr<platform::ui::ImageView>& pictureView() const { return mPictureView; }
    const std::shared_ptr<platform::ui::Button>& signInButton() const { return mSignInButton; }
    const std::shared_ptr<platform::ui::Button>& signOutButton() const { return mSignOutButton; }

    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    std::string className() const override { return "VKMUserProfileViewController"; }

    // Shows the user as stored now.
    void refresh();
    void signInTapped(platform::ui::Button& sender);
    void signOutTapped(platform::ui::Button& sender);

private:
    void requestPicture(const std::string& userId);

    std::shared_ptr<VKMSharedLayoutsUser> mUser;
    std::shared_ptr<QLSharedLayoutsClient> mClient;
    // Users whose picture was asked for in this screen's life.
    std::set<std::string> mPicturesAskedFor;
    std::vector<platform::NotificationCenter::ObserverToken> mObservers;
    std::shared_ptr<platform::ui::Label> mUserIdLabel;
    std::shared_ptr<platform::ui::ImageView> mPictureView;
    std::shared_ptr<platform::ui::Button> mSignInButton;
    std::shared_ptr<platform::ui::Button> mSignOutButton;
};
