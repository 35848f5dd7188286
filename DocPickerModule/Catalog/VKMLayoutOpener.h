#pragma once
// Serves the requests to open a layout (VKMLayoutOpenRequests) for as long
// as it lives: a local file through the app's file manager, which reads it
// in place; a shared layout by closing the current document, fetching the
// layout's details, then its file (the downloaded one while the cache may
// reuse it, else a counted download) and loading that through the document
// helper with the layout session's cloud identifier set. Only the latest
// request is served: a shared layout that arrives after another request
// was made is not loaded. Failures are shown in an alert and the session
// keeps no cloud identifier. Main thread only.

#include "SharingModule/Model/QLSharedLayoutsClient.h"
#include "platform/foundation/NotificationCenter.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

class VKMLayoutOpener : public std::enable_shared_from_this<VKMLayoutOpener> {
public:
    // Observing from the start; the app's client when none is given.
    static std::shared_ptr<VKMLayoutOpener> make(std::shared_ptr<QLSharedLayoutsClient> client = nullptr);

    void openLocalLayout(const std::filesystem::path& file);
    void openCloudLayout(const std::string& layoutId);

    explicit VKMLayoutOpener(std::shared_ptr<QLSharedLayoutsClient> client) : mClient(std::move(client)) {}

private:
    void startObserving();
    void detailsArrived(const std::string& layoutId, const QLSharedLayoutsClient::EntityPtr& entity);
    void fileArrived(const std::string& layoutId, const std::filesystem::path& file);
    void failed(const std::string& layoutId, const platform::Error& error);
    bool isCurrent(const std::string& layoutId) const { return mPendingLayoutId == layoutId; }

    std::shared_ptr<QLSharedLayoutsClient> mClient;
    // The shared layout asked for last; empty once served or overtaken.
    std::string mPendingLayoutId;
    std::vector<platform::NotificationCenter::ObserverToken> mObservers;
};
