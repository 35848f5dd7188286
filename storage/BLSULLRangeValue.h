#pragma once
// Byte ranges wrapped in platform values, so that they can live in
// collections and value-typed properties.

#include "platform/foundation/Value.h"
#include "storage/BLSEnums.h"

#include <optional>

namespace NSValueBLSULLRangeExtensions {

// A data value of 16 bytes: location, then length, each as 8 bytes
// little-endian.
platform::Value valueWithBLSULLRange(BLSULLRange range);

// The range read back; nullopt when the value is not such 16 bytes of data.
std::optional<BLSULLRange> BLSULLRangeValue(const platform::Value& value);

}  // namespace NSValueBLSULLRangeExtensions
