#pragma once
// The tickets that go with unified-collector requests, by ticket key: the
// analytics transmission targets store them, the unified-collector
// ingestion reads them for its "Tickets" header. Thread-safe: the two sides
// run on different threads.

#include <map>
#include <mutex>
#include <optional>
#include <string>

class TLMTicketCache {
public:
    static TLMTicketCache& sharedInstance();
    // Lets the shared instance go; the next use makes a new one without
    // tickets, as a new process has. For tests that run one after another
    // in a process.
    static void resetSharedInstanceForTests();

    // The ticket stored for the key, or none.
    std::optional<std::string> ticketFor(const std::string& key) const;
    // Stores the ticket for the key, replacing an earlier one.
    void setTicket(std::string ticket, const std::string& key);

private:
    TLMTicketCache() = default;

    mutable std::mutex mMutex;
    std::map<std::string, std::string> mTickets;
};
