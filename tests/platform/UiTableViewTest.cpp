// Table views over data sources: cells only for the rows in view and reused
// by identifier as the table scrolls, heights and headers placing the rows,
// selection by taps through the touch system, and reloads keeping the
// cells shown in step with the data.

#include "platform/ui/views/Label.h"
#include "platform/ui/core/Layer.h"
#include "platform/ui/views/Switch.h"
#include "platform/ui/views/TableView.h"
#include "platform/ui/input/TouchSynth.h"
#include "platform/ui/views/Window.h"
#include "tests/platform/support/VirtualTime.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>
#include <vector>

using platform::Point;
using platform::Rect;
using platform::Size;
using platform::ui::IndexPath;
using platform::ui::Label;
using platform::ui::Switch;
using platform::ui::TableView;
using platform::ui::TableViewCell;
using platform::ui::TableViewCellStyle;
using platform::ui::TableViewDataSource;
using platform::ui::TableViewDelegate;
using platform::ui::TableViewRowAnimation;
using platform::ui::TableViewScrollPosition;
using platform::ui::TableViewStyle;
using platform::ui::TouchSynth;
using platform::ui::View;
using platform::ui::Window;

namespace {

using Log = std::vector<std::string>;

std::string name(IndexPath p) { return std::to_string(p.section) + "." + std::to_string(p.row); }

// A prototype cell: a label tagged 1 and a switch tagged 2, counting its
// preparations for reuse.
class RowCell : public TableViewCell {
public:
    using TableViewCell::TableViewCell;
    void prepareForReuse() override {
        TableViewCell::prepareForReuse();
        ++prepared;
    }
    int prepared = 0;
};

class Rows : public TableViewDataSource, public TableViewDelegate {
public:
    int numberOfSectionsInTableView(TableView&) override { return static_cast<int>(counts.size()); }
    int numberOfRowsInSection(TableView&, int section) override { return counts[static_cast<std::size_t>(section)]; }
    std::shared_ptr<TableViewCell> cellForRowAtIndexPath(TableView& table, IndexPath p) override {
        auto cell = table.dequeueReusableCell("Row");
        if (auto label = std::dynamic_pointer_cast<Label>(cell->viewWithTag(1))) label->setText(text(p));
        return cell;
    }
    std::string titleForHeaderInSection(TableView&, int section) override {
        return titled ? "Section " + std::to_string(section) : std::string{};
    }
    double heightForRowAtIndexPath(TableView& table, IndexPath p) override {
        if (!heights) return TableViewDelegate::heightForRowAtIndexPath(table, p);
        return 20 + (p.row % 3) * 10 + extra + (table.bounds().width < 300 ? narrowExtra : 0);
    }
    std::optional<IndexPath> willSelectRowAtIndexPath(TableView&, IndexPath p) override {
        log.push_back("will " + name(p));
        if (p.row == 7) return std::nullopt;
        return p;
    }
    void didSelectRowAtIndexPath(TableView&, IndexPath p) override { log.push_back("did " + name(p)); }
    void didDeselectRowAtIndexPath(TableView&, IndexPath p) override { log.push_back("deselect " + name(p)); }

    std::string text(IndexPath p) const { return prefix + name(p); }

    std::vector<int> counts{10000};
    std::string prefix = "row ";
    bool titled = false;
    bool heights = false;
    double extra = 0;
    double narrowExtra = 0;  // what a row gains below 300 points wide
    Log log;
};

struct TableScene {
    testsupport::VirtualTime time;
    std::shared_ptr<Window> window = std::make_shared<Window>(Rect{0, 0, 390, 844});
    std::shared_ptr<TableView> table = TableView::make({0, 100, 390, 700});
    std::shared_ptr<Rows> rows = std::make_shared<Rows>();
    std::set<TableViewCell*> made;
    TouchSynth synth{window};

