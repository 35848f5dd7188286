#include "platform/foundation/UserDefaults.h"

#include "platform/dispatch/Clock.h"
#include "platform/foundation/Paths.h"
#include "tests/support/TempRoot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using platform::UserDefaults;
using platform::Value;

namespace {

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const fs::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// Names in `folder` that mention `domain` (the domain's file and any temp file).
std::vector<std::string> filesOfDomain(const fs::path& folder, const std::string& domain) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) {
        const std::string name = e.path().filename().string();
        if (name.find(domain) != std::string::npos) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Waits (10 s at most) until the domain's file holds what `holds` looks for.
bool fileComesToHold(const fs::path& file, const std::function<bool(const Value::Dictionary&)>& holds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
        const auto stored = Value::fromStoredForm(readFile(file));
        if (stored && stored->asDictionary() && holds(*stored->asDictionary())) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

bool fileComesToHold(const fs::path& file, const Value::Dictionary& values) {
    return fileComesToHold(file, [&](const Value::Dictionary& stored) { return stored == values; });
}

}  // namespace

TEST(UserDefaultsTest, ValuesSurviveARestart) {
    // Nothing is written on its own while this clock stands still.
    platform::ScopedClock clock(std::make_shared<platform::VirtualClock>());
    const auto when = Value::Date{std::chrono::seconds{1700000000} + std::chrono::microseconds{42}};
    {
        UserDefaults defaults("com.vekmont.tests.restart");
        defaults.setBool("VKMFlag", true);
        defaults.setInteger("VKMCount", 3);
        defaults.setDouble("VKMScale", 3.0);
        defaults.setString("VKMName", "Gleisplan \xE2\x82\xAC");
        defaults.setObject("VKMWhen", Value(when));
        defaults.setObject("VKMBlob", Value(Value::Data{0, 255, 10}));
        defaults.setObject("VKMList", Value(Value::Array{Value(1), Value("a")}));
        ASSERT_TRUE(defaults.synchronize());
        defaults.setString("VKMUnsaved", "lost on restart");
        defaults.reload();
        EXPECT_EQ(defaults.object("VKMUnsaved"), std::nullopt);
        EXPECT_EQ(defaults.object("VKMCount"), Value(3));
    }
    UserDefaults restarted("com.vekmont.tests.restart");
    EXPECT_EQ(restarted.object("VKMFlag"), Value(true));
    auto count = restarted.object("VKMCount");
    ASSERT_TRUE(count && count->isInteger());
    EXPECT_EQ(*count->asInteger(), 3);
    auto scale = restarted.object("VKMScale");
    ASSERT_TRUE(scale && scale->isReal());
    EXPECT_EQ(restarted.object("VKMName"), Value("Gleisplan \xE2\x82\xAC"));
    EXPECT_EQ(restarted.object("VKMWhen"), Value(when));
    EXPECT_EQ(restarted.object("VKMBlob"), Value(Value::Data{0, 255, 10}));
    EXPECT_EQ(restarted.object("VKMList"), Value(Value::Array{Value(1), Value("a")}));

    restarted.removeObject("VKMFlag");
    restarted.setObject("VKMName", Value());  // null removes, like a nil object
    ASSERT_TRUE(restarted.synchronize());
    restarted.reload();
    EXPECT_EQ(restarted.object("VKMFlag"), std::nullopt);
    EXPECT_EQ(restarted.object("VKMName"), std::nullopt);
    EXPECT_EQ(restarted.object("VKMCount"), Value(3));
}

// Tests that run one after another in a process empty the app root between
// them: what was forgotten is read at the next use, and not before.
TEST(UserDefaultsTest, ForgottenValuesAreReadAtTheNextUseAndNeverWritten) {
    auto virtualClock = std::make_shared<platform::VirtualClock>();
    platform::ScopedClock clock(virtualClock);
    const fs::path library = testsupport::processRoot() / "Library";
    UserDefaults defaults("com.vekmont.tests.forget");
    defaults.setInteger("VKMCount", 3);
    ASSERT_TRUE(defaults.synchronize());
    defaults.setString("VKMUnsaved", "dropped");

    fs::remove_all(library);
    defaults.forgetForTests();
    EXPECT_FALSE(fs::exists(library)) << "read, and its folder made, before any use";
    {
        UserDefaults other("com.vekmont.tests.forget");
        other.setInteger("VKMCount", 5);
        ASSERT_TRUE(other.synchronize());
    }
    // The change waiting when it was forgotten is never written.
    virtualClock->advance(UserDefaults::kSaveDelay);
    EXPECT_EQ(Value::fromStoredForm(readFile(defaults.filePath())), Value(Value::Dictionary{{"VKMCount", Value(5)}}));
    EXPECT_EQ(defaults.object("VKMCount"), Value(5));
    EXPECT_EQ(defaults.object("VKMUnsaved"), std::nullopt);
}

TEST(UserDefaultsTest, FileIsReplacedAtomicallyWithNoTempFilesLeft) {
    UserDefaults defaults("com.vekmont.tests.atomic");
    const fs::path file = defaults.filePath();
    EXPECT_EQ(file, platform::Paths::preferences() / "com.vekmont.tests.atomic.json");
    for (int i = 0; i < 5; ++i) {
        defaults.setInteger("VKMRound", i);
        ASSERT_TRUE(defaults.synchronize());
    }
    EXPECT_EQ(filesOfDomain(file.parent_path(), "com.vekmont.tests.atomic"),
              std::vector<std::string>{"com.vekmont.tests.atomic.json"});
    auto stored = Value::fromStoredForm(readFile(file));
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(*stored, Value(Value::Dictionary{{"VKMRound", Value(4)}}));

    // When the rename cannot happen, synchronize reports it and leaves no temp file.
    UserDefaults blocked("com.vekmont.tests.blocked");
    fs::create_directories(blocked.filePath() / "occupied");
    blocked.setBool("VKMFlag", true);
    EXPECT_FALSE(blocked.synchronize());
    EXPECT_EQ(filesOfDomain(file.parent_path(), "com.vekmont.tests.blocked"),
              std::vector<std::string>{"com.vekmont.tests.blocked.json"});
    EXPECT_TRUE(fs::is_directory(blocked.filePath() / "occupied"));
}

TEST(UserDefaultsTest, CorruptFileReadsAsEmptyAndIsKeptUntilTheNextSave) {
    platform::ScopedClock clock(std::make_shared<platform::VirtualClock>());
    struct Case {
        const char* name;
        std::string bytes;
    };
    const Case cases[] = {
        {"truncated JSON", "{\"VKMCount\": 3"},
        {"binary garbage", std::string("\x00\xFF\xFE garbage", 11)},
        {"JSON that is no dictionary", "[1, 2, 3]"},
        {"bad tag", R"({"VKMBlob": {"$type": "data", "base64": "!!"}})"},
        {"empty file", ""},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::string domain = "com.vekmont.tests.corrupt" + std::to_string(n++);
        const fs::path file = platform::Paths::preferences() / (domain + ".json");
        writeFile(file, c.bytes);

        UserDefaults defaults(domain);
        EXPECT_EQ(defaults.object("VKMCount"), std::nullopt) << c.name;
        EXPECT_EQ(defaults.integerValue("VKMCount"), std::nullopt) << c.name;
        defaults.setInteger("VKMCount", 9);
        defaults.reload();
        EXPECT_EQ(readFile(file), c.bytes) << c.name << ": overwritten before a save";

        defaults.setInteger("VKMCount", 9);
        ASSERT_TRUE(defaults.synchronize()) << c.name;
        UserDefaults again(domain);
        EXPECT_EQ(again.integerValue("VKMCount"), 9) << c.name;
    }
}

TEST(UserDefaultsTest, BoolAndIntegerReadsConvertOnlyUsableValues) {
    UserDefaults defaults("com.vekmont.tests.typed");
    struct Case {
        const char* name;
        Value stored;
        std::optional<bool> asBool;
        std::optional<std::int64_t> asInteger;
    };
    const Case cases[] = {
        {"bool true", Value(true), true, std::nullopt},
        {"bool false", Value(false), false, std::nullopt},
        {"integer zero", Value(0), false, 0},
        {"integer seven", Value(7), true, 7},
        {"negative integer", Value(-2), true, -2},
        {"real zero", Value(0.0), false, 0},
        {"real half", Value(0.5), true, 0},
        {"real truncates", Value(3.99), true, 3},
        {"negative real truncates toward zero", Value(-3.99), true, -3},
        {"real beyond int64", Value(1e20), true, std::nullopt},
        {"text whole number", Value("17"), std::nullopt, 17},
        {"text with sign and blanks", Value(" -5 "), std::nullopt, -5},
        {"text with plus", Value("+8"), std::nullopt, 8},
        {"text with fraction", Value("3.5"), std::nullopt, std::nullopt},
        {"text with trailing letters", Value("12abc"), std::nullopt, std::nullopt},
        {"text beyond int64", Value("99999999999999999999"), std::nullopt, std::nullopt},
        {"empty text", Value(""), std::nullopt, std::nullopt},
        {"text YES is no bool", Value("YES"), std::nullopt, std::nullopt},
        {"data", Value(Value::Data{1}), std::nullopt, std::nullopt},
        {"array", Value(Value::Array{Value(1)}), std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        defaults.setObject("VKMKey", c.stored);
        EXPECT_EQ(defaults.boolValue("VKMKey"), c.asBool) << c.name;
        EXPECT_EQ(defaults.integerValue("VKMKey"), c.asInteger) << c.name;
    }
    EXPECT_EQ(defaults.boolValue("VKMMissing"), std::nullopt);
    EXPECT_EQ(defaults.integerValue("VKMMissing"), std::nullopt);
}

TEST(UserDefaultsTest, StandardUsesTheBundleIdentifier) {
    UserDefaults& standard = UserDefaults::standard();
    EXPECT_EQ(&standard, &UserDefaults::standard());
    EXPECT_EQ(standard.domain(), "com.vekmont.app");
    EXPECT_EQ(standard.filePath(), platform::Paths::preferences() / "com.vekmont.app.json");
}

TEST(UserDefaultsTest, DomainCannotLeaveThePreferencesFolder) {
    for (const char* domain : {"../escape", "a/b", "..", ""}) {
        UserDefaults defaults(domain);
        EXPECT_EQ(defaults.filePath().parent_path(), platform::Paths::preferences()) << domain;
    }
}

TEST(UserDefaultsTest, ConcurrentWritersLoseNothing) {
    UserDefaults defaults("com.vekmont.tests.concurrent");
    constexpr int kThreads = 8;
    constexpr int kKeys = 100;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int k = 0; k < kKeys; ++k) {
                defaults.setInteger("VKM" + std::to_string(t) + "_" + std::to_string(k), t * 1000 + k);
                if (k % 25 == 0) {
                    EXPECT_TRUE(defaults.synchronize());
                }
            }
        });
    }
    for (auto& t : threads) t.join();
    ASSERT_TRUE(defaults.synchronize());
    UserDefaults restarted("com.vekmont.tests.concurrent");
    for (int t = 0; t < kThreads; ++t) {
        for (int k = 0; k < kKeys; ++k) {
            ASSERT_EQ(restarted.integerValue("VKM" + std::to_string(t) + "_" + std::to_string(k)), t * 1000 + k);
        }
    }
    EXPECT_EQ(filesOfDomain(platform::Paths::preferences(), "com.vekmont.tests.concurrent"),
              std::vector<std::string>{"com.vekmont.tests.concurrent.json"});
}

