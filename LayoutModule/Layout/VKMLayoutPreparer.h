#pragma once
// What the layout screen does with a document it is about to show, done on
// the load queue while the document is still the open's alone: the
// workspace fitted to the content (as the screen's centring does), the
// pictures decoded, the elements and overlay layers built and the content
// measured for the fitting zoom; it stops between steps, and between
// pictures, once a newer open has begun. The screen takes them when it
// centres the document, and puts them in while they still hold
// (VKMPreparedRenderData::holdsFor); otherwise it does the work itself, as
// for a document loaded on the main thread. Registered with the document
// helper by the layout scenes.

#include <memory>
#include <mutex>
#include <optional>

#include "LayoutView/Drawing/VKMPreparedRenderData.h"
#include "app/Helper/VKMLayoutDocumentHelper.h"

class CLayout;

class VKMLayoutPreparer : public VKMLayoutDocumentHelper::DocumentPreparer {
public:
    static const std::shared_ptr<VKMLayoutPreparer>& shared();

    tWork beginPreparing() override;
    void documentAdopted(CLayout& layout) override;
    // Lets go of what was prepared, so that its layers go with the document.
    void documentClosed() override;

    // Main thread: what was prepared for `layout` and adopted with it,
    // handed out once (with its fit); whether it still holds is the
    // taker's to ask. What was prepared for another document stays.
    std::optional<VKMPreparedRenderData> take(const CLayout& layout);
    // Whether what was prepared for `layout` waits to be taken, adopted
    // with it.
    bool hasPreparedFor(const CLayout& layout);

private:
    std::mutex mMutex;
    // Guarded by mMutex.
    std::optional<VKMPreparedRenderData> mPrepared;
    bool mAdopted = false;
};
