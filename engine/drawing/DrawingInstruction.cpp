#include "engine/drawing/DrawingInstruction.h"

#include <cstddef>
#include <cstring>

#include "engine/model/Layer.h"
#include "engine/services/StringFormat.h"

CDrawingInstruction::CDrawingInstruction(int style, bool usePattern, const CColor& fillColor, const CColor& strokeColor)
    : mFillColor(fillColor), mStrokeColor(strokeColor), mUsePattern(usePattern) {
    SetStyle(style);
}

CDrawingInstruction::CDrawingInstruction(const CDrawingInstruction& other)
    : mBounds{},
      mFillColor(other.mFillColor),
      mStrokeColor(other.mStrokeColor),
      mScale(other.mScale),
      mOwner(other.mOwner),
      mUseFill(other.mUseFill),
      mUsePattern(other.mUsePattern),
      mUseStroke(other.mUseStroke) {
    // Not yet anywhere: the copy holds the record's arena (MakeIn lets go
    // again when the copy is made in that very arena).
    Hold(mOwner);
}

CDrawingInstruction::~CDrawingInstruction() { ReleaseOwner(); }

namespace {

// Room before an instruction made with new: its arena word, with the
// instruction aligned as the heap aligns.
constexpr std::size_t kHeapHomeSlot = alignof(std::max_align_t);

}  // namespace

void* CDrawingInstruction::operator new(std::size_t size) {
    auto* memory = static_cast<char*>(::operator new(kHeapHomeSlot + size)) + kHeapHomeSlot;
    CInstructionArena* const home = nullptr;
    std::memcpy(memory - sizeof home, &home, sizeof home);
    return memory;
}

void CDrawingInstruction::operator delete(void* memory) noexcept {
    if (memory == nullptr) return;
    auto* const bytes = static_cast<char*>(memory);
    CInstructionArena* home = nullptr;
    std::memcpy(&home, bytes - sizeof home, sizeof home);
    if (home != nullptr) {
        home->Release();
    } else {
        ::operator delete(bytes - kHeapHomeSlot);
    }
}

void CDrawingInstruction::Hold(const tInstructionOwner* owner) noexcept {
    if (owner != nullptr && owner->mArena != mHome) owner->mArena->Retain();
}

void CDrawingInstruction::LetGo(const tInstructionOwner* owner) noexcept {
    if (owner != nullptr && owner->mArena != mHome) owner->mArena->Release();
}

void CDrawingInstruction::ReleaseOwner() noexcept {
    LetGo(mOwner);
    mOwner = nullptr;
}

void CDrawingInstruction::SetOwner(const tInstructionOwner& owner) {
    Hold(&owner);
    LetGo(mOwner);
    mOwner = &owner;
}

void CDrawingInstruction::SetOwner(const tInstructionLayer* layer, std::string_view identifier) {
    CInstructionArenaRef own;
    if (mHome == nullptr) {
        const std::size_t name = layer != nullptr ? layer->mName.size() : 0;
        own = CInstructionArena::Create(sizeof(tInstructionOwner) + sizeof(tInstructionLayer) +
                                        alignof(std::max_align_t) + name + identifier.size());
    }
    CInstructionArena& arena = mHome != nullptr ? *mHome : *own;
    SetOwner(tInstructionOwner::MakeIn(arena, tInstructionOwner::CopyLayerIn(arena, layer), identifier));
}

void CDrawingInstruction::SetOwnerLayer(const CLayer* layer) {
    const std::optional<tInstructionLayer> view = tInstructionOwner::LayerOf(layer);
    SetOwner(view ? &*view : nullptr, GetIdentifier());
}

void CDrawingInstruction::SetIdentifier(std::string_view identifier) {
    SetOwner(mOwner != nullptr ? mOwner->mLayer : nullptr, identifier);
}

std::string_view CDrawingInstruction::GetIdentifier() const {
    return mOwner != nullptr ? mOwner->mIdentifier : std::string_view();
}

std::optional<tInstructionLayer> CDrawingInstruction::GetOwnerLayer() const {
    if (mOwner == nullptr || mOwner->mLayer == nullptr) return std::nullopt;
    return *mOwner->mLayer;
}

void CDrawingInstruction::SetStyle(int style) {
    mUseFill = (style & kDrawingStyleFill) != 0;
    mUseStroke = (style & kDrawingStyleStroke) != 0;
}

std::optional<tInstructionLayer> tInstructionOwner::LayerOf(const CLayer* layer) {
    if (layer == nullptr) return std::nullopt;
    return tInstructionLayer{layer->GetName(), layer->IsVisible(), layer->GetLayerType()};
}

const tInstructionLayer* tInstructionOwner::CopyLayerIn(CInstructionArena& arena, const tInstructionLayer* layer) {
    if (layer == nullptr) return nullptr;
    return ::new (arena.Allocate(sizeof(tInstructionLayer), alignof(tInstructionLayer)))
        tInstructionLayer{arena.CopyText(layer->mName), layer->mVisible, layer->mLayerType};
}

const tInstructionOwner& tInstructionOwner::MakeIn(CInstructionArena& arena, const tInstructionLayer* layer,
                                                   std::string_view identifier) {
    return *::new (arena.Allocate(sizeof(tInstructionOwner), alignof(tInstructionOwner)))
        tInstructionOwner{layer, arena.CopyText(identifier), &arena};
}

std::string CDrawingInstruction::DumpStyle() const {
    return FormatStringN(255, "mUseFill:%d, mUseStroke:%d, mFillColor:%s, mStrokeColor:%s", mUseFill ? 1 : 0,
                         mUseStroke ? 1 : 0, mFillColor.ToHexString().c_str(), mStrokeColor.ToHexString().c_str());
}

std::string CDrawingInstruction::Dump() const {
    return FormatStringN(255, "CDrawingInstruction<%p> (%s)", static_cast<const void*>(this), DumpStyle().c_str());
}
