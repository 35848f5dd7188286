// The service registry: registration by the service's own name, lookups,
// checked conversion to an interface.

#include "engine/services/ActivityAnalyticsService.h"
#include "engine/services/PerformanceCounters.h"
#include "engine/services/PreferencesService.h"
#include "engine/services/ServiceLocator.h"
#include "tests/support/EngineServices.h"
#include "tests/support/LogWatch.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class GreetingServiceBase : public CLocatableService {
public:
    virtual std::string Greet() const = 0;
};

class CountingServiceBase : public CLocatableService {
public:
    virtual int Count() const = 0;
};

class GreetingService : public GreetingServiceBase {
public:
    explicit GreetingService(std::string text) : mText(std::move(text)) {}
    std::string GetServiceName() const override { return "GreetingService"; }
    std::string Greet() const override { return mText; }

private:
    std::string mText;
};

// The memory lines' messages (after "<time> [WORD    ] :  ").
std::vector<std::string> Messages() {
    std::vector<std::string> lines = testsupport::RecentLines();
    for (auto& line : lines) line = line.substr(19);
    return lines;
}

}  // namespace

TEST(ServiceLocator, SecondRegistrationUnderANameWins) {
    GreetingService first("first");
    GreetingService second("second");
    CServiceLocator& registry = CServiceLocator::Instance();
    EXPECT_EQ(&registry, &CServiceLocator::Instance());

    registry.RegisterService(&first);
    EXPECT_EQ(registry.LocateService("GreetingService"), &first);
    registry.RegisterService(&second);

    EXPECT_EQ(registry.LocateService("GreetingService"), &second);
    GreetingServiceBase* typed = registry.LocateServiceAs<GreetingServiceBase>("GreetingService");
    ASSERT_NE(typed, nullptr);
    EXPECT_EQ(typed->Greet(), "second");

    const std::vector<std::string> expected = {
        " [INFO    ] :  Service 'GreetingService' registered.",
        " [INFO    ] :  Service 'GreetingService' registered.",
    };
    EXPECT_EQ(Messages(), expected);
}

TEST(ServiceLocator, FailedLookupsWarnOnceAndWrongInterfacesStaySilent) {
    GreetingService greeting("hello");
    CServiceLocator& registry = CServiceLocator::Instance();
    registry.RegisterService(&greeting);

    // A registered service of another interface: null, nothing written.
    EXPECT_EQ(registry.LocateServiceAs<CountingServiceBase>("GreetingService"), nullptr);
    EXPECT_EQ(Messages().size(), 1u);

    // Never registered by anyone: null and one warning naming it.
    EXPECT_EQ(registry.LocateServiceAs<LibraryRepositoryServiceBase>("LibraryRepositoryService"), nullptr);
    const std::vector<std::string> expected = {
        " [INFO    ] :  Service 'GreetingService' registered.",
        " [WARN    ] :  Failed to locate service 'LibraryRepositoryService'",
    };
    EXPECT_EQ(Messages(), expected);

    // Names compare byte for byte.
    EXPECT_EQ(registry.LocateService("greetingservice"), nullptr);
    EXPECT_EQ(Messages().back(), " [WARN    ] :  Failed to locate service 'greetingservice'");
}

TEST(ServiceLocator, NullServiceIsRefused) {
    CServiceLocator& registry = CServiceLocator::Instance();
    EXPECT_NO_THROW(registry.RegisterService(nullptr));
    EXPECT_EQ(Messages(), std::vector<std::string>{" [ERROR   ] :  Cannot register a null service"});
}

// Tests that run one after another in a process begin as a new one: no
// service registered, and none kept by the accessors that remember theirs.
TEST(ServiceLocator, ForgettingTheServicesLeavesNoneRegisteredNorKept) {
    CServiceLocator& registry = CServiceLocator::Instance();
    auto* preferences = new VKMPreferencesService();
    auto* counters = new QLPerformanceCountersService();
    registry.RegisterService(preferences);
    registry.RegisterService(counters);
    testsupport::RecordingAnalytics& analytics = testsupport::Analytics();
    EXPECT_EQ(UPreferences::GetPreferencesService(), preferences);
    EXPECT_EQ(QLPerformanceCounters::performanceService(), counters);
    EXPECT_EQ(QLActivityAnalytics::activityAnalyticsService(), &analytics);

    testsupport::ForgetServices();
    EXPECT_EQ(registry.LocateService("PreferencesService"), nullptr);
    EXPECT_EQ(UPreferences::GetPreferencesService(), nullptr);
    EXPECT_EQ(QLPerformanceCounters::performanceService(), nullptr);
    EXPECT_EQ(QLActivityAnalytics::activityAnalyticsService(), nullptr);
    // What the tests' support registers is made and registered anew.
    testsupport::RecordingAnalytics& again = testsupport::Analytics();
    EXPECT_NE(&again, &analytics);
    EXPECT_EQ(QLActivityAnalytics::activityAnalyticsService(), &again);
}
