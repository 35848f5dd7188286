// JSON text from untrusted bytes, as the sharing client gets it in service
// replies: what parses must be written back as JSON and in the stored form
// and read back equal, and the lookups a reply's reader makes must hold.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/support/FuzzSupport.h"
#include "platform/foundation/Value.h"

using fuzzsupport::Require;
using platform::Value;

namespace {

// What a model reader asks of every member: its type, a number either way,
// and the member found again by its key.
void Walk(const Value& value) {
    if (const auto number = value.numberAsDouble()) {
        Require(value.isNumber(), "only numbers read as numbers");
        if (const auto whole = value.numberAsInteger(); whole && value.isInteger()) {
            Require(*whole == *value.asInteger(), "an integer reads as itself");
        }
    }
    if (const auto* items = value.asArray()) {
        for (const Value& item : *items) Walk(item);
    }
    if (const auto* members = value.asDictionary()) {
        for (const auto& [key, member] : *members) {
            const Value* found = value.find(key);
            Require(found == &member, "every key finds its own member");
            Walk(member);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text = fuzzsupport::Text(data, size);
    std::string error;
    const auto value = Value::fromJson(text, &error);
    if (!value) {
        Require(!error.empty(), "a refused text says why");
        return 0;
    }
    Walk(*value);
    for (const bool pretty : {false, true}) {
        const auto again = Value::fromJson(value->toJson(pretty));
        Require(again.has_value() && *again == *value, "JSON written back reads back equal");
    }
    const auto stored = Value::fromStoredForm(value->toStoredForm());
    Require(stored.has_value() && *stored == *value, "the stored form reads back equal");
    return 0;
}
