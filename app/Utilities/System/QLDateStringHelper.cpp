#include "app/Utilities/System/QLDateStringHelper.h"

#include "engine/services/VKMSoftAssert.h"
#include "app/Utilities/System/LocalDates.h"
#include "platform/dispatch/Clock.h"
#include "platform/foundation/Locale.h"

QLDateStringHelper QLDateStringHelper::dateStringHelperFromString(const std::string& dateString) {
    return QLDateStringHelper(dateString);
}

QLDateStringHelper::QLDateStringHelper(const std::string& dateString) { setDateTimeFromString(dateString); }

void QLDateStringHelper::setDateTimeFromString(const std::string& dateString) {
    const auto parsed = VKMLocalDates::dateFromPattern(dateString, "LLL dd. yyyy, HH:mm:ss", "en_US");
    mDateTime = parsed ? *parsed : platform::Clock::shared()->now();
}

std::string QLDateStringHelper::dateStringForLocaleIdentifier(const std::string& identifier) const {
    const bool named = !identifier.empty();
    VKMSoftAssert(named, "locale != nil", __FILE__, __LINE__, __func__);
    return dateStringForLocale(named ? platform::Locale(identifier) : platform::Locale::current());
}

std::string QLDateStringHelper::dateStringForLocale(const platform::Locale& locale) const {
    return VKMLocalDates::dateWithSkeleton(mDateTime, locale.identifier(), "yMMMMd").value_or("");
}
