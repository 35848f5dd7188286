#include "telemetry/Internals/Util/TLMTicketCache.h"

#include "telemetry/core/Util/TLMSharedInstance.h"

namespace {

TLMSharedInstance<TLMTicketCache>& sharedHolder() {
    static auto* holder = new TLMSharedInstance<TLMTicketCache>();
    return *holder;
}

}  // namespace

TLMTicketCache& TLMTicketCache::sharedInstance() {
    return sharedHolder().get([] { return new TLMTicketCache(); });
}

void TLMTicketCache::resetSharedInstanceForTests() { sharedHolder().reset(); }

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
