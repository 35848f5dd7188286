// The generator factory: one shared generator per type code, the dummy for
// unknown codes, and the dummy's dump of the parameters it was given.

#include "engine/generators/ComponentGenerator.h"
#include "engine/generators/FlexTrackGenerators.h"
#include "engine/services/TypeInfo.h"

#include "tests/support/LogWatch.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

using testsupport::LogWatch;

TEST(GeneratorFactoryTest, UnknownCodesGiveTheDummyWithOneWarningPerRequest) {
    for (const int code : {0, 8, -1}) {
        const std::string warning = "Component generator type " + std::to_string(code) + " not recognized";
        LogWatch watch;
        CComponentGenerator* first = UComponentGeneratorFactory::GetGeneratorForType(code);
        EXPECT_NE(dynamic_cast<CDummyComponentGenerator*>(first), nullptr) << code;
        EXPECT_EQ(watch.Count(warning), 1) << code;
        CComponentGenerator* second = UComponentGeneratorFactory::GetGeneratorForType(code);
        EXPECT_EQ(second, first) << code;
        EXPECT_EQ(watch.Count(warning), 2) << code;
    }
    // Every unknown code shares the one dummy.
    EXPECT_EQ(UComponentGeneratorFactory::GetGeneratorForType(8),
              UComponentGeneratorFactory::GetGeneratorForType(12345));
}

TEST(GeneratorFactoryTest, KnownCodesGiveTheirSharedGeneratorSilently) {
    LogWatch watch;
    CComponentGenerator* straight = UComponentGeneratorFactory::GetGeneratorForType(1);
    CComponentGenerator* curved = UComponentGeneratorFactory::GetGeneratorForType(2);
    EXPECT_NE(dynamic_cast<CStraightFlexTrackComponentGenerator*>(straight), nullptr);
    EXPECT_NE(dynamic_cast<CCurvedFlexTrackComponentGenerator*>(curved), nullptr);
    EXPECT_EQ(UComponentGeneratorFactory::GetGeneratorForType(1), straight);
    EXPECT_EQ(UComponentGeneratorFactory::GetGeneratorForType(2), curved);
    EXPECT_EQ(watch.Count("not recognized"), 0);

    // Codes 3 to 7 are never answered by the dummy or by another code's
    // generator, whichever of them this build has.
    std::vector<CComponentGenerator*> seen = {straight, curved};
    for (int code = 3; code <= 7; ++code) {
        CComponentGenerator* generator = UComponentGeneratorFactory::GetGeneratorForType(code);
        if (dynamic_cast<CDummyComponentGenerator*>(generator) != nullptr) continue;
        for (CComponentGenerator* other : seen) EXPECT_NE(generator, other) << code;
        seen.push_back(generator);
    }
}

TEST(GeneratorFactoryTest, FirstRequestsFromManyThreadsGetOneObject) {
    // Each test runs in its own process, so these are the first requests.
    constexpr int kThreads = 8;
    std::vector<CComponentGenerator*> got(kThreads, nullptr);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i)
        threads.emplace_back([&got, i] { got[i] = UComponentGeneratorFactory::GetGeneratorForType(2); });
    for (std::thread& thread : threads) thread.join();
    for (CComponentGenerator* generator : got) {
        EXPECT_NE(generator, nullptr);
        EXPECT_EQ(generator, got.front());
    }
}

TEST(GeneratorFactoryTest, DummyDumpsParametersInKeyOrderAndGeneratesNothing) {
    CComponentGenerator* dummy = UComponentGeneratorFactory::GetGeneratorForType(-1);
    tGeneratorParameters parameters;
    parameters[12] = CGeneratorParameter("twelve");
    parameters[3] = CGeneratorParameter(360.0);
    parameters[40] = CGeneratorParameter(85);

    LogWatch watch;
    const tComponents components = dummy->Generate(parameters, nullptr);
    EXPECT_TRUE(components.empty());

    std::vector<std::string> messages;
    for (const std::string& line : watch.Lines()) {
        const std::string message = testsupport::MessageOf(line);
        if (message.find("log watch mark") == std::string::npos) messages.push_back(message);
    }
    const std::vector<std::string> expected = {
        "CDummyComponentGenerator* dumping generator parameters for unrecognized generator type:",
        " - 3 : 360.000000",
        " - 12 : twelve",
        " - 40 : 85",
    };
    EXPECT_EQ(messages, expected);

    // Only a header for an empty set.
    tGeneratorParameters none;
    LogWatch empty;
    EXPECT_TRUE(dummy->Generate(none, nullptr).empty());
    EXPECT_EQ(empty.Count("dumping generator parameters"), 1);
    EXPECT_EQ(empty.Count(" - "), 0);
}

TEST(GeneratorFactoryTest, DummyDefaultsAndElementActions) {
    CComponentGenerator* dummy = UComponentGeneratorFactory::GetGeneratorForType(0);
    const tGeneratorParameters defaults = dummy->DefaultParameters();
    ASSERT_EQ(defaults.size(), 1u);
    EXPECT_EQ(defaults.begin()->first, 0);
    EXPECT_EQ(defaults.begin()->second.GetText(), "");
    EXPECT_FALSE(dummy->HasElementActions());
    EXPECT_FALSE(UComponentGeneratorFactory::GetGeneratorForType(1)->HasElementActions());
    EXPECT_FALSE(UComponentGeneratorFactory::GetGeneratorForType(2)->HasElementActions());
}

TEST(GeneratorFactoryTest, IntegersStoredAsRealsReadBackAsIntegers) {
    tGeneratorParameters parameters;
    parameters[6] = CGeneratorParameter(500.0);
    EXPECT_EQ(parameters[6].GetText(), "500.000000");
    EXPECT_EQ(UGeneratorParameters::GetInt(parameters, 6, 0), 500);
    EXPECT_EQ(UGeneratorParameters::GetDouble(parameters, 7, 0.1234), 0.1234);  // absent: the default itself
}

TEST(TypeInfoTest, ClassNamesFromMangledNamesAndSignatures) {
    struct Case {
        const char* name;
        const char* input;
        const char* expected;
    };
    const Case cases[] = {
        {"pointer type", "P24CDummyComponentGenerator", "CDummyComponentGenerator*"},
        {"class type", "24CDummyComponentGenerator", "CDummyComponentGenerator"},
        {"nested type cut at the scope", "N6UOuter6CInnerE", "UOuter"},
        {"constructor signature", "CTracksOnlyEditAction::CTracksOnlyEditAction()", "CTracksOnlyEditAction"},
        {"plain text", "CLayout", "CLayout"},
        {"empty", "", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(UTypeInfo::GetClassName(c.input), c.expected) << c.name;
    EXPECT_EQ(UTypeInfo::GetClassName(nullptr), "");
}

}  // namespace
