#include "engine/drawing/DrawingInstruction.h"

#include <cstddef>
#include <cstring>

#include "engine/model/Layer.h"
#include "engine/services/StringFormat.h"

CDrawingInstruction::CDrawingInstruction(int style, bool usePattern, const CColor& fillColor,
                                         const CColor& strokeColor)
    : mUsePattern(usePattern), mFillColor(fillColor), mStrokeColor(strokeColor) {
    SetStyle(style);
}

CDrawingInstruction::CDrawingInstruction(const CDrawingInstruction& other)
    : mBounds{},
      mUseFill(other.mUseFill),
      mUsePattern(other.mUsePattern),
      mUseStroke(other.mUseStroke),
      mFillColor(other.mFillColor),
      mStrokeColor(other.mStrokeColor),
      mScale(other.mScale),
      mOwner(other.mOwner) {
    // Not yet anywhere: hold the record's arena (MakeIn drops the hold when
    // the copy is made in that very arena).
    mOwnerArena = other.mOwnerArena != nullptr ? other.mOwnerArena : other.mHome;
    if (mOwner == nullptr) mOwnerArena = nullptr;
    if (mOwnerArena != nullptr) mOwnerArena->Retain();
}

CDrawingInstruction::~CDrawingInstruction() {
    ReleaseOwner();
}

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

void CDrawingInstruction::ReleaseOwner() noexcept {
    if (mOwnerArena != nullptr) mOwnerArena->Release();
    mOwnerArena = nullptr;
    mOwner = nullptr;
}

void CDrawingInstruction::SetOwner(const tInstructionOwner& owner, CInstructionArena& arena) {
    CInstructionArena* const held = &arena != mHome ? &arena : nullptr;
    if (held != mOwnerArena) {
        if (held != nullptr) held->Retain();
        if (mOwnerArena != nullptr) mOwnerArena->Release();
        mOwnerArena = held;
    }
    mOwner = &owner;
}

void CDrawingInstruction::SetOwner(const std::optional<tInstructionLayer>& layer, std::string_view identifier) {
    CInstructionArenaRef own;
    if (mHome == nullptr) {
        const std::size_t texts = (layer ? layer->mName.size() : 0) + identifier.size();
        own = CInstructionArena::Create(sizeof(tInstructionOwner) + texts);
    }
    CInstructionArena& arena = mHome != nullptr ? *mHome : *own;
    SetOwner(tInstructionOwner::MakeIn(arena, layer, identifier), arena);
}

void CDrawingInstruction::SetIdentifier(std::string_view identifier) {
    SetOwner(GetOwnerLayer(), identifier);
}

std::string_view CDrawingInstruction::GetIdentifier() const {
    return mOwner != nullptr ? mOwner->mIdentifier : std::string_view();
}

std::optional<tInstructionLayer> CDrawingInstruction::GetOwnerLayer() const {
    return mOwner != nullptr ? mOwner->mLayer : std::nullopt;
}

void CDrawingInstruction::SetStyle(int style) {
    mUseFill = (style & kDrawingStyleFill) != 0;
    mUseStroke = (style & kDrawingStyleStroke) != 0;
}

void CDrawingInstruction::SetOwnerLayer(const CLayer* layer) {
    SetOwner(tInstructionOwner::LayerOf(layer), GetIdentifier());
}

const tInstructionOwner& tInstructionOwner::MakeIn(CInstructionArena& arena,
                                                   const std::optional<tInstructionLayer>& layer,
                                                   std::string_view identifier) {
    auto* owner = ::new (arena.Allocate(sizeof(tInstructionOwner), alignof(tInstructionOwner))) tInstructionOwner{};
    if (layer) owner->mLayer = tInstructionLayer{arena.CopyText(layer->mName), layer->mVisible, layer->mLayerType};
    owner->mIdentifier = arena.CopyText(identifier);
    return *owner;
}

std::optional<tInstructionLayer> tInstructionOwner::LayerOf(const CLayer* layer) {
    if (layer == nullptr) return std::nullopt;
    return tInstructionLayer{layer->GetName(), layer->IsVisible(), layer->GetLayerType()};
}

std::string CDrawingInstruction::DumpStyle() const {
    return FormatStringN(255, "mUseFill:%d, mUseStroke:%d, mFillColor:%s, mStrokeColor:%s",
                         mUseFill ? 1 : 0, mUseStroke ? 1 : 0, mFillColor.ToHexString().c_str(),
                         mStrokeColor.ToHexString().c_str());
}

std::string CDrawingInstruction::Dump() const {
    return FormatStringN(255, "CDrawingInstruction<%p> (%s)", static_cast<const void*>(this),
                         DumpStyle().c_str());
}
