#include "LayoutView/Drawing/VKMDrawingInstructionsRenderData.h"

#include <utility>

#include "LayoutView/Drawing/VKMDrawingInstructionsPainter.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/OwnedList.h"
#include "platform/foundation/UserDefaults.h"

namespace {

// Made once and never destroyed: layers may go away during static
// destruction, after a queue object with static storage would be gone.
platform::DispatchQueue& ReleaseQueue() {
    static platform::DispatchQueue* queue =
        new platform::DispatchQueue(platform::UserDefaults::standard().domain() + ".VKMDrawingInstructionsRelease");
    return *queue;
}

}  // namespace

std::shared_ptr<VKMDrawingInstructionsRenderData> VKMDrawingInstructionsRenderData::renderDataWithDrawingInstructions(
    tDrawingInstructions* instructions) {
    return std::make_shared<VKMDrawingInstructionsRenderData>(instructions);
}

VKMDrawingInstructionsRenderData::VKMDrawingInstructionsRenderData(tDrawingInstructions* instructions) {
    if (instructions != nullptr) mDrawingInstructions = std::exchange(*instructions, {});
    mInstructionBoxes = VKMDrawingInstructionsPainter::boxesOf(mDrawingInstructions, &mTextIndexes);
}

const VKMBoxIndex* VKMDrawingInstructionsRenderData::instructionIndex() const {
    // Not made with the layer: a build should not wait for it, and a layer
    // replaced before it is painted never needs it.
    std::call_once(mIndexMade, [this] {
        mIndexBegun.store(true, std::memory_order_relaxed);
        mInstructionIndex = VKMDrawingInstructionsPainter::indexOf(mInstructionBoxes);
        mIndexReady.store(true, std::memory_order_release);
    });
    return &mInstructionIndex;
}

const VKMBoxIndex* VKMDrawingInstructionsRenderData::instructionIndexIfMade() const {
    if (mIndexReady.load(std::memory_order_acquire)) return &mInstructionIndex;
    // The first tiles of a layout prepared ahead start while the pool
    // still makes its index: they draw rather than wait for it.
    if (mIndexBegun.load(std::memory_order_relaxed)) return nullptr;
    return instructionIndex();
}

const VKMKeptTexts* VKMDrawingInstructionsRenderData::keptTexts() const {
    std::call_once(mTextsFound, [this] { mKeptTexts = std::make_unique<VKMKeptTexts>(std::move(mTextIndexes)); });
    return mKeptTexts.get();
}

void VKMDrawingInstructionsRenderData::layOutTexts() const {
    VKMDrawingInstructionsPainter::layOutTexts(mDrawingInstructions, *keptTexts());
}

VKMDrawingInstructionsRenderData::~VKMDrawingInstructionsRenderData() {
    if (mDrawingInstructions.empty()) return;
    auto doomed = std::make_shared<tDrawingInstructions>(std::move(mDrawingInstructions));
    // The texts' layouts go there too, thousands of them for a large layout.
    std::shared_ptr<VKMKeptTexts> texts = std::move(mKeptTexts);
    ReleaseQueue().async([doomed, texts] { platform::DeleteAll(*doomed); });
}

void VKMDrawingInstructionsRenderData::waitForPendingReleases() {
    platform::DispatchQueue& queue = ReleaseQueue();
    if (!queue.isCurrent()) queue.sync([] {});
}

void VKMDrawingInstructionsRenderData::afterPendingReleases(std::function<void()> block) {
    ReleaseQueue().async(std::move(block));
}
