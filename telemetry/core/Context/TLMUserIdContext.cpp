#include "telemetry/core/Context/TLMUserIdContext.h"

#include "platform/dispatch/Clock.h"
#include "telemetry/core/Util/TLMSharedInstance.h"

namespace {

const char* const kCustomPrefix = "c";


}  // namespace

TLMUserIdContext& TLMUserIdContext::sharedInstance() {
    return sharedInstanceHolder<TLMUserIdContext>().get([] { return new TLMUserIdContext(); });
}

void TLMUserIdContext::resetSharedInstanceForTests() { sharedInstanceHolder<TLMUserIdContext>().reset(); }

TLMUserIdContext::TLMUserIdContext() : mHistory(kHistoryKey, kHistoryLimit) {}

std::optional<std::string> TLMUserIdContext::userId() const {
    const auto current = mHistory.current();
    return current ? current->userId() : std::nullopt;
}

void TLMUserIdContext::setUserId(std::optional<std::string> userId) {
    // An id from a host text may not be UTF-8; kept so, no log carrying it
    // could be written as JSON.
    mHistory.setCurrent(std::make_shared<TLMUserIdHistoryInfo>(platform::Clock::shared()->now(),
                                                               TLMUserIdHistoryInfo::validUtf8(std::move(userId))));
}

std::optional<std::string> TLMUserIdContext::userIdAt(Date date) const {
    const auto entry = mHistory.entryAt(date, false);
    return entry ? entry->userId() : std::nullopt;
}

void TLMUserIdContext::clearUserIdHistory() { mHistory.clear(true); }

bool TLMUserIdContext::isUserIdValidForUnifiedCollector(const std::optional<std::string>& userId) {
    if (!userId) return true;
    if (userId->empty()) return false;
    const auto colon = userId->find(':');
    if (colon == std::string::npos) return true;
    return userId->compare(0, colon, kCustomPrefix) == 0 && colon + 1 < userId->size();
}

std::optional<std::string> TLMUserIdContext::prefixedUserIdFromUserId(const std::optional<std::string>& userId) {
    if (!userId) return std::nullopt;
    if (userId->find(':') != std::string::npos) return userId;
    return std::string(kCustomPrefix) + ":" + *userId;
}
