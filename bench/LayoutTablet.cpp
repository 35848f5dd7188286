#include "bench/LayoutTablet.h"

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "LayoutModule/Layout/VKMLayoutView.h"
#include "LayoutModule/Layout/VKMLayoutViewController.h"
#include "LayoutModule/Scenes/VKMLayoutScenes.h"
#include "app/Helper/VKMLayoutDocumentHelper.h"
#include "bench/BenchSupport.h"
#include "engine/model/Layout.h"
#include "platform/foundation/Paths.h"
#include "platform/ui/controllers/Storyboard.h"
#include "platform/ui/controllers/TabBarController.h"
#include "platform/ui/input/TouchSynth.h"
#include "platform/ui/views/Device.h"
#include "platform/ui/views/Screen.h"
#include "platform/ui/views/Window.h"
#include "tools/layoutgen/LargeLayout.h"
#include "tools/layoutgen/LayoutFileWriter.h"
#include "tools/layoutgen/Scenario.h"

using namespace platform::ui;

namespace {

constexpr std::uint64_t kSeed = 20240601;
constexpr platform::Size kPoints{1366, 1024};

void OpenDocument(LayoutTablet& t, const char* name, std::size_t elements) {
    ULayoutGen::tLayoutDocument document;
    if (elements == 0) {
        std::ifstream in(VEKMONT_SAMPLE_SCENARIO);
        const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        ULayoutGen::tScenarioSummary summary;
        std::string error;
        if (!ULayoutGen::ParseLayoutScenario(text, document, summary, error)) std::abort();
    } else {
        ULayoutGen::ComposeLargeLayout(document, elements, kSeed, CLayout::kNewestFileVersion);
    }
    const auto path = platform::Paths::tmp() / (std::string(name) + "-" + std::to_string(elements) + ".wkst");
    if (!ULayoutFileWriter::WriteLayoutFile(path, document.FileContent()) ||
        !VKMLayoutDocumentHelper::loadLayoutFile(path)) {
        std::abort();
    }
    t.advance(1);
    t.window->snapshot();
    if (const auto view = t.layout->outlets.layoutView.lock()) view->waitForTiles();
    t.advance(0.1);
    t.window->snapshot();
}

}  // namespace

void LayoutTablet::advance(double seconds) {
    clock->advance(std::chrono::duration_cast<platform::Clock::Duration>(std::chrono::duration<double>(seconds)));
}

LayoutTablet& OpenLayoutTablet(const char* name, std::size_t elements) {
    static LayoutTablet* tablet = [name] {
        SetUpBenchEngine(name);
        EnablePerformanceCounters();
        auto* t = new LayoutTablet();
        t->scoped = std::make_unique<platform::ScopedClock>(t->clock);
        Device::currentDevice().setUserInterfaceIdiom(UserInterfaceIdiom::tablet);
        Screen::mainScreen()->setSize(kPoints);
        Screen::mainScreen()->setScale(2);
        VKMLayoutScenes::registerScenes();
        t->layout = Storyboard(VKMLayoutScenes::kStoryboard)
                        .instantiateViewControllerAs<VKMLayoutViewController>(VKMLayoutScenes::kLayoutViewController);
        t->window = std::make_shared<Window>(platform::Rect{0, 0, kPoints.width, kPoints.height});
        t->synth = std::make_shared<TouchSynth>(t->window);
        t->tabs = std::make_shared<TabBarController>();
        t->tabs->setViewControllers({t->layout});
        t->window->setRootViewController(t->tabs);
        t->window->makeKeyAndVisible();
        t->advance(0.1);
        return t;
    }();
    if (tablet->opened != elements + 1) {
        OpenDocument(*tablet, name, elements);
        tablet->opened = elements + 1;
    }
    return *tablet;
}

platform::Point CentreInWindow(const View& view) {
    const platform::Rect bounds = view.bounds();
    return view.convertPointToView({bounds.x + bounds.width / 2, bounds.y + bounds.height / 2}, nullptr);
}
