#include "tools/layoutgen/LargeLayout.h"

#include <cmath>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "engine/generators/ComponentGenerator.h"
#include "engine/model/ElementComponents.h"
#include "engine/model/Layer.h"
#include "tools/layoutgen/Scenario.h"

namespace ULayoutGen {

namespace {

// The pieces the generated layouts are laid with, so that the part list has
// a handful of entries with real counts.
struct tCatalogueTrack {
    const char* product;
    const char* description;
    double length;  // straights and turnouts
    double radius;  // curves and turnouts
    double sweep;
    std::int32_t price;
};

constexpr tCatalogueTrack kStraights[] = {
    {"G-188", "Straight 188.3 mm", 188.3, 0, 0, 395},
    {"G-94", "Straight 94.2 mm", 94.2, 0, 0, 350},
    {"G-230", "Straight 230.3 mm", 230.3, 0, 0, 425},
};
constexpr tCatalogueTrack kCurves[] = {
    {"R1-30", "Curve R1 30 deg", 0, 360.0, 30.0, 450},
    {"R2-30", "Curve R2 30 deg", 0, 437.5, 30.0, 475},
    {"R3-15", "Curve R3 15 deg", 0, 515.0, 15.0, 410},
};
constexpr tCatalogueTrack kTurnouts[] = {
    {"W-L", "Left turnout", 188.3, 437.5, 24.28, 2990},
    {"W-R", "Right turnout", 188.3, 437.5, 24.28, 2990},
};

tPart CataloguePart(const tCatalogueTrack& track) {
    tPart part;
    part.productNumber = track.product;
    part.manufacturer = "layoutgen";
    part.libraryName = "layoutgen H0";
    part.description = track.description;
    part.price = track.price;
    return part;
}

const tCatalogueTrack& Pick(CRandomElementMaker& random, const tCatalogueTrack* list, std::size_t count) {
    return list[static_cast<std::size_t>(random.Between(0, static_cast<std::int64_t>(count) - 1))];
}

// Turns the placed element into one made by `generatorType`: the generator
// stored and its components put in place of the composer's.
void Regenerate(CCompositeGeometry& element, int generatorType, const std::map<int, std::string>& parameters) {
    UElementComponents::MarkAsGenerated(element.GetComponents(), generatorType);
    AddGenerator(element, generatorType, parameters);
}

// Bends to the left or right give the curved generator (radius from the
// bend), nearly straight ones the straight generator.
void MakeGeneratedFlex(CCompositeGeometry& element, double length, double bend) {
    const double maxLength = 2.0 * length + 200.0;
    if (std::fabs(bend) < 30.0) {
        Regenerate(element, kGeneratorStraightFlexTrack,
                   {{2, ParameterText(length)},
                    {3, ParameterText(0.0)},
                    {6, ParameterText(maxLength)},
                    {7, ParameterText(16.5)},
                    {8, ParameterText(40.0)},
                    {9, "1"}});
    } else {
        const double radius = 360.0 + 4.0 * (100.0 - std::fabs(bend));
        const double sweep = std::copysign(length / radius * 180.0 / M_PI, bend);
        Regenerate(element, kGeneratorCurvedFlexTrack,
                   {{3, ParameterText(0.0)},
                    {4, ParameterText(sweep)},
                    {5, ParameterText(radius)},
                    {7, ParameterText(16.5)},
                    {8, ParameterText(40.0)}});
    }
}

// An arrow or a dimension line of `length` rising by `rise`.
void MakeGeneratedMark(CCompositeGeometry& element, bool arrow, double length, double rise) {
    if (arrow) {
        Regenerate(
            element, kGeneratorArrow,
            {{10, "0"}, {11, "0"}, {12, ParameterText(length)}, {13, ParameterText(rise)}, {18, "103"}, {20, "204"}});
    } else {
        Regenerate(element, kGeneratorDimension,
                   {{10, "0"}, {11, "0"}, {12, ParameterText(length)}, {13, ParameterText(rise)}, {43, "2"}});
    }
}

}  // namespace

void ComposeLargeLayout(tLayoutDocument& document, std::size_t elementCount, std::uint64_t seed, int version,
                        bool generatedElements) {
    document.version = version;
    document.recordVersion = version;
    CLayoutComposer composer(document);
    CRandomElementMaker random(seed);

    composer.AddLayer("Tracks", CLayer::kTrackLayer, true, false, std::nullopt);
    composer.AddLayer("Upper level", CLayer::kTrackLayer, true, false, CColor(0.2, 0.4, 0.8, 1.0));
    composer.AddLayer("Labels", CLayer::kTrackLayer, true, false, std::nullopt);
    composer.AddLayer("Scenery", CLayer::kTrackLayer, true, false, CColor(0.3, 0.6, 0.3, 1.0));
    if (version >= 10) composer.AddLayer("Plan", CLayer::kImageLayer, true, false, std::nullopt);
    if (version >= 11) composer.AddLayer("Boards", CLayer::kBaseboardLayer, true, false, std::nullopt);

    std::int64_t chainLeft = 0;
    std::string chainLayer = "Tracks";
    std::vector<tPose> sidings;
    double minX = 0, minY = 0, maxX = 0, maxY = 0;
    while (composer.ElementCount() < elementCount) {
        if (chainLeft <= 0) {
            // A new chain: from a siding left behind, or somewhere new.
            tPose start;
            if (!sidings.empty() && random.Between(0, 1) == 0) {
                start = sidings.back();
                sidings.pop_back();
            } else {
                start.x = random.Real(-20000, 20000);
                start.y = random.Real(-20000, 20000);
                start.heading = static_cast<double>(random.Between(0, 23) * 15);
            }
            const bool upper = random.Between(0, 4) == 0;
            chainLayer = upper ? "Upper level" : "Tracks";
            start.z = upper ? 80.0 : 0.0;
            composer.ContinueFrom(start);
            chainLeft = random.Between(20, 200);
        }
        const std::int64_t pick = random.Between(0, 99);
        const std::size_t before = composer.ElementCount();
        if (pick < 40) {
            const tCatalogueTrack& straight = Pick(random, kStraights, std::size(kStraights));
            tPart part = CataloguePart(straight);
            part.layerName = chainLayer;
            composer.AddStraight(part, straight.length);
        } else if (pick < 70) {
            const tCatalogueTrack& curve = Pick(random, kCurves, std::size(kCurves));
            tPart part = CataloguePart(curve);
            part.layerName = chainLayer;
            const bool left = random.Between(0, 1) == 0;
            composer.AddCurve(part, curve.radius, left ? curve.sweep : -curve.sweep);
        } else if (pick < 80) {
            const tCatalogueTrack& turnout = Pick(random, kTurnouts, std::size(kTurnouts));
            tPart part = CataloguePart(turnout);
            part.layerName = chainLayer;
            const std::size_t index =
                composer.AddTurnout(part, turnout.length, turnout.radius, turnout.sweep, turnout.product[2] == 'L');
            if (random.Between(0, 2) == 0 && sidings.size() < 64) {
                tPose branch = *composer.Exit(index, true);
                sidings.push_back(branch);
            }
        } else if (pick < 88) {
            tPart part;
            part.productNumber = "FLEX";
            part.description = "Flex track";
            part.layerName = chainLayer;
            const double length = random.Real(200, 900);
            const double bend = random.Real(-100, 100);
            const std::size_t index = composer.AddFlex(part, length, bend, 2.0 * length + 200.0);
            if (generatedElements) MakeGeneratedFlex(*document.elements[index], length, bend);
        } else if (pick < 95) {
            // A label beside the track, not part of the chain.
            const tPose& here = composer.Chain();
            const double side = (here.heading + 90.0) * M_PI / 180.0;
            tPart part;
            part.layerName = "Labels";
            const CPoint at(here.x + 60.0 * std::cos(side), here.y + 60.0 * std::sin(side), 0.0);
            const auto size = static_cast<std::int32_t>(random.Between(10, 40));
            composer.AddText(part, "Signal " + std::to_string(before), "Helvetica", size, at, 0.0);
            --chainLeft;
        } else {
            const tPose& here = composer.Chain();
            tPart part;
            part.layerName = "Scenery";
            part.firstColor = CColor(0.55, 0.45, 0.3, 1.0);
            const CPoint at(here.x + random.Real(100, 400), here.y + random.Real(100, 400), 0.0);
            if (generatedElements) {
                const std::size_t index = composer.AddLine(part, at, CPoint(at.x + 10.0, at.y, 0.0), 1);
                MakeGeneratedMark(*document.elements[index], before % 2 == 0, random.Real(50, 300),
                                  random.Real(-150, 150));
            } else if (random.Between(0, 1) == 0) {
                composer.AddRectangle(part, random.Real(50, 300), random.Real(50, 300), 1, at, random.Real(0, 90));
            } else {
                composer.AddOval(part, random.Real(20, 120), random.Real(20, 120), 1, at);
            }
            --chainLeft;
        }
        --chainLeft;
        const tPose& end = composer.Chain();
        minX = std::min(minX, end.x);
        minY = std::min(minY, end.y);
        maxX = std::max(maxX, end.x);
        maxY = std::max(maxY, end.y);
        // Three neighbours in a group every 40 elements; every fourth group
        // nested in the one before.
        const std::size_t count = composer.ElementCount();
        if (count % 40 == 0 && count >= 3) {
            const std::size_t groups = composer.GroupCount();
            const int parent = groups % 4 == 3 ? static_cast<int>(groups) - 1 : -1;
            composer.AddGroup({count - 3, count - 2, count - 1}, parent);
        }
    }

    if (version >= 10) {
        composer.AddImage("Scan", CPoint(minX, minY, 0), 1200, 800, 8, 6, "Plan");
        composer.AddImage("Photo", CPoint(maxX - 600, maxY - 400, 0), 600, 400, 4, 4, "Plan");
    }
    if (version >= 11) {
        composer.AddBaseboard("Main board",
                              {CPoint(minX - 500, minY - 500), CPoint(maxX + 500, minY - 500),
                               CPoint(maxX + 500, maxY + 500), CPoint(minX - 500, maxY + 500)},
                              CColor(0.85, 0.8, 0.7, 1.0), "Boards");
        composer.AddBaseboard(
            "Corner",
            {CPoint(minX, minY), CPoint(minX + 1500, minY), CPoint(minX + 1500, minY + 600),
             CPoint(minX + 600, minY + 600), CPoint(minX + 600, minY + 1500), CPoint(minX, minY + 1500)},
            std::nullopt, "Boards");
    }
    composer.Finish();
}

const char* JointCrowdName(tJointCrowd crowd) {
    switch (crowd) {
        case tJointCrowd::EastWestLine: return "east-west line";
        case tJointCrowd::NorthSouthLine: return "north-south line";
        case tJointCrowd::Ladder: return "ladder";
        case tJointCrowd::Spot: return "spot";
        case tJointCrowd::ShuffledNorthSouth: return "shuffled north-south line";
    }
    return "?";
}

void ComposeJointCrowd(tLayoutDocument& document, tJointCrowd crowd, std::size_t elementCount, std::uint64_t seed) {
    constexpr double kRungSpacing = 30.0;
    const tCatalogueTrack& straight = kStraights[0];
    const tPart part = CataloguePart(straight);
    CLayoutComposer composer(document);
    // Lines are centred on the origin: the reader puts positions beyond
    // 10 km back to 0.
    const double start = -0.5 * straight.length * static_cast<double>(elementCount);
    const bool northwards = crowd == tJointCrowd::NorthSouthLine || crowd == tJointCrowd::ShuffledNorthSouth;
    composer.ContinueFrom(northwards ? tPose{0.0, start, 0.0, 90.0} : tPose{start, 0.0, 0.0, 0.0});
    for (std::size_t i = 0; i < elementCount; ++i) {
        std::optional<tPose> at;
        if (crowd == tJointCrowd::Ladder)
            at =
                tPose{0.0, (static_cast<double>(i) - 0.5 * static_cast<double>(elementCount)) * kRungSpacing, 0.0, 0.0};
        if (crowd == tJointCrowd::Spot) at = tPose{0.0, 0.0, 0.0, i % 2 == 0 ? 0.0 : 180.0};
        composer.AddStraight(part, straight.length, at);
    }
    composer.Finish();
    if (crowd == tJointCrowd::ShuffledNorthSouth) {
        CRandomElementMaker random(seed);
        auto& elements = document.elements;
        for (std::size_t i = elements.size(); i > 1; --i)
            std::swap(elements[i - 1],
                      elements[static_cast<std::size_t>(random.Between(0, static_cast<std::int64_t>(i) - 1))]);
    }
}

void ComposeLargeLibrary(tLibraryDocument& document, std::size_t elementCount, std::uint64_t seed, int version) {
    ULayoutFileWriter::tTrackLibraryFile& header = document.header;
    header.version = version;
    header.texts[0] = "layoutgen H0";
    header.texts[1] = "layoutgen";
    header.texts[4] = "H0";
    UTranslationsMap::AddTranslation(header.translations, "Title", "en", "Generated library");
    UTranslationsMap::AddTranslation(header.translations, "Title", "de", "Erzeugte Bibliothek");

    tLayoutDocument elements;
    CLayoutComposer composer(elements);
    CRandomElementMaker random(seed);
    for (std::size_t i = 0; i < elementCount; ++i) {
        char product[32];
        std::snprintf(product, sizeof product, "P%05zu", i + 1);
        tPart part;
        part.productNumber = product;
        part.manufacturer = "layoutgen";
        part.libraryName = "layoutgen H0";
        part.price = static_cast<std::int32_t>(random.Between(100, 5000));
        const tPose origin{0, 0, 0, 0};
        switch (random.Between(0, 2)) {
            case 0: {
                const double length = random.Real(50, 400);
                part.description = "Straight";
                part.descriptions = {{"de", "Gerade"}, {"fr", "Droite"}};
                composer.AddStraight(part, length, origin);
                break;
            }
            case 1: {
                const double radius = random.Real(300, 900);
                const double sweep = random.Real(5, 45);
                part.description = "Curve";
                part.descriptions = {{"de", "Bogen"}, {"fr", "Courbe"}};
                composer.AddCurve(part, radius, sweep, origin);
                break;
            }
            default: {
                const bool left = random.Between(0, 1) == 0;
                part.description = left ? "Left turnout" : "Right turnout";
                part.descriptions = {{"de", left ? "Weiche links" : "Weiche rechts"}};
                composer.AddTurnout(part, 188.3, 437.5, 24.28, left, origin);
                break;
            }
        }
    }
    for (auto& element : elements.elements) document.elements.push_back(std::move(element));
}

const char* SeedLayoutScenario() {
    return R"(# Every statement of the layout format.
version 13
param author "Seed author"
param text404 "A long description of the seed layout."
param zoom 150
param workspace 3000 2000
param track-style 0x48
param grid off
param color2 0.5,0.5,0.5,1
param p421 32 1 2 3
param tunnel-mode 2
layer "Tracks" color=0.1,0.2,0.3,1
layer "Upper" locked
layer "Labels"
layer "Boards" type=baseboard
layer "Plan" type=image hidden
on "Tracks"
straight length=188.3 at=0,0 angle=0 product=G-188 price=395
curve radius=360 sweep=30 product=R1-30 desc.de="Bogen" desc.fr="Courbe"
turnout length=188.3 radius=437.5 sweep=24.28 hand=left product=W-L
straight length=94.2 product=G-94 bumper=end:friction
curve radius=360 sweep=-30 from=2:branch
flex length=600 bend=40 max=1200
straight length=230.3 at=0,500,80 angle=180 layer="Upper" tunnel=20,80 rise=10 portal=start
turnout length=188.3 radius=437.5 sweep=24.28 hand=right from=6
on "Labels"
text "Seed station" at=100,150 size=24 font="Helvetica"
rect size=300,120 at=-400,-300 angle=15 color=0.8,0.3,0.2,1
polygon points=0,0;120,0;60,90 at=500,-300
line at=0,-100 to=400,-100 width=3
oval radius=80,40 at=-200,400
arrow at=600,400 to=800,400 head=105 tail=203
dimension at=0,-200 to=400,-200 offset=5
group 0 1
group 3 4 parent=0
group 9 10
image "Scan" at=-500,-500 size=1200,800 pixels=8,6
baseboard "Board A" rect=-600,-600,2400,1400 color=0.85,0.8,0.7,1
baseboard "Corner" points=-600,800;0,800;0,1200;ccw@-300,1000
price G-188 399
price FLEX 1250 129
)";
}

