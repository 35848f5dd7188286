// Track libraries: the "RSet" file read back as written, the header-only
// mode, the result codes, damaged and hostile counts, the lookups through a
// library repository, and the two element helpers kept with them.

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine/fileformat/TaggedFile.h"
#include "engine/model/CompositeGeometry.h"
#include "engine/model/PolyBIG.h"
#include "engine/model/TrackLibrary.h"
#include "engine/services/ServiceLocator.h"
#include "tests/support/LogWatch.h"
#include "tests/support/RecordBytes.h"
#include "tests/support/TempRoot.h"
#include "tools/layoutgen/LayoutFileWriter.h"
#include "tools/layoutgen/LayoutGen.h"

namespace {

using testsupport::Bytes;
using testsupport::LogWatch;
using testsupport::ReadBytes;
using testsupport::WriteBytes;
using Owned = std::vector<std::unique_ptr<CCompositeGeometry>>;

using testsupport::PathFor;

// Two pieces: a straight of two components and a curve; the library's
// measures differ from the pieces' own.
Owned Pieces() {
    Owned pieces;
    ULayoutGen::tTrackMeasures own;
    own.trackbedWidth = 30.0;
    own.railWidth = 0.5;
    pieces.push_back(ULayoutGen::CElementBuilder()
                         .Catalogue("G231", "Maker", "file lib name", "Gerade")
                         .Price(250, 129)
                         .Straight(231.0, own)
                         .Straight(100.0, own, ULayoutGen::tPlacement{0, 50, 0})
                         .Build());
    pieces.push_back(ULayoutGen::CElementBuilder()
                         .Catalogue("R1", "Maker", "file lib name", "Bogen")
                         .Price(390, 129)
                         .Curve(360.0, 30.0, own)
                         .Build());
    return pieces;
}

ULayoutFileWriter::tTrackLibraryFile LibraryContent(const Owned& pieces, int version) {
    ULayoutFileWriter::tTrackLibraryFile file;
    file.version = version;
    file.modelScale = 12;
    file.integer102 = 102;
    file.integer103 = 131;
    file.real104Tenths = 1045;
    file.trackbedWidthTenths = 25;
    file.railWidthTenths = 7;
    file.switch116 = true;
    for (int i = 0; i < 9; ++i) file.texts[i] = "text " + std::to_string(107 + i);
    file.texts[7] = "ab";  // 114, too short: takes 115's text
    file.texts[8] = "N-Gleis";
    for (const auto& piece : pieces) file.elements.push_back(piece.get());
    file.translations["Description#en"] = "Track set";
    file.translations["Description#de"] = "Gleisset";
    return file;
}

std::string WriteLibrary(const std::string& name, const ULayoutFileWriter::tTrackLibraryFile& content) {
    const std::string path = PathFor(name);
    EXPECT_TRUE(ULayoutFileWriter::WriteTrackLibraryFile(path, content));
    return path;
}

// Hands out libraries from files under the test's root, by name.
class FolderRepository : public CTrackLibraryRepository {
public:
    CTrackLibrary* GetTrackLibrary(const std::string& libraryName) override {
        ++requests;
        const std::string path = PathFor(libraryName);
        FILE* f = std::fopen(path.c_str(), "rb");
        if (f == nullptr) return nullptr;
        std::fclose(f);
        return new CTrackLibrary(path);
    }
    int requests = 0;
};

}  // namespace

