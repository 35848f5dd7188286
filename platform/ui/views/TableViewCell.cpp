#include "platform/ui/views/TableViewCell.h"

#include "platform/ui/views/ImageView.h"
#include "platform/ui/views/Label.h"

#include <algorithm>

namespace platform::ui {

namespace {

constexpr double kDetailFontSize = 12;
constexpr double kSelectionFadeDuration = 0.25;

}  // namespace

TableViewCell::TableViewCell(TableViewCellStyle style, std::string reuseIdentifier)
    : mStyle(style), mReuseIdentifier(std::move(reuseIdentifier)) {
    setBackgroundColor(Color{1, 1, 1, 1});
}

TableViewCell::~TableViewCell() = default;

const std::shared_ptr<View>& TableViewCell::contentView() {
    if (!mContentView) {
        mContentView = std::make_shared<View>(Rect{0, 0, bounds().width, bounds().height});
        mContentView->setAutoresizingMask(ViewAutoresizing::flexibleWidth | ViewAutoresizing::flexibleHeight);
        addSubview(mContentView);
    }
    return mContentView;
}

const std::shared_ptr<Label>& TableViewCell::textLabel() {
    if (!mTextLabel) {
        mTextLabel = std::make_shared<Label>();
        contentView()->addSubview(mTextLabel);
        setNeedsLayout();
    }
    return mTextLabel;
}

std::shared_ptr<Label> TableViewCell::detailTextLabel() {
    if (mStyle == TableViewCellStyle::defaultStyle) return nullptr;
    if (!mDetailTextLabel) {
        mDetailTextLabel = std::make_shared<Label>();
        mDetailTextLabel->setFont(Font::systemFont(kDetailFontSize));
        contentView()->addSubview(mDetailTextLabel);
        setNeedsLayout();
    }
    return mDetailTextLabel;
}

const std::shared_ptr<ImageView>& TableViewCell::imageView() {
    if (!mImageView) {
        mImageView = std::make_shared<ImageView>();
        mImageView->setContentMode(ViewContentMode::scaleAspectFit);
        contentView()->addSubview(mImageView);
        setNeedsLayout();
    }
    return mImageView;
}

void TableViewCell::setSelectionStyle(TableViewCellSelectionStyle style) {
    mSelectionStyle = style;
    showSelection(false);
}

void TableViewCell::setSelected(bool selected, bool animated) {
    if (mSelected == selected) return;
    mSelected = selected;
    showSelection(animated);
}

void TableViewCell::setHighlighted(bool highlighted, bool animated) {
    if (mHighlighted == highlighted) return;
    mHighlighted = highlighted;
    showSelection(animated);
}

void TableViewCell::showSelection(bool animated) {
    const bool shown = (mSelected || mHighlighted) && mSelectionStyle != TableViewCellSelectionStyle::none;
    const Color color = shown ? kSelectedBackground : Color{1, 1, 1, 1};
    if (backgroundColor() == color) return;
    if (animated) {
        View::animate(kSelectionFadeDuration, [&] { setBackgroundColor(color); });
    } else {
        setBackgroundColor(color);
    }
}

void TableViewCell::prepareForReuse() {
    mSelected = false;
    mHighlighted = false;
    showSelection(false);
}

void TableViewCell::layoutSubviews() {
    const Rect b = bounds();
    if (mContentView) mContentView->setFrame({0, 0, b.width, b.height});
    double x = kMargin;
    if (mImageView && mImageView->image()) {
        const Size natural = mImageView->intrinsicContentSize();
        const double height = std::min(natural.height, b.height);
        const double width = natural.height > 0 ? natural.width * height / natural.height : 0;
        mImageView->setFrame({x, (b.height - height) / 2, width, height});
        x += width + kMargin;
    }
    const double width = std::max(0.0, b.width - x - kMargin);
    if (mTextLabel && mDetailTextLabel) {
        const double top = mTextLabel->font().lineHeight();
        const double bottom = mDetailTextLabel->font().lineHeight();
        const double y = std::max(0.0, (b.height - top - bottom) / 2);
        mTextLabel->setFrame({x, y, width, top});
        mDetailTextLabel->setFrame({x, y + top, width, bottom});
    } else if (mTextLabel) {
        mTextLabel->setFrame({x, 0, width, b.height});
    } else if (mDetailTextLabel) {
        mDetailTextLabel->setFrame({x, 0, width, b.height});
    }
}

void TableViewCell::describeForDump(std::string& line) const {
    View::describeForDump(line);
    if (!mReuseIdentifier.empty()) line += " reuseIdentifier=" + mReuseIdentifier;
    if (mSelected) line += " selected";
}

}  // namespace platform::ui
