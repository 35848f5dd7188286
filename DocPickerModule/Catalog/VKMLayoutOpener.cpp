#include "DocPickerModule/Catalog/VKMLayoutOpener.h"

#include "DocPickerModule/Catalog/VKMLayoutOpenRequests.h"
#include "SharingModule/Model/VKMSharedLayouts.h"
#include "UserProfileModule/Support/VKMCommunityStrings.h"
#include "app/Helper/VKMFileManager.h"
#include "app/Helper/VKMLayoutDocumentHelper.h"
#include "app/Session/VKMLayoutSession.h"
#include "app/Utilities/VKMAlerts.h"
#include "engine/services/ZDUtils.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/net/URL.h"

#include <optional>

namespace {

const std::string* textIn(const platform::Notification& notification, const char* key) {
    const platform::Value* value = notification.userInfo().find(key);
    return value ? value->asString() : nullptr;
}

// A path, or a "file:" URL of one; nothing for another kind of URL.
std::optional<std::filesystem::path> localFile(const std::string& text) {
    if (text.rfind("file:", 0) != 0) return std::filesystem::path(text);
    const auto url = platform::net::URL::parse(text);
    if (!url || url->scheme() != "file" || url->path().empty()) return std::nullopt;
    return std::filesystem::path(url->path());
}

}  // namespace

std::shared_ptr<VKMLayoutOpener> VKMLayoutOpener::make(std::shared_ptr<QLSharedLayoutsClient> client) {
    auto opener =
        std::make_shared<VKMLayoutOpener>(client ? std::move(client) : VKMSharedLayouts::sharedLayoutsClient());
    opener->startObserving();
    return opener;
}

void VKMLayoutOpener::startObserving() {
    std::weak_ptr<VKMLayoutOpener> weak = weak_from_this();
    auto& center = platform::NotificationCenter::defaultCenter();
    mObservers.push_back(center.addObserverForName(
        VKMLayoutOpenRequests::kOpenLocalLayoutNotification, nullptr, [weak](const platform::Notification& n) {
            auto self = weak.lock();
            const std::string* text = textIn(n, VKMLayoutOpenRequests::kKeyFileURL);
            if (!self) return;
            const auto file = text && !text->empty() ? localFile(*text) : std::nullopt;
            if (!file) {
                ZDUtils::logWarning("Request to open a local layout without its file");
                return;
            }
            self->openLocalLayout(*file);
        }));
    mObservers.push_back(center.addObserverForName(
        VKMLayoutOpenRequests::kOpenCloudLayoutRequestedNotification, nullptr, [weak](const platform::Notification& n) {
            auto self = weak.lock();
            const std::string* layoutId = textIn(n, VKMLayoutOpenRequests::kKeyLayoutId);
            if (!self) return;
            if (layoutId == nullptr || layoutId->empty()) {
                ZDUtils::logWarning("Request to open a shared layout without its identifier");
                return;
            }
            self->openCloudLayout(*layoutId);
        }));
}

void VKMLayoutOpener::openLocalLayout(const std::filesystem::path& file) {
    mPendingLayoutId.clear();
    VKMFileManager::openFileAtURL(file);
}

void VKMLayoutOpener::openCloudLayout(const std::string& layoutId) {
    ZDUtils::logInfo("Opening shared layout %s", layoutId.c_str());
    mPendingLayoutId = layoutId;
    VKMLayoutDocumentHelper::closeCurrentLayout();
    VKMLayoutSession::sharedSession().setCloudLayoutId(std::nullopt);
    // The layout screen shows that it is busy while the layout comes.
    platform::NotificationCenter::defaultCenter().postNotificationName(
        VKMLayoutDocumentHelper::kDocumentLoadingNotification, VKMLayoutDocumentHelper::notificationObject());
    std::weak_ptr<VKMLayoutOpener> weak = weak_from_this();
    mClient->layoutEntityWithId(
        layoutId,
        [weak, layoutId](const QLSharedLayoutsClient::EntityPtr& entity) {
            if (auto self = weak.lock()) self->detailsArrived(layoutId, entity);
        },
        [weak, layoutId](const platform::Error& error) {
            if (auto self = weak.lock()) self->failed(layoutId, error);
        });
}

void VKMLayoutOpener::detailsArrived(const std::string& layoutId, const QLSharedLayoutsClient::EntityPtr& entity) {
    if (!isCurrent(layoutId)) return;
    std::weak_ptr<VKMLayoutOpener> weak = weak_from_this();
    mClient->downloadLayoutFile(
        entity,
        [weak, layoutId](const std::filesystem::path& file) {
            if (auto self = weak.lock()) self->fileArrived(layoutId, file);
        },
        [weak, layoutId](const platform::Error& error) {
            if (auto self = weak.lock()) self->failed(layoutId, error);
        });
}

void VKMLayoutOpener::fileArrived(const std::string& layoutId, const std::filesystem::path& file) {
    if (!isCurrent(layoutId)) {
        ZDUtils::logInfo("Shared layout %s arrived after another was asked for", layoutId.c_str());
        return;
    }
    mPendingLayoutId.clear();
    auto& session = VKMLayoutSession::sharedSession();
    // Set before loading, so that the loaded notification finds it.
    session.setCloudLayoutId(layoutId);
    // The helper reports a failed load itself. The file is read off the
    // main thread; an open asked for meanwhile replaces this one.
    VKMLayoutDocumentHelper::openLayoutFile(file.string(), [layoutId](bool loaded) {
        auto& current = VKMLayoutSession::sharedSession();
        if (!loaded && current.cloudLayoutId() == layoutId) current.setCloudLayoutId(std::nullopt);
    });
}

void VKMLayoutOpener::failed(const std::string& layoutId, const platform::Error& error) {
    if (!isCurrent(layoutId)) return;
    mPendingLayoutId.clear();
    platform::NotificationCenter::defaultCenter().postNotificationName(
        VKMLayoutDocumentHelper::kDocumentLoadFailedNotification, VKMLayoutDocumentHelper::notificationObject());
    VKMAlerts::showAlertWithTitle(VKMCommunityStrings::text("OpenLayoutFailedTitle"), error.localizedDescription(),
                                  VKMCommunityStrings::text("OK"), {});
}
