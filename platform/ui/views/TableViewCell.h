#pragma once
// A row of a table view. Its subviews go into the content view; the
// standard styles add a text label (and, for subtitle, a detail label below
// it) and an image view at the leading edge, each made on first use, so a
// prototype cell that only holds tagged views of its own carries none of
// them. A cell made for reuse keeps its identifier; the table calls
// prepareForReuse() before it hands the cell out again.
//
// Cells are made with std::make_shared (the content view is added on first
// use, once the cell is shared). Main thread only.

#include "platform/ui/views/View.h"

#include <memory>
#include <string>

namespace platform::ui {

class ImageView;
class Label;

enum class TableViewCellStyle { defaultStyle, subtitle };

// How a selected or highlighted cell shows it; none shows nothing.
enum class TableViewCellSelectionStyle { none, defaultStyle };

class TableViewCell : public View {
public:
    // Leading and trailing space of the standard layout.
    static constexpr double kMargin = 16;
    static constexpr Color kSelectedBackground{0.82, 0.82, 0.84, 1};

    explicit TableViewCell(TableViewCellStyle style = TableViewCellStyle::defaultStyle,
                           std::string reuseIdentifier = {});
    ~TableViewCell() override;

    TableViewCellStyle style() const { return mStyle; }
    const std::string& reuseIdentifier() const { return mReuseIdentifier; }

    // Made on first use and kept.
    const std::shared_ptr<View>& contentView();
    const std::shared_ptr<Label>& textLabel();
    // Null for the default style.
    std::shared_ptr<Label> detailTextLabel();
    const std::shared_ptr<ImageView>& imageView();

    TableViewCellSelectionStyle selectionStyle() const { return mSelectionStyle; }
    void setSelectionStyle(TableViewCellSelectionStyle style);
    bool isSelected() const { return mSelected; }
    void setSelected(bool selected, bool animated = false);
    bool isHighlighted() const { return mHighlighted; }
    void setHighlighted(bool highlighted, bool animated = false);

    // Called by the table before the cell is dequeued again: clears the
    // selection and highlight. Subclasses reset their own state after
    // calling this.
    virtual void prepareForReuse();

    void layoutSubviews() override;
    std::string className() const override { return "TableViewCell"; }
    void describeForDump(std::string& line) const override;

private:
    void showSelection(bool animated);

    TableViewCellStyle mStyle;
    std::string mReuseIdentifier;
    std::shared_ptr<View> mContentView;
    std::shared_ptr<Label> mTextLabel;
    std::shared_ptr<Label> mDetailTextLabel;
    std::shared_ptr<ImageView> mImageView;
    TableViewCellSelectionStyle mSelectionStyle = TableViewCellSelectionStyle::defaultStyle;
    bool mSelected = false;
    bool mHighlighted = false;
};

}  // namespace platform::ui
