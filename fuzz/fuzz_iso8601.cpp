// ISO 8601 texts as the sharing service's replies bring them. The first
// byte picks the reader's settings (strict or lenient, time and zone
// separators); the rest is the text. What reads keeps its range inside the
// text; a text with a year and a time names the date its fields give
// (counted with the standard library's calendar), or nothing when a date
// cannot hold that; and a date it names, written back with its time to the
// millisecond, reads again as the same date.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "fuzz/support/FuzzSupport.h"
#include "platform/foundation/DateFormatterISO8601.h"

using fuzzsupport::Require;
using platform::DateComponents;
using platform::DateFormatterISO8601;
using platform::TimeZone;

namespace {

// The UTC seconds the fields name, by the standard library's calendar;
// nothing without a year or a time, or for a year it does not count.
std::optional<std::int64_t> SecondsNamedBy(const DateComponents& c) {
    using namespace std::chrono;
    constexpr std::int64_t kUndefined = DateComponents::kUndefined;
    if (c.year == kUndefined || c.hour == kUndefined || c.year > 30000) return std::nullopt;
    auto field = [](std::int64_t value, std::int64_t lowest) { return value == kUndefined ? lowest : value; };
    const year_month month = year(static_cast<int>(c.year)) / January + months(field(c.month, 1) - 1);
    const std::int64_t days = sys_days(month / 1).time_since_epoch().count() + (field(c.day, 1) - 1);
    const std::int64_t offset = c.timeZone ? c.timeZone->secondsFromGMT(std::chrono::system_clock::time_point{}) : 0;
    return days * 86400 + c.hour * 3600 + field(c.minute, 0) * 60 + field(c.second, 0) - offset;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint8_t settings = data[0];
    const std::string text = fuzzsupport::Text(data + 1, size - 1);

    DateFormatterISO8601 reader;
    reader.setDefaultTimeZone(TimeZone::utc());
    reader.setParsesStrictly((settings & 1) != 0);
    static const char kTimeSeparators[] = {':', '.', ',', 'h'};
    reader.setTimeSeparator(kTimeSeparators[(settings >> 1) & 3]);
    reader.setTimeZoneSeparator((settings & 8) != 0 ? ':' : 0);

    std::optional<TimeZone> zone;
    platform::Range range;
    double fraction = -1;
    const auto components = reader.dateComponentsFromString(text, &zone, &range, &fraction);
    if (components) {
        Require(range.location <= text.size() && range.length <= text.size() - range.location,
                "the range read lies inside the text");
        Require(fraction == -1 || (fraction > 0 && fraction < 1), "a fraction of a second is below one");
        Require(zone == components->timeZone, "the zone out-parameter is the designator's");
    }

    const auto date = reader.dateFromString(text);
    Require(!date || components, "a date comes only from text that reads");
    if (const auto named = components ? SecondsNamedBy(*components) : std::nullopt) {
        // A date counts nanoseconds in 64 bits: whole seconds up to about 9223372036 either way.
        constexpr std::int64_t kLast = std::numeric_limits<std::int64_t>::max() / 1000000000 - 1;
        if (*named >= -kLast && *named <= kLast) {
            Require(date.has_value(), "a date within reach is read");
            const auto seconds = std::chrono::floor<std::chrono::seconds>(date->time_since_epoch()).count();
            Require(seconds == *named || seconds == *named + 1, "a date is the one its fields name");
        } else if (*named < -kLast - 2 || *named > kLast + 2) {
            Require(!date, "a date out of reach is no date, never one wrapped round");
        }
    }
    if (!date) return 0;
    DateFormatterISO8601 writer;
    writer.setIncludeTime(true);
    writer.setUseMillisecondPrecision(true);
    const auto milliseconds = std::chrono::floor<std::chrono::milliseconds>(*date);
    const std::string written = writer.stringFromDate(*date, TimeZone::utc());
    DateFormatterISO8601 again;
    again.setParsesStrictly(true);
    Require(again.dateFromString(written) == milliseconds, "a written date reads back");
    return 0;
}
