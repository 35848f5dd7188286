#pragma once
// The one owner of the sharing service client and of the signed-in user,
// made on first use with the service address the app's bundle gives
// ("VKMSharedLayoutsServiceURL" in Info.json).

#include "SharingModule/Model/QLSharedLayoutsClient.h"
#include "SharingModule/Model/VKMSharedLayoutsUser.h"

#include <memory>

class VKMSharedLayouts {
public:
    static constexpr const char* kServiceURLInfoKey = "VKMSharedLayoutsServiceURL";

    static VKMSharedLayouts& sharedInstance();
    static std::shared_ptr<QLSharedLayoutsClient> sharedLayoutsClient() { return sharedInstance().mClient; }
    // Never null.
    static std::shared_ptr<VKMSharedLayoutsUser> sharedLayoutsUser() { return sharedInstance().mUser; }

    // The client's settings from the bundle; the built-in address when it has none.
    static QLSharedLayoutsClient::Configuration configurationFromBundle();

private:
    VKMSharedLayouts();

    std::shared_ptr<VKMSharedLayoutsUser> mUser;
    std::shared_ptr<QLSharedLayoutsClient> mClient;
};
