#include "engine/services/Uuid.h"

#include "platform/foundation/UUID.h"

#include <cctype>

namespace UUuid {

std::string NewUuidString() {
    std::string text = platform::newUUIDString();
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace UUuid
