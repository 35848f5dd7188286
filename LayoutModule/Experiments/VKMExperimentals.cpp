#include "LayoutModule/Experiments/VKMExperimentals.h"

#include <cerrno>
#include <cstring>

#include "LayoutModule/Experiments/VKMImageFilters.h"
#include "LayoutView/ImageExport/VKMImageExportHelper.h"
#include "engine/model/AutoColorize.h"
#include "engine/model/Layout.h"
#include "engine/services/ZDUtils.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/UUID.h"
#include "platform/graphics/Image.h"
#include "platform/ui/views/Application.h"

namespace {

// Puts the track style and the first colours back however the scope ends.
class tRestoredLook {
public:
    explicit tRestoredLook(CLayout& layout)
        : mLayout(layout),
          mTrackStyle(layout.GetParameters().mTrackStyle),
          mColors(UElementColors::GetColorsById(layout.GetElements(), 0)) {}
    ~tRestoredLook() {
        mLayout.GetParameters().mTrackStyle = mTrackStyle;
        UElementColors::SetColorsById(mLayout.GetElements(), mColors, 0);
    }
    tRestoredLook(const tRestoredLook&) = delete;
    tRestoredLook& operator=(const tRestoredLook&) = delete;

private:
    CLayout& mLayout;
    std::int32_t mTrackStyle;
    tElementColorMap mColors;
};

}  // namespace

void VKMExperimentals::testLineDrawingFilterForLayout(CLayout& layout) {
    const tRestoredLook restore(layout);
    layout.GetParameters().mTrackStyle = kSketchTrackStyle;
    const CColor white(1, 1, 1, 1);
    UElementColors::SetColors(layout.GetElements(), &white, nullptr);
    const auto image = VKMImageExportHelper::getCroppedImage(layout, kPaddingMM, kTargetImageSize);
    const auto sketch = image ? VKMCoreImageFilterExperimentals::applyPencilShaderTo(*image) : nullptr;
    const auto file = sketch ? VKMCoreImageFilterExperimentals::saveImageToTempFileWithImage(*sketch) : std::nullopt;
    if (file) VKMCoreImageFilterExperimentals::openImageWithDefaultAppWithImageUrl(*file);
}

std::shared_ptr<platform::Image> VKMCoreImageFilterExperimentals::applyPencilShaderTo(const platform::Image& image) {
    using namespace VKMImageFilters;
    const tBitmap blurred = motionBlur(bitmapFromImage(image), 3.5, 45.0);
    if (blurred.empty()) {
        ZDUtils::logError("Failed to get motion-blurred image from filter.");
        return nullptr;
    }
    const tBitmap lines = lineOverlay(blurred, 0.95, 0.2);
    if (lines.empty()) {
        ZDUtils::logError("Failed to get CILineOverlay output image.");
        return nullptr;
    }
    const tBitmap composite =
        sourceOver(lines, constantColor(lines.width, lines.height, lines.scale, {255, 255, 255, 255}));
    if (composite.empty()) {
        ZDUtils::logError("Failed to get CISourceOverCompositing output image.");
        return nullptr;
    }
    auto final = imageFromBitmap(comicEffect(composite));
    if (!final) ZDUtils::logError("Failed to get final output image.");
    return final;
}

std::optional<std::filesystem::path> VKMCoreImageFilterExperimentals::saveImageToTempFileWithImage(
    const platform::Image& image) {
    const std::filesystem::path file = platform::Paths::tmp() / (platform::newUUIDString() + ".png");
    if (image.writePNG(file)) return file;
    ZDUtils::logError("Error saving image to temporary file: %s", errno != 0 ? std::strerror(errno) : "not encoded");
    return std::nullopt;
}

void VKMCoreImageFilterExperimentals::openImageWithDefaultAppWithImageUrl(const std::filesystem::path& url) {
    const std::string address = "file://" + url.string();
    auto& application = platform::ui::Application::sharedApplication();
    if (application.canOpenURL(address)) application.openURL(address);
}
