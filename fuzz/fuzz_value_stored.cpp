// The stored form of values (the file form of settings) from untrusted
// bytes: what reads must be written again and read back the same, and must
// also be writable as plain JSON that reads.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/support/FuzzSupport.h"
#include "platform/foundation/Value.h"

using fuzzsupport::Require;
using platform::Value;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto value = Value::fromStoredForm(fuzzsupport::Text(data, size));
    if (!value) return 0;
    const auto again = Value::fromStoredForm(value->toStoredForm());
    Require(again.has_value() && fuzzsupport::SameValue(*again, *value), "the stored form reads back the same");
    // Plain JSON loses types (data, dates and odd reals become texts or
    // null) but must still be JSON.
    Require(Value::fromJson(value->toJson()).has_value(), "plain JSON of a stored value reads");
    return 0;
}
