// The desktop's programs as the window hands work to them, with stand-ins
// for xdg-open and xclip on the PATH that write down what they were given:
// URLs handed without a shell and only when the desktop may open them,
// pictures piped as PNG, text through SDL's clipboard, and one line when
// pictures cannot leave the app.

#include "platform/foundation/TemporaryFolder.h"
#include "platform/graphics/Image.h"
#include "platform/ui/sdl/DesktopClipboard.h"
#include "platform/ui/sdl/DesktopPrograms.h"

#include <SDL.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace sdl = platform::ui::sdl;

namespace {

// A folder on the PATH (alone) for the stand-ins; the PATH comes back after.
class StandIns {
public:
    StandIns() : mFolder("desktop-programs") {
        if (const char* path = std::getenv("PATH")) mPath = path;
        setenv("PATH", mFolder.path().c_str(), 1);
    }
    ~StandIns() { setenv("PATH", mPath.c_str(), 1); }
    StandIns(const StandIns&) = delete;
    StandIns& operator=(const StandIns&) = delete;

    // A program `name` that writes its arguments, one a line, to
    // `name`.args, after copying its standard input to `name`.in when it
    // `reads`.
    void add(const std::string& name, bool reads) {
        const std::filesystem::path program = mFolder.path() / name;
        const std::string base = (mFolder.path() / name).string();
        std::ofstream script(program);
        script << "#!/bin/sh\nPATH=/usr/bin:/bin\n";
        if (reads) script << "cat > '" << base << ".in.part' && mv '" << base << ".in.part' '" << base << ".in'\n";
        script << "for a in \"$@\"; do printf '%s\\n' \"$a\"; done >> '" << base << ".args.part'\n"
               << "mv '" << base << ".args.part' '" << base << ".args'\n";
        script.close();
        chmod(program.c_str(), 0755);
    }
    std::filesystem::path file(const std::string& name) const { return mFolder.path() / name; }

private:
    platform::TemporaryFolder mFolder;
    std::string mPath;
};

// Waits (at most 10 s) for `file` to appear and gives its bytes.
std::string WaitForFile(const std::filesystem::path& file) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!std::filesystem::exists(file) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::ifstream in(file, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

}  // namespace

TEST(DesktopPrograms, WebAddressesGoToTheDesktopsHandlerAsOneArgumentAndNothingElseDoes) {
    for (const char* refused :
         {"file:///etc/passwd", "javascript:alert(1)", "vekmont://x", "https://a b", "https://a\nb", "", "mailto"}) {
        EXPECT_FALSE(sdl::isDesktopOpenableURL(refused)) << refused;
    }
    StandIns programs;
    EXPECT_FALSE(sdl::openURLOnDesktop("https://example.org/")) << "no handler on the PATH";
    programs.add("xdg-open", false);
    EXPECT_FALSE(sdl::openURLOnDesktop("file:///etc/passwd"));
    EXPECT_FALSE(sdl::openURLOnDesktop("https://x.org/$(touch pwned);'\"`"));
    // Percent-encoded, as the app hands its addresses; a shell would see
    // the ; and the quotes.
    const std::string address = "HTTPS://example.org/a?b=1;c='d'&e=%20";
    ASSERT_TRUE(sdl::openURLOnDesktop(address));
    EXPECT_EQ(WaitForFile(programs.file("xdg-open.args")), address + "\n");
    EXPECT_TRUE(sdl::isDesktopOpenableURL("mailto:someone@example.org"));
}

namespace {

// This process's threads.
int ThreadCount() {
    int count = 0;
    for ([[maybe_unused]] const auto& task : std::filesystem::directory_iterator("/proc/self/task")) ++count;
    return count;
}

// Children of this process named `name`, running or not yet reaped.
int ChildrenNamed(const std::string& name) {
    int count = 0;
    const std::string self = std::to_string(getpid());
    for (const auto& process : std::filesystem::directory_iterator("/proc")) {
        std::ifstream in(process.path() / "stat");
        std::string line;
        if (!std::getline(in, line)) continue;
        // "pid (comm) state ppid ...": the name may hold blanks, the last ')' ends it.
        const auto open = line.find('('), close = line.rfind(')');
        if (open == std::string::npos || close == std::string::npos) continue;
        std::istringstream rest(line.substr(close + 1));
        std::string state, parent;
        rest >> state >> parent;
        if (parent == self && line.substr(open + 1, close - open - 1) == name) ++count;
    }
    return count;
}

}  // namespace

TEST(DesktopPrograms, ManyLinksOpenedShareOneThreadAndEveryHandlerIsReaped) {
    StandIns programs;
    // A handler that stays until told to go, as a browser started in the
    // foreground does.
    const auto go = programs.file("go");
    {
        std::ofstream script(programs.file("xdg-open"));
        script << "#!/bin/sh\nPATH=/usr/bin:/bin\nwhile [ ! -e '" << go.string() << "' ]; do sleep 0.02; done\n";
    }
    chmod(programs.file("xdg-open").c_str(), 0755);
    ASSERT_TRUE(sdl::openURLOnDesktop("https://example.org/0"));
    const int threads = ThreadCount();
    for (int i = 1; i < 12; ++i) ASSERT_TRUE(sdl::openURLOnDesktop("https://example.org/" + std::to_string(i)));
    EXPECT_LE(ThreadCount(), threads) << "no thread for each link";
    EXPECT_EQ(ChildrenNamed("xdg-open"), 12);

    std::ofstream(go) << "";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (ChildrenNamed("xdg-open") > 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(ChildrenNamed("xdg-open"), 0) << "each one reaped, none left a zombie";
}

TEST(DesktopPrograms, PicturesArePipedToXclipAsPNGAndTextGoesThroughSDL) {
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0) << SDL_GetError();
    {
        StandIns programs;
        std::FILE* notices = std::tmpfile();
        sdl::DesktopClipboard clipboard(notices);

        clipboard.setString("3 x 6051\n");
        char* text = SDL_GetClipboardText();
        EXPECT_STREQ(text, "3 x 6051\n");
        SDL_free(text);

        // Without xclip: said once for two pictures.
        const std::vector<platform::Pixel> pixels(12, platform::Pixel{200, 10, 10, 255});
        const auto picture = platform::Image::fromPixels(4, 3, pixels);
        clipboard.setImage(picture);
        clipboard.setImage(picture);
        std::rewind(notices);
        char line[512] = {};
        int lines = 0;
        while (std::fgets(line, sizeof line, notices) != nullptr) ++lines;
        std::fclose(notices);
        EXPECT_EQ(lines, 1);

        programs.add("xclip", true);
        clipboard.setImage(picture);
        EXPECT_EQ(WaitForFile(programs.file("xclip.args")), "-selection\nclipboard\n-t\nimage/png\n-i\n");
        const std::string png = WaitForFile(programs.file("xclip.in"));
        const auto decoded = platform::Image::fromData({reinterpret_cast<const std::uint8_t*>(png.data()), png.size()});
        ASSERT_TRUE(decoded);
        EXPECT_EQ(decoded->pixelWidth(), 4);
        EXPECT_EQ(decoded->pixelHeight(), 3);
        EXPECT_EQ(decoded->pixel(1, 1)->red, 200);
    }
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}
