#pragma once
// Shows an engine length (millimetres) in a measure unit with the unit's
// abbreviation ("123.5 cm"), and reads such a text back into millimetres.
// Numbers follow the current locale as it was when the formatter was made;
// halves round up. One formatter serves one thread: every text it makes
// resets its digit settings.

#include "platform/foundation/Value.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class QLUnitFormatter {
public:
    QLUnitFormatter();
    ~QLUnitFormatter();
    QLUnitFormatter(const QLUnitFormatter&) = delete;
    QLUnitFormatter& operator=(const QLUnitFormatter&) = delete;

    // 1 mm, 2 cm (the default), 3 m, 4 inch, 5 foot, 6 yard.
    std::int32_t unitType() const { return mUnitType; }
    void setUnitType(std::int32_t unitType) { mUnitType = unitType; }
    // Three fraction digits in every unit.
    bool highPrecisionMode() const { return mHighPrecisionMode; }
    void setHighPrecisionMode(bool on) { mHighPrecisionMode = on; }

    // Metres and the imperial units show one or two fraction digits, the
    // others at most one.
    std::string stringFromNumber(double millimeters);
    // A number as a length; a text as it is; nothing for other values.
    std::optional<std::string> stringForObjectValue(const platform::Value& value);

    // Reads a typed length in the formatter's unit into millimetres. Letters
    // and other signs are dropped first ("12 cm" reads as 12 cm); when the
    // rest is not one number, the first group of digits is taken ("1'2" is
    // 1). A text with no number in it is refused: false with a reason in
    // `errorDescription` (when given), and `value` is left as it was, so the
    // field keeps what it had.
    bool getObjectValue(platform::Value* value, const std::string& text, std::string* errorDescription);

private:
    struct Impl;
    std::unique_ptr<Impl> mImpl;
    std::int32_t mUnitType = 2;
    bool mHighPrecisionMode = false;
};