TEST(TrackLibrary, AWrittenLibraryReadsBackWithTheLibraryValuesOnEveryElement) {
    const Owned pieces = Pieces();
    const std::string path = WriteLibrary("gleise.rset", LibraryContent(pieces, 3));
    CTrackLibrary library(path);
    ASSERT_EQ(library.Load(kLoadingModeComplete), kTrackLibraryLoaded);
    EXPECT_EQ(library.GetLibraryName(), "gleise.rset");
    EXPECT_EQ(library.GetVersion(), 3);
    EXPECT_EQ(library.GetModelScale(), 12);
    EXPECT_EQ(library.GetInteger102(), 102);
    EXPECT_EQ(library.GetInteger103(), 131);
    EXPECT_DOUBLE_EQ(library.GetReal104(), 104.5);
    EXPECT_DOUBLE_EQ(library.GetTrackbedWidth(), 2.5);
    EXPECT_DOUBLE_EQ(library.GetRailWidth(), 0.7);
    EXPECT_TRUE(library.GetSwitch116());
    EXPECT_STREQ(library.GetText107(), "text 107");
    EXPECT_STREQ(library.GetText113(), "text 113");
    EXPECT_STREQ(library.GetText114(), "N-Gleis");
    EXPECT_STREQ(library.GetText115(), "N-Gleis");
    EXPECT_EQ(library.GetTranslations().size(), 2u);
    EXPECT_EQ(library.GetTranslations().at("Description#de"), "Gleisset");

    ASSERT_EQ(library.GetElements().size(), 2u);
    for (const CCompositeGeometry* element : library.GetElements()) {
        SCOPED_TRACE(element->GetProductNumber());
        EXPECT_STREQ(element->GetLibraryName(), "gleise.rset");
        EXPECT_EQ(element->GetModelScale(), 12);
        EXPECT_EQ(element->GetCurrencyId(), 131);
        for (const CBasicGeometry* component : element->GetComponents()) {
            EXPECT_DOUBLE_EQ(component->GetTrackbedWidth(), 2.5);
            EXPECT_DOUBLE_EQ(component->GetRailWidth(), 0.7);
        }
    }
    EXPECT_EQ(library.GetElements()[0]->GetComponents().size(), 2u);
    EXPECT_EQ(library.GetElements()[0]->GetPrice(), 250);
    EXPECT_EQ(library.GetElementWithProductNumber("R1"), library.GetElements()[1]);

    // A second load is warned about and appends.
    LogWatch watch;
    library.Load(kLoadingModeComplete);
    EXPECT_EQ(watch.Count("tTrackLibraryErrorCode CTrackLibrary::Load(LoadingMode) called on library with elements "
                          "- possible multiple invocation of Load()?"),
              1);
}

TEST(TrackLibrary, VersionTwoHasNeitherSwitchNorTranslationsAndHeaderOnlyReadsNoElements) {
    const Owned pieces = Pieces();
    CTrackLibrary old(WriteLibrary("old.rset", LibraryContent(pieces, 2)));
    ASSERT_EQ(old.Load(kLoadingModeComplete), kTrackLibraryLoaded);
    EXPECT_FALSE(old.GetSwitch116());
    EXPECT_TRUE(old.GetTranslations().empty());
    EXPECT_EQ(old.GetElements().size(), 2u);
    EXPECT_EQ(old.GetInteger103(), 131);

    CTrackLibrary header(WriteLibrary("header.rset", LibraryContent(pieces, 3)));
    ASSERT_EQ(header.Load(kLoadingModeHeaderOnly), kTrackLibraryLoaded);
    EXPECT_TRUE(header.GetElements().empty());
    EXPECT_EQ(header.GetModelScale(), 12);
    EXPECT_EQ(header.GetLibraryName(), "header.rset");
    EXPECT_TRUE(header.GetTranslations().empty());
}

TEST(TrackLibrary, ResultCodes) {
    const Owned pieces = Pieces();
    const Bytes good = ReadBytes(WriteLibrary("codes.rset", LibraryContent(pieces, 3)));
    Bytes otherMagic = good;
    otherMagic[0] = 'S';
    WriteBytes(PathFor("magic.rset"), otherMagic);
    Bytes version1 = good;
    version1[7] = 1;
    WriteBytes(PathFor("v1.rset"), version1);
    WriteBytes(PathFor("tiny.rset"), Bytes{'R', 'S'});

    // Three records announced, two written: the third read meets the
    // translations.
    ULayoutFileWriter::tTrackLibraryFile cut = LibraryContent(pieces, 3);
    cut.elementCount = 3;
    WriteLibrary("cut.rset", cut);

    struct Case {
        const char* name;
        std::string path;
        tTrackLibraryErrorCode code;
        std::size_t elements;
    };
    const Case cases[] = {
        {"loaded", PathFor("codes.rset"), kTrackLibraryLoaded, 2},
        {"last record missing", PathFor("cut.rset"), kTrackLibraryElementError, 2},
        {"missing file", PathFor("absent.rset"), kTrackLibraryOpenFailed, 0},
        {"other magic", PathFor("magic.rset"), kTrackLibraryWrongFileType, 0},
        {"two bytes", PathFor("tiny.rset"), kTrackLibraryWrongFileType, 0},
        {"version 1", PathFor("v1.rset"), kTrackLibraryObsoleteVersion, 0},
    };
    for (const Case& c : cases) {
        CTrackLibrary library(c.path);
        EXPECT_EQ(library.Load(kLoadingModeComplete), c.code) << c.name;
        EXPECT_EQ(library.GetElements().size(), c.elements) << c.name;
    }

    LogWatch watch;
    CTrackLibrary missing(PathFor("absent.rset"));
    missing.Load(kLoadingModeComplete);
    EXPECT_EQ(watch.Count("tTrackLibraryErrorCode CTrackLibrary::Load(LoadingMode): Failed to open library at '" +
                          PathFor("absent.rset") + "'"),
              1);
    CTrackLibrary cutShort(PathFor("cut.rset"));
    cutShort.Load(kLoadingModeComplete);
    EXPECT_EQ(watch.Count("tTrackLibraryErrorCode CTrackLibrary::Load(LoadingMode) - Failed to load element 0: "
                          "Element expected, bad header found."),
              1);
}

