// A keyed archive of the telemetry client from untrusted bytes (a damaged
// log database or settings file): every kind and class the client restores
// is allowed; a refusal says why, and what reads is archived again and
// reads back to the same bytes.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/support/FuzzSupport.h"
#include "fuzz/support/TLMArchiveFuzzSupport.h"
#include "telemetry/Internals/Util/TLMKeyedArchiver.h"

using fuzzsupport::Require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const TLMAllowedClasses allowed = fuzzsupport::TelemetryArchiveClasses();
    std::string error;
    const auto value = TLMKeyedUnarchiver::unarchivedValue(data, size, allowed, &error);
    if (!value) {
        Require(!error.empty(), "a refused archive says why");
        return 0;
    }
    // A lone null reads, but there is nothing to archive again.
    if (value->isNull()) return 0;
    const auto bytes = TLMKeyedArchiver::archivedData(*value, &error);
    Require(bytes.has_value(), "what reads can be archived again");
    const auto again = TLMKeyedUnarchiver::unarchivedValue(bytes->data(), bytes->size(), allowed, &error);
    Require(again.has_value(), "an archive written again reads");
    Require(TLMKeyedArchiver::archivedData(*again, &error) == bytes, "an archive written again reads the same");
    return 0;
}