    TableScene() {
        table->registerCell("Row", [this](const std::string& identifier) {
            auto cell = std::make_shared<RowCell>(TableViewCellStyle::defaultStyle, identifier);
            auto label = std::make_shared<Label>(Rect{16, 0, 200, 44});
            label->setTag(1);
            cell->contentView()->addSubview(label);
            auto toggle = Switch::make();
            toggle->setFrame({320, 6, 51, 31});
            toggle->setTag(2);
            cell->contentView()->addSubview(toggle);
            made.insert(cell.get());
            return cell;
        });
        table->setDataSource(rows);
        table->setTableDelegate(rows);
        window->addSubview(table);
        table->layoutIfNeeded();
    }

    std::string textOf(const std::shared_ptr<TableViewCell>& cell) const {
        auto label = std::dynamic_pointer_cast<Label>(cell->viewWithTag(1));
        return label ? label->text() : "(none)";
    }

    // Every row in the bounds has a cell, the cells in the tree are just
    // those, and each shows its row's data.
    void expectCellsMatchData() const {
        const Rect b = table->bounds();
        auto cells = table->findViews<TableViewCell>();
        EXPECT_EQ(cells.size(), table->visibleCells().size());
        for (const IndexPath& p : table->indexPathsForVisibleRows()) {
            const Rect r = table->rectForRowAtIndexPath(p);
            EXPECT_TRUE(r.y < b.y + b.height && r.y + r.height > b.y) << name(p) << " is not in view";
            auto cell = table->cellForRowAtIndexPath(p);
            ASSERT_NE(cell, nullptr);
            EXPECT_EQ(textOf(cell), rows->text(p));
            EXPECT_EQ(cell->frame().y, r.y);
            EXPECT_EQ(cell->frame().height, r.height);
        }
        // The rows at the edges of the bounds are the first and last shown
        // (when a row, not a header, lies there).
        const auto first = table->indexPathForRowAtPoint({1, b.y});
        const auto last = table->indexPathForRowAtPoint({1, b.y + b.height - 0.5});
        if (first) {
            EXPECT_EQ(table->indexPathsForVisibleRows().front(), *first);
        }
        if (last) {
            EXPECT_EQ(table->indexPathsForVisibleRows().back(), *last);
        }
    }
};

}  // namespace

TEST(UiTableView, ScrollingTenThousandRowsReusesAScreenfulOfCells) {
    TableScene s;
    EXPECT_EQ(s.table->contentSize(), (Size{390, 10000 * 44.0}));
    EXPECT_EQ(s.table->visibleCells().size(), 16u) << "700 points of 44-point rows";
    s.expectCellsMatchData();
    s.table->selectRow(IndexPath{0, 2}, false);
    auto selected = s.table->cellForRowAtIndexPath({0, 2});
    EXPECT_TRUE(selected->isSelected());

    // A screen at a time to the end: no more cells than fill two screens'
    // worth of rows straddling the bounds.
    int steps = 0;
    for (double y = 0; y <= s.table->maximumContentOffset().y; y += 700, ++steps) {
        s.table->setContentOffset({0, y});
        s.table->layoutIfNeeded();
        ASSERT_LE(s.made.size(), 34u) << "at offset " << y;
    }
    s.table->setContentOffset(s.table->maximumContentOffset());
    s.table->layoutIfNeeded();
    EXPECT_GT(steps, 600);
    s.expectCellsMatchData();
    EXPECT_EQ(s.table->indexPathsForVisibleRows().back(), (IndexPath{0, 9999}));

    // Every cell shown is one made before and prepared again, and a cell
    // that was selected for row 2 no longer shows it for another row.
    for (const auto& cell : s.table->visibleCells()) {
        EXPECT_TRUE(s.made.count(cell.get()));
        EXPECT_GT(std::static_pointer_cast<RowCell>(cell)->prepared, 0);
        EXPECT_FALSE(cell->isSelected());
    }
    EXPECT_GT(std::static_pointer_cast<RowCell>(selected)->prepared, 0);

    // Back at the top the selection is shown on whichever cell row 2 has now.
    s.table->scrollToRow({0, 2}, TableViewScrollPosition::top, false);
    s.table->layoutIfNeeded();
    EXPECT_EQ(s.table->contentOffset().y, 88);
    EXPECT_TRUE(s.table->cellForRowAtIndexPath({0, 2})->isSelected());
    EXPECT_FALSE(s.table->cellForRowAtIndexPath({0, 3})->isSelected());
    s.expectCellsMatchData();

    // Unregistered identifiers give nothing.
    EXPECT_EQ(s.table->dequeueReusableCell("Other"), nullptr);
}

