#include "platform/ui/core/MediaTime.h"

#include "platform/ui/core/detail/MainLoop.h"

namespace platform::ui {

double currentMediaTime() { return detail::mediaTimeNow(); }

}  // namespace platform::ui
