#pragma once
// VKMPreparedRenderData: a document's elements and overlay layers built
// ahead of the refresh that puts them in, with what they were built from.
// Two roads fill it: an open, on the load queue while the document is still
// the open's alone (the layout screens' preparer), and the layout view
// during the pause of its centring (VKMRenderDataKeeper::prepare). Either
// way they are put in only while `holdsFor` says so: the one check of
// whether prepared layers still hold.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "LayoutView/Drawing/VKMLayoutRenderData.h"
#include "engine/drawing/TransientEdits.h"
#include "platform/graphics/Geometry.h"

class CLayout;

struct VKMPreparedRenderData {
    // What the layers were built from. They hold while all of it is as it
    // is now; whatever a road adds here takes part in the check.
    struct tMadeFor {
        const CLayout* layout = nullptr;
        // The content changes counted once built (an open's: once the
        // document was adopted), display edits included.
        std::uint64_t changes = 0;
        // The display edits' names, in order.
        std::vector<std::string> actions;
        bool dark = false;
        friend bool operator==(const tMadeFor&, const tMadeFor&) = default;

        // `layout` as it is now, with `actions` and the background style.
        static tMadeFor now(const CLayout& layout, const tTransientEditActions& actions, bool dark);
    };

    tMadeFor madeFor;
    VKMLayoutRenderData::tLayer elements;
    VKMLayoutRenderData::tLayer overlays;
    // How far fitting the workspace to the content moved it, in layout
    // units, where the road fitted it before the build (an open's).
    std::optional<platform::Point> fitDelta;

    // Both layers built from `layout` with `actions` applied (the document
    // restored on every way out; none applied when there are none), each
    // layer's spatial index started on the pool as soon as it is built, and
    // stamped with the document as it is after the build. Throws what the
    // build throws. Between the layers and while it draws the elements it
    // asks `stopped` (when given; from any thread): once that says yes it
    // returns what it has, unstamped, not to be used.
    static VKMPreparedRenderData build(CLayout& layout, const tTransientEditActions& actions, bool dark,
                                       const std::function<bool()>& stopped = {});

    bool holdsFor(const CLayout& layout, const tTransientEditActions& actions, bool dark) const {
        return madeFor == tMadeFor::now(layout, actions, dark);
    }
};
