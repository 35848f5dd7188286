#pragma once
// VKMDrawingInstructionsPainter: paints lists of the engine's drawing
// instructions into a platform context. The context has already been scaled
// by the zoom factor, so coordinates, widths and font sizes are layout units.
// Painting only reads the instructions.

#include <optional>
#include <string>
#include <vector>

#include "LayoutView/Drawing/VKMBoxIndex.h"
#include "LayoutView/Drawing/VKMKeptTexts.h"
#include "engine/drawing/DrawingInstruction.h"
#include "platform/graphics/Context.h"
#include "platform/graphics/Geometry.h"
#include "platform/graphics/Path.h"

class CPoint;
class CPathDrawingInstruction;
class CPathLineToMicroInstruction;
class CPathArcMicroInstruction;
class CQuartzPathDrawingInstruction;
class COvalDrawingInstruction;
class CTextDrawingInstruction;
class CImageDrawingInstruction;
class CGridDrawingInstruction;
class CGraphicsStateDrawingInstruction;

class VKMDrawingInstructionsPainter {
public:
    // Paints the list in order and adds the time taken to the counter. An
    // empty list returns at once and records nothing. An instruction whose
    // stored box misses the dirty rectangle is skipped unless the box is at
    // most 1.0 wide (graphics-state changes have no size and always run). A
    // null entry or an instruction of another class is skipped with a
    // warning.
    static void draw(platform::Context& context, const tDrawingInstructions& instructions,
                     const platform::Rect& scaledDirtyRect, const std::string& counterName);
    // The same, with `boxes` made by boxesOf for this very list (ignored when
    // null or of another size): instructions are skipped by their boxes
    // without being touched.
    static void draw(platform::Context& context, const tDrawingInstructions& instructions,
                     const std::vector<platform::Rect>* boxes, const platform::Rect& scaledDirtyRect,
                     const std::string& counterName);
    // The same, with `index` made by indexOf for these very boxes (ignored
    // when null, without boxes or of another size): only the instructions
    // the index gives for the rectangle are looked at. What is painted, and
    // in which order, is the same.
    static void draw(platform::Context& context, const tDrawingInstructions& instructions,
                     const std::vector<platform::Rect>* boxes, const VKMBoxIndex* index,
                     const platform::Rect& scaledDirtyRect, const std::string& counterName);
    // The same, with `texts` made for this very list (ignored when null):
    // on a bitmap its texts are drawn from the layouts kept there, which
    // takes no lock. PDF and SVG keep drawing them from their characters,
    // which a reader can then copy.
    static void draw(platform::Context& context, const tDrawingInstructions& instructions,
                     const std::vector<platform::Rect>* boxes, const VKMBoxIndex* index, const VKMKeptTexts* texts,
                     const platform::Rect& scaledDirtyRect, const std::string& counterName);
    // Makes the layouts `texts` keeps for the list's texts that it has not
    // made yet, a few hundred at a time.
    static void layOutTexts(const tDrawingInstructions& instructions, const VKMKeptTexts& texts);
    // The stored box of every instruction of the list, in order, as the
    // skipping test reads it; a null entry gets one that is never skipped.
    // With `texts`, the indexes of its text instructions go there, in order.
    static std::vector<platform::Rect> boxesOf(const tDrawingInstructions& instructions,
                                               std::vector<std::uint32_t>* texts = nullptr);
    // An index of the boxes that finds the ones the skipping test may keep.
    static VKMBoxIndex indexOf(const std::vector<platform::Rect>& boxes);
    // One instruction, whatever its class (another class is skipped with a
    // warning).
    static void drawInstruction(platform::Context& context, const CDrawingInstruction& instruction,
                                const platform::Rect& scaledDirtyRect);

    static void drawPath(platform::Context& context, const CPathDrawingInstruction& instruction);
    // The instruction's ready-made path, filled and stroked as strokeFillPath
    // below does; without a path nothing is drawn.
    static void drawQuartzPath(platform::Context& context, const CQuartzPathDrawingInstruction& instruction);
    static void drawOval(platform::Context& context, const COvalDrawingInstruction& instruction);
    static void drawText(platform::Context& context, const CTextDrawingInstruction& instruction);
    // The same from the layout `texts` keeps for it at `index` of its list,
    // on a bitmap.
    static void drawText(platform::Context& context, const CTextDrawingInstruction& instruction,
                         const VKMKeptTexts& texts, std::size_t index);
    static void drawImage(platform::Context& context, const CImageDrawingInstruction& instruction);
    // Draws nothing: the layout view draws the grid itself.
    static void drawGrid(platform::Context& context, const CGridDrawingInstruction& instruction,
                         const platform::Rect& dirtyRect);
    // 1 saves the graphics state, 2 restores it, anything else does nothing.
    static void handleGraphicsState(platform::Context& context, const CGraphicsStateDrawingInstruction& instruction);

    // One line-to step: a line from the current point, or, without a path or
    // when a new path is forced, a move that begins a sub-path. Makes the
    // path when there is none.
    static void drawPath(std::optional<platform::Path>& path, const CPathLineToMicroInstruction& lineTo,
                         bool forceNewPath);
    // One arc step (direction 0 towards growing angles). Joins the current
    // sub-path with a straight line, unless a new path is forced: then the
    // arc begins a sub-path of its own.
    static void drawPath(std::optional<platform::Path>& path, const CPathArcMicroInstruction& arc, bool forceNewPath);

    // Fills (non-zero winding) when the instruction fills, then strokes at
    // `lineWidth` when it strokes.
    static void strokeFillPath(platform::Context& context, const platform::Path& path,
                               const CDrawingInstruction& instruction, double lineWidth);
    // The same, stroking at the line width the context has: for ready-made
    // paths, which carry none.
    static void strokeFillPath(platform::Context& context, const platform::Path& path,
                               const CDrawingInstruction& instruction);
    // The pattern flag is not drawn differently: always a plain colour.
    static void setFillColor(platform::Context& context, const CColor& color, bool usePattern);

    // Text attributes of the colour and font; with an outline colour and a
    // stroke width whose magnitude exceeds 0.1, the glyphs are outlined in
    // that colour at minus the stroke width (a negative width fills and
    // outlines).
    static platform::TextAttributes createAttributesForTextColor(const CColor& textColor, const std::string& fontName,
                                                                 double fontSize,
                                                                 const std::optional<platform::Color>& outlineColor,
                                                                 double strokeWidth);
    // Turns the context by `angle` degrees about the point.
    static void rotateContextBy(platform::Context& context, double angle, const CPoint& point);
    // Origin and size each multiplied by 1 / scaleFactor.
    static platform::Rect getScaledDirtyRect(const platform::Rect& rect, double scaleFactor);

    // The outline of texts: white level 0.9 at alpha 0.75.
    static const platform::Color& outlineColor();
};
