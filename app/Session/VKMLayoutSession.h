#pragma once
// The process-wide record of the layout being shown and of the user's
// editing context. It never owns the document or its elements: the pointers
// are valid only while the current-layout holder keeps the same document.
// Main thread only, but for its creation.

#include <cstdint>
#include <optional>
#include <string>

#include "engine/geometry/Color.h"

class CLayout;
class CCompositeGeometry;

class VKMLayoutSession {
public:
    static VKMLayoutSession& sharedSession();

    bool isDirty() const { return mIsDirty; }
    void setIsDirty(bool dirty) { mIsDirty = dirty; }

    std::int32_t currentToolId() const { return mCurrentToolId; }
    void setCurrentToolId(std::int32_t toolId) { mCurrentToolId = toolId; }

    // The shared layout that is open; none for a local file.
    const std::optional<std::string>& cloudLayoutId() const { return mCloudLayoutId; }
    void setCloudLayoutId(std::optional<std::string> cloudLayoutId) { mCloudLayoutId = std::move(cloudLayoutId); }

    CLayout* layout() const { return mLayout; }
    void setLayout(CLayout* layout) { mLayout = layout; }

    CCompositeGeometry* currentElement() const { return mCurrentElement; }
    // Logs the switch, unless to no element.
    void setCurrentElement(CCompositeGeometry* element);

    CCompositeGeometry* lastContextMenuElement() const { return mLastContextMenuElement; }
    void setLastContextMenuElement(CCompositeGeometry* element) { mLastContextMenuElement = element; }

    CColor currentFillColor() const { return mCurrentFillColor; }
    // Logs the new colour.
    void setCurrentFillColor(CColor color);

    // Forgets the document and its elements; called whenever the current
    // document goes or is replaced, so that nothing keeps pointing into it.
    void forgetDocument();

private:
    VKMLayoutSession() = default;

    bool mIsDirty = false;
    std::int32_t mCurrentToolId = 0;
    std::optional<std::string> mCloudLayoutId;
    CLayout* mLayout = nullptr;
    CCompositeGeometry* mCurrentElement = nullptr;
    CCompositeGeometry* mLastContextMenuElement = nullptr;
    CColor mCurrentFillColor = CColor::White();
};
