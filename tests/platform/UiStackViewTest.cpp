// Stack views: the frames of the arranged views for each distribution and
// alignment, hidden views taking no room, and the stack's own size.

#include "platform/ui/views/StackView.h"
#include "platform/ui/views/Window.h"
#include "tests/platform/support/VirtualTime.h"

#include <gtest/gtest.h>

using platform::Rect;
using platform::Size;
using platform::ui::LayoutConstraintAxis;
using platform::ui::StackView;
using platform::ui::StackViewAlignment;
using platform::ui::StackViewDistribution;
using platform::ui::View;
using platform::ui::Window;

namespace {

class StackSized : public View {
public:
    explicit StackSized(Size size) : mSize(size) {}
    Size intrinsicContentSize() const override { return mSize; }
    void resize(Size size) {
        mSize = size;
        invalidateIntrinsicContentSize();
    }

private:
    Size mSize;
};

constexpr double kNone = platform::ui::kViewNoIntrinsicMetric;

struct StackScene {
    testsupport::VirtualTime time;
    std::shared_ptr<Window> window = std::make_shared<Window>(Rect{0, 0, 400, 400});
    std::shared_ptr<StackSized> a = std::make_shared<StackSized>(Size{40, 20});
    std::shared_ptr<StackSized> b = std::make_shared<StackSized>(Size{60, 30});
    std::shared_ptr<StackSized> c = std::make_shared<StackSized>(Size{50, kNone});
    std::shared_ptr<StackView> stack = StackView::make({a, b, c});

    StackScene() {
        stack->setFrame({0, 0, 300, 50});
        stack->setSpacing(10);
        window->addSubview(stack);
    }

    std::vector<Rect> frames() {
        stack->layoutIfNeeded();
        return {a->frame(), b->frame(), c->frame()};
    }
};

}  // namespace

TEST(UiStackView, EachDistributionSharesTheLengthAsItSays) {
    struct Case {
        const char* name;
        StackViewDistribution distribution;
        double length;
        std::vector<double> xs;
        std::vector<double> widths;
    };
    const Case cases[] = {
        {"fill: the room left goes to the last of the least hugging",
         StackViewDistribution::fill,
         300,
         {0, 50, 120},
         {40, 60, 180}},
        {"fill: the room missing comes from the last of the least resisting",
         StackViewDistribution::fill,
         100,
         {0, 50, 100},
         {40, 40, 0}},
        {"fill equally",
         StackViewDistribution::fillEqually,
         300,
         {0, 280.0 / 3 + 10, 2 * (280.0 / 3 + 10)},
         {280.0 / 3, 280.0 / 3, 280.0 / 3}},
        {"fill proportionally",
         StackViewDistribution::fillProportionally,
         300,
         {0, 280 * 40 / 150.0 + 10, 280 * 100 / 150.0 + 20},
         {280 * 40 / 150.0, 280 * 60 / 150.0, 280 * 50 / 150.0}},
        {"equal spacing", StackViewDistribution::equalSpacing, 300, {0, 115, 250}, {40, 60, 50}},
        {"equal spacing when short: as fill, spaced",
         StackViewDistribution::equalSpacing,
         150,
         {0, 50, 120},
         {40, 60, 30}},
        {"equal centering", StackViewDistribution::equalCentering, 300, {0, 117.5, 250}, {40, 60, 50}},
    };
    for (const Case& k : cases) {
        StackScene s;
        s.stack->setDistribution(k.distribution);
        s.stack->setFrame({0, 0, k.length, 50});
        const auto frames = s.frames();
        for (std::size_t i = 0; i < 3; ++i) {
            EXPECT_NEAR(frames[i].x, k.xs[i], 1e-9) << k.name << ", view " << i;
            EXPECT_NEAR(frames[i].width, k.widths[i], 1e-9) << k.name << ", view " << i;
            EXPECT_EQ(frames[i].height, 50) << k.name << ": the alignment fills";
        }
    }

    // Hugging decides who takes the room left.
    StackScene s;
    s.b->setContentHuggingPriority(200, LayoutConstraintAxis::horizontal);
    const auto frames = s.frames();
    EXPECT_EQ(frames[1].width, 190);
    EXPECT_EQ(frames[2].width, 50);
}

