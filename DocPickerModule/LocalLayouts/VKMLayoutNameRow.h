#pragma once
// How a row names a local layout, in the local-layouts tab and in the
// catalogue alike: the name wraps to a second line, shrinks (to no less
// than kMinimumScale of its size) only when two lines do not hold it, and
// a name too long even then makes its row taller. It is never cut. Main
// thread only.

#include <string>

namespace platform::ui {
class TableViewCell;
}

namespace VKMLayoutNameRow {

// The smallest share of the font's size the name is drawn at.
inline constexpr double kMinimumScale = 0.75;

// `cell`, of the default style, shows `name` by that rule: as many lines
// as its row's height holds.
void show(platform::ui::TableViewCell& cell, const std::string& name);

// The height of the row that shows `name` in a table `tableWidth` points
// wide: `rowHeight` while the name's lines at the smallest size fit it,
// else as much as they need.
double heightForName(const std::string& name, double tableWidth, double rowHeight);

}  // namespace VKMLayoutNameRow
