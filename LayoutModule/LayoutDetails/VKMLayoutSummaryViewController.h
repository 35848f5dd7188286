#pragma once
// The layout's summary: labels of its figures, filled by the summary page.

#include <map>
#include <memory>
#include <string>

#include "platform/ui/ViewController.h"

namespace platform::ui {
class Label;
}

class VKMLayoutSummaryViewController : public platform::ui::ViewController {
public:
    static constexpr const char* kSceneIdentifier = "LayoutSummaryId";

    // The label outlets by name, as the scene made them.
    std::map<std::string, std::weak_ptr<platform::ui::Label>> labels;

    std::string className() const override { return "VKMLayoutSummaryViewController"; }
};
