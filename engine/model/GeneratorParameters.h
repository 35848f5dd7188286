#pragma once
// The numbered parameters of a component generator. Every value is kept as
// text, whatever its type, and converted on access; an element keeps one set
// per generator it uses in its generator map.
//
// Parameter texts come from layout files handed to the app by anyone, so a
// numeric read of a text that is not a number never throws: the typed
// accessors log a warning and return the caller's default.

#include <map>
#include <optional>
#include <string>

// One parameter value.
class CGeneratorParameter {
public:
    CGeneratorParameter() = default;
    explicit CGeneratorParameter(std::string text) : mText(std::move(text)) {}
    // A null pointer gives the empty text.
    explicit CGeneratorParameter(const char* text);
    // Decimal text: 85 -> "85".
    explicit CGeneratorParameter(int value);
    // Six decimals: 360.0 -> "360.000000".
    explicit CGeneratorParameter(double value);

    void SetInt(int value);
    void SetDouble(double value);

    const std::string& GetText() const { return mText; }

    // The text read in base 10 by the standard conversion, which stops at the
    // first character that is not part of the number ("500.000000" gives
    // 500, "12abc" gives 12). Empty when no digit starts the text or the
    // value does not fit in an int.
    std::optional<int> ToInt() const;
    // The text read by the standard text-to-real conversion. Empty when no
    // number starts the text, on overflow, and for infinities and NaN, which
    // no geometry can use.
    std::optional<double> ToDouble() const;

private:
    std::string mText;
};

// Ascending by key; a key's meaning belongs to each generator.
using tGeneratorParameters = std::map<int, CGeneratorParameter>;

// An element's generators: type code -> that generator's parameters. Several
// entries of one type keep their insertion order; "the generator of a type"
// is the first of them.
using tGeneratorMap = std::multimap<int, tGeneratorParameters>;

namespace UGeneratorParameters {

bool HasParameter(const tGeneratorParameters& parameters, int key);
// Null when the key is absent. The pointer lives as long as the entry.
const CGeneratorParameter* FindParameter(const tGeneratorParameters& parameters, int key);
CGeneratorParameter* FindParameter(tGeneratorParameters& parameters, int key);

// Absent key: the default, silently. A text that is not a number (or is out
// of range): the default, with the warning
// "Generator parameter %d: '%s' is not a number" (or "... is out of range").
int GetInt(const tGeneratorParameters& parameters, int key, int defaultValue);
double GetDouble(const tGeneratorParameters& parameters, int key, double defaultValue);
std::string GetString(const tGeneratorParameters& parameters, int key, const std::string& defaultValue);

// A copy of the parameters of the first generator of `generatorType`, or an
// empty set when there is none.
tGeneratorParameters GetParametersForGenerator(const tGeneratorMap& generators, int generatorType);
// GetDouble on the first generator of `generatorType`, or the default when
// there is no such generator.
double GetGeneratorDouble(const tGeneratorMap& generators, int generatorType, int key, double defaultValue = 0.0);

}  // namespace UGeneratorParameters

namespace UComponentGeneratorParameters {

// For log lines: "[ 2 ] = 100, [ 5 ] = 360.000000", in key order.
std::string ToString(const tGeneratorParameters& parameters);

}  // namespace UComponentGeneratorParameters