TEST(UserDefaultsTest, ChangesReachTheFileSoonAfterWithoutSynchronize) {
    auto clock = std::make_shared<platform::VirtualClock>();
    platform::ScopedClock installed(clock);
    UserDefaults defaults("com.vekmont.tests.soon");
    const fs::path file = defaults.filePath();

    // Changes from several threads wait together for one write.
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int k = 0; k < 20; ++k) defaults.setInteger("VKM" + std::to_string(t), k);
        });
    }
    for (auto& t : threads) t.join();
    defaults.setString("VKMName", "plan");
    clock->advance(UserDefaults::kSaveDelay - std::chrono::milliseconds(1));
    EXPECT_FALSE(fs::exists(file)) << "written before the delay was up";
    clock->advance(std::chrono::milliseconds(1));
    ASSERT_TRUE(fileComesToHold(file, {{"VKM0", Value(19)},
                                       {"VKM1", Value(19)},
                                       {"VKM2", Value(19)},
                                       {"VKM3", Value(19)},
                                       {"VKMName", Value("plan")}}));

    // A later change is written again, and a removal too.
    defaults.setBool("VKMFlag", true);
    defaults.removeObject("VKMName");
    clock->advance(UserDefaults::kSaveDelay);
    EXPECT_TRUE(fileComesToHold(file, [](const Value::Dictionary& stored) {
        return stored.count("VKMFlag") == 1 && stored.count("VKMName") == 0 && stored.size() == 5;
    }));
    UserDefaults restarted("com.vekmont.tests.soon");
    EXPECT_EQ(restarted.object("VKMFlag"), Value(true));
    EXPECT_EQ(restarted.object("VKM3"), Value(19));
}

