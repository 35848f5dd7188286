#include "app/Utilities/Strings/ZDValueTransformers.h"

#include <cstdlib>

platform::Value ZDZeroNumberTransformer::transformedValue(const platform::Value& value) const {
    if (value.isNull()) return true;
    if (const bool* flag = value.asBool()) return !*flag;
    if (auto number = value.numberAsDouble()) return static_cast<float>(*number) == 0.0f;
    if (const std::string* text = value.asString()) return std::strtof(text->c_str(), nullptr) == 0.0f;
    return false;
}

platform::Value ZDIsEmptyStringValueTransformer::transformedValue(const platform::Value& value) const {
    if (value.isNull()) return true;
    if (const std::string* text = value.asString()) return text->empty();
    return false;
}
