// The element information popover: a long press on a track shows its name,
// manufacturer, usage, description, library and scale in a popover tinted
// with the track's colour (a popover on phones too); the rules of the
// texts and the height; and a scene that cannot be made shows nothing.

#include <gtest/gtest.h>

#include <cmath>

#include "LayoutModule/ElementInfo/VKMElementInfoViewController.h"
#include "LayoutModule/ElementInfo/VKMLayoutElementInfoHelper.h"
#include "LayoutModule/Scenes/VKMLayoutScenes.h"
#include "engine/model/CompositeGeometry.h"
#include "engine/model/LayoutBounds.h"
#include "engine/model/Layout.h"
#include "platform/ui/views/Application.h"
#include "platform/ui/views/Label.h"
#include "platform/ui/controllers/PresentationController.h"
#include "platform/ui/controllers/Storyboard.h"
#include "tests/LayoutModule/LayoutModuleTestSupport.h"
#include "tests/LayoutModule/SideScreenSupport.h"
#include "tests/support/LogWatch.h"

using namespace platform::ui;
using sidescreens::SideScreens;

namespace {

// Two red straights of a library in N, a shed the user drew, a flex track
// the user laid in H0, and two pieces of a library with a three-letter
// name.
const char* const kInfoScenario = R"(version 13
layer "Plan"
straight length=300 at=0,0 angle=0 product=S300 maker=Vekmo library="Vekmo N" scale=12 desc="A straight" color=1,0,0 color2=1,0,0
straight length=300 product=S300 maker=Vekmo library="Vekmo N" scale=12 color=1,0,0 color2=1,0,0
rect size=100,100 at=0,300 desc="Shed"
flex length=300 at=0,600 angle=0 scale=16
straight length=100 at=0,900 angle=0 product=S100 library=abc scale=12
straight length=100 product=S100 library=abc scale=12
)";

std::string Text(const std::weak_ptr<Label>& label) {
    const auto shown = label.lock();
    return shown ? shown->text() : "<no label>";
}

bool Hidden(const std::weak_ptr<Label>& label) {
    const auto shown = label.lock();
    return !shown || shown->isHidden();
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

CCompositeGeometry* Element(CLayout& layout, std::size_t index) { return layout.GetElements().at(index); }

// Where the element's box lies in the window, 80 % along (clear of the
// action buttons on the left).
platform::Point PressPoint(const SideScreens& screens, CCompositeGeometry& element) {
    const tDoubleRect box = UElementVectorOperations::GetBoundingBox({&element});
    const double zoom = screens.layoutScreen->trackLayout()->GetZoom();
    const platform::Point offset = screens.layoutScreen->contentOffset();
    return {offset.x + zoom * (box.minX + 0.8 * (box.maxX - box.minX)), offset.y + zoom * (box.minY + box.maxY) / 2};
}

std::shared_ptr<VKMElementInfoViewController> Configured(CCompositeGeometry& element) {
    auto info =
        VKMLayoutScenes::instantiate<VKMElementInfoViewController>(VKMElementInfoViewController::kSceneIdentifier);
    if (info) VKMLayoutElementInfoHelper::configureItemDetailsViewController(*info, element);
    return info;
}

}  // namespace

TEST(ElementInfoScreen, ALongPressShowsTheElementInAPopoverTintedWithItsColour) {
    for (const UserInterfaceIdiom idiom : {UserInterfaceIdiom::phone, UserInterfaceIdiom::tablet}) {
        const char* name = idiom == UserInterfaceIdiom::phone ? "phone" : "tablet";
        SideScreens screens;
        screens.show(idiom, sidescreens::kLayoutTab);
        screens.open(kInfoScenario, std::string("info-") + name + ".wkst");
        CCompositeGeometry* straight = Element(*screens.layoutScreen->trackLayout(), 0);
        const std::size_t sounds = Application::sharedApplication().playedSounds().size();

        screens.synth->longPress(PressPoint(screens, *straight), 0.8);
        screens.advance(1);
        const auto info = std::dynamic_pointer_cast<VKMElementInfoViewController>(screens.presented());
        ASSERT_NE(info, nullptr) << name;
        EXPECT_EQ(info->element(), straight) << name;
        EXPECT_EQ(Application::sharedApplication().playedSounds().size(), sounds + 1) << name;

        EXPECT_TRUE(EndsWith(Text(info->outlets.titleLabel), " (Vekmo) (2\u00D7)")) << Text(info->outlets.titleLabel);
        EXPECT_EQ(Text(info->outlets.descriptionLabel), "A straight") << name;
        EXPECT_EQ(Text(info->outlets.libraryLabel), "From library Vekmo N") << name;
        EXPECT_EQ(Text(info->outlets.modelScaleLabel), "Scale N (1:160)") << name;
        EXPECT_EQ(info->preferredContentSize().width, 225) << name;
        EXPECT_GT(info->preferredContentSize().height, 85) << name;

        // A popover on both idioms, at the press, tinted: the grouped
        // background moved 0.3 towards red, at 0.75 alpha.
        const auto popover = info->popoverPresentationController();
        ASSERT_NE(popover, nullptr) << name;
        EXPECT_EQ(popover->styleInForce(), ModalPresentationStyle::popover) << name;
        EXPECT_EQ(popover->permittedArrowDirections(), PopoverArrowDirection::any) << name;
        ASSERT_TRUE(popover->backgroundColor().has_value()) << name;
        const platform::Color tint = *popover->backgroundColor();
        EXPECT_NEAR(tint.red, 0.9643, 0.002) << name;
        EXPECT_NEAR(tint.green, 0.6643, 0.002) << name;
        EXPECT_NEAR(tint.blue, 0.6780, 0.002) << name;
        EXPECT_NEAR(tint.alpha, 0.75, 1e-9) << name;

        // The snapshot shows the reddish box around the texts.
        const auto shot = screens.window->snapshot();
        ASSERT_NE(shot, nullptr) << name;
        const platform::Rect box = info->view()->convertRectToView(info->view()->bounds(), nullptr);
        const auto pixel =
            shot->pixel(static_cast<int>((box.x + 4) * 2), static_cast<int>((box.y + box.height / 2) * 2));
        ASSERT_TRUE(pixel.has_value()) << name;
        EXPECT_GT(pixel->red, 200) << name;
        EXPECT_GT(pixel->red - pixel->green, 40) << name;
    }
}

