#pragma once
// A gradient behind everything else in a layer.

#include <memory>

#include "platform/graphics/Color.h"
#include "platform/graphics/Geometry.h"
#include "platform/ui/core/GradientLayer.h"

namespace platform::ui {
class Layer;
}

class VKMGradientLayerInserter {
public:
    // A new gradient layer from the start colour to the end colour with
    // that frame, inserted as the layer's first (rearmost) sublayer.
    static std::shared_ptr<platform::ui::GradientLayer> addGradientLayerWithFrame(const platform::Rect& frame,
                                                                                  platform::ui::Layer& layer,
                                                                                  const platform::Color& startColor,
                                                                                  const platform::Color& endColor);
};
