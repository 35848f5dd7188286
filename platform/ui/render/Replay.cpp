#include "platform/ui/render/Replay.h"

#include "platform/dispatch/DispatchQueue.h"
#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/Context.h"
#include "platform/ui/core/Layer.h"
#include "platform/ui/render/detail/RepeatedMarks.h"

#include <algorithm>
#include <numeric>
#include <thread>

namespace platform::ui {

Path PlanRoundedRect::path() const {
    Path made;
    made.addRoundedRect(rect, radius);
    return made;
}

namespace {

template <class... Ts>
struct Overloaded : Ts... {
    using Ts::operator()...;
};
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

// Draws the items, passing over subtrees whose area misses rows
// [first, end) when `rows` are given.
void replay(const FramePlan& plan, Context& context, const BandRows* rows) {
    const auto& items = plan.items;
    for (std::size_t i = 0; i < items.size(); ++i) {
        std::visit(Overloaded{
                       [&](const PlanEnter& enter) {
                           if (rows && enter.hasArea &&
                               !(enter.area.maxY() > rows->first && enter.area.minY() < rows->end &&
                                 enter.area.width > 0 && enter.area.height > 0)) {
                               i = enter.end;
                               return;
                           }
                           context.save();
                           context.concat(enter.transform);
                           context.setAlpha(enter.alpha);
                       },
                       [&](const PlanExit&) { context.restore(); },
                       [&](const PlanLowQuality&) { context.setInterpolationQuality(InterpolationQuality::low); },
                       [&](const PlanGroupBegin& group) {
                           context.clipToRect(group.clip);
                           context.beginTransparencyLayer();
                       },
                       [&](const PlanGroupEnd& group) {
                           if (group.mask) {
                               context.endTransparencyLayer(*group.mask, group.maskRect);
                           } else {
                               context.endTransparencyLayer();
                           }
                       },
                       [&](const PlanClipBegin& clip) {
                           context.save();
                           if (clip.rounded) {
                               context.clipToPath(clip.rounded->path());
                           } else {
                               context.clipToPath(clip.path);
                           }
                       },
                       [&](const PlanClipEnd&) { context.restore(); },
                       [&](const PlanFill& fill) {
                           // A fill left out (hidden by a later one).
                           if (!fill.rounded && !fill.path) return;
                           context.setFillColor(fill.color);
                           if (fill.rounded) {
                               context.fillPath(fill.rounded->path(), fill.rule);
                           } else if (fill.path) {
                               context.fillPath(*fill.path, fill.rule);
                           }
                       },
                       [&](const PlanImage& image) {
                           const Image* drawn = image.image ? image.image : image.slot ? image.slot->shown : nullptr;
                           if (!drawn) {
                               if (image.slot && image.slot->fallback) {
                                   context.save();
                                   image.slot->fallback(context);
                                   context.restore();
                               }
                               return;
                           }
                           if (image.lowQuality) {
                               // A blur looks the same however it is resampled.
                               context.save();
                               context.setInterpolationQuality(InterpolationQuality::low);
                               context.drawImage(*drawn, image.rect);
                               context.restore();
                           } else {
                               context.drawImage(*drawn, image.rect);
                           }
                       },
                       [&](const PlanDraw& draw) {
                           context.save();
                           if (draw.clips) context.clipToRect(draw.clip);
                           draw.layer->drawInContext(context);
                           context.restore();
                       },
                       [&](const PlanMarks& marks) {
                           // Some marks missing would draw another shape.
                           const auto missing = [&](const auto& placed) { return !marks.stamps->stamps[placed.first]; };
                           if (marks.whole && std::any_of(marks.placements.begin(), marks.placements.end(), missing)) {
                               context.save();
                               marks.whole->drawInContext(context);
                               context.restore();
                               return;
                           }
                           for (const auto& [phase, rect] : marks.placements) {
                               if (const auto& stamp = marks.stamps->stamps[phase]) context.drawImage(*stamp, rect);
                           }
                       },
                   },
                   items[i]);
    }
}

}  // namespace

void replayPlan(const FramePlan& plan, Context& context) { replay(plan, context, nullptr); }

std::vector<std::size_t> bandLoads(const FramePlan& plan, std::span<const BandRows> rows) {
    std::vector<std::size_t> loads(rows.size(), 0);
    for (std::size_t i = 0; i < plan.items.size(); ++i) {
        const auto* enter = std::get_if<PlanEnter>(&plan.items[i]);
        // Subtrees without sublayers: their Exit follows their own items.
        if (!enter || !enter->hasArea) continue;
        bool leaf = true;
        for (std::size_t k = i + 1; k < enter->end && leaf; ++k)
            leaf = !std::holds_alternative<PlanEnter>(plan.items[k]);
        if (!leaf) continue;
        addBandLoad(rows, enter->area, loads);
    }
    return loads;
}

void replayInBands(const FramePlan& plan, std::span<std::unique_ptr<BitmapContext>> bands,
                   std::span<const BandRows> rows, const std::function<void()>& alongside) {
    // The bands with the most to draw first, so that none is left to hold
    // up the end.
    const std::vector<std::size_t> loads =
        plan.bandLoads.size() == rows.size() ? plan.bandLoads : bandLoads(plan, rows);
    std::vector<std::size_t> order(bands.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return loads[a] > loads[b]; });
    const auto draw = [&](std::size_t i) {
        replay(plan, *bands[i], &rows[i]);
        bands[i].reset();
    };
    // The pool's threads are asked for once, all bands known: the calling
    // thread does `alongside` before its first band while they start.
    const std::thread::id caller = std::this_thread::get_id();
    bool done = !alongside;
    DispatchQueue::concurrentPerform(bands.size(), [&](std::size_t turn) {
        if (std::this_thread::get_id() == caller && !done) {
            done = true;
            alongside();
        }
        draw(order[turn]);
    });
    // The pool's threads drew every band.
    if (!done) alongside();
}

}  // namespace platform::ui
