#include "widgets/Kits/ScalableProgressBarKit.h"

#include "platform/graphics/Context.h"

void ScalableProgressBarKit::drawProgressBarWithBackground(platform::Context& context,
                                                           const platform::Color& background,
                                                           const platform::Color& gauge, double width, double height,
                                                           double gaugeWidth) {
    const double radius = height / 2;
    context.setFillColor(background);
    context.beginPath();
    context.addRoundedRect({0, 0, width, height}, radius);
    context.fill();
    context.setFillColor(gauge);
    context.beginPath();
    context.addRoundedRect({0, 0, gaugeWidth, height}, radius);
    context.fill();
}
