#pragma once
// Dates shown and read in a locale, in the process's time zone
// (platform::TimeZone::defaultTimeZone()). The ICU work of the app's date
// helpers, kept out of their headers.

#include <chrono>
#include <optional>
#include <string>

namespace VKMLocalDates {

using Date = std::chrono::system_clock::time_point;

// The locale's short date style and short time style.
std::string shortDateTime(Date date, const std::string& localeIdentifier);
// The locale's own pattern for a skeleton such as "yMMMMd"; nothing when
// the locale cannot give one.
std::optional<std::string> dateWithSkeleton(Date date, const std::string& localeIdentifier,
                                            const std::string& skeleton);
// Reads the whole text with a fixed pattern, strictly; nothing when it does not fit.
std::optional<Date> dateFromPattern(const std::string& text, const std::string& pattern,
                                    const std::string& localeIdentifier);

// Whole calendar days from `from` to `to` in the current locale's calendar
// and the process's zone (negative when `to` is earlier).
int wholeDaysBetween(Date from, Date to);

}  // namespace VKMLocalDates
