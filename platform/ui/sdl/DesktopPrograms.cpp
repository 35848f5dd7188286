#include "platform/ui/sdl/DesktopPrograms.h"

#include "platform/dispatch/ThreadStart.h"
#include "platform/foundation/AsciiText.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <string_view>
#include <thread>
#include <utility>

extern char** environ;

namespace platform::ui::sdl {

namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return ascii::equalsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

// One thread for every program started: it feeds their input and reaps
// them, so a hundred links opened make one thread, not a hundred. It waits
// on each child's process descriptor and each input's pipe at once; a
// child without a descriptor (an old kernel) is looked at every tenth of a
// second.
class ProgramKeeper {
public:
    static ProgramKeeper& instance() {
        // Never destroyed: children may outlive the statics.
        static auto* keeper = new ProgramKeeper();
        return *keeper;
    }

    // `writeEnd` is -1 without input.
    void keep(pid_t child, int writeEnd, std::function<std::vector<std::uint8_t>()> input) {
        {
            std::lock_guard lock(mMutex);
            Child added;
            added.pid = child;
            added.processFd = OpenProcessDescriptor(child);
            added.writeEnd = writeEnd;
            added.input = std::move(input);
            mAdded.push_back(std::move(added));
        }
        std::call_once(mStarted, [this] { startThread([this] { run(); }).detach(); });
        const std::uint64_t one = 1;
        while (write(mWake, &one, sizeof one) < 0 && errno == EINTR) {
        }
    }

private:
    struct Child {
        pid_t pid = -1;
        int processFd = -1;  // -1: none, looked at by time
        int writeEnd = -1;   // -1: no input left to write
        std::function<std::vector<std::uint8_t>()> input;
        std::vector<std::uint8_t> bytes;
        std::size_t written = 0;
        bool reaped = false;
    };

    ProgramKeeper() : mWake(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

    static int OpenProcessDescriptor(pid_t pid) {
#ifdef SYS_pidfd_open
        return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#else
        (void)pid;
        return -1;
#endif
    }

    static void CloseInput(Child& child) {
        if (child.writeEnd >= 0) close(child.writeEnd);
        child.writeEnd = -1;
        child.bytes.clear();
    }

    // Writes what the pipe takes now; the input is made on first call.
    static void Feed(Child& child) {
        if (child.input) {
            try {
                child.bytes = child.input();
            } catch (...) {
                child.bytes.clear();  // nothing to give: the program reads an empty input
            }
            child.input = nullptr;
            fcntl(child.writeEnd, F_SETFL, fcntl(child.writeEnd, F_GETFL) | O_NONBLOCK);
        }
        while (child.written < child.bytes.size()) {
            const ssize_t n =
                write(child.writeEnd, child.bytes.data() + child.written, child.bytes.size() - child.written);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
            if (n <= 0) break;  // the program stopped reading
            child.written += static_cast<std::size_t>(n);
        }
        CloseInput(child);
    }

    static void Reap(Child& child) {
        int ignored = 0;
        pid_t done;
        while ((done = waitpid(child.pid, &ignored, WNOHANG)) < 0 && errno == EINTR) {
        }
        if (done == 0) return;  // still running
        child.reaped = true;
        if (child.processFd >= 0) close(child.processFd);
        child.processFd = -1;
    }

    void run() {
        // A reader that has gone must not end the app: a write then fails.
        sigset_t pipeSignal;
        sigemptyset(&pipeSignal);
        sigaddset(&pipeSignal, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
        std::vector<Child> children;
        std::vector<pollfd> fds;
        for (;;) {
            {
                std::lock_guard lock(mMutex);
                for (Child& added : mAdded) children.push_back(std::move(added));
                mAdded.clear();
            }
            bool timed = false;
            for (Child& child : children) {
                if (child.writeEnd >= 0 && child.input) Feed(child);
                if (!child.reaped && child.processFd < 0) {
                    Reap(child);
                    timed = timed || !child.reaped;
                }
            }
            std::erase_if(children, [](const Child& child) { return child.reaped && child.writeEnd < 0; });

            fds.assign(1, pollfd{mWake, POLLIN, 0});
            for (const Child& child : children) {
                if (child.writeEnd >= 0) fds.push_back({child.writeEnd, POLLOUT, 0});
                if (!child.reaped && child.processFd >= 0) fds.push_back({child.processFd, POLLIN, 0});
            }
            if (poll(fds.data(), fds.size(), timed ? 100 : -1) < 0) continue;  // interrupted: look again
            if ((fds[0].revents & POLLIN) != 0) {
                std::uint64_t count = 0;
                while (read(mWake, &count, sizeof count) < 0 && errno == EINTR) {
                }
            }
            for (const pollfd& ready : fds) {
                if (ready.revents == 0 || ready.fd == mWake) continue;
                for (Child& child : children) {
                    if (ready.fd == child.writeEnd) Feed(child);
                    if (ready.fd == child.processFd) Reap(child);
                }
            }
        }
    }

    std::mutex mMutex;
    std::vector<Child> mAdded;
    const int mWake;
    std::once_flag mStarted;
};

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
    const int writeEnd = input ? pipe[1] : -1;
    ProgramKeeper::instance().keep(child, writeEnd, std::move(input));
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
