#pragma once
// One-way value transformers for bindings: each answers a bool for a value
// and gives a value back unchanged when asked to reverse.

#include "platform/foundation/Value.h"

class ZDValueTransformer {
public:
    virtual ~ZDValueTransformer() = default;
    static bool allowsReverseTransformation() { return false; }
    static platform::Value::Type transformedValueClass() { return platform::Value::Type::Bool; }
    virtual platform::Value transformedValue(const platform::Value& value) const = 0;
    platform::Value reverseTransformedValue(const platform::Value& value) const { return value; }
};

// True for nothing (null) and for zero of either sign, the value taken in
// single precision (a number, a bool, or a text read as a number, where a
// text that is no number reads as zero); false for other kinds.
class ZDZeroNumberTransformer : public ZDValueTransformer {
public:
    platform::Value transformedValue(const platform::Value& value) const override;
};

// True for nothing (null) and for the empty text; a number's text is never
// empty; other kinds are false.
class ZDIsEmptyStringValueTransformer : public ZDValueTransformer {
public:
    platform::Value transformedValue(const platform::Value& value) const override;
};
