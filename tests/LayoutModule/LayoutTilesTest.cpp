// The layout screen's tiles: a panned and a pinched frame, once the tiles
// asked of worker threads are placed, look as the layout drawn straight
// into a bitmap at the same offset and zoom; before they arrive the frame
// shows what was kept; tiles drawn for settings that changed meanwhile are
// never shown.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <mutex>
#include <thread>

#include "LayoutModule/Layout/VKMLayoutView.h"
#include "app/Helper/VKMLayoutDocumentHelper.h"
#include "engine/model/Layout.h"
#include "engine/services/PerformanceCounters.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/Image.h"
#include "platform/ui/views/Screen.h"
#include "tests/LayoutModule/LayoutScreenSupport.h"
#include "tools/layoutgen/LargeLayout.h"
#include "tools/layoutgen/LayoutFileWriter.h"

using namespace platform::ui;
using layouttest::ScreenFixture;

namespace {

// A generated layout of a few hundred elements: thin lines everywhere,
// so that a tile a pixel off or drawn at another zoom shows.
void OpenGenerated(ScreenFixture& screen) {
    ULayoutGen::tLayoutDocument document;
    ULayoutGen::ComposeLargeLayout(document, 2000, 20240601, 13);
    const auto path = platform::Paths::tmp() / "tiles.wkst";
    const auto bytes = ULayoutFileWriter::LayoutFileBytes(document.FileContent());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(VKMLayoutDocumentHelper::loadLayoutFile(path));
    screen.advance(1);
    screen.window->layoutIfNeeded();
}

// Zoomed in to three times the fitting zoom, the window drawn and every
// visible tile placed: false when they never came.
bool ShowZoomedIn(ScreenFixture& screen) {
    VKMLayoutViewController& controller = *screen.controller;
    controller.changeZoomTo(controller.fittingZoomFactor() * 3);
    screen.window->snapshot();
    return controller.outlets.layoutView.lock()->waitForTiles();
}

// `service` becomes the performance counters the drawing reports to (never
// freed, as services are not).
template <typename Service>
Service* UseCounters(Service* service) {
    service->Enable();
    CServiceLocator::Instance().RegisterService(service);
    QLPerformanceCounters::forgetService();
    return service;
}

// Pixels of the window's snapshot below its top fifth and above its bottom
// fifth (away from the bars and buttons over the drawing) that differ from
// the layout drawn straight into a bitmap, as the screen tests count them.
std::pair<int, int> Differing(ScreenFixture& screen, const std::shared_ptr<platform::Image>& shot) {
    const platform::Rect bounds = screen.window->bounds();
    auto direct = platform::BitmapContext::createForPointSize({bounds.width, bounds.height}, 2);
    VKMLayoutView::drawLayout(*direct, bounds, &screen.layout(),
                              screen.controller->outlets.layoutView.lock()->renderData().get(),
                              screen.controller->contentOffset());
    const auto reference = direct->makeImage();
    int differing = 0;
    int compared = 0;
    for (int y = shot->pixelHeight() / 5; y < shot->pixelHeight() * 4 / 5; ++y) {
        for (int x = shot->pixelWidth() / 4; x < shot->pixelWidth(); ++x) {
            const platform::Pixel a = *shot->pixel(x, y);
            const platform::Pixel b = *reference->pixel(x, y);
            ++compared;
            if (std::max({std::abs(a.red - b.red), std::abs(a.green - b.green), std::abs(a.blue - b.blue)}) > 24)
                ++differing;
        }
    }
    return {differing, compared};
}

}  // namespace

