#pragma once
// The size of a text in a font, rotated by an angle, for sizing labels and
// text instructions without the drawing layer. Registered as
// "TextCalculationService".

#include "engine/geometry/DoubleRect.h"
#include "engine/services/ServiceLocator.h"

#include <string>

class TextCalculationServiceBase : public CLocatableService {
public:
    virtual tDoubleRect GetTextBounds(std::string font, int size, std::string text, double angle) = 0;
};

class VKMTextCalculationService : public TextCalculationServiceBase {
public:
    static constexpr const char* kServiceName = "TextCalculationService";

    std::string GetServiceName() const override { return kServiceName; }

    // The axis-aligned bounds of the text's box (measured in `font` at
    // `size` points, the system font when the font is unknown) rotated by
    // `angle` degrees, as min y 0, min x 0, max y height, max x width.
    // Text that is not UTF-8 is read as Mac Roman. Four zeros for an empty
    // font name or text, a size below 1 or an angle that is not finite.
    tDoubleRect GetTextBounds(std::string font, int size, std::string text, double angle) override;
};
