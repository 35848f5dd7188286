// Translations of element texts: the language fallback, the key helpers, and
// the records 800 to 802 read from hand-built bytes, hostile ones included.

#include "engine/model/Translations.h"

#include "engine/fileformat/TaggedFile.h"
#include "tests/support/LogWatch.h"
#include "tests/support/RecordBytes.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using testsupport::Append16;
using testsupport::Bytes;
using testsupport::Cat;
using testsupport::Int;
using testsupport::LastLogMessage;
using testsupport::RecentMessages;
using testsupport::Record;
using testsupport::Stream;
using testsupport::Text;

// ------------------------------------------------ records by hand

Bytes Count(std::int32_t n) { return Record(800, Int(n)); }
Bytes Pair(const std::string& key, const std::string& text) {
    return Cat({Record(801, Text(key)), Record(802, Text(text))});
}

struct ReadResult {
    bool ok;
    tTranslationsMap map;
};

ReadResult Read(const Bytes& bytes) {
    Stream stream(bytes);
    ReadResult result{false, {}};
    result.ok = UTranslationsMap::ReadTranslations(result.map, stream.handle);
    return result;
}

// ------------------------------------------------ lookups

TEST(TranslationsTest, GetTranslationFallsBackToEnglishThenToTheFirstLanguage) {
    const tTranslationsMap germanEnglish = {{"Description#de", "Gleis"}, {"Description#en", "Track"}};
    const tTranslationsMap frenchOnly = {{"Description#fr", "Voie"}};
    const tTranslationsMap germanOnly = {{"Description#de", "Gleis"}};
    const tTranslationsMap emptyEnglish = {{"Description#de", "Gleis"}, {"Description#en", ""}};
    const tTranslationsMap emptyOwnLanguage = {{"Description#de", ""}, {"Name#en", "Name"}};
    // The map's first language is "aa", which the key lacks; the key's German
    // text is not reached.
    const tTranslationsMap firstLanguageOfMap = {{"Description#de", "Gleis"}, {"Name#aa", "x"}};

    struct Case {
        const char* name;
        const tTranslationsMap& map;
        const char* key;
        const char* language;
        const char* expected;
    };
    const tTranslationsMap empty;
    const Case cases[] = {
        {"own language present", germanEnglish, "Description", "de", "Gleis"},
        {"missing language falls back to English", germanEnglish, "Description", "fr", "Track"},
        {"no English: the map's first language", frenchOnly, "Description", "it", "Voie"},
        {"English asked, missing: the map's first language", germanOnly, "Description", "en", "Gleis"},
        {"empty English text: the map's first language", emptyEnglish, "Description", "fr", "Gleis"},
        {"only language is the one asked, with an empty text", emptyOwnLanguage, "Description", "de", ""},
        {"first language of the map, not of the key", firstLanguageOfMap, "Description", "fr", ""},
        {"key that no entry has", germanEnglish, "Name", "de", ""},
        {"empty map gives the default", empty, "Description", "de", "default"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(UTranslationsMap::GetTranslation(c.map, c.key, c.language, "default"), c.expected) << c.name;
}

TEST(TranslationsTest, KeyHelpersSeeOnlyEntriesOfTheirOwnKey) {
    const tTranslationsMap map = {
        {"Description#en", "Track"},    {"Description#de", "Gleis"}, {"DescriptionLong#fr", "Voie longue"},
        {"Description2#it", "Binario"}, {"Name#de", "Weiche"},       {"Name#nl#x", "Wissel"}};

    EXPECT_EQ(UTranslationsMap::MakeKey("Description", "en"), "Description#en");
    EXPECT_EQ(UTranslationsMap::Lookup(map, "Description", "de"), "Gleis");
    EXPECT_EQ(UTranslationsMap::Lookup(map, "Description", "fr"), "");

    EXPECT_EQ(UTranslationsMap::CountLanguagesForKey(map, "Description"), 2);
    EXPECT_EQ(UTranslationsMap::GetLanguagesForKey(map, "Description"), (std::vector<std::string>{"de", "en"}));
    EXPECT_EQ(UTranslationsMap::GetLanguagesForKey(map, "Name"), (std::vector<std::string>{"de", "nl"}));
    EXPECT_EQ(UTranslationsMap::CountLanguagesForKey(map, "Missing"), 0);
    EXPECT_EQ(UTranslationsMap::GetAllLanguages(map), (std::vector<std::string>{"de", "en", "fr", "it", "nl"}));
    EXPECT_TRUE(UTranslationsMap::GetAllLanguages(tTranslationsMap()).empty());
}

TEST(TranslationsTest, AddTranslationWarnsAboutEmptyPartsAndStoresAnyway) {
    tTranslationsMap map;
    UTranslationsMap::AddTranslation(map, "Description", "en", "Track");
    UTranslationsMap::AddTranslation(map, "Description", "en", "Rail");
    EXPECT_EQ(map, (tTranslationsMap{{"Description#en", "Rail"}}));

    UTranslationsMap::AddTranslation(map, "Description", "", "Nowhere");
    EXPECT_EQ(LastLogMessage(),
              "Invalid empty language supplied in static void UTranslationsMap::AddTranslation(tTranslationsMap &, "
              "string, string, string)");
    EXPECT_EQ(map.at("Description#"), "Nowhere");

    UTranslationsMap::AddTranslation(map, "", "de", "Leer");
    EXPECT_EQ(LastLogMessage(),
              "Invalid empty key supplied in static void UTranslationsMap::AddTranslation(tTranslationsMap &, "
              "string, string, string)");
    EXPECT_EQ(map.at("#de"), "Leer");
    EXPECT_EQ(map.size(), 3u);
}

// ------------------------------------------------ records

TEST(TranslationsTest, WriterProducesTheRecordsTheReaderTakes) {
    const tTranslationsMap map = {{"Description#en", "Track"}, {"Description#de", "Gleis"}};
    FILE* file = tmpfile();
    ASSERT_NE(file, nullptr);
    {
        CTaggedFile writer(file);
        ASSERT_TRUE(UTranslationsMap::WriteTranslations(map, writer));
    }
    Bytes written(static_cast<std::size_t>(ftell(file)));
    rewind(file);
    ASSERT_EQ(fread(written.data(), 1, written.size(), file), written.size());
    fclose(file);

    // Map order: "Description#de" sorts before "Description#en".
    const Bytes expected = Cat({Count(2), Pair("Description#de", "Gleis"), Pair("Description#en", "Track")});
    EXPECT_EQ(written, expected);

    const ReadResult back = Read(written);
    EXPECT_TRUE(back.ok);
    EXPECT_EQ(back.map, map);
}

TEST(TranslationsTest, ReaderStoresValidPairsAndDropsEmptyOnes) {
    const ReadResult result = Read(Cat({Count(4), Pair("Description#de", "Gleis"), Pair("Description#fr", ""),
                                        Pair("", "Orphan"), Pair("Description#de", "Schiene")}));
    EXPECT_TRUE(result.ok);
    // The repeated key replaces the earlier text.
    EXPECT_EQ(result.map, (tTranslationsMap{{"Description#de", "Schiene"}}));

    const std::vector<std::string> warnings = RecentMessages(2);
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_EQ(warnings[0], "Invalid translation encountered for key = 'Description#fr', translation = ''");
    EXPECT_EQ(warnings[1], "Invalid translation encountered for key = '', translation = 'Orphan'");
}

TEST(TranslationsTest, ReaderLeavesTheFollowingRecordsForTheNextReader) {
    for (const std::int32_t count : {0, -1, INT_MIN}) {
        Stream stream(Cat({Count(count), Record(900, Int(1234))}));
        CTaggedFile reader(stream.handle);
        tTranslationsMap map;
        EXPECT_TRUE(UTranslationsMap::ReadTranslations(map, reader)) << count;
        EXPECT_TRUE(map.empty()) << count;
        std::int32_t next = 0;
        EXPECT_TRUE(reader.ReadInt(900, next)) << count;
        EXPECT_EQ(next, 1234) << count;
    }
}

TEST(TranslationsTest, ReaderReportsMissingAndDamagedRecords) {
    Bytes truncatedText = Cat({Count(1), Record(801, Text("Description#de"))});
    Append16(truncatedText, 802);
    Append16(truncatedText, 10);  // ten bytes declared, three present
    truncatedText.insert(truncatedText.end(), {'G', 'l', 'e'});

    struct Case {
        const char* name;
        Bytes bytes;
        tTranslationsMap kept;
    };
    const Case cases[] = {
        {"empty stream", {}, {}},
        {"count record too short", Record(800, {0, 1}), {}},
        {"count above the pairs present",
         Cat({Count(3), Pair("Description#de", "Gleis")}),
         {{"Description#de", "Gleis"}}},
        {"count of the largest int", Cat({Count(INT_MAX), Pair("Description#de", "Gleis")}), {}},
        {"count one above the maximum",
         Cat({Count(UTranslationsMap::kMaxTranslations + 1), Pair("Description#de", "Gleis")}),
         {}},
        {"text record missing",
         Cat({Count(2), Pair("Description#de", "Gleis"), Record(801, Text("Name#de"))}),
         {{"Description#de", "Gleis"}}},
        {"text record truncated", truncatedText, {}},
    };
    for (const Case& c : cases) {
        const ReadResult result = Read(c.bytes);
        EXPECT_FALSE(result.ok) << c.name;
        EXPECT_EQ(result.map, c.kept) << c.name;
    }

    tTranslationsMap map;
    EXPECT_FALSE(UTranslationsMap::ReadTranslations(map, static_cast<FILE*>(nullptr)));
}

TEST(TranslationsTest, ReaderTakesTheLargestAllowedCountRecordByRecord) {
    // The count is believed only as far as records follow: the maximum with
    // two pairs present stops at the third, nothing sized by the count.
    const ReadResult result =
        Read(Cat({Count(UTranslationsMap::kMaxTranslations), Pair("A#en", "a"), Pair("B#en", "b")}));
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.map, (tTranslationsMap{{"A#en", "a"}, {"B#en", "b"}}));
    EXPECT_EQ(LastLogMessage(), "Failed to read translation 3 of 100000: EndOfFile");
}

}  // namespace
