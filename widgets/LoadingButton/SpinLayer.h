#pragma once
// The spinning arc of a loading button: 40 % of a circle of a quarter of
// the button's height in radius, in a square of the button's height at its
// top-left, white and hidden until it spins. Main thread only.

#include "platform/graphics/Geometry.h"
#include "platform/ui/core/ShapeLayer.h"

#include <memory>

class SpinLayer : public platform::ui::ShapeLayer {
public:
    // One turn takes this long.
    static constexpr double kTurnDuration = 0.4;
    static constexpr double kStrokeEnd = 0.4;
    static constexpr double kRadiusFraction = 0.25;

    // Sized from the button's frame.
    static std::shared_ptr<SpinLayer> make(const platform::Rect& buttonFrame);
    explicit SpinLayer(const platform::Rect& buttonFrame);

    // Shows the arc and turns it for ever.
    void beginAnimation();
    // Hides the arc and stops it.
    void stopAnimation();
};
