#include "engine/drawing/TransientEdits.h"

#include <algorithm>
#include <utility>

#include "engine/model/ContentChanges.h"
#include "engine/model/ElementQueries.h"
#include "engine/services/Logger.h"

// ------------------------------------------------------------ actions

void CTransientEditAction::Apply(CLayoutParameters&, tElements&, tImages&, tBaseboardElements&) {
    LogWarning("Base method must be overridden by specialized classes");
}

void CSingleLineStyleEditAction::Apply(CLayoutParameters& parameters, tElements&, tImages&, tBaseboardElements&) {
    parameters.mTrackStyle = (parameters.mTrackStyle & ~kClearedStyleBits) | CLayoutParameters::kSingleLineTracks;
}

void CTracksOnlyEditAction::Apply(CLayoutParameters&, tElements& elements, tImages& images,
                                  tBaseboardElements& baseboards) {
    // The filter runs first: should it throw, the lists are still whole.
    tElements tracks = UElementVectorOperations::GetTrackElements(elements);
    elements = std::move(tracks);
    images.clear();
    baseboards.clear();
    UContentChanges::Note();
}

void CShowTunnelsEditAction::Apply(CLayoutParameters& parameters, tElements&, tImages&, tBaseboardElements&) {
    parameters.mTunnelDisplayMode = kTunnelDisplayMode;
}

void CHideTunnelsEditAction::Apply(CLayoutParameters& parameters, tElements&, tImages&, tBaseboardElements&) {
    parameters.mTunnelDisplayMode = kTunnelDisplayMode;
}

// ------------------------------------------------------------ saved state

CTransientEditState::CTransientEditState(const CLayoutParameters& parameters, const tElements& elements,
                                         const tImages& images, const tBaseboardElements& baseboards)
    : mElements(elements), mImages(images), mBaseboards(baseboards), mParameters(parameters), mPending(true) {}

CTransientEditState::CTransientEditState(CLayout& layout)
    : CTransientEditState(layout.GetParameters(), layout.GetElementList(), layout.GetImages(), layout.GetBaseboards()) {
    mLayout = &layout;
}

void CTransientEditState::Restore(CLayoutParameters& parameters, tElements& elements, tImages& images,
                                  tBaseboardElements& baseboards) noexcept {
    if (!mPending) return;
    mPending = false;
    // Moving the saved lists in allocates nothing, so the undo cannot fail
    // half-way; the state has nothing left to restore afterwards.
    elements = std::move(mElements);
    images = std::move(mImages);
    baseboards = std::move(mBaseboards);
    parameters = mParameters;
    mElements.clear();
    mImages.clear();
    mBaseboards.clear();
    UContentChanges::Note();
}

void CTransientEditState::Restore() noexcept {
    if (mLayout == nullptr) return;
    Restore(mLayout->GetParameters(), mLayout->GetElementList(), mLayout->GetImages(), mLayout->GetBaseboards());
}

// ------------------------------------------------------------ action lists

namespace UTransientEditActions {

void ApplyAll(const tTransientEditActions& actions, CLayoutParameters& parameters, tElements& elements, tImages& images,
              tBaseboardElements& baseboards) {
    for (CTransientEditAction* action : actions) {
        if (action != nullptr) action->Apply(parameters, elements, images, baseboards);
    }
}

void ApplyAll(const tTransientEditActions& actions, CLayout& layout) {
    ApplyAll(actions, layout.GetParameters(), layout.GetElementList(), layout.GetImages(), layout.GetBaseboards());
}

bool Contains(const tTransientEditActions& actions, const std::string& name) {
    return std::any_of(actions.begin(), actions.end(), [&name](const CTransientEditAction* action) {
        return action != nullptr && action->GetName() == name;
    });
}

bool Add(tTransientEditActions& actions, CTransientEditAction* action) {
    if (action == nullptr || Contains(actions, action->GetName())) return false;
    actions.push_back(action);
    return true;
}

void Remove(tTransientEditActions& actions, const std::string& name) {
    actions.erase(std::remove_if(actions.begin(), actions.end(),
                                 [&name](const CTransientEditAction* action) {
                                     return action != nullptr && action->GetName() == name;
                                 }),
                  actions.end());
}

}  // namespace UTransientEditActions

// ------------------------------------------------------------ scope

CTransientEditScope::CTransientEditScope(CLayout& layout, const tTransientEditActions& actions) : mState(layout) {
    try {
        UTransientEditActions::ApplyAll(actions, layout);
    } catch (...) {
        // The destructor of a scope whose constructor throws never runs.
        mState.Restore();
        throw;
    }
}

CTransientEditScope::~CTransientEditScope() { mState.Restore(); }
