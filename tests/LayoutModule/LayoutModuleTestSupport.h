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
