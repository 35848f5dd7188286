#pragma once
// Reads and writes the text forms of ISO 8601: calendar dates (2009-12-31,
// 20091231), ordinal dates (2009-365, 2009365) and week dates (2009-W53-4,
// 2009W534), with the abbreviated forms that leave out the century, the
// year or more (09-12-31, -0912, --12-31, ---31, -365, -W53-4), each
// optionally followed by a time of day ("T" or a blank, then hh, hh:mm or
// hh:mm:ss, minutes and seconds with fractions) and a zone designator ("Z",
// +hh, +hhmm, +hh:mm).
//
// Reading is lenient by default: it also takes one-digit fields, six-digit
// YYMMDD dates, --W-d, a blank before the zone and values out of their
// range (which roll over: 2009-02-30 is 2 March). Strict reading takes
// only the standard forms with values in range. Forms with a two-digit
// year take the century of the current year ("09" is 2009 in the 2000s);
// "YY" alone names a century. Nothing is validated beyond the grammar
// and, when strict, the ranges; text after what was read is left alone and
// the range out-parameter says where the read ended.
//
// Writing gives one of the three styles in the extended form (2009-12-31,
// 2009-365, 2009-W53-4), with the time and the zone offset when asked for.
//
// Dates use the proleptic Gregorian calendar with weeks starting on Monday
// (week 1 holds the year's first Thursday). Texts are UTF-8; every byte
// the grammar uses is ASCII, so ranges count bytes.
//
// Threads: an instance keeps a cached pattern formatter, so it serves one
// thread at a time; separate instances are independent.

#include "platform/foundation/Range.h"
#include "platform/foundation/TimeZone.h"
#include "platform/foundation/Value.h"

#include <chrono>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Parsed fields. A field the text does not give is kUndefined. When the
// month is undefined and the day is set, the day counts from 1 January
// (ordinal and week dates give the day of the year this way).
struct DateComponents {
    static constexpr std::int64_t kUndefined = std::numeric_limits<std::int64_t>::max();

    std::int64_t year = kUndefined;
    std::int64_t month = kUndefined;
    std::int64_t day = kUndefined;
    std::int64_t hour = kUndefined;
    std::int64_t minute = kUndefined;
    std::int64_t second = kUndefined;
    // The zone designator's zone; none without a designator.
    std::optional<TimeZone> timeZone;

    bool operator==(const DateComponents&) const = default;
};

// The location of a range that was not found.
inline constexpr std::size_t kNotFound = std::numeric_limits<std::size_t>::max();

class DateFormatterISO8601 {
public:
    using Date = std::chrono::system_clock::time_point;

    enum class Format : unsigned { Calendar = 0, Ordinal = 1, Week = 2 };

    DateFormatterISO8601();
    ~DateFormatterISO8601();
    DateFormatterISO8601(const DateFormatterISO8601&) = delete;
    DateFormatterISO8601& operator=(const DateFormatterISO8601&) = delete;

    // Writing style (Calendar by default).
    Format format() const { return mFormat; }
    void setFormat(Format format) { mFormat = format; }
    // Separator between hours, minutes and seconds (":" by default); lenient
    // reading expects it, strict reading always expects ":".
    char timeSeparator() const { return mTimeSeparator; }
    void setTimeSeparator(char separator) { mTimeSeparator = separator; }
    // Separator between the hours and minutes of a zone offset: none by
    // default (written +0530). Reading takes it, and ":" in any case.
    char timeZoneSeparator() const { return mTimeZoneSeparator; }
    void setTimeZoneSeparator(char separator) { mTimeZoneSeparator = separator; }
    // Writing: append the time and the zone designator.
    bool includeTime() const { return mIncludeTime; }
    void setIncludeTime(bool include) { mIncludeTime = include; }
    // Writing: seconds with three decimals.
    bool useMillisecondPrecision() const { return mUseMillisecondPrecision; }
    void setUseMillisecondPrecision(bool use) { mUseMillisecondPrecision = use; }
    bool parsesStrictly() const { return mParsesStrictly; }
    void setParsesStrictly(bool strict) { mParsesStrictly = strict; }
    // The zone of texts without a designator, and of writing; none means
    // the process's zone.
    const std::optional<TimeZone>& defaultTimeZone() const { return mDefaultTimeZone; }
    void setDefaultTimeZone(std::optional<TimeZone> zone) { mDefaultTimeZone = std::move(zone); }

    // Reading. On success the out-parameters given receive the designator's
    // zone (none without one), the range read (location: the blanks
    // skipped; length: from the first non-blank byte to the end of what was
    // read) and the fraction of a second (written only when above 0). On
    // failure the zone is cleared and the range is {kNotFound, 0}, except
    // for a text holding "/" (an interval, never read), which leaves them
    // alone. The two-digit-year forms take the current year from
    // Clock::shared() in the default zone.
    std::optional<DateComponents> dateComponentsFromString(std::string_view text,
                                                           std::optional<TimeZone>* timeZone = nullptr,
                                                           Range* range = nullptr,
                                                           double* fractionOfSecond = nullptr) const;
    // The date the text names, in its designator's zone, else the default
    // zone. Fields it leaves out take their lowest value, and a missing
    // year is the current one. Nothing when the text does not read or the
    // date lies outside what a Date holds (about 1678 to 2261). The zone
    // out-parameter is written also on failure.
    std::optional<Date> dateFromString(std::string_view text, std::optional<TimeZone>* timeZone = nullptr,
                                       Range* range = nullptr) const;
    // The formatter interface: a date Value into `value` when the text reads.
    bool getObjectValue(Value* value, std::string_view text) const;

    // Writing, in the default zone (or the process's).
    std::string stringFromDate(Date date);
    // Writing in `timeZone`. Throws std::logic_error for a format outside
    // the three styles.
    std::string stringFromDate(Date date, const TimeZone& timeZone);
    // Writing by a date pattern ("yyyy-MM-dd"; quoted text in '...'), with
    // the time pattern and designator added when includeTime is set.
    std::string stringFromDate(Date date, std::string_view formatString, const TimeZone& timeZone);
    // "YYYY-Www-D", with the time and designator when includeTime is set.
    std::string weekDateStringForDate(Date date, const TimeZone& timeZone) const;
    // A date Value as stringFromDate writes it; nothing (and a line on
    // standard error) for any other value.
    std::optional<std::string> stringForObjectValue(const Value& value);

    // The text with every ":" replaced by `separator`.
    static std::string replaceColonsInString(std::string text, char separator);

private:
    struct PatternFormatter;

    std::string timePattern() const;
    std::string zoneDesignator(int secondsFromGMT) const;

    Format mFormat = Format::Calendar;
    char mTimeSeparator = ':';
    char mTimeZoneSeparator = 0;
    bool mIncludeTime = false;
    bool mParsesStrictly = false;
    bool mUseMillisecondPrecision = false;
    std::optional<TimeZone> mDefaultTimeZone;
    // The pattern formatter of the last pattern written, kept while the
    // pattern stays the same.
    std::unique_ptr<PatternFormatter> mUnparsingFormatter;
    std::string mLastUsedFormatString;
};

}  // namespace platform
