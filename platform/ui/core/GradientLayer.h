#pragma once
// A layer filled with an axial gradient through its colours, from
// startPoint to endPoint (unit coordinates of the bounds; by default top
// centre to bottom centre), the end colours continuing beyond them.
// Locations (0 to 1, one per colour) place the colours; without them, or
// with a count that does not match, they are spread evenly.
//
// Key paths beside the layer's: "startPoint", "endPoint".

#include "platform/ui/core/Layer.h"

namespace platform::ui {

class GradientLayer : public Layer {
public:
    static std::shared_ptr<GradientLayer> make() { return std::make_shared<GradientLayer>(); }
    GradientLayer() = default;

    const std::vector<Color>& colors() const { return mColors; }
    void setColors(std::vector<Color> colors);
    const std::vector<double>& locations() const { return mLocations; }
    void setLocations(std::vector<double> locations);
    Point startPoint() const { return mStartPoint; }
    void setStartPoint(Point point);
    Point endPoint() const { return mEndPoint; }
    void setEndPoint(Point point);

    void drawInContext(Context& context) override;

protected:
    GradientLayer(const GradientLayer& other) = default;
    std::shared_ptr<Layer> makeCopy() const override;
    const detail::KeyPath* findKeyPath(std::string_view keyPath) const override;
    bool drawsWithoutDisplay() const override { return true; }

private:
    std::vector<Color> mColors;
    std::vector<double> mLocations;
    Point mStartPoint{0.5, 0};
    Point mEndPoint{0.5, 1};
};

}  // namespace platform::ui
