#pragma once
// The settings every pop-up menu reads when it builds its views, and the
// small value types they are made of. An appearance is shared: the manager
// and every menu it opened hold the same object, so a change reaches each
// menu whose view is not loaded yet. Main thread only.

#include "platform/graphics/Color.h"
#include "platform/graphics/Geometry.h"
#include "platform/ui/views/Application.h"
#include "platform/ui/views/Font.h"
#include "platform/ui/views/ScrollView.h"
#include "platform/ui/views/VisualEffectView.h"

#include <array>
#include <optional>
#include <vector>

// One colour: a solid panel; two or more: a gradient from the first to the
// last; none: no colour of the panel's own.
struct PopupMenuActionBackgroundColor {
    std::vector<platform::Color> colors;

    static PopupMenuActionBackgroundColor solid(const platform::Color& fill) { return {{fill}}; }
    static PopupMenuActionBackgroundColor gradient(std::vector<platform::Color> fill) { return {std::move(fill)}; }
};

// Titles and icons of rows that bring no colour of their own.
struct PopupMenuActionColor {
    platform::Color color;

    static PopupMenuActionColor tint(const platform::Color& color) { return {color}; }
};

struct PopupMenuColor {
    PopupMenuActionBackgroundColor backgroundColor;
    PopupMenuActionColor actionColor;

    static PopupMenuColor configure(PopupMenuActionBackgroundColor background, PopupMenuActionColor action) {
        return {std::move(background), action};
    }
};

// What lies behind the panel. A field that does not apply is absent, not
// false.
struct PopupMenuBackgroundStyle {
    std::optional<bool> isDimmed;
    std::optional<platform::Color> dimColor;
    std::optional<double> dimOpacity;
    std::optional<bool> isBlurred;
    std::optional<platform::ui::BlurEffectStyle> blurStyle;

    static PopupMenuBackgroundStyle dimmed(const platform::Color& color, double opacity) {
        return {true, color, opacity, std::nullopt, std::nullopt};
    }
    static PopupMenuBackgroundStyle blurred(platform::ui::BlurEffectStyle style) {
        return {std::nullopt, std::nullopt, std::nullopt, true, style};
    }
    static PopupMenuBackgroundStyle none() { return {}; }
};

// The line below each row but the last.
struct PopupMenuActionSeparator {
    double height = 0;
    platform::Color color = platform::Color::clear();

    static PopupMenuActionSeparator none() { return {}; }
    static PopupMenuActionSeparator fill(const platform::Color& color, double height) { return {height, color}; }

    friend bool operator==(const PopupMenuActionSeparator&, const PopupMenuActionSeparator&) = default;
};

enum class PopupMenuDirection { top, left, right, bottom, none };

// Kept and handed on with the appearance; the menu's placement does not
// depend on it.
struct PopupMenuPresentationStyle {
    PopupMenuDirection direction = PopupMenuDirection::none;
    std::optional<platform::Point> offset;

    static PopupMenuPresentationStyle cover() { return {}; }
    static PopupMenuPresentationStyle near(PopupMenuDirection direction,
                                           std::optional<platform::Point> offset = std::nullopt) {
        return {direction, offset};
    }
};

class PopupMenuAppearance {
public:
    // The defaults: a dark grey gradient panel with white titles over a
    // background dimmed with black at 0.4, semibold system font of 16,
    // corner radius 24, rows of 50 points, scrolling from six rows, no
    // separator.
    PopupMenuAppearance();

    const PopupMenuColor& popupMenuColor() const { return mColor; }
    void setPopupMenuColor(PopupMenuColor color) { mColor = std::move(color); }
    const PopupMenuBackgroundStyle& popupMenuBackgroundStyle() const { return mBackgroundStyle; }
    void setPopupMenuBackgroundStyle(const PopupMenuBackgroundStyle& style) { mBackgroundStyle = style; }
    const platform::ui::Font& popupMenuFont() const { return mFont; }
    void setPopupMenuFont(platform::ui::Font font) { mFont = std::move(font); }
    double popupMenuCornerRadius() const { return mCornerRadius; }
    void setPopupMenuCornerRadius(double radius) { mCornerRadius = radius; }
    double popupMenuActionHeight() const { return mActionHeight; }
    void setPopupMenuActionHeight(double height) { mActionHeight = height; }
    // From this many rows on, the rows scroll.
    std::size_t popupMenuActionCountForScrollable() const { return mActionCountForScrollable; }
    void setPopupMenuActionCountForScrollable(std::size_t count) { mActionCountForScrollable = count; }
    platform::ui::ScrollViewIndicatorStyle popupMenuScrollIndicatorStyle() const { return mScrollIndicatorStyle; }
    void setPopupMenuScrollIndicatorStyle(platform::ui::ScrollViewIndicatorStyle style) {
        mScrollIndicatorStyle = style;
    }
    bool popupMenuScrollIndicatorHidden() const { return mScrollIndicatorHidden; }
    void setPopupMenuScrollIndicatorHidden(bool hidden) { mScrollIndicatorHidden = hidden; }
    const PopupMenuActionSeparator& popupMenuItemSeparator() const { return mItemSeparator; }
    void setPopupMenuItemSeparator(const PopupMenuActionSeparator& separator) { mItemSeparator = separator; }
    // Absent: the menu derives the style from its background.
    std::optional<platform::ui::StatusBarStyle> popupMenuStatusBarStyle() const { return mStatusBarStyle; }
    void setPopupMenuStatusBarStyle(std::optional<platform::ui::StatusBarStyle> style) { mStatusBarStyle = style; }
    const PopupMenuPresentationStyle& popupMenuPresentationStyle() const { return mPresentationStyle; }
    void setPopupMenuPresentationStyle(const PopupMenuPresentationStyle& style) { mPresentationStyle = style; }

private:
    PopupMenuColor mColor;
    PopupMenuBackgroundStyle mBackgroundStyle;
    platform::ui::Font mFont = platform::ui::Font::systemFont(16, platform::ui::FontWeight::semibold);
    double mCornerRadius = 24;
    double mActionHeight = 50;
    std::size_t mActionCountForScrollable = 6;
    platform::ui::ScrollViewIndicatorStyle mScrollIndicatorStyle = platform::ui::ScrollViewIndicatorStyle::white;
    bool mScrollIndicatorHidden = false;
    PopupMenuActionSeparator mItemSeparator;
    std::optional<platform::ui::StatusBarStyle> mStatusBarStyle;
    PopupMenuPresentationStyle mPresentationStyle;
};

// The colour helpers the rows and the menu share.
namespace PopupMenuColorHelpers {

// Red, green, blue and alpha.
std::array<double, 4> rgbaComponents(const platform::Color& color);
// Opaque black for a light colour, opaque white for a dark one (from half
// the perceived darkness on).
platform::Color blackOrWhiteContrastingColor(const platform::Color& color);
// The colour with its alpha replaced.
platform::Color withAlpha(const platform::Color& color, double alpha);

}  // namespace PopupMenuColorHelpers
