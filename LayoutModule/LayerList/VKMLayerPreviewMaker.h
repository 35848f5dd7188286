#pragma once
// The layer list's previews, made without holding up the main thread.
//
// A preview is drawn on a global queue from a copy of its layer's content
// (the layer's elements, or every baseboard for a baseboard layer), so the
// drawing never meets a change of the document. The copy itself reads the
// document, which only the main thread changes: it is made by the pool in
// turns of the main loop, each a few milliseconds long, while the main
// thread waits for it (taking its share), so nothing changes the document
// while a turn copies. Between turns the main thread goes on; a copy that
// takes several turns is kept only when the main thread noted no change of
// content meanwhile and the document is still the one it began in (see
// UContentChanges::MainThreadCount), else that layer's copy starts again.
// Changes that are not noted (colours) are the owner's to report with
// forget().
//
// Larger layers are copied first: theirs are the previews that take
// longest to draw. Main thread only; the delivery comes on the main
// thread.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>

#include "engine/model/Baseboard.h"
#include "engine/model/TrackElementsContainer.h"
#include "platform/graphics/Geometry.h"

namespace platform {
class FreedPagesHeld;
class Image;
}  // namespace platform
class CLayer;

class VKMLayerPreviewMaker : public std::enable_shared_from_this<VKMLayerPreviewMaker> {
public:
    // A layer's preview, or null when none could be made (the copy failed,
    // or the layer was no longer the document's when its turn came).
    using tDelivery = std::function<void(const CLayer* layer, std::shared_ptr<platform::Image> image)>;

    // At most this long a turn copies before it lets the main loop go on.
    static constexpr auto kTurnBudget = std::chrono::milliseconds(4);
    // The pause after a turn (about a frame), so that frames come between
    // turns; the first turn comes this long after the first request too.
    static constexpr auto kTurnInterval = std::chrono::milliseconds(16);

    // At most this many elements (or baseboards) copied a turn besides the
    // time budget; 0, the default, is no such limit. Process-wide, for
    // tests that need a copy to take several turns.
    static void setMostCopiesPerTurn(std::size_t copies);

    // Previews of `size` points.
    static std::shared_ptr<VKMLayerPreviewMaker> make(platform::Size size, tDelivery delivery);
    ~VKMLayerPreviewMaker();
    VKMLayerPreviewMaker(const VKMLayerPreviewMaker&) = delete;
    VKMLayerPreviewMaker& operator=(const VKMLayerPreviewMaker&) = delete;

    // Queues a preview of a tracks or baseboard layer of the open document,
    // `weight` its number of elements (or baseboards).
    void request(CLayer* layer, std::size_t weight);
    // Drops everything queued or on its way: the document or its colours
    // changed. What is drawn already is not delivered.
    void forget();

    // Copies begun since the maker was made (again after a change too);
    // for tests.
    std::size_t copiesBegun() const { return mCopiesBegun; }

private:
    struct tJob {
        CLayer* layer = nullptr;
        int type = 0;
        std::size_t weight = 0;
        bool begun = false;
        tElements sourceElements;
        tBaseboardElements sourceBaseboards;
        tElements copiedElements;
        tBaseboardElements copiedBaseboards;
        std::size_t next = 0;
    };
    // What the copies of a layer that began in one turn rely on.
    struct tStamp {
        const void* document = nullptr;
        std::uint64_t changes = 0;
        bool operator==(const tStamp& other) const = default;
    };

    VKMLayerPreviewMaker(platform::Size size, tDelivery delivery);
    static tStamp currentStamp();
    void scheduleTurn();
    void turn();
    // The job's source lists from the document; false when its layer is
    // gone.
    bool begin(tJob& job);
    // Copies the job's next elements on the pool (at most `most` unless 0);
    // true when it has all.
    bool copySome(tJob& job, std::size_t most);
    // The job's copies go to a global queue to be drawn.
    void finish(tJob& job);
    // The copies made so far go (deleted off the main thread); the job is
    // as new.
    static void discardCopies(tJob& job);

    platform::Size mSize;
    tDelivery mDelivery;
    std::deque<tJob> mJobs;
    std::uint64_t mGeneration = 0;
    tStamp mStamp;
    bool mTurnScheduled = false;
    std::size_t mCopiesBegun = 0;
    // The copies and the drawing free and take tens of megabytes on several
    // threads while the list's frames run: from the first request until the
    // last preview is drawn (the drawing jobs hold it too), what they free
    // stays theirs to take again rather than going back and being faulted
    // in anew.
    std::shared_ptr<platform::FreedPagesHeld> mHeld;
};
