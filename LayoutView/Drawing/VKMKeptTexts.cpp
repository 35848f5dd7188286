#include "LayoutView/Drawing/VKMKeptTexts.h"

#include <algorithm>
#include <typeinfo>
#include <utility>

#include "engine/drawing/TextInstruction.h"

namespace {

std::vector<std::uint32_t> TextIndexesOf(const tDrawingInstructions& instructions) {
    std::vector<std::uint32_t> indexes;
    for (std::size_t i = 0; i < instructions.size(); ++i) {
        const CDrawingInstruction* instruction = instructions[i];
        if (instruction != nullptr && typeid(*instruction) == typeid(CTextDrawingInstruction))
            indexes.push_back(static_cast<std::uint32_t>(i));
    }
    return indexes;
}

}  // namespace

VKMKeptTexts::VKMKeptTexts(const tDrawingInstructions& instructions) : VKMKeptTexts(TextIndexesOf(instructions)) {}

VKMKeptTexts::VKMKeptTexts(std::vector<std::uint32_t> textIndexes) : mIndexes(std::move(textIndexes)) {
    mLayouts = std::make_unique<std::atomic<const platform::TextLayout*>[]>(mIndexes.size());
    mLeft.store(mIndexes.size(), std::memory_order_relaxed);
    for (std::size_t i = 0; i < mIndexes.size(); ++i) mLayouts[i].store(nullptr, std::memory_order_relaxed);
}

VKMKeptTexts::~VKMKeptTexts() = default;

std::atomic<const platform::TextLayout*>* VKMKeptTexts::slotAt(std::size_t index) const {
    const auto found = std::lower_bound(mIndexes.begin(), mIndexes.end(), index);
    if (found == mIndexes.end() || *found != index) return nullptr;
    return &mLayouts[found - mIndexes.begin()];
}

const platform::TextLayout* VKMKeptTexts::keep(std::atomic<const platform::TextLayout*>& slot,
                                               std::shared_ptr<const platform::TextLayout> layout) const {
    // A thread that made the same one meanwhile wins, and this one is let go.
    if (const platform::TextLayout* kept = slot.load(std::memory_order_acquire)) return kept;
    slot.store(layout.get(), std::memory_order_release);
    mMade.push_back(std::move(layout));
    mLeft.fetch_sub(1, std::memory_order_acq_rel);
    return mMade.back().get();
}

const platform::TextLayout* VKMKeptTexts::layoutAt(std::size_t index, const std::string& text,
                                                   const platform::TextAttributes& attributes) const {
    std::atomic<const platform::TextLayout*>* slot = slotAt(index);
    if (slot == nullptr) return nullptr;
    if (const platform::TextLayout* kept = slot->load(std::memory_order_acquire)) return kept;
    // Laid out outside the lock.
    std::shared_ptr<const platform::TextLayout> layout = platform::TextLayout::make(text, attributes, {});
    std::lock_guard lock(mMaking);
    return keep(*slot, std::move(layout));
}

bool VKMKeptTexts::isMade(std::size_t index) const {
    const std::atomic<const platform::TextLayout*>* slot = slotAt(index);
    return slot != nullptr && slot->load(std::memory_order_acquire) != nullptr;
}

void VKMKeptTexts::makeSeveral(std::span<const tText> texts) const {
    std::vector<std::atomic<const platform::TextLayout*>*> slots;
    std::vector<platform::StyledText> styled;
    for (const tText& text : texts) {
        std::atomic<const platform::TextLayout*>* slot = slotAt(text.index);
        if (slot == nullptr || text.text == nullptr || slot->load(std::memory_order_acquire) != nullptr) continue;
        slots.push_back(slot);
        styled.push_back({*text.text, text.attributes, {}});
    }
    if (styled.empty()) return;
    std::vector<std::shared_ptr<const platform::TextLayout>> layouts = platform::TextLayout::makeSeveral(styled, {});
    std::lock_guard lock(mMaking);
    for (std::size_t i = 0; i < slots.size(); ++i) keep(*slots[i], std::move(layouts[i]));
}

std::size_t VKMKeptTexts::made() const {
    std::lock_guard lock(mMaking);
    return mMade.size();
}