TEST(LayoutTiles, PannedAndPinchedFramesMatchTheDirectDrawingOnceTheirTilesArrive) {
    ScreenFixture screen;
    screen.show(UserInterfaceIdiom::phone);
    OpenGenerated(screen);
    VKMLayoutViewController& controller = *screen.controller;
    const auto view = controller.outlets.layoutView.lock();
    controller.changeZoomTo(controller.fittingZoomFactor() * 2.3);
    screen.window->snapshot();
    const auto [opened, comparedOpened] = Differing(screen, screen.window->snapshot());
    EXPECT_LT(opened, comparedOpened / 100) << "drawn at once";

    // A pan by more than a tile and a half, off the pixel grid: what the
    // ring did not hold comes from worker threads.
    controller.setTouchDownContentOffset(controller.contentOffset());
    controller.panContentWithDelta({-403.25, -317.5});
    screen.window->snapshot();
    EXPECT_GT(view->pendingTiles(), 0u);
    ASSERT_TRUE(view->waitForTiles());
    const auto [panned, comparedPanned] = Differing(screen, screen.window->snapshot());
    EXPECT_LT(panned, comparedPanned / 100) << "after a pan";

    // A pinch stretches the tiles while it lasts; its end keeps the
    // stretched ones until the new zoom's arrive.
    view->setInteractiveZoom(true);
    controller.setTouchDownScale(screen.zoom());
    controller.setTouchDownLocation({150, 400});
    controller.zoomContentWithPinchScale(1.37);
    screen.window->snapshot();
    EXPECT_EQ(view->pendingTiles(), 0u) << "nothing drawn while pinching";
    view->setInteractiveZoom(false);
    const auto stretched = screen.window->snapshot();
    EXPECT_GT(view->pendingTiles(), 0u);
    const int blurred = Differing(screen, stretched).first;
    ASSERT_TRUE(view->waitForTiles());
    const auto [pinched, comparedPinched] = Differing(screen, screen.window->snapshot());
    EXPECT_LT(pinched, comparedPinched / 100) << "after a pinch";
    EXPECT_GT(blurred, 10 * pinched + 50) << "the stretched tiles are not the new zoom's";
}

TEST(LayoutTiles, TilesDrawnBeforeTheSettingsChangedAreNeverShown) {
    ScreenFixture screen;
    screen.show(UserInterfaceIdiom::phone);
    OpenGenerated(screen);
    VKMLayoutViewController& controller = *screen.controller;
    const auto view = controller.outlets.layoutView.lock();
    controller.changeZoomTo(controller.fittingZoomFactor() * 3);
    // The workspace's right edge in the middle of the view: right of it
    // lies the document's background, which the dark style changes.
    const double edge = screen.zoom() * screen.layout().GetParameters().mWorkspaceWidth;
    controller.setTouchDownContentOffset(controller.contentOffset());
    controller.panContentWithDelta({screen.window->bounds().width / 2 - edge - controller.contentOffset().x, -100});
    screen.window->snapshot();
    // The ring's tiles are drawn in the light style, then the style turns
    // dark before they are placed.
    ASSERT_GT(view->pendingTiles(), 0u);
    ASSERT_TRUE(view->waitForTileDrawing());
    platform::UserDefaults::standard().setBool(VKMLayoutView::kDarkBackgroundKey, true);
    platform::NotificationCenter::defaultCenter().postNotificationName("QLLayoutPropertiesChangedNotification",
                                                                       nullptr);
    screen.window->snapshot();
    ASSERT_TRUE(view->waitForTiles());
    // A pan of a tile's width brings the ring into view.
    controller.setTouchDownContentOffset(controller.contentOffset());
    controller.panContentWithDelta({-VKMLayoutView::kTileSide, -VKMLayoutView::kTileSide});
    const auto [differing, compared] = Differing(screen, screen.window->snapshot());
    EXPECT_LT(differing, compared / 100) << "a light tile among the dark";
    platform::UserDefaults::standard().removeObject(VKMLayoutView::kDarkBackgroundKey);
}

TEST(LayoutTiles, APanBackFindsItsTilesKeptUntilTheDocumentChanges) {
    ScreenFixture screen;
    screen.show(UserInterfaceIdiom::phone);
    OpenGenerated(screen);
    VKMLayoutViewController& controller = *screen.controller;
    const auto view = controller.outlets.layoutView.lock();
    ASSERT_TRUE(ShowZoomedIn(screen));
    const platform::Point start = controller.contentOffset();

    // Three tiles away and back: the tiles of the start are in the cache.
    controller.setTouchDownContentOffset(start);
    controller.panContentWithDelta({-3 * VKMLayoutView::kTileSide, 0});
    screen.window->snapshot();
    ASSERT_TRUE(view->waitForTiles());
    controller.panContentWithDelta({0, 0});
    screen.window->snapshot();
    EXPECT_EQ(view->missingTiles(), 0u) << "drawn again on the way back";

    // A rebuild of the render data (a change of the document) leaves none
    // of them: the next pan away and back asks for them again.
    view->refreshLayoutRenderData();
    screen.window->snapshot();
    ASSERT_TRUE(view->waitForTiles());
    controller.panContentWithDelta({-3 * VKMLayoutView::kTileSide, 0});
    screen.window->snapshot();
    EXPECT_GT(view->missingTiles(), 0u) << "a tile of the old document reused";
    ASSERT_TRUE(view->waitForTiles());
    const auto [differing, compared] = Differing(screen, screen.window->snapshot());
    EXPECT_LT(differing, compared / 100);
}

