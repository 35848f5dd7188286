#include "platform/ui/input/detail/ViewBridge.h"

#include <cstdio>
#include <cstdlib>

namespace platform::ui::detail {

namespace {

const ViewBridge* gBridge = nullptr;

}  // namespace

void setViewBridge(const ViewBridge& bridge) { gBridge = &bridge; }

const ViewBridge& viewBridge() {
    if (!gBridge) {
        // Only a view leads input to a view, and making one sets the bridge.
        std::fputs("platform::ui: input reached a view before any view was made\n", stderr);
        std::abort();
    }
    return *gBridge;
}

}  // namespace platform::ui::detail
