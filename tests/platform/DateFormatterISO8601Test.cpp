#include "platform/foundation/DateFormatterISO8601.h"

#include "platform/dispatch/Clock.h"

#include <gtest/gtest.h>

#include <ctime>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

using platform::DateComponents;
using platform::DateFormatterISO8601;
using platform::Range;
using platform::TimeZone;
using Date = DateFormatterISO8601::Date;

namespace {

constexpr std::int64_t U = DateComponents::kUndefined;

// A UTC date from its fields, through the C library's own calendar.
Date utcDate(int year, int month, int day, int hour = 0, int minute = 0, int second = 0, int millisecond = 0) {
    std::tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    return std::chrono::system_clock::from_time_t(timegm(&fields)) + std::chrono::milliseconds(millisecond);
}

// Every test reads with "today" in June 2024, so two-digit years land in the 2000s.
class DateFormatterISO8601Test : public ::testing::Test {
protected:
    DateFormatterISO8601Test() { formatter.setDefaultTimeZone(TimeZone::utc()); }

    std::shared_ptr<platform::VirtualClock> clock = std::make_shared<platform::VirtualClock>(utcDate(2024, 6, 15, 12));
    platform::ScopedClock installed{clock};
    DateFormatterISO8601 formatter;
};

struct Fields {
    std::int64_t year, month, day, hour = U, minute = U, second = U;
};

void expectFields(const std::optional<DateComponents>& got, const std::optional<Fields>& want, const char* name) {
    ASSERT_EQ(got.has_value(), want.has_value()) << name;
    if (!want) return;
    EXPECT_EQ(got->year, want->year) << name << ": year";
    EXPECT_EQ(got->month, want->month) << name << ": month";
    EXPECT_EQ(got->day, want->day) << name << ": day";
    EXPECT_EQ(got->hour, want->hour) << name << ": hour";
    EXPECT_EQ(got->minute, want->minute) << name << ": minute";
    EXPECT_EQ(got->second, want->second) << name << ": second";
}

}  // namespace

