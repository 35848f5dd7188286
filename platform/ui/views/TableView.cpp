#include "platform/ui/views/TableView.h"

#include "platform/ui/views/Label.h"
#include "platform/ui/input/TapGestureRecognizer.h"

#include <algorithm>
#include <cmath>

namespace platform::ui {

namespace {

constexpr Color kHeaderBackground{0.95, 0.95, 0.97, 1};

bool isHeight(double value) { return std::isfinite(value) && value >= 0; }

// A section title, inset as the text of the rows below it.
class PlainHeader : public View {
public:
    explicit PlainHeader(const std::string& title) : mLabel(std::make_shared<Label>()) {
        setBackgroundColor(kHeaderBackground);
        mLabel->setText(title);
        mLabel->setFont(Font::boldSystemFont(Font::systemFontSize()));
    }
    void attachLabel() { addSubview(mLabel); }
    void layoutSubviews() override {
        View::layoutSubviews();
        const Rect b = bounds();
        const double inset = TableViewCell::kMargin;
        mLabel->setFrame({inset, 0, std::max(0.0, b.width - 2 * inset), b.height});
    }

private:
    std::shared_ptr<Label> mLabel;
};

std::shared_ptr<View> plainHeader(const std::string& title) {
    auto header = std::make_shared<PlainHeader>(title);
    header->attachLabel();
    return header;
}

}  // namespace

std::shared_ptr<TableView> TableView::make(const Rect& frame, TableViewStyle style) {
    auto view = std::make_shared<TableView>(frame, style);
    view->installSelection();
    return view;
}

TableView::TableView(const Rect& frame, TableViewStyle style)
    : ScrollView(frame), mStyle(style), mTap(std::make_shared<TapGestureRecognizer>()) {
    // Touches go on to the cells' controls while a tap is being recognised.
    mTap->setCancelsTouchesInView(false);
    // Opaque as the platform's: below the last row a popover's own colour
    // must not show through.
    setBackgroundColor(style == TableViewStyle::grouped ? Color{0.949, 0.949, 0.969, 1} : Color{1, 1, 1, 1});
}

TableView::~TableView() = default;

void TableView::didMoveToSuperview() {
    ScrollView::didMoveToSuperview();
    installSelection();
}

void TableView::installSelection() {
    if (mTap->view().get() == this) return;
    // The recogniser belongs to this view, which outlives its action.
    mTap->addAction([this](GestureRecognizer&) { handleTap(); });
    addGestureRecognizer(mTap);
}

void TableView::setDataSource(std::weak_ptr<TableViewDataSource> dataSource) {
    mDataSource = std::move(dataSource);
    mNeedsReload = true;
    setNeedsLayout();
}

void TableView::setTableDelegate(const std::shared_ptr<TableViewDelegate>& delegate) {
    mTableDelegate = delegate;
    setDelegate(delegate);
    mNeedsReload = true;
    setNeedsLayout();
}

// --- cells ---------------------------------------------------------------

void TableView::registerCell(const std::string& reuseIdentifier, CellFactory factory) {
    mFactories[reuseIdentifier] = std::move(factory);
}

std::shared_ptr<TableViewCell> TableView::dequeueReusableCell(const std::string& reuseIdentifier) {
    if (auto pool = mPool.find(reuseIdentifier); pool != mPool.end() && !pool->second.empty()) {
        auto cell = std::move(pool->second.back());
        pool->second.pop_back();
        cell->prepareForReuse();
        return cell;
    }
    auto factory = mFactories.find(reuseIdentifier);
    if (factory == mFactories.end() || !factory->second) return nullptr;
    return factory->second(reuseIdentifier);
}

void TableView::recycle(const std::shared_ptr<TableViewCell>& cell) {
    cell->removeFromSuperview();
    // A cell made without an identifier cannot be asked for again.
    if (!cell->reuseIdentifier().empty()) mPool[cell->reuseIdentifier()].push_back(cell);
}

std::shared_ptr<TableViewCell> TableView::makeCell(IndexPath indexPath) {
    std::shared_ptr<TableViewCell> cell;
    if (auto source = dataSource()) cell = source->cellForRowAtIndexPath(*this, indexPath);
    if (!cell) cell = std::make_shared<TableViewCell>();
    cell->setSelected(mSelected == indexPath);
    cell->setFrame(rectForRowAtIndexPath(indexPath));
    // Below the headers and the footer.
    if (cell->superview().get() != this) insertSubview(cell, 0);
    return cell;
}

// --- data ----------------------------------------------------------------

double TableView::heightForRow(TableViewDelegate* delegate, IndexPath indexPath) {
    const double height = delegate ? delegate->heightForRowAtIndexPath(*this, indexPath) : kTableViewAutomaticDimension;
    return isHeight(height) ? height : mRowHeight;
}

void TableView::reloadData() {
    mNeedsReload = false;
    for (const auto& [indexPath, cell] : mVisible) recycle(cell);
    mVisible.clear();
    for (const Section& section : mSections) {
        if (section.header) section.header->removeFromSuperview();
    }
    mSections.clear();
    mSelected.reset();

    auto source = dataSource();
    auto delegate = tableDelegate();
    const int sections = source ? std::max(0, source->numberOfSectionsInTableView(*this)) : 0;
    mSections.resize(static_cast<std::size_t>(sections));
    for (int s = 0; s < sections; ++s) {
        Section& section = mSections[static_cast<std::size_t>(s)];
        section.rowEnds.assign(static_cast<std::size_t>(std::max(0, source->numberOfRowsInSection(*this, s))), 0);
        section.header = delegate ? delegate->viewForHeaderInSection(*this, s) : nullptr;
        if (!section.header) {
            if (auto title = source->titleForHeaderInSection(*this, s); !title.empty())
                section.header = plainHeader(title);
        }
    }
    measure();
}

void TableView::measure() {
    mMeasuredWidth = bounds().width;
    auto delegate = tableDelegate();
    for (std::size_t s = 0; s < mSections.size(); ++s) {
        Section& section = mSections[s];
        const int index = static_cast<int>(s);
        double end = 0;
        for (std::size_t r = 0; r < section.rowEnds.size(); ++r) {
            end += heightForRow(delegate.get(), {index, static_cast<int>(r)});
            section.rowEnds[r] = end;
        }
        const double asked = delegate ? delegate->heightForHeaderInSection(*this, index) : kTableViewAutomaticDimension;
        if (isHeight(asked)) {
            section.headerHeight = asked;
        } else if (isHeight(mSectionHeaderHeight)) {
            section.headerHeight = mSectionHeaderHeight;
        } else {
            section.headerHeight = section.header ? kDefaultHeaderHeight : 0;
        }
    }
    placeSections();
}

void TableView::placeSections() {
    double y = 0;
    for (Section& section : mSections) {
        if (section.headerHeight > 0) y += mSectionHeaderTopPadding;
        section.top = y;
        y = section.bottom();
    }
    const double footer = mFooterView ? mFooterView->bounds().height : 0;
    setContentSize({bounds().width, y + footer});
    setNeedsLayout();
}

void TableView::reloadRows(const std::vector<IndexPath>& indexPaths, TableViewRowAnimation animation) {
    if (mNeedsReload) return;  // all of it is asked for at the next layout anyway
    auto delegate = tableDelegate();
    std::vector<IndexPath> shown;
    for (const IndexPath& indexPath : indexPaths) {
        if (!contains(indexPath)) continue;
        auto& ends = mSections[static_cast<std::size_t>(indexPath.section)].rowEnds;
        const auto row = static_cast<std::size_t>(indexPath.row);
        const double old = ends[row] - (row > 0 ? ends[row - 1] : 0);
        const double delta = heightForRow(delegate.get(), indexPath) - old;
        if (delta != 0) {
            for (std::size_t r = row; r < ends.size(); ++r) ends[r] += delta;
        }
        if (mSelected == indexPath) mSelected.reset();
        if (mVisible.count(indexPath)) shown.push_back(indexPath);
    }
    placeSections();
    for (const IndexPath& indexPath : shown) {
        recycle(mVisible[indexPath]);
        auto cell = makeCell(indexPath);
        mVisible[indexPath] = cell;
        if (animation != TableViewRowAnimation::none) {
            cell->setAlpha(0);
            View::animate(kRowAnimationDuration, [&] { cell->setAlpha(1); });
        }
    }
}

int TableView::numberOfRowsInSection(int section) const {
    if (section < 0 || section >= numberOfSections()) return 0;
    return static_cast<int>(mSections[static_cast<std::size_t>(section)].rowEnds.size());
}

bool TableView::contains(IndexPath indexPath) const {
    return indexPath.row >= 0 && indexPath.row < numberOfRowsInSection(indexPath.section);
}

// --- geometry ------------------------------------------------------------

void TableView::setRowHeight(double height) {
    if (!isHeight(height)) return;
    mRowHeight = height;
    mNeedsReload = true;
    setNeedsLayout();
}

void TableView::setSectionHeaderHeight(double height) {
    if (!isHeight(height) && height != kTableViewAutomaticDimension) return;
    mSectionHeaderHeight = height;
    mNeedsReload = true;
    setNeedsLayout();
}

void TableView::setSectionHeaderTopPadding(double padding) {
    if (!isHeight(padding)) return;
    mSectionHeaderTopPadding = padding;
    placeSections();
}

void TableView::setTableFooterView(std::shared_ptr<View> view) {
    if (mFooterView) mFooterView->removeFromSuperview();
    mFooterView = std::move(view);
    if (mFooterView) addSubview(mFooterView);
    placeSections();
}

Rect TableView::rectForRowAtIndexPath(IndexPath indexPath) const {
    if (!contains(indexPath)) return {};
    const Section& section = mSections[static_cast<std::size_t>(indexPath.section)];
    const auto row = static_cast<std::size_t>(indexPath.row);
    const double start = row > 0 ? section.rowEnds[row - 1] : 0;
    return {0, section.rowsTop() + start, bounds().width, section.rowEnds[row] - start};
}

Rect TableView::rectForHeaderInSection(int section) const {
    if (section < 0 || section >= numberOfSections()) return {};
    const Section& s = mSections[static_cast<std::size_t>(section)];
    return {0, s.top, bounds().width, s.headerHeight};
}

std::optional<IndexPath> TableView::indexPathForRowAtPoint(Point point) const {
    for (std::size_t s = 0; s < mSections.size(); ++s) {
        const Section& section = mSections[s];
        if (point.y < section.rowsTop() || point.y >= section.bottom()) continue;
        const auto& ends = section.rowEnds;
        const auto row = std::upper_bound(ends.begin(), ends.end(), point.y - section.rowsTop()) - ends.begin();
        if (row < static_cast<std::ptrdiff_t>(ends.size()))
            return IndexPath{static_cast<int>(s), static_cast<int>(row)};
    }
    return std::nullopt;
}

std::vector<IndexPath> TableView::indexPathsForVisibleRows() const {
    std::vector<IndexPath> rows;
    rows.reserve(mVisible.size());
    for (const auto& [indexPath, cell] : mVisible) rows.push_back(indexPath);
    return rows;
}

std::vector<std::shared_ptr<TableViewCell>> TableView::visibleCells() const {
    std::vector<std::shared_ptr<TableViewCell>> cells;
    cells.reserve(mVisible.size());
    for (const auto& [indexPath, cell] : mVisible) cells.push_back(cell);
    return cells;
}

std::shared_ptr<TableViewCell> TableView::cellForRowAtIndexPath(IndexPath indexPath) const {
    const auto found = mVisible.find(indexPath);
    return found == mVisible.end() ? nullptr : found->second;
}

std::shared_ptr<View> TableView::headerViewForSection(int section) const {
    if (section < 0 || section >= numberOfSections()) return nullptr;
    return mSections[static_cast<std::size_t>(section)].header;
}

void TableView::scrollToRow(IndexPath indexPath, TableViewScrollPosition position, bool animated) {
    if (!contains(indexPath)) return;
    const Rect row = rectForRowAtIndexPath(indexPath);
    const Rect b = bounds();
    double y = b.y;
    switch (position) {
        case TableViewScrollPosition::top: y = row.y; break;
        case TableViewScrollPosition::middle: y = row.y + row.height / 2 - b.height / 2; break;
        case TableViewScrollPosition::bottom: y = row.y + row.height - b.height; break;
        case TableViewScrollPosition::none:
            if (row.y < b.y) {
                y = row.y;
            } else if (row.y + row.height > b.y + b.height) {
                y = row.y + row.height - b.height;
            }
            break;
    }
    y = std::clamp(y, minimumContentOffset().y, maximumContentOffset().y);
    setContentOffset({b.x, y}, animated);
}

// --- layout --------------------------------------------------------------

void TableView::layoutSubviews() {
    ScrollView::layoutSubviews();
    if (mNeedsReload) {
        reloadData();
    } else if (bounds().width != mMeasuredWidth) {
        // A row's height may follow the width (its text wraps): the cells
        // shown and the selection stay, placed at the new heights.
        measure();
    }
    if (contentSize().width != bounds().width) setContentSize({bounds().width, contentSize().height});
    tile();
    placeHeaders();
    if (mFooterView) {
        const double top = mSections.empty() ? 0 : mSections.back().bottom();
        mFooterView->setFrame({0, top, bounds().width, mFooterView->bounds().height});
    }
}

void TableView::tile() {
    const Rect b = bounds();
    const double top = b.y;
    const double bottom = b.y + b.height;
    std::vector<IndexPath> wanted;
    for (std::size_t s = 0; s < mSections.size(); ++s) {
        const Section& section = mSections[s];
        if (section.bottom() <= top || section.rowsTop() >= bottom) continue;
        const auto& ends = section.rowEnds;
        auto row = std::upper_bound(ends.begin(), ends.end(), top - section.rowsTop()) - ends.begin();
        for (; row < static_cast<std::ptrdiff_t>(ends.size()); ++row) {
            const double start = section.rowsTop() + (row > 0 ? ends[static_cast<std::size_t>(row) - 1] : 0);
            if (start >= bottom) break;
            wanted.push_back({static_cast<int>(s), static_cast<int>(row)});
        }
    }
    // Rows that left give their cells back first, so that the new rows
    // reuse them.
    for (auto it = mVisible.begin(); it != mVisible.end();) {
        if (std::binary_search(wanted.begin(), wanted.end(), it->first)) {
            it->second->setFrame(rectForRowAtIndexPath(it->first));
            ++it;
        } else {
            recycle(it->second);
            it = mVisible.erase(it);
        }
    }
    for (const IndexPath& indexPath : wanted) {
        if (!mVisible.count(indexPath)) mVisible[indexPath] = makeCell(indexPath);
    }
}

void TableView::placeHeaders() {
    const double top = bounds().y;
    for (const Section& section : mSections) {
        if (!section.header) continue;
        if (section.headerHeight <= 0) {
            section.header->removeFromSuperview();
            continue;
        }
        double y = section.top;
        // Plain tables keep a header at the top while its rows pass under it.
        if (mStyle == TableViewStyle::plain) {
            y = std::max(y, std::min(top, section.bottom() - section.headerHeight));
        }
        section.header->setFrame({0, y, bounds().width, section.headerHeight});
        if (section.header->superview().get() != this) addSubview(section.header);
        bringSubviewToFront(section.header.get());
    }
}

// --- selection -----------------------------------------------------------

void TableView::setAllowsSelection(bool allows) {
    mAllowsSelection = allows;
    mTap->setEnabled(allows);
    if (!allows && mSelected) deselectRow(*mSelected, false);
}

void TableView::selectRow(std::optional<IndexPath> indexPath, bool animated, TableViewScrollPosition position) {
    if (!indexPath || !contains(*indexPath)) {
        if (mSelected) deselectRow(*mSelected, animated);
        return;
    }
    if (mSelected && *mSelected != *indexPath) deselectRow(*mSelected, animated);
    mSelected = indexPath;
    if (auto cell = cellForRowAtIndexPath(*indexPath)) cell->setSelected(true, animated);
    if (position != TableViewScrollPosition::none) scrollToRow(*indexPath, position, animated);
}

void TableView::deselectRow(IndexPath indexPath, bool animated) {
    if (mSelected != indexPath) return;
    mSelected.reset();
    if (auto cell = cellForRowAtIndexPath(indexPath)) cell->setSelected(false, animated);
}

void TableView::handleTap() {
    if (!mAllowsSelection) return;
    const auto tapped = indexPathForRowAtPoint(mTap->locationInView(this));
    if (!tapped) return;
    auto delegate = tableDelegate();
    const auto target = delegate ? delegate->willSelectRowAtIndexPath(*this, *tapped) : tapped;
    if (!target || !contains(*target)) return;
    const auto previous = mSelected;
    if (previous && *previous != *target) {
        deselectRow(*previous, false);
        if (delegate) delegate->didDeselectRowAtIndexPath(*this, *previous);
    }
    selectRow(target, false);
    if (delegate) delegate->didSelectRowAtIndexPath(*this, *target);
}

void TableView::describeForDump(std::string& line) const {
    ScrollView::describeForDump(line);
    line += " sections=" + std::to_string(mSections.size());
    if (mSelected) line += " selected=" + std::to_string(mSelected->section) + "." + std::to_string(mSelected->row);
}

}  // namespace platform::ui
