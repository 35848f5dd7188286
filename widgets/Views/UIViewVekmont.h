#pragma once
// Finding views by class below a view, at every depth. The view itself is
// never part of what is found.

#include <memory>
#include <vector>

#include "platform/ui/views/View.h"

namespace UIViewVekmont {

// Depth first in pre-order: each direct subview in order, followed by its
// own subviews.
inline std::vector<std::shared_ptr<platform::ui::View>> allSubviews(const platform::ui::View& view) {
    return view.allDescendants();
}

// The views of allSubviews that are a T (or derive from it), in that order.
template <typename T>
std::vector<std::shared_ptr<T>> subViewsOfKind(const platform::ui::View& view) {
    std::vector<std::shared_ptr<T>> found;
    for (const auto& subview : allSubviews(view)) {
        if (auto typed = std::dynamic_pointer_cast<T>(subview)) found.push_back(std::move(typed));
    }
    return found;
}

// The first of subViewsOfKind, or null.
template <typename T>
std::shared_ptr<T> subViewOfKind(const platform::ui::View& view) {
    for (const auto& subview : allSubviews(view)) {
        if (auto typed = std::dynamic_pointer_cast<T>(subview)) return typed;
    }
    return nullptr;
}

}  // namespace UIViewVekmont