TEST_F(DateFormatterISO8601Test, ReadsCalendarOrdinalWeekAndAbbreviatedFormsLenientlyAndStrictly) {
    struct Case {
        const char* name;
        const char* text;
        std::optional<Fields> lenient;
        std::optional<Fields> strict;
    };
    const std::nullopt_t fails = std::nullopt;
    const Case cases[] = {
        {"extended calendar date", "2009-12-31", Fields{2009, 12, 31}, Fields{2009, 12, 31}},
        {"basic calendar date", "20091231", Fields{2009, 12, 31}, Fields{2009, 12, 31}},
        {"year and month", "2009-12", Fields{2009, 12, 1}, Fields{2009, 12, 1}},
        {"year alone", "2009", Fields{2009, 1, 1}, Fields{2009, 1, 1}},
        {"extended ordinal date: day of year, no month", "2009-365", Fields{2009, U, 365}, Fields{2009, U, 365}},
        {"basic ordinal date", "2009365", Fields{2009, U, 365}, Fields{2009, U, 365}},
        {"ordinal day 366 of a common year", "2009-366", Fields{2009, U, 366}, fails},
        {"ordinal day 366 of a leap year", "2008366", Fields{2008, U, 366}, Fields{2008, U, 366}},
        // 1 January 2009 was a Thursday: week 1 began on Monday 29 December 2008, day -2 of 2009.
        {"extended week date", "2009-W01-1", Fields{2009, U, -2}, Fields{2009, U, -2}},
        {"basic week date", "2009W011", Fields{2009, U, -2}, Fields{2009, U, -2}},
        {"week without weekday is Monday", "2009-W10", Fields{2009, U, 61}, Fields{2009, U, 61}},
        {"week 53 of a year of 52 weeks", "2010-W53-1", Fields{2010, U, 368}, fails},
        {"W without a week", "2009-W", Fields{2009, 1, 1}, fails},
        {"two-digit year and month", "09-01-01", Fields{2009, 1, 1}, Fields{2009, 1, 1}},
        {"two-digit year, one-digit month", "09-1-01", Fields{2009, 1, 1}, fails},
        {"two-digit year, basic month and day", "09-1231", Fields{2009, 12, 31}, Fields{2009, 12, 31}},
        {"two-digit year and ordinal day", "09-032", Fields{2009, U, 32}, Fields{2009, U, 32}},
        {"two-digit year and week", "09W011", Fields{2009, U, -2}, Fields{2009, U, -2}},
        {"six-digit date", "091231", Fields{2009, 12, 31}, fails},
        {"four digits after the year", "2009-1231", Fields{2009, 12, 31}, fails},
        {"implied century", "-09", Fields{2009, U, 1}, Fields{2009, U, 1}},
        {"implied century with month", "-09-12", Fields{2009, 12, 1}, Fields{2009, 12, 1}},
        {"implied century, basic year and month", "-0912", Fields{2009, 12, 1}, Fields{2009, 12, 1}},
        {"implied century, year, month and day", "-0912-05", Fields{2009, 12, 5}, Fields{2009, 12, 5}},
        {"implied decade", "-4", Fields{2024, U, 1}, fails},
        {"implied decade, hyphen and week", "-4-W10-2", Fields{2024, U, 65}, Fields{2024, U, 65}},
        {"implied decade and week", "-4W10", Fields{2024, U, 64}, Fields{2024, U, 64}},
        {"month and day, extended", "--12-25", Fields{U, 12, 25}, Fields{U, 12, 25}},
        {"month and day, basic", "--1225", Fields{U, 12, 25}, Fields{U, 12, 25}},
        {"month alone", "--12", Fields{U, 12, U}, Fields{U, 12, U}},
        {"day alone", "---25", Fields{U, U, 25}, Fields{U, U, 25}},
        {"ordinal day without year", "-032", Fields{U, U, 32}, Fields{U, U, 32}},
        {"ordinal day without year above 365", "-366", Fields{U, U, 366}, fails},
        // 2024 began on a Monday, so week w day d is day 7(w - 1) + d.
        {"week without year", "-W05-3", Fields{U, U, 31}, Fields{U, U, 31}},
        {"weekday of week 1 without year", "-W-3", Fields{U, U, 3}, Fields{U, U, 3}},
        {"weekday of week 1, two hyphens", "--W-3", Fields{U, U, 3}, fails},
        {"century alone takes the current year's place in it", "19", Fields{1924, 1, 1}, Fields{1924, 1, 1}},
        {"month 13", "2009-13-01", Fields{2009, 13, 1}, fails},
        {"29 February of a common year", "2009-02-29", Fields{2009, 2, 29}, fails},
        {"29 February of a leap year", "2008-02-29", Fields{2008, 2, 29}, Fields{2008, 2, 29}},
        {"nine digits", "200912310", fails, fails},
        {"five digits", "20091", fails, fails},
        {"an interval", "2009-12-31/2010-01-01", fails, fails},
        {"four hyphens", "----25", fails, fails},
        {"day read past every digit it may hold", "2009-12-3100000000001", fails, fails},
        {"empty", "", fails, fails},
        {"letters", "December", fails, fails},
        {"time alone", "T12:30", Fields{U, U, U, 12, 30}, Fields{U, U, U, 12, 30}},
        {"T without a digit", "T", fails, fails},
        {"leading blank", " 2009-12-31", Fields{2009, 12, 31}, fails},
    };
    for (const Case& c : cases) {
        formatter.setParsesStrictly(false);
        expectFields(formatter.dateComponentsFromString(c.text), c.lenient, c.name);
        formatter.setParsesStrictly(true);
        std::string name = std::string(c.name) + " (strict)";
        expectFields(formatter.dateComponentsFromString(c.text), c.strict, name.c_str());
    }
}

