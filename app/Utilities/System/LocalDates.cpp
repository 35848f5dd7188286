#include "app/Utilities/System/LocalDates.h"

#include "platform/foundation/Locale.h"
#include "platform/foundation/TimeZone.h"

#include <unicode/calendar.h>
#include <unicode/datefmt.h>
#include <unicode/dtptngen.h>
#include <unicode/parsepos.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include <cmath>
#include <memory>

namespace VKMLocalDates {

namespace {

UDate toUDate(Date date) {
    return static_cast<UDate>(std::chrono::duration_cast<std::chrono::milliseconds>(date.time_since_epoch()).count());
}

Date fromUDate(UDate milliseconds) {
    return Date(std::chrono::duration_cast<Date::duration>(
        std::chrono::milliseconds(static_cast<std::int64_t>(std::llround(milliseconds)))));
}

icu::UnicodeString unicode(const std::string& text) { return icu::UnicodeString::fromUTF8(text); }

std::string utf8(const icu::UnicodeString& text) {
    std::string out;
    text.toUTF8String(out);
    return out;
}

icu::TimeZone* processZone() {
    return icu::TimeZone::createTimeZone(unicode(platform::TimeZone::defaultTimeZone().identifier()));
}

// The formatter in the process's zone (a fixed offset as "GMT+hh:mm", which ICU reads too).
void useProcessZone(icu::DateFormat& format) { format.adoptTimeZone(processZone()); }

}  // namespace

std::string shortDateTime(Date date, const std::string& localeIdentifier) {
    std::unique_ptr<icu::DateFormat> format(icu::DateFormat::createDateTimeInstance(
        icu::DateFormat::kShort, icu::DateFormat::kShort, icu::Locale(localeIdentifier.c_str())));
    if (!format) return {};
    useProcessZone(*format);
    icu::UnicodeString out;
    return utf8(format->format(toUDate(date), out));
}

std::optional<std::string> dateWithSkeleton(Date date, const std::string& localeIdentifier,
                                            const std::string& skeleton) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Locale locale(localeIdentifier.c_str());
    std::unique_ptr<icu::DateTimePatternGenerator> generator(
        icu::DateTimePatternGenerator::createInstance(locale, status));
    if (U_FAILURE(status)) return std::nullopt;
    const icu::UnicodeString pattern = generator->getBestPattern(unicode(skeleton), status);
    if (U_FAILURE(status)) return std::nullopt;
    icu::SimpleDateFormat format(pattern, locale, status);
    if (U_FAILURE(status)) return std::nullopt;
    useProcessZone(format);
    icu::UnicodeString out;
    return utf8(format.format(toUDate(date), out));
}

std::optional<Date> dateFromPattern(const std::string& text, const std::string& pattern,
                                    const std::string& localeIdentifier) {
    UErrorCode status = U_ZERO_ERROR;
    icu::SimpleDateFormat format(unicode(pattern), icu::Locale(localeIdentifier.c_str()), status);
    if (U_FAILURE(status)) return std::nullopt;
    format.setLenient(false);
    useProcessZone(format);
    const icu::UnicodeString subject = unicode(text);
    icu::ParsePosition position(0);
    const UDate parsed = format.parse(subject, position);
    if (position.getErrorIndex() >= 0 || position.getIndex() != subject.length()) return std::nullopt;
    return fromUDate(parsed);
}

int wholeDaysBetween(Date from, Date to) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Calendar> calendar(icu::Calendar::createInstance(
        processZone(), icu::Locale(platform::Locale::current().identifier().c_str()), status));
    if (U_FAILURE(status)) return 0;
    calendar->setTime(toUDate(from), status);
    const std::int32_t days = calendar->fieldDifference(toUDate(to), UCAL_DATE, status);
    return U_SUCCESS(status) ? days : 0;
}

}  // namespace VKMLocalDates
