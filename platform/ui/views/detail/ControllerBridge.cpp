#include "platform/ui/views/detail/ControllerBridge.h"

#include <cstdio>
#include <cstdlib>

namespace platform::ui::detail {

namespace {

const ControllerBridge* gBridge = nullptr;

}  // namespace

void setControllerBridge(const ControllerBridge& bridge) { gBridge = &bridge; }

const ControllerBridge* controllerBridge() { return gBridge; }

const ControllerBridge& controllers() {
    if (!gBridge) {
        std::fputs("platform::ui: a window met a controller before any controller was made\n", stderr);
        std::abort();
    }
    return *gBridge;
}

void controllerViewMovedToWindow(View& view, bool inWindow) {
    if (gBridge) gBridge->viewMovedToWindow(view, inWindow);
}

void controllerWillLayout(View& view) {
    if (gBridge) gBridge->willLayout(view);
}

void controllerDidLayout(View& view) {
    if (gBridge) gBridge->didLayout(view);
}

}  // namespace platform::ui::detail
