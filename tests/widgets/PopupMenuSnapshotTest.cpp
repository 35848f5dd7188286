// What the menu shows on screen, against what its appearance's numbers say
// it should: the open menu compared with the same drawn by hand (dimmed
// screen, shadowed rounded panel of a gradient, one colour or none, rows
// with titles, icons and separators), the dim and the panel's place
// sampled half way through opening and closing, and the screen as it was
// before once the menu has gone, however it was closed.

#include <gtest/gtest.h>

#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/Image.h"
#include "platform/graphics/Shadow.h"
#include "platform/ui/views/Font.h"
#include "platform/ui/input/TouchSynth.h"
#include "tests/widgets/support/ChartTestSupport.h"
#include "tests/widgets/support/PopupMenuStage.h"
#include "widgets/PopupMenu/PopupMenuViewController.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using namespace popupmenutest;
using platform::BitmapContext;
using platform::Color;
using platform::Point;
using platform::Rect;
using platform::ui::currentMediaTime;

namespace {

constexpr double kScale = 2;
const Color kWhite{1, 1, 1, 1};
// What the toolkit's dark blur lays over what lies beneath it.
const Color kDarkBlurTint{0.11, 0.11, 0.11, 0.73};

// A stage at two pixels a point over a white screen.
struct WhiteStage : Stage {
    WhiteStage() {
        platform::ui::Screen::mainScreen()->setScale(kScale);
        root->view()->setBackgroundColor(kWhite);
        window->layoutIfNeeded();
    }
};

// An icon opaque on its right half only, so that its place and its tint
// both show.
std::shared_ptr<platform::Image> halfIcon() {
    std::vector<platform::Pixel> pixels(16 * 16, platform::Pixel{0, 0, 0, 0});
    for (int y = 0; y < 16; ++y) {
        for (int x = 8; x < 16; ++x) pixels[y * 16 + x] = platform::Pixel{0, 0, 0, 255};
    }
    return platform::Image::fromPixels(16, 16, pixels);
}

struct Row {
    std::string title;
    bool icon = false;
};

std::vector<std::shared_ptr<PopupMenuAction>> actionsFor(const std::vector<Row>& rows,
                                                         const std::shared_ptr<platform::Image>& icon) {
    std::vector<std::shared_ptr<PopupMenuAction>> actions;
    for (const Row& row : rows) actions.push_back(PopupMenuDefaultAction::make(row.title, row.icon ? icon : nullptr));
    return actions;
}

// The menu's four rows: 48 points each between the 4-point margins of a
// panel of 200, so that rows, titles, icons and separators all lie on
// whole pixels.
const std::vector<Row> kRows{{"By type", true}, {"By layer", true}, {"By height", false}, {"By size", false}};

// The panel of kRows on a whole point: as wide as the longest title with
// both paddings and the icon's room, four rows of 50 high.
Rect panelOfFourRows() { return {93, 300, 50 + labelWidth("By height") + 27, 200}; }

// A 44-point source that the menu centres `panel` on, their tops level.
Rect sourceFor(const Rect& panel) { return {panel.x + panel.width / 2 - 22, panel.y, 44, 44}; }

// The screen as the appearance says the open menu looks, drawn from its
// numbers: the white screen dimmed; a shadow of black at 0.5, blurred by
// 20 points, one point down; a panel rounded by the corner radius holding
// the dark blur of the screen as it was when the menu came up (white, the
// dim not yet faded in) and the panel's colours (none; one at 0.9; or a
// diagonal gradient from the first to the last between 5 % and 95 %, which
// fades the rows with it to 0.8); rows 4 points in from top and bottom,
// titles 25 points in (53 after a 27-point icon 18 points in), and a
// separator below every row but the last; each row clipped to corners of
// 14.
std::unique_ptr<BitmapContext> drawnByHand(const Rect& panel, const std::vector<Row>& rows,
                                           const std::shared_ptr<platform::Image>& icon,
                                           const PopupMenuAppearance& look,
                                           std::optional<std::size_t> highlighted = std::nullopt) {
    const platform::Size size = platform::ui::Screen::kDefaultSize;
    const double radius = look.popupMenuCornerRadius();
    auto c = BitmapContext::createForPointSize(size, kScale);
    c->setFillColor(kWhite);
    c->fillRect({0, 0, size.width, size.height});
    const PopupMenuBackgroundStyle& dim = look.popupMenuBackgroundStyle();
    c->setFillColor({dim.dimColor->red, dim.dimColor->green, dim.dimColor->blue, *dim.dimOpacity});
    c->fillRect({0, 0, size.width, size.height});

    auto outline = BitmapContext::createForPointSize(panel.size(), kScale);
    outline->addRoundedRect({0, 0, panel.width, panel.height}, radius);
    outline->fill();
    const auto shadow = platform::makeShadowImage(*outline->makeImage(), 20 * kScale, {0, 0, 0, 0.5});
    const double margin = shadow.margin / kScale;
    c->drawImage(*shadow.image,
                 {panel.x - margin, panel.y + 1 - margin, panel.width + 2 * margin, panel.height + 2 * margin});

    c->save();
    c->addRoundedRect(panel, radius);
    c->clip();
    c->setFillColor(kWhite);
    c->fillRect(panel);
    c->setFillColor(kDarkBlurTint);
    c->fillRect(panel);
    const auto& colors = look.popupMenuColor().backgroundColor.colors;
    if (colors.size() >= 2) c->setAlpha(0.8);
    c->beginTransparencyLayer();
    if (colors.size() == 1) {
        c->setFillColor({colors[0].red, colors[0].green, colors[0].blue, 0.9});
        c->fillRect(panel);
    } else if (colors.size() >= 2) {
        c->drawLinearGradient({{0.05, colors.front()}, {0.95, colors.back()}}, {panel.minX(), panel.minY()},
                              {panel.maxX(), panel.maxY()}, true);
    }
    const Color tint = look.popupMenuColor().actionColor.color;
    const PopupMenuActionSeparator& separator = look.popupMenuItemSeparator();
    const double rowHeight = (panel.height - 8) / static_cast<double>(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Rect row{panel.x, panel.y + 4 + rowHeight * static_cast<double>(i), panel.width, rowHeight};
        const double middleY = row.y + row.height / 2;
        c->save();
        if (highlighted == i) {
            // Grown by 1.09 about its centre, over black at 0.25 (the
            // contrast of the white titles).
            c->translate(row.x + row.width / 2, middleY);
            c->scale(1.09, 1.09);
            c->translate(-(row.x + row.width / 2), -middleY);
        }
        c->addRoundedRect(row, 14);
        c->clip();
        if (highlighted == i) {
            c->setFillColor({0, 0, 0, 0.25});
            c->fillRect(row);
        }
        if (rows[i].icon) {
            c->setFillColor(tint);
            c->fillMask(*icon, {row.x + 18, middleY - 27.0 / 2, 27, 27});
        }
        const double titleX = row.x + (rows[i].icon ? 18 + 27 + 8 : 25);
        c->drawText(rows[i].title, {titleX, middleY - look.popupMenuFont().lineHeight() / 2},
                    look.popupMenuFont().textAttributes(tint));
        if (i + 1 < rows.size() && separator.height > 0) {
            c->setFillColor(separator.color);
            c->fillRect({row.x, row.maxY() - separator.height, row.width, separator.height});
        }
        c->restore();
    }
    c->endTransparencyLayer();
    c->restore();
    return c;
}

// The menu of kRows with `look`, open over a white screen.
struct OpenMenu {
    WhiteStage stage;
    std::shared_ptr<platform::Image> icon = halfIcon();
    Rect panel = panelOfFourRows();
    std::shared_ptr<PopupMenuAppearance> look;
    std::shared_ptr<PopupMenuViewController> menu;

