// A menu row on its own: where its icon and title go, its highlight spring
// and press animation with their colours, the order of selection and
// animation, and the colour helpers the rows use.

#include <gtest/gtest.h>

#include "platform/graphics/Image.h"
#include "platform/ui/views/ImageView.h"
#include "platform/ui/views/Label.h"
#include "platform/ui/core/Layer.h"
#include "platform/ui/core/MediaTime.h"
#include "platform/ui/core/SpringAnimation.h"
#include "platform/ui/views/View.h"
#include "tests/widgets/support/PopupMenuStage.h"
#include "widgets/PopupMenu/PopupMenuAction.h"
#include "widgets/PopupMenu/PopupMenuAppearance.h"

#include <cmath>
#include <vector>

using namespace popupmenutest;
using platform::Color;
using platform::Rect;

namespace {

std::shared_ptr<platform::Image> squareImage() {
    const std::vector<platform::Pixel> pixels(16 * 16, platform::Pixel{0, 0, 0, 255});
    return platform::Image::fromPixels(16, 16, pixels);
}

// A row rendered at `frame` and laid out.
std::shared_ptr<PopupMenuDefaultAction> renderedRow(std::optional<std::string> title,
                                                    std::shared_ptr<platform::Image> image, const Rect& frame) {
    auto action = PopupMenuDefaultAction::make(std::move(title), std::move(image));
    action->renderActionView();
    action->view()->setFrame(frame);
    action->view()->layoutIfNeeded();
    return action;
}

double scaleAt(const platform::ui::View& view, double time) {
    return view.layer()->presentationLayer(time)->transform().m11;
}

}  // namespace

TEST(PopupMenuAction, TheTitleEndsTwentyPointsInsideTheRowSoLongTitlesAreCutShort) {
    const std::string longTitle = "Colour by manufacturer and product number of every track";
    for (const bool withIcon : {false, true}) {
        SCOPED_TRACE(withIcon ? "with an icon" : "without an icon");
        auto row = renderedRow(longTitle, withIcon ? squareImage() : nullptr, {0, 0, 200, 50});
        const Rect title = row->titleLabel()->frame();
        EXPECT_DOUBLE_EQ(title.x + title.width, 200 - 20);
        EXPECT_LE(title.x + title.width, row->view()->bounds().width) << "the label stays within the row";
    }
}

TEST(PopupMenuAction, TheIconSitsEighteenPointsInAndTheTitleAfterItOrTwentyFivePointsIn) {
    auto plain = renderedRow("Layer", nullptr, {0, 0, 240, 50});
    EXPECT_EQ(plain->titleLabel()->frame().x, 25);
    EXPECT_EQ(plain->titleLabel()->superview(), plain->view());
    EXPECT_EQ(plain->view()->findView<platform::ui::ImageView>(), nullptr) << "no icon view without an image";

    auto withIcon = PopupMenuDefaultAction::make("Layer", squareImage());
    withIcon->setIconWidthHeight(20);
    withIcon->renderActionView();
    withIcon->view()->setFrame({0, 0, 240, 50});
    withIcon->view()->layoutIfNeeded();
    const Rect icon = withIcon->iconImageView()->frame();
    EXPECT_EQ(icon, (Rect{18, 15, 20, 20})) << "square, centred vertically";
    EXPECT_EQ(withIcon->titleLabel()->frame().x, 18 + 20 + 8);
    EXPECT_EQ(withIcon->iconImageView()->image()->renderingMode(), platform::ImageRenderingMode::alwaysTemplate);
    EXPECT_NEAR(withIcon->titleLabel()->center().y, 25, 0.5);
}

TEST(PopupMenuAction, RenderingRoundsTheRowToFourteenWhateverCornerRadiusWasSetBefore) {
    auto action = PopupMenuDefaultAction::make("Type");
    action->setCornerRadius(30);
    EXPECT_EQ(action->cornerRadius(), 30);
    action->renderActionView();
    EXPECT_EQ(action->cornerRadius(), 14);
    EXPECT_TRUE(action->view()->layer()->masksToBounds());
}

