#include "engine/services/Uuid.h"

#include "platform/foundation/AsciiText.h"
#include "platform/foundation/UUID.h"

namespace UUuid {

std::string NewUuidString() {
    // Lower-cased in place: one string an element read.
    std::string text = platform::newUUIDString();
    for (char& c : text) c = platform::ascii::toLower(c);
    return text;
}

}  // namespace UUuid
