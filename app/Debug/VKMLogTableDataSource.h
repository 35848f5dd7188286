#pragma once
// The debug screen's log table: the newest 200 lines of the app log's
// memory, newest first, read afresh for every question.

#include "platform/ui/views/TableView.h"

#include <memory>
#include <string>
#include <vector>

class VKMLogTableDataSource : public platform::ui::TableViewDataSource {
public:
    static constexpr const char* kCellIdentifier = "LogTablePrototypeCell";
    static constexpr int kRecentLines = 200;

    // Oldest first.
    static std::vector<std::string> recentLogLines();

    int numberOfRowsInSection(platform::ui::TableView& tableView, int section) override;
    std::shared_ptr<platform::ui::TableViewCell> cellForRowAtIndexPath(platform::ui::TableView& tableView,
                                                                       platform::ui::IndexPath indexPath) override;
};
