#include "telemetry/Internals/Util/TLMUtility.h"

#include "telemetry/TLMLogger.h"

#include <cstring>
#include <memory>
#include <mutex>

namespace {

// The client's identity in a section of its own, so that tools can read the
// version from the binary: a record version, then name, version and build,
// each NUL-padded to 32 bytes.
struct TLMIdentityRecord {
    std::uint8_t recordVersion;
    char name[32];
    char version[32];
    char build[32];
};
static_assert(sizeof(TLMIdentityRecord) == 97);

__attribute__((section("tl_ios"), used)) const TLMIdentityRecord kIdentity = {1, "telemetry.ios", "1.0.0", "1"};

std::string fieldText(const char (&field)[32]) { return std::string(field, strnlen(field, sizeof field)); }

// The allowed classes are replaced as a whole, so a reader keeps a list
// that never changes under it.
std::mutex gAllowedClassesMutex;
std::shared_ptr<const TLMAllowedClasses> gAllowedClasses = std::make_shared<const TLMAllowedClasses>();

std::shared_ptr<const TLMAllowedClasses> allowedClasses() {
    std::lock_guard lock(gAllowedClassesMutex);
    return gAllowedClasses;
}

}  // namespace

std::string TLMUtility::sdkName() { return fieldText(kIdentity.name); }

std::string TLMUtility::sdkVersion() { return fieldText(kIdentity.version); }

std::optional<std::vector<std::uint8_t>> TLMUtility::archiveKeyedData(const TLMArchiveValue& object) {
    if (object.isNull()) return std::nullopt;
    std::string error;
    auto data = TLMKeyedArchiver::archivedData(object, &error);
    if (!data) TLMLogError("Telemetry", "Archiving NSData failed with error: %s", error.c_str());
    return data;
}

std::optional<TLMArchiveValue> TLMUtility::unarchiveKeyedData(const std::vector<std::uint8_t>& data) {
    std::string error;
    auto value = TLMKeyedUnarchiver::unarchivedValue(data.data(), data.size(), *allowedClasses(), &error);
    if (!value) TLMLogError("Telemetry", "Unarchiving NSData failed with error: %s", error.c_str());
    return value;
}

void TLMUtility::addAllowedClasses(const std::vector<TLMArchiveClass>& classes) {
    std::lock_guard lock(gAllowedClassesMutex);
    auto extended = std::make_shared<TLMAllowedClasses>(*gAllowedClasses);
    extended->add(classes);
    gAllowedClasses = std::move(extended);
}
