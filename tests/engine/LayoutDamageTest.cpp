// Layout files cut short or damaged, written by our own writer and then cut
// or patched: the element count and the layer count never turn a damaged
// file into a successful load, and a file that ends early in its groups,
// images or baseboards loads with what came before and says where.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/fileformat/TaggedFile.h"
#include "engine/model/Baseboard.h"
#include "engine/model/BorderSegment.h"
#include "engine/model/CompositeGeometry.h"
#include "engine/model/Groups.h"
#include "engine/model/Image.h"
#include "engine/model/Layer.h"
#include "engine/model/LayerManager.h"
#include "engine/model/Layout.h"
#include "engine/model/TrackLibrary.h"
#include "tests/support/EngineServices.h"
#include "tests/support/LogWatch.h"
#include "tests/support/RecordBytes.h"
#include "tests/support/TempRoot.h"
#include "tools/layoutgen/LayoutFileWriter.h"
#include "tools/layoutgen/LayoutGen.h"

namespace {

using testsupport::Bytes;
using testsupport::LogWatch;
using testsupport::ReadBytes;
using testsupport::RegisterServices;
using testsupport::WriteBytes;
using Owned = std::vector<std::unique_ptr<CCompositeGeometry>>;

using testsupport::PathFor;

std::unique_ptr<CCompositeGeometry> Straight(const std::string& product, double y) {
    ULayoutGen::CElementBuilder builder;
    builder.Catalogue(product, "Maker", "Lib", "desc").Straight(100.0).Position(CPoint(0, y, 0));
    return builder.Build();
}

// Where the first element record ("RCig") begins.
std::size_t FirstElementAt(const Bytes& bytes) {
    static const Bytes magic = {'R', 'C', 'i', 'g'};
    return static_cast<std::size_t>(std::search(bytes.begin(), bytes.end(), magic.begin(), magic.end()) -
                                    bytes.begin());
}

// The first `length` bytes of `bytes` as a file of its own.
std::string WriteCut(const Bytes& bytes, std::size_t length, const std::string& name) {
    const std::string path = PathFor(name);
    WriteBytes(path, Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length)));
    return path;
}

// A layout of `version` with two elements in one group, two images and two
// baseboards (as far as the version carries them), and where each section
// begins.
struct tSectionedFile {
    Bytes bytes;
    std::size_t groupsAt = 0;
    std::size_t imagesAt = 0;
    std::size_t secondImageAt = 0;
    std::size_t baseboardsAt = 0;
};

