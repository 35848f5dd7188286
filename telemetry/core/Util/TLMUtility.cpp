#include "telemetry/core/Util/TLMUtility.h"

#include "platform/dispatch/Clock.h"
#include "telemetry/TLMLogger.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>

namespace {

// The client's identity in a section of its own, so that tools can read the
// version from the binary: a record version, then name, version and build,
// each NUL-padded to 32 bytes.
struct TLMIdentityRecord {
    std::uint8_t recordVersion;
    char name[32];
    char version[32];
    char build[32];
};
static_assert(sizeof(TLMIdentityRecord) == 97);

__attribute__((section("tl_ios"), used)) const TLMIdentityRecord kIdentity = {1, "telemetry.ios", "1.0.0", "1"};

std::string fieldText(const char (&field)[32]) { return std::string(field, strnlen(field, sizeof field)); }

// The allowed classes are replaced as a whole, so a reader keeps a list
// that never changes under it.
std::mutex gAllowedClassesMutex;
std::shared_ptr<const TLMAllowedClasses> gAllowedClasses = std::make_shared<const TLMAllowedClasses>();

std::shared_ptr<const TLMAllowedClasses> allowedClasses() {
    std::lock_guard lock(gAllowedClassesMutex);
    return gAllowedClasses;
}

}  // namespace

std::string TLMUtility::sdkName() { return fieldText(kIdentity.name); }

std::string TLMUtility::sdkVersion() { return fieldText(kIdentity.version); }

std::optional<std::vector<std::uint8_t>> TLMUtility::archiveKeyedData(const TLMArchiveValue& object) {
    if (object.isNull()) return std::nullopt;
    std::string error;
    auto data = TLMKeyedArchiver::archivedData(object, &error);
    if (!data) TLMLogError("Telemetry", "Archiving NSData failed with error: %s", error.c_str());
    return data;
}

std::optional<TLMArchiveValue> TLMUtility::unarchiveKeyedData(const std::vector<std::uint8_t>& data,
                                                              TLMKeyedUnarchiver::Texts texts) {
    std::string error;
    auto value = TLMKeyedUnarchiver::unarchivedValue(data.data(), data.size(), *allowedClasses(), &error, texts);
    if (!value) TLMLogError("Telemetry", "Unarchiving NSData failed with error: %s", error.c_str());
    return value;
}

void TLMUtility::addAllowedClasses(const std::vector<TLMArchiveClass>& classes) {
    std::lock_guard lock(gAllowedClassesMutex);
    auto extended = std::make_shared<TLMAllowedClasses>(*gAllowedClasses);
    extended->add(classes);
    gAllowedClasses = std::move(extended);
}

void TLMUtility::forgetAllowedClassesForTests() {
    std::lock_guard lock(gAllowedClassesMutex);
    gAllowedClasses = std::make_shared<const TLMAllowedClasses>();
}

double TLMUtility::nowInMilliseconds() {
    const auto sinceEpoch = platform::Clock::shared()->now().time_since_epoch();
    return std::chrono::duration<double, std::milli>(sinceEpoch).count();
}

std::string TLMUtility::dateToISO8601(const Date& date) {
    using namespace std::chrono;
    const auto milliseconds = floor<std::chrono::milliseconds>(date);
    const auto day = floor<days>(milliseconds);
    const year_month_day calendarDay(day);
    const hh_mm_ss time(milliseconds - day);
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(calendarDay.year()),
                  static_cast<unsigned>(calendarDay.month()), static_cast<unsigned>(calendarDay.day()),
                  static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()), static_cast<int>(time.subseconds().count()));
    return text;
}

std::optional<TLMUtility::Date> TLMUtility::dateFromISO8601(const std::string& text) {
    using namespace std::chrono;
    // Positions of the separators in "yyyy-MM-ddTHH:mm:ss.SSSZ"; every other
    // character is a digit.
    constexpr char kPattern[] = "0000-00-00T00:00:00.000Z";
    if (text.size() != sizeof kPattern - 1) return std::nullopt;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (kPattern[i] == '0' ? !digit : text[i] != kPattern[i]) return std::nullopt;
    }
    auto number = [&text](std::size_t at, std::size_t count) {
        int value = 0;
        for (std::size_t i = at; i < at + count; ++i) value = value * 10 + (text[i] - '0');
        return value;
    };
    const year_month_day calendarDay{year(number(0, 4)), month(static_cast<unsigned>(number(5, 2))),
                                     day(static_cast<unsigned>(number(8, 2)))};
    const int hour = number(11, 2);
    const int minute = number(14, 2);
    const int second = number(17, 2);
    if (!calendarDay.ok() || hour > 23 || minute > 59 || second > 59) return std::nullopt;
    return sys_days(calendarDay) + hours(hour) + minutes(minute) + seconds(second) + milliseconds(number(20, 3));
}
