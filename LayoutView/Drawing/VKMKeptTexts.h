#pragma once
// VKMKeptTexts: the laid-out texts of a list's text instructions, each made
// the first time it is drawn and kept with the list. A kept layout is drawn
// from the glyphs it holds without a lock (platform::TextLayout), where a
// text drawn from its characters is laid out and shown under Pango's one
// lock: the threads drawing a zoomed-out layout's tiles took turns there
// for its thousands of labels. Safe on any thread.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/drawing/DrawingInstruction.h"
#include "platform/graphics/Context.h"
#include "platform/graphics/TextLayout.h"

class VKMKeptTexts {
public:
    // Finds the list's text instructions; the list must stay as it is
    // while the indexes are asked for.
    explicit VKMKeptTexts(const tDrawingInstructions& instructions);
    ~VKMKeptTexts();
    VKMKeptTexts(const VKMKeptTexts&) = delete;
    VKMKeptTexts& operator=(const VKMKeptTexts&) = delete;

    // The layout of `text` with `attributes` for the text instruction at
    // `index` of the list, made on the first call for that index and the
    // same at every later one (the caller gives the same text and
    // attributes each time). Null for an index that holds no text
    // instruction.
    const platform::TextLayout* layoutAt(std::size_t index, const std::string& text,
                                         const platform::TextAttributes& attributes) const;
    // Layouts made so far.
    std::size_t made() const;

private:
    // Ascending.
    std::vector<std::uint32_t> mIndexes;
    // One a text instruction, null until made.
    std::unique_ptr<std::atomic<const platform::TextLayout*>[]> mLayouts;
    mutable std::mutex mMaking;
    // What the layouts above point into.
    mutable std::vector<std::shared_ptr<const platform::TextLayout>> mMade;
};