tSectionedFile WriteSectionedFile(int version, const std::function<void(FILE*)>& writeImages = {}) {
    CLayerManager layers("Gleise");
    CLayer* pictures = layers.AddLayer("Bilder", true);
    pictures->SetLayerType(CLayer::kImageLayer);
    CLayer* boards = layers.AddLayer("Bretter", true);
    boards->SetLayerType(CLayer::kBaseboardLayer);

    Owned elements;
    elements.push_back(Straight("A", 0));
    elements.push_back(Straight("B", 300));

    const std::uint8_t first[4] = {0x89, 'P', 'N', 'G'};
    const std::uint8_t second[6] = {0xFF, 0xD8, 1, 2, 3, 4};
    CImageElement plan(first, 4);
    plan.SetName("Plan");
    plan.SetLayer(pictures);
    CImageElement photo(second, 6);
    photo.SetName("Foto");
    photo.SetLayer(pictures);

    std::vector<std::unique_ptr<CBaseboardElement>> owned;
    for (const char* name : {"Links", "Rechts"}) {
        auto board = std::make_unique<CBaseboardElement>(CPoint(0, 0), 0.0, name, CColor::Gray50(), CColor::Black());
        board->SetLayer(boards);
        board->SetBorderPoint("a", CPoint(0, 0));
        board->SetBorderPoint("b", CPoint(400, 0));
        board->SetBorderPoint("c", CPoint(400, 300));
        board->AddBorderSegment(new CStraightBorderSegment("a", "b"));
        board->AddBorderSegment(new CStraightBorderSegment("b", "c"));
        board->AddBorderSegment(new CStraightBorderSegment("c", "a"));
        owned.push_back(std::move(board));
    }

    tSectionedFile file;
    FILE* f = std::tmpfile();
    EXPECT_TRUE(ULayoutFileWriter::WriteHeader(f, "WkSt", static_cast<std::uint32_t>(version)));
    EXPECT_TRUE(ULayoutFileWriter::WriteParameters(f, CLayoutParameters(), version));
    if (version >= 4) {
        EXPECT_TRUE(layers.Save(f, version));
    }
    EXPECT_TRUE(ULayoutFileWriter::WriteElementCount(f, 2));
    for (auto& element : elements) {
        EXPECT_TRUE(element->Save(f, version));
    }
    file.groupsAt = static_cast<std::size_t>(std::ftell(f));
    // One group of both elements.
    EXPECT_TRUE(UGroups::WriteSerializedGroups(f, {1, -1, 2, 0, 1, 0}));
    file.imagesAt = static_cast<std::size_t>(std::ftell(f));
    if (version >= 10) {
        if (writeImages) {
            writeImages(f);
        } else {
            EXPECT_TRUE(UImageElements::SaveImages({&plan, &photo}, f));
            // The section of the first image alone ends where the second
            // image begins.
            const Bytes one = testsupport::Written([&](FILE* out) { UImageElements::SaveImages({&plan}, out); });
            file.secondImageAt = file.imagesAt + one.size();
        }
    }
    file.baseboardsAt = static_cast<std::size_t>(std::ftell(f));
    if (version >= 11) {
        EXPECT_TRUE(UBaseboardElements::WriteBaseboards({owned[0].get(), owned[1].get()}, f, version));
    }
    file.bytes = testsupport::ReadAll(f);
    std::fclose(f);
    return file;
}

struct tLoaded {
    LayoutErrorCode code;
    std::size_t elements, groups, images, baseboards;
    tLayoutSection section;
};

tLoaded Load(const std::string& path) {
    CLayout layout;
    const LayoutErrorCode code = layout.Load(path);
    return {code,
            layout.GetElements().size(),
            layout.GetGroupsManager().GetGroups().size(),
            layout.GetImages().size(),
            layout.GetBaseboards().size(),
            layout.GetIncompleteSection()};
}

}  // namespace

TEST(LayoutDamage, AFileEndingInsideTheFirstElementRecordFailsWithCode5) {
    RegisterServices();
    Owned one;
    one.push_back(Straight("A", 0));
    ULayoutFileWriter::tLayoutFile content;
    content.elements = {one[0].get()};
    const std::string whole = PathFor("one.wkst");
    ASSERT_TRUE(ULayoutFileWriter::WriteLayoutFile(whole, content));
    const Bytes bytes = ReadBytes(whole);
    const std::size_t at = FirstElementAt(bytes);
    ASSERT_LT(at, bytes.size());

    // Right after the count, and 4, 8 and 15 bytes into the record head:
    // fewer bytes than the smallest element record takes.
    for (std::size_t into : {0, 4, 8, 15}) {
        SCOPED_TRACE(std::to_string(into) + " bytes of the record");
        const std::string path = WriteCut(bytes, at + into, "cut" + std::to_string(into) + ".wkst");
        LogWatch watch;
        CLayout layout;
        EXPECT_EQ(layout.Load(path), kLayoutElementsError);
        EXPECT_TRUE(layout.GetElements().empty());
        EXPECT_EQ(watch.Count("Element count 1 exceeds what the file can hold"), 1);
        EXPECT_EQ(watch.Count("LayoutErrorCode CLayout::LoadElements(FILE *, int): Failed to load layout, "), 1);
    }

    // A track library the same way: it fails, it does not load empty.
    ULayoutFileWriter::tTrackLibraryFile library;
    library.elements = {one[0].get()};
    const std::string libraryPath = PathFor("one.rset");
    ASSERT_TRUE(ULayoutFileWriter::WriteTrackLibraryFile(libraryPath, library));
    const Bytes libraryBytes = ReadBytes(libraryPath);
    CTrackLibrary cut(WriteCut(libraryBytes, FirstElementAt(libraryBytes) + 4, "cut.rset"));
    EXPECT_EQ(cut.Load(kLoadingModeComplete), kTrackLibraryElementError);
    EXPECT_TRUE(cut.GetElements().empty());
}

