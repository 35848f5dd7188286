#pragma once
// What the layout screen does with a document it is about to show, done on
// the load queue while the document is still the open's alone: the
// workspace fitted to the content (as the screen's centring does), the
// pictures decoded, the elements and overlay layers built and the content
// measured for the fitting zoom; it stops between steps, and between
// pictures, once a newer open has begun. The screen
// takes them when it centres the document, as long as nothing has changed
// the document's content, its display edits or the background style since;
// otherwise it does the work itself, as for a document loaded on the main
// thread. Registered with the document helper by the layout scenes.

#include <memory>
#include <optional>

#include "LayoutView/Drawing/VKMLayoutRenderData.h"
#include "app/Helper/VKMLayoutDocumentHelper.h"
#include "engine/drawing/TransientEdits.h"
#include "platform/graphics/Geometry.h"

class CLayout;

class VKMLayoutPreparer : public VKMLayoutDocumentHelper::DocumentPreparer {
public:
    struct tPrepared {
        const CLayout* layout = nullptr;
        // What fitting the workspace moved the content by, in layout units.
        platform::Point fitDelta{0, 0};
        bool dark = false;
        VKMLayoutRenderData::tLayer elements;
        VKMLayoutRenderData::tLayer overlays;
        // The content changes counted once the document was adopted.
        std::uint64_t changes = 0;
        bool adopted = false;
    };

    static const std::shared_ptr<VKMLayoutPreparer>& shared();

    tWork beginPreparing() override;
    void documentAdopted(CLayout& layout) override;

    // Main thread: what was prepared for `layout`, when it still holds for
    // the document as it is with `actions` and the current background
    // style; it is handed out once. Anything prepared for another document
    // is dropped.
    std::optional<tPrepared> take(const CLayout& layout, const tTransientEditActions& actions);
    // Whether what was prepared for `layout` waits to be taken, adopted
    // with it.
    bool holdsFor(const CLayout& layout);

private:
    std::mutex mMutex;
    std::optional<tPrepared> mPrepared;  // guarded by mMutex
};
