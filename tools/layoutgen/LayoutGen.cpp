#include "tools/layoutgen/LayoutGen.h"

#include <cmath>
#include <cstdlib>
#include <system_error>

#include "engine/model/CurveBIG.h"
#include "engine/model/ElementComponents.h"
#include "engine/model/FlexTrackBIG.h"
#include "engine/model/OvalBIG.h"
#include "engine/model/PolyBIG.h"
#include "engine/model/StraightBIG.h"
#include "engine/model/TextBIG.h"
#include "platform/foundation/HashMix.h"

namespace ULayoutGen {

namespace {

struct FileCloser {
    void operator()(FILE* file) const {
        if (file != nullptr) std::fclose(file);
    }
};
using tFile = std::unique_ptr<FILE, FileCloser>;

// Generator type codes and keys of the flex-track generators.
constexpr std::int32_t kStraightFlexGenerator = 1;
constexpr std::int32_t kCurvedFlexGenerator = 2;
constexpr std::int32_t kArrowGenerator = 3;

// Element type codes: a straight track, a parallel track.
constexpr std::int32_t kElementTypeStraightTrack = 1;
constexpr std::int32_t kElementTypeParallelTrack = 2;

std::string Decimal(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.6f", value);
    return text;
}

}  // namespace

// ------------------------------------------------------------ CElementBuilder

CElementBuilder::CElementBuilder() : mElement(std::make_unique<CCompositeGeometry>()) {}

CElementBuilder& CElementBuilder::Catalogue(const std::string& productNumber, const std::string& manufacturer,
                                            const std::string& libraryName, const std::string& description) {
    mElement->SetProductNumber(productNumber.c_str());
    mElement->SetManufacturer(manufacturer.c_str());
    mElement->SetLibraryName(libraryName.c_str());
    mElement->SetDescription(description.c_str());
    return *this;
}

CElementBuilder& CElementBuilder::Price(std::int32_t hundredths, std::int32_t currencyId) {
    mElement->SetPrice(hundredths);
    mElement->SetCurrencyId(currencyId);
    return *this;
}

CElementBuilder& CElementBuilder::ModelScale(std::int32_t scale) {
    mElement->SetModelScale(scale);
    return *this;
}

CElementBuilder& CElementBuilder::ElementType(std::int32_t type) {
    mElement->SetElementType(type);
    return *this;
}

CElementBuilder& CElementBuilder::Label(const std::string& text) {
    mElement->SetLabelText(text.c_str());
    return *this;
}

CElementBuilder& CElementBuilder::Position(const CPoint& position) {
    mElement->SetPosition(position);
    return *this;
}

CElementBuilder& CElementBuilder::Angle(double angle) {
    mAngle = angle;
    return *this;
}

CElementBuilder& CElementBuilder::Grade(const CGradeVector& grade) {
    mElement->SetGrade(grade);
    return *this;
}

CElementBuilder& CElementBuilder::Colors(const CColor& first, const CColor& second) {
    mElement->SetFirstColor(first);
    mElement->SetSecondColor(second);
    return *this;
}

CElementBuilder& CElementBuilder::Trims(std::int32_t start, std::int32_t end) {
    mElement->SetStartTrim(start);
    mElement->SetEndTrim(end);
    return *this;
}

CElementBuilder& CElementBuilder::LayerName(const std::string& name) {
    mElement->SetLayerName(name);
    return *this;
}

CElementBuilder& CElementBuilder::Add(CBasicGeometry* component) {
    if (!UElementComponents::AppendComponent(mElement.get(), component)) delete component;
    return *this;
}

CElementBuilder& CElementBuilder::Straight(double length, const tTrackMeasures& measures, const tPlacement& placement) {
    auto* straight = new CStraightBIG();
    straight->SetLength(length);
    straight->SetGauge(measures.gauge);
    straight->SetTrackbedWidth(measures.trackbedWidth);
    straight->SetRailWidth(measures.railWidth);
    straight->SetOffsetX(placement.offsetX);
    straight->SetOffsetY(placement.offsetY);
    straight->SetAngle(placement.angle);
    return Add(straight);
}

CElementBuilder& CElementBuilder::Curve(double radius, double arcAngle, const tTrackMeasures& measures,
                                        const tPlacement& placement) {
    auto* curve = new CCurveBIG();
    curve->SetRadius(radius);
    curve->SetArcAngle(arcAngle);
    curve->SetGauge(measures.gauge);
    curve->SetTrackbedWidth(measures.trackbedWidth);
    curve->SetRailWidth(measures.railWidth);
    curve->SetOffsetX(placement.offsetX);
    curve->SetOffsetY(placement.offsetY);
    curve->SetAngle(placement.angle);
    return Add(curve);
}

CElementBuilder& CElementBuilder::Poly(const std::vector<CPoint>& points, std::int32_t kind, std::int32_t lineWidth,
                                       const tPlacement& placement) {
    return Add(UElementComponents::CreatePolyComponent(points, lineWidth, kind, placement.offsetX, placement.offsetY,
                                                       placement.angle));
}

CElementBuilder& CElementBuilder::Line(const CPoint& from, const CPoint& to, std::int32_t lineWidth) {
    return Poly({from, to}, kPolyKindLine, lineWidth);
}

CElementBuilder& CElementBuilder::FlexTrack(const CPoint& from, const CPoint& to, double maxLength,
                                            const tTrackMeasures& measures) {
    return Add(UElementComponents::CreateFlexTrackComponent(from, to, true, true, 0.0, 0.0, maxLength, measures.gauge,
                                                            measures.trackbedWidth, measures.railWidth));
}

CElementBuilder& CElementBuilder::FlexTrack(const std::vector<CPoint>& controlPoints, double maxLength,
                                            const tTrackMeasures& measures) {
    CFlexTrackBIG* flex = UElementComponents::CreateFlexTrackComponent(controlPoints.front(), controlPoints.back(),
                                                                       true, true, 0.0, 0.0, maxLength, measures.gauge,
                                                                       measures.trackbedWidth, measures.railWidth);
    flex->SetPoints(controlPoints);
    return Add(flex);
}

CElementBuilder& CElementBuilder::Oval(double radiusX, double radiusY, double startAngle, double endAngle,
                                       std::int32_t lineWidth, const tPlacement& placement) {
    auto* oval = new COvalBIG();
    oval->SetRadiusX(radiusX);
    oval->SetRadiusY(radiusY);
    oval->SetStartAngle(startAngle);
    oval->SetEndAngle(endAngle);
    oval->SetLineWidth(lineWidth);
    oval->SetOffsetX(placement.offsetX);
    oval->SetOffsetY(placement.offsetY);
    oval->SetAngle(placement.angle);
    // Ovals never connect; the element reader disables their joints too.
    oval->DisableJoint(0);
    oval->DisableJoint(1);
    return Add(oval);
}

CElementBuilder& CElementBuilder::Text(const std::string& text, const std::string& fontName, std::int32_t size,
                                       const tPlacement& placement) {
    auto* label = new CTextBIG();
    label->SetText(text.c_str());
    label->SetFontName(fontName);
    label->SetTextSize(size);
    label->SetOffsetX(placement.offsetX);
    label->SetOffsetY(placement.offsetY);
    label->SetAngle(placement.angle);
    return Add(label);
}

CElementBuilder& CElementBuilder::MarkGenerated(std::int32_t generatorID) {
    UElementComponents::MarkAsGenerated(mElement->GetComponents(), generatorID);
    return *this;
}

CElementBuilder& CElementBuilder::FixedColor(const CColor& color) {
    if (!mElement->GetComponents().empty()) mElement->GetComponents().back()->SetFixedColor(color);
    return *this;
}

CElementBuilder& CElementBuilder::Generator(std::int32_t type, const std::map<int, std::string>& parameters) {
    tGeneratorParameters set;
    for (const auto& [key, text] : parameters) set[key] = CGeneratorParameter(text);
    mElement->GetGeneratorMap().insert({type, std::move(set)});
    return *this;
}

CElementBuilder& CElementBuilder::Translation(const std::string& key, const std::string& language,
                                              const std::string& text) {
    UTranslationsMap::AddTranslation(mElement->GetTranslations(), key, language, text);
    return *this;
}

std::unique_ptr<CCompositeGeometry> CElementBuilder::Build() {
    std::unique_ptr<CCompositeGeometry> element = std::move(mElement);
    mElement = std::make_unique<CCompositeGeometry>();
    const double angle = mAngle;
    mAngle = 0.0;
    if (!element->GetComponents().empty()) {
        element->SetAngle(angle);
        // As the reader leaves a loaded element: box at 0, 0, position moved.
        tDoubleRect box;
        element->MoveToOrigin(&box);
        CPoint position = element->GetPosition();
        position.x += box.minX;
        position.y += box.minY;
        element->SetPosition(position);
    }
    element->UpdateJoints();
    return element;
}

// ------------------------------------------------------------ element records

bool WriteElementRecord(FILE* file, CCompositeGeometry& element, int version) {
    return file != nullptr && element.Save(file, version);
}

bool AppendElementRecord(std::vector<std::uint8_t>& bytes, CCompositeGeometry& element, int version) {
    char* buffer = nullptr;
    std::size_t size = 0;
    FILE* stream = open_memstream(&buffer, &size);
    if (stream == nullptr) return false;
    const bool written = element.Save(stream, version);
    const bool closed = std::fclose(stream) == 0;
    if (written && closed) bytes.insert(bytes.end(), buffer, buffer + size);
    std::free(buffer);
    return written && closed;
}

// ------------------------------------------------------------ samples

std::vector<tSampleElement> SampleElements() {
    const tTrackMeasures h0;
    const tTrackMeasures n{9.0, 25.0, 0.6};
    std::vector<tSampleElement> samples;
    auto add = [&](const char* name, CElementBuilder& builder) { samples.push_back({name, builder.Build()}); };

    CElementBuilder b;
    b.Catalogue("24188", "Maker A", "H0 C track", "Straight track 188 mm")
        .Price(395, 129)
        .ModelScale(16)
        .ElementType(kElementTypeStraightTrack)
        .Position(CPoint(1250.5, -80.25, 0.0))
        .Straight(188.3, h0);
    add("straight", b);

    b.Catalogue("24130", "Maker A", "H0 C track", "Curve R1 30 degrees")
        .Price(450, 129)
        .Position(CPoint(300, 400, 0))
        .Angle(45.0)
        .Curve(360.0, 30.0, h0);
    add("curve", b);

    // A turnout: a straight and a curve from the same end.
    b.Catalogue("24611", "Maker A", "H0 C track", "Turnout left")
        .Price(2990, 130)
        .Straight(188.3, h0)
        .Curve(437.5, 24.28, h0);
    add("turnout", b);

    // Two curves of an element type that takes its grade per component.
    b.Catalogue("P-R2", "Maker B", "N track", "Parallel curve")
        .ElementType(kElementTypeParallelTrack)
        .ModelScale(19)
        .Grade(CGradeVector(CPoint(0, 0, 0), CPoint(200, 0, 0), 12.5))
        .Curve(192.0, 30.0, n)
        .Curve(225.6, 30.0, n, {0.0, 33.6, 0.0});
    add("parallel-curve", b);

    b.Catalogue("FLEX", "Maker A", "H0 C track", "Flex track")
        .Position(CPoint(10, 20, 35.0))
        .Grade(CGradeVector(CPoint(0, 0, 0), CPoint(400, 0, 0), 35.0))
        .FlexTrack(CPoint(0, 0), CPoint(400, 60), 900.0, h0)
        .Trims(12, -7)
        .LayerName("Upper level");
    add("flextrack", b);

    b.Catalogue("", "", "", "Building outline")
        .Colors(CColor(0.8, 0.3, 0.2, 1.0), CColor(0.1, 0.1, 0.1, 1.0))
        .Poly({CPoint(0, 0), CPoint(120, 0), CPoint(120, 80), CPoint(60, 120), CPoint(0, 80)}, kPolyKindPolygon, 2,
              {0, 0, 15});
    add("polygon", b);

    // A user-created line: before version 6 its second colour becomes the first.
    b.Colors(CColor(0.0, 0.4, 1.0, 1.0), CColor(1.0, 1.0, 0.0, 1.0)).Line(CPoint(0, 0), CPoint(250, 90), 3);
    add("line", b);

    b.Catalogue("PLATE", "", "x", "Baseplate")
        .Poly({CPoint(0, 0), CPoint(400, 0), CPoint(400, 300), CPoint(0, 300)}, kPolyKindRectangle, 1)
        .FixedColor(CColor(0.2, 0.6, 0.2, 0.5));
    add("rectangle", b);

    b.Catalogue("TT", "Maker C", "Turntables", "Turntable pit")
        .Oval(150.0, 150.0, 0.0, 360.0, 4)
        .Oval(80.0, 40.0, 45.0, 270.0, 1, {70, 110, 30});
    add("oval", b);

    b.Catalogue("", "", "", "")
        .Text(
            "Hauptbahnhof \xC3\x9C"
            "berf\xC3\xBChrung",
            "Futura-Medium", 36, {0, 0, 10})
        .Text("", "", 8);
    add("text", b);

    // A flex track made by the straight flex-track generator.
    b.Catalogue("FLEX-G", "Maker A", "H0 C track", "Generated flex")
        .FlexTrack(CPoint(0, 0), CPoint(300, 0), 500.0, h0)
        .MarkGenerated(kStraightFlexGenerator)
        .Generator(kStraightFlexGenerator, {{0, "H0 C track"},
                                            {1, "FLEX-G"},
                                            {2, Decimal(300.0)},
                                            {3, Decimal(0.0)},
                                            {6, Decimal(500.0)},
                                            {7, Decimal(16.5)},
                                            {8, Decimal(40.0)},
                                            {9, "1"}})
        .Generator(kCurvedFlexGenerator, {{4, Decimal(30.0)}, {5, Decimal(360.0)}})
        .Generator(kArrowGenerator, {{10, "0"}, {11, "0"}, {12, "100"}, {13, "0"}, {18, "103"}});
    add("generated", b);

    b.Catalogue("S-DE", "Maker A", "H0 C track", "Gerade")
        .Label("Gleis 1")
        .Straight(94.2, h0)
        .Translation("Description", "en", "Straight track")
        .Translation("Description", "fr", "Voie droite")
        .Translation("Description", "de", "Gerades Gleis");
    add("translated", b);

    // Every component type in one element, turned.
    b.Catalogue("MIX", "Maker D", "Mixed", "Every component")
        .Position(CPoint(-500, 750, 0))
        .Angle(30.0)
        .Straight(230.0, h0)
        .Curve(360.0, 15.0, h0, {230.0, 0.0, 0.0})
        .Poly({CPoint(0, 0), CPoint(50, 0), CPoint(25, 40)}, kPolyKindPolygon, 1, {10, 60, 0})
        .Text("Mix", "Helvetica", 12, {5, 5, 0})
        .Oval(20.0, 10.0, 0.0, 360.0, 2, {100, 100, 0})
        .FlexTrack(CPoint(0, 0), CPoint(200, 40), 750.0, h0);
    add("mixed", b);

    // No components at all: the reader must cope.
    b.Catalogue("EMPTY", "", "", "Nothing inside");
    add("empty", b);

    return samples;
}

const std::vector<int>& CorpusVersions() {
    // 3 the oldest; 5 the last with old colours and fonts; 7 generators and
    // the generated flag; 9 trims, colour lock and generator IDs; 13 label,
    // element type, arc angles and translations.
    static const std::vector<int> versions = {3, 5, 7, 9, 13};
    return versions;
}

int WriteSeedCorpus(const std::filesystem::path& folder, std::string& errorText) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        errorText = "Cannot make " + folder.string() + ": " + error.message();
        return -1;
    }
    int written = 0;
    for (tSampleElement& sample : SampleElements()) {
        for (const int version : CorpusVersions()) {
            // Translations and labels exist from version 13 only.
            if (sample.name == "translated" && version < 13) continue;
            const std::filesystem::path path = folder / (sample.name + "-v" + std::to_string(version) + ".bin");
            tFile file(std::fopen(path.c_str(), "wb"));
            if (!file) {
                errorText = "Cannot write " + path.string();
                return -1;
            }
            if (!WriteElementRecord(file.get(), *sample.element, version) || std::fclose(file.release()) != 0) {
                errorText = "Failed to write " + path.string();
                return -1;
            }
            ++written;
        }
    }
    return written;
}

