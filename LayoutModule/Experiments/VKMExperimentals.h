#pragma once
// A diagnostic: the open layout drawn as a pencil sketch. The layout is
// drawn in rails with white elements, cropped, run through the sketch
// filters, written to a temporary PNG and handed to the system to open.
// The layout's track style and colours are put back in every case. Main
// thread only.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>

namespace platform {
class Image;
}
class CLayout;

class VKMExperimentals {
public:
    static constexpr std::int32_t kSketchTrackStyle = 64;
    static constexpr int kPaddingMM = 10;
    static constexpr double kTargetImageSize = 2048;

    static void testLineDrawingFilterForLayout(CLayout& layout);
};

class VKMCoreImageFilterExperimentals {
public:
    // Motion blur (3.5 at 45 degrees), a line overlay (noise level 0.95,
    // sharpness 0.2) over white, then the comic effect. Null, with the
    // failed step's message in the log, when a step gives nothing.
    static std::shared_ptr<platform::Image> applyPencilShaderTo(const platform::Image& image);
    // A new file "<UUID>.png" in the temporary folder; nothing when the
    // image cannot be encoded or written.
    static std::optional<std::filesystem::path> saveImageToTempFileWithImage(const platform::Image& image);
    static void openImageWithDefaultAppWithImageUrl(const std::filesystem::path& url);
};