TEST(LayoutDamage, ALayerSectionCutShortOverCountedOrDamagedFailsWithCode6) {
    RegisterServices();
    // Two layers, no elements.
    const std::string path = PathFor("layers.wkst");
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_TRUE(ULayoutFileWriter::WriteHeader(f, "WkSt", 13));
    ASSERT_TRUE(ULayoutFileWriter::WriteParameters(f, CLayoutParameters(), 13));
    const auto layersAt = static_cast<std::size_t>(std::ftell(f));
    CLayerManager layers("Unten");
    layers.AddLayer("Oben", true);
    ASSERT_TRUE(layers.Save(f, 13));
    const auto layersEnd = static_cast<std::size_t>(std::ftell(f));
    ASSERT_TRUE(ULayoutFileWriter::WriteElementCount(f, 0));
    ASSERT_TRUE(UGroups::WriteSerializedGroups(f, {}));
    std::fclose(f);
    const Bytes whole = ReadBytes(path);

    // The file ends inside the layer section: no element count follows.
    const std::string cut = WriteCut(whole, layersAt + (layersEnd - layersAt) / 2, "layers-cut.wkst");

    // Three layers announced, two written: the element count after them
    // would otherwise be read as if nothing were missing.
    Bytes overCounted = whole;
    ASSERT_EQ(overCounted[layersAt + 1], 0xF4);  // the count record, 500
    overCounted[layersAt + 7] = 3;
    const std::string over = WriteCut(overCounted, overCounted.size(), "layers-over.wkst");

    // The second layer's locked flag as a record without data: after the
    // name "Oben" and its NUL comes record 502 of one byte.
    Bytes damaged = whole;
    const std::string_view name = "Oben";
    const std::size_t oben = static_cast<std::size_t>(
        std::search(damaged.begin(), damaged.end(), name.begin(), name.end()) - damaged.begin());
    ASSERT_LT(oben + 9, damaged.size());
    ASSERT_EQ(damaged[oben + 6], 0xF6);
    ASSERT_EQ(damaged[oben + 8], 1);
    damaged[oben + 8] = 0;
    damaged.erase(damaged.begin() + static_cast<std::ptrdiff_t>(oben + 9));
    const std::string zeroLength = WriteCut(damaged, damaged.size(), "layers-zero.wkst");

    CLayout sound;
    ASSERT_EQ(sound.Load(path), kLayoutLoaded);
    for (const std::string& damagedPath : {cut, over, zeroLength}) {
        SCOPED_TRACE(damagedPath);
        CLayout layout;
        EXPECT_EQ(layout.Load(damagedPath), kLayoutParameterError);
        EXPECT_GE(layout.GetLayerManager().GetLayers().size(), 1u);
    }
    LogWatch watch;
    CLayout layout;
    ASSERT_EQ(layout.Load(over), kLayoutParameterError);
    EXPECT_EQ(watch.Count("bool CLayout::ReadLayoutParameter(FILE *, int, int &): Failed to load layers, The layer "
                          "count exceeds what the file can hold"),
              1);
}

