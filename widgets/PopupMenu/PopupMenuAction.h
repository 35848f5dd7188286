#pragma once
// One row of a pop-up menu: an optional icon and a title in a view of its
// own, highlighted while a finger is on it and pressed when chosen. The
// menu talks to its rows only through PopupMenuAction; PopupMenuDefaultAction
// is the one implementation. Main thread only.

#include "platform/graphics/Color.h"
#include "platform/graphics/Image.h"
#include "platform/ui/views/Font.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace platform::ui {
class ImageView;
class Label;
class View;
}  // namespace platform::ui

class PopupMenuAction {
public:
    using SelectHandler = std::function<void(PopupMenuAction&)>;

    virtual ~PopupMenuAction() = default;

    virtual const std::optional<std::string>& title() const = 0;
    virtual const std::shared_ptr<platform::Image>& image() const = 0;
    // The row.
    virtual const std::shared_ptr<platform::ui::View>& view() const = 0;
    // The row's own title and icon colour; absent: the menu's.
    virtual const std::optional<platform::Color>& color() const = 0;
    virtual const SelectHandler& didSelect() const = 0;
    virtual double iconWidthHeight() const = 0;
    virtual void setIconWidthHeight(double size) = 0;
    virtual platform::Color tintColor() const = 0;
    virtual void setTintColor(const platform::Color& color) = 0;
    virtual platform::ui::Font font() const = 0;
    virtual void setFont(const platform::ui::Font& font) = 0;
    virtual double cornerRadius() const = 0;
    virtual void setCornerRadius(double radius) = 0;
    virtual bool highlighted() const = 0;
    virtual void setHighlighted(bool highlighted) = 0;
    // Builds the row's content and lays it out.
    virtual void renderActionView() = 0;
    // The row was chosen: runs didSelect; the default does nothing more.
    virtual void actionSelected(bool animated) { (void)animated; }
};

class PopupMenuDefaultAction : public PopupMenuAction, public std::enable_shared_from_this<PopupMenuDefaultAction> {
public:
    static constexpr double textLeftPadding = 25;
    static constexpr double iconLeftPadding = 18;
    // Space between the icon and the title, and the title's margin to the
    // row's trailing edge.
    static constexpr double iconTextSpacing = 8;
    static constexpr double textRightPadding = 20;
    static constexpr double renderedCornerRadius = 14;

    static constexpr double highlightDuration = 0.26;
    static constexpr double highlightDamping = 0.6;
    static constexpr double highlightVelocity = 9;
    static constexpr double highlightScale = 1.09;
    static constexpr double highlightAlpha = 0.25;
    static constexpr double pressDuration = 0.175;
    static constexpr double pressScale = 0.915;
    static constexpr double pressAlpha = 0.18;

    // Each may be absent. Shared: the animations it schedules hold it
    // weakly.
    static std::shared_ptr<PopupMenuDefaultAction> make(std::optional<std::string> title = std::nullopt,
                                                        std::shared_ptr<platform::Image> image = nullptr,
                                                        std::optional<platform::Color> color = std::nullopt,
                                                        SelectHandler didSelect = {});
    PopupMenuDefaultAction(std::optional<std::string> title, std::shared_ptr<platform::Image> image,
                           std::optional<platform::Color> color, SelectHandler didSelect);
    ~PopupMenuDefaultAction() override;

    const std::optional<std::string>& title() const override { return mTitle; }
    const std::shared_ptr<platform::Image>& image() const override { return mImage; }
    const std::shared_ptr<platform::ui::View>& view() const override { return mView; }
    const std::optional<platform::Color>& color() const override { return mColor; }
    const SelectHandler& didSelect() const override { return mDidSelect; }
    double iconWidthHeight() const override { return mIconWidthHeight; }
    void setIconWidthHeight(double size) override { mIconWidthHeight = size; }
    // The title's colour; setting it also tints the icon and picks the
    // highlight's colour to contrast with it.
    platform::Color tintColor() const override;
    void setTintColor(const platform::Color& color) override;
    platform::ui::Font font() const override;
    void setFont(const platform::ui::Font& font) override;
    // The row view layer's.
    double cornerRadius() const override;
    void setCornerRadius(double radius) override;
    bool highlighted() const override { return mHighlighted; }
    // A change schedules the highlight animation on the main queue.
    void setHighlighted(bool highlighted) override;
    // Rounds the row to 14 points and lays out the icon and the title.
    void renderActionView() override;
    // didSelect first; then, when animated, the press animation is
    // scheduled on the main queue.
    void actionSelected(bool animated) override;

    platform::ImageRenderingMode imageRenderingMode() const { return mImageRenderingMode; }
    void setImageRenderingMode(platform::ImageRenderingMode mode) { mImageRenderingMode = mode; }
    // The tint of the highlight and press animations.
    const platform::Color& backgroundColor() const { return mBackgroundColor; }
    // Made on first use.
    const std::shared_ptr<platform::ui::Label>& titleLabel();
    const std::shared_ptr<platform::ui::ImageView>& iconImageView();

private:
    void animateHighlight();
    void animatePress();

    std::optional<std::string> mTitle;
    std::shared_ptr<platform::Image> mImage;
    platform::ImageRenderingMode mImageRenderingMode = platform::ImageRenderingMode::alwaysTemplate;
    std::shared_ptr<platform::ui::View> mView;
    std::optional<platform::Color> mColor;
    SelectHandler mDidSelect;
    double mIconWidthHeight = 27;
    bool mHighlighted = false;
    platform::Color mBackgroundColor{1, 1, 1, 1};
    std::shared_ptr<platform::ui::Label> mTitleLabel;
    std::shared_ptr<platform::ui::ImageView> mIconImageView;
};
