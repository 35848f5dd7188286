// The view search by class at every depth, and where transient messages go
// until the banner shows them.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/views/Label.h"
#include "platform/ui/views/View.h"
#include "widgets/HoverNotification/VKMHoverNotification.h"
#include "widgets/Views/UIViewVekmont.h"

using platform::ui::Label;
using platform::ui::View;

namespace {

class FancyLabel : public Label {};

}  // namespace

TEST(ViewSearch, FindsKindsDepthFirstBelowTheViewOnly) {
    auto root = std::make_shared<View>();
    EXPECT_EQ(UIViewVekmont::subViewOfKind<View>(*root), nullptr) << "no subviews";
    EXPECT_TRUE(UIViewVekmont::subViewsOfKind<View>(*root).empty()) << "not the view itself";

    // root: [a: [a1 (fancy label), a2 (label)], b (label)]
    auto a = std::make_shared<View>();
    auto a1 = std::make_shared<FancyLabel>();
    auto a2 = std::make_shared<Label>();
    auto b = std::make_shared<Label>();
    root->addSubview(a);
    a->addSubview(a1);
    a->addSubview(a2);
    root->addSubview(b);

    EXPECT_EQ(UIViewVekmont::allSubviews(*root), (std::vector<std::shared_ptr<View>>{a, a1, a2, b}));
    const auto labels = UIViewVekmont::subViewsOfKind<Label>(*root);
    ASSERT_EQ(labels.size(), 3u);
    EXPECT_EQ(labels[0].get(), a1.get()) << "a subclass counts, in pre-order";
    EXPECT_EQ(labels[1], a2);
    EXPECT_EQ(labels[2], b);
    EXPECT_EQ(UIViewVekmont::subViewOfKind<Label>(*root).get(), a1.get());
    EXPECT_EQ(UIViewVekmont::subViewOfKind<FancyLabel>(*a).get(), a1.get());
    EXPECT_EQ(UIViewVekmont::subViewOfKind<FancyLabel>(*b), nullptr);
}

TEST(HoverNotification, MessagesGoToTheConnectedLog) {
    std::vector<std::string> logged;
    VKMHoverNotification::sharedInstance().setMessageLog([&](const std::string& text) { logged.push_back(text); });
    VKMHoverNotification::displayMessage("Tracks coloured");
    VKMHoverNotification::sharedInstance().showWithString("Saved");
    EXPECT_EQ(logged, (std::vector<std::string>{"Tracks coloured", "Saved"}));

    VKMHoverNotification::sharedInstance().setMessageLog({});
    testing::internal::CaptureStderr();
    VKMHoverNotification::displayMessage("Offline");
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Offline"), std::string::npos);
    EXPECT_EQ(logged.size(), 2u);
}
