#include "platform/ui/views/Button.h"

#include "platform/ui/views/ImageView.h"
#include "platform/ui/views/Label.h"

#include <algorithm>

namespace platform::ui {

namespace {

constexpr Color kDisabledSystemColor{0.6, 0.6, 0.6, 1};
constexpr Color kCustomTitleColor{1, 1, 1, 1};
constexpr double kTitleFontSize = 15;

// How far edge insets move a rectangle placed with an alignment along one
// axis: by the leading inset, against the trailing one, by half their
// difference when centred; a filling rectangle shrinks by both.
void moveAlong(double& origin, double& length, double lead, double trail, bool leading, bool trailing, bool fill) {
    if (fill) {
        origin += lead;
        length = std::max(0.0, length - lead - trail);
    } else if (leading) {
        origin += lead;
    } else if (trailing) {
        origin -= trail;
    } else {
        origin += (lead - trail) / 2;
    }
}

}  // namespace

std::shared_ptr<Button> Button::make(ButtonType type) {
    auto button = std::make_shared<Button>(type);
    button->installSubviews();
    return button;
}

Button::Button(ButtonType type, const Rect& frame)
    : Control(frame), mType(type), mTitleLabel(std::make_shared<Label>()), mImageView(std::make_shared<ImageView>()) {
    mTitleLabel->setFont(Font::systemFont(kTitleFontSize));
    mTitleLabel->setTextAlignment(TextAlignment::center);
    mImageView->setContentMode(ViewContentMode::scaleAspectFit);
    update();
}

void Button::didMoveToSuperview() {
    Control::didMoveToSuperview();
    installSubviews();
}

void Button::installSubviews() {
    if (mTitleLabel->superview().get() == this) return;
    addSubview(mImageView);
    addSubview(mTitleLabel);
}

template <typename T>
std::optional<T> Button::lookup(const std::map<ControlState, T>& table, ControlState state) {
    if (const auto found = table.find(state); found != table.end()) return found->second;
    if (const auto normal = table.find(ControlState::normal); normal != table.end()) return normal->second;
    return std::nullopt;
}

void Button::setTitle(std::optional<std::string> title, ControlState state) {
    if (title) {
        mTitles[state] = std::move(*title);
    } else {
        mTitles.erase(state);
    }
    update();
}

std::optional<std::string> Button::titleForState(ControlState state) const { return lookup(mTitles, state); }

void Button::setTitleColor(std::optional<Color> color, ControlState state) {
    if (color) {
        mTitleColors[state] = *color;
    } else {
        mTitleColors.erase(state);
    }
    update();
}

Color Button::titleColorForState(ControlState state) const {
    if (const auto color = lookup(mTitleColors, state)) return *color;
    if (mType == ButtonType::custom) return kCustomTitleColor;
    return hasFlag(state, ControlState::disabled) ? kDisabledSystemColor : tintColor();
}

void Button::setImage(std::shared_ptr<Image> image, ControlState state) {
    if (image) {
        mImages[state] = std::move(image);
    } else {
        mImages.erase(state);
    }
    update();
}

std::shared_ptr<Image> Button::imageForState(ControlState state) const {
    return lookup(mImages, state).value_or(nullptr);
}

void Button::setContentEdgeInsets(const EdgeInsets& insets) {
    mContentInsets = insets;
    invalidateIntrinsicContentSize();
    setNeedsLayout();
}

void Button::setTitleEdgeInsets(const EdgeInsets& insets) {
    mTitleInsets = insets;
    setNeedsLayout();
}

void Button::setImageEdgeInsets(const EdgeInsets& insets) {
    mImageInsets = insets;
    setNeedsLayout();
}

void Button::stateDidChange() { update(); }

void Button::tintColorDidChange() { update(); }

void Button::update() {
    const ControlState s = state();
    const auto title = titleForState(s);
    mTitleLabel->setText(title.value_or(""));
    mTitleLabel->setHidden(!title || title->empty());
    mTitleLabel->setTextColor(titleColorForState(s));

    const auto image = imageForState(s);
    if (image != mShownImage) {
        mShownImage = image;
        // A system button shows its plain images as templates in its tint.
        const bool asTemplate =
            image && mType == ButtonType::system && image->renderingMode() == ImageRenderingMode::automatic;
        mImageView->setImage(asTemplate ? image->withRenderingMode(ImageRenderingMode::alwaysTemplate) : image);
    }
    mImageView->setHidden(!image);
    const bool dimmed = mType == ButtonType::system && !isEnabled();
    mImageView->setTintColor(dimmed ? std::optional<Color>(kDisabledSystemColor) : std::nullopt);

    double alpha = 1;
    if (mType == ButtonType::system && isHighlighted()) alpha = kHighlightedAlpha;
    if (mType == ButtonType::custom && !isEnabled()) alpha = kDisabledAlpha;
    View::performWithoutAnimation([&] {
        mTitleLabel->setAlpha(alpha);
        mImageView->setAlpha(alpha);
    });
    invalidateIntrinsicContentSize();
    setNeedsLayout();
}

Size Button::contentSize() const {
    Size size;
    if (!mImageView->isHidden() && mImageView->image()) size = mImageView->image()->size();
    if (!mTitleLabel->isHidden()) {
        const Size title = mTitleLabel->intrinsicContentSize();
        size.width += title.width;
        size.height = std::max(size.height, title.height);
    }
    return size;
}

Size Button::sizeThatFits(Size size) const {
    (void)size;
    const Size content = contentSize();
    return {content.width + mContentInsets.left + mContentInsets.right,
            content.height + mContentInsets.top + mContentInsets.bottom};
}

Size Button::intrinsicContentSize() const { return sizeThatFits({}); }

void Button::layoutSubviews() {
    const Rect content = insetRect(bounds(), mContentInsets);
    Size imageSize;
    if (!mImageView->isHidden() && mImageView->image()) {
        imageSize = mImageView->image()->size();
        // An image larger than the content shrinks to it, keeping its shape.
        const double fit = std::min({1.0, imageSize.width > 0 ? content.width / imageSize.width : 1.0,
                                     imageSize.height > 0 ? content.height / imageSize.height : 1.0});
        imageSize = {imageSize.width * std::max(0.0, fit), imageSize.height * std::max(0.0, fit)};
    }
    Size titleSize;
    if (!mTitleLabel->isHidden()) {
        titleSize = mTitleLabel->intrinsicContentSize();
        titleSize.width = std::min(titleSize.width, std::max(0.0, content.width - imageSize.width));
    }

    const auto h = contentHorizontalAlignment();
    const bool left = h == ControlContentHorizontalAlignment::left || h == ControlContentHorizontalAlignment::leading;
    const bool right =
        h == ControlContentHorizontalAlignment::right || h == ControlContentHorizontalAlignment::trailing;
    const bool fillX = h == ControlContentHorizontalAlignment::fill;
    const auto v = contentVerticalAlignment();
    const bool top = v == ControlContentVerticalAlignment::top;
    const bool bottom = v == ControlContentVerticalAlignment::bottom;
    const bool fillY = v == ControlContentVerticalAlignment::fill;

    if (fillX) titleSize.width = std::max(0.0, content.width - imageSize.width);
    const double total = imageSize.width + titleSize.width;
    const double x0 = left || fillX ? content.minX()
                      : right       ? content.maxX() - total
                                    : content.minX() + (content.width - total) / 2;
    const auto placeY = [&](double height) {
        if (fillY) return std::pair{content.minY(), content.height};
        if (top) return std::pair{content.minY(), height};
        if (bottom) return std::pair{content.maxY() - height, height};
        return std::pair{content.minY() + (content.height - height) / 2, height};
    };

    const auto place = [&](View& view, double x, double width, double height, const EdgeInsets& insets) {
        auto [y, h2] = placeY(height);
        double w = width;
        moveAlong(x, w, insets.left, insets.right, left, right, fillX);
        moveAlong(y, h2, insets.top, insets.bottom, top, bottom, fillY);
        view.setFrame({x, y, w, h2});
    };
    place(*mImageView, x0, imageSize.width, imageSize.height, mImageInsets);
    place(*mTitleLabel, x0 + imageSize.width, titleSize.width, titleSize.height, mTitleInsets);
}

void Button::describeForDump(std::string& line) const {
    Control::describeForDump(line);
    if (const auto title = currentTitle()) line += " title=\"" + *title + "\"";
}

}  // namespace platform::ui
