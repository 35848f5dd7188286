// Exception models made from errors, exceptions and symbol lines: the
// frames read from each line's columns, and the stack's text form.

#include "crashes/TelemetryCrashes/Internals/Util/TLMCallStackSymbols.h"
#include "crashes/TelemetryCrashes/Internals/Util/TLMPropertyListDescription.h"
#include "crashes/TelemetryCrashes/Model/TLMExceptionModel.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// The frame's fields as "file|address|class|method", "-" for an absent one.
std::string fields(const TLMStackFrame& frame) {
    const auto text = [](const std::optional<std::string>& value) { return value.value_or("-"); };
    std::string result = text(frame.fileName()) + "|" + text(frame.address()) + "|" + text(frame.className()) + "|" +
                         text(frame.methodName());
    if (frame.code() || frame.lineNumber()) result += "|code or line set";
    return result;
}

std::vector<std::string> framesOf(const std::vector<std::string>& lines) {
    std::vector<std::string> result;
    for (const auto& frame : TLMExceptionModel::loadStackTrace(lines)) result.push_back(fields(*frame));
    return result;
}

std::string programName() { return std::filesystem::read_symlink("/proc/self/exe").filename().string(); }

class RangeError : public std::out_of_range {
public:
    using std::out_of_range::out_of_range;
};

}  // namespace

TEST(TLMExceptionModel, LoadsFramesByColumns) {
    const struct {
        const char* name;
        const char* line;
        const char* expected;  // nullptr: no frame
    } cases[] = {
        {"an instance method",
         "3   Foundation                          0x0000000000004c80 -[NSObject performSelector:] + 40",
         "Foundation|0x0000000000004c80|NSObject|performSelector:"},
        {"a class method with a category", "1   App  0x10 +[NSString(Extras) stringWithThing:other:] + 8",
         "App|0x10|NSString(Extras)|stringWithThing:other:"},
        {"a plain C function", "0   libsystem_kernel.dylib              0x00007ff80045a1cb __pthread_kill + 10",
         "libsystem_kernel.dylib|0x00007ff80045a1cb|-|__pthread_kill"},
        {"an image name with dots and blanks", "4   My App.framework 1.2   0xABCDEF main + 1",
         "My App.framework 1.2|0xABCDEF|-|main"},
        {"a C++ symbol with blanks", "5   libvekmont.so  0x7f00 CLayout::Load(std::string const&, int) + 120",
         "libvekmont.so|0x7f00|-|CLayout::Load(std::string const&, int)"},
        {"a symbol without offset", "6 App 0x20 main", "App|0x20|-|main"},
        {"no symbol at all", "7 App 0x30", "App|0x30|-|-"},
        {"an unknown image", "8   ???  0x0000000100003f80 0x0 + 4294983552", "???|0x0000000100003f80|-|0x0"},
        {"an offset that is not a number stays in the symbol", "9 App 0x40 a + b", "App|0x40|-|a + b"},
        {"trailing blanks and a line break", "10 App 0x50 main + 2  \n", "App|0x50|-|main"},
        {"no frame number", "Foundation 0x4c80 -[NSObject performSelector:] + 40", nullptr},
        {"no image before the address", "3 0x4c80 main + 4", nullptr},
        {"no address", "3 Foundation main + 4", nullptr},
        {"an empty line", "", nullptr},
        {"another tool's form", "./vekmont(main+0x1a) [0x55d4c2a1b2c3]", nullptr},
    };
    for (const auto& c : cases) {
        const auto frames = framesOf({c.line});
        if (c.expected == nullptr) {
            EXPECT_TRUE(frames.empty()) << c.name;
        } else {
            EXPECT_EQ(frames, std::vector<std::string>{c.expected}) << c.name;
        }
    }

    // Lines keep their order; lines without a frame are skipped.
    EXPECT_EQ(framesOf({"0 A 0x1 f + 1", "junk", "1 B 0x2 g + 2"}),
              (std::vector<std::string>{"A|0x1|-|f", "B|0x2|-|g"}));
    EXPECT_TRUE(TLMExceptionModel::loadStackTrace(std::nullopt).empty());
    EXPECT_TRUE(TLMExceptionModel::loadStackTrace(std::vector<std::string>{}).empty());
}

