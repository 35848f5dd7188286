#include "LayoutView/Drawing/VKMPreparedRenderData.h"

#include "LayoutView/Drawing/VKMRenderDataFactory.h"
#include "engine/model/ContentChanges.h"
#include "platform/dispatch/DispatchQueue.h"

VKMPreparedRenderData::tMadeFor VKMPreparedRenderData::tMadeFor::now(const CLayout& layout,
                                                                     const tTransientEditActions& actions, bool dark) {
    tMadeFor made;
    made.layout = &layout;
    made.changes = UContentChanges::Count();
    for (const CTransientEditAction* action : actions) made.actions.push_back(action ? action->GetName() : "");
    made.dark = dark;
    return made;
}

VKMPreparedRenderData VKMPreparedRenderData::build(CLayout& layout, const tTransientEditActions& actions, bool dark,
                                                   const std::function<bool()>& stopped) {
    // The first tile drawn would otherwise make a layer's spatial index
    // while the others wait for it; and the tiles would lay the texts out,
    // every thread waiting its turn at Pango's one lock.
    const auto indexAhead = [](const VKMLayoutRenderData::tLayer& layer) {
        if (!layer) return;
        platform::DispatchQueue::global().async([layer] { layer->instructionIndex(); });
        platform::DispatchQueue::global().async([layer] { layer->layOutTexts(); });
    };
    VKMPreparedRenderData prepared;
    {
        std::optional<CTransientEditScope> edits;
        if (!actions.empty()) edits.emplace(layout, actions);
        prepared.elements = VKMRenderDataFactory::getElementsDataForLayout(layout, stopped);
        if (stopped && stopped()) return prepared;
        indexAhead(prepared.elements);
        prepared.overlays = VKMRenderDataFactory::getOverlayDataForLayout(layout, dark);
        indexAhead(prepared.overlays);
    }
    // Read after the build: undoing its display edits counts as a change.
    prepared.madeFor = tMadeFor::now(layout, actions, dark);
    return prepared;
}
