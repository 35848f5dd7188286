#include "LayoutView/Drawing/VKMKeptTexts.h"

#include <algorithm>
#include <typeinfo>

#include "engine/drawing/TextInstruction.h"

VKMKeptTexts::VKMKeptTexts(const tDrawingInstructions& instructions) {
    for (std::size_t i = 0; i < instructions.size(); ++i) {
        const CDrawingInstruction* instruction = instructions[i];
        if (instruction != nullptr && typeid(*instruction) == typeid(CTextDrawingInstruction))
            mIndexes.push_back(static_cast<std::uint32_t>(i));
    }
    mLayouts = std::make_unique<std::atomic<const platform::TextLayout*>[]>(mIndexes.size());
    for (std::size_t i = 0; i < mIndexes.size(); ++i) mLayouts[i].store(nullptr, std::memory_order_relaxed);
}

VKMKeptTexts::~VKMKeptTexts() = default;

const platform::TextLayout* VKMKeptTexts::layoutAt(std::size_t index, const std::string& text,
                                                   const platform::TextAttributes& attributes) const {
    const auto found = std::lower_bound(mIndexes.begin(), mIndexes.end(), index);
    if (found == mIndexes.end() || *found != index) return nullptr;
    std::atomic<const platform::TextLayout*>& slot = mLayouts[found - mIndexes.begin()];
    if (const platform::TextLayout* kept = slot.load(std::memory_order_acquire)) return kept;
    // Laid out outside the lock; a thread that made the same one meanwhile
    // wins, and this one is let go.
    std::shared_ptr<const platform::TextLayout> layout = platform::TextLayout::make(text, attributes, {});
    std::lock_guard lock(mMaking);
    if (const platform::TextLayout* kept = slot.load(std::memory_order_acquire)) return kept;
    slot.store(layout.get(), std::memory_order_release);
    mMade.push_back(std::move(layout));
    return mMade.back().get();
}

std::size_t VKMKeptTexts::made() const {
    std::lock_guard lock(mMaking);
    return mMade.size();
}
