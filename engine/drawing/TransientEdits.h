#pragma once
// Display edits: the viewer's display settings (single-line tracks, tracks
// only, tunnels shown or hidden) are not stored in the layout. They are
// actions applied to the document for the length of one render-data build or
// one hit test and undone right after, so the document only looks edited
// while it is being drawn or tapped.
//
// The safe way to use them is CTransientEditScope, which applies in its
// constructor and undoes in its destructor, whatever way the scope is left.
//
// Main thread only: nothing else may read the document while it is edited.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "engine/model/Baseboard.h"
#include "engine/model/Image.h"
#include "engine/model/Layout.h"
#include "engine/model/TrackElementsContainer.h"

// One display edit. Each action's name is its class name; a list of actions
// holds at most one action of each name.
class CTransientEditAction {
public:
    // The base action has the empty name and does nothing but warn.
    CTransientEditAction() = default;
    virtual ~CTransientEditAction() = default;

    CTransientEditAction(const CTransientEditAction&) = delete;
    CTransientEditAction& operator=(const CTransientEditAction&) = delete;

    // Changes the document's parameters block and its lists of elements,
    // images and baseboards in place. The objects in the lists are never
    // deleted: an action may only drop pointers that a saved state keeps.
    virtual void Apply(CLayoutParameters& parameters, tElements& elements, tImages& images,
                       tBaseboardElements& baseboards);
    virtual const std::string& GetName() const { return mName; }

protected:
    explicit CTransientEditAction(std::string name) : mName(std::move(name)) {}

private:
    std::string mName;
};

// Tracks drawn as single lines without bed: the track-style bits 1, 2, 4 and
// 32 cleared, then 4 set.
class CSingleLineStyleEditAction : public CTransientEditAction {
public:
    static constexpr const char* kName = "CSingleLineStyleEditAction";
    static constexpr std::int32_t kClearedStyleBits = 39;

    CSingleLineStyleEditAction() : CTransientEditAction(kName) {}
    void Apply(CLayoutParameters& parameters, tElements& elements, tImages& images,
               tBaseboardElements& baseboards) override;
};

// Only the track elements, in their order; no images and no baseboards.
class CTracksOnlyEditAction : public CTransientEditAction {
public:
    static constexpr const char* kName = "CTracksOnlyEditAction";

    CTracksOnlyEditAction() : CTransientEditAction(kName) {}
    void Apply(CLayoutParameters& parameters, tElements& elements, tImages& images,
               tBaseboardElements& baseboards) override;
};

// Tunnel display mode 1.
class CShowTunnelsEditAction : public CTransientEditAction {
public:
    static constexpr const char* kName = "CShowTunnelsEditAction";
    static constexpr std::int32_t kTunnelDisplayMode = 1;

    CShowTunnelsEditAction() : CTransientEditAction(kName) {}
    void Apply(CLayoutParameters& parameters, tElements& elements, tImages& images,
               tBaseboardElements& baseboards) override;
};

// Tunnel display mode 2.
class CHideTunnelsEditAction : public CTransientEditAction {
public:
    static constexpr const char* kName = "CHideTunnelsEditAction";
    static constexpr std::int32_t kTunnelDisplayMode = 2;

    CHideTunnelsEditAction() : CTransientEditAction(kName) {}
    void Apply(CLayoutParameters& parameters, tElements& elements, tImages& images,
               tBaseboardElements& baseboards) override;
};

// Not owned: whoever creates an action deletes it.
using tTransientEditActions = std::vector<CTransientEditAction*>;

// What display edits change: the parameters block and the three lists
// (pointer copies; the objects are shared with the document).
//
// A state puts back what it saved once. Restore on a state that saved
// nothing (default-made) or was restored already does nothing, so a second
// undo can never reinstate pointers the document has dropped (and perhaps
// deleted) since the first.
class CTransientEditState {
public:
    // Saves nothing; Restore does nothing.
    CTransientEditState() = default;
    CTransientEditState(const CLayoutParameters& parameters, const tElements& elements, const tImages& images,
                        const tBaseboardElements& baseboards);
    // Saves the layout's parameters and lists; the argument-less Restore puts
    // them back into that layout, which must outlive the state.
    explicit CTransientEditState(CLayout& layout);
    virtual ~CTransientEditState() = default;

    CTransientEditState(const CTransientEditState&) = delete;
    CTransientEditState& operator=(const CTransientEditState&) = delete;

    // Overwrites the four targets with what was saved; later calls do
    // nothing. Does not throw.
    void Restore(CLayoutParameters& parameters, tElements& elements, tImages& images,
                 tBaseboardElements& baseboards) noexcept;
    // Restores into the layout given to the constructor; nothing for a state
    // saved from bare lists.
    void Restore() noexcept;

    // Something is saved and not yet put back.
    bool IsPending() const { return mPending; }

private:
    tElements mElements;
    tImages mImages;
    tBaseboardElements mBaseboards;
    CLayoutParameters mParameters;
    CLayout* mLayout = nullptr;
    bool mPending = false;
};

namespace UTransientEditActions {

// Apply of every action in list order, so a later action wins where two set
// the same field. Null entries are skipped.
void ApplyAll(const tTransientEditActions& actions, CLayoutParameters& parameters, tElements& elements, tImages& images,
              tBaseboardElements& baseboards);
// The same on the layout's parameters and lists.
void ApplyAll(const tTransientEditActions& actions, CLayout& layout);

// Some action's name equals `name` byte for byte.
bool Contains(const tTransientEditActions& actions, const std::string& name);
// Appends the action unless one of its name is listed already; false (the
// list unchanged, the action still the caller's) then and for null.
bool Add(tTransientEditActions& actions, CTransientEditAction* action);
// Takes every action of that name out of the list, the rest keeping their
// order. The removed actions are not deleted.
void Remove(tTransientEditActions& actions, const std::string& name);

}  // namespace UTransientEditActions

// Applies the actions to the layout for the lifetime of the scope:
//
//   {
//       CTransientEditScope edits(layout, actions);
//       ... build render data or hit-test ...
//   }   // the layout is as before, also when the work threw
//
// When an action throws while being applied, the layout is restored before
// the constructor passes the exception on. The layout must outlive the
// scope, and must not be replaced or cleared while the scope is open.
class CTransientEditScope {
public:
    CTransientEditScope(CLayout& layout, const tTransientEditActions& actions);
    ~CTransientEditScope();

    CTransientEditScope(const CTransientEditScope&) = delete;
    CTransientEditScope& operator=(const CTransientEditScope&) = delete;

    // Undoes the edits now; the destructor then does nothing.
    void Restore() noexcept { mState.Restore(); }

private:
    CTransientEditState mState;
};
