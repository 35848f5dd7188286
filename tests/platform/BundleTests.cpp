#include "platform/foundation/Bundle.h"

#include "platform/foundation/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>

namespace fs = std::filesystem;
using platform::Bundle;

namespace {

void writeFile(const fs::path& p, const std::string& bytes) {
    fs::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// Sets the locale variables for one test and puts the old ones back.
class ScopedLanguageEnv {
public:
    explicit ScopedLanguageEnv(const std::map<std::string, std::string>& values) {
        for (const char* name : kNames) {
            if (const char* old = std::getenv(name)) mSaved[name] = old;
            unsetenv(name);
        }
        for (const auto& [name, value] : values) setenv(name.c_str(), value.c_str(), 1);
    }
    ~ScopedLanguageEnv() {
        for (const char* name : kNames) {
            unsetenv(name);
            if (auto it = mSaved.find(name); it != mSaved.end()) setenv(name, it->second.c_str(), 1);
        }
    }

private:
    static constexpr const char* kNames[] = {"VEKMONT_LANGUAGE", "LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};
    std::map<std::string, std::string> mSaved;
};

class BundleTest : public testing::Test {
protected:
    void SetUp() override {
        const fs::path r = mRoot.path() / "resources";
        writeFile(r / "Info.json", R"({"CFBundleName": "Probe", "CFBundleVersion": "7", "Build": 12})");
        writeFile(r / "en.lproj" / "Localizable.strings",
                  "# comment line\n"
                  "\n"
                  "Hello\tHello\n"
                  "OnlyEnglish\tEnglish only\n"
                  "Lines\tfirst\\nsecond\n"
                  "Tab\\tKey\tcol1\\tcol2\n"
                  "Slash\tback\\\\slash\\n\n"
                  "Other\tkeeps \\q as written\r\n"
                  "no tab on this line\n");
        writeFile(r / "de.lproj" / "Localizable.strings",
                  "\xEF\xBB\xBFHello\tHallo\n"
                  "Lines\terste\\nzweite\n");
        writeFile(r / "de.lproj" / "Errors.strings",
                  "FailedToOpenFile\tDatei konnte nicht ge\xC3\xB6"
                  "ffnet werden\n");
        fs::create_directories(r / "notalanguage");
        mBundle = std::make_unique<Bundle>(r);
    }

    platform::TemporaryFolder mRoot{"vekmont-test"};
    std::unique_ptr<Bundle> mBundle;
};

}  // namespace

TEST_F(BundleTest, TablesWithEscapesAndEnglishFallback) {
    mBundle->setPreferredLanguage("de");
    EXPECT_EQ(mBundle->preferredLanguage(), "de");
    struct Case {
        const char* name;
        const char* key;
        const char* table;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {"German entry after a byte-order mark", "Hello", "", "Hallo"},
        {"explicit Localizable", "Hello", "Localizable", "Hallo"},
        {"newline escape", "Lines", "", "erste\nzweite"},
        {"falls back to English", "OnlyEnglish", "", "English only"},
        {"tab escape in key and value", "Tab\tKey", "", "col1\tcol2"},
        {"backslash escape", "Slash", "", "back\\slash\n"},
        {"unknown escape kept, CR dropped", "Other", "", "keeps \\q as written"},
        {"other table", "FailedToOpenFile", "Errors",
         "Datei konnte nicht ge\xC3\xB6"
         "ffnet werden"},
        {"missing key", "NoSuchKey", "", std::nullopt},
        {"comment is no entry", "# comment line", "", std::nullopt},
        {"line without tab is no entry", "no tab on this line", "", std::nullopt},
        {"missing table", "Hello", "NoSuchTable", std::nullopt},
        {"table name cannot leave the bundle", "Hello", "../en.lproj/Localizable", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(mBundle->localizedString(c.key, c.table), c.expected) << c.name;

    mBundle->setPreferredLanguage("en");
    EXPECT_EQ(mBundle->localizedString("Hello", ""), "Hello");
    EXPECT_EQ(mBundle->localizedString("Lines", ""), "first\nsecond");
    mBundle->setPreferredLanguage("fr");  // not in the bundle
    EXPECT_EQ(mBundle->preferredLanguage(), "en");
}

TEST_F(BundleTest, PreferredLanguageFromTheEnvironment) {
    struct Case {
        const char* name;
        std::map<std::string, std::string> env;
        const char* expected;
    };
    const Case cases[] = {
        {"LANG with region and encoding", {{"LANG", "de_DE.UTF-8"}}, "de"},
        {"LANGUAGE priority list skips missing languages", {{"LANGUAGE", "fr:de:en"}}, "de"},
        {"LANGUAGE before LANG", {{"LANGUAGE", "en"}, {"LANG", "de_DE.UTF-8"}}, "en"},
        {"own variable first", {{"VEKMONT_LANGUAGE", "de"}, {"LC_ALL", "en_US.UTF-8"}}, "de"},
        {"LC_ALL with modifier", {{"LC_ALL", "de_AT@euro"}}, "de"},
        {"LC_MESSAGES", {{"LC_MESSAGES", "de_CH"}}, "de"},
        {"C locale means no preference", {{"LANG", "C"}}, "en"},
        {"POSIX then German", {{"LC_ALL", "POSIX"}, {"LANG", "de_DE.UTF-8"}}, "de"},
        {"language the bundle lacks", {{"LANG", "ja_JP.UTF-8"}}, "en"},
        {"nothing set", {}, "en"},
    };
    for (const auto& c : cases) {
        ScopedLanguageEnv env(c.env);
        EXPECT_EQ(mBundle->preferredLanguage(), c.expected) << c.name;
    }
    ScopedLanguageEnv env(std::map<std::string, std::string>{{"LANG", "de_DE.UTF-8"}});
    EXPECT_EQ(mBundle->localizedString("Hello", ""), "Hallo");
}

TEST_F(BundleTest, InfoValuesAndLocalizations) {
    EXPECT_EQ(mBundle->infoValue("CFBundleName"), platform::Value("Probe"));
    EXPECT_EQ(mBundle->infoValue("Build"), platform::Value(12));
    EXPECT_EQ(mBundle->infoValue("CFBundleIdentifier"), std::nullopt);
    EXPECT_EQ(mBundle->localizations(), (std::vector<std::string>{"de", "en"}));
}

// A lookup lists no folder: the languages are taken once. What picks the
// language (the override, the environment) is asked anew whenever it changes.
TEST_F(BundleTest, LanguagesAreReadOnceAndThePreferenceFollowsItsSources) {
    ScopedLanguageEnv german(std::map<std::string, std::string>{{"LANG", "de_DE.UTF-8"}});
    EXPECT_EQ(mBundle->localizedString("Hello", ""), "Hallo");
    fs::remove_all(mRoot.path() / "resources" / "de.lproj");
    EXPECT_EQ(mBundle->localizedString("Hello", ""), "Hallo");
    EXPECT_EQ(mBundle->localizations(), (std::vector<std::string>{"de", "en"}));

    setenv("LANG", "en_GB.UTF-8", 1);
    EXPECT_EQ(mBundle->localizedString("Hello", ""), "Hello");
    mBundle->setPreferredLanguage("de");
    EXPECT_EQ(mBundle->localizedString("Hello", ""), "Hallo");
    mBundle->setPreferredLanguage(std::nullopt);
    EXPECT_EQ(mBundle->preferredLanguage(), "en");
    setenv("LANGUAGE", "de", 1);
    EXPECT_EQ(mBundle->preferredLanguage(), "de");
}

TEST_F(BundleTest, CorruptInfoFileHasNoValues) {
    writeFile(mRoot.path() / "broken" / "Info.json", "{\"CFBundleName\": ");
    Bundle broken(mRoot.path() / "broken");
    EXPECT_EQ(broken.infoValue("CFBundleName"), std::nullopt);
    EXPECT_TRUE(broken.localizations().empty());
    EXPECT_EQ(broken.localizedString("Hello", ""), std::nullopt);
}

TEST(BundleMainTest, MainBundleIsTheInstalledResources) {
    Bundle* main = Bundle::main();
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(main, Bundle::main());
    EXPECT_EQ(main->infoValue("CFBundleIdentifier"), platform::Value("com.vekmont.app"));
    EXPECT_EQ(main->infoValue("CFBundleName"), platform::Value("Vekmont"));
    EXPECT_EQ(main->infoValue("CFBundleShortVersionString"), platform::Value("0.1.0"));
}
