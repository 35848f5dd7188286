#pragma once
// layoutgen: our test-support writer of layout data. It builds elements of
// every component kind and writes their records with the engine's own record
// writers (CCompositeGeometry::Save), in any record version from 3 to 13.
// Seeded pseudo-random elements feed fuzz corpora and benchmarks.
//
// Test support only: tests, benchmarks and the layoutgen program link it;
// the app never does.
//
// Lengths are millimetres, angles degrees.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/geometry/Color.h"
#include "engine/model/CompositeGeometry.h"
#include "engine/model/GradeVector.h"
#include "engine/geometry/Point.h"

namespace ULayoutGen {

// ------------------------------------------------------------ elements

// Gauge, bed and rail of a track component (H0 by default).
struct tTrackMeasures {
    double gauge = 16.5;
    double trackbedWidth = 40.0;
    double railWidth = 1.0;
};

// Where a component lies in its element: offset and own angle.
struct tPlacement {
    double offsetX = 0.0;
    double offsetY = 0.0;
    double angle = 0.0;
};

// Builds one element, component by component. Build() turns the element to
// its angle and normalises it as the element reader does (components moved
// so that their box starts at 0, 0, the position moved to match), so the
// reader leaves a built element where it was.
class CElementBuilder {
public:
    CElementBuilder();

    // Catalogue data; texts longer than their fields are cut by the element.
    CElementBuilder& Catalogue(const std::string& productNumber, const std::string& manufacturer,
                               const std::string& libraryName, const std::string& description);
    CElementBuilder& Price(std::int32_t hundredths, std::int32_t currencyId);
    CElementBuilder& ModelScale(std::int32_t scale);
    CElementBuilder& ElementType(std::int32_t type);
    CElementBuilder& Label(const std::string& text);
    CElementBuilder& Position(const CPoint& position);
    CElementBuilder& Angle(double angle);
    CElementBuilder& Grade(const CGradeVector& grade);
    CElementBuilder& Colors(const CColor& first, const CColor& second);
    CElementBuilder& Trims(std::int32_t start, std::int32_t end);
    CElementBuilder& LayerName(const std::string& name);

    // Components, in drawing order.
    CElementBuilder& Straight(double length, const tTrackMeasures& measures = {}, const tPlacement& placement = {});
    CElementBuilder& Curve(double radius, double arcAngle, const tTrackMeasures& measures = {},
                           const tPlacement& placement = {});
    // kind: kPolyKindPolygon, kPolyKindLine or kPolyKindRectangle.
    CElementBuilder& Poly(const std::vector<CPoint>& points, std::int32_t kind, std::int32_t lineWidth = 1,
                          const tPlacement& placement = {});
    CElementBuilder& Line(const CPoint& from, const CPoint& to, std::int32_t lineWidth = 1);
    CElementBuilder& FlexTrack(const CPoint& from, const CPoint& to, double maxLength,
                               const tTrackMeasures& measures = {});
    // A flex track through two to four Bezier control points.
    CElementBuilder& FlexTrack(const std::vector<CPoint>& controlPoints, double maxLength,
                               const tTrackMeasures& measures = {});
    CElementBuilder& Oval(double radiusX, double radiusY, double startAngle = 0.0, double endAngle = 360.0,
                          std::int32_t lineWidth = 1, const tPlacement& placement = {});
    CElementBuilder& Text(const std::string& text, const std::string& fontName, std::int32_t size,
                          const tPlacement& placement = {});
    // Marks every component added so far as made by generator `generatorID`.
    CElementBuilder& MarkGenerated(std::int32_t generatorID);
    // The fixed colour of the last component added (which also locks it).
    CElementBuilder& FixedColor(const CColor& color);

    // One generator entry (entries of one type keep their order).
    CElementBuilder& Generator(std::int32_t type, const std::map<int, std::string>& parameters);
    CElementBuilder& Translation(const std::string& key, const std::string& language, const std::string& text);

    // The finished element; the builder starts over empty.
    std::unique_ptr<CCompositeGeometry> Build();

private:
    CElementBuilder& Add(CBasicGeometry* component);

    std::unique_ptr<CCompositeGeometry> mElement;
    double mAngle = 0.0;
};

// ------------------------------------------------------------ element records

// Writes one element record of `version` (3 to 13) at the file's position.
// False for another version or when a value cannot be written.
bool WriteElementRecord(FILE* file, CCompositeGeometry& element, int version);
// Appends one element record to `bytes`; on false `bytes` is unchanged.
bool AppendElementRecord(std::vector<std::uint8_t>& bytes, CCompositeGeometry& element, int version);

// ------------------------------------------------------------ samples

// A named element that exercises one part of the record.
struct tSampleElement {
    std::string name;
    std::unique_ptr<CCompositeGeometry> element;
};

// One element of each interesting kind: each component type, a turnout, a
// curved parallel track, user-created lines, a generated element, one with
// translations and label, a rich element of every component type, and an
// element without components. Names are short file-name words.
std::vector<tSampleElement> SampleElements();

// Record versions of the seed corpus: each one where tags begin or end.
const std::vector<int>& CorpusVersions();

// Writes every sample element in every corpus version into `folder` (made
// when missing), one record per file named "<name>-v<version>.bin". Returns
// the number of files written; -1 with `errorText` on failure.
int WriteSeedCorpus(const std::filesystem::path& folder, std::string& errorText);

// ------------------------------------------------------------ random elements

// A deterministic stream of elements of mixed kinds from a seed: the same
// seed gives the same elements, byte for byte, on every platform (no
// standard-library distributions). Drawn values are rounded to hundredths.
// Text components are placed by their measured box, so records of texts
// depend on whether a text measurement service is registered.
class CRandomElementMaker {
public:
    explicit CRandomElementMaker(std::uint64_t seed);

    std::unique_ptr<CCompositeGeometry> Next();

    // Uniform in [0, 2^64).
    std::uint64_t NextBits();
    // Uniform integer in [low, high].
    std::int64_t Between(std::int64_t low, std::int64_t high);
    // Uniform in [low, high), rounded to hundredths.
    double Real(double low, double high);

private:
    std::uint64_t mState;
    std::uint64_t mSerial = 0;
};

// Writes `count` random element records of `version` back to back.
// False when a record cannot be written.
bool WriteRandomElementRecords(FILE* file, std::size_t count, std::uint64_t seed, int version);

}  // namespace ULayoutGen
