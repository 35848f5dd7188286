#pragma once
// What a long press on an element shows: its name, description, library
// and model scale.

#include <memory>

#include "platform/ui/ViewController.h"

namespace platform::ui {
class Label;
class LayoutConstraint;
}  // namespace platform::ui
class CCompositeGeometry;

class VKMElementInfoViewController : public platform::ui::ViewController {
public:
    static constexpr const char* kSceneIdentifier = "LayoutItemDetailsId";

    struct Outlets {
        std::weak_ptr<platform::ui::Label> titleLabel;
        std::weak_ptr<platform::ui::Label> descriptionLabel;
        std::weak_ptr<platform::ui::Label> libraryLabel;
        std::weak_ptr<platform::ui::Label> modelScaleLabel;
        std::weak_ptr<platform::ui::LayoutConstraint> stackVCenterConstraint;
    };
    Outlets outlets;

    // The element shown; it belongs to the document.
    CCompositeGeometry* element() const { return mElement; }
    void setElement(CCompositeGeometry* element) { mElement = element; }

    std::string className() const override { return "VKMElementInfoViewController"; }

private:
    CCompositeGeometry* mElement = nullptr;
};
