#pragma once
// Private to platform/ui: an animation as one layer holds it.

#include "platform/ui/core/detail/AnimationRun.h"
#include "platform/ui/core/detail/MainLoop.h"
#include "platform/ui/core/detail/TransactionState.h"

#include <cstdint>
#include <string>
#include <vector>

namespace platform::ui::detail {

struct AnimationEntry {
    std::uint64_t id = 0;
    std::string key;
    std::shared_ptr<Animation> animation;
    std::unique_ptr<AnimationRun> run;
    double begin = 0;
    double end = 0;  // infinity when it never ends
    bool started = false;
    bool ended = false;  // ran to its end and told its delegate
    MainLoopCall startCall;
    MainLoopCall endCall;
    // The transactions it was added in, told when it ends.
    std::vector<std::shared_ptr<CompletionGroup>> groups;
};

}  // namespace platform::ui::detail
