#include "telemetry/core/Context/TLMSessionContext.h"

#include "platform/dispatch/Clock.h"
#include "telemetry/TLMLogger.h"
#include "telemetry/core/Util/TLMSharedInstance.h"

TLMSessionContext& TLMSessionContext::sharedInstance() {
    return sharedInstanceHolder<TLMSessionContext>().get([] { return new TLMSessionContext(); });
}

void TLMSessionContext::resetSharedInstanceForTests() { sharedInstanceHolder<TLMSessionContext>().reset(); }

TLMSessionContext::TLMSessionContext() : mHistory(kHistoryKey, kHistoryLimit) {}

std::optional<std::string> TLMSessionContext::sessionId() const {
    const auto current = mHistory.current();
    return current ? current->sessionId() : std::nullopt;
}

void TLMSessionContext::setSessionId(std::optional<std::string> sessionId) {
    mHistory.setCurrent(
        std::make_shared<TLMSessionHistoryInfo>(platform::Clock::shared()->now(), std::move(sessionId)));
}

std::optional<std::string> TLMSessionContext::sessionIdAt(Date date) const {
    const auto entry = mHistory.entryAt(date, false);
    return entry ? entry->sessionId() : std::nullopt;
}

void TLMSessionContext::clearSessionHistoryAndKeepCurrentSession(bool keepCurrentSession) {
    mHistory.clear(keepCurrentSession);
    TLMLogVerbose("Telemetry", "Cleared old sessions.");
}