TEST(ElementInfoScreen, TheTextsFollowTheirRulesAndTheHeightTheDescription) {
    SideScreens screens;
    screens.show(UserInterfaceIdiom::tablet, sidescreens::kLayoutTab);
    screens.open(kInfoScenario, "info-rules.wkst");
    CLayout& layout = *screens.layoutScreen->trackLayout();

    // A one-letter producer and no usage add nothing; an empty description
    // leaves the fixed height.
    auto info =
        VKMLayoutScenes::instantiate<VKMElementInfoViewController>(VKMElementInfoViewController::kSceneIdentifier);
    ASSERT_NE(info, nullptr);
    info->configureWithName("Straight", "", "V", "abc", "", 0);
    EXPECT_EQ(Text(info->outlets.titleLabel), "Straight");
    EXPECT_TRUE(Hidden(info->outlets.libraryLabel));
    EXPECT_TRUE(Hidden(info->outlets.modelScaleLabel));
    EXPECT_EQ(info->preferredContentSize().height, 85);
    // A longer description makes it taller, the more lines the taller.
    info->configureWithName("Straight", "One line", "Vekmo", "Vekmo N", "N (1:160)", 12);
    EXPECT_EQ(Text(info->outlets.titleLabel), "Straight (Vekmo) (12\u00D7)");
    EXPECT_FALSE(Hidden(info->outlets.libraryLabel));
    const double oneLine = info->preferredContentSize().height;
    EXPECT_GT(oneLine, 85);
    info->configureWithName("Straight", std::string(40, 'w') + " " + std::string(40, 'w'), "Vekmo", "Vekmo N",
                            "N (1:160)", 12);
    EXPECT_GT(info->preferredContentSize().height, oneLine);
    EXPECT_EQ(std::fmod(info->preferredContentSize().height, 1.0), 0.0);

    // A shape of the user's has no scale; a flex track of the user's has.
    auto shed = Configured(*Element(layout, 2));
    EXPECT_TRUE(Hidden(shed->outlets.modelScaleLabel));
    EXPECT_TRUE(Hidden(shed->outlets.libraryLabel));
    auto flex = Configured(*Element(layout, 3));
    EXPECT_EQ(Text(flex->outlets.modelScaleLabel), "Scale H0 (1:87)");
    // A library name of three characters: no library line and no count,
    // though two pieces lie in the layout.
    auto shortLibrary = Configured(*Element(layout, 4));
    EXPECT_TRUE(Hidden(shortLibrary->outlets.libraryLabel));
    EXPECT_EQ(Text(shortLibrary->outlets.titleLabel).find("\u00D7"), std::string::npos);
}

TEST(ElementInfoScreen, NothingIsShownWithoutAnElementASceneOrATabBar) {
    SideScreens screens;
    screens.show(UserInterfaceIdiom::tablet, sidescreens::kLayoutTab);
    screens.open(kInfoScenario, "info-none.wkst");
    CCompositeGeometry* straight = Element(*screens.layoutScreen->trackLayout(), 0);
    const auto view = screens.layoutScreen->view();
    const testsupport::LogWatch log;

    EXPECT_FALSE(VKMLayoutElementInfoHelper::presentInfoForElement(nullptr, {100, 100}, view));
    EXPECT_EQ(log.Count("geometry != nullptr"), 1);

    Storyboard::removeScene(VKMLayoutScenes::kStoryboard, VKMLayoutScenes::kLayoutItemDetailsId);
    EXPECT_FALSE(VKMLayoutElementInfoHelper::presentInfoForElement(straight, {100, 100}, view));
    screens.advance(1);
    EXPECT_EQ(screens.presented(), nullptr);
    EXPECT_EQ(log.Count("elementInfoViewController != nullptr"), 1);
    VKMLayoutScenes::registerScenes();

    // The layout screen alone at the root: no tab bar to present by.
    screens.window->setRootViewController(screens.layoutScreen);
    screens.advance(0.1);
    EXPECT_FALSE(VKMLayoutElementInfoHelper::presentInfoForElement(straight, {100, 100}, view));
    screens.advance(1);
    EXPECT_EQ(screens.layoutScreen->presentedViewController(), nullptr);

    // Back in the tab bar it shows.
    screens.window->setRootViewController(screens.tabs);
    screens.advance(0.1);
    EXPECT_TRUE(VKMLayoutElementInfoHelper::presentInfoForElement(straight, {100, 100}, view));
    screens.advance(1);
    EXPECT_NE(std::dynamic_pointer_cast<VKMElementInfoViewController>(screens.presented()), nullptr);
}
