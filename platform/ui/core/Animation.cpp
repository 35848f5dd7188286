#include "platform/ui/core/Animation.h"

#include "platform/ui/core/detail/AnimationRun.h"

#include <cmath>
#include <limits>

namespace platform::ui {

namespace {

// Animations meant to run for ever give huge repeat counts (the largest
// float); anything longer than this is treated as never ending.
constexpr double kForever = 1e9;

constexpr double kInfinity = std::numeric_limits<double>::infinity();

bool fillsBackwards(FillMode mode) { return mode == FillMode::backwards || mode == FillMode::both; }

bool fillsForwards(FillMode mode) { return mode == FillMode::forwards || mode == FillMode::both; }

}  // namespace

Animation::~Animation() = default;

double Animation::simpleDuration() const {
    return mDuration > 0 && std::isfinite(mDuration) ? mDuration : kDefaultDuration;
}

namespace {

// The active period in the animation's own time.
double localActiveDuration(const Animation& a) {
    const double cycle = a.simpleDuration() * (a.autoreverses() ? 2 : 1);
    double active = 0;
    if (a.repeatDuration() > 0) {
        active = a.repeatDuration();
    } else {
        const double count = a.repeatCount() > 0 ? a.repeatCount() : 1;
        active = count * cycle;
    }
    return active > kForever || std::isnan(active) ? kInfinity : active;
}

}  // namespace

double Animation::activeDuration() const {
    if (!(mSpeed > 0) || !std::isfinite(mSpeed)) return kInfinity;
    const double active = localActiveDuration(*this) / mSpeed;
    return active > kForever ? kInfinity : active;
}

std::optional<double> Animation::simpleTimeAt(double time, double begin) const {
    const double elapsed = time - begin;
    if (std::isnan(elapsed)) return std::nullopt;
    const double speed = mSpeed > 0 && std::isfinite(mSpeed) ? mSpeed : 0;
    const double active = localActiveDuration(*this);
    const double simple = simpleDuration();
    const double cycle = simple * (mAutoreverses ? 2 : 1);

    double local = 0;    // into the active period
    bool atEnd = false;  // past it: the end state
    if (elapsed < 0) {
        if (!fillsBackwards(mFillMode)) return std::nullopt;
    } else {
        local = elapsed * speed;
        if (local >= active) {
            if (!fillsForwards(mFillMode)) return std::nullopt;
            local = active;
            atEnd = true;
        }
    }
    double inCycle = std::fmod(local, cycle);
    // The end of a whole number of passes shows the end of the last pass.
    if (atEnd && inCycle == 0 && local > 0) inCycle = cycle;
    if (mAutoreverses && inCycle > simple) return 2 * simple - inCycle;
    return inCycle;
}

}  // namespace platform::ui
