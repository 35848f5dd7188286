#pragma once
// Draws a FramePlan: into one context, or into bands of a bitmap at once
// on the shared pool's threads, each band keeping only the subtrees whose
// area overlaps its rows.

#include "platform/ui/render/FramePlan.h"
#include "platform/ui/render/Scheduler.h"

#include <functional>
#include <memory>
#include <span>
#include <vector>

namespace platform {
class BitmapContext;
class Context;
}  // namespace platform

namespace platform::ui {

void replayPlan(const FramePlan& plan, Context& context);

// `bands` are contexts on the rows `rows` of one bitmap, made before the
// work, each destroyed once drawn; `rows` are in the bitmap's pixels. Not
// for a plan that needs the main thread. `alongside`, when given, runs on
// the calling thread while the pool's threads start on the bands, before
// it draws a band itself (or once they are drawn, when the pool's threads
// drew them all).
void replayInBands(const FramePlan& plan, std::span<std::unique_ptr<BitmapContext>> bands,
                   std::span<const BandRows> rows, const std::function<void()>& alongside = {});

// How many subtrees without sublayers of the plan overlap each band's rows
// (the bands with the most are started first).
std::vector<std::size_t> bandLoads(const FramePlan& plan, std::span<const BandRows> rows);

}  // namespace platform::ui
