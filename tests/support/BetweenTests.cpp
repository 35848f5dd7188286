#include "tests/support/BetweenTests.h"

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Locale.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/support/TempRoot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

extern char** environ;

namespace testsupport {

namespace {

struct Reset {
    ResetStage stage;
    std::function<void()> run;
};

// Made on first use: the resets are added by static initialisers.
std::vector<Reset>& resets() {
    static std::vector<Reset> all;
    return all;
}

// The environment as the tests began with it.
std::map<std::string, std::string>& startingEnvironment() {
    static std::map<std::string, std::string> variables;
    return variables;
}

std::map<std::string, std::string> currentEnvironment() {
    std::map<std::string, std::string> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text(*entry);
        const std::size_t equals = text.find('=');
        if (equals != std::string::npos) variables[text.substr(0, equals)] = text.substr(equals + 1);
    }
    return variables;
}

class ResetsAfterEachTest : public testing::EmptyTestEventListener {
public:
    // After the fixture has gone: nothing of the test holds what is reset.
    void OnTestEnd(const testing::TestInfo&) override {
        std::vector<Reset> ordered = resets();
        std::stable_sort(ordered.begin(), ordered.end(),
                         [](const Reset& a, const Reset& b) { return a.stage < b.stage; });
        for (const Reset& reset : ordered) reset.run();
    }
};

// A test that ends the app closes the global queues.
const bool kReopensQueues =
    ResetAfterEachTest(ResetStage::Singletons, [] { platform::DispatchQueue::reopenGlobalQueuesForTests(); });

}  // namespace

bool ResetAfterEachTest(ResetStage stage, std::function<void()> reset) {
    resets().push_back({stage, std::move(reset)});
    return true;
}

void InstallResetsAfterEachTest() {
    startingEnvironment() = currentEnvironment();
    // Every program has the foundation: a locale a test chose is the
    // environment's again.
    ResetAfterEachTest(ResetStage::Singletons, [] { platform::Locale::forgetCurrent(); });
    testing::UnitTest::GetInstance()->listeners().Append(new ResetsAfterEachTest());
}

void ResetEnvironment() {
    const std::map<std::string, std::string>& starting = startingEnvironment();
    // Only what changed is touched: other threads may read the environment.
    for (const auto& [name, value] : currentEnvironment()) {
        if (starting.count(name) == 0) unsetenv(name.c_str());
    }
    const std::map<std::string, std::string> now = currentEnvironment();
    for (const auto& [name, value] : starting) {
        const auto found = now.find(name);
        if (found == now.end() || found->second != value) setenv(name.c_str(), value.c_str(), 1);
    }
}

void ResetAppRoot() {
    platform::Paths::setRoot(processRoot());
    platform::UserDefaults& defaults = platform::UserDefaults::standard();
    // Drops what the test changed and waits for a write under way, so that
    // nothing is written into the emptied root.
    defaults.forgetForTests();
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(processRoot(), error)) {
        std::error_code ignored;
        std::filesystem::remove_all(entry.path(), ignored);
    }
    // Read at their next use, as a new process reads them: reading now
    // would make the preferences folder before any test asked for it.
    defaults.forgetForTests();
}

}  // namespace testsupport
