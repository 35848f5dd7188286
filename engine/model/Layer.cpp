#include "engine/model/Layer.h"

#include <cstring>

namespace {

// What a 64-byte NUL-terminated field keeps of `name`.
std::string FieldText(const std::string& name) {
    return std::string(name.c_str(), strnlen(name.c_str(), CLayer::kNameFieldSize - 1));
}

}  // namespace

CLayer::CLayer(const std::string& name) : mName(FieldText(name)) {}

void CLayer::SetName(const std::string& name) { mName = FieldText(name); }

namespace ULayers {

CLayer* FindFirstLayerOfType(const tLayers& layers, std::int32_t type) {
    for (CLayer* layer : layers) {
        if (layer != nullptr && layer->GetLayerType() == type) return layer;
    }
    return nullptr;
}

void UnlockAllLayers(const tLayers& layers) {
    for (CLayer* layer : layers) {
        if (layer != nullptr) layer->SetLocked(false);
    }
}

}  // namespace ULayers
