#pragma once
// Time zones: a fixed offset from GMT, or a zone of the time-zone database
// (through ICU) whose offset changes with daylight saving time. A value:
// copies share the database zone, which is immutable and safe to use from
// any thread.
//
// The process's zone is the system's ($TZ when set, else the host's), unless
// a test sets another with setDefaultTimeZone.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

class TimeZone {
public:
    using Date = std::chrono::system_clock::time_point;

    // "UTC", offset 0.
    static TimeZone utc();
    // A zone of that many seconds east of GMT, named "GMT+hh:mm" (or "GMT"
    // for 0). Offsets are not checked against any range.
    static TimeZone forSecondsFromGMT(int seconds);
    // A zone of the database ("Europe/Berlin"); nullopt for a name it does
    // not know.
    static std::optional<TimeZone> named(std::string_view identifier);
    // The process's zone.
    static TimeZone defaultTimeZone();
    // Test hook: makes `zone` the process's zone; nullopt returns to the system's.
    static void setDefaultTimeZone(std::optional<TimeZone> zone);

    const std::string& identifier() const { return mIdentifier; }
    // The offset east of GMT at `date`.
    int secondsFromGMT(Date date) const;
    // The offset in force at a wall-clock time, given as seconds from
    // 1970-01-01 00:00 on that wall clock. A time that a transition skips
    // or repeats takes the offset before the transition.
    int secondsFromGMTForLocalTime(std::int64_t localSeconds) const;

    // Same name and, for fixed zones, the same offset.
    bool operator==(const TimeZone& other) const {
        return mIdentifier == other.mIdentifier && mFixedOffset == other.mFixedOffset;
    }

private:
    struct Database;
    TimeZone(std::string identifier, int fixedOffset, std::shared_ptr<const Database> database)
        : mIdentifier(std::move(identifier)), mFixedOffset(fixedOffset), mDatabase(std::move(database)) {}

    std::string mIdentifier;
    int mFixedOffset = 0;                       // used when mDatabase is null
    std::shared_ptr<const Database> mDatabase;  // null for fixed zones
};

}  // namespace platform
