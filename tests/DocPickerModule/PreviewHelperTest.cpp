// The preview image view of the details backdrop: its tag, look and place
// for superviews of several sizes, also when the superview gets its size
// only after the view was added.

#include "DocPickerModule/Preview/VKMCloudLayoutPreviewHelper.h"
#include "platform/ui/views/ImageView.h"
#include "platform/ui/core/Layer.h"
#include "platform/ui/layout/LayoutConstraint.h"

#include <gtest/gtest.h>

using platform::Rect;
using platform::ui::View;

namespace {

struct Case {
    const char* name;
    Rect superview;
    double reserved;
    Rect expected;
};

}  // namespace

TEST(PreviewHelper, PlacesATaggedTransparentRoundedViewCentredAboveTheReservedHeight) {
    const Case cases[] = {
        // 390 - 2 * 16 = 358 wide, 268.5 high, bottom at 844 - 300 - 16.
        {"phone, details of 300", {0, 0, 390, 844}, 300, {16, 259.5, 358, 268.5}},
        {"phone, details of 280", {0, 0, 390, 844}, 280, {16, 279.5, 358, 268.5}},
        // Wide: capped at 480 x 360 and centred.
        {"tablet", {0, 0, 1024, 1366}, 300, {272, 690, 480, 360}},
        // Low: the room above the reserved height, 390 - 300 - 32 = 58 high, sets the size.
        {"landscape phone", {0, 0, 844, 390}, 300, {383.33, 16, 77.33, 58}},
    };
    const auto before = platform::ui::LayoutConstraint::brokenConstraintCount();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto superview = std::make_shared<View>(c.superview);
        auto preview = VKMCloudLayoutPreviewHelper::addPreviewImageViewToSuperview(superview, c.reserved);
        superview->layoutIfNeeded();
        ASSERT_NE(preview, nullptr);
        EXPECT_EQ(superview->viewWithTag(100), preview);
        EXPECT_EQ(preview->superview(), superview);
        EXPECT_EQ(preview->image(), nullptr);
        EXPECT_FALSE(preview->isOpaque());
        EXPECT_EQ(preview->backgroundColor().value_or(platform::Color::white(1)).alpha, 0);
        EXPECT_GT(preview->layer()->cornerRadius(), 0);
        EXPECT_TRUE(preview->clipsToBounds());
        const Rect frame = preview->frame();
        EXPECT_NEAR(frame.x, c.expected.x, 0.5);
        EXPECT_NEAR(frame.y, c.expected.y, 0.5);
        EXPECT_NEAR(frame.width, c.expected.width, 0.5);
        EXPECT_NEAR(frame.height, c.expected.height, 0.5);
        EXPECT_NEAR(frame.x + frame.width / 2, c.superview.width / 2, 0.5) << "centred";
        EXPECT_LE(frame.y + frame.height, c.superview.height - c.reserved) << "above the reserved height";
    }
    EXPECT_EQ(platform::ui::LayoutConstraint::brokenConstraintCount(), before);
}

TEST(PreviewHelper, FollowsASuperviewThatIsSizedLater) {
    auto superview = std::make_shared<View>(Rect{0, 0, 0, 0});
    auto preview = VKMCloudLayoutPreviewHelper::addPreviewImageViewToSuperview(superview, 280);
    superview->setFrame({0, 0, 390, 844});
    superview->layoutIfNeeded();
    EXPECT_NEAR(preview->frame().x, 16, 0.5);
    EXPECT_NEAR(preview->frame().y + preview->frame().height, 844 - 280 - 16, 0.5);
    EXPECT_NEAR(preview->frame().width, 358, 0.5);
}
