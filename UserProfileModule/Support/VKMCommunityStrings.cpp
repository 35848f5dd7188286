#include "UserProfileModule/Support/VKMCommunityStrings.h"

#include "platform/foundation/Bundle.h"

namespace VKMCommunityStrings {

std::string text(const char* key) {
    const platform::Bundle* bundle = platform::Bundle::main();
    if (bundle == nullptr) return key;
    return bundle->localizedString(key, "Community").value_or(key);
}

}  // namespace VKMCommunityStrings
