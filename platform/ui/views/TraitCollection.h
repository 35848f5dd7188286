#pragma once
// The traits a controller lays itself out by: the device's idiom, the size
// classes of its window (a phone is compact across and regular down when
// upright, compact both ways when on its side; a tablet is regular both
// ways), the light or dark style and the screen's scale.

#include "platform/ui/views/Device.h"

namespace platform::ui {

enum class UserInterfaceSizeClass { unspecified, compact, regular };
enum class UserInterfaceStyle { unspecified, light, dark };

struct TraitCollection {
    UserInterfaceIdiom userInterfaceIdiom = UserInterfaceIdiom::phone;
    UserInterfaceSizeClass horizontalSizeClass = UserInterfaceSizeClass::unspecified;
    UserInterfaceSizeClass verticalSizeClass = UserInterfaceSizeClass::unspecified;
    UserInterfaceStyle userInterfaceStyle = UserInterfaceStyle::light;
    double displayScale = 1;

    friend bool operator==(const TraitCollection&, const TraitCollection&) = default;
};

}  // namespace platform::ui
