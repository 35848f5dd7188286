#include "DocPickerModule/LocalLayouts/VKMLayoutNameRow.h"

#include "platform/ui/views/Label.h"
#include "platform/ui/views/TableViewCell.h"

#include <algorithm>
#include <cmath>
#include <memory>

using namespace platform::ui;

namespace VKMLayoutNameRow {

namespace {

// Above and below the lines of a row made taller for them.
constexpr double kPadding = 4;

}  // namespace

void show(TableViewCell& cell, const std::string& name) {
    const auto& label = cell.textLabel();
    // Lines as the bounds allow: two in a row of the usual height, more in
    // one made taller for a long name.
    label->setNumberOfLines(0);
    label->setAdjustsFontSizeToFitWidth(true);
    label->setMinimumScaleFactor(kMinimumScale);
    label->setText(name);
}

double heightForName(const std::string& name, double tableWidth, double rowHeight) {
    // The name as the row's label draws it at its smallest, in the width
    // the cell's margins leave.
    const auto label = std::make_shared<Label>();
    label->setFont(label->font().withSize(label->font().pointSize() * kMinimumScale));
    label->setNumberOfLines(0);
    label->setText(name);
    const double width = std::max(0.0, tableWidth - 2 * TableViewCell::kMargin);
    const double lines = label->sizeThatFits({width, 0}).height;
    return lines <= rowHeight ? rowHeight : std::ceil(lines + 2 * kPadding);
}

}  // namespace VKMLayoutNameRow
