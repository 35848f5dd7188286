#include "fuzz/support/TLMArchiveFuzzSupport.h"

#include "fuzz/support/FuzzSupport.h"
#include "telemetry/Internals/Util/TLMArchiverUtil.h"

#include <string>

namespace fuzzsupport {

TLMAllowedClasses TelemetryArchiveClasses() {
    TLMAllowedClasses allowed;
    allowed.add(TLMArchiverUtil::telemetryModuleClasses());
    allowed.add({TLMArchiveClass::data()});
    return allowed;
}

void CheckArchiveRoundTrip(const std::uint8_t* data, std::size_t size, const TLMAllowedClasses& allowed) {
    std::string error;
    const auto value = TLMKeyedUnarchiver::unarchivedValue(data, size, allowed, &error);
    if (!value) {
        Require(!error.empty(), "a refused archive says why");
        return;
    }
    // A lone null reads, but there is nothing to archive again.
    if (value->isNull()) return;
    const auto bytes = TLMKeyedArchiver::archivedData(*value, &error);
    Require(bytes.has_value(), "what reads can be archived again");
    const auto again = TLMKeyedUnarchiver::unarchivedValue(bytes->data(), bytes->size(), allowed, &error);
    Require(again.has_value(), "an archive written again reads");
    Require(TLMKeyedArchiver::archivedData(*again, &error) == bytes, "an archive written again reads the same");
}

}  // namespace fuzzsupport
