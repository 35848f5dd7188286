#include "engine/model/GeneratorParameters.h"

#include "engine/services/Logger.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>

namespace {

enum class tConversion { Ok, NotANumber, OutOfRange };

// The engine never changes the C locale, so the conversions below read the
// decimal point that std::to_string writes.
tConversion ConvertInt(const std::string& text, int& value) {
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const long result = std::strtol(begin, &end, 10);
    if (end == begin) return tConversion::NotANumber;
    if (errno == ERANGE || result < INT_MIN || result > INT_MAX) return tConversion::OutOfRange;
    value = static_cast<int>(result);
    return tConversion::Ok;
}

tConversion ConvertDouble(const std::string& text, double& value) {
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const double result = std::strtod(begin, &end);
    if (end == begin) return tConversion::NotANumber;
    if (std::isnan(result)) return tConversion::NotANumber;
    // ERANGE also reports underflow; a value too small for a double is still
    // the nearest number to the text, only overflow is refused.
    if (std::isinf(result)) return tConversion::OutOfRange;
    value = result;
    return tConversion::Ok;
}

void WarnConversion(int key, const std::string& text, tConversion failure) {
    if (failure == tConversion::OutOfRange)
        LogWarning("Generator parameter %d: '%s' is out of range", key, text.c_str());
    else LogWarning("Generator parameter %d: '%s' is not a number", key, text.c_str());
}

}  // namespace

// ------------------------------------------------------------ CGeneratorParameter

CGeneratorParameter::CGeneratorParameter(const char* text) : mText(text != nullptr ? text : "") {}

CGeneratorParameter::CGeneratorParameter(int value) : mText(std::to_string(value)) {}

CGeneratorParameter::CGeneratorParameter(double value) : mText(std::to_string(value)) {}

void CGeneratorParameter::SetInt(int value) { mText = std::to_string(value); }

void CGeneratorParameter::SetDouble(double value) { mText = std::to_string(value); }

std::optional<int> CGeneratorParameter::ToInt() const {
    int value = 0;
    if (ConvertInt(mText, value) != tConversion::Ok) return std::nullopt;
    return value;
}

std::optional<double> CGeneratorParameter::ToDouble() const {
    double value = 0.0;
    if (ConvertDouble(mText, value) != tConversion::Ok) return std::nullopt;
    return value;
}

// ------------------------------------------------------------ UGeneratorParameters

namespace UGeneratorParameters {

bool HasParameter(const tGeneratorParameters& parameters, int key) { return parameters.count(key) != 0; }

const CGeneratorParameter* FindParameter(const tGeneratorParameters& parameters, int key) {
    const auto found = parameters.find(key);
    return found == parameters.end() ? nullptr : &found->second;
}

CGeneratorParameter* FindParameter(tGeneratorParameters& parameters, int key) {
    const auto found = parameters.find(key);
    return found == parameters.end() ? nullptr : &found->second;
}

int GetInt(const tGeneratorParameters& parameters, int key, int defaultValue) {
    const CGeneratorParameter* parameter = FindParameter(parameters, key);
    if (parameter == nullptr) return defaultValue;
    int value = 0;
    const tConversion result = ConvertInt(parameter->GetText(), value);
    if (result != tConversion::Ok) {
        WarnConversion(key, parameter->GetText(), result);
        return defaultValue;
    }
    return value;
}

double GetDouble(const tGeneratorParameters& parameters, int key, double defaultValue) {
    const CGeneratorParameter* parameter = FindParameter(parameters, key);
    if (parameter == nullptr) return defaultValue;
    double value = 0.0;
    const tConversion result = ConvertDouble(parameter->GetText(), value);
    if (result != tConversion::Ok) {
        WarnConversion(key, parameter->GetText(), result);
        return defaultValue;
    }
    return value;
}

std::string GetString(const tGeneratorParameters& parameters, int key, const std::string& defaultValue) {
    const CGeneratorParameter* parameter = FindParameter(parameters, key);
    return parameter == nullptr ? defaultValue : parameter->GetText();
}

tGeneratorParameters GetParametersForGenerator(const tGeneratorMap& generators, int generatorType) {
    // lower_bound, not find: find may answer any entry of the type.
    const auto first = generators.lower_bound(generatorType);
    if (first == generators.end() || first->first != generatorType) return {};
    return first->second;
}

double GetGeneratorDouble(const tGeneratorMap& generators, int generatorType, int key, double defaultValue) {
    const auto first = generators.lower_bound(generatorType);
    if (first == generators.end() || first->first != generatorType) return defaultValue;
    return GetDouble(first->second, key, defaultValue);
}

}  // namespace UGeneratorParameters

// ------------------------------------------------------------ UComponentGeneratorParameters

namespace UComponentGeneratorParameters {

std::string ToString(const tGeneratorParameters& parameters) {
    std::string text;
    for (const auto& [key, parameter] : parameters) {
        if (!text.empty()) text += ", ";
        text += "[ ";
        text += std::to_string(key);
        text += " ] = ";
        text += parameter.GetText();
    }
    return text;
}

}  // namespace UComponentGeneratorParameters
