#pragma once
// The telemetry client's stateless services: its name and version, keyed
// archiving of its records with the list of classes that may be restored,
// and dates in its ISO 8601 form.

#include "telemetry/Internals/Util/TLMKeyedArchiver.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class TLMUtility {
public:
    // ---- Identity
    static std::string sdkName();     // "telemetry.ios"
    static std::string sdkVersion();  // "1.0.0"

    // ---- Archiving
    // The keyed archive of the object (or any archive value); none for a
    // null value, and none with the error "Archiving NSData failed with
    // error: <reason>" when it cannot be archived.
    static std::optional<std::vector<std::uint8_t>> archiveKeyedData(const TLMArchiveValue& object);
    // The value read back, restoring only the allowed classes and kinds;
    // none with the error "Unarchiving NSData failed with error: <reason>"
    // for bytes that are no whole archive of allowed classes.
    static std::optional<TLMArchiveValue> unarchiveKeyedData(const std::vector<std::uint8_t>& data);
    // Adds to the process-wide list of what unarchiving restores. Thread-safe.
    static void addAllowedClasses(const std::vector<TLMArchiveClass>& classes);

    // ---- Dates
    using Date = std::chrono::system_clock::time_point;
    // Now, in milliseconds since 1970.
    static double nowInMilliseconds();
    // "yyyy-MM-dd'T'HH:mm:ss.SSS'Z'" in UTC; the milliseconds are cut, not
    // rounded, so a date never reads back later than it was.
    static std::string dateToISO8601(const Date& date);
    // The date of a text of exactly that form; none for any other text.
    static std::optional<Date> dateFromISO8601(const std::string& text);
};
