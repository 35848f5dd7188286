// The engine's start: the log file first, then the five services in their
// fixed order, each found afterwards by name and interface.

#include "engine/services/EngineStartup.h"

#include "engine/services/ActivityAnalyticsService.h"
#include "engine/services/LocalizationService.h"
#include "engine/services/Logger.h"
#include "engine/services/PerformanceCounters.h"
#include "engine/services/PreferencesService.h"
#include "engine/services/ServiceLocator.h"
#include "engine/services/TextCalculationService.h"

#include "platform/foundation/Paths.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

// The file's lines without their 19-character time stamps.
std::vector<std::string> FileMessages(const std::filesystem::path& path) {
    // The log writes its lines in blocks.
    CLogger::Instance().Flush();
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> messages;
    for (std::string line; std::getline(in, line);) messages.push_back(line.size() >= 19 ? line.substr(19) : line);
    return messages;
}

}  // namespace

TEST(EngineStartup, OpensTheLogThenRegistersTheServicesInOrder) {
    const std::filesystem::path path = platform::Paths::logs() / "Vekmont.log";
    // An old log one byte over 250 KiB is moved aside at start.
    {
        std::ofstream old(path, std::ios::binary);
        old << std::string(256001, 'o');
    }

    UEngineStartup::Start(path.c_str());

    const std::vector<std::string> expected = {
        ": [info   ]   Logging established at " + path.string() + " (level: info)",
        ": [info   ]   Registering services",
        ": [info   ]   Service 'ActivityAnalyticsService' registered.",
        ": [info   ]   Service 'LocalizationService' registered.",
        ": [info   ]   Service 'PreferencesService' registered.",
        ": [info   ]   Service 'TextCalculationService' registered.",
        ": [info   ]   Service 'PerformanceCountersService' registered.",
    };
    const std::vector<std::string> messages = FileMessages(path);
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.front(), expected.front()) << "the old file was not begun anew";
    EXPECT_EQ(std::filesystem::file_size(CLogger::PreviousLogPath(path.string())), 256001u);
    // The services may write lines of their own in between; ours keep their order.
    std::size_t next = 0;
    for (const auto& message : messages) {
        if (next < expected.size() && message == expected[next]) ++next;
    }
    EXPECT_EQ(next, expected.size()) << "missing or out of order: " << (next < expected.size() ? expected[next] : "");

    EXPECT_EQ(CLogger::Instance().GetLevel(), 2);

    CServiceLocator& registry = CServiceLocator::Instance();
    EXPECT_NE(registry.LocateServiceAs<ActivityAnalyticsServiceBase>("ActivityAnalyticsService"), nullptr);
    EXPECT_NE(registry.LocateServiceAs<LocalizationServiceBase>("LocalizationService"), nullptr);
    EXPECT_NE(registry.LocateServiceAs<PreferencesServiceBase>("PreferencesService"), nullptr);
    EXPECT_NE(registry.LocateServiceAs<TextCalculationServiceBase>("TextCalculationService"), nullptr);
    EXPECT_NE(registry.LocateServiceAs<PerformanceCountersServiceBase>("PerformanceCountersService"), nullptr);
    // A real service behind the wrong interface: null and silent.
    const std::size_t linesBefore = FileMessages(path).size();
    EXPECT_EQ(registry.LocateServiceAs<PreferencesServiceBase>("LocalizationService"), nullptr);
    EXPECT_EQ(FileMessages(path).size(), linesBefore);

    // Nothing ever registers a library repository.
    EXPECT_EQ(registry.LocateServiceAs<LibraryRepositoryServiceBase>("LibraryRepositoryService"), nullptr);
    const std::vector<std::string> after = FileMessages(path);
    ASSERT_EQ(after.size(), linesBefore + 1);
    EXPECT_EQ(after.back(), ": [warning]   Failed to locate service 'LibraryRepositoryService'");
}

TEST(EngineStartup, WithoutALogPathLogsToTheConsoleOnlyAndStillRegisters) {
    UEngineStartup::Start(nullptr);

    std::vector<std::string> warnings;
    CLogger::Instance().FindRecentLines(10, 3, warnings);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("No folder for the log file: logging to the console only"), std::string::npos)
        << "no attempt to open a file without a name";
    EXPECT_EQ(CLogger::Instance().GetLevel(), 2);
    EXPECT_NE(CServiceLocator::Instance().LocateServiceAs<PerformanceCountersServiceBase>("PerformanceCountersService"),
              nullptr);
    EXPECT_TRUE(std::filesystem::is_empty(platform::Paths::logs()));
}
