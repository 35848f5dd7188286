#pragma once
// The layout's details: a segmented control of two pages (summary and
// description) over a container view.

#include <memory>

#include "platform/ui/ViewController.h"

namespace platform::ui {
class SegmentedControl;
}

class VKMLayoutDetailsViewController : public platform::ui::ViewController {
public:
    static constexpr const char* kSceneIdentifier = "LayoutDetailsId";

    struct Outlets {
        std::weak_ptr<platform::ui::View> containerView;
        std::weak_ptr<platform::ui::SegmentedControl> pageControl;
    };
    Outlets outlets;

    std::string className() const override { return "VKMLayoutDetailsViewController"; }
};
