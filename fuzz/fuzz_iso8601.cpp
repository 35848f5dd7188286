// ISO 8601 texts as the sharing service's replies bring them. The first
// byte picks the reader's settings (strict or lenient, time and zone
// separators); the rest is the text. What reads keeps its range inside the
// text, and a date it names, written back with its time to the
// millisecond, reads again as the same date.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "fuzz/support/FuzzSupport.h"
#include "platform/foundation/DateFormatterISO8601.h"

using fuzzsupport::Require;
using platform::DateFormatterISO8601;
using platform::TimeZone;

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
