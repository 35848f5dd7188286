#pragma once
// A portrait in a white ring, as large as the shorter side of the bounds
// allows, centred. Main thread only.

#include "platform/ui/views/View.h"

#include <memory>

namespace platform {
class Image;
}

class VKMCircularImageView : public platform::ui::View {
public:
    VKMCircularImageView();
    explicit VKMCircularImageView(const platform::Rect& frame);

    // Setting it redraws; null shows the ring alone.
    const std::shared_ptr<const platform::Image>& image() const { return mImage; }
    void setImage(std::shared_ptr<const platform::Image> image);

    // The portrait kit inside the bounds inset by 2.5 points, aspect fit,
    // a white ring 4.5 points wide, the portrait 5 points short of the
    // shorter side.
    void drawRect(platform::Context& context, const platform::Rect& rect) override;
    std::string className() const override { return "VKMCircularImageView"; }

private:
    std::shared_ptr<const platform::Image> mImage;
};
