#pragma once
// The view that shows the open layout. It does not scroll: on every draw it
// asks its delegate for the layout (whose zoom it reads) and the content
// offset, and paints the document background, the grid and its cached
// render data translated and scaled by them. The render data are rebuilt
// only when asked, with the delegate's display edits applied to the
// document for the length of the build. Main thread only.

#include <memory>
#include <vector>

#include "LayoutView/Drawing/VKMLayoutRenderData.h"
#include "engine/drawing/TransientEdits.h"
#include "platform/ui/views/View.h"

class CLayout;

// In a window the view shows the layout as pictures on layers of its own:
// one of the whole view, drawn afresh after a refresh or a change of zoom,
// which a pan moves (drawing only the strips it uncovers) and a pinch
// stretches (drawing afresh when it ends). drawRect is the same drawing
// pass, for drawing the view elsewhere.

// What the view asks for; the layout view controller answers.
class VKMLayoutViewDelegate {
public:
    virtual ~VKMLayoutViewDelegate() = default;
    // The layout to show, or null.
    virtual CLayout* trackLayout() const = 0;
    // Where the layout's origin lies in the view, in points.
    virtual platform::Point contentOffset() const = 0;
    // The display edits, a copy per call.
    virtual tTransientEditActions transientEditActions() const = 0;
};

class VKMLayoutView : public platform::ui::View {
public:
    // The user default that turns the document background dark.
    static constexpr const char* kDarkBackgroundKey = "VKMUserDefaultLayoutStyleDarkBackground";

    VKMLayoutView();
    explicit VKMLayoutView(const platform::Rect& frame);

    std::shared_ptr<VKMLayoutViewDelegate> delegate() const { return mDelegate.lock(); }
    void setDelegate(std::weak_ptr<VKMLayoutViewDelegate> delegate) { mDelegate = std::move(delegate); }

    // Background, grid (when the layout shows one), then the render layers,
    // translated by the content offset and scaled by the layout's zoom.
    // Timed as "DrawLayoutView".
    void drawRect(platform::Context& context, const platform::Rect& rect) override;

    // Marks the shown layout for drawing at the next layout pass (before
    // the next frame): after a pan, a zoom or a change of the document.
    void setNeedsDisplayOfLayout() { setNeedsLayout(); }
    void layoutSubviews() override;
    // The picture of the whole view as last drawn (none before the first
    // layout pass with a layout).
    const std::shared_ptr<platform::Image>& picture() const { return mPicture.image; }

    // Rebuilds the background layer and, unless `backgroundOnly`, the
    // elements and overlay layers, then asks for a redraw. Nothing without a
    // delegate or a layout. The document is restored on every way out; a
    // build that throws leaves the render data as they were. Timed as
    // "CreateLayoutRenderData".
    void refreshLayoutRenderDataBackgroundOnly(bool backgroundOnly);
    void refreshLayoutRenderData() { refreshLayoutRenderDataBackgroundOnly(false); }
    // Replaces the render data by empty ones.
    void clearRenderData();
    bool hasRenderData() const { return mRenderData != nullptr; }
    const std::shared_ptr<VKMLayoutRenderData>& renderData() const { return mRenderData; }

    // (zoom x workspace width, zoom x workspace height) of the delegate's
    // layout; without one, no intrinsic size.
    platform::Size intrinsicContentSize() const override;
    static platform::Size intrinsicContentSize(const CLayout& layout);

    // While set (a pinch in progress) a change of zoom stretches the last
    // picture drawn instead of drawing the layout afresh; clearing it draws
    // afresh.
    bool isInteractiveZoom() const { return mInteractiveZoom; }
    void setInteractiveZoom(bool interactive);

    void touchesEnded(const platform::ui::TouchSet& touches, const platform::ui::Event& event) override;
    std::string className() const override { return "VKMLayoutView"; }

    // The drawing pass itself, for whatever draws a layout as the view does.
    static void drawLayout(platform::Context& context, const platform::Rect& dirtyRect, const CLayout* layout,
                           VKMLayoutRenderData* renderData, platform::Point contentOffset);
    // Builds the layers into `renderData` (made when null) as the refresh does.
    static void buildRenderData(std::shared_ptr<VKMLayoutRenderData>& renderData, CLayout& layout,
                                const tTransientEditActions& actions, bool backgroundOnly);
    // Whether the dark document background is on (absent reads off).
    static bool isDarkBackground();

private:
    // The layout as last drawn whole, and what it was drawn with. A pan
    // draws it moved and only the strips it uncovers afresh.
    struct tPicture {
        std::shared_ptr<platform::Image> image;
        platform::Point offset;
        double zoom = 0;
        const CLayout* layout = nullptr;
        platform::Size size;
        double scale = 0;
        bool dark = false;
        bool grid = false;
    };

    double screenScale() const;
    void showLayout();
    void drawPicture(const CLayout& layout, platform::Point offset);
    void showMoved(const CLayout& layout, platform::Point offset);
    void showStretched(platform::Point offset, double zoom);
    // A layer showing the layout drawn into `rect` of the view.
    std::shared_ptr<platform::ui::Layer> stripLayer(const CLayout& layout, platform::Point offset,
                                                    const platform::Rect& rect) const;
    void removeStrips();

    std::weak_ptr<VKMLayoutViewDelegate> mDelegate;
    std::shared_ptr<VKMLayoutRenderData> mRenderData;
    tPicture mPicture;
    std::shared_ptr<platform::ui::Layer> mPictureLayer;
    std::vector<std::shared_ptr<platform::ui::Layer>> mStrips;
    bool mInteractiveZoom = false;
};
