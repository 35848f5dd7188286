#pragma once
// The debug screen's performance table: the counters as CSV lines (header
// first), fetched at most every five seconds. A line of four fields fills
// the prototype cell's labels tagged 1 to 4; other lines leave them as they
// were.

#include "platform/dispatch/Clock.h"
#include "platform/ui/views/TableView.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

class VKMPerfCounterTableDataSource : public platform::ui::TableViewDataSource {
public:
    static constexpr const char* kCellIdentifier = "PerfCounterTablePrototypeCell";
    static constexpr double kRefreshSeconds = 5;

    // The cached lines while they are younger than five seconds, else the
    // counters fetched now (none when they cannot be had).
    std::vector<std::string> counterStrings();
    // Whether the last fetch was less than `seconds` ago on the platform clock.
    bool catalogRefreshedWithin(double seconds) const;

    const std::optional<std::vector<std::string>>& cachedCounterStrings() const { return mCachedCounterStrings; }
    const std::optional<platform::Clock::Date>& lastRefreshTimestamp() const { return mLastRefreshTimestamp; }

    int numberOfRowsInSection(platform::ui::TableView& tableView, int section) override;
    std::shared_ptr<platform::ui::TableViewCell> cellForRowAtIndexPath(platform::ui::TableView& tableView,
                                                                       platform::ui::IndexPath indexPath) override;

private:
    std::optional<std::vector<std::string>> mCachedCounterStrings;
    std::optional<platform::Clock::Date> mLastRefreshTimestamp;
};