    explicit OpenMenu(std::shared_ptr<PopupMenuAppearance> appearance) : look(std::move(appearance)) {
        menu = PopupMenuViewController::make(stage.sourceAt(sourceFor(panel)), actionsFor(kRows, icon), look);
        stage.present(menu);
    }

    // Pixels of the screen that differ by more than a little from the
    // drawing by hand at `place` with `by`.
    int differingFromHand(const Rect& place, const PopupMenuAppearance& by,
                          std::optional<std::size_t> highlighted = std::nullopt) {
        return charttest::CountDiffering(*stage.window->snapshot(), *drawnByHand(place, kRows, icon, by, highlighted),
                                         6);
    }
    int differingFromHand() { return differingFromHand(panel, *look); }
};

// Orange separators of 2 points.
std::shared_ptr<PopupMenuAppearance> separated() {
    auto look = std::make_shared<PopupMenuAppearance>();
    look->setPopupMenuItemSeparator(PopupMenuActionSeparator::fill({1, 0.5, 0, 1}, 2));
    return look;
}

// Pixels of two images of the same size that differ at all.
int differingPixels(const platform::Image& a, const platform::Image& b) {
    int differing = 0;
    for (int y = 0; y < a.pixelHeight(); ++y) {
        for (int x = 0; x < a.pixelWidth(); ++x) {
            if (a.pixel(x, y) != b.pixel(x, y)) ++differing;
        }
    }
    return differing;
}

// The grey level of the pixel under the point.
int greyAt(const platform::Image& shot, Point p) {
    return shot.pixel(static_cast<int>(p.x * kScale), static_cast<int>(p.y * kScale))->green;
}

// The white screen dimmed by black at 0.4 at `alpha`, in grey levels.
int dimmedWhite(double alpha) { return static_cast<int>(255 * (1 - 0.4 * alpha) + 0.5); }

// The panel shows at `frame`: 3 points inside the middle of each edge the
// screen is much darker than 3 points outside it.
void expectPanelAt(const platform::Image& shot, const Rect& frame, const char* when) {
    const Point mid = middle(frame);
    const struct {
        const char* edge;
        Point inside;
        Point outside;
    } edges[] = {
        {"left", {frame.minX() + 3, mid.y}, {frame.minX() - 3, mid.y}},
        {"right", {frame.maxX() - 3, mid.y}, {frame.maxX() + 3, mid.y}},
        {"top", {mid.x, frame.minY() + 3}, {mid.x, frame.minY() - 3}},
        {"bottom", {mid.x, frame.maxY() - 3}, {mid.x, frame.maxY() + 3}},
    };
    for (const auto& e : edges) {
        EXPECT_GT(greyAt(shot, e.outside) - greyAt(shot, e.inside), 30) << when << ": " << e.edge << " edge";
    }
}

}  // namespace

