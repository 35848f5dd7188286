#include "tests/LayoutModule/KeptPictures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

namespace layouttest {

namespace {

constexpr int kFactor = 4;
constexpr int kChannelTolerance = 64;
constexpr int kShareAllowed = 10000;  // one pixel in this many may differ

std::shared_ptr<platform::Image> Reduced(const platform::Image& shot) {
    const int width = shot.pixelWidth() / kFactor;
    const int height = shot.pixelHeight() / kFactor;
    std::vector<platform::Pixel> small(static_cast<std::size_t>(width * height));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            int sum[4] = {0, 0, 0, 0};
            for (int dy = 0; dy < kFactor; ++dy) {
                for (int dx = 0; dx < kFactor; ++dx) {
                    const auto p = shot.pixel(x * kFactor + dx, y * kFactor + dy).value_or(platform::Pixel{});
                    sum[0] += p.red, sum[1] += p.green, sum[2] += p.blue, sum[3] += p.alpha;
                }
            }
            const auto mean = [&](int i) { return static_cast<std::uint8_t>(sum[i] / (kFactor * kFactor)); };
            small[static_cast<std::size_t>(y * width + x)] = {mean(0), mean(1), mean(2), mean(3)};
        }
    }
    return platform::Image::fromPixels(width, height, small);
}

// The picture made, reduced as kept and whole, where a person can look.
std::string WriteMade(const platform::Image& made, const platform::Image& shot, const std::string& name) {
    const std::filesystem::path folder(VEKMONT_PICTURES_MADE);
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    const bool written = made.writePNG(folder / (name + ".png")) && shot.writePNG(folder / (name + "-whole.png"));
    return written ? "; the picture made is " + (folder / (name + ".png")).string() + " (whole: " + name + "-whole.png)"
                   : "; writing the picture made to " + folder.string() + " failed";
}

}  // namespace

void ExpectLooksAsKept(const platform::Image& shot, const std::string& name) {
    const auto made = Reduced(shot);
    ASSERT_NE(made, nullptr) << name;
    const int width = made->pixelWidth();
    const int height = made->pixelHeight();
    const std::filesystem::path kept = std::filesystem::path(VEKMONT_KEPT_PICTURES) / (name + ".png");
    if (std::getenv("VEKMONT_UPDATE_PICTURES")) {
        std::filesystem::create_directories(kept.parent_path());
        ASSERT_TRUE(made->writePNG(kept)) << kept;
    }
    const auto expected = platform::Image::fromFile(kept);
    ASSERT_NE(expected, nullptr) << kept << " is missing (VEKMONT_UPDATE_PICTURES=1 writes it)"
                                 << WriteMade(*made, shot, name);
    ASSERT_TRUE(expected->pixelWidth() == width && expected->pixelHeight() == height)
        << name << ": " << width << " x " << height << " pixels, kept " << expected->pixelWidth() << " x "
        << expected->pixelHeight() << WriteMade(*made, shot, name);
    int differing = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const auto a = *made->pixel(x, y);
            const auto b = *expected->pixel(x, y);
            const int most = std::max({std::abs(a.red - b.red), std::abs(a.green - b.green), std::abs(a.blue - b.blue),
                                       std::abs(a.alpha - b.alpha)});
            if (most > kChannelTolerance) ++differing;
        }
    }
    if (differing > width * height / kShareAllowed) {
        ADD_FAILURE() << name << ": " << differing << " of " << width * height << " pixels differ from " << kept
                      << WriteMade(*made, shot, name);
    }
}

}  // namespace layouttest
