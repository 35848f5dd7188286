// The app's string tables as installed: every language has every key of
// every table, the toolkit's own among them, and no more, and each
// translation takes the same values in its text as the English one.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "platform/foundation/Bundle.h"
#include "platform/ui/controllers/BarItems.h"

namespace {

std::set<std::string> TableNames(const platform::Bundle& bundle, const std::string& language) {
    std::set<std::string> names;
    for (const auto& file : std::filesystem::directory_iterator(bundle.resourcesPath() / (language + ".lproj"))) {
        if (file.path().extension() == ".strings") names.insert(file.path().stem().string());
    }
    return names;
}

// The values a text takes, in their order: "%d", "%@", "%.1f" ...; a
// numbered one ("%2$@") at its place. Escaped "%%" takes none.
std::map<int, std::string> Conversions(const std::string& text) {
    static const std::regex conversion(
        R"(%(?:(\d+)\$)?([-+ #0]*\d*(?:\.\d+)?(?:hh|h|ll|l|z|j|t|L)?[@dDiuUxXoOfFeEgGcsSp%]))");
    std::map<int, std::string> found;
    int next = 1;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), conversion); it != std::sregex_iterator(); ++it) {
        const std::string spec = (*it)[2];
        if (spec == "%") continue;
        const int at = (*it)[1].matched ? std::stoi((*it)[1]) : next++;
        found[at] = spec;
    }
    return found;
}

}  // namespace

TEST(StringTables, EveryLanguageHasEveryKeyOfEveryTableWithTheSameValuesInIt) {
    const platform::Bundle* bundle = platform::Bundle::main();
    ASSERT_NE(bundle, nullptr);
    const auto languages = bundle->localizations();
    ASSERT_GE(languages.size(), 2u) << "English and German at least";
    const std::set<std::string> tables = TableNames(*bundle, "en");
    // The screens' tables, and the toolkit's that its sheets and buttons use.
    for (const char* table : {"QLStrings", "Community", "Localizable", platform::ui::kSystemStringsTable}) {
        EXPECT_EQ(tables.count(table), 1u) << table;
    }
    for (const std::string& language : languages) {
        if (language == "en") continue;
        EXPECT_EQ(TableNames(*bundle, language), tables) << language;
        for (const std::string& table : tables) {
            const auto english = bundle->strings("en", table);
            const auto translated = bundle->strings(language, table);
            EXPECT_FALSE(english.empty()) << table;
            for (const auto& [key, text] : english) {
                const auto it = translated.find(key);
                if (it == translated.end()) {
                    ADD_FAILURE() << language << "/" << table << " has no \"" << key << "\"";
                    continue;
                }
                EXPECT_EQ(Conversions(it->second), Conversions(text))
                    << language << "/" << table << " \"" << key << "\": \"" << it->second << "\"";
            }
            for (const auto& [key, text] : translated) {
                EXPECT_EQ(english.count(key), 1u) << language << "/" << table << " has \"" << key << "\", English not";
            }
        }
    }
}

TEST(StringTables, AConversionIsReadWithItsFlagsAndPlace) {
    EXPECT_EQ(Conversions("%d tracks"), (std::map<int, std::string>{{1, "d"}}));
    EXPECT_EQ(Conversions("Circle Ø %.1f %s"), (std::map<int, std::string>{{1, ".1f"}, {2, "s"}}));
    EXPECT_EQ(Conversions("%2$@ von %1$@"), (std::map<int, std::string>{{1, "@"}, {2, "@"}}));
    EXPECT_EQ(Conversions("100 %% sure"), (std::map<int, std::string>{}));
    EXPECT_NE(Conversions("%d elements"), Conversions("%@ Elemente"));
}
