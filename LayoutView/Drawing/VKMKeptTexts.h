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
#include <span>
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
    // The same from the indexes of the list's text instructions, ascending.
    explicit VKMKeptTexts(std::vector<std::uint32_t> textIndexes);
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
    // A text instruction's text and attributes, as layoutAt takes them.
    struct tText {
        std::size_t index = 0;
        const std::string* text = nullptr;
        platform::TextAttributes attributes;
    };
    // Whether every text instruction's layout is made.
    bool allMade() const { return mLeft.load(std::memory_order_acquire) == 0; }
    // Whether the layout for the instruction at `index` is made.
    bool isMade(std::size_t index) const;
    // Makes the layouts of `texts` not made yet together (a drawing makes
    // those it is about to draw at once rather than taking Pango's lock
    // for each); what layoutAt gives for them afterwards. Texts of a size
    // that draws nothing are laid out too (never drawn), so that every
    // one is made in the end.
    void makeSeveral(std::span<const tText> texts) const;
    // Layouts made so far.
    std::size_t made() const;

private:
    // The slot of the text instruction at `index`; null for another.
    std::atomic<const platform::TextLayout*>* slotAt(std::size_t index) const;
    // Keeps `layout` in `slot` unless one is there; the one kept.
    const platform::TextLayout* keep(std::atomic<const platform::TextLayout*>& slot,
                                     std::shared_ptr<const platform::TextLayout> layout) const;

    // Ascending.
    std::vector<std::uint32_t> mIndexes;
    // Text instructions without a layout yet.
    mutable std::atomic<std::size_t> mLeft{0};
    // One a text instruction, null until made.
    std::unique_ptr<std::atomic<const platform::TextLayout*>[]> mLayouts;
    mutable std::mutex mMaking;
    // What the layouts above point into.
    mutable std::vector<std::shared_ptr<const platform::TextLayout>> mMade;
};
