#include "platform/foundation/TimeZone.h"

#include <unicode/basictz.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace platform {

struct TimeZone::Database {
    std::unique_ptr<icu::TimeZone> zone;
};

namespace {

std::mutex& defaultMutex() {
    static std::mutex mutex;
    return mutex;
}

std::optional<TimeZone>& defaultOverride() {
    static std::optional<TimeZone> zone;
    return zone;
}

double toUDate(std::int64_t seconds) { return static_cast<double>(seconds) * 1000.0; }

}  // namespace

TimeZone TimeZone::utc() { return TimeZone("UTC", 0, nullptr); }

TimeZone TimeZone::forSecondsFromGMT(int seconds) {
    if (seconds == 0) return TimeZone("GMT", 0, nullptr);
    const long magnitude = std::labs(static_cast<long>(seconds));
    char name[40];
    const int length = std::snprintf(name, sizeof name, "GMT%c%02ld:%02ld", seconds < 0 ? '-' : '+', magnitude / 3600,
                                     magnitude / 60 % 60);
    if (magnitude % 60 != 0) std::snprintf(name + length, sizeof name - length, ":%02ld", magnitude % 60);
    return TimeZone(name, seconds, nullptr);
}

std::optional<TimeZone> TimeZone::named(std::string_view identifier) {
    if (identifier == "UTC") return utc();
    const icu::UnicodeString id = icu::UnicodeString::fromUTF8(icu::StringPiece(identifier.data(), identifier.size()));
    std::unique_ptr<icu::TimeZone> zone(icu::TimeZone::createTimeZone(id));
    icu::UnicodeString resolved;
    if (!zone || zone->getID(resolved) == icu::UnicodeString(UCAL_UNKNOWN_ZONE_ID)) return std::nullopt;
    auto database = std::make_shared<Database>();
    database->zone = std::move(zone);
    return TimeZone(std::string(identifier), 0, std::move(database));
}

TimeZone TimeZone::defaultTimeZone() {
    std::lock_guard lock(defaultMutex());
    if (defaultOverride()) return *defaultOverride();
    static const TimeZone system = [] {
        std::unique_ptr<icu::TimeZone> zone(icu::TimeZone::createDefault());
        icu::UnicodeString id;
        std::string name;
        if (zone) zone->getID(id).toUTF8String(name);
        if (!zone || name.empty() || name == UCAL_UNKNOWN_ZONE_ID) return utc();
        auto database = std::make_shared<Database>();
        database->zone = std::move(zone);
        return TimeZone(name, 0, std::move(database));
    }();
    return system;
}

void TimeZone::setDefaultTimeZone(std::optional<TimeZone> zone) {
    std::lock_guard lock(defaultMutex());
    defaultOverride() = std::move(zone);
}

int TimeZone::secondsFromGMT(Date date) const {
    if (!mDatabase) return mFixedOffset;
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(date.time_since_epoch()).count();
    std::int32_t raw = 0;
    std::int32_t dst = 0;
    UErrorCode status = U_ZERO_ERROR;
    mDatabase->zone->getOffset(static_cast<double>(ms), false, raw, dst, status);
    if (U_FAILURE(status)) return 0;
    return (raw + dst) / 1000;
}

int TimeZone::secondsFromGMTForLocalTime(std::int64_t localSeconds) const {
    if (!mDatabase) return mFixedOffset;
    std::int32_t raw = 0;
    std::int32_t dst = 0;
    UErrorCode status = U_ZERO_ERROR;
    if (auto* basic = dynamic_cast<const icu::BasicTimeZone*>(mDatabase->zone.get())) {
        basic->getOffsetFromLocal(toUDate(localSeconds), UCAL_TZ_LOCAL_FORMER, UCAL_TZ_LOCAL_FORMER, raw, dst, status);
    } else {
        mDatabase->zone->getOffset(toUDate(localSeconds), true, raw, dst, status);
    }
    if (U_FAILURE(status)) return 0;
    return (raw + dst) / 1000;
}

}  // namespace platform
