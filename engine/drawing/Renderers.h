#pragma once
// The renderers of CDrawingInstructionsRenderStrategy: each turns one
// component into drawing instructions for the pass of the render options
// that the drawing options point at. They keep no state.
//
// Track components (straight, curve, flex track) share RenderTrackComponent;
// it reads the track-style bits of the drawing options:
//   fill pass:    one closed outline, of the bed (bit 32 or 512) or else
//                 between the side lines, in the fill colour;
//   outline pass: joint end lines (8), rails (64, thick and in the rail
//                 colour with 512), bed lines (32 without 512), centre line
//                 (128 without 512), in the outline or marked colour.
// Rendering leaves the component as it found it.

#include <memory>
#include <vector>

#include "engine/drawing/PathInstruction.h"
#include "engine/geometry/Point.h"

class CBasicGeometry;
class CCurveBIG;
class CDrawingInstructionsRenderOptions;
class CDrawingOptions;
class CFlexTrackBIG;
class CGradeVector;
class COvalBIG;
class CPolyBIG;
class CStraightBIG;
class CTextBIG;

// ------------------------------------------------------------ kind bases

class CStraightRendererBase {
public:
    virtual ~CStraightRendererBase() = default;
    virtual void Render(CStraightBIG* component, const CPoint& position, double angle, const CGradeVector& grade,
                        const CDrawingOptions& options) const = 0;
};

class CCurveRendererBase {
public:
    virtual ~CCurveRendererBase() = default;
    virtual void Render(CCurveBIG* component, const CPoint& position, double angle, const CGradeVector& grade,
                        const CDrawingOptions& options) const = 0;
};

class CFlexTrackRendererBase {
public:
    virtual ~CFlexTrackRendererBase() = default;
    virtual void Render(CFlexTrackBIG* component, const CPoint& position, double angle, const CGradeVector& grade,
                        const CDrawingOptions& options) const = 0;
};

class CPolyRendererBase {
public:
    virtual ~CPolyRendererBase() = default;
    virtual void Render(CPolyBIG* component, const CPoint& position, double angle, const CGradeVector& grade,
                        const CDrawingOptions& options) const = 0;
};

class COvalRendererBase {
public:
    virtual ~COvalRendererBase() = default;
    virtual void Render(COvalBIG* component, const CPoint& position, double angle, const CGradeVector& grade,
                        const CDrawingOptions& options) const = 0;
};

class CTextRendererBase {
public:
    virtual ~CTextRendererBase() = default;
    virtual void Render(CTextBIG* component, const CPoint& position, double angle, const CGradeVector& grade,
                        const CDrawingOptions& options) const = 0;
};

// ------------------------------------------------------------ shared helpers

// Points are "moved by the position" when the position's x and y are added
// and z is set to 0 (sleepers: x, y and z added).
class CDrawingInstructionsRendererBase {
public:
    // Sleeper colour (fill only).
    static const CColor& SleeperColor();

    virtual ~CDrawingInstructionsRendererBase() = default;

    // The track drawing described at the top of this file. The render
    // options must be CDrawingInstructionsRenderOptions, else
    // UErrorHandling::ThrowIfNull fails.
    virtual void RenderTrackComponent(CBasicGeometry* component, const CPoint& position, double angle,
                                      const CDrawingOptions& options) const;
    // Line-to the first list's points, the second's in reverse, then the
    // first point again: a closed outline.
    virtual void AddOutlinePolygon(CPathDrawingInstruction& instruction, const std::vector<CPoint>& first,
                                   const std::vector<CPoint>& second, const CPoint& position) const;
    // Each list as a polyline: rails at the rail width (at least gauge / 3
    // when thick; with component attribute 2 a centre line follows), plain
    // lines at the base line width.
    virtual void AddSideLines(CDrawingInstructionsRenderOptions& renderOptions,
                              const CPathDrawingInstruction& pathTemplate, CBasicGeometry* component,
                              const std::vector<CPoint>& first, const std::vector<CPoint>& second,
                              const CPoint& position, double angle, bool rails, bool thick) const;
    // A copy of the template through the points, at `lineWidth`.
    virtual void AddPolyline(CDrawingInstructionsRenderOptions& renderOptions,
                             const CPathDrawingInstruction& pathTemplate, const std::vector<CPoint>& points,
                             const CPoint& position, double lineWidth) const;
    // A line across each enabled joint (corners 0-1 for joint 0, 2-3 for
    // joint 1) at the base line width.
    virtual void AddJointEndLines(CDrawingInstructionsRenderOptions& renderOptions,
                                  const CPathDrawingInstruction& pathTemplate, CBasicGeometry* component,
                                  const CPoint& position, double angle) const;
    // The centre line at the rail width.
    virtual void AddCenterLine(CDrawingInstructionsRenderOptions& renderOptions,
                               const CPathDrawingInstruction& pathTemplate, CBasicGeometry* component,
                               const CPoint& position, double angle) const;
    // Sleepers of length gauge + 0.75 (bed - gauge) and width 0.2 gauge,
    // spaced 0.55 gauge and centred along the centre line.
    virtual void AddSleepers(CDrawingInstructionsRenderOptions& renderOptions,
                             const CPathDrawingInstruction& pathTemplate, CBasicGeometry* component,
                             const CPoint& position, double angle) const;
    // One sleeper: a fill-only copy of the template in SleeperColor().
    virtual void AddSleeper(const std::vector<CPoint>& points, CDrawingInstructionsRenderOptions& renderOptions,
                            const CPathDrawingInstruction& pathTemplate) const;
    // The four corners of a sleeper across the direction `angle`.
    virtual std::vector<CPoint> GetSleeperCorners(const CPoint& center, double angle, double length,
                                                  double width) const;

