#include "tests/LayoutModule/LayoutModuleTestSupport.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include <gtest/gtest.h>

#include "engine/services/LocalizationService.h"
#include "engine/services/Logger.h"
#include "engine/services/PerformanceCounters.h"
#include "engine/services/PreferencesService.h"
#include "engine/services/ServiceLocator.h"
#include "engine/services/TextCalculationService.h"
#include "platform/foundation/Bundle.h"
#include "tests/support/BetweenTests.h"
#include "tests/support/TempRoot.h"
#include "tools/layoutgen/LayoutFileWriter.h"
#include "tools/layoutgen/Scenario.h"

namespace layouttest {

namespace {

// Until the services are forgotten after the test.
bool gRegistered = false;
const bool kForgets = testsupport::ResetAfterEachTest(testsupport::ResetStage::Singletons, [] { gRegistered = false; });

}  // namespace

void RegisterServices() {
    if (!gRegistered) {
        if (platform::Bundle* bundle = platform::Bundle::main()) bundle->setPreferredLanguage(std::string("en"));
        CServiceLocator& locator = CServiceLocator::Instance();
        locator.RegisterService(new LocalizationService());
        locator.RegisterService(new VKMPreferencesService());
        locator.RegisterService(new VKMTextCalculationService());
        auto* counters = new QLPerformanceCountersService();
        counters->Enable();
        locator.RegisterService(counters);
        gRegistered = true;
    }
}

std::string WriteScenario(const std::string& scenario, const std::string& fileName) {
    ULayoutGen::tLayoutDocument document;
    ULayoutGen::tScenarioSummary summary;
    std::string error;
    EXPECT_TRUE(ULayoutGen::ParseLayoutScenario(scenario, document, summary, error)) << error;
    const std::string path = (testsupport::processRoot() / fileName).string();
    EXPECT_TRUE(ULayoutFileWriter::WriteLayoutFile(std::filesystem::path(path), document.FileContent()));
    return path;
}

std::unique_ptr<CLayout> LoadScenario(const std::string& scenario, const std::string& fileName) {
    RegisterServices();
    const std::string path = WriteScenario(scenario, fileName);
    auto layout = std::make_unique<CLayout>();
    EXPECT_EQ(layout->Load(path), kLayoutLoaded);
    return layout;
}

std::unique_ptr<platform::BitmapContext> Canvas(int width, int height) {
    return platform::BitmapContext::create(width, height, 1.0);
}

bool Near(const platform::Pixel& p, int red, int green, int blue, int alpha, int tolerance) {
    return std::abs(p.red - red) <= tolerance && std::abs(p.green - green) <= tolerance &&
           std::abs(p.blue - blue) <= tolerance && std::abs(p.alpha - alpha) <= tolerance;
}

bool PixelNear(const platform::BitmapContext& canvas, int x, int y, int red, int green, int blue, int alpha,
               int tolerance) {
    const std::optional<platform::Pixel> p = canvas.pixel(x, y);
    return p && Near(*p, red, green, blue, alpha, tolerance);
}

bool PixelNear(const platform::Image& image, int x, int y, int red, int green, int blue, int alpha, int tolerance) {
    const std::optional<platform::Pixel> p = image.pixel(x, y);
    return p && Near(*p, red, green, blue, alpha, tolerance);
}

int CountNear(const platform::Image& image, int x0, int y0, int x1, int y1, int red, int green, int blue,
              int tolerance) {
    int count = 0;
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            const std::optional<platform::Pixel> p = image.pixel(x, y);
            if (p && p->alpha > 200 && Near(*p, red, green, blue, p->alpha, tolerance)) ++count;
        }
    }
    return count;
}

long CountWarnings(const std::string& text) {
    std::vector<std::string> lines;
    CLogger::Instance().FindRecentLines(4096, 3, lines);
    return std::count_if(lines.begin(), lines.end(),
                         [&](const std::string& line) { return line.find(text) != std::string::npos; });
}

}  // namespace layouttest
