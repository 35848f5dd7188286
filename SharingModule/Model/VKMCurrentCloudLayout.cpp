#include "SharingModule/Model/VKMCurrentCloudLayout.h"

#include "SharingModule/Model/QLUserNameCache.h"
#include "SharingModule/Model/VKMLayoutEntityCache.h"
#include "SharingModule/Model/VKMSharedLayouts.h"

#include "engine/model/CurrentCloudLayout.h"
#include "engine/model/Layout.h"

#include <cstring>
#include <filesystem>
#include <mutex>

namespace {

std::mutex& providerMutex() {
    static std::mutex mutex;
    return mutex;
}

VKMCurrentCloudLayout::LayoutIdProvider& provider() {
    static VKMCurrentCloudLayout::LayoutIdProvider provider;
    return provider;
}

}  // namespace

void VKMCurrentCloudLayout::setCloudLayoutIdProvider(LayoutIdProvider newProvider) {
    std::lock_guard lock(providerMutex());
    provider() = std::move(newProvider);
}

namespace {

std::optional<std::string> cloudLayoutId() {
    VKMCurrentCloudLayout::LayoutIdProvider current;
    {
        std::lock_guard lock(providerMutex());
        current = provider();
    }
    auto layoutId = current ? current() : std::nullopt;
    if (!layoutId || layoutId->empty()) return std::nullopt;
    return layoutId;
}

// The document opened from a file that did not come from the catalogue
// (not the holder's empty one).
const CLayout* localDocument() {
    if (cloudLayoutId()) return nullptr;
    const CLayout* layout = CCurrentCloudLayout::Instance().Layout();
    return layout && !layout->GetFilePath().empty() ? layout : nullptr;
}

// A text parameter, cut at its NUL or its size, without blanks around it.
template <std::size_t N>
std::string parameterText(const char (&field)[N]) {
    std::string text(field, strnlen(field, N));
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

}  // namespace

std::shared_ptr<const QLLayoutEntity> VKMCurrentCloudLayout::layoutEntity() {
    const auto layoutId = cloudLayoutId();
    if (!layoutId) return nullptr;
    return VKMLayoutEntityCache::sharedInstance().objectForKey(*layoutId);
}

std::string VKMCurrentCloudLayout::title() {
    if (auto entity = layoutEntity()) return entity->title();
    const CLayout* local = localDocument();
    if (!local) return {};
    // The file has no title of its own: its name is the one the user gave.
    return std::filesystem::path(local->GetFilePath()).stem().string();
}

std::optional<std::string> VKMCurrentCloudLayout::author() {
    if (const CLayout* local = localDocument()) {
        std::string author = parameterText(local->GetParameters().mAuthor);
        if (author.empty()) return std::nullopt;
        return author;
    }
    auto entity = layoutEntity();
    if (!entity || entity->author().empty()) return std::nullopt;
    return QLUserNameCache::sharedInstance().userNameForUserId(entity->author());
}

bool VKMCurrentCloudLayout::likedByCurrentUser() {
    auto entity = layoutEntity();
    if (!entity) return false;
    const auto user = VKMSharedLayouts::sharedLayoutsUser()->userID();
    return user && entity->isLikedByUser(*user);
}