    // Fill only; pattern = marked; the component's fixed colour when locked,
    // else the options' fill colour; stroke black. Made in the arena of the
    // render options when given, else with new.
    static std::unique_ptr<CPathDrawingInstruction> CreateFillInstruction(
        const CBasicGeometry* component, const CDrawingOptions& options,
        const CDrawingInstructionsRenderOptions* renderOptions = nullptr);
    // Stroke only; fill white; stroke in the marked colour when marked, else
    // the outline colour. Made as CreateFillInstruction.
    static std::unique_ptr<CPathDrawingInstruction> CreateOutlineInstruction(
        const CDrawingOptions& options, const CDrawingInstructionsRenderOptions* renderOptions = nullptr);

protected:
    // The pass's options from the drawing options; missing or of another
    // class fails through UErrorHandling::ThrowIfNull under `signature`.
    static CDrawingInstructionsRenderOptions& GetRenderOptions(const CDrawingOptions& options, const char* signature);
    // Polygons, ovals and texts of a hidden tunnel are drawn only when made
    // by the tunnel-portal generator or when the element is marked.
    static bool IsHiddenShape(const CBasicGeometry* component, const CDrawingOptions& options);
};

// ------------------------------------------------------------ renderers

class CDrawingInstructionsStraightRenderer : public CStraightRendererBase, public CDrawingInstructionsRendererBase {
public:
    // RenderTrackComponent; the grade is not used.
    void Render(CStraightBIG* component, const CPoint& position, double angle, const CGradeVector& grade,
                const CDrawingOptions& options) const override;
};

class CDrawingInstructionsCurveRenderer : public CCurveRendererBase, public CDrawingInstructionsRendererBase {
public:
    void Render(CCurveBIG* component, const CPoint& position, double angle, const CGradeVector& grade,
                const CDrawingOptions& options) const override;
};

class CDrawingInstructionsFlextrackRenderer : public CFlexTrackRendererBase, public CDrawingInstructionsRendererBase {
public:
    void Render(CFlexTrackBIG* component, const CPoint& position, double angle, const CGradeVector& grade,
                const CDrawingOptions& options) const override;
};

class CDrawingInstructionsPolyRenderer : public CPolyRendererBase, public CDrawingInstructionsRendererBase {
public:
    // One path through the transformed points (closed again at the first
    // point when the polygon's fill flag says it is closed), square caps.
    void Render(CPolyBIG* component, const CPoint& position, double angle, const CGradeVector& grade,
                const CDrawingOptions& options) const override;
    // The template for the pass: fill (fill pass, fill on, closed polygon)
    // or outline (outline pass); null when nothing is to be drawn. A
    // component that is not a polygon fails through
    // UErrorHandling::ThrowIfNull.
    std::unique_ptr<CPathDrawingInstruction> GetDrawingInstruction(
        CBasicGeometry* component, const CDrawingOptions& options,
        const CDrawingInstructionsRenderOptions* renderOptions) const;
};

class CDrawingInstructionsOvalRenderer : public COvalRendererBase, public CDrawingInstructionsRendererBase {
public:
    // One oval instruction with both radii and the turn of the ellipse.
    void Render(COvalBIG* component, const CPoint& position, double angle, const CGradeVector& grade,
                const CDrawingOptions& options) const override;
};

class CDrawingInstructionsTextRenderer : public CTextRendererBase, public CDrawingInstructionsRendererBase {
public:
    // One text instruction, in the fill pass only, and only while the
    // "TextCalculationService" is registered.
    void Render(CTextBIG* component, const CPoint& position, double angle, const CGradeVector& grade,
                const CDrawingOptions& options) const override;
};
