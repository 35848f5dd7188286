#pragma once
// A view filled with the part list's background that shows a soft shadow
// cast along its left edge (when narrower than tall) or its top edge, as
// if a strip just outside it threw it. Redrawn at every layout.

#include "platform/ui/views/View.h"

class VKMShadowBorderView : public platform::ui::View {
public:
    VKMShadowBorderView();
    explicit VKMShadowBorderView(const platform::Rect& frame);

    void layoutSubviews() override;
    void drawRect(platform::Context& context, const platform::Rect& rect) override;
    std::string className() const override { return "VKMShadowBorderView"; }
};
