#pragma once
// Creating a component of a record's type code, with its defaults, before
// its Load.

#include "engine/model/BasicGeometry.h"

namespace UComponentFactory {

// A new component of `componentType` (the caller owns it), or null for a
// code that has no component class.
CBasicGeometry* CreateComponent(int componentType);

}  // namespace UComponentFactory