TEST_F(DateFormatterISO8601Test, ReadsTimesWithFractionsAndZonesAndSaysWhereTheReadEnded) {
    struct Case {
        const char* name;
        const char* text;
        bool strict;
        Date date;
        std::size_t length;  // of the range read
        std::optional<int> zoneOffset;
    };
    const Case cases[] = {
        {"half a second in UTC", "2009-12-31T23:59:59.5Z", false, utcDate(2009, 12, 31, 23, 59, 59, 500), 22, 0},
        {"minutes with a fraction", "2009-01-01T12:30.5", false, utcDate(2009, 1, 1, 12, 30, 30), 18, std::nullopt},
        {"comma as decimal sign", "2009-01-01T12:30,25", false, utcDate(2009, 1, 1, 12, 30, 15), 19, std::nullopt},
        {"basic zone", "2009-01-01T10:00:00+0530", false, utcDate(2009, 1, 1, 4, 30), 24, 19800},
        {"extended zone, lenient", "2009-01-01T10:00:00+05:30", false, utcDate(2009, 1, 1, 4, 30), 25, 19800},
        {"extended zone, strict", "2009-01-01T10:00:00+05:30", true, utcDate(2009, 1, 1, 4, 30), 25, 19800},
        {"hours-only zone", "2009-01-01T10:00-03", false, utcDate(2009, 1, 1, 13), 19, -10800},
        {"negative half-hour zone", "2009-01-01T10:00-00:30", false, utcDate(2009, 1, 1, 10, 30), 22, -1800},
        {"colon after the zone with no minutes", "2009-01-01T10:00+05:", false, utcDate(2009, 1, 1, 5), 19, 18000},
        {"blank before the zone, lenient", "2009-01-01T10:00 +01:00", false, utcDate(2009, 1, 1, 9), 23, 3600},
        {"blank before the zone, strict", "2009-01-01T10:00 +01:00", true, utcDate(2009, 1, 1, 10), 16, std::nullopt},
        {"zone after a date without time is not read", "2009-01-01+05:00", false, utcDate(2009, 1, 1), 10,
         std::nullopt},
        {"blank instead of T", "2009-01-01 10:15", false, utcDate(2009, 1, 1, 10, 15), 16, std::nullopt},
        {"strict time stops at a dot", "20090101T10.30", true, utcDate(2009, 1, 1, 10), 11, std::nullopt},
        {"week date with time", "2009-W01-1T06:00Z", false, utcDate(2008, 12, 29, 6), 17, 0},
    };
    for (const Case& c : cases) {
        formatter.setParsesStrictly(c.strict);
        std::optional<TimeZone> zone;
        Range range;
        const auto date = formatter.dateFromString(c.text, &zone, &range);
        ASSERT_TRUE(date.has_value()) << c.name;
        EXPECT_EQ(*date, c.date) << c.name;
        EXPECT_EQ(range, (Range{0, c.length})) << c.name;
        ASSERT_EQ(zone.has_value(), c.zoneOffset.has_value()) << c.name;
        if (zone) {
            EXPECT_EQ(zone->secondsFromGMT(*date), *c.zoneOffset) << c.name;
        }
    }

    double fraction = 0;
    Range range;
    auto components = formatter.dateComponentsFromString("  2009-12-31T23:59:59.5Z", nullptr, &range, &fraction);
    ASSERT_TRUE(components.has_value());
    EXPECT_EQ(components->second, 59);
    EXPECT_EQ(fraction, 0.5);
    EXPECT_EQ(range, (Range{2, 22}));
    EXPECT_EQ(components->timeZone, TimeZone::utc());

    std::optional<TimeZone> zone = TimeZone::utc();
    formatter.setParsesStrictly(true);
    EXPECT_FALSE(formatter.dateComponentsFromString("2009-13", &zone, &range).has_value());
    EXPECT_FALSE(zone.has_value());
    EXPECT_EQ(range, (Range{platform::kNotFound, 0}));
}

TEST_F(DateFormatterISO8601Test, ReadsWithTheSeparatorsItIsGivenAndInItsDefaultZone) {
    formatter.setTimeSeparator('.');
    auto components = formatter.dateComponentsFromString("2009-01-01T10.30.15");
    ASSERT_TRUE(components.has_value());
    EXPECT_EQ(components->minute, 30);
    EXPECT_EQ(components->second, 15);

    formatter.setTimeSeparator(':');
    formatter.setTimeZoneSeparator('h');
    EXPECT_EQ(formatter.dateFromString("2009-01-01T10:00+05h30"), utcDate(2009, 1, 1, 4, 30));

    formatter.setDefaultTimeZone(TimeZone::forSecondsFromGMT(-7200));
    EXPECT_EQ(formatter.dateFromString("2009-01-01T10:00"), utcDate(2009, 1, 1, 12));
    auto berlin = TimeZone::named("Europe/Berlin");
    ASSERT_TRUE(berlin.has_value());
    formatter.setDefaultTimeZone(berlin);
    EXPECT_EQ(formatter.dateFromString("2009-07-01T10:00"), utcDate(2009, 7, 1, 8)) << "summer time";
    EXPECT_EQ(formatter.dateFromString("2009-01-01T10:00"), utcDate(2009, 1, 1, 9)) << "winter time";

    // Forms without a year fall in the current year; values out of range roll over when lenient.
    formatter.setDefaultTimeZone(TimeZone::utc());
    EXPECT_EQ(formatter.dateFromString("--12-25"), utcDate(2024, 12, 25));
    EXPECT_EQ(formatter.dateFromString("2009-02-30"), utcDate(2009, 3, 2));
    EXPECT_EQ(formatter.dateFromString("2009-366"), utcDate(2010, 1, 1));
    EXPECT_EQ(formatter.dateFromString("2009-01-01T24:00"), utcDate(2009, 1, 2));

    // Years a date cannot hold give no date rather than a wrapped one.
    EXPECT_TRUE(formatter.dateComponentsFromString("9999-12-31").has_value());
    EXPECT_FALSE(formatter.dateFromString("9999-12-31").has_value());
    EXPECT_FALSE(formatter.dateFromString("0001-01-01").has_value());
    EXPECT_FALSE(formatter.dateFromString("2009-01-01T10:999999999").has_value());
}

