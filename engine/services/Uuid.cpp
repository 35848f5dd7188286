#include "engine/services/Uuid.h"

#include "platform/foundation/AsciiText.h"
#include "platform/foundation/UUID.h"

namespace UUuid {

std::string NewUuidString() { return platform::ascii::lowercased(platform::newUUIDString()); }

}  // namespace UUuid