TEST(UiTableView, HeightsHeadersAndFooterPlaceTheRows) {
    TableScene s;
    s.rows->counts = {4, 5};
    s.rows->titled = true;
    s.rows->heights = true;  // 20, 30, 40, 20, ...
    auto footer = std::make_shared<View>(Rect{0, 0, 10, 50});
    s.table->setTableFooterView(footer);
    s.table->setSectionHeaderTopPadding(6);
    s.table->reloadData();
    s.table->layoutIfNeeded();

    // Section 0: padding 6, header 28, rows 20+30+40+20 = 110; section 1:
    // padding 6, header 28, rows 20+30+40+20+30 = 140; footer 50.
    EXPECT_EQ(s.table->contentSize(), (Size{390, 6 + 28 + 110 + 6 + 28 + 140 + 50.0}));
    EXPECT_EQ(s.table->rectForHeaderInSection(1), (Rect{0, 6 + 28 + 110 + 6, 390, 28}));
    EXPECT_EQ(s.table->rectForRowAtIndexPath({0, 2}), (Rect{0, 6 + 28 + 50, 390, 40}));
    EXPECT_EQ(s.table->rectForRowAtIndexPath({1, 4}), (Rect{0, 178 + 110, 390, 30}));
    EXPECT_EQ(s.table->rectForRowAtIndexPath({1, 5}), Rect{});
    EXPECT_EQ(footer->frame(), (Rect{0, 318, 390, 50}));
    // A row's bottom edge belongs to the row below; headers are not rows.
    EXPECT_EQ(s.table->indexPathForRowAtPoint({5, 34 + 20}), (IndexPath{0, 1}));
    EXPECT_EQ(s.table->indexPathForRowAtPoint({5, 34 + 19.9}), (IndexPath{0, 0}));
    EXPECT_EQ(s.table->indexPathForRowAtPoint({5, 150}), std::nullopt);
    EXPECT_EQ(s.table->indexPathForRowAtPoint({5, 1000}), std::nullopt);

    auto header = s.table->headerViewForSection(1);
    ASSERT_NE(header, nullptr);
    ASSERT_NE(header->findView<Label>(), nullptr);
    EXPECT_EQ(header->findView<Label>()->text(), "Section 1");

    // Plain tables pin a header at the top while its rows pass under it,
    // and the next section's header pushes it up.
    s.table->setFrame({0, 100, 390, 100});
    s.table->setContentOffset({0, 200});
    s.table->layoutIfNeeded();
    EXPECT_EQ(header->frame().y, 200);
    EXPECT_EQ(s.table->headerViewForSection(0)->frame().y, 144 - 28) << "pushed up by its section's end";
    s.table->setContentOffset({0, 60});
    s.table->layoutIfNeeded();
    EXPECT_EQ(s.table->headerViewForSection(0)->frame().y, 60);
    EXPECT_EQ(header->frame().y, 150);
    s.expectCellsMatchData();

    // scrollToRow keeps within the content.
    s.table->scrollToRow({1, 4}, TableViewScrollPosition::top, false);
    EXPECT_EQ(s.table->contentOffset().y, 368 - 100);
    s.table->scrollToRow({0, 2}, TableViewScrollPosition::middle, false);
    EXPECT_EQ(s.table->contentOffset().y, 84 + 20 - 50);
    s.table->scrollToRow({0, 0}, TableViewScrollPosition::none, false);
    EXPECT_EQ(s.table->contentOffset().y, 34);
}

