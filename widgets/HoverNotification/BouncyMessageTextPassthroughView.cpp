#include "widgets/HoverNotification/BouncyMessageTextPassthroughView.h"

bool BouncyMessageTextPassthroughView::pointInside(platform::Point point, const platform::ui::Event* event) const {
    for (const auto& subview : subviews()) {
        if (subview->pointInside(convertPointToView(point, subview.get()), event)) return true;
    }
    return false;
}
