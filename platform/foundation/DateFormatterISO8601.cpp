#include "platform/foundation/DateFormatterISO8601.h"

#include "platform/dispatch/Clock.h"

#include <unicode/gregocal.h>
#include <unicode/locid.h>
#include <unicode/simpletz.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <type_traits>

namespace platform {

namespace {

using Date = DateFormatterISO8601::Date;
constexpr std::int64_t kUndefined = DateComponents::kUndefined;
constexpr std::int64_t kSecondsPerDay = 86400;

// ---- calendar arithmetic (proleptic Gregorian) ------------------------------

std::int64_t floorDiv(std::int64_t a, std::int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }
std::int64_t floorMod(std::int64_t a, std::int64_t b) { return a - floorDiv(a, b) * b; }

bool isLeapYear(std::int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }
std::int64_t yearLength(std::int64_t year) { return isLeapYear(year) ? 366 : 365; }

std::int64_t daysInMonth(std::int64_t year, std::int64_t month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

// Days from 1970-01-01 to the date; month 1 to 12, day 1 to 31.
std::int64_t daysFromCivil(std::int64_t year, std::int64_t month, std::int64_t day) {
    year -= month <= 2;
    const std::int64_t era = floorDiv(year, 400);
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

struct CivilDay {
    std::int64_t year, month, day;
};

CivilDay civilFromDays(std::int64_t days) {
    days += 719468;
    const std::int64_t era = floorDiv(days, 146097);
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t mp = (5 * dayOfYear + 2) / 153;
    const std::int64_t day = dayOfYear - (153 * mp + 2) / 5 + 1;
    const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
    return {yearOfEra + era * 400 + (month <= 2), month, day};
}

// The weekday of a day count, 0 = Monday (1970-01-01 was a Thursday).
std::int64_t weekdayIndex(std::int64_t days) { return floorMod(days + 3, 7); }

// The weekday of 1 January of the year, 0 = Monday.
std::int64_t firstWeekdayOfYear(std::int64_t year) { return weekdayIndex(daysFromCivil(year, 1, 1)); }

std::int64_t weeksInYear(std::int64_t year) {
    const std::int64_t j = firstWeekdayOfYear(year);
    return j == 3 || (j == 2 && isLeapYear(year)) ? 53 : 52;
}

// Seconds and nanoseconds of a date, floored.
std::int64_t secondsOf(Date date) { return std::chrono::floor<std::chrono::seconds>(date.time_since_epoch()).count(); }

std::int64_t yearInZone(Date date, const TimeZone& zone) {
    const std::int64_t local = secondsOf(date) + zone.secondsFromGMT(date);
    return civilFromDays(floorDiv(local, kSecondsPerDay)).year;
}

// ---- the reader ---------------------------------------------------------------

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

enum class DateKind { Calendar, Ordinal, Week };

// Numbers longer than this make the text unreadable rather than overflow.
constexpr int kMaximumDigits = 9;

class Reader {
public:
    Reader(std::string_view text, bool strict, char timeSeparator, char zoneSeparator, std::int64_t currentYear)
        : mText(text),
          mStrict(strict),
          mTimeSeparator(strict ? ':' : timeSeparator),
          mZoneSeparator(zoneSeparator),
          mCurrentYear(currentYear),
          mCentury(currentYear - floorMod(currentYear, 100)) {}

    // The components, or nothing when the text breaks the grammar.
    std::optional<DateComponents> read(Range& range, double& fraction);

private:
    char peek(std::size_t ahead = 0) const { return mPos + ahead < mText.size() ? mText[mPos + ahead] : '\0'; }
    bool digitAt(std::size_t ahead = 0) const { return isDigit(peek(ahead)); }
    void skip(std::size_t count = 1) { mPos = std::min(mText.size(), mPos + count); }

    // Every following digit.
    std::int64_t readAll(int& count);
    // The first character counts when it is a digit (else 0) and is passed
    // over in any case; a second digit is taken when there is one.
    std::int64_t readTwo();
    std::int64_t readUpToFour(int& count);
    // Digits with an optional "." or "," and a fraction.
    double readDecimal();

    bool readDate();
    bool readDateDigits(int hyphens, int count, std::int64_t segment);
    bool readTwoDigitYearForm(int hyphens, int count, std::int64_t segment);
    bool readFourDigitForm(int hyphens, std::int64_t segment);
    bool readWeekPart();
    void readTime();
    bool readZone();
    bool inRange() const;
    DateComponents components(double& fraction) const;

    std::string_view mText;
    std::size_t mPos = 0;
    const bool mStrict;
    const char mTimeSeparator;
    const char mZoneSeparator;
    const std::int64_t mCurrentYear;
    const std::int64_t mCentury;
    bool mTooLong = false;

    DateKind mKind = DateKind::Calendar;
    std::int64_t mYear = kUndefined, mMonth = kUndefined, mDay = kUndefined;
    std::int64_t mWeek = kUndefined, mWeekday = kUndefined;
    std::int64_t mHour = kUndefined;
    double mMinute = NAN, mSecond = NAN;
    std::optional<TimeZone> mZone;
};

std::int64_t Reader::readAll(int& count) {
    std::int64_t value = 0;
    count = 0;
    while (digitAt()) {
        if (count < kMaximumDigits) value = value * 10 + (peek() - '0');
        ++count;
        skip();
    }
    if (count > kMaximumDigits) mTooLong = true;
    return value;
}

std::int64_t Reader::readTwo() {
    std::int64_t value = digitAt() ? peek() - '0' : 0;
    skip();
    if (digitAt()) {
        value = value * 10 + (peek() - '0');
        skip();
    }
    return value;
}

std::int64_t Reader::readUpToFour(int& count) {
    std::int64_t value = 0;
    count = 0;
    while (count < 4 && digitAt()) {
        value = value * 10 + (peek() - '0');
        ++count;
        skip();
    }
    return value;
}

double Reader::readDecimal() {
    int count = 0;
    double value = static_cast<double>(readAll(count));
    if (peek() == '.' || peek() == ',') {
        skip();
        double weight = 0.1;
        while (digitAt()) {
            value += (peek() - '0') * weight;
            weight /= 10;
            skip();
        }
    }
    return value;
}

bool Reader::readWeekPart() {
    skip();  // the "W"
    if (!digitAt()) {
        if (mStrict) return false;
        mMonth = 1;
        mDay = 1;
        return true;
    }
    mKind = DateKind::Week;
    mWeek = readTwo();
    if (peek() == '-') skip();
    mWeekday = digitAt() ? readTwo() : 1;
    return true;
}

bool Reader::readDate() {
    int hyphens = 0;
    while (peek() == '-') {
        ++hyphens;
        skip();
    }
    int count = 0;
    const std::int64_t segment = readAll(count);
    if (count > 8) return false;
    return readDateDigits(hyphens, count, segment);
}

bool Reader::readDateDigits(int hyphens, int count, std::int64_t segment) {
    switch (count) {
        case 0:
            if (peek() == 'W' && peek(1) == '-' && digitAt(2) && (hyphens == 1 || (hyphens == 2 && !mStrict))) {
                skip(2);
                mKind = DateKind::Week;
                mWeek = 1;
                mWeekday = readTwo();
                return true;
            }
            if (hyphens == 1 && peek() == 'W') return readWeekPart();
            return false;
        case 1:
            // -YWww, the week of a year of the current decade.
            if (hyphens == 1 && (peek() == 'W' || (peek() == '-' && peek(1) == 'W'))) {
                mYear = mCurrentYear - floorMod(mCurrentYear, 10) + segment;
                if (peek() == '-') skip();
                return readWeekPart();
            }
            if (mStrict) return false;
            return readTwoDigitYearForm(hyphens, count, segment);
        case 2: return readTwoDigitYearForm(hyphens, count, segment);
        case 3:
            if (hyphens == 0 || (!mStrict && hyphens > 2)) return false;
            mKind = DateKind::Ordinal;
            mDay = segment;
            return !(mStrict && segment > 365);
        case 4: return readFourDigitForm(hyphens, segment);
        case 6:
            if (hyphens != 0 || mStrict) return false;
            mYear = mCentury + segment / 10000;
            mMonth = segment / 100 % 100;
            mDay = segment % 100;
            return true;
        case 7:
            if (hyphens != 0) return false;
            mYear = segment / 1000;
            mKind = DateKind::Ordinal;
            mDay = segment % 1000;
            return !(mStrict && mDay > yearLength(mYear));
        case 8:
            if (hyphens != 0) return false;
            mYear = segment / 10000;
            mMonth = segment / 100 % 100;
            mDay = segment % 100;
            return true;
        default: return false;
    }
}

// YY, YY-MM..., YYWww, -YY, -YY-MM, --MM, --MM-DD, ---DD (and one-digit
// fields when lenient).
bool Reader::readTwoDigitYearForm(int hyphens, int count, std::int64_t segment) {
    switch (hyphens) {
        case 0:
            if (peek() == 'W' || (peek() == '-' && peek(1) == 'W')) {
                mYear = mCentury + segment;
                if (peek() == '-') skip();
                return readWeekPart();
            }
            if (peek() == '-' && digitAt(1)) {
                mYear = mCentury + segment;
                skip();
                int digits = 0;
                const std::int64_t value = readUpToFour(digits);
                if (digits == 4) {
                    mMonth = value / 100;
                    mDay = value % 100;
                } else if (digits == 3) {
                    mKind = DateKind::Ordinal;
                    mDay = value;
                } else {
                    if (digits == 1 && mStrict) return false;
                    mMonth = value;
                    if (peek() == '-' && digitAt(1)) {
                        skip();
                        mDay = readTwo();
                    } else {
                        mDay = 1;
                    }
                }
                return true;
            }
            // A century alone.
            mYear = segment * 100 + floorMod(mCurrentYear, 100);
            mMonth = 1;
            mDay = 1;
            return true;
        case 1:
            mYear = count == 1 ? mCurrentYear - floorMod(mCurrentYear, 10) + segment : mCentury + segment;
            if (peek() == '-') {
                skip();
                mMonth = readTwo();
            }
            mDay = 1;
            return true;
        case 2:
            mMonth = segment;
            if (peek() == '-') {
                skip();
                mDay = readTwo();
            }
            return true;
        case 3: mDay = segment; return true;
        default: return false;
    }
}

bool Reader::readFourDigitForm(int hyphens, std::int64_t segment) {
    if (hyphens == 0) {
        mYear = segment;
        if (peek() == '-') skip();
        if (!digitAt()) {
            if (peek() == 'W') return readWeekPart();
            mMonth = 1;
            mDay = 1;
            return true;
        }
        int digits = 0;
        const std::int64_t value = readAll(digits);
        if (digits == 2) {
            mMonth = value;
            if (peek() == '-') skip();
            int dayDigits = 0;
            mDay = digitAt() ? readAll(dayDigits) : 1;
            return true;
        }
        if (digits == 3) {
            mKind = DateKind::Ordinal;
            mDay = value % 1000;
            return !(mStrict && mDay > yearLength(mYear));
        }
        if (digits == 4 && !mStrict) {
            mMonth = value / 100;
            mDay = value % 100;
            return true;
        }
        return false;
    }
    if (hyphens == 1) {
        // -YYMM: the year takes the current century as -YY does.
        mYear = mCentury + segment / 100;
        mMonth = segment % 100;
        if (peek() == '-') skip();
        int dayDigits = 0;
        mDay = digitAt() ? readAll(dayDigits) : 1;
        return true;
    }
    if (hyphens == 2) {
        mMonth = segment / 100;
        mDay = segment % 100;
        return true;
    }
    return false;
}

void Reader::readTime() {
    mHour = readTwo();
    if (mTimeSeparator == 0 || peek() != mTimeSeparator) return;
    skip();
    if (mTimeSeparator == ',' || mTimeSeparator == '.') {
        mMinute = static_cast<double>(readTwo());
        if (peek() == mTimeSeparator) {
            skip();
            mSecond = static_cast<double>(readTwo());
        }
        return;
    }
    mMinute = readDecimal();
    const double wholeMinute = std::floor(mMinute);
    if (mMinute - wholeMinute > DBL_EPSILON) {
        mSecond = (mMinute - wholeMinute) * 60;
        mMinute = wholeMinute;
    } else if (peek() == mTimeSeparator) {
        skip();
        mSecond = readDecimal();
    }
}

bool Reader::readZone() {
    if (peek() == 'Z') {
        skip();
        mZone = TimeZone::utc();
        return true;
    }
    if ((peek() != '+' && peek() != '-') || !digitAt(1)) return true;
    const int sign = peek() == '-' ? -1 : 1;
    skip();
    int hours = peek() - '0';
    skip();
    if (digitAt()) {
        hours = hours * 10 + (peek() - '0');
        skip();
    }
    // The separator set for writing, or the extended form's ":", which is
    // never taken for the end of the designator.
    if ((mZoneSeparator != 0 && peek() == mZoneSeparator) || (peek() == ':' && digitAt(1))) skip();
    int minutes = 0;
    if (digitAt()) {
        minutes = peek() - '0';
        skip();
        if (digitAt()) {
            minutes = minutes * 10 + (peek() - '0');
            skip();
        }
    }
    if (mStrict && (hours > 23 || minutes > 59)) return false;
    mZone = TimeZone::forSecondsFromGMT(sign * (hours * 3600 + minutes * 60));
    return true;
}

// Strict reading takes only values in their range.
bool Reader::inRange() const {
    auto defined = [](std::int64_t v) { return v != kUndefined; };
    const std::int64_t leapYear = 2000;  // for dates without a year: 29 February is possible
    const std::int64_t year = defined(mYear) ? mYear : leapYear;
    if (mKind == DateKind::Week) {
        if (mWeek < 1 || mWeek > (defined(mYear) ? weeksInYear(mYear) : 53)) return false;
        if (mWeekday < 1 || mWeekday > 7) return false;
    } else if (mKind == DateKind::Ordinal) {
        if (mDay < 1) return false;
    } else {
        if (defined(mMonth) && (mMonth < 1 || mMonth > 12)) return false;
        if (defined(mDay) && (mDay < 1 || mDay > (defined(mMonth) ? daysInMonth(year, mMonth) : 31))) return false;
    }
    if (defined(mHour)) {
        const bool midnightAtEnd =
            mHour == 24 && (std::isnan(mMinute) || mMinute == 0) && (std::isnan(mSecond) || mSecond == 0);
        if (mHour > 23 && !midnightAtEnd) return false;
        if (!std::isnan(mMinute) && mMinute >= 60) return false;
        if (!std::isnan(mSecond) && mSecond >= 61) return false;
    }
    return true;
}

std::optional<DateComponents> Reader::read(Range& range, double& fraction) {
    if (mStrict && isBlank(peek())) return std::nullopt;
    while (isBlank(peek())) skip();
    const std::size_t start = mPos;

    bool timeOnly = false;
    if (peek() == 'T') {
        if (!digitAt(1)) return std::nullopt;
        skip();
        timeOnly = true;
    } else if (!readDate()) {
        return std::nullopt;
    }
    if (!timeOnly && (peek() == 'T' || isBlank(peek()))) skip();
    if (digitAt()) {
        readTime();
        if (!mStrict && isBlank(peek())) skip();
        if (!readZone()) return std::nullopt;
    }
    if (mTooLong || (mStrict && !inRange())) return std::nullopt;

    range = Range{start, mPos - start};
    return components(fraction);
}

DateComponents Reader::components(double& fraction) const {
    DateComponents out;
    out.year = mYear;
    out.month = mMonth;
    out.day = mDay;
    out.hour = mHour;
    out.minute = std::isnan(mMinute) ? kUndefined : static_cast<std::int64_t>(mMinute);
    out.second = std::isnan(mSecond) ? kUndefined : static_cast<std::int64_t>(mSecond);
    out.timeZone = mZone;
    fraction = std::isnan(mSecond) ? 0 : mSecond - std::trunc(mSecond);
    if (mKind == DateKind::Week) {
        // The day of the year of the week's day; a week without a year
        // counts in the current one.
        const std::int64_t year = mYear != kUndefined ? mYear : mCurrentYear;
        const std::int64_t j = firstWeekdayOfYear(year);
        out.month = kUndefined;
        out.day = mWeekday + 7 * mWeek - j + (j > 3 ? 7 : 0) - 7;
    } else if (mKind == DateKind::Ordinal) {
        out.month = kUndefined;
    }
    return out;
}

// The whole seconds of a date from its fields, on the wall clock. The
// reader's fields are at most nine digits long, so this stays far inside 64
// bits (about 3e15 seconds at most), also for years no Date holds.
std::int64_t localSecondsOf(const DateComponents& c, std::int64_t currentYear) {
    auto orLowest = [](std::int64_t v, std::int64_t lowest) { return v == kUndefined ? lowest : v; };
    const std::int64_t months = orLowest(c.year, currentYear) * 12 + (orLowest(c.month, 1) - 1);
    const std::int64_t days =
        daysFromCivil(floorDiv(months, 12), floorMod(months, 12) + 1, 1) + (orLowest(c.day, 1) - 1);
    return days * kSecondsPerDay + orLowest(c.hour, 0) * 3600 + orLowest(c.minute, 0) * 60 + orLowest(c.second, 0);
}

// The Date of whole UTC seconds plus a fraction; nothing when a Date cannot
// hold it (it counts nanoseconds in 64 bits: about 1678 to 2261). Checked
// after the zone is applied, since a lenient zone moves a date by up to
// four days.
std::optional<Date> dateOfUTCSeconds(std::int64_t seconds, double fraction) {
    using std::chrono::nanoseconds;
    static_assert(std::is_same_v<Date::duration, nanoseconds>, "a Date counts nanoseconds");
    std::int64_t count = 0;
    if (__builtin_mul_overflow(seconds, std::int64_t{1000000000}, &count) ||
        __builtin_add_overflow(count, std::llround(fraction * 1e9), &count)) {
        return std::nullopt;
    }
    return Date(nanoseconds(count));
}

// "HH", "mm", "ss" and "SSS" of the date on its wall clock.
struct WallClock {
    std::int64_t days;
    int hour, minute, second, millisecond;
};

WallClock wallClockOf(Date date, int offset) {
    const auto ms = std::chrono::floor<std::chrono::milliseconds>(date.time_since_epoch()).count();
    const std::int64_t local = floorDiv(ms, 1000) + offset;
    const std::int64_t secondOfDay = floorMod(local, kSecondsPerDay);
    return {floorDiv(local, kSecondsPerDay), static_cast<int>(secondOfDay / 3600),
            static_cast<int>(secondOfDay / 60 % 60), static_cast<int>(secondOfDay % 60),
            static_cast<int>(floorMod(ms, 1000))};
}

std::string fromUnicode(const icu::UnicodeString& text) {
    std::string out;
    text.toUTF8String(out);
    return out;
}

std::unique_ptr<icu::TimeZone> icuZone(const TimeZone& zone, Date date) {
    // A database zone by its name; a fixed one (or one ICU lacks) by its offset at the date.
    std::unique_ptr<icu::TimeZone> named(
        icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(zone.identifier())));
    icu::UnicodeString id;
    if (named && named->getID(id) != icu::UnicodeString(UCAL_UNKNOWN_ZONE_ID)) {
        const auto ms = std::chrono::floor<std::chrono::milliseconds>(date.time_since_epoch()).count();
        std::int32_t raw = 0;
        std::int32_t dst = 0;
        UErrorCode status = U_ZERO_ERROR;
        named->getOffset(static_cast<UDate>(ms), false, raw, dst, status);
        if (U_SUCCESS(status) && raw + dst == zone.secondsFromGMT(date) * 1000) return named;
    }
    return std::make_unique<icu::SimpleTimeZone>(zone.secondsFromGMT(date) * 1000,
                                                 icu::UnicodeString::fromUTF8(zone.identifier()));
}

}  // namespace

// ---- the formatter ------------------------------------------------------------

struct DateFormatterISO8601::PatternFormatter {
    std::unique_ptr<icu::SimpleDateFormat> format;
};

DateFormatterISO8601::DateFormatterISO8601() = default;
DateFormatterISO8601::~DateFormatterISO8601() = default;

std::optional<DateComponents> DateFormatterISO8601::dateComponentsFromString(std::string_view text,
                                                                             std::optional<TimeZone>* timeZone,
                                                                             Range* range,
                                                                             double* fractionOfSecond) const {
    if (text.find('/') != std::string_view::npos) return std::nullopt;
    const TimeZone zone = mDefaultTimeZone ? *mDefaultTimeZone : TimeZone::defaultTimeZone();
    const std::int64_t currentYear = yearInZone(Clock::shared()->now(), zone);
    Reader reader(text, mParsesStrictly, mTimeSeparator, mTimeZoneSeparator, currentYear);
    Range read;
    double fraction = 0;
    auto components = reader.read(read, fraction);
    if (!components) {
        if (timeZone) timeZone->reset();
        if (range) *range = Range{kNotFound, 0};
        return std::nullopt;
    }
    if (timeZone) *timeZone = components->timeZone;
    if (range) *range = read;
    if (fractionOfSecond && fraction > 0) *fractionOfSecond = fraction;
    return components;
}

std::optional<DateFormatterISO8601::Date> DateFormatterISO8601::dateFromString(std::string_view text,
                                                                               std::optional<TimeZone>* timeZone,
                                                                               Range* range) const {
    std::optional<TimeZone> parsedZone;
    double fraction = 0;
    auto components = dateComponentsFromString(text, &parsedZone, range, &fraction);
    if (timeZone) *timeZone = parsedZone;
    if (!components) return std::nullopt;

    const TimeZone zone =
        parsedZone ? *parsedZone : (mDefaultTimeZone ? *mDefaultTimeZone : TimeZone::defaultTimeZone());
    const std::int64_t local = localSecondsOf(*components, yearInZone(Clock::shared()->now(), zone));
    // No zone moves a date by a week, so one further out than that is no
    // Date, and the zone database is not asked about it.
    constexpr std::int64_t kWeek = 7 * kSecondsPerDay;
    constexpr std::int64_t kLimit = std::numeric_limits<std::int64_t>::max() / 1000000000 + kWeek;
    if (local > kLimit || local < -kLimit) return std::nullopt;
    return dateOfUTCSeconds(local - zone.secondsFromGMTForLocalTime(local), fraction);
}

bool DateFormatterISO8601::getObjectValue(Value* value, std::string_view text) const {
    auto date = dateFromString(text);
    if (date && value) *value = Value(*date);
    return date.has_value();
}

std::string DateFormatterISO8601::stringFromDate(Date date) {
    return stringFromDate(date, mDefaultTimeZone ? *mDefaultTimeZone : TimeZone::defaultTimeZone());
}

std::string DateFormatterISO8601::stringFromDate(Date date, const TimeZone& timeZone) {
    switch (mFormat) {
        case Format::Calendar: return stringFromDate(date, "yyyy-MM-dd", timeZone);
        case Format::Ordinal: return stringFromDate(date, "yyyy-DDD", timeZone);
        case Format::Week: return weekDateStringForDate(date, timeZone);
    }
    char message[160];
    std::snprintf(message, sizeof message, "self.format was %u, not calendar (%u), week (%u), or ordinal (%u)",
                  static_cast<unsigned>(mFormat), 0u, 2u, 1u);
    throw std::logic_error(message);
}

std::string DateFormatterISO8601::timePattern() const {
    return replaceColonsInString(mUseMillisecondPrecision ? "HH:mm:ss.SSS" : "HH:mm:ss",
                                 mTimeSeparator != 0 ? mTimeSeparator : ':');
}

std::string DateFormatterISO8601::zoneDesignator(int offset) const {
    if (offset >= -59 && offset <= 59) return "Z";
    const int magnitude = offset < 0 ? -offset : offset;
    char text[16];
    if (mTimeZoneSeparator != 0) {
        std::snprintf(text, sizeof text, "%c%.2d%c%.2d", offset < 0 ? '-' : '+', magnitude / 3600, mTimeZoneSeparator,
                      magnitude / 60 % 60);
    } else {
        std::snprintf(text, sizeof text, "%c%.2d%.2d", offset < 0 ? '-' : '+', magnitude / 3600, magnitude / 60 % 60);
    }
    return text;
}

std::string DateFormatterISO8601::stringFromDate(Date date, std::string_view formatString, const TimeZone& timeZone) {
    std::string pattern(formatString);
    if (mIncludeTime) pattern += "'T'" + timePattern();
    if (pattern != mLastUsedFormatString) {
        mUnparsingFormatter.reset();
        mLastUsedFormatString = pattern;
    }
    if (!mUnparsingFormatter) {
        UErrorCode status = U_ZERO_ERROR;
        auto format = std::make_unique<icu::SimpleDateFormat>(icu::UnicodeString::fromUTF8(pattern),
                                                              icu::Locale("en_US_POSIX"), status);
        if (U_FAILURE(status)) return {};
        // Proleptic Gregorian, as the reader counts.
        auto calendar = std::make_unique<icu::GregorianCalendar>(icu::Locale("en_US_POSIX"), status);
        calendar->setGregorianChange(U_DATE_MIN, status);
        calendar->setFirstDayOfWeek(UCAL_MONDAY);
        calendar->setMinimalDaysInFirstWeek(4);
        format->adoptCalendar(calendar.release());
        mUnparsingFormatter = std::make_unique<PatternFormatter>();
        mUnparsingFormatter->format = std::move(format);
    }
    auto& format = *mUnparsingFormatter->format;
    format.adoptTimeZone(icuZone(timeZone, date).release());
    const auto ms = std::chrono::floor<std::chrono::milliseconds>(date.time_since_epoch()).count();
    icu::UnicodeString text;
    format.format(static_cast<UDate>(ms), text);
    std::string out = fromUnicode(text);
    if (mIncludeTime) out += zoneDesignator(timeZone.secondsFromGMT(date));
    return out;
}

std::string DateFormatterISO8601::weekDateStringForDate(Date date, const TimeZone& timeZone) const {
    const int offset = timeZone.secondsFromGMT(date);
    const WallClock wall = wallClockOf(date, offset);
    const CivilDay civil = civilFromDays(wall.days);
    std::int64_t year = civil.year;
    const std::int64_t dayOfYear = wall.days - daysFromCivil(year, 1, 1) + 1;
    const std::int64_t weekday = weekdayIndex(wall.days);  // 0 = Monday
    const std::int64_t j = firstWeekdayOfYear(year);

    std::int64_t week;
    if (dayOfYear <= 7 - j && j > 3) {
        // The last week of the year before.
        week = j == 4 || (j == 5 && isLeapYear(year - 1)) ? 53 : 52;
        --year;
    } else if (yearLength(year) - dayOfYear < 3 - weekday) {
        week = 1;
        ++year;
    } else {
        week = (dayOfYear + (6 - weekday) + j) / 7 - (j > 3 ? 1 : 0);
    }
    char text[64];
    std::snprintf(text, sizeof text, "%04lld-W%02lld-%lld", static_cast<long long>(year), static_cast<long long>(week),
                  static_cast<long long>(weekday + 1));
    std::string out = text;
    if (mIncludeTime) {
        const char separator = mTimeSeparator != 0 ? mTimeSeparator : ':';
        if (mUseMillisecondPrecision) {
            std::snprintf(text, sizeof text, "T%02d%c%02d%c%02d.%03d", wall.hour, separator, wall.minute, separator,
                          wall.second, wall.millisecond);
        } else {
            std::snprintf(text, sizeof text, "T%02d%c%02d%c%02d", wall.hour, separator, wall.minute, separator,
                          wall.second);
        }
        out += text;
        out += zoneDesignator(offset);
    }
    return out;
}

std::optional<std::string> DateFormatterISO8601::stringForObjectValue(const Value& value) {
    if (const auto* date = value.asDate()) return stringFromDate(*date);
    std::fprintf(stderr, "%s: Can only format NSDate objects, not objects like %s\n",
                 "-[DateFormatterISO8601 stringForObjectValue:]", value.toJson().c_str());
    return std::nullopt;
}

std::string DateFormatterISO8601::replaceColonsInString(std::string text, char separator) {
    if (separator == ':') return text;
    for (char& c : text) {
        if (c == ':') c = separator;
    }
    return text;
}

}  // namespace platform
