// The command line of the programs with options: what each argument does,
// where reading stops, and the message for an argument not understood.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/common/ToolOptions.h"

namespace {

struct tRead {
    bool parsed = false;
    bool help = false;
    bool flag = false;
    std::string text;
    std::vector<std::string> values;  // what "--number" accepted
    std::vector<std::string> plain;   // the plain arguments taken
    std::string err;
};

// "--flag", "--text V", "--number N" (refused unless a finite number below
// 10) and at most one plain argument.
tRead Read(std::vector<std::string> arguments) {
    tRead read;
    arguments.insert(arguments.begin(), "tool");
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    const std::vector<UToolOptions::tOption> known = {
        UToolOptions::Flag("--flag", read.flag),
        UToolOptions::Text("--text", read.text),
        {"--number", true,
         [&](const char* value) {
             double number = 0;
             if (!UToolOptions::ParseNumber(value, number) || number >= 10) {
                 std::fprintf(stderr, "tool: --number takes a number below 10\n");
                 return false;
             }
             read.values.push_back(value);
             return true;
         }},
    };
    testing::internal::CaptureStderr();
    read.parsed = UToolOptions::Parse("tool", static_cast<int>(argv.size()), argv.data(), known, read.help,
                                      [&](const char* argument) {
                                          if (!read.plain.empty()) return false;
                                          read.plain.push_back(argument);
                                          return true;
                                      });
    read.err = testing::internal::GetCapturedStderr();
    return read;
}

}  // namespace

TEST(ToolOptions, OptionsValuesAndThePlainArgumentAreReadInOrder) {
    const tRead read = Read({"--number", "2.5", "a.wkst", "--flag", "--text", "--flag", "--number", "-3"});
    EXPECT_TRUE(read.parsed);
    EXPECT_EQ(read.err, "");
    EXPECT_TRUE(read.flag);
    EXPECT_EQ(read.text, "--flag") << "the argument after an option that takes a value is its value";
    EXPECT_EQ(read.values, (std::vector<std::string>{"2.5", "-3"}));
    EXPECT_EQ(read.plain, (std::vector<std::string>{"a.wkst"}));
    EXPECT_FALSE(read.help);

    const tRead none = Read({});
    EXPECT_TRUE(none.parsed);
    EXPECT_FALSE(none.flag);
    EXPECT_TRUE(none.plain.empty());
}

TEST(ToolOptions, HelpIsNotedAndReadingGoesOnUntilAnArgumentIsNotUnderstood) {
    const tRead shortForm = Read({"-h", "--flag"});
    EXPECT_TRUE(shortForm.parsed && shortForm.help && shortForm.flag);
    const tRead longForm = Read({"--flag", "--help"});
    EXPECT_TRUE(longForm.parsed && longForm.help);
    const tRead then = Read({"--help", "--colour", "--flag"});
    EXPECT_FALSE(then.parsed);
    EXPECT_TRUE(then.help);
    EXPECT_FALSE(then.flag) << "nothing after the first argument not understood is read";
}

TEST(ToolOptions, AnArgumentNotUnderstoodOrARefusedValueEndsReadingWithOneMessage) {
    struct tCase {
        const char* name;
        std::vector<std::string> arguments;
        std::string err;
    };
    const tCase cases[] = {
        {"an unknown option", {"--colour", "red"}, "tool: unknown argument '--colour' (see --help)\n"},
        {"an unknown last option", {"--colour"}, "tool: a value is missing after '--colour' (see --help)\n"},
        {"an option without its value", {"--flag", "--text"}, "tool: a value is missing after '--text' (see --help)\n"},
        {"a single dash", {"-x"}, "tool: unknown argument '-x' (see --help)\n"},
        {"a lone dash", {"-"}, "tool: unknown argument '-' (see --help)\n"},
        {"a second plain argument", {"a.wkst", "b.wkst"}, "tool: unknown argument 'b.wkst' (see --help)\n"},
        {"a refused value", {"--number", "12", "--colour"}, "tool: --number takes a number below 10\n"},
        {"a value that is no number", {"--number", "9x"}, "tool: --number takes a number below 10\n"},
        {"an infinite value", {"--number", "-inf"}, "tool: --number takes a number below 10\n"},
        {"a value out of range", {"--number", "-1e999"}, "tool: --number takes a number below 10\n"},
        {"an empty value", {"--number", ""}, "tool: --number takes a number below 10\n"},
    };
    for (const tCase& c : cases) {
        const tRead read = Read(c.arguments);
        EXPECT_FALSE(read.parsed) << c.name;
        EXPECT_EQ(read.err, c.err) << c.name;
    }
}
