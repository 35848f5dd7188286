#pragma once
// A table view: a scroll view of rows in sections, each row a cell that the
// data source gives for its index path. Only the rows within the bounds
// have cells; a row that scrolls out gives its cell back to a pool by reuse
// identifier, and dequeueReusableCell hands it out again (after
// prepareForReuse) before a new one is made from what was registered for
// the identifier: a cell class, or a factory that builds a prototype with
// its tagged views.
//
// Geometry: the heights (the delegate's, else rowHeight) are asked for
// every row when the data is loaded, and again when a layout finds the
// width changed (a row's text may wrap to it), so the content size is exact
// and scrolling anywhere costs a binary search. Each section may have a header
// (the delegate's view, else a plain one showing the data source's title)
// made when the data is loaded; headers stay pinned at the top of the
// bounds while their section runs under it. A footer view ends the content.
//
// Cells are laid out in the layout pass, which scrolling asks for: after
// setContentOffset outside a window, call layoutIfNeeded() to see them.
// A tap on a row selects it through the touch system (controls in a cell
// keep the tap to themselves), asking the delegate first; selecting from
// code tells the delegate nothing, as on the platform.
//
// Main thread only.

#include "platform/ui/views/ScrollView.h"
#include "platform/ui/views/TableViewCell.h"

#include <compare>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform::ui {

class TableView;
class TapGestureRecognizer;

struct IndexPath {
    int section = 0;
    int row = 0;
    friend auto operator<=>(const IndexPath&, const IndexPath&) = default;
};

enum class TableViewStyle { plain, grouped };
// Every animation other than none fades the row in.
enum class TableViewRowAnimation { fade, right, left, top, bottom, none, middle, automatic };
// Where scrollToRow puts the row; none scrolls the least that shows it.
enum class TableViewScrollPosition { none, top, middle, bottom };

class TableViewDataSource {
public:
    virtual ~TableViewDataSource() = default;
    virtual int numberOfSectionsInTableView(TableView& tableView) {
        (void)tableView;
        return 1;
    }
    virtual int numberOfRowsInSection(TableView& tableView, int section) = 0;
    // A null cell is shown as an empty one.
    virtual std::shared_ptr<TableViewCell> cellForRowAtIndexPath(TableView& tableView, IndexPath indexPath) = 0;
    // Empty: no title.
    virtual std::string titleForHeaderInSection(TableView& tableView, int section) {
        (void)tableView;
        (void)section;
        return {};
    }
};

// Heights of kTableViewAutomaticDimension leave the choice to the table.
inline constexpr double kTableViewAutomaticDimension = -1;

class TableViewDelegate : public ScrollViewDelegate {
public:
    virtual double heightForRowAtIndexPath(TableView& tableView, IndexPath indexPath) {
        (void)tableView;
        (void)indexPath;
        return kTableViewAutomaticDimension;
    }
    virtual double heightForHeaderInSection(TableView& tableView, int section) {
        (void)tableView;
        (void)section;
        return kTableViewAutomaticDimension;
    }
    // None: a plain header with the data source's title, if any.
    virtual std::shared_ptr<View> viewForHeaderInSection(TableView& tableView, int section) {
        (void)tableView;
        (void)section;
        return nullptr;
    }
    // The row to select instead, or none to select nothing.
    virtual std::optional<IndexPath> willSelectRowAtIndexPath(TableView& tableView, IndexPath indexPath) {
        (void)tableView;
        return indexPath;
    }
    virtual void didSelectRowAtIndexPath(TableView& tableView, IndexPath indexPath) {
        (void)tableView;
        (void)indexPath;
    }
    virtual void didDeselectRowAtIndexPath(TableView& tableView, IndexPath indexPath) {
        (void)tableView;
        (void)indexPath;
    }
};

class TableView : public ScrollView {
public:
    static constexpr double kDefaultRowHeight = 44;
    // A header's height when neither the delegate nor sectionHeaderHeight
    // gives one and the section has a title or a header view.
    static constexpr double kDefaultHeaderHeight = 28;
    static constexpr double kRowAnimationDuration = 0.3;

    using CellFactory = std::function<std::shared_ptr<TableViewCell>(const std::string& reuseIdentifier)>;

    static std::shared_ptr<TableView> make(const Rect& frame = {}, TableViewStyle style = TableViewStyle::plain);
    explicit TableView(const Rect& frame = {}, TableViewStyle style = TableViewStyle::plain);
    ~TableView() override;

    TableViewStyle style() const { return mStyle; }

    // Held weakly, as on the platform. The table is also the delegate's
    // scroll view delegate.
    std::shared_ptr<TableViewDataSource> dataSource() const { return mDataSource.lock(); }
    void setDataSource(std::weak_ptr<TableViewDataSource> dataSource);
    std::shared_ptr<TableViewDelegate> tableDelegate() const { return mTableDelegate.lock(); }
    void setTableDelegate(const std::shared_ptr<TableViewDelegate>& delegate);

