#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "app/Session/VKMLayoutSession.h"
#include "engine/geometry/Color.h"

TEST(LayoutSession, OneSessionForEveryThreadAndAFreshOneIsEmpty) {
    auto other = std::async(std::launch::async, [] { return &VKMLayoutSession::sharedSession(); });
    VKMLayoutSession& session = VKMLayoutSession::sharedSession();
    EXPECT_EQ(other.get(), &session);

    EXPECT_FALSE(session.isDirty());
    EXPECT_FALSE(session.cloudLayoutId().has_value());
    EXPECT_EQ(session.currentFillColor(), CColor::White());
    EXPECT_EQ(session.currentElement(), nullptr);
}

TEST(LayoutSession, ForgettingTheDocumentClearsEveryPointerIntoIt) {
    VKMLayoutSession& session = VKMLayoutSession::sharedSession();
    int stand_in = 0;
    session.setLayout(reinterpret_cast<CLayout*>(&stand_in));
    session.setLastContextMenuElement(reinterpret_cast<CCompositeGeometry*>(&stand_in));
    session.setCloudLayoutId(std::string("layout-1"));
    session.forgetDocument();
    EXPECT_EQ(session.layout(), nullptr);
    EXPECT_EQ(session.lastContextMenuElement(), nullptr);
    EXPECT_EQ(session.currentElement(), nullptr);
    // Which layout is open is the opener's business, not the document's.
    EXPECT_EQ(session.cloudLayoutId(), std::optional<std::string>("layout-1"));
}
