#pragma once
// CLayerManager: the ordered layers of one layout document, the current
// layer (where new elements go) and the number for the next new layer. Reads
// and writes the layer section of the layout file (tags 500 to 511).
//
// The manager keeps at least one layer from construction on: loading a
// section without layers leaves one new layer, and RemoveLayer refuses the
// last one. So GetCurrentLayer() is never null outside DeleteLayers.

#include "engine/model/Layer.h"
#include "engine/model/TrackElementsContainer.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class CLayerManager {
public:
    // More layer records than this are not read from a file.
    static constexpr std::int32_t kMaxLayerCount = 4096;

    // The layer section exists from this file version on.
    static constexpr int kFirstLayerVersion = 4;

    // Creates the first layer through AddLayer (inserting).
    explicit CLayerManager(const std::string& firstLayerName);
    // Deletes all layers.
    ~CLayerManager();

    CLayerManager(const CLayerManager&) = delete;
    CLayerManager& operator=(const CLayerManager&) = delete;

    // Adds a layer named `name` made unique (MakeUniqueLayerName) within 63
    // bytes. With `append` it goes to the end; without, before the current
    // layer when that is a track layer of the list, else to the front. The
    // new layer becomes current. Never null (allocation failure throws).
    CLayer* AddLayer(const char* name, bool append);

    // Deletes every layer and leaves the list empty with no current layer;
    // for Load and the destructor, which refill or end the manager.
    void DeleteLayers();

    // Replaces the layers by those of the file's layer section. A version
    // below 4 gives false with the error text and changes nothing. A section
    // that holds no readable layer leaves one layer named by "NewLayerName"
    // with the number 1. Reading stops at the first record that cannot be
    // read, and after as many layers as the rest of the file can hold; the
    // layers read until then are kept, but the section is damaged: false
    // with an error text. The layers' old objects are deleted, so nothing may
    // point to them any more.
    bool Load(FILE* file, int version, std::string& errorText);

    // Writes the layer section as `version` (4 to 13) reads it. False when
    // the version has no layer section or a record cannot be written.
    bool Save(FILE* file, int version) const;

    // Takes `layer` out of the list and deletes it. Refuses (false, with a
    // warning) the last layer and layers not in the list. The caller first
    // moves or removes whatever lies on the layer. When it was current, the
    // next layer becomes current if it was the first, else the previous one.
    bool RemoveLayer(CLayer* layer);

    // The index of `layer` in the list, or -1 with a warning.
    int GetLayerIndex(const CLayer* layer) const;

    // The first layer whose name equals `name` byte for byte, or null.
    CLayer* FindLayerByName(const std::string& name) const;
    static CLayer* FindLayerByName(const tLayers& layers, const std::string& name);

    // The first layer that is visible and not locked, or null.
    CLayer* GetFirstEditableLayer() const;

    // `name` with "*" appended as often as needed until no layer has it.
    std::string MakeUniqueLayerName(const std::string& name) const;

    // A layer is empty when nothing of the document lies on it: no element
    // of `elements` and none of the other holders, whose layers the caller
    // collects in `otherLayersInUse` (images: UImageElements::GetLayersInUse;
    // baseboards likewise). A layer that is not in the list is never empty.
    bool IsLayerEmpty(const CLayer* layer, const tElements& elements,
                      const std::vector<const CLayer*>& otherLayersInUse) const;

    const tLayers& GetLayers() const { return mLayers; }
    CLayer* GetCurrentLayer() const { return mCurrentLayer; }
    int GetNextLayerNumber() const { return mNextLayerNumber; }

private:
    bool Contains(const CLayer* layer) const;

    tLayers mLayers;
    CLayer* mCurrentLayer = nullptr;
    int mNextLayerNumber = 2;
};
