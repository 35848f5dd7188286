#pragma once
// CCurrentCloudLayout: the process-wide holder of the one open layout
// document. Every reset replaces the document by a fresh, empty one; a load
// resets, reads the file and, when that worked, tidies the document (empty
// layers removed, layers unlocked, untyped elements classified, track rail
// widths and colours repaired). Screens keep only the raw document pointer
// and fetch it again after every load or close.
//
// Main thread only; the first Instance call is safe from any thread.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/model/Baseboard.h"
#include "engine/model/Image.h"
#include "engine/model/Layout.h"
#include "engine/model/TrackElementsContainer.h"

class CLayerManager;
class CTransientEditAction;

class CCurrentCloudLayout {
public:
    // Made on first use ("Creating global layout instance", then a reset)
    // and destroyed at process exit.
    static CCurrentCloudLayout& Instance();
    // Deletes the document and lets the next Instance call begin again as
    // the first did, as in a new process. For tests that run one after
    // another in a process.
    static void ForgetInstanceForTests();

    CCurrentCloudLayout(const CCurrentCloudLayout&) = delete;
    CCurrentCloudLayout& operator=(const CCurrentCloudLayout&) = delete;
    ~CCurrentCloudLayout();

    // The current document; never null.
    CLayout* Layout() const { return mLayout.get(); }
    // Whether the document is one that was read (a load or an adopted read
    // that worked), not the empty one of a reset: whether a layout is open.
    bool HasDocument() const { return mHasDocument; }
    // Changes whenever the document is replaced (every reset and adoption),
    // so that work holding the document's pointer across turns of the main
    // loop can tell that it is still the same document: a new one may be
    // made where the old one was.
    std::uint64_t Generation() const { return mGeneration; }

    // Deletes the document and makes a new empty one whose first editable
    // layer is named "N/A"; empties the list of display edit actions.
    void Reset();

    // Resets, then loads the file into the new document. On failure the
    // localised message of the code is kept (GetLastLoadErrorMessage) and
    // the holder resets again, so the document is empty, never partly read.
    // On success the document is tidied and its display flags word set to 0.
    bool LoadLayout(const std::string& path);

    // A document read and tidied away from the holder, to be handed over
    // whole (Adopt). The layout is null when the read failed.
    struct tReadLayout {
        std::unique_ptr<CLayout> layout;
        LayoutErrorCode code = kLayoutLoaded;
    };
    // Reads the file into a new document and tidies it as LoadLayout does;
    // touches nothing of the holder's, so it may run on any thread. A
    // failed read gives no document, never a partly read one; nor does one
    // that `stopped` ended (kLayoutLoadStopped, a code with no message).
    static tReadLayout ReadLayout(const std::string& path, const tLoadStopped& stopped = {});
    // Main thread: makes the read document the current one (true), or, for
    // a failed read, resets and keeps the code's message (false).
    bool Adopt(tReadLayout read);

    // The localised text of the code's key ("FailedToOpenFile" for 1, ...,
    // "LayoutLoadFailedParameterError" for 6); empty for any other code.
    static std::string GetLoadErrorMessage(LayoutErrorCode code);

    // The message of the last failed load; empty after a successful one.
    const std::string& GetLastLoadErrorMessage() const { return mLoadErrorMessage; }

    // The display settings' edit actions, applied around every drawing pass.
    // Not owned: a reset only empties the list.
    std::vector<CTransientEditAction*>& GetTransientEditActions() { return mTransientEditActions; }

private:
    CCurrentCloudLayout();
    // What the first use does: logs the creation and resets.
    void Begin();

    std::unique_ptr<CLayout> mLayout;
    bool mHasDocument = false;
    std::uint64_t mGeneration = 0;
    std::string mLoadErrorMessage;
    std::vector<CTransientEditAction*> mTransientEditActions;
};

namespace URemoveEmptyLayers {

// Removes, last first, the track layers (type 1) nothing lies on and, when
// the document has no baseboards at all, the baseboard layers (type 2)
// nothing lies on; "nothing" counts elements, images and baseboards. Layers
// of other types stay. Each removed layer is deleted; the last layer is
// never removed. Returns the number removed.
int RemoveEmptyLayers(CLayerManager& layerManager, const tElements& elements, const tBaseboardElements& baseboards,
                      const tImages& images);

}  // namespace URemoveEmptyLayers

namespace ULayoutElementClassifier {

// Gives each element of type 0 the type UElementTypes::GuessElementType
// proposes, when that is not 0. Returns the number changed.
int ClassifyElements(const tElements& elements);

}  // namespace ULayoutElementClassifier

namespace ULayoutTrackRepairs {

// Raises the rail width of every straight, curve and flex-track component
// of the track elements to the reference width (the smallest of the tracks'
// largest rail widths above 0.001; without one, the default of the first
// track's model scale, or of H0) and makes each track's second colour
// opaque black. Returns the number of tracks changed.
int RepairTracks(const tElements& elements);

}  // namespace ULayoutTrackRepairs
