#include "engine/services/LanguageList.h"
#include "engine/services/LanguageListHelper.h"

#include "tests/support/EngineServices.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>

TEST(LanguageList, NamesOfCodes) {
    struct Case {
        const char* code;
        const char* name;
    };
    const Case cases[] = {
        {"de", "German"},
        {"en", "English"},
        {"az", "South Azerbaijani"},
        {"ab", "Abkhaz"},
        {"bh", "Bihari"},
        {"he", "Hebrew (modern)"},
        {"ii", "Nuosu"},
        {"bo", "Tibetan Standard"},
        {"fa", "Persian (Farsi)"},
        {"fy", "Western Frisian"},
        {"cu", "Old Church Slavonic"},
        {"kj", "Kwanyama"},
        {"ki", "Kikuyu, Gikuyu"},
        {"oj", "Ojibwe"},
        {"pa", "Panjabi, Punjabi"},
        {"rn", "Kirundi"},
        {"ss", "Swati"},
        {"vo", "Volap\u00FCk"},
        {"lg", "Ganda"},
        {"lu", "Luba-Katanga"},
        {"nb", "Norwegian Bokm\u00E5l"},
        {"nn", "Norwegian Nynorsk"},
        {"no", "Norwegian"},
        {"gn", "Guaran\u00ED"},
        {"zu", "Zulu"},
        {"aa", "Afar"},
        {"to", "Tonga (Tonga Islands)"},
        {"cy", "Welsh"},
        // Unknown or differently written codes.
        {"DE", "???"},
        {"xx", "???"},
        {"", "???"},
        {"deu", "???"},
        {"d", "???"},
    };
    for (const Case& c : cases) EXPECT_EQ(ULanguageList::GetLanguageName(c.code), c.name) << c.code;
}

TEST(LanguageList, TableHoldsEveryLanguageWithItsCode) {
    const auto& table = ULanguageList::GetLanguageTable();
    EXPECT_EQ(table.size(), 185u);
    EXPECT_EQ(table.begin()->first, "Abkhaz");
    EXPECT_EQ(table.rbegin()->first, "Zulu");
    EXPECT_EQ(table.at("Azerbaijani"), "az");
    EXPECT_EQ(table.at("South Azerbaijani"), "az");

    std::set<std::string> codes;
    for (const auto& [name, code] : table) {
        ASSERT_EQ(code.size(), 2u) << name;
        EXPECT_TRUE(code[0] >= 'a' && code[0] <= 'z' && code[1] >= 'a' && code[1] <= 'z') << name;
        codes.insert(code);
        // Each name is found again through its code, but for the one
        // shared code.
        if (name != "Azerbaijani") {
            EXPECT_EQ(ULanguageList::GetLanguageName(code), name);
        }
    }
    EXPECT_EQ(codes.size(), 184u) << "only \"az\" occurs twice";
}

TEST(LanguageList, ConcurrentFirstLookupsAgree) {
    std::vector<std::thread> threads;
    std::vector<std::string> results(8);
    for (std::size_t i = 0; i < results.size(); ++i) {
        threads.emplace_back([&results, i] { results[i] = ULanguageList::GetLanguageName("az"); });
    }
    for (auto& thread : threads) thread.join();
    for (const auto& result : results) EXPECT_EQ(result, "South Azerbaijani");
}

TEST(LanguageListHelper, BuildsMapOfTranslatedNames) {
    testsupport::RegisterLocalization("en");
    using Map = std::map<std::string, std::string>;
    EXPECT_EQ(QLLanguageListHelper::buildLetterCodeToLanguageMap({}, true), Map{});
    EXPECT_EQ(QLLanguageListHelper::buildLetterCodeToLanguageMap({"de", "en", "xx"}, false),
              (Map{{"de", "German"}, {"en", "English"}, {"xx", "???"}}));
    // Upper-case keys; the names are still looked up with the codes as given.
    EXPECT_EQ(QLLanguageListHelper::buildLetterCodeToLanguageMap({"de", "en"}, true),
              (Map{{"DE", "German"}, {"EN", "English"}}));
    // A later equal key replaces an earlier one: "DE" itself is no code.
    EXPECT_EQ(QLLanguageListHelper::buildLetterCodeToLanguageMap({"de", "DE"}, true), (Map{{"DE", "???"}}));
    EXPECT_EQ(QLLanguageListHelper::buildLetterCodeToLanguageMap({"DE", "de"}, true), (Map{{"DE", "German"}}));
}

TEST(LanguageListHelper, FindsTheFirstCodeOfAShownName) {
    const std::map<std::string, std::string> map = {{"AA", "Same"}, {"BB", "Other"}, {"CC", "Same"}};
    EXPECT_EQ(QLLanguageListHelper::languageCodeForLanguage("Same", map), std::string("AA"));
    EXPECT_EQ(QLLanguageListHelper::languageCodeForLanguage("Other", map), std::string("BB"));
    EXPECT_EQ(QLLanguageListHelper::languageCodeForLanguage("same", map), std::nullopt);
    EXPECT_EQ(QLLanguageListHelper::languageCodeForLanguage("", map), std::nullopt);
    EXPECT_EQ(QLLanguageListHelper::languageCodeForLanguage("Same", {}), std::nullopt);
}
