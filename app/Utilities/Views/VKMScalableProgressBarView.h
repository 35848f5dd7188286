#pragma once
// The thin progress bar of leaderboard rows: a light rounded track with a
// blue gauge as long as the progress. Main thread only.

#include "platform/ui/views/View.h"

class VKMScalableProgressBarView : public platform::ui::View {
public:
    VKMScalableProgressBarView();
    explicit VKMScalableProgressBarView(const platform::Rect& frame);

    // Percent of the width; 0 at creation. Setting it redraws.
    int progressPercent() const { return mProgressPercent; }
    void setProgressPercent(int percent);

    // The track one point short of the bounds on each axis, the gauge
    // percent / 100 of the width less one point (so nothing at 0), drawn
    // with the progress-bar kit.
    void drawRect(platform::Context& context, const platform::Rect& rect) override;
    std::string className() const override { return "VKMScalableProgressBarView"; }

private:
    int mProgressPercent = 0;
};
