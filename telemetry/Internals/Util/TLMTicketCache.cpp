#include "telemetry/Internals/Util/TLMTicketCache.h"

#include "telemetry/core/Util/TLMSharedInstance.h"

TLMTicketCache& TLMTicketCache::sharedInstance() {
    return sharedInstanceHolder<TLMTicketCache>().get([] { return new TLMTicketCache(); });
}

void TLMTicketCache::resetSharedInstanceForTests() { sharedInstanceHolder<TLMTicketCache>().reset(); }

std::optional<std::string> TLMTicketCache::ticketFor(const std::string& key) const {
    std::lock_guard lock(mMutex);
    const auto found = mTickets.find(key);
    if (found == mTickets.end()) return std::nullopt;
    return found->second;
}

void TLMTicketCache::setTicket(std::string ticket, const std::string& key) {
    std::lock_guard lock(mMutex);
    mTickets.insert_or_assign(key, std::move(ticket));
}
