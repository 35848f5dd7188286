// Writes the seed corpus of the ISO 8601 reader's fuzz target: dates in
// every style our writer has, with and without time, milliseconds and
// zone separators, then the abbreviated forms the writer never makes. Each
// file is the settings byte of the target, then the text.
//
//   iso8601_seeds <folder>

#include "platform/foundation/DateFormatterISO8601.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

using platform::DateFormatterISO8601;
using platform::TimeZone;

void writeSeed(const std::filesystem::path& folder, int& index, unsigned char settings, const std::string& text) {
    char name[32];
    std::snprintf(name, sizeof name, "seed-%03d.txt", index++);
    std::ofstream out(folder / name, std::ios::binary);
    out.put(static_cast<char>(settings));
    out << text;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: iso8601_seeds <folder>\n");
        return 1;
    }
    const std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder);
    int index = 0;

    // 31 December 2009 13:45:30.250 UTC, 1 January 2010 (a week of the year before), 29 February 2008.
    const DateFormatterISO8601::Date dates[] = {
        DateFormatterISO8601::Date(std::chrono::milliseconds(1262267130250)),
        DateFormatterISO8601::Date(std::chrono::seconds(1262304000)),
        DateFormatterISO8601::Date(std::chrono::seconds(1204243200)),
    };
    const TimeZone zones[] = {TimeZone::utc(), TimeZone::forSecondsFromGMT(-(3 * 3600 + 1800)),
                              TimeZone::forSecondsFromGMT(5 * 3600 + 1800)};
    using Format = DateFormatterISO8601::Format;
    for (const auto date : dates) {
        for (const Format format : {Format::Calendar, Format::Ordinal, Format::Week}) {
            for (int variant = 0; variant < 4; ++variant) {
                DateFormatterISO8601 writer;
                writer.setFormat(format);
                writer.setIncludeTime(variant > 0);
                writer.setUseMillisecondPrecision(variant == 2);
                writer.setTimeZoneSeparator(variant == 3 ? ':' : 0);
                const std::string text = writer.stringFromDate(date, zones[variant % 3]);
                writeSeed(folder, index, variant == 3 ? 8 : 0, text);
                writeSeed(folder, index, variant == 3 ? 9 : 1, text);
            }
        }
    }
    const char* const abbreviated[] = {
        "20091231",
        "2009365",
        "2009W534",
        "09-12-31",
        "09-1231",
        "09-365",
        "09W534",
        "091231",
        "-09",
        "-09-12",
        "-0912",
        "-0912-05",
        "-9",
        "-9W53",
        "--12-25",
        "--1225",
        "--12",
        "---25",
        "-365",
        "-W53-4",
        "-W-4",
        "--W-4",
        "20",
        "2009",
        "2009-12",
        "2009-W53",
        "T13:45",
        "T13:45:30,5",
        " 2009-12-31",
        "2009-12-31 13:45 +05:30",
        "2009-12-31T13.45.30",
        "2009-12-31T13:45.5Z",
    };
    for (const char* text : abbreviated) {
        writeSeed(folder, index, 0, text);
        writeSeed(folder, index, 1, text);
    }
    writeSeed(folder, index, 2, "2009-12-31T13.45.30+0100");
    return 0;
}
