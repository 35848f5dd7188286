#include "engine/model/Layer.h"

#include <utility>

CLayer::CLayer(std::string name) : mName(std::move(name)) {}