const char* SeedLibraryScenario() {
    return R"(# Every statement of the library format.
version 3
library scale=16 currency=129 bed=40 rail=1 switch116=on text107="layoutgen H0" text108="layoutgen"
translation Title de "Seed-Bibliothek"
translation Title en "Seed library"
straight length=188.3 product=G-188 desc="Straight" desc.de="Gerade" desc.fr="Droite"
curve radius=360 sweep=30 product=R1-30 desc="Curve" desc.de="Bogen"
turnout length=188.3 radius=437.5 sweep=24.28 hand=right product=W-R
flex length=600 product=FLEX library="layoutgen H0"
price G-188 395
)";
}

namespace {

bool WriteBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes, std::string& errorText) {
    if (bytes.empty()) {
        errorText = "nothing to write for " + path.string();
        return false;
    }
    FILE* file = std::fopen(path.c_str(), "wb");
    const bool ok = file != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if ((file != nullptr && std::fclose(file) != 0) || !ok) {
        errorText = "cannot write " + path.string();
        return false;
    }
    return true;
}

bool MakeFolder(const std::filesystem::path& folder, std::string& errorText) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) errorText = "cannot make " + folder.string() + ": " + error.message();
    return !error;
}

}  // namespace

int WriteLayoutSeedCorpus(const std::filesystem::path& folder, std::string& errorText) {
    if (!MakeFolder(folder, errorText)) return -1;
    int written = 0;
    auto write = [&](const std::string& name, const tLayoutDocument& document) {
        if (!WriteBytes(folder / name, ULayoutFileWriter::LayoutFileBytes(document.FileContent()), errorText))
            return false;
        ++written;
        return true;
    };
    for (int version = CLayout::kOldestFileVersion; version <= CLayout::kNewestFileVersion; ++version) {
        tLayoutDocument seed;
        tScenarioSummary summary;
        if (!ParseLayoutScenario(SeedLayoutScenario(), seed, summary, errorText)) return -1;
        seed.version = version;
        seed.recordVersion = version;
        tLayoutDocument generated;
        ComposeLargeLayout(generated, 8, 1000 + static_cast<std::uint64_t>(version), version);
        if (!write("seed-v" + std::to_string(version) + ".wkst", seed) ||
            !write("generated-v" + std::to_string(version) + ".wkst", generated))
            return -1;
    }
    {
        tLayoutDocument empty;
        if (!write("empty-v13.wkst", empty)) return -1;
        // Old element records inside a new file: the reader goes by the
        // record's own version.
        tLayoutDocument mixed;
        tScenarioSummary summary;
        if (!ParseLayoutScenario(SeedLayoutScenario(), mixed, summary, errorText)) return -1;
        mixed.recordVersion = 5;
        if (!write("records-v5-in-v13.wkst", mixed)) return -1;
    }
    return written;
}

int WriteLibrarySeedCorpus(const std::filesystem::path& folder, std::string& errorText) {
    if (!MakeFolder(folder, errorText)) return -1;
    int written = 0;
    for (const int version : {2, 3, 4}) {
        tLibraryDocument seed;
        if (!ParseLibraryScenario(SeedLibraryScenario(), seed, errorText)) return -1;
        seed.header.version = version;
        // Version 2 libraries hold older records.
        seed.header.elementRecordVersion = version == 2 ? 9 : CCompositeGeometry::kNewestRecordVersion;
        if (!WriteBytes(folder / ("seed-v" + std::to_string(version) + ".rset"),
                        ULayoutFileWriter::TrackLibraryFileBytes(seed.FileContent()), errorText))
            return -1;
        ++written;
    }
    tLibraryDocument generated;
    ComposeLargeLibrary(generated, 12, 7, 3);
    if (!WriteBytes(folder / "generated-v3.rset", ULayoutFileWriter::TrackLibraryFileBytes(generated.FileContent()),
                    errorText))
        return -1;
    return written + 1;
}

}  // namespace ULayoutGen
