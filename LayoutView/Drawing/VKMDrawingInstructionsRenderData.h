#pragma once
// VKMDrawingInstructionsRenderData: one render layer, a list of drawing
// instructions that it owns. Immutable after creation. When it goes away its
// instructions are deleted on a background queue, last first, so replacing a
// large layer never stalls the drawing thread.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "LayoutView/Drawing/VKMBoxIndex.h"
#include "LayoutView/Drawing/VKMKeptTexts.h"
#include "engine/drawing/DrawingInstruction.h"
#include "platform/graphics/Geometry.h"

class VKMDrawingInstructionsRenderData {
public:
    // Takes over the instructions of the list and empties it, so the caller
    // cannot delete them a second time. Null gives an empty layer.
    static std::shared_ptr<VKMDrawingInstructionsRenderData> renderDataWithDrawingInstructions(
        tDrawingInstructions* instructions);
    explicit VKMDrawingInstructionsRenderData(tDrawingInstructions* instructions);
    ~VKMDrawingInstructionsRenderData();

    VKMDrawingInstructionsRenderData(const VKMDrawingInstructionsRenderData&) = delete;
    VKMDrawingInstructionsRenderData& operator=(const VKMDrawingInstructionsRenderData&) = delete;

    // For painting only.
    const tDrawingInstructions* drawingInstructions() const { return &mDrawingInstructions; }
    // The instructions' boxes side by side (VKMDrawingInstructionsPainter::
    // boxesOf), so that painting skips those outside without touching them.
    const std::vector<platform::Rect>* instructionBoxes() const { return &mInstructionBoxes; }
    // Those boxes in a grid, so that painting a small rectangle looks only
    // at the instructions that may lie there. Made by the first call (the
    // first painting, on whatever thread), which the others wait for; only
    // read after.
    const VKMBoxIndex* instructionIndex() const;
    // The index when made; made now when nobody has begun it; null while
    // another thread makes it, so that a drawing meanwhile goes through the
    // boxes rather than waiting (the same pixels).
    const VKMBoxIndex* instructionIndexIfMade() const;
    // The layouts of its texts, each kept once first drawn on a bitmap.
    // Made by the first call from the texts' places, found with the boxes.
    const VKMKeptTexts* keptTexts() const;
    // Makes the layouts of every text now (VKMDrawingInstructionsPainter::
    // layOutTexts), ahead of the first tiles.
    void layOutTexts() const;

    // Waits until every release handed to the background queue so far has
    // deleted its instructions (for tests, and for programs about to end).
    static void waitForPendingReleases();
    // Runs `block` on the background queue of the releases once every
    // release handed to it so far has deleted its instructions.
    static void afterPendingReleases(std::function<void()> block);

private:
    tDrawingInstructions mDrawingInstructions;
    std::vector<platform::Rect> mInstructionBoxes;
    mutable std::once_flag mIndexMade;
    mutable std::atomic<bool> mIndexBegun{false};
    mutable std::atomic<bool> mIndexReady{false};
    mutable VKMBoxIndex mInstructionIndex;
    // The places of the text instructions, until the kept texts take them.
    mutable std::vector<std::uint32_t> mTextIndexes;
    mutable std::once_flag mTextsFound;
    mutable std::unique_ptr<VKMKeptTexts> mKeptTexts;
};