TEST(LayoutTiles, TilesDrawnInBandsAreTheTilesDrawnWhole) {
    ScreenFixture screen;
    screen.show(UserInterfaceIdiom::phone);
    OpenGenerated(screen);
    VKMLayoutViewController& controller = *screen.controller;
    controller.changeZoomTo(controller.fittingZoomFactor() * 2.3);
    VKMLayoutRenderData* renderData = controller.outlets.layoutView.lock()->renderData().get();
    const VKMLayoutView::tDrawSettings settings = VKMLayoutView::drawSettingsOf(screen.layout());
    const std::vector<std::pair<int, int>> tiles{{0, 0}, {1, 1}, {2, 1}, {1, 3}};
    constexpr double side = VKMLayoutView::kTileSide;
    // Bands of whole points, and of rows that fall between points.
    for (const double scale : {2.0, 1.3}) {
        const auto banded = VKMLayoutView::drawTiles(settings, renderData, tiles, scale);
        ASSERT_EQ(banded.size(), tiles.size());
        for (std::size_t i = 0; i < tiles.size(); ++i) {
            const platform::Rect rect{tiles[i].first * side, tiles[i].second * side, side, side};
            auto whole = platform::BitmapContext::createForPointSize(rect.size(), scale);
            whole->translate(-rect.x, -rect.y);
            VKMLayoutView::drawLayout(*whole, rect, settings, renderData, {0, 0});
            const auto reference = whole->makeImage();
            ASSERT_TRUE(banded[i]);
            ASSERT_EQ(banded[i]->pixelWidth(), reference->pixelWidth());
            ASSERT_EQ(banded[i]->pixelHeight(), reference->pixelHeight());
            int differing = 0;
            int drawn = 0;
            const platform::Pixel background = *reference->pixel(0, 0);
            for (int y = 0; y < reference->pixelHeight(); ++y) {
                for (int x = 0; x < reference->pixelWidth(); ++x) {
                    const platform::Pixel a = *banded[i]->pixel(x, y);
                    const platform::Pixel b = *reference->pixel(x, y);
                    if (!(a == b)) ++differing;
                    if (b.red != background.red || b.green != background.green || b.blue != background.blue) ++drawn;
                }
            }
            EXPECT_EQ(differing, 0) << "tile " << i << " at " << scale;
            EXPECT_GT(drawn, 0) << "tile " << i << " shows nothing of the layout";
        }
    }
}

namespace {

// Counts the drawings of the layout, wherever they are made.
class DrawingCounter : public QLPerformanceCountersService {
public:
    void AddToCounter(const char* name, int milliseconds) override {
        if (name != nullptr && std::strcmp(name, "DrawLayoutView") == 0) ++drawings;
        QLPerformanceCountersService::AddToCounter(name, milliseconds);
    }
    std::atomic<int> drawings{0};
};

// Holds every thread of the pool until released.
class PoolBlocker {
public:
    PoolBlocker() : mThreads(platform::DispatchQueue::concurrency()) {
        for (unsigned i = 0; i < mThreads; ++i) {
            platform::DispatchQueue::global(platform::DispatchQueuePriority::High).async([this] {
                std::unique_lock lock(mMutex);
                ++mStarted;
                mChanged.notify_all();
                mChanged.wait(lock, [this] { return mReleased; });
                ++mEnded;
                mChanged.notify_all();
            });
        }
    }
    ~PoolBlocker() {
        release();
        std::unique_lock lock(mMutex);
        // Every blocker has run, also one that started after a timeout.
        mChanged.wait(lock, [this] { return mEnded == mThreads; });
    }
    bool allHeld() {
        std::unique_lock lock(mMutex);
        return mChanged.wait_for(lock, std::chrono::seconds(20), [this] { return mStarted == mThreads; });
    }
    void release() {
        std::lock_guard lock(mMutex);
        mReleased = true;
        mChanged.notify_all();
    }

private:
    const unsigned mThreads;
    std::mutex mMutex;
    std::condition_variable mChanged;
    unsigned mStarted = 0;
    unsigned mEnded = 0;
    bool mReleased = false;
};

}  // namespace