// Rows whose height follows the width are measured again when it changes;
// the cells shown and the selection stay.
TEST(UiTableView, AWidthChangeAsksTheHeightsAgainAndPlacesTheRowsAnew) {
    TableScene s;
    s.rows->heights = true;  // 20, 30, 40, 20, ...
    s.rows->narrowExtra = 20;
    s.table->reloadData();
    s.table->layoutIfNeeded();
    s.table->selectRow(IndexPath{0, 1}, false);
    const auto cell = s.table->cellForRowAtIndexPath({0, 1});
    for (const double width : {280.0, 390.0}) {
        s.table->setFrame({0, 100, width, 700});
        s.table->layoutIfNeeded();
        const double gain = width < 300 ? 20 : 0;
        EXPECT_EQ(s.table->rectForRowAtIndexPath({0, 1}), (Rect{0, 20 + gain, width, 30 + gain})) << width;
        EXPECT_EQ(s.table->contentSize(), (Size{width, 3333 * 90 + 20 + 10000 * gain})) << width;
        EXPECT_EQ(s.table->cellForRowAtIndexPath({0, 1}), cell) << width;
        EXPECT_TRUE(cell->isSelected()) << width;
        s.expectCellsMatchData();
    }
}

TEST(UiTableView, TapsSelectRowsThroughTheTouchSystem) {
    TableScene s;
    // Row 3 lies at 132 to 176 in the table, at 100 in the window.
    s.synth.tap({100, 100 + 150});
    s.synth.wait(0.5);
    EXPECT_EQ(s.rows->log, (Log{"will 0.3", "did 0.3"}));
    EXPECT_EQ(s.table->indexPathForSelectedRow(), (IndexPath{0, 3}));
    EXPECT_TRUE(s.table->cellForRowAtIndexPath({0, 3})->isSelected());

    s.synth.tap({100, 100 + 5 * 44 + 10});
    s.synth.wait(0.5);
    EXPECT_EQ(s.rows->log, (Log{"will 0.3", "did 0.3", "will 0.5", "deselect 0.3", "did 0.5"}));
    EXPECT_FALSE(s.table->cellForRowAtIndexPath({0, 3})->isSelected());

    // The delegate may refuse a row; a switch in a cell keeps its tap; a
    // drag scrolls and selects nothing.
    s.rows->log.clear();
    s.synth.tap({100, 100 + 7 * 44 + 10});
    auto toggle = std::dynamic_pointer_cast<Switch>(s.table->cellForRowAtIndexPath({0, 1})->viewWithTag(2));
    ASSERT_NE(toggle, nullptr);
    s.synth.tap({340, 100 + 44 + 20});
    s.synth.wait(0.5);
    EXPECT_TRUE(toggle->isOn());
    s.synth.pan({{200, 700}, {200, 400}}, 0.5);
    s.synth.wait(3);
    EXPECT_EQ(s.rows->log, (Log{"will 0.7"}));
    EXPECT_EQ(s.table->indexPathForSelectedRow(), (IndexPath{0, 5}));

    // After scrolling, a tap picks the row under the finger in the content.
    s.table->setContentOffset({0, 44 * 100});
    s.table->layoutIfNeeded();
    s.synth.tap({100, 100 + 10});
    s.synth.wait(0.5);
    EXPECT_EQ(s.table->indexPathForSelectedRow(), (IndexPath{0, 100}));

    s.table->setAllowsSelection(false);
    EXPECT_EQ(s.table->indexPathForSelectedRow(), std::nullopt);
    s.synth.tap({100, 100 + 60});
    s.synth.wait(0.5);
    EXPECT_EQ(s.table->indexPathForSelectedRow(), std::nullopt);
}