TEST_F(DateFormatterISO8601Test, DatesNearTheEndsOfWhatADateHoldsTakeTheirZoneBeforeTheyAreChecked) {
    // A date holds 1677-09-21T00:12:43.145Z to 2262-04-11T23:47:16.854Z.
    // A lenient zone of 99 hours moves a date by more than a day: checked
    // before the zone, these wrapped round to the other end.
    auto plus99 = formatter.dateComponentsFromString("1677-09-22T00:12:44+99");
    ASSERT_TRUE(plus99.has_value());
    EXPECT_EQ(plus99->year, 1677);
    EXPECT_EQ(plus99->timeZone, TimeZone::forSecondsFromGMT(99 * 3600));
    EXPECT_EQ(formatter.dateFromString("1677-09-22T00:12:44+99"), std::nullopt);
    EXPECT_EQ(formatter.dateFromString("1677-09-23T00:00:00+99:99"), std::nullopt);
    EXPECT_EQ(formatter.dateFromString("2262-04-10T00:00:00-99"), std::nullopt);
    EXPECT_EQ(formatter.dateFromString("2262-04-11T23:00:00-01"), std::nullopt);
    // And the zone brings these back within reach.
    EXPECT_EQ(formatter.dateFromString("2262-04-13T00:00:00+99"), utcDate(2262, 4, 8, 21));
    EXPECT_EQ(formatter.dateFromString("1677-09-17T00:00:00-99"), utcDate(1677, 9, 21, 3));

    // The very ends, to the second.
    EXPECT_EQ(formatter.dateFromString("1677-09-21T00:12:44Z"), utcDate(1677, 9, 21, 0, 12, 44));
    EXPECT_EQ(formatter.dateFromString("1677-09-21T00:12:43Z"), std::nullopt);
    EXPECT_EQ(formatter.dateFromString("2262-04-11T23:47:16Z"), utcDate(2262, 4, 11, 23, 47, 16));
    EXPECT_EQ(formatter.dateFromString("2262-04-11T23:47:16.9Z"), std::nullopt);
    EXPECT_EQ(formatter.dateFromString("2262-04-11T23:47:17Z"), std::nullopt);

    // Years 1 and 9999 read as components but are no date, with any zone.
    for (const char* text :
         {"0001-01-01T00:00:00Z", "0001-01-01T00:00:00-99", "9999-12-31T23:59:59Z", "9999-12-31T23:59:59+99"}) {
        EXPECT_TRUE(formatter.dateComponentsFromString(text).has_value()) << text;
        EXPECT_EQ(formatter.dateFromString(text), std::nullopt) << text;
    }
}

TEST_F(DateFormatterISO8601Test, WeekDatesAgreeWithTheCLibraryAcrossYearEnds) {
    // strftime's %G-W%V-%u is the ISO week date, written independently of the formatter.
    formatter.setFormat(DateFormatterISO8601::Format::Week);
    for (Date day = utcDate(1995, 12, 20); day < utcDate(2031, 1, 10); day += std::chrono::hours(24)) {
        const std::time_t t = std::chrono::system_clock::to_time_t(day);
        std::tm fields{};
        gmtime_r(&t, &fields);
        // Only the days around a year end: the week date differs from the calendar there.
        if (fields.tm_yday > 7 && fields.tm_yday < 357) continue;
        char expected[32];
        std::strftime(expected, sizeof expected, "%G-W%V-%u", &fields);
        ASSERT_EQ(formatter.stringFromDate(day, TimeZone::utc()), expected);
        ASSERT_EQ(formatter.dateFromString(expected), day) << expected;
    }
    // Named cases: the previous year's 53rd week, week 1 of the next year.
    EXPECT_EQ(formatter.stringFromDate(utcDate(2010, 1, 1), TimeZone::utc()), "2009-W53-5");
    EXPECT_EQ(formatter.stringFromDate(utcDate(2005, 1, 1), TimeZone::utc()), "2004-W53-6");
    EXPECT_EQ(formatter.stringFromDate(utcDate(2011, 1, 1), TimeZone::utc()), "2010-W52-6");
    EXPECT_EQ(formatter.stringFromDate(utcDate(2008, 12, 29), TimeZone::utc()), "2009-W01-1");
    // The zone decides the day: 23:30 UTC on 31 December 2012 is 1 January 2013 an hour east.
    EXPECT_EQ(formatter.stringFromDate(utcDate(2012, 12, 31, 23, 30), TimeZone::forSecondsFromGMT(3600)), "2013-W01-2");
}