TEST(TrackLibrary, HostileCountsAreBoundedAndReadingStopsAtTheFirstFailure) {
    const Owned pieces = Pieces();
    struct Case {
        const char* name;
        std::int32_t count;
        tTrackLibraryErrorCode code;
        std::size_t elements;
    };
    const Case cases[] = {
        {"largest count", INT_MAX, kTrackLibraryElementError, 2},
        {"one more than written", 3, kTrackLibraryElementError, 2},
        {"negative count", -7, kTrackLibraryLoaded, 0},
        {"lowest count", INT_MIN, kTrackLibraryLoaded, 0},
    };
    int n = 0;
    for (const Case& c : cases) {
        ULayoutFileWriter::tTrackLibraryFile content = LibraryContent(pieces, 3);
        content.elementCount = c.count;
        CTrackLibrary library(WriteLibrary("hostile" + std::to_string(n++) + ".rset", content));
        LogWatch watch;
        EXPECT_EQ(library.Load(kLoadingModeComplete), c.code) << c.name;
        EXPECT_EQ(library.GetElements().size(), c.elements) << c.name;
        if (c.count == INT_MAX) {
            EXPECT_EQ(watch.Count("Library element count 2147483647 exceeds what the file can hold"), 1);
        }
    }
}

TEST(TrackLibrary, TranslationCountsBeyondTheRecordsStopReading) {
    const Owned pieces = Pieces();
    ULayoutFileWriter::tTrackLibraryFile content = LibraryContent(pieces, 3);
    content.translations.clear();
    const std::string path = WriteLibrary("many.rset", content);
    // The empty map's count record (tag 800 with 0) is the last 8 bytes;
    // put a count of 50,000 with a single pair in its place.
    Bytes bytes = ReadBytes(path);
    ASSERT_GE(bytes.size(), 8u);
    bytes.resize(bytes.size() - 8);
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    {
        CTaggedFile tags(f);
        ASSERT_TRUE(tags.WriteInt(800, 50000));
        ASSERT_TRUE(tags.WriteString(801, "Description#en"));
        ASSERT_TRUE(tags.WriteString(802, "only one"));
    }
    std::fclose(f);
    CTrackLibrary library(path);
    EXPECT_EQ(library.Load(kLoadingModeComplete), kTrackLibraryLoaded);
    EXPECT_EQ(library.GetElements().size(), 2u);
    EXPECT_EQ(library.GetTranslations().size(), 1u);
}

TEST(TrackLibrary, LookupsEndAtAMissingRepository) {
    LogWatch watch;
    EXPECT_EQ(UTrackLibraryElements::GetElementFromTrackLibrary("gleise.rset", "G231"), nullptr);
    EXPECT_EQ(UTrackLibraryElements::GetTrackLibrary("gleise.rset", "G231"), nullptr);
    EXPECT_EQ(watch.Count("Failed to locate service 'LibraryRepositoryService'"), 2);
}

