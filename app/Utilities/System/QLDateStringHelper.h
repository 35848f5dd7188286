#pragma once
// A date read from the fixed English form "Dec 05. 2026, 14:30:00" (local
// time) and shown in a locale's own way. A text that does not read gives
// the present instead.

#include <chrono>
#include <string>

namespace platform {
class Locale;
}

class QLDateStringHelper {
public:
    using Date = std::chrono::system_clock::time_point;

    static QLDateStringHelper dateStringHelperFromString(const std::string& dateString);
    explicit QLDateStringHelper(const std::string& dateString);

    Date dateTime() const { return mDateTime; }
    void setDateTime(Date dateTime) { mDateTime = dateTime; }
    // The present (the platform clock's date) when the text does not read.
    void setDateTimeFromString(const std::string& dateString);

    // The date part with year, full month name and day in the locale's
    // order. An empty identifier names no locale: a soft assertion, then
    // the current locale.
    std::string dateStringForLocaleIdentifier(const std::string& identifier) const;
    std::string dateStringForLocale(const platform::Locale& locale) const;

    // Later than `date`; the same moment is not newer.
    bool isNewerThan(Date date) const { return mDateTime > date; }

private:
    Date mDateTime;
};
