#pragma once
// Shared helpers of the layout viewer tests: the engine services, layouts
// written by layoutgen from a scenario and read back, and pixel checks.

#include <cstdint>
#include <memory>
#include <string>

#include "engine/model/Layout.h"
#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/Image.h"

namespace layouttest {

// What a build or a search with display edits may change and must put back.
struct tDocumentState {
    tElements elements;
    tImages images;
    tBaseboardElements baseboards;
    std::int32_t trackStyle = 0;
    std::int32_t tunnelMode = 0;
    std::int32_t displayFlags = 0;
    bool showGrid = false;
    std::string colours;

    explicit tDocumentState(const CLayout& layout)
        : elements(layout.GetElements()),
          images(layout.GetImages()),
          baseboards(layout.GetBaseboards()),
          trackStyle(layout.GetParameters().mTrackStyle),
          tunnelMode(layout.GetParameters().mTunnelDisplayMode),
          displayFlags(layout.GetParameters().mDisplayFlags),
          showGrid(layout.GetParameters().mShowGrid),
          colours(layout.GetParameters().mFirstColor.ToHexString() + layout.GetParameters().mSecondColor.ToHexString() +
                  layout.GetParameters().mThirdColor.ToHexString()) {}
    bool operator==(const tDocumentState&) const = default;
};


// Localisation, preferences, text measurement and performance counters
// (enabled), once per process.
void RegisterServices();

// Writes the scenario with layoutgen and loads it into a new document.
std::unique_ptr<CLayout> LoadScenario(const std::string& scenario, const std::string& fileName);
// Writes the scenario to a file and returns its path.
std::string WriteScenario(const std::string& scenario, const std::string& fileName);

// A bitmap of that size in points at scale 1.
std::unique_ptr<platform::BitmapContext> Canvas(int width, int height);

// Whether the pixel is within `tolerance` of the colour on every channel.
bool Near(const platform::Pixel& pixel, int red, int green, int blue, int alpha, int tolerance = 40);
bool PixelNear(const platform::BitmapContext& canvas, int x, int y, int red, int green, int blue, int alpha,
               int tolerance = 40);
bool PixelNear(const platform::Image& image, int x, int y, int red, int green, int blue, int alpha, int tolerance = 40);

// Pixels within the rectangle (pixel columns x0..x1-1, rows y0..y1-1) near
// the colour.
int CountNear(const platform::Image& image, int x0, int y0, int x1, int y1, int red, int green, int blue,
              int tolerance = 40);

// Warning lines of the log that contain the text.
long CountWarnings(const std::string& text);

}  // namespace layouttest
