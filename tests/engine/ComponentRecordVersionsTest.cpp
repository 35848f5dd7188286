// Component records written in the form of each record version: which tags
// each version holds and in what order, the old colour and the old font
// name, and that each written record reads back through Load.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/fileformat/Tag.h"
#include "engine/fileformat/TaggedFile.h"
#include "engine/model/CurveBIG.h"
#include "engine/model/FlexTrackBIG.h"
#include "engine/model/OvalBIG.h"
#include "engine/model/PolyBIG.h"
#include "engine/model/StraightBIG.h"
#include "engine/model/TextBIG.h"
#include "tests/support/RecordBytes.h"

namespace {

using testsupport::tFile;

struct tRecord {
    std::uint16_t id;
    std::vector<std::uint8_t> data;
};

// Every record of the file, from its start.
std::vector<tRecord> Records(FILE* file) {
    std::fflush(file);
    std::rewind(file);
    std::vector<tRecord> records;
    CTag tag;
    while (tag.ReadTag(file))
        records.push_back({tag.GetId(), std::vector<std::uint8_t>(tag.GetBytes(), tag.GetBytes() + tag.GetLength())});
    EXPECT_EQ(tag.LastStatus(), tReadStatus::EndOfFile);
    return records;
}

std::vector<std::uint16_t> Ids(const std::vector<tRecord>& records) {
    std::vector<std::uint16_t> ids;
    for (const tRecord& record : records) ids.push_back(record.id);
    return ids;
}

const tRecord* Find(const std::vector<tRecord>& records, std::uint16_t id) {
    for (const tRecord& record : records)
        if (record.id == id) return &record;
    return nullptr;
}

// As the element reader does: tag 300 with a reader of its own, then Load.
bool LoadBack(CBasicGeometry& component, FILE* file, int version, std::string& error) {
    std::rewind(file);
    std::int32_t type = 0;
    {
        CTaggedFile reader(file);
        if (!reader.ReadInt(300, type)) return false;
    }
    return component.Load(file, version, error);
}

const std::vector<std::uint16_t> kBase = {301, 302, 303, 304, 305, 306, 307, 308, 309};

std::vector<std::uint16_t> Concat(std::initializer_list<std::vector<std::uint16_t>> parts) {
    std::vector<std::uint16_t> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

}  // namespace

TEST(ComponentRecordVersions, EachVersionHoldsItsOwnTagsInReadingOrder) {
    struct tCase {
        const char* name;
        int version;
        std::vector<std::uint16_t> colourPart;
    };
    const tCase cases[] = {
        {"version 3: old colour only", 3, {310}},
        {"version 5: old colour only", 5, {310}},
        {"version 6: fixed colour, nothing newer", 6, {328, 329, 330, 331}},
        {"version 7: generated flag", 7, {328, 329, 330, 331, 333}},
        {"version 8: as version 7", 8, {328, 329, 330, 331, 333}},
        {"version 9: lock and generator before the generated flag", 9, {328, 329, 330, 331, 335, 334, 333}},
        {"version 13: as version 9", 13, {328, 329, 330, 331, 335, 334, 333}},
    };
    for (const tCase& c : cases) {
        SCOPED_TRACE(c.name);
        CStraightBIG straight;
        straight.SetLength(120.0);
        tFile file(std::tmpfile());
        ASSERT_TRUE(straight.Save(file.get(), c.version));
        EXPECT_EQ(Ids(Records(file.get())), Concat({{300}, kBase, c.colourPart, {311}}));

        COvalBIG oval;
        tFile ovalFile(std::tmpfile());
        ASSERT_TRUE(oval.Save(ovalFile.get(), c.version));
        const std::vector<std::uint16_t> arc =
            c.version >= 13 ? std::vector<std::uint16_t>{336, 337} : std::vector<std::uint16_t>{};
        EXPECT_EQ(Ids(Records(ovalFile.get())), Concat({{300}, kBase, c.colourPart, {315, 316, 317}, arc}));

        CTextBIG text;
        tFile textFile(std::tmpfile());
        ASSERT_TRUE(text.Save(textFile.get(), c.version));
        const std::uint16_t font = c.version >= 6 ? 332 : 326;
        EXPECT_EQ(Ids(Records(textFile.get())), Concat({{300}, kBase, c.colourPart, {324, 325, font, 327}}));

        // The flex record nests the polygon record with its own type.
        CFlexTrackBIG flex(CPoint(0, 0), CPoint(100, 0), true, true, 0, 0, 500, 16.5, 40, 1);
        tFile flexFile(std::tmpfile());
        ASSERT_TRUE(flex.Save(flexFile.get(), c.version));
        EXPECT_EQ(Ids(Records(flexFile.get())),
                  Concat({{300, 300}, kBase, c.colourPart, {318, 319, 320, 319, 320, 319, 320, 321, 322, 323, 314}}));
    }
}

TEST(ComponentRecordVersions, NewestFormIsTheDefaultAndOtherVersionsAreRefused) {
    CCurveBIG curve;
    tFile newest(std::tmpfile());
    tFile thirteen(std::tmpfile());
    ASSERT_TRUE(curve.Save(newest.get()));
    ASSERT_TRUE(curve.Save(thirteen.get(), 13));
    const auto a = Records(newest.get());
    const auto b = Records(thirteen.get());
    ASSERT_EQ(Ids(a), Ids(b));
    for (std::size_t i = 0; i < a.size(); ++i) EXPECT_EQ(a[i].data, b[i].data) << a[i].id;

    for (const int version : {-1, 0, 2, 14, 100}) {
        SCOPED_TRACE(version);
        CStraightBIG straight;
        CTextBIG text;
        CPolyBIG poly({CPoint(0, 0), CPoint(1, 1)}, 1, kPolyKindLine, 0, 0, 0);
        for (CBasicGeometry* component : std::vector<CBasicGeometry*>{&straight, &text, &poly}) {
            tFile file(std::tmpfile());
            EXPECT_FALSE(component->Save(file.get(), version));
            EXPECT_EQ(std::ftell(file.get()), 0L) << "nothing written";
        }
    }
    CStraightBIG straight;
    EXPECT_FALSE(straight.Save(nullptr, 13));
}

TEST(ComponentRecordVersions, OldColourIsThreeBigEndianWordsOfTheFixedColour) {
    struct tCase {
        const char* name;
        CColor colour;
        std::vector<std::uint8_t> bytes;
    };
    const tCase cases[] = {
        // 0.5 x 65535 = 32767.5, rounded to 32768.
        {"red, half green, no blue", CColor(1.0, 0.5, 0.0, 0.25), {0xFF, 0xFF, 0x80, 0x00, 0x00, 0x00}},
        {"out of range channels are clamped", CColor(-2.0, 7.0, 0.25, 1.0), {0x00, 0x00, 0xFF, 0xFF, 0x40, 0x00}},
    };
    for (const tCase& c : cases) {
        SCOPED_TRACE(c.name);
        CCurveBIG curve;
        curve.SetFixedColor(c.colour);
        tFile file(std::tmpfile());
        ASSERT_TRUE(curve.Save(file.get(), 5));
        const auto records = Records(file.get());
        const tRecord* old = Find(records, 310);
        ASSERT_NE(old, nullptr);
        EXPECT_EQ(old->data, c.bytes);
        EXPECT_EQ(Find(records, 328), nullptr);
    }
}

TEST(ComponentRecordVersions, OldFontNameIsLengthPrefixedAndCutTo255Bytes) {
    // "é" is two bytes (0xC3 0xA9); placed at bytes 254 and 255 it cannot
    // be split, so the name is cut to 254 bytes.
    const std::string straddling = std::string(254, 'a') + "\xC3\xA9" + "tail";
    struct tCase {
        const char* name;
        std::string font;
        std::string expected;
    };
    const tCase cases[] = {
        {"short name", "Helvetica", "Helvetica"},
        {"empty name", "", ""},
        {"exactly 255 bytes", std::string(255, 'f'), std::string(255, 'f')},
        {"300 bytes cut to 255", std::string(300, 'g'), std::string(255, 'g')},
        {"two-byte character across the cut", straddling, std::string(254, 'a')},
    };
    for (const tCase& c : cases) {
        SCOPED_TRACE(c.name);
        CTextBIG text;
        text.SetFontName(c.font);
        text.SetText("Station");
        tFile file(std::tmpfile());
        ASSERT_TRUE(text.Save(file.get(), 4));
        const auto records = Records(file.get());
        const tRecord* font = Find(records, 326);
        ASSERT_NE(font, nullptr);
        ASSERT_EQ(font->data.size(), c.expected.size() + 1);
        EXPECT_EQ(font->data[0], c.expected.size());
        EXPECT_EQ(std::string(font->data.begin() + 1, font->data.end()), c.expected);
        EXPECT_EQ(Find(records, 332), nullptr);

        CTextBIG loaded;
        std::string error;
        ASSERT_TRUE(LoadBack(loaded, file.get(), 4, error)) << error;
        EXPECT_EQ(loaded.GetFontName(), c.expected);
        EXPECT_EQ(loaded.GetText(), "Station");
    }
}

TEST(ComponentRecordVersions, WrittenRecordsReadBackWithTheFieldsTheirVersionCarries) {
    for (const int version : {3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}) {
        SCOPED_TRACE("version " + std::to_string(version));
        CStraightBIG source;
        source.SetLength(250.5);
        source.SetOffsetX(12.25);
        source.SetGauge(16.5);
        source.DisableJoint(1);
        source.SetFixedColor(CColor(0.2, 0.4, 0.6, 0.8));
        source.SetGenerated(true);
        source.SetComponentGeneratorID(7);
        tFile file(std::tmpfile());
        ASSERT_TRUE(source.Save(file.get(), version));

        CStraightBIG loaded;
        std::string error;
        ASSERT_TRUE(LoadBack(loaded, file.get(), version, error)) << error;
        EXPECT_EQ(std::fgetc(file.get()), EOF) << "nothing left over";
        EXPECT_EQ(loaded.GetLength(), 250.5);
        EXPECT_EQ(loaded.GetOffsetX(), 12.25);
        EXPECT_EQ(loaded.GetGauge(), 16.5);
        EXPECT_FALSE(loaded.IsJointEnabled(1));
        const CColor colour = loaded.GetFixedColor();
        if (version >= 6) {
            EXPECT_DOUBLE_EQ(colour.mBlue, 0.6);
            EXPECT_DOUBLE_EQ(colour.mAlpha, 0.8);
        } else {
            EXPECT_DOUBLE_EQ(colour.mBlue, 0.5) << "the old colour is not read back";
        }
        EXPECT_EQ(loaded.IsGenerated(), version >= 7);
        EXPECT_EQ(loaded.GetComponentGeneratorID(), version >= 9 ? 7 : 0);
        EXPECT_EQ(loaded.IsColorLocked(), version >= 9);
    }
}
