#include "platform/foundation/Error.h"

namespace platform {

std::string Error::localizedDescription() const {
    if (const auto* text = userInfoValue<std::string>(LocalizedDescriptionKey)) {
        return *text;
    }
    return mDomain + " error " + std::to_string(mCode);
}

}  // namespace platform
