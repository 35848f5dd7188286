#include "platform/ui/input/KeyCommand.h"
#include "platform/ui/views/TextField.h"
#include "platform/ui/views/Window.h"

#include <algorithm>
#include <vector>

namespace platform::ui {

namespace {

bool shown(const View& view) { return !view.isHidden() && view.alpha() > 0; }

// The fields that Tab visits under `view`, in the order of the tree.
void collectFields(const std::shared_ptr<View>& view, std::vector<std::shared_ptr<TextField>>& fields) {
    if (!shown(*view)) return;
    if (auto field = std::dynamic_pointer_cast<TextField>(view); field && field->canBecomeFirstResponder())
        fields.push_back(std::move(field));
    for (const auto& subview : view->subviews()) collectFields(subview, fields);
}

}  // namespace

bool TextField::handleKeyCommand(const KeyCommand& command) {
    const bool forward = command.is(KeyCommand::kInputTab);
    if (!forward && !command.is(KeyCommand::kInputTab, KeyModifierFlags::shift)) return false;
    // The field's screen: the view below the window that holds it (the
    // root view, or a presentation's container).
    auto screen = sharedView();
    while (screen->superview() && !dynamic_cast<Window*>(screen->superview().get())) screen = screen->superview();
    std::vector<std::shared_ptr<TextField>> fields;
    collectFields(screen, fields);
    const auto self = std::find(fields.begin(), fields.end(), sharedView());
    if (self == fields.end() || fields.size() < 2) return true;
    const auto index = static_cast<std::size_t>(self - fields.begin());
    const std::size_t next = forward ? (index + 1) % fields.size() : (index + fields.size() - 1) % fields.size();
    fields[next]->becomeFirstResponder();
    return true;
}

}  // namespace platform::ui