TEST(LayoutTiles, ARebuildDropsTheTilesStillQueuedForTheOldRenderData) {
    ScreenFixture screen;
    screen.show(UserInterfaceIdiom::phone);
    OpenGenerated(screen);
    VKMLayoutViewController& controller = *screen.controller;
    const auto view = controller.outlets.layoutView.lock();
    ASSERT_TRUE(ShowZoomedIn(screen));

    auto* counter = UseCounters(new DrawingCounter());
    {
        // With the pool held, a pan's tiles stay queued: none has started.
        PoolBlocker blocker;
        ASSERT_TRUE(blocker.allHeld());
        controller.setTouchDownContentOffset(controller.contentOffset());
        controller.panContentWithDelta({-2 * VKMLayoutView::kTileSide, -VKMLayoutView::kTileSide});
        screen.window->snapshot();
        ASSERT_GT(view->pendingTiles(), 0u);
        view->refreshLayoutRenderData();
        const int before = counter->drawings.load();
        blocker.release();
        ASSERT_TRUE(view->waitForTileDrawing());
        // Drawn, they would have held off the rebuild's lock for tiles that
        // are dropped on arrival.
        EXPECT_EQ(counter->drawings.load() - before, 0) << "tiles of the old render data drawn after the rebuild";
    }
    ASSERT_TRUE(view->waitForTiles());
    const auto [differing, compared] = Differing(screen, screen.window->snapshot());
    EXPECT_LT(differing, compared / 100);
    UseCounters(new QLPerformanceCountersService());
}

TEST(LayoutTiles, AfterAPinchTheVisibleTilesAtTheNewZoomAreAskedForBeforeTheRingAndThePictureEndsSharp) {
    ScreenFixture screen;
    screen.show(UserInterfaceIdiom::phone);
    OpenGenerated(screen);
    VKMLayoutViewController& controller = *screen.controller;
    const auto view = controller.outlets.layoutView.lock();
    controller.changeZoomTo(controller.fittingZoomFactor() * 2.3);
    screen.window->snapshot();
    ASSERT_TRUE(view->waitForTiles());
    const double before = screen.zoom();

    std::vector<std::pair<int, int>> asked;
    {
        // With the pool held, every tile the pinch's end asks for waits in
        // the order asked.
        PoolBlocker blocker;
        ASSERT_TRUE(blocker.allHeld());
        const platform::Point mid{195, 422};
        screen.synth->pinch({mid.x - 50, mid.y}, {mid.x + 50, mid.y}, {mid.x - 70, mid.y}, {mid.x + 70, mid.y}, 0.3);
        screen.window->snapshot();
        asked = view->requestedTiles();
        EXPECT_EQ(view->pace(), VKMLayoutView::Pace::sharpening) << "the visible tiles are not drawn on the whole pool";
    }
    ASSERT_GT(screen.zoom(), before * 1.2) << "the pinch did not zoom";

    // The tiles the view shows at the new zoom, its offset on whole pixels.
    const platform::Size size = view->bounds().size();
    const platform::Point offset = controller.contentOffset();
    constexpr double side = VKMLayoutView::kTileSide;
    const double left = -std::round(offset.x * 2) / 2;
    const double top = -std::round(offset.y * 2) / 2;
    const int column0 = static_cast<int>(std::floor(left / side));
    const int row0 = static_cast<int>(std::floor(top / side));
    const int column1 = static_cast<int>(std::ceil((left + size.width) / side)) - 1;
    const int row1 = static_cast<int>(std::ceil((top + size.height) / side)) - 1;
    const auto visible = [&](const std::pair<int, int>& tile) {
        return tile.first >= column0 && tile.first <= column1 && tile.second >= row0 && tile.second <= row1;
    };
    const std::size_t visibleCount = static_cast<std::size_t>((column1 - column0 + 1) * (row1 - row0 + 1));
    const std::size_t ringCount = static_cast<std::size_t>((column1 - column0 + 3) * (row1 - row0 + 3)) - visibleCount;
    ASSERT_EQ(asked.size(), visibleCount + ringCount) << "every tile of the new zoom asked for once";
    for (std::size_t i = 0; i < asked.size(); ++i) {
        EXPECT_EQ(visible(asked[i]), i < visibleCount)
            << "tile " << asked[i].first << ", " << asked[i].second << " asked for " << i << "th";
    }

    ASSERT_TRUE(view->waitForTiles());
    const auto [differing, compared] = Differing(screen, screen.window->snapshot());
    EXPECT_EQ(view->missingTiles(), 0u);
    EXPECT_LT(differing, compared / 100) << "not sharp once the tiles arrived";
    EXPECT_EQ(view->pace(), VKMLayoutView::Pace::still) << "the frames are left no threads once sharp";
    controller.setTouchDownContentOffset(controller.contentOffset());
    controller.panContentWithDelta({-40, -30});
    screen.window->snapshot();
    EXPECT_EQ(view->pace(), VKMLayoutView::Pace::moving);
}