TEST(PopupMenuAction, HighlightingSpringsTheRowLargerInAContrastingTintOnTheNextTurnOnly) {
    Stage s;
    auto action = PopupMenuDefaultAction::make("Type");
    action->setTintColor(Color::white(1));
    EXPECT_EQ(action->titleLabel()->textColor(), Color::white(1));
    EXPECT_EQ(action->iconImageView()->tintColor(), Color::white(1));
    const auto& row = *action->view();

    action->setHighlighted(true);
    EXPECT_TRUE(action->highlighted());
    EXPECT_TRUE(row.layer()->animationKeys().empty()) << "scheduled, not run inside the setter";
    EXPECT_FALSE(row.backgroundColor()) << "the row keeps its own background until animated";
    const double start = platform::ui::currentMediaTime();
    s.advance(0.001);
    EXPECT_EQ(row.backgroundColor(), (Color{0, 0, 0, 0.25})) << "white text gets a black highlight";
    EXPECT_EQ(row.transform().a, 1.09);

    // The spring: damping ratio 0.6, leaving with 9 changes a second,
    // settled as 0.26 s end.
    auto spring = std::dynamic_pointer_cast<platform::ui::SpringAnimation>(row.layer()->animationForKey("transform"));
    ASSERT_TRUE(spring);
    const double m = spring->mass();
    const double k = spring->stiffness();
    EXPECT_NEAR(spring->damping() / (2 * std::sqrt(m * k)), 0.6, 1e-9);
    EXPECT_EQ(spring->initialVelocity(), 9);
    EXPECT_EQ(spring->duration(), 0.26);
    // The damped oscillator from 1 to 1.09, sampled at chosen times.
    const double w0 = std::sqrt(k / m);
    const double zeta = 0.6;
    const double wd = w0 * std::sqrt(1 - zeta * zeta);
    const auto expected = [&](double t) {
        const double x = std::exp(-zeta * w0 * t) * (std::cos(wd * t) + (zeta * w0 - 9) / wd * std::sin(wd * t));
        return 1 + 0.09 * (1 - x);
    };
    double highest = 0;
    for (const double t : {0.0, 0.02, 0.05, 0.1, 0.15, 0.2}) {
        SCOPED_TRACE(t);
        EXPECT_NEAR(scaleAt(row, start + t), expected(t), 1e-6);
        highest = std::max(highest, scaleAt(row, start + t));
    }
    EXPECT_GT(highest, 1.09) << "an underdamped spring swings past";
    EXPECT_NEAR(scaleAt(row, start + 0.259), 1.09, 0.09 * 0.001 + 1e-9);

    // Highlighting again starts nothing.
    s.advance(0.3);
    action->setHighlighted(true);
    s.advance(0.001);
    EXPECT_TRUE(row.layer()->animationKeys().empty());

    // Black text gets a white highlight; un-highlighting clears it.
    action->setTintColor(Color::white(0));
    action->setHighlighted(false);
    s.advance(0.001);
    EXPECT_EQ(row.backgroundColor(), Color::clear());
    EXPECT_TRUE(row.transform().isIdentity());
    s.advance(0.3);
    action->setHighlighted(true);
    s.advance(0.001);
    EXPECT_EQ(row.backgroundColor(), (Color{1, 1, 1, 0.25}));
}

TEST(PopupMenuAction, SelectionRunsTheHandlerFirstAndPressesTheRowOnlyWhenAnimated) {
    Stage s;
    std::vector<std::string> log;
    std::shared_ptr<PopupMenuDefaultAction> action;
    action = PopupMenuDefaultAction::make("Height", nullptr, std::nullopt, [&](PopupMenuAction& chosen) {
        EXPECT_EQ(&chosen, action.get());
        log.push_back(action->view()->layer()->animationKeys().empty() ? "selected, still" : "selected, moving");
    });
    action->setTintColor(Color::white(1));
    const auto& row = *action->view();

    action->actionSelected(false);
    s.advance(0.5);
    EXPECT_EQ(log, (std::vector<std::string>{"selected, still"}));
    EXPECT_TRUE(row.transform().isIdentity()) << "no press without animation";
    EXPECT_FALSE(row.backgroundColor());

    action->actionSelected(true);
    EXPECT_EQ(log.back(), "selected, still") << "the handler runs before the press starts";
    const double start = platform::ui::currentMediaTime();
    s.advance(0.001);
    EXPECT_EQ(row.transform().a, 0.915);
    EXPECT_EQ(row.backgroundColor(), (Color{0, 0, 0, 0.18}));
    EXPECT_NEAR(scaleAt(row, start + 0.175), 0.915, 1e-6);
    // The second half brings it back.
    s.advance(0.176);
    EXPECT_TRUE(row.transform().isIdentity());
    EXPECT_EQ(row.backgroundColor(), Color::clear());
    s.advance(0.2);
    EXPECT_TRUE(row.layer()->animationKeys().empty());
    EXPECT_EQ(log.size(), 2u);
}

TEST(PopupMenuColorHelpers, ContrastingColourIsBlackForLightAndWhiteForDark) {
    using PopupMenuColorHelpers::blackOrWhiteContrastingColor;
    using PopupMenuColorHelpers::rgbaComponents;
    struct Case {
        const char* name;
        Color color;
        Color expected;
    };
    const Case cases[] = {
        {"white", Color::white(1), Color::white(0)},
        {"black", Color::white(0), Color::white(1)},
        {"light grey", Color::white(0.8, 0.3), Color::white(0)},
        {"dark grey", Color::white(0.2), Color::white(1)},
        {"mid grey: 1 - 0.5 = 0.5 counts as dark", Color::white(0.5), Color::white(1)},
        {"pure green is light (0.587)", Color{0, 1, 0, 1}, Color::white(0)},
        {"pure red is dark (0.299)", Color{1, 0, 0, 1}, Color::white(1)},
        {"yellow is light", Color{1, 1, 0, 1}, Color::white(0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(blackOrWhiteContrastingColor(c.color), c.expected);
    }
    EXPECT_EQ(rgbaComponents(Color::white(0.3, 0.6)), (std::array<double, 4>{0.3, 0.3, 0.3, 0.6}));
}
