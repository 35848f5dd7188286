#include "app/Utilities/Views/VKMGradientLayerInserter.h"

#include "app/Utilities/Colors/UIColorCColor.h"
#include "platform/ui/core/Layer.h"

std::shared_ptr<platform::ui::GradientLayer> VKMGradientLayerInserter::addGradientLayerWithFrame(
    const platform::Rect& frame, platform::ui::Layer& layer, const platform::Color& startColor,
    const platform::Color& endColor) {
    auto gradient = UIColorCColor::gradientWithStartColor(startColor, endColor);
    gradient->setFrame(frame);
    layer.insertSublayer(gradient, 0);
    return gradient;
}
