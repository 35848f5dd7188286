#include "SharingModule/Model/VKMSharedLayouts.h"

#include "engine/services/ZDUtils.h"
#include "platform/foundation/Bundle.h"

namespace {

constexpr const char* kBuiltInServiceURL = "https://sharing.vekmont.net/api/v1";

}  // namespace

VKMSharedLayouts& VKMSharedLayouts::sharedInstance() {
    static VKMSharedLayouts instance;
    return instance;
}

VKMSharedLayouts::VKMSharedLayouts()
    : mUser(std::make_shared<VKMSharedLayoutsUser>()),
      mClient(std::make_shared<QLSharedLayoutsClient>(configurationFromBundle(), mUser)) {}

QLSharedLayoutsClient::Configuration VKMSharedLayouts::configurationFromBundle() {
    QLSharedLayoutsClient::Configuration configuration;
    configuration.serviceURL = *platform::net::URL::parse(kBuiltInServiceURL);
    const platform::Bundle* bundle = platform::Bundle::main();
    const auto value = bundle ? bundle->infoValue(kServiceURLInfoKey) : std::nullopt;
    if (value && value->isString()) {
        if (auto url = platform::net::URL::parse(*value->asString())) {
            configuration.serviceURL = *url;
        } else {
            ZDUtils::logWarning("%s is no address; using %s", kServiceURLInfoKey, kBuiltInServiceURL);
        }
    }
    return configuration;
}