TEST(UserDefaultsTest, AChangeLeftByAClockThatWentIsWrittenWithTheNext) {
    UserDefaults defaults("com.vekmont.tests.clocks");
    {
        // This clock goes, and what waited on it with it.
        platform::ScopedClock first(std::make_shared<platform::VirtualClock>());
        defaults.setInteger("VKMFirst", 1);
    }
    auto clock = std::make_shared<platform::VirtualClock>();
    platform::ScopedClock second(clock);
    defaults.setInteger("VKMSecond", 2);
    clock->advance(UserDefaults::kSaveDelay);
    EXPECT_TRUE(fileComesToHold(defaults.filePath(), {{"VKMFirst", Value(1)}, {"VKMSecond", Value(2)}}));
}

TEST(UserDefaultsTest, AChangeNotWrittenYetIsWrittenWhenTheObjectGoes) {
    platform::ScopedClock clock(std::make_shared<platform::VirtualClock>());
    fs::path file;
    {
        UserDefaults defaults("com.vekmont.tests.gone");
        file = defaults.filePath();
        defaults.setInteger("VKMCount", 7);
    }
    const auto stored = Value::fromStoredForm(readFile(file));
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(*stored, Value(Value::Dictionary{{"VKMCount", Value(7)}}));

    // An app root that has gone meanwhile (a test process's, at its end) is
    // not made again.
    const fs::path root = testsupport::processRoot() / "gone";
    platform::Paths::setRoot(root);
    {
        UserDefaults defaults("com.vekmont.tests.gone");
        defaults.setInteger("VKMCount", 8);
        fs::remove_all(root);
    }
    platform::Paths::setRoot(testsupport::processRoot());
    EXPECT_FALSE(fs::exists(root));
}
