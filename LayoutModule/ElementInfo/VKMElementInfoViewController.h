#pragma once
// The popover content of a picked element: its name with manufacturer and
// usage count, its description, the library it comes from and its model
// scale. Stays a popover on phones too. Main thread only.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/ui/controllers/PresentationController.h"
#include "platform/ui/controllers/ViewController.h"

namespace platform::ui {
class Label;
class LayoutConstraint;
}  // namespace platform::ui
class CCompositeGeometry;

class VKMElementInfoViewController : public platform::ui::ViewController,
                                     public platform::ui::PopoverPresentationControllerDelegate {
public:
    static constexpr const char* kSceneIdentifier = "LayoutItemDetailsId";
    static constexpr double kPopoverArrowOffset = 8;
    static constexpr double kTextInset = 5;
    static constexpr double kContentWidth = 225;
    // Height of everything but the description.
    static constexpr double kFixedHeight = 85;

    struct Outlets {
        std::weak_ptr<platform::ui::Label> titleLabel;
        std::weak_ptr<platform::ui::Label> descriptionLabel;
        std::weak_ptr<platform::ui::Label> libraryLabel;
        std::weak_ptr<platform::ui::Label> modelScaleLabel;
        std::weak_ptr<platform::ui::LayoutConstraint> stackVCenterConstraint;
    };
    Outlets outlets;

    // The scene: the four labels in a vertical stack centred by
    // stackVCenterConstraint.
    static std::shared_ptr<platform::ui::ViewController> makeScene();

    void viewDidLoad() override;
    void viewDidLayoutSubviews() override;
    // Fills the labels and sets the preferred size from the description.
    void configureWithName(const std::string& name, const std::string& description, const std::string& producer,
                           const std::string& library, const std::string& modelScale, std::int64_t usageCount);

    // The element shown; it belongs to the document.
    CCompositeGeometry* element() const { return mElement; }
    void setElement(CCompositeGeometry* element) { mElement = element; }

    std::optional<platform::ui::ModalPresentationStyle> adaptivePresentationStyleForPresentationController(
        platform::ui::PresentationController& controller, const platform::ui::TraitCollection& traits) override;

    std::string className() const override { return "VKMElementInfoViewController"; }

private:
    CCompositeGeometry* mElement = nullptr;
};