TEST(LayoutDamage, AFileCutShortAfterItsElementsLoadsWhatCameBeforeAndNamesTheSection) {
    RegisterServices();
    const tSectionedFile v13 = WriteSectionedFile(13);
    const tSectionedFile v10 = WriteSectionedFile(10);
    const tSectionedFile v9 = WriteSectionedFile(9);
    ASSERT_GT(v13.secondImageAt, v13.imagesAt);
    struct Case {
        const char* name;
        const Bytes& bytes;
        std::size_t length;
        std::size_t groups, images, baseboards;
        tLayoutSection section;
    };
    const Case cases[] = {
        {"whole", v13.bytes, v13.bytes.size(), 1, 2, 2, tLayoutSection::kNone},
        {"inside the groups", v13.bytes, v13.groupsAt + 10, 0, 0, 0, tLayoutSection::kGroups},
        {"before the images", v13.bytes, v13.imagesAt, 1, 0, 0, tLayoutSection::kImages},
        {"inside the second image", v13.bytes, v13.secondImageAt + 20, 1, 1, 0, tLayoutSection::kImages},
        {"before the baseboards", v13.bytes, v13.baseboardsAt, 1, 2, 0, tLayoutSection::kBaseboards},
        // The second board keeps what was read of it.
        {"by the last byte", v13.bytes, v13.bytes.size() - 1, 1, 2, 2, tLayoutSection::kBaseboards},
        {"version 10 whole", v10.bytes, v10.bytes.size(), 1, 2, 0, tLayoutSection::kNone},
        {"version 10 by the last byte", v10.bytes, v10.bytes.size() - 1, 1, 1, 0, tLayoutSection::kImages},
        {"version 9 whole", v9.bytes, v9.bytes.size(), 1, 0, 0, tLayoutSection::kNone},
        {"version 9 by the last byte", v9.bytes, v9.bytes.size() - 1, 0, 0, 0, tLayoutSection::kGroups},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = WriteCut(c.bytes, c.length, "sections" + std::to_string(n++) + ".wkst");
        LogWatch watch;
        const tLoaded loaded = Load(path);
        EXPECT_EQ(loaded.code, kLayoutLoaded);
        EXPECT_EQ(loaded.elements, 2u);
        EXPECT_EQ(loaded.groups, c.groups);
        EXPECT_EQ(loaded.images, c.images);
        EXPECT_EQ(loaded.baseboards, c.baseboards);
        EXPECT_EQ(loaded.section, c.section);
        const std::string warning = "Layout file '" + path + "' is cut short or damaged in its ";
        EXPECT_EQ(watch.Count(warning), c.section != tLayoutSection::kNone ? 1 : 0);
        if (c.section != tLayoutSection::kNone) {
            EXPECT_EQ(watch.Count(warning + LayoutSectionName(c.section) + " section"), 1);
        }
    }

    // A later load of a whole file forgets the cut.
    CLayout layout;
    ASSERT_EQ(layout.Load(WriteCut(v13.bytes, v13.imagesAt, "again-cut.wkst")), kLayoutLoaded);
    EXPECT_EQ(layout.GetIncompleteSection(), tLayoutSection::kImages);
    ASSERT_EQ(layout.Load(WriteCut(v13.bytes, v13.bytes.size(), "again-whole.wkst")), kLayoutLoaded);
    EXPECT_EQ(layout.GetIncompleteSection(), tLayoutSection::kNone);
}

TEST(LayoutDamage, ADamagedImageSectionIsNamedAndTheBaseboardsAfterItStillLoad) {
    RegisterServices();
    // The only image's layer name is a record without data.
    const tSectionedFile file = WriteSectionedFile(13, [](FILE* f) {
        CTaggedFile tags(f);
        tags.WriteInt(600, 1);
        tags.WriteString(601, "Plan");
        for (std::uint16_t id = 602; id <= 607; ++id) tags.WriteDouble(id, 1.0);
        const std::uint8_t empty608[4] = {0x02, 0x60, 0x00, 0x00};
        std::fwrite(empty608, 1, sizeof empty608, f);
        tags.WriteInt(609, 1);
        const std::uint8_t data = 7;
        CTag(610, 1, &data).WriteTag(f);
    });
    const std::string path = WriteCut(file.bytes, file.bytes.size(), "damaged-images.wkst");
    LogWatch watch;
    const tLoaded loaded = Load(path);
    EXPECT_EQ(loaded.code, kLayoutLoaded);
    EXPECT_EQ(loaded.images, 0u);
    EXPECT_EQ(loaded.baseboards, 2u);
    EXPECT_EQ(loaded.section, tLayoutSection::kImages);
    EXPECT_EQ(watch.Count("Layout file '" + path + "' is cut short or damaged in its images section"), 1);
}
