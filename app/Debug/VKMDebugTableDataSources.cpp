#include "app/Debug/VKMLogTableDataSource.h"
#include "app/Debug/VKMPerfCounterTableDataSource.h"

#include "engine/services/Logger.h"
#include "engine/services/PerformanceCounters.h"
#include "platform/ui/views/Label.h"
#include "platform/ui/views/TableViewCell.h"

#include <chrono>

using platform::ui::IndexPath;
using platform::ui::TableView;
using platform::ui::TableViewCell;

namespace {

std::shared_ptr<TableViewCell> reusableCell(TableView& tableView, const std::string& identifier) {
    if (auto cell = tableView.dequeueReusableCell(identifier)) return cell;
    return std::make_shared<TableViewCell>(platform::ui::TableViewCellStyle::defaultStyle, identifier);
}

// Fields between commas, empty ones kept.
std::vector<std::string> splitFields(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = line.find(',', start);
        fields.push_back(line.substr(start, comma - start));
        if (comma == std::string::npos) return fields;
        start = comma + 1;
    }
}

}  // namespace

std::vector<std::string> VKMLogTableDataSource::recentLogLines() {
    std::vector<std::string> lines;
    CLogger::Instance().GetRecentLines(kRecentLines, lines);
    return lines;
}

int VKMLogTableDataSource::numberOfRowsInSection(TableView& tableView, int section) {
    (void)tableView, (void)section;
    return static_cast<int>(recentLogLines().size());
}

std::shared_ptr<TableViewCell> VKMLogTableDataSource::cellForRowAtIndexPath(TableView& tableView, IndexPath indexPath) {
    auto cell = reusableCell(tableView, kCellIdentifier);
    const auto lines = recentLogLines();
    const auto row = static_cast<std::size_t>(indexPath.row);
    // The log may have moved on since the rows were counted.
    if (row < lines.size()) cell->textLabel()->setText(lines[lines.size() - 1 - row]);
    return cell;
}

bool VKMPerfCounterTableDataSource::catalogRefreshedWithin(double seconds) const {
    if (!mLastRefreshTimestamp) return false;
    const auto span =
        std::chrono::duration_cast<platform::Clock::Date::duration>(std::chrono::duration<double>(seconds));
    return *mLastRefreshTimestamp + span > platform::Clock::shared()->now();
}

std::vector<std::string> VKMPerfCounterTableDataSource::counterStrings() {
    if (catalogRefreshedWithin(kRefreshSeconds) && mCachedCounterStrings) return *mCachedCounterStrings;
    mCachedCounterStrings = QLPerformanceCounters::getCountersAsStrings();
    mLastRefreshTimestamp = platform::Clock::shared()->now();
    return mCachedCounterStrings.value_or(std::vector<std::string>{});
}

int VKMPerfCounterTableDataSource::numberOfRowsInSection(TableView& tableView, int section) {
    (void)tableView, (void)section;
    return static_cast<int>(counterStrings().size());
}

std::shared_ptr<TableViewCell> VKMPerfCounterTableDataSource::cellForRowAtIndexPath(TableView& tableView,
                                                                                    IndexPath indexPath) {
    auto cell = reusableCell(tableView, kCellIdentifier);
    const auto lines = counterStrings();
    const auto row = static_cast<std::size_t>(indexPath.row);
    if (row >= lines.size()) return cell;
    const auto fields = splitFields(lines[row]);
    if (fields.size() != 4) return cell;
    for (int tag = 1; tag <= 4; ++tag) {
        if (auto label = std::dynamic_pointer_cast<platform::ui::Label>(cell->viewWithTag(tag))) {
            label->setText(fields[static_cast<std::size_t>(tag - 1)]);
        }
    }
    return cell;
}
