#include "UserProfileModule/Profile/VKMUserProfileViewController.h"

#include "SharingModule/Model/QLProfileImageCache.h"
#include "SharingModule/Model/VKMSharedLayouts.h"
#include "UserProfileModule/LogIn/VKMLogInViewController.h"
#include "UserProfileModule/Support/VKMCommunityStrings.h"
#include "engine/services/ZDUtils.h"
#include "platform/ui/views/Button.h"
#include "platform/ui/views/ImageView.h"
#include "platform/ui/views/Label.h"
#include "platform/ui/core/Layer.h"

using namespace platform::ui;

namespace {

constexpr double kProfileMargin = 20;

std::shared_ptr<Button> makeButton(View& root, const char* key, double top) {
    auto button = Button::make();
    button->setTitle(VKMCommunityStrings::text(key), ControlState::normal);
    button->setFrame({kProfileMargin, top, root.bounds().width - 2 * kProfileMargin, 44});
    button->setAutoresizingMask(ViewAutoresizing::flexibleWidth);
    root.addSubview(button);
    return button;
}

}  // namespace

VKMUserProfileViewController::VKMUserProfileViewController(std::shared_ptr<VKMSharedLayoutsUser> user,
                                                           std::shared_ptr<QLSharedLayoutsClient> client)
    : mUser(user ? std::move(user) : VKMSharedLayouts::sharedLayoutsUser()),
      mClient(client ? std::move(client) : VKMSharedLayouts::sharedLayoutsClient()) {
    setTitle(VKMCommunityStrings::text("ProfileTitle"));
}

void VKMUserProfileViewController::viewDidLoad() {
    auto& root = *view();
    root.setBackgroundColor(platform::Color::white(1));
    const double width = root.bounds().width;

    mPictureView =
        std::make_shared<ImageView>(platform::Rect{(width - kPictureSide) / 2, 60, kPictureSide, kPictureSide});
    mPictureView->setAutoresizingMask(ViewAutoresizing::flexibleLeftMargin | ViewAutoresizing::flexibleRightMargin);
    mPictureView->setContentMode(ViewContentMode::scaleAspectFill);
    mPictureView->setClipsToBounds(true);
    mPictureView->layer()->setCornerRadius(kPictureSide / 2);
    mPictureView->setBackgroundColor(platform::Color::white(0.9));
    root.addSubview(mPictureView);

    mUserIdLabel =
        std::make_shared<Label>(platform::Rect{kProfileMargin, 60 + kPictureSide + 16, width - 2 * kProfileMargin, 30});
    mUserIdLabel->setAutoresizingMask(ViewAutoresizing::flexibleWidth);
    mUserIdLabel->setTextAlignment(platform::TextAlignment::center);
    root.addSubview(mUserIdLabel);

    auto self = std::static_pointer_cast<VKMUserProfileViewController>(sharedController());
    const double buttonsTop = 60 + kPictureSide + 60;
    mSignInButton = makeButton(root, "ProfileSignIn", buttonsTop);
    mSignInButton->addTarget(self, &VKMUserProfileViewController::signInTapped, ControlEvents::touchUpInside);
    mSignOutButton = makeButton(root, "ProfileSignOut", buttonsTop);
    mSignOutButton->addTarget(self, &VKMUserProfileViewController::signOutTapped, ControlEvents::touchUpInside);

    std::weak_ptr<VKMUserProfileViewController> weak = self;
    auto& center = platform::NotificationCenter::defaultCenter();
    for (const char* name : {VKMSharedLayoutsUser::kLoggedInNotification, VKMSharedLayoutsUser::kLoggedOutNotification,
                             QLProfileImageCache::kUpdatedNotification}) {
        mObservers.push_back(center.addObserverForName(name, nullptr, [weak](const platform::Notification&) {
            if (auto strong = weak.lock()) strong->refresh();
        }));
    }
    refresh();
}

void VKMUserProfileViewController::viewWillAppear(bool animated) {
    ViewController::viewWillAppear(animated);
    refresh();
}

void VKMUserProfileViewController::refresh() {
    if (!isViewLoaded()) return;
    const bool signedIn = mUser->hasValidUserCredentials();
    mSignInButton->setHidden(signedIn);
    mSignOutButton->setHidden(!signedIn);
    if (!signedIn) {
        mUserIdLabel->setText(VKMCommunityStrings::text("ProfileSignedOut"));
        mPictureView->setImage(nullptr);
        return;
    }
    const std::string userId = mUser->userID().value_or("");
    mUserIdLabel->setText(userId);
    auto picture = QLProfileImageCache::sharedInstance().profileImageForUserId(userId);
    mPictureView->setImage(picture);
    if (!picture) requestPicture(userId);
}

void VKMUserProfileViewController::requestPicture(const std::string& userId) {
    if (!mPicturesAskedFor.insert(userId).second) return;
    auto client = mClient;
    // The picture's arrival posts the cache's notification, which refreshes us.
    client->summaryForUser(userId, [client, userId](const platform::Value& summary) {
        const platform::Value* blob = summary.find("profileImage512");
        if (blob == nullptr || !blob->isString() || blob->asString()->empty()) return;
        QLProfileImageCache::sharedInstance().requestProfileImageForUserId(userId, *blob->asString(), client);
    });
}

void VKMUserProfileViewController::signInTapped(Button&) {
    auto logIn = std::make_shared<VKMLogInViewController>(mUser);
    logIn->setModalPresentationStyle(ModalPresentationStyle::formSheet);
    presentViewController(logIn, true);
}

void VKMUserProfileViewController::signOutTapped(Button&) {
    ZDUtils::logInfo("%s: Signing out '%s'", className().c_str(), mUser->userID().value_or("").c_str());
    mUser->clearCurrentUserID();
    platform::NotificationCenter::defaultCenter().postNotificationName(VKMSharedLayoutsUser::kLoggedOutNotification,
                                                                       this);
    refresh();
}
