#include "engine/services/Bundle.h"

#include "engine/services/ErrorHandling.h"

#include "platform/foundation/Bundle.h"

CBundle& CBundle::Instance() {
    static CBundle instance;
    return instance;
}

CBundle::CBundle() : mBundle(platform::Bundle::main()) {
    UErrorHandling::CheckAllocation(mBundle, "CBundle::CBundle()", "CFBundleGetMainBundle() failed");
}

namespace {

std::string InfoString(const platform::Bundle* bundle, const std::string& key) {
    if (bundle == nullptr) return {};
    const auto value = bundle->infoValue(key);
    if (!value) return {};
    const std::string* text = value->asString();
    return text != nullptr ? *text : std::string();
}

}  // namespace

std::string CBundle::GetBundleName() const {
    std::string name = InfoString(mBundle, "CFBundleName");
    if (!name.empty() || mBundle == nullptr) return name;
    // No name in the info values: the bundle's own folder name, as a
    // platform bundle is named by its directory.
    std::filesystem::path folder = mBundle->resourcesPath();
    if (!folder.has_filename()) folder = folder.parent_path();  // trailing "/"
    return folder.filename().string();
}

std::string CBundle::GetIdentifier() const { return InfoString(mBundle, "CFBundleIdentifier"); }

std::string CBundle::GetVersion() const {
    if (mBundle == nullptr) return {};
    const auto value = mBundle->infoValue("CFBundleVersion");
    if (!value) return {};
    const std::string* text = value->asString();
    return text != nullptr ? *text : std::string("?");
}
