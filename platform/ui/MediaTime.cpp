#include "platform/ui/MediaTime.h"

#include "platform/ui/detail/MainLoop.h"

namespace platform::ui {

double currentMediaTime() { return detail::mediaTimeNow(); }

}  // namespace platform::ui