// ------------------------------------------------------------ random elements

CRandomElementMaker::CRandomElementMaker(std::uint64_t seed) : mState(seed) {}

std::uint64_t CRandomElementMaker::NextBits() {
    // splitmix64: small, fast and the same everywhere.
    return platform::mixBits(mState += 0x9E3779B97F4A7C15ull);
}

std::int64_t CRandomElementMaker::Between(std::int64_t low, std::int64_t high) {
    if (high <= low) return low;
    const std::uint64_t span = static_cast<std::uint64_t>(high - low) + 1;
    return low + static_cast<std::int64_t>(NextBits() % span);
}

double CRandomElementMaker::Real(double low, double high) {
    // 53 random bits give a double in [0, 1).
    const double unit = static_cast<double>(NextBits() >> 11) * 0x1.0p-53;
    return std::round((low + unit * (high - low)) * 100.0) / 100.0;
}

std::unique_ptr<CCompositeGeometry> CRandomElementMaker::Next() {
    // Every draw is its own statement: the order in which a call's arguments
    // are evaluated differs between compilers, and the stream must not.
    tTrackMeasures measures;
    measures.gauge = Real(6.5, 45.0);
    measures.trackbedWidth = Real(20.0, 90.0);
    measures.railWidth = Real(0.3, 2.0);
    const std::string product = "P" + std::to_string(++mSerial);
    const bool userCreated = Between(0, 3) == 0;
    const auto price = static_cast<std::int32_t>(Between(0, 50000));
    const auto currency = static_cast<std::int32_t>(Between(129, 139));
    const auto scale = static_cast<std::int32_t>(Between(11, 22));
    const double x = Real(-20000, 20000);
    const double y = Real(-20000, 20000);
    const double angle = Real(0, 360);

    CElementBuilder b;
    b.Catalogue(product, "Random", userCreated ? "" : "Random library", "Random element")
        .Price(price, currency)
        .ModelScale(scale)
        .Position(CPoint(x, y, 0.0))
        .Angle(angle);

    switch (Between(0, 7)) {
        case 0: {
            const double length = Real(10, 1000);
            b.ElementType(kElementTypeStraightTrack).Straight(length, measures);
            break;
        }
        case 1: {
            const double radius = Real(150, 2000);
            const double sweep = Real(5, 90);
            b.Curve(radius, sweep, measures);
            break;
        }
        case 2: {
            const double length = Real(100, 300);
            const double radius = Real(300, 1500);
            const double sweep = Real(10, 30);
            b.Straight(length, measures).Curve(radius, sweep, measures);
            break;
        }
        case 3: {
            const double endX = Real(50, 900);
            const double endY = Real(-200, 200);
            const double maxLength = Real(900, 1500);
            b.FlexTrack(CPoint(0, 0), CPoint(endX, endY), maxLength, measures);
            break;
        }
        case 4: {
            std::vector<CPoint> points;
            const std::int64_t count = Between(2, 12);
            for (std::int64_t i = 0; i < count; ++i) {
                const double px = Real(0, 500);
                const double py = Real(0, 500);
                points.emplace_back(px, py);
            }
            const auto kind = static_cast<std::int32_t>(Between(1, 3));
            const auto lineWidth = static_cast<std::int32_t>(Between(1, 5));
            const double turn = Real(0, 360);
            b.Poly(points, kind, lineWidth, {0, 0, turn});
            break;
        }
        case 5: {
            const double radiusX = Real(5, 300);
            const double radiusY = Real(5, 300);
            const auto lineWidth = static_cast<std::int32_t>(Between(1, 4));
            b.Oval(radiusX, radiusY, 0.0, 360.0, lineWidth);
            break;
        }
        case 6: {
            const auto size = static_cast<std::int32_t>(Between(8, 72));
            b.Text("Label " + product, "Futura-Medium", size);
            break;
        }
        default: {
            const double length = Real(100, 600);
            b.FlexTrack(CPoint(0, 0), CPoint(length, 0), 600.0, measures)
                .MarkGenerated(kStraightFlexGenerator)
                .Generator(kStraightFlexGenerator, {{2, Decimal(length)}, {6, Decimal(600.0)}});
            break;
        }
    }
    return b.Build();
}

bool WriteRandomElementRecords(FILE* file, std::size_t count, std::uint64_t seed, int version) {
    CRandomElementMaker maker(seed);
    for (std::size_t i = 0; i < count; ++i) {
        const std::unique_ptr<CCompositeGeometry> element = maker.Next();
        if (!WriteElementRecord(file, *element, version)) return false;
    }
    return true;
}

}  // namespace ULayoutGen
