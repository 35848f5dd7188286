// Instructions made in an arena: whoever owns one still deletes it, in any
// order and on any thread, and the arena goes with the last thing that holds
// it; copies and shared owner records keep what they view alive; the memory
// it hands out is aligned and never overlaps.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "engine/drawing/InstructionArena.h"
#include "engine/drawing/OvalInstruction.h"
#include "engine/drawing/PathInstruction.h"
#include "engine/drawing/RenderStrategy.h"
#include "engine/drawing/GraphicsStateInstruction.h"
#include "engine/model/Layer.h"

namespace {

std::unique_ptr<CPathDrawingInstruction> MakeLine(CInstructionArena& arena, double x) {
    auto path = CDrawingInstruction::MakeIn<CPathDrawingInstruction>(arena, kDrawingStyleStroke, false, CColor::White(),
                                                                     CColor::Black());
    path->AddLineTo(CPoint(x, 0));
    path->AddLineTo(CPoint(x, 10));
    return path;
}

TEST(InstructionArena, TheArenaGoesWithTheLastOfWhatHoldsItInAnyOrder) {
    struct Case {
        const char* name;
        std::vector<int> order;  // 0 to 2 the instructions, 3 the arena reference
    };
    const Case cases[] = {
        {"reference first, then first to last", {3, 0, 1, 2}},
        {"reference first, then last to first", {3, 2, 1, 0}},
        {"instructions first", {0, 1, 2, 3}},
        {"reference in between", {1, 3, 2, 0}},
    };
    const std::size_t before = CInstructionArena::CountAlive();
    for (const Case& c : cases) {
        CInstructionArenaRef arena = CInstructionArena::Create();
        std::vector<std::unique_ptr<CPathDrawingInstruction>> paths;
        for (int i = 0; i < 3; ++i) paths.push_back(MakeLine(*arena, i));
        for (std::size_t k = 0; k < c.order.size(); ++k) {
            EXPECT_EQ(CInstructionArena::CountAlive(), before + 1) << c.name << " before step " << k;
            const int which = c.order[k];
            if (which == 3) {
                arena = CInstructionArenaRef();
                continue;
            }
            // What is left is still whole until it goes.
            ASSERT_EQ(paths[which]->mPathMicroInstructions.size(), 2u) << c.name;
            EXPECT_EQ(std::get<CPathLineToMicroInstruction>(paths[which]->mPathMicroInstructions[1]).mPoint.y, 10);
            paths[which].reset();
        }
        EXPECT_EQ(CInstructionArena::CountAlive(), before) << c.name;
    }
}

TEST(InstructionArena, AListBuiltInAnArenaIsDeletedOnAnotherThreadAsTheViewerDoes) {
    const std::size_t before = CInstructionArena::CountAlive();
    auto layer = std::make_unique<CLayer>("A layer with a name too long to fit in a string itself");
    tDrawingInstructions list;
    {
        CDrawingInstructionsRenderOptions fill(&list, CDrawingInstructionsRenderOptions::kFillPass);
        CDrawingInstructionsRenderOptions outline(&list, CDrawingInstructionsRenderOptions::kOutlinePass, fill);
        fill.mOwnerLayer = outline.mOwnerLayer = layer.get();
        for (int element = 0; element < 2000; ++element) {
            fill.mIdentifier = outline.mIdentifier = "element identifier number " + std::to_string(element);
            auto path = fill.NewInstruction<CPathDrawingInstruction>(kDrawingStyleFill, false, CColor::White(),
                                                                     CColor::Black());
            for (int k = 0; k < 40; ++k) path->AddLineTo(CPoint(element, k));
            fill.AddInstruction(std::move(path));
            outline.AddInstruction(outline.NewInstruction<COvalDrawingInstruction>(kDrawingStyleStroke, false,
                                                                                   CColor::White(), CColor::Black()));
            // One made with plain new in the same list.
            if (element % 100 == 0) outline.AddInstruction(new CGraphicsStateDrawingInstruction(1));
        }
        EXPECT_EQ(CInstructionArena::CountAlive(), before + 1) << "both passes share one arena";
    }
    layer.reset();
    ASSERT_EQ(list.size(), 4020u);
    // Element 0 made a path, an oval and a state change, element 1 a path
    // and an oval.
    EXPECT_EQ(list[0]->Home(), list[1]->Home());
    EXPECT_EQ(list[2]->Home(), nullptr);
    EXPECT_EQ(list[2]->GetIdentifier(), "element identifier number 0");
    EXPECT_EQ(list[3]->GetIdentifier(), "element identifier number 1");
    EXPECT_EQ(list[3]->GetOwnerLayer()->mName, "A layer with a name too long to fit in a string itself");
    EXPECT_EQ(list[3]->GetIdentifier().data(), list[4]->GetIdentifier().data()) << "one record per element";
    EXPECT_NE(list[3]->GetIdentifier().data(), list[0]->GetIdentifier().data());
    EXPECT_EQ(list[0]->GetOwnerLayer()->mName.data(), list[4]->GetOwnerLayer()->mName.data())
        << "one layer copy for the elements of a layer";
    EXPECT_EQ(CInstructionArena::CountAlive(), before + 1);

    std::thread release([doomed = std::move(list)]() mutable {
        for (auto it = doomed.rbegin(); it != doomed.rend(); ++it) delete *it;
    });
    release.join();
    EXPECT_EQ(CInstructionArena::CountAlive(), before);
}

TEST(InstructionArena, CopiesAndStepsTakenOutLiveOnTheirOwn) {
    const std::size_t before = CInstructionArena::CountAlive();
    std::unique_ptr<CPathDrawingInstruction> copy;
    std::unique_ptr<CPathDrawingInstruction> copyInAnother;
    CPathDrawingInstruction::tSteps steps;
    CInstructionArenaRef another = CInstructionArena::Create();
    {
        CInstructionArenaRef arena = CInstructionArena::Create();
        auto original = MakeLine(*arena, 7);
        original->SetIdentifier("the original's element");
        // A copy made with new, one made in another arena, one of the steps.
        copy = std::make_unique<CPathDrawingInstruction>(*original);
        copyInAnother = CDrawingInstruction::MakeIn<CPathDrawingInstruction>(*another, *original);
        steps = original->mPathMicroInstructions;
        EXPECT_EQ(copy->Home(), nullptr);
        EXPECT_EQ(copyInAnother->Home(), another.get());
        EXPECT_EQ(steps.get_allocator().arena(), nullptr) << "a copy of steps lives on the heap";
    }
    // The copies hold the arena of the record they share.
    EXPECT_EQ(CInstructionArena::CountAlive(), before + 2);
    EXPECT_EQ(copy->GetIdentifier(), "the original's element");
    copy.reset();
    EXPECT_EQ(copyInAnother->GetIdentifier(), "the original's element");
    copyInAnother.reset();
    EXPECT_EQ(CInstructionArena::CountAlive(), before + 1);
    another = CInstructionArenaRef();
    EXPECT_EQ(CInstructionArena::CountAlive(), before);
    ASSERT_EQ(steps.size(), 2u);
    EXPECT_EQ(std::get<CPathLineToMicroInstruction>(steps[0]).mPoint.x, 7);

    // A new owner record replaces the old one and lets go of its arena.
    CInstructionArenaRef third = CInstructionArena::Create();
    auto path = MakeLine(*third, 1);
    CPathDrawingInstruction heap(kDrawingStyleFill, false, CColor::White(), CColor::Black());
    heap.SetIdentifier("first");
    heap.SetIdentifier("second");
    heap.SetOwnerLayer(nullptr);
    EXPECT_EQ(heap.GetIdentifier(), "second");
    EXPECT_FALSE(heap.GetOwnerLayer().has_value());
    EXPECT_EQ(CInstructionArena::CountAlive(), before + 2) << "the heap instruction's own small arena";
    path.reset();
    third = CInstructionArenaRef();
    EXPECT_EQ(CInstructionArena::CountAlive(), before + 1);
}

class CThrowingInstruction : public CPathDrawingInstruction {
public:
    explicit CThrowingInstruction(int) : CPathDrawingInstruction(1, false, CColor::White(), CColor::Black()) {
        throw std::runtime_error("cannot be made");
    }
};

TEST(InstructionArena, AConstructorThatThrowsLeavesNothingBehind) {
    const std::size_t before = CInstructionArena::CountAlive();
    {
        CInstructionArenaRef arena = CInstructionArena::Create();
        EXPECT_THROW(CDrawingInstruction::MakeIn<CThrowingInstruction>(*arena, 1), std::runtime_error);
        EXPECT_THROW(delete new CThrowingInstruction(1), std::runtime_error);
        auto path = MakeLine(*arena, 3);
        EXPECT_EQ(path->Home(), arena.get());
    }
    EXPECT_EQ(CInstructionArena::CountAlive(), before);
}

TEST(InstructionArena, MemoryIsAlignedAndNeverHandedOutTwice) {
    CInstructionArenaRef arena = CInstructionArena::Create(64);
    struct Piece {
        std::uintptr_t at;
        std::size_t size;
    };
    std::vector<Piece> pieces;
    // Small pieces of every alignment, and some larger than any block.
    const std::size_t sizes[] = {1, 3, 8, 24, 100, 4000, 70000, 3u << 20};
    const std::size_t alignments[] = {1, 2, 8, 16};
    for (int round = 0; round < 40; ++round) {
        for (std::size_t size : sizes) {
            const std::size_t alignment = alignments[(round + size) % 4];
            if (size > 100000 && round % 10 != 0) continue;
            void* memory = arena->Allocate(size, alignment);
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(memory) % alignment, 0u) << size << " at " << alignment;
            std::memset(memory, round, size);
            pieces.push_back({reinterpret_cast<std::uintptr_t>(memory), size});
        }
    }
    std::sort(pieces.begin(), pieces.end(), [](const Piece& a, const Piece& b) { return a.at < b.at; });
    for (std::size_t i = 1; i < pieces.size(); ++i)
        EXPECT_LE(pieces[i - 1].at + pieces[i - 1].size, pieces[i].at) << "pieces " << i - 1 << " and " << i;
    EXPECT_GE(arena->BlockBytes(), 4u * (3u << 20));
    EXPECT_EQ(arena->CopyText("some text"), "some text");
    EXPECT_TRUE(arena->CopyText("").empty());
    EXPECT_THROW(arena->Allocate(static_cast<std::size_t>(-1) - 8, 8), std::bad_alloc);
}

}  // namespace