TEST(PopupMenuSnapshot, TheOpenMenuLooksAsDrawnByHandFromItsAppearance) {
    OpenMenu open(separated());
    // Only antialiased edges may differ.
    EXPECT_LT(open.differingFromHand(), 400);
    // The comparison tells apart a panel a point off, one of another
    // corner radius, and rows without their separators.
    const Rect panel = open.panel;
    EXPECT_GT(open.differingFromHand({panel.x + 1, panel.y, panel.width, panel.height}, *open.look), 4000);
    PopupMenuAppearance other = *open.look;
    other.setPopupMenuCornerRadius(14);
    EXPECT_GT(open.differingFromHand(panel, other), 1000);
    other.setPopupMenuCornerRadius(24);
    other.setPopupMenuItemSeparator(PopupMenuActionSeparator::none());
    EXPECT_GT(open.differingFromHand(panel, other), 2000);
}

TEST(PopupMenuSnapshot, APanelOfOneColourIsSolidAndOneOfNoColourShowsOnlyTheBlur) {
    auto solid = std::make_shared<PopupMenuAppearance>();
    solid->setPopupMenuColor(PopupMenuColor::configure(PopupMenuActionBackgroundColor::solid({0.9, 0.8, 0.3, 1}),
                                                       PopupMenuActionColor::tint({0.1, 0.1, 0.4, 1})));
    EXPECT_LT(OpenMenu(solid).differingFromHand(), 400) << "one colour at 0.9, dark titles";
    auto none = std::make_shared<PopupMenuAppearance>();
    none->setPopupMenuColor(PopupMenuColor::configure({}, PopupMenuActionColor::tint(kWhite)));
    EXPECT_LT(OpenMenu(none).differingFromHand(), 400) << "no colour: the dark blur alone";
}

