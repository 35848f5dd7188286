#pragma once
// Texts of the catalogue: model scales with their ratio, and short counts.

#include <cstdint>
#include <string>

class VKMFormattingHelper {
public:
    // "H0 (1:87)" for "H0"; the text as it is for the custom scale and for
    // a text that names no model scale (which logs a warning).
    static std::string formattedModelScaleTxt(const std::string& modelScaleText);
    // The number's own text below 1000; else thousands with one digit cut
    // (not rounded): 12345 is "12.3k", 1099 is "1.0k".
    static std::string adaptiveStringFromNumber(std::int64_t number);
};