namespace {

// Holds every drawing of the layout made off the main thread, once armed,
// until released: a tile's band stops mid-drawing, its context in use.
class DrawingHolder : public QLPerformanceCountersService {
public:
    void AddToCounter(const char* name, int milliseconds) override {
        if (name != nullptr && std::strcmp(name, "DrawLayoutView") == 0 && std::this_thread::get_id() != mMainThread) {
            std::unique_lock lock(mMutex);
            if (mArmed) {
                ++mHeld;
                mChanged.notify_all();
                mChanged.wait(lock, [this] { return !mArmed; });
            }
        }
        QLPerformanceCountersService::AddToCounter(name, milliseconds);
    }
    void arm() {
        std::lock_guard lock(mMutex);
        mArmed = true;
    }
    bool waitHeld(int count) {
        std::unique_lock lock(mMutex);
        return mChanged.wait_for(lock, std::chrono::seconds(20), [&] { return mHeld >= count; });
    }
    void release() {
        std::lock_guard lock(mMutex);
        mArmed = false;
        mChanged.notify_all();
    }

private:
    const std::thread::id mMainThread = std::this_thread::get_id();
    std::mutex mMutex;
    std::condition_variable mChanged;
    bool mArmed = false;
    int mHeld = 0;
};

}  // namespace

TEST(LayoutTiles, ATileCalledOffWhileSomeOfItsBandsDrawIsCountedBackOnceTheyEnd) {
    ScreenFixture screen;
    screen.show(UserInterfaceIdiom::phone);
    OpenGenerated(screen);
    VKMLayoutViewController& controller = *screen.controller;
    const auto view = controller.outlets.layoutView.lock();
    ASSERT_TRUE(ShowZoomedIn(screen));

    auto* holder = UseCounters(new DrawingHolder());
    holder->arm();
    // The pan's visible tiles are asked for in bands; the queue's threads
    // stop inside the first tile's first bands, the others wait.
    controller.setTouchDownContentOffset(controller.contentOffset());
    controller.panContentWithDelta({-2 * VKMLayoutView::kTileSide, -VKMLayoutView::kTileSide});
    screen.window->snapshot();
    const std::size_t asked = view->pendingTiles();
    ASSERT_GT(asked, 1u);
    ASSERT_TRUE(holder->waitHeld(2));
    // The rebuild calls every tile off: the waiting bands are taken back
    // and their contexts dropped here, while the held ones still draw.
    view->refreshLayoutRenderData();
    const std::size_t drawing = view->pendingTiles();
    EXPECT_GE(drawing, 1u) << "a tile whose bands draw is counted until they end";
    EXPECT_LT(drawing, asked);
    holder->release();
    ASSERT_TRUE(view->waitForTileDrawing());
    ASSERT_TRUE(view->waitForTiles()) << "a tile called off was never counted back";
    screen.window->snapshot();
    ASSERT_TRUE(view->waitForTiles());
    EXPECT_EQ(view->pendingTiles(), 0u);
    const auto [differing, compared] = Differing(screen, screen.window->snapshot());
    EXPECT_LT(differing, compared / 100);
    UseCounters(new QLPerformanceCountersService());
}

