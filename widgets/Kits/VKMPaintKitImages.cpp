#include "widgets/Kits/VKMPaintKitImages.h"

#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/Image.h"
#include "platform/ui/views/Screen.h"
#include "widgets/Kits/InfoKit.h"
#include "widgets/Kits/LikeKit.h"

std::shared_ptr<platform::Image> VKMPaintKitImages::getImageForSize(
    platform::Size size, const std::function<void(platform::Context&)>& draw) {
    auto context = platform::BitmapContext::createForPointSize(size, platform::ui::Screen::mainScreen()->scale());
    if (!context) return nullptr;
    const double factor = size.width / 100;
    context->scale(factor, factor);
    draw(*context);
    return context->makeImage();
}

std::shared_ptr<platform::Image> VKMPaintKitImages::infoImageWithSize(platform::Size size,
                                                                      const platform::Color& color) {
    return getImageForSize(size, [&](platform::Context& context) { InfoKit::drawInfo(context, color); });
}

std::shared_ptr<platform::Image> VKMPaintKitImages::likedImageWithSize(platform::Size size,
                                                                       const platform::Color& color) {
    return getImageForSize(size, [&](platform::Context& context) { LikeKit::drawLike(context, color, color); });
}

std::shared_ptr<platform::Image> VKMPaintKitImages::likedNotYetImageWithSize(platform::Size size,
                                                                             const platform::Color& color) {
    return getImageForSize(
        size, [&](platform::Context& context) { LikeKit::drawLike(context, color, platform::Color::clear()); });
}
