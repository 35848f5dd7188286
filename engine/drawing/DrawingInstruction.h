#pragma once
// CDrawingInstruction: one device-independent drawing step (a path, a text,
// an oval, an image, a grid or a graphics-state change). The renderers and
// the overlay painters make them, the layout viewer keeps them in lists per
// render layer and paints them many times.
//
// An instruction keeps everything it refers to alive: what it needs of its
// layer and its identifier text are copies in an owner record that the
// instructions of one element share. Lists are deleted on a background
// queue, possibly after the document and its layers are gone, so a view
// into the render options or a pointer to a CLayer could dangle.
//
// Instructions are made with new, or in a CInstructionArena (MakeIn) when
// many are made together; either way the owner deletes them with delete.
//
// Coordinates are layout millimetres, angles degrees.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "engine/drawing/InstructionArena.h"
#include "engine/geometry/Color.h"
#include "engine/geometry/DoubleRect.h"

class CLayer;

// Style words of the constructors: bit 1 fills, bit 0 strokes.
constexpr int kDrawingStyleStroke = 1;
constexpr int kDrawingStyleFill = 2;
constexpr int kDrawingStyleFillAndStroke = 3;

// What an instruction keeps of the layer of the element it was made for.
// The name is a view of a copy kept as long as the instruction.
struct tInstructionLayer {
    std::string_view mName;
    bool mVisible = true;
    std::int32_t mLayerType = 1;

    bool operator==(const tInstructionLayer&) const = default;
};

// The element an instruction was made for, as the instruction keeps it.
// Immutable; it lies in an arena together with its texts and its layer
// copy, and the instructions of one element share one (the elements of a
// layer share the layer copy).
struct tInstructionOwner {
    // Null when the element has no layer.
    const tInstructionLayer* mLayer = nullptr;
    std::string_view mIdentifier;
    // The arena the record lies in.
    CInstructionArena* mArena = nullptr;

    // The layer's name (a view into the layer), visibility and type;
    // nothing for null.
    static std::optional<tInstructionLayer> LayerOf(const CLayer* layer);
    // A copy of `layer`, its name included, made in `arena`; null for null.
    static const tInstructionLayer* CopyLayerIn(CInstructionArena& arena, const tInstructionLayer* layer);
    // A record made in `arena` with a copy of the identifier; `layer` must
    // lie there too (or be null).
    static const tInstructionOwner& MakeIn(CInstructionArena& arena, const tInstructionLayer* layer,
                                           std::string_view identifier);
};

class CDrawingInstruction {
public:
    virtual ~CDrawingInstruction();

    CDrawingInstruction& operator=(const CDrawingInstruction&) = delete;

    // An instruction of class T made in `arena`, which it holds until it is
    // deleted. Must run on the thread that makes things in the arena.
    template <typename T, typename... Args>
    static std::unique_ptr<T> MakeIn(CInstructionArena& arena, Args&&... args);

    // Plain new and delete work as ever. Every instruction's memory is
    // preceded by a word naming its arena (null for the heap), so that
    // delete gives it back to the right place. (No instruction class asks
    // for more alignment than the heap gives.)
    static void* operator new(std::size_t size);
    static void operator delete(void* memory) noexcept;

    // Recomputes and stores mBounds.
    virtual void CalcBoundingBox() = 0;
    // The debug description, at most 255 bytes.
    virtual std::string Dump() const;

    // mUseFill from bit 1 and mUseStroke from bit 0 of `style`.
    void SetStyle(int style);

    // Copies the layer's name, visibility and type; null forgets the layer.
    // The copy goes to the instruction's arena (on the thread that makes
    // things there), or for an instruction made with new to a small arena
    // of its own.
    void SetOwnerLayer(const CLayer* layer);
    std::optional<tInstructionLayer> GetOwnerLayer() const;

    // Copies the text, as SetOwnerLayer copies the layer.
    void SetIdentifier(std::string_view identifier);
    std::string_view GetIdentifier() const;

    // Shares `owner`, a record made by tInstructionOwner::MakeIn; the
    // instruction holds the record's arena unless it was made there itself.
    void SetOwner(const tInstructionOwner& owner);

    // The arena the instruction was made in, or null when it was made with
    // new; its path steps take their memory there too.
    CInstructionArena* Home() const { return mHome; }

    // Min y, min x, max y, max x; all zero until CalcBoundingBox runs.
    tDoubleRect mBounds{};
    CColor mFillColor;
    CColor mStrokeColor;
    // Always 1.0; kept for the painters.
    double mScale = 1.0;

protected:
    CDrawingInstruction(int style, bool usePattern, const CColor& fillColor, const CColor& strokeColor);
    // Every field but the bounds, which start at zero.
    CDrawingInstruction(const CDrawingInstruction& other);

    // "mUseFill:%d, mUseStroke:%d, mFillColor:%s, mStrokeColor:%s", the tail
    // of most descriptions.
    std::string DumpStyle() const;

private:
    // Now in `home`, which it holds; a class whose parts take memory moves
    // them there.
    virtual void PlacedIn(CInstructionArena& home) { (void)home; }
    // A new owner record with copies of `layer` and `identifier`, in the
    // instruction's arena or one of its own.
    void SetOwner(const tInstructionLayer* layer, std::string_view identifier);
    void ReleaseOwner() noexcept;

    // Holds mOwner->mArena when that is not mHome.
    void Hold(const tInstructionOwner* owner) noexcept;
    void LetGo(const tInstructionOwner* owner) noexcept;

    CInstructionArena* mHome = nullptr;
    const tInstructionOwner* mOwner = nullptr;

public:
    // Last, so that a subclass may put its own small fields in the room
    // after them.
    bool mUseFill = false;
    // Set for fills of marked elements; the painter decides how it looks.
    bool mUsePattern = false;
    bool mUseStroke = false;
};

template <typename T, typename... Args>
std::unique_ptr<T> CDrawingInstruction::MakeIn(CInstructionArena& arena, Args&&... args) {
    static_assert(std::is_base_of_v<CDrawingInstruction, T>);
    // The arena's word right before the instruction, as delete expects it.
    constexpr std::size_t kHomeSlot = alignof(T) > sizeof(void*) ? alignof(T) : sizeof(void*);
    auto* memory = static_cast<char*>(arena.Allocate(kHomeSlot + sizeof(T), kHomeSlot)) + kHomeSlot;
    CInstructionArena* const home = &arena;
    std::memcpy(memory - sizeof home, &home, sizeof home);
    // A constructor that throws leaves its memory unused in the arena. A
    // class that takes an allocator for its parts is given the arena's.
    T* instruction;
    if constexpr (std::is_constructible_v<T, std::allocator_arg_t, CInstructionArenaAllocator<std::byte>, Args...>) {
        instruction = ::new (memory)
            T(std::allocator_arg, CInstructionArenaAllocator<std::byte>(&arena), std::forward<Args>(args)...);
    } else {
        instruction = ::new (memory) T(std::forward<Args>(args)...);
    }
    CDrawingInstruction& base = *instruction;
    arena.Retain();
    base.mHome = &arena;
    // A copy holds the arena of the record it shares; one made in that very
    // arena needs no hold of its own.
    if (base.mOwner != nullptr && base.mOwner->mArena == &arena) arena.Release();
    base.PlacedIn(arena);
    return std::unique_ptr<T>(instruction);
}

// An ordered list of instructions. Whoever holds the list owns the
// instructions and deletes them.
using tDrawingInstructions = std::vector<CDrawingInstruction*>;