TEST(LayoutTiles, TilesMeetPixelOnPixelAtAScreenScaleOfFractionalTiles) {
    ScreenFixture screen;
    screen.show(UserInterfaceIdiom::phone);
    // 256 points are 230.4 pixels here: tiles of that many points left a
    // seam of half-covered pixels between them, where the background
    // showed through.
    constexpr double kScale = 0.9;
    Screen::mainScreen()->setScale(kScale);
    OpenGenerated(screen);
    VKMLayoutViewController& controller = *screen.controller;
    const auto view = controller.outlets.layoutView.lock();
    controller.changeZoomTo(controller.fittingZoomFactor() * 2.3);
    // On whole pixels, so that the direct drawing lands where the tiles do.
    controller.setContentOffset({-700 / kScale, -500 / kScale});
    view->setNeedsDisplayOfLayout();
    screen.window->snapshot();
    ASSERT_TRUE(view->waitForTiles());
    const auto shot = screen.window->snapshot();

    const platform::Rect bounds = screen.window->bounds();
    auto direct = platform::BitmapContext::createForPointSize(bounds.size(), kScale);
    VKMLayoutView::drawLayout(*direct, bounds, &screen.layout(), view->renderData().get(), controller.contentOffset());
    const auto reference = direct->makeImage();
    ASSERT_EQ(shot->pixelWidth(), reference->pixelWidth());
    ASSERT_EQ(shot->pixelHeight(), reference->pixelHeight());
    int differing = 0;
    int compared = 0;
    for (int y = shot->pixelHeight() / 5; y < shot->pixelHeight() * 4 / 5; ++y) {
        for (int x = shot->pixelWidth() / 4; x < shot->pixelWidth(); ++x) {
            const platform::Pixel a = *shot->pixel(x, y);
            const platform::Pixel b = *reference->pixel(x, y);
            ++compared;
            if (std::max({std::abs(a.red - b.red), std::abs(a.green - b.green), std::abs(a.blue - b.blue)}) > 24)
                ++differing;
        }
    }
    EXPECT_LT(differing, compared / 1000) << "seams between the tiles";
}

TEST(LayoutTiles, StretchedTilesMeetWithoutLettingTheBackgroundThrough) {
    ScreenFixture screen;
    screen.show(UserInterfaceIdiom::phone);
    // A red board larger than the view at the zoom below.
    screen.open("version 13\nparam grid off\nlayer \"Plan\"\nrect size=1000,1000 at=0,0 color=1,0,0 color2=1,0,0\n",
                "board.wkst");
    VKMLayoutViewController& controller = *screen.controller;
    const auto view = controller.outlets.layoutView.lock();
    // About the board's middle, where the open left it.
    controller.setTouchDownLocation({195, 422});
    controller.changeZoomTo(3);
    screen.window->snapshot();
    ASSERT_TRUE(view->waitForTiles());

    // Shrunk by a pinch, and then kept under the new zoom's tiles until
    // they come, tile edges fall between pixels.
    struct Case {
        const char* name;
        double scale;
        bool ended;
    };
    for (const Case c : {Case{"shrunk while pinching", 0.83, false}, Case{"grown while pinching", 1.21, false},
                         Case{"kept after the pinch", 0.9, true}}) {
        PoolBlocker blocker;  // no tile of the new zoom comes meanwhile
        ASSERT_TRUE(blocker.allHeld());
        view->setInteractiveZoom(true);
        controller.setTouchDownScale(screen.zoom());
        controller.setTouchDownContentOffset(controller.contentOffset());
        controller.setTouchDownLocation({195, 300});
        controller.zoomContentWithPinchScale(c.scale);
        if (c.ended) view->setInteractiveZoom(false);
        const auto shot = screen.window->snapshot();
        int off = 0;
        // Away from the buttons at the left and the bottom.
        for (int y = 100; y < 1400; ++y) {
            for (int x = 160; x < shot->pixelWidth(); ++x) {
                const platform::Pixel p = *shot->pixel(x, y);
                if (p.red < 250 || p.green > 6 || p.blue > 6) ++off;
            }
        }
        EXPECT_EQ(off, 0) << c.name << ": pixels of the board not red";
        view->setInteractiveZoom(false);
        blocker.release();
        ASSERT_TRUE(view->waitForTiles()) << c.name;
    }
}