    // --- cells ---------------------------------------------------------
    // What makes a cell for the identifier; replaces an earlier one.
    void registerCell(const std::string& reuseIdentifier, CellFactory factory);
    template <typename Cell>
    void registerCellClass(const std::string& reuseIdentifier) {
        registerCell(reuseIdentifier, [](const std::string& identifier) {
            return std::make_shared<Cell>(TableViewCellStyle::defaultStyle, identifier);
        });
    }
    // A free cell of the identifier (prepared for reuse), else a new one
    // from what is registered for it, else null.
    std::shared_ptr<TableViewCell> dequeueReusableCell(const std::string& reuseIdentifier);

    // --- data ----------------------------------------------------------
    // Asks the data source and delegate afresh; the selection is cleared.
    void reloadData();
    // Asks again for those rows' heights and cells; a row shown now gets
    // its new cell at once (faded in unless `animation` is none). Rows
    // outside the data are passed over; a reloaded row is deselected.
    void reloadRows(const std::vector<IndexPath>& indexPaths,
                    TableViewRowAnimation animation = TableViewRowAnimation::automatic);
    int numberOfSections() const { return static_cast<int>(mSections.size()); }
    // 0 for a section outside the data.
    int numberOfRowsInSection(int section) const;

    // --- geometry ------------------------------------------------------
    // 44 by default; a height of the delegate's overrides it.
    double rowHeight() const { return mRowHeight; }
    void setRowHeight(double height);
    double sectionHeaderHeight() const { return mSectionHeaderHeight; }
    void setSectionHeaderHeight(double height);
    // Space above each section's header (0 by default).
    double sectionHeaderTopPadding() const { return mSectionHeaderTopPadding; }
    void setSectionHeaderTopPadding(double padding);
    // Laid out after the last section at the table's width and its own height.
    const std::shared_ptr<View>& tableFooterView() const { return mFooterView; }
    void setTableFooterView(std::shared_ptr<View> view);

    // In the table's (content) coordinates; empty outside the data.
    Rect rectForRowAtIndexPath(IndexPath indexPath) const;
    Rect rectForHeaderInSection(int section) const;
    // The row under the point, in the table's coordinates.
    std::optional<IndexPath> indexPathForRowAtPoint(Point point) const;
    // Rows within the bounds, in order (as of the last layout).
    std::vector<IndexPath> indexPathsForVisibleRows() const;
    std::vector<std::shared_ptr<TableViewCell>> visibleCells() const;
    // The cell shown for the row; null when it has none.
    std::shared_ptr<TableViewCell> cellForRowAtIndexPath(IndexPath indexPath) const;
    std::shared_ptr<View> headerViewForSection(int section) const;
    void scrollToRow(IndexPath indexPath, TableViewScrollPosition position, bool animated);

    // --- selection -----------------------------------------------------
    bool allowsSelection() const { return mAllowsSelection; }
    void setAllowsSelection(bool allows);
    std::optional<IndexPath> indexPathForSelectedRow() const { return mSelected; }
    // One row at a time; a row outside the data is passed over.
    void selectRow(std::optional<IndexPath> indexPath, bool animated,
                   TableViewScrollPosition position = TableViewScrollPosition::none);
    void deselectRow(IndexPath indexPath, bool animated);
    const std::shared_ptr<TapGestureRecognizer>& selectionRecognizer() const { return mTap; }

    void layoutSubviews() override;
    void didMoveToSuperview() override;
    std::string className() const override { return "TableView"; }
    void describeForDump(std::string& line) const override;

private:
    struct Section {
        double top = 0;  // the header's top (after the padding)
        double headerHeight = 0;
        std::vector<double> rowEnds;  // the bottom of each row, from the first row's top
        std::shared_ptr<View> header;
        double rowsTop() const { return top + headerHeight; }
        double bottom() const { return rowsTop() + (rowEnds.empty() ? 0 : rowEnds.back()); }
    };

    void installSelection();
    void handleTap();
    bool contains(IndexPath indexPath) const;
    double heightForRow(TableViewDelegate* delegate, IndexPath indexPath);
    // Asks the heights of every row and header again, at the present width.
    void measure();
    void placeSections();
    void recycle(const std::shared_ptr<TableViewCell>& cell);
    std::shared_ptr<TableViewCell> makeCell(IndexPath indexPath);
    void tile();
    void placeHeaders();

    TableViewStyle mStyle;
    std::weak_ptr<TableViewDataSource> mDataSource;
    std::weak_ptr<TableViewDelegate> mTableDelegate;
    std::map<std::string, CellFactory> mFactories;
    std::map<std::string, std::vector<std::shared_ptr<TableViewCell>>> mPool;
    std::vector<Section> mSections;
    std::map<IndexPath, std::shared_ptr<TableViewCell>> mVisible;
    std::shared_ptr<View> mFooterView;
    std::optional<IndexPath> mSelected;
    double mRowHeight = kDefaultRowHeight;
    double mSectionHeaderHeight = kTableViewAutomaticDimension;
    double mSectionHeaderTopPadding = 0;
    bool mAllowsSelection = true;
    bool mNeedsReload = true;
    // The width the heights were asked at.
    double mMeasuredWidth = -1;
    std::shared_ptr<TapGestureRecognizer> mTap;
};

}  // namespace platform::ui
