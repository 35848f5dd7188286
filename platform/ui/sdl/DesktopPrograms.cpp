#include "platform/ui/sdl/DesktopPrograms.h"

#include "platform/foundation/AsciiText.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>
#include <thread>

extern char** environ;

namespace platform::ui::sdl {

namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return ascii::equalsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

void WriteAll(int fd, const std::vector<std::uint8_t>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = write(fd, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;  // the program stopped reading
        done += static_cast<std::size_t>(written);
    }
}

// Spawn attributes for a child that starts as a fresh process would: the
// app blocks its termination signals in every thread, and a child keeps a
// blocked mask across exec.
class FreshSignals {
public:
    FreshSignals() {
        posix_spawnattr_init(&mAttributes);
        sigset_t none;
        sigemptyset(&none);
        posix_spawnattr_setsigmask(&mAttributes, &none);
        sigset_t defaults;
        sigemptyset(&defaults);
        for (const int signal : {SIGTERM, SIGINT, SIGUSR1, SIGPIPE, SIGCHLD}) sigaddset(&defaults, signal);
        posix_spawnattr_setsigdefault(&mAttributes, &defaults);
        posix_spawnattr_setflags(&mAttributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    }
    ~FreshSignals() { posix_spawnattr_destroy(&mAttributes); }
    FreshSignals(const FreshSignals&) = delete;
    FreshSignals& operator=(const FreshSignals&) = delete;
    const posix_spawnattr_t* get() const { return &mAttributes; }

private:
    posix_spawnattr_t mAttributes;
};

}  // namespace

std::optional<std::filesystem::path> findProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    if (name.empty() || name.find('/') != std::string::npos || path == nullptr) return std::nullopt;
    const std::string folders = path;
    std::size_t start = 0;
    while (start <= folders.size()) {
        const std::size_t end = std::min(folders.find(':', start), folders.size());
        const std::string folder = folders.substr(start, end - start);
        if (!folder.empty()) {
            const std::filesystem::path candidate = std::filesystem::path(folder) / name;
            std::error_code error;
            if (std::filesystem::is_regular_file(candidate, error) && access(candidate.c_str(), X_OK) == 0) {
                return candidate;
            }
        }
        start = end + 1;
    }
    return std::nullopt;
}

bool startProgram(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                  std::function<std::vector<std::uint8_t>()> input) {
    std::vector<std::string> words{program.string()};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    int pipe[2] = {-1, -1};
    if (input && pipe2(pipe, O_CLOEXEC) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (input) posix_spawn_file_actions_adddup2(&actions, pipe[0], STDIN_FILENO);
#if defined(__GLIBC__) && __GLIBC_PREREQ(2, 34)
    // The window's connection and the app's files stay with the app (a
    // browser started by the handler outlives it).
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
#endif
    const FreshSignals signals;
    pid_t child = -1;
    const int status = posix_spawn(&child, program.c_str(), &actions, signals.get(), argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (input) close(pipe[0]);
    if (status != 0) {
        if (input) close(pipe[1]);
        return false;
    }
    const int writeEnd = pipe[1];
    std::thread([child, writeEnd, input = std::move(input)] {
        if (input) {
            // A reader that has gone must not end the app.
            sigset_t pipeSignal;
            sigemptyset(&pipeSignal);
            sigaddset(&pipeSignal, SIGPIPE);
            pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
            WriteAll(writeEnd, input());
            close(writeEnd);
        }
        int ignored = 0;
        while (waitpid(child, &ignored, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return true;
}

bool isDesktopOpenableURL(const std::string& url) {
    if (!StartsWithNoCase(url, "http://") && !StartsWithNoCase(url, "https://") && !StartsWithNoCase(url, "mailto:")) {
        return false;
    }
    for (const char c : url) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7f) return false;
    }
    return true;
}

bool openURLOnDesktop(const std::string& url) {
    if (!isDesktopOpenableURL(url)) return false;
    const auto handler = findProgram("xdg-open");
    return handler && startProgram(*handler, {url});
}

}  // namespace platform::ui::sdl
