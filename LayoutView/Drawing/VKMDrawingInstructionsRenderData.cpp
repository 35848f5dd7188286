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
    mInstructionBoxes = VKMDrawingInstructionsPainter::boxesOf(mDrawingInstructions);
}

const VKMBoxIndex* VKMDrawingInstructionsRenderData::instructionIndex() const {
    // Not made with the layer: a build should not wait for it, and a layer
    // replaced before it is painted never needs it.
    std::call_once(mIndexMade,
                   [this] { mInstructionIndex = VKMDrawingInstructionsPainter::indexOf(mInstructionBoxes); });
    return &mInstructionIndex;
}

const VKMKeptTexts* VKMDrawingInstructionsRenderData::keptTexts() const {
    std::call_once(mTextsFound, [this] { mKeptTexts = std::make_unique<VKMKeptTexts>(mDrawingInstructions); });
    return mKeptTexts.get();
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