TEST_F(DateFormatterISO8601Test, WritesTheThreeStylesWithTimeAndZone) {
    const Date date = utcDate(2009, 12, 31, 13, 45, 30, 250);
    const TimeZone utc = TimeZone::utc();
    const TimeZone minusThreeThirty = TimeZone::forSecondsFromGMT(-(3 * 3600 + 1800));
    using Format = DateFormatterISO8601::Format;
    struct Case {
        const char* name;
        Format format;
        bool includeTime;
        bool milliseconds;
        char zoneSeparator;
        char timeSeparator;
        TimeZone zone;
        const char* expected;
    };
    const Case cases[] = {
        {"calendar", Format::Calendar, false, false, 0, ':', utc, "2009-12-31"},
        {"ordinal", Format::Ordinal, false, false, 0, ':', utc, "2009-365"},
        {"week", Format::Week, false, false, 0, ':', utc, "2009-W53-4"},
        {"calendar with time", Format::Calendar, true, false, 0, ':', utc, "2009-12-31T13:45:30Z"},
        {"ordinal with milliseconds", Format::Ordinal, true, true, 0, ':', utc, "2009-365T13:45:30.250Z"},
        {"week with time", Format::Week, true, false, 0, ':', utc, "2009-W53-4T13:45:30Z"},
        {"calendar, zone -03:30", Format::Calendar, true, false, 0, ':', minusThreeThirty, "2009-12-31T10:15:30-0330"},
        {"calendar, zone separator", Format::Calendar, true, false, ':', ':', minusThreeThirty,
         "2009-12-31T10:15:30-03:30"},
        {"week, zone separator", Format::Week, true, true, ':', ':', minusThreeThirty, "2009-W53-4T10:15:30.250-03:30"},
        {"half an hour west", Format::Calendar, true, false, 0, ':', TimeZone::forSecondsFromGMT(-1800),
         "2009-12-31T13:15:30-0030"},
        {"under a minute is Z", Format::Calendar, true, false, 0, ':', TimeZone::forSecondsFromGMT(59),
         "2009-12-31T13:46:29Z"},
        {"time separator", Format::Week, true, false, 0, '.', utc, "2009-W53-4T13.45.30Z"},
        {"ordinal day in the next year east", Format::Ordinal, false, false, 0, ':',
         TimeZone::forSecondsFromGMT(11 * 3600), "2010-001"},
    };
    for (const Case& c : cases) {
        formatter.setFormat(c.format);
        formatter.setIncludeTime(c.includeTime);
        formatter.setUseMillisecondPrecision(c.milliseconds);
        formatter.setTimeZoneSeparator(c.zoneSeparator);
        formatter.setTimeSeparator(c.timeSeparator);
        const std::string written = formatter.stringFromDate(date, c.zone);
        EXPECT_EQ(written, c.expected) << c.name;
        // What is written with the time reads back as the same instant (to the precision written).
        if (c.includeTime && c.timeSeparator == ':' && c.zone.secondsFromGMT(date) % 60 == 0) {
            const Date precision = c.milliseconds ? date : date - std::chrono::milliseconds(250);
            EXPECT_EQ(formatter.dateFromString(written), precision) << c.name;
        }
    }

    auto berlin = TimeZone::named("Europe/Berlin");
    ASSERT_TRUE(berlin.has_value());
    formatter.setFormat(Format::Calendar);
    formatter.setIncludeTime(true);
    formatter.setUseMillisecondPrecision(false);
    formatter.setTimeZoneSeparator(0);
    EXPECT_EQ(formatter.stringFromDate(utcDate(2009, 7, 1, 8), *berlin), "2009-07-01T10:00:00+0200");
    formatter.setDefaultTimeZone(berlin);
    EXPECT_EQ(formatter.stringForObjectValue(platform::Value(utcDate(2009, 1, 1, 8))), "2009-01-01T09:00:00+0100");
    EXPECT_FALSE(formatter.stringForObjectValue(platform::Value("2009")).has_value());

    formatter.setFormat(static_cast<Format>(3));
    EXPECT_THROW(formatter.stringFromDate(date, utc), std::logic_error);
    EXPECT_EQ(DateFormatterISO8601::replaceColonsInString("HH:mm:ss", '.'), "HH.mm.ss");
}