TEST(UiStackView, AlignmentPlacesViewsAcrossTheAxis) {
    struct Case {
        StackViewAlignment alignment;
        std::vector<double> ys;
        std::vector<double> heights;
    };
    const Case cases[] = {
        {StackViewAlignment::fill, {0, 0, 0}, {50, 50, 50}},
        {StackViewAlignment::top, {0, 0, 0}, {20, 30, 50}},
        {StackViewAlignment::center, {15, 10, 0}, {20, 30, 50}},
        {StackViewAlignment::bottom, {30, 20, 0}, {20, 30, 50}},
    };
    for (const Case& k : cases) {
        StackScene s;
        s.stack->setAlignment(k.alignment);
        const auto frames = s.frames();
        for (std::size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(frames[i].y, k.ys[i]) << static_cast<int>(k.alignment) << ", view " << i;
            EXPECT_EQ(frames[i].height, k.heights[i]) << static_cast<int>(k.alignment) << ", view " << i;
        }
    }
}

TEST(UiStackView, HiddenViewsTakeNoRoomAndChangesLayTheStackOutAgain) {
    StackScene s;
    s.stack->setDistribution(StackViewDistribution::fillEqually);
    s.frames();
    s.b->setHidden(true);
    auto frames = s.frames();
    EXPECT_EQ(frames[0].width, 145);
    EXPECT_EQ(frames[2].x, 155) << "no spacing for the hidden view either";
    EXPECT_EQ(s.stack->intrinsicContentSize(), (Size{50 * 2 + 10, 20}));

    s.b->setHidden(false);
    s.stack->setDistribution(StackViewDistribution::equalSpacing);
    s.a->resize({100, 20});
    frames = s.frames();
    EXPECT_EQ(frames[0].width, 100) << "a new intrinsic size is laid out";
    EXPECT_EQ(frames[1].x, 100 + (300 - 210) / 2.0);

    // A column.
    s.stack->setAxis(LayoutConstraintAxis::vertical);
    s.stack->setDistribution(StackViewDistribution::fill);
    s.stack->setFrame({0, 0, 80, 300});
    s.c->resize({50, 30});
    frames = s.frames();
    EXPECT_EQ(frames[0], (Rect{0, 0, 80, 20}));
    EXPECT_EQ(frames[1], (Rect{0, 30, 80, 30}));
    EXPECT_EQ(frames[2], (Rect{0, 70, 80, 230}));
    EXPECT_EQ(s.stack->intrinsicContentSize(), (Size{100, 20 + 30 + 30 + 20}));
}

TEST(UiStackView, ArrangedViewsAreSubviewsToo) {
    StackScene s;
    EXPECT_EQ(s.stack->subviews().size(), 3u);
    s.stack->removeArrangedSubview(s.b.get());
    EXPECT_EQ(s.stack->arrangedSubviews().size(), 2u);
    EXPECT_EQ(s.b->superview(), s.stack) << "still a subview";
    s.c->removeFromSuperview();
    EXPECT_EQ(s.stack->arrangedSubviews(), (std::vector<std::shared_ptr<View>>{s.a}));
    s.stack->insertArrangedSubview(s.c, 0);
    EXPECT_EQ(s.stack->arrangedSubviews(), (std::vector<std::shared_ptr<View>>{s.c, s.a}));
    EXPECT_EQ(s.c->superview(), s.stack);

    // Made without make(): the views join once the stack is in a tree.
    auto loose = std::make_shared<StackView>(std::vector<std::shared_ptr<View>>{std::make_shared<View>()});
    EXPECT_TRUE(loose->subviews().empty());
    s.window->addSubview(loose);
    EXPECT_EQ(loose->subviews().size(), 1u);
}
