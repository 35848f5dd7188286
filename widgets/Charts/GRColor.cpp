#include "widgets/Charts/GRColor.h"

#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/Image.h"

std::shared_ptr<platform::Image> GRColor::imageFromColor(const platform::Color& color) {
    auto bitmap = platform::BitmapContext::create(1, 1, 1);
    bitmap->setFillColor(color);
    bitmap->fillRect({0, 0, 1, 1});
    return bitmap->makeImage();
}
