#include "tests/widgets/support/ChartTestSupport.h"

#include "platform/ui/views/Screen.h"

#include <algorithm>
#include <cstdlib>

namespace charttest {

Scene::Scene() {
    window->setBackgroundColor(platform::Color{1, 1, 1, 1});
    platform::ui::Screen::mainScreen()->setScale(2);
}

void Scene::advance(double seconds) { synth.wait(seconds); }

void RecordingDelegate::chartTappedOnLinePoint(platform::Point, std::int64_t lineIndex) {
    calls.push_back("line " + std::to_string(lineIndex));
}

void RecordingDelegate::chartTappedOnLineKeyPoint(platform::Point, std::int64_t lineIndex, std::int64_t pointIndex) {
    calls.push_back("point " + std::to_string(lineIndex) + " " + std::to_string(pointIndex));
}

void RecordingDelegate::chartTappedOnBarAtIndex(std::int64_t barIndex) {
    calls.push_back("bar " + std::to_string(barIndex));
}

void RecordingDelegate::chartTappedOnPieIndexItem(std::int64_t pieIndex) {
    calls.push_back("pie " + std::to_string(pieIndex));
}

void RecordingDelegate::didUnselectPieItem() { calls.push_back("unselect"); }

std::unique_ptr<platform::BitmapContext> ExpectedCanvas() {
    auto canvas = platform::BitmapContext::create(800, 800, 2);
    canvas->setFillColor({1, 1, 1, 1});
    canvas->fillRect({0, 0, 400, 400});
    return canvas;
}

int CountDiffering(const platform::Image& shot, const platform::BitmapContext& expected, int tolerance) {
    int differing = 0;
    for (int y = 0; y < expected.pixelHeight(); ++y) {
        for (int x = 0; x < expected.pixelWidth(); ++x) {
            const auto a = shot.pixel(x, y);
            const auto b = expected.pixel(x, y);
            if (!a || !b) {
                ++differing;
                continue;
            }
            const int d =
                std::max({std::abs(a->red - b->red), std::abs(a->green - b->green), std::abs(a->blue - b->blue)});
            if (d > tolerance) ++differing;
        }
    }
    return differing;
}

}  // namespace charttest
