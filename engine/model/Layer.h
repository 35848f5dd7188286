#pragma once
// CLayer: one layer of a layout document. Every element, image and baseboard
// lies on a layer; elements, images and baseboards name their layer in the
// file and point to the CLayer object in memory.

#include "engine/geometry/Color.h"
#include "engine/model/ContentChanges.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CLayer {
public:
    // The name is a character field of this size in the file format: at
    // most 63 bytes and the NUL.
    static constexpr std::size_t kNameFieldSize = 64;

    // Layer types.
    static constexpr std::int32_t kTrackLayer = 1;
    static constexpr std::int32_t kBaseboardLayer = 2;
    static constexpr std::int32_t kImageLayer = 3;

    // The name is taken up to its first NUL and cut to 63 bytes; the other
    // fields get their defaults (unlocked, visible, track layer).
    explicit CLayer(const std::string& name);

    const std::string& GetName() const { return mName; }
    // Cut as in the constructor.
    void SetName(const std::string& name);

    bool IsLocked() const { return mLocked; }
    void SetLocked(bool locked) { mLocked = locked; }
    bool IsVisible() const { return mVisible; }
    void SetVisible(bool visible) {
        mVisible = visible;
        UContentChanges::Note();
    }

    // Kept as read: a file may hold other values than the three types.
    std::int32_t GetLayerType() const { return mLayerType; }
    void SetLayerType(std::int32_t type) {
        mLayerType = type;
        UContentChanges::Note();
    }

    double GetParameter509() const { return mParameter509; }
    void SetParameter509(double value) { mParameter509 = value; }
    bool GetSwitch510() const { return mSwitch510; }
    void SetSwitch510(bool on) { mSwitch510 = on; }
    bool GetSwitch511() const { return mSwitch511; }
    void SetSwitch511(bool on) { mSwitch511 = on; }

    const CColor& GetColor() const { return mColor; }
    void SetColor(const CColor& color) { mColor = color; }

private:
    std::string mName;
    bool mLocked = false;
    bool mVisible = true;
    std::int32_t mLayerType = kTrackLayer;
    double mParameter509 = 0.0;
    bool mSwitch511 = false;
    CColor mColor;
    bool mSwitch510 = false;
};

// An ordered list of layers; the layer manager owns the layers of its list.
using tLayers = std::vector<CLayer*>;

namespace ULayers {

// The first layer of `type`, or null.
CLayer* FindFirstLayerOfType(const tLayers& layers, std::int32_t type);

// Clears the locked flag of every layer.
void UnlockAllLayers(const tLayers& layers);

}  // namespace ULayers
