#pragma once
// Places a busy indicator in a view, centred on it (or at multiples of its
// centre). The caller removes the indicator when done.

#include <memory>

#include "app/Utilities/Views/ZDThreeDotProgressView.h"

class VKMThreeDotProgressHelper {
public:
    // A square of `widthHeight` with dots of `pointSize`, a step every 0.4
    // seconds, its centre at the view's centre x times `multiplierX` and
    // centre y times `multiplierY` (constraints held by the view).
    static std::shared_ptr<ZDThreeDotProgressView> insertThreeDotProgressAt(
        const std::shared_ptr<platform::ui::View>& view, double widthHeight, double pointSize, double multiplierX = 1.0,
        double multiplierY = 1.0);
};