TEST(UiTableView, ReloadsKeepTheCellsInStepWithTheData) {
    TableScene s;
    s.table->selectRow(IndexPath{0, 2}, false);
    s.rows->prefix = "new ";
    auto before = s.table->cellForRowAtIndexPath({0, 4});

    // A row reloaded with a fade gets its new cell at once, fading in; its
    // neighbours keep theirs; a taller row moves those below.
    s.rows->heights = true;
    s.rows->extra = 24;  // row 2: 40 + 24, up from 44
    s.table->reloadRows({{0, 2}, {0, 50000}, {3, 0}}, TableViewRowAnimation::fade);
    auto reloaded = s.table->cellForRowAtIndexPath({0, 2});
    EXPECT_EQ(s.textOf(reloaded), "new 0.2");
    EXPECT_EQ(reloaded->alpha(), 1);
    EXPECT_NE(reloaded->layer()->animationForKey("opacity"), nullptr);
    EXPECT_EQ(s.textOf(s.table->cellForRowAtIndexPath({0, 1})), "row 0.1");
    EXPECT_EQ(s.table->indexPathForSelectedRow(), std::nullopt) << "a reloaded row is deselected";
    EXPECT_FALSE(reloaded->isSelected());
    EXPECT_EQ(s.table->contentSize().height, 10000 * 44.0 + 20);
    s.table->layoutIfNeeded();
    EXPECT_EQ(s.table->cellForRowAtIndexPath({0, 4}), before);
    EXPECT_EQ(before->frame().y, 4 * 44 + 20);
    s.time.clock->advance(std::chrono::milliseconds(400));

    // A full reload with fewer rows than fill the screen.
    s.rows->counts = {3};
    s.table->reloadData();
    s.table->layoutIfNeeded();
    EXPECT_EQ(s.table->visibleCells().size(), 3u);
    EXPECT_EQ(s.table->findViews<TableViewCell>().size(), 3u);
    for (const IndexPath& p : s.table->indexPathsForVisibleRows()) {
        EXPECT_EQ(s.textOf(s.table->cellForRowAtIndexPath(p)), s.rows->text(p));
    }
    // No rows at all, or no data source: nothing shown.
    s.rows->counts = {0};
    s.table->reloadData();
    s.table->layoutIfNeeded();
    EXPECT_TRUE(s.table->visibleCells().empty());
    EXPECT_EQ(s.table->contentSize().height, 0);
}

TEST(UiTableView, CellsTheDataSourceMakesItselfOrNotAtAll) {
    testsupport::VirtualTime time;
    struct Plain : TableViewDataSource {
        int numberOfRowsInSection(TableView&, int) override { return 3; }
        std::shared_ptr<TableViewCell> cellForRowAtIndexPath(TableView& table, IndexPath p) override {
            if (p.row == 1) return nullptr;
            auto cell = table.dequeueReusableCell("Subtitle");
            if (!cell) {
                ++made;
                cell = std::make_shared<TableViewCell>(TableViewCellStyle::subtitle, "Subtitle");
            }
            cell->textLabel()->setText("title " + std::to_string(p.row));
            cell->detailTextLabel()->setText("detail");
            return cell;
        }
        int made = 0;
    };
    auto source = std::make_shared<Plain>();
    auto table = TableView::make({0, 0, 320, 88});
    table->setDataSource(source);
    table->layoutIfNeeded();
    ASSERT_EQ(table->visibleCells().size(), 2u);
    auto row0 = table->cellForRowAtIndexPath({0, 0});
    EXPECT_EQ(row0->textLabel()->text(), "title 0");
    // Text above detail, both in the margins.
    EXPECT_EQ(row0->textLabel()->frame().x, TableViewCell::kMargin);
    EXPECT_LT(row0->textLabel()->frame().y, row0->detailTextLabel()->frame().y);
    EXPECT_NE(table->cellForRowAtIndexPath({0, 1}), nullptr) << "a null cell shows as an empty one";

    // The empty cell has no identifier and is not pooled; the made one is.
    table->setContentOffset({0, 88});
    table->layoutIfNeeded();
    EXPECT_EQ(source->made, 1);
    EXPECT_EQ(table->cellForRowAtIndexPath({0, 2}), row0);
    EXPECT_EQ(row0->textLabel()->text(), "title 2");
    EXPECT_EQ(TableViewCell().detailTextLabel(), nullptr) << "the default style has no detail";
}