TEST(TLMExceptionModel, OurCallStackLinesReadBackAsFrames) {
    const std::vector<std::string> lines = TLMCallStackSymbols();
    ASSERT_FALSE(lines.empty());
    const auto frames = TLMExceptionModel::loadStackTrace(lines);
    ASSERT_EQ(frames.size(), lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        // Frame numbers count from 0, and every frame has its image and address.
        EXPECT_EQ(lines[i].rfind(std::to_string(i) + " ", 0), 0u) << lines[i];
        ASSERT_TRUE(frames[i]->fileName() && frames[i]->address() && frames[i]->methodName()) << lines[i];
        EXPECT_NE(lines[i].find(*frames[i]->address()), std::string::npos) << lines[i];
    }
    // The caller is the first frame: this test's body, in this program.
    EXPECT_EQ(frames[0]->fileName(), programName());
}

TEST(TLMExceptionModel, MadeFromErrorsExceptionsAndLines) {
    const std::vector<std::string> lines{"0   App  0x10 main + 1", "1   libc.so.6  0x20 __libc_start_main + 128"};
    TLMExceptionModel given("NSRangeException", "index 3", lines);
    EXPECT_EQ(given.type(), "NSRangeException");
    EXPECT_EQ(given.message(), "index 3");
    EXPECT_EQ(given.stackTrace(),
              "(\n    \"0   App  0x10 main + 1\",\n    \"1   libc.so.6  0x20 __libc_start_main + 128\"\n)");
    ASSERT_TRUE(given.frames());
    EXPECT_EQ(given.frames()->size(), 2u);

    // Without lines, type and message absent, the calling thread's stack.
    TLMExceptionModel current(std::nullopt, std::nullopt, std::nullopt);
    EXPECT_EQ(current.type(), std::nullopt);
    EXPECT_EQ(current.message(), std::nullopt);
    ASSERT_TRUE(current.frames());
    EXPECT_FALSE(current.frames()->empty());
    EXPECT_EQ(current.frames()->front()->fileName(), programName());

    // An error: its domain, the text of its user info, the calling stack.
    TLMExceptionModel bare(platform::Error("VKMErrorDomain", 7));
    EXPECT_EQ(bare.type(), "VKMErrorDomain");
    EXPECT_EQ(bare.message(), std::nullopt);
    EXPECT_EQ(bare.serializeToDictionary().objectForKey("message"), nullptr);
    EXPECT_FALSE(bare.frames()->empty());
    TLMExceptionModel withInfo(platform::Error("VKMErrorDomain", 7, {{"Path", std::string("/tmp/a b")}}));
    EXPECT_EQ(withInfo.message(), "{\n    Path = \"/tmp/a b\";\n}");
    EXPECT_EQ(TLMExceptionModel(platform::Error("", 1)).type(), std::nullopt);

    // A C++ exception: its class and what(); it carries no stack of its own.
    TLMExceptionModel thrown(RangeError("index 3 beyond bounds"));
    EXPECT_EQ(thrown.type(), "(anonymous namespace)::RangeError");
    EXPECT_EQ(thrown.message(), "index 3 beyond bounds");
    EXPECT_EQ(thrown.stackTrace(), std::nullopt);
    ASSERT_TRUE(thrown.frames());
    EXPECT_FALSE(thrown.frames()->empty());
}

TEST(TLMExceptionModel, TextFormOfLinesAndUserInfo) {
    EXPECT_EQ(TLMDescriptionOfLines({}), "(\n)");
    EXPECT_EQ(TLMDescriptionOfLines({"plain", "say \"hi\"\\", ""}),
              "(\n    plain,\n    \"say \\\"hi\\\"\\\\\",\n    \"\"\n)");

    platform::Error inner("NSPOSIXErrorDomain", 2, {{platform::Error::LocalizedDescriptionKey, std::string("gone")}});
    const platform::Error::UserInfo userInfo{
        {"Count", 3},
        {"Flag", true},
        {"Lines", std::vector<std::string>{"a", "b c"}},
        {"Nested", std::map<std::string, std::string>{{"k", "v"}}},
        {"Ratio", 0.5},
        {"Underlying", inner},
        {"Unknown", std::vector<int>{1}},
        {"multi word", std::string("line\nbreak")},
    };
    EXPECT_EQ(TLMDescriptionOfUserInfo(userInfo),
              "{\n"
              "    Count = 3;\n"
              "    Flag = 1;\n"
              "    Lines = (\n        a,\n        \"b c\"\n    );\n"
              "    Nested = {\n        k = v;\n    };\n"
              "    Ratio = 0.5;\n"
              "    Underlying = Error Domain=NSPOSIXErrorDomain Code=2 \"gone\" UserInfo={\n"
              "        LocalizedDescription = gone;\n    };\n"
              "    Unknown = <std::vector<int, std::allocator<int> >>;\n"
              "    \"multi word\" = \"line\\nbreak\";\n"
              "}");
}