TEST(TrackLibrary, LookupsCopyTemplatesOutOfTheRepositorysLibraries) {
    const Owned pieces = Pieces();
    WriteLibrary("gleise.rset", LibraryContent(pieces, 3));
    auto* repository = new FolderRepository();
    CServiceLocator::Instance().RegisterService(repository);

    std::unique_ptr<CCompositeGeometry> copy(UTrackLibraryElements::GetElementFromTrackLibrary("gleise.rset", "R1"));
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy->GetProductNumber(), "R1");
    EXPECT_STREQ(copy->GetLibraryName(), "gleise.rset");
    EXPECT_EQ(copy->GetCurrencyId(), 131);
    std::unique_ptr<CCompositeGeometry> again(UTrackLibraryElements::GetElementFromTrackLibrary("gleise.rset", "R1"));
    ASSERT_NE(again, nullptr);
    EXPECT_NE(again.get(), copy.get());
    EXPECT_NE(again->GetIdentifier(), copy->GetIdentifier());

    LogWatch watch;
    EXPECT_EQ(UTrackLibraryElements::GetElementFromTrackLibrary("gleise.rset", "X9"), nullptr);
    EXPECT_EQ(watch.Count("static CCompositeGeometry *UTrackLibraryElements::GetElementFromTrackLibrary(string, "
                          "string): Failed to load element 'X9' from library gleise.rset"),
              1);
    EXPECT_EQ(UTrackLibraryElements::GetElementFromTrackLibrary("nothing.rset", "R1"), nullptr);
    EXPECT_EQ(watch.Count("static CCompositeGeometry *UTrackLibraryElements::GetElementFromTrackLibrary(string, "
                          "string): Failed to load libraryName 'nothing.rset' for element with product number R1: 2"),
              1);
    WriteBytes(PathFor("broken.rset"), Bytes{'R', 'S', 'e', 't', 0, 0, 0, 1});
    EXPECT_EQ(UTrackLibraryElements::GetElementFromTrackLibrary("broken.rset", "R1"), nullptr);
    EXPECT_EQ(watch.Count("Failed to load libraryName 'broken.rset' for element with product number R1: 4"), 1);

    // The template itself, from a library kept loaded.
    const int before = repository->requests;
    CCompositeGeometry* first = UTrackLibraryElements::GetTrackLibrary("gleise.rset", "G231");
    ASSERT_NE(first, nullptr);
    EXPECT_STREQ(first->GetProductNumber(), "G231");
    EXPECT_EQ(UTrackLibraryElements::GetTrackLibrary("gleise.rset", "G231"), first);
    EXPECT_EQ(repository->requests, before + 1);
    EXPECT_EQ(UTrackLibraryElements::GetTrackLibrary("gleise.rset", "X9"), nullptr);
    EXPECT_EQ(UTrackLibraryElements::GetTrackLibrary("nothing.rset", "R1"), nullptr);
    EXPECT_EQ(watch.Count("Track library 'nothing.rset' for element R1 not found."), 1);
}

TEST(TrackLibrary, PolygonPointCountsAndLineEndPoints) {
    auto polygon = ULayoutGen::CElementBuilder()
                       .Catalogue("Haus", "M", "", "d")
                       .Straight(50)
                       .Poly({CPoint(0, 0), CPoint(10, 0), CPoint(10, 10), CPoint(0, 10)}, kPolyKindPolygon)
                       .Line(CPoint(0, 0), CPoint(5, 5))
                       .Build();
    EXPECT_EQ(UElementComponents::GetPolygonPointCount(polygon.get()), 4);
    const auto* line = dynamic_cast<const CPolyBIG*>(polygon->GetComponents().at(2));
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(UElementComponents::GetPolygonPointCount(polygon.get(), line), 2);

    auto straight = ULayoutGen::CElementBuilder().Catalogue("G1", "M", "L", "d").Straight(50).Build();
    LogWatch watch;
    EXPECT_EQ(UElementComponents::GetPolygonPointCount(straight.get()), 0);
    EXPECT_EQ(watch.Count("Element G1 doesn't contain a polygon component"), 1);

    struct Case {
        const char* name;
        tGeneratorParameters parameters;
        CPoint first, second;
    };
    const Case cases[] = {
        {"no parameters", {}, CPoint(0, 0), CPoint(100, 0)},
        {"all four",
         {{10, CGeneratorParameter("1.5")},
          {11, CGeneratorParameter("-2")},
          {12, CGeneratorParameter("30")},
          {13, CGeneratorParameter("40.25")}},
         CPoint(1.5, -2),
         CPoint(30, 40.25)},
        {"second y only", {{13, CGeneratorParameter("4")}}, CPoint(0, 0), CPoint(100, 4)},
        {"not a number", {{12, CGeneratorParameter("far")}}, CPoint(0, 0), CPoint(100, 0)},
    };
    for (const Case& c : cases) {
        const auto [first, second] = UComponentGeneratorParameters::GetLineEndPoints(c.parameters);
        EXPECT_DOUBLE_EQ(first.x, c.first.x) << c.name;
        EXPECT_DOUBLE_EQ(first.y, c.first.y) << c.name;
        EXPECT_DOUBLE_EQ(second.x, c.second.x) << c.name;
        EXPECT_DOUBLE_EQ(second.y, c.second.y) << c.name;
        EXPECT_EQ(first.z, 0.0) << c.name;
        EXPECT_EQ(second.z, 0.0) << c.name;
    }
}