TEST(PopupMenuSnapshot, HalfWayThroughOpeningAndClosingTheDimAndThePanelAreHalfWayToo) {
    WhiteStage s;
    const Rect panel = panelOfFourRows();
    const Rect source = sourceFor(panel);
    auto menu = PopupMenuViewController::make(s.sourceAt(source), actionsFor(kRows, halfIcon()));
    const Point far{20, 700};

    // Opening takes 0.138 s on a curve that is symmetric about its middle:
    // half way, the dim is at half strength and the panel half way from the
    // source's frame to its own.
    const double opened = currentMediaTime();
    s.root->presentViewController(menu, true);
    s.advance(opened + 0.138 / 2 - currentMediaTime());
    auto shot = s.window->snapshot();
    const char* when = "half way through opening";
    EXPECT_NEAR(greyAt(*shot, far), dimmedWhite(0.5), 1) << when;
    expectPanelAt(*shot,
                  {(source.x + panel.x) / 2, (source.y + panel.y) / 2, (source.width + panel.width) / 2,
                   (source.height + panel.height) / 2},
                  when);
    s.advance(0.1);
    shot = s.window->snapshot();
    when = "open";
    EXPECT_NEAR(greyAt(*shot, far), dimmedWhite(1), 1) << when;
    expectPanelAt(*shot, panel, when);

    // Closing takes 0.0982 s: half way, the dim is at half strength and the
    // panel shrunk to (1 + 0.55) / 2 about its centre.
    const double closed = currentMediaTime();
    menu->dismissViewController(true);
    s.advance(closed + 0.0982 / 2 - currentMediaTime());
    shot = s.window->snapshot();
    when = "half way through closing";
    EXPECT_NEAR(greyAt(*shot, far), dimmedWhite(0.5), 1) << when;
    const double scale = (1 + 0.55) / 2;
    const Point centre = middle(panel);
    expectPanelAt(*shot,
                  {centre.x - panel.width * scale / 2, centre.y - panel.height * scale / 2, panel.width * scale,
                   panel.height * scale},
                  when);
}

TEST(PopupMenuSnapshot, OnceClosedNothingOfTheMenuRemainsOnScreen) {
    const struct {
        const char* how;
        std::function<void(Stage&, PopupMenuViewController&)> close;
    } ways[] = {
        {"closed by its owner", [](Stage&, PopupMenuViewController& menu) { menu.dismissViewController(true); }},
        {"a tap on the background",
         [](Stage& s, PopupMenuViewController&) {
             platform::ui::TouchSynth(s.window).tap({20, 700});
         }},
        {"a tap on a row, pressed as it closes",
         [](Stage& s, PopupMenuViewController& menu) {
             platform::ui::TouchSynth(s.window).tap(middle(windowFrame(*menu.actions()[1]->view())));
         }},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.how);
        WhiteStage s;
        const Rect panel = panelOfFourRows();
        const auto source = s.sourceAt(sourceFor(panel));
        const auto before = s.window->snapshot();
        auto menu = PopupMenuViewController::make(source, actionsFor(kRows, halfIcon()));
        s.present(menu);
        ASSERT_GT(differingPixels(*s.window->snapshot(), *before), 10000) << "the menu shows";
        way.close(s, *menu);
        s.advance(1);
        EXPECT_EQ(s.root->presentedViewController(), nullptr);
        const auto after = s.window->snapshot();
        EXPECT_EQ(differingPixels(*after, *before), 0);
    }
}

TEST(PopupMenuSnapshot, ARowUnderAFingerGrowsOverADarkRoundedHighlight) {
    OpenMenu open(separated());
    platform::ui::TouchSynth touch(open.stage.window);
    const Point row = middle(windowFrame(*open.menu->actions()[1]->view()));
    const auto finger = touch.touchDown(row);
    touch.wait(platform::ui::TouchSynth::kFrame);
    touch.move({finger}, {{row.x, row.y + 12}});
    open.stage.advance(1);

    // The grown row is drawn at its size and stretched: the edges of its
    // glyphs and icon differ more than elsewhere.
    EXPECT_LT(open.differingFromHand(open.panel, *open.look, 1), 2500);
    EXPECT_GT(open.differingFromHand(), 10000) << "not highlighted";
    touch.lift({finger});
}
