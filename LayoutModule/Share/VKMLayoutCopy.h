#pragma once
// A deep copy of a document for drawing it away from the main thread: its
// parameters and zoom, its layers, and copies of its elements, baseboards
// and images on the copies of their layers. The copy shares nothing with
// the source, so the source may be edited, redrawn or closed meanwhile.
// Groups, statistics and the joint index are not copied (drawing reads
// none of them).

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_map>

#include "engine/model/Baseboard.h"
#include "engine/model/TrackElementsContainer.h"

class CLayer;
class CLayout;

namespace VKMLayoutCopy {

// The whole copy at once. Make it on the main thread, where the source is
// read.
std::unique_ptr<CLayout> copyForDrawing(const CLayout& source);

}  // namespace VKMLayoutCopy

// The same copy of the open document, made without holding up the main
// thread. The document is read only while the main thread waits for the
// reading: the pool copies its elements and baseboards in turns of the main
// loop, each at most kTurnBudget long and the main thread taking its share,
// about a frame apart; the first turn copies the parameters, layers and
// images too. Between turns the main thread goes on. A copy that spans
// turns is kept only when the main thread noted no change of content
// meanwhile (UContentChanges::MainThreadCount), else it starts again (and
// after kMostRestarts such starts copies the rest in one turn); and
// only while the holder has the document it began with
// (CCurrentCloudLayout::Generation): the copy of a document closed or
// replaced meanwhile fails, since the layout asked for is gone.
//
// Main thread only. The outcome comes on the main thread in a later turn,
// never from inside copyOpenDocument; the copier keeps itself until then.
class VKMLayoutCopier : public std::enable_shared_from_this<VKMLayoutCopier> {
public:
    // The copy, or null when there is none: the document went, or copying
    // failed.
    using tDone = std::function<void(std::unique_ptr<CLayout> copy)>;
    // Asked before each turn: once false, the copier stops and says
    // nothing.
    using tWanted = std::function<bool()>;

    // At most this long a turn copies before it lets the main loop go on.
    static constexpr auto kTurnBudget = std::chrono::milliseconds(4);
    // The pause before each turn (about a frame), so that frames come
    // between turns, the frame after the request first.
    static constexpr auto kTurnInterval = std::chrono::milliseconds(16);
    // Copies begun again after a change before the rest is copied at once.
    static constexpr int kMostRestarts = 3;
    // The share of a turn's time left that a go is sized to fill.
    static constexpr double kFillShare = 0.8;

    static std::shared_ptr<VKMLayoutCopier> copyOpenDocument(tWanted wanted, tDone done);
    ~VKMLayoutCopier();
    VKMLayoutCopier(const VKMLayoutCopier&) = delete;
    VKMLayoutCopier& operator=(const VKMLayoutCopier&) = delete;

    // At most this many elements and baseboards copied a turn besides the
    // time budget; 0, the default, is no such limit. Process-wide, for
    // tests that need a copy to take several turns.
    static void setMostCopiesPerTurn(std::size_t copies);

    // For tests: turns taken, and the elements and baseboards copied in this
    // copy so far.
    std::size_t turns() const { return mTurns; }
    std::size_t copied() const { return mNext; }

private:
    VKMLayoutCopier(tWanted wanted, tDone done);
    void scheduleTurn();
    void turn();
    void begin();
    // Copies the next `count` elements and baseboards on the pool (all that
    // are left when 0); true when all are copied.
    bool copySome(std::size_t count);
    std::unique_ptr<CLayout> finish();
    // What was copied goes (deleted off the main thread); a copy begins
    // anew at the next turn.
    void discard();
    void deliver(std::unique_ptr<CLayout> copy);

    tWanted mWanted;
    tDone mDone;
    bool mBegun = false;
    // The document asked for, and the main thread's changes noted when a
    // copy of it last went on.
    std::uint64_t mGeneration = 0;
    std::uint64_t mChanges = 0;
    std::unique_ptr<CLayout> mCopy;
    std::unordered_map<const CLayer*, CLayer*> mLayerOf;
    CLayer* mFirstLayer = nullptr;
    tElements mSourceElements;
    tBaseboardElements mSourceBaseboards;
    tElements mCopiedElements;
    tBaseboardElements mCopiedBaseboards;
    std::size_t mNext = 0;
    std::size_t mTurns = 0;
    int mRestarts = 0;
    // Elements copied a second of the last go; 0 before the first.
    double mPerSecond = 0;
};
