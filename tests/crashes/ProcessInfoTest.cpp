// Process facts for reports, against what /proc, the clock and the system
// calls say of this process and of children made for the test.

#include "crashes/reporter/setup/TLCrashProcessInfo.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>

namespace {

double secondsSinceEpoch(timeval time) { return static_cast<double>(time.tv_sec) + time.tv_usec / 1e6; }

double now() { return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count(); }

// A child that names itself and waits to be killed.
class NamedChild {
public:
    explicit NamedChild(const char* name) {
        int ready[2];
        if (pipe(ready) != 0) return;
        mForkedAt = now();
        mPid = fork();
        if (mPid == 0) {
            prctl(PR_SET_NAME, name);
            (void)!write(ready[1], "x", 1);
            for (;;) pause();
        }
        close(ready[1]);
        char byte;
        mReady = mPid > 0 && read(ready[0], &byte, 1) == 1;
        close(ready[0]);
    }
    ~NamedChild() { reap(); }
    void reap() {
        if (mPid <= 0) return;
        kill(mPid, SIGKILL);
        waitpid(mPid, nullptr, 0);
        mPid = -1;
    }
    pid_t pid() const { return mPid; }
    bool ready() const { return mReady; }
    double forkedAt() const { return mForkedAt; }

private:
    pid_t mPid = -1;
    bool mReady = false;
    double mForkedAt = 0;
};

std::string ownCommand() {
    std::ifstream in("/proc/self/comm");
    std::string name;
    std::getline(in, name);
    return name;
}

}  // namespace

TEST(ProcessInfo, DescribesTheOwnProcess) {
    const auto info = TLCrashProcessInfo::currentProcessInfo();
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->processID(), getpid());
    EXPECT_EQ(info->parentProcessID(), getppid());
    ASSERT_TRUE(info->processName().has_value());
    EXPECT_EQ(*info->processName(), ownCommand());
    EXPECT_FALSE(info->isTraced());
    // The test has been running for a while, not for ever.
    const double started = secondsSinceEpoch(info->startTime());
    EXPECT_LE(started, now() + 1);
    EXPECT_GT(started, now() - 3600);
}

TEST(ProcessInfo, DescribesAChildWithItsStartParentNameAndTracer) {
    // 14 ASCII bytes and a two-byte character, of which the kernel keeps the
    // first byte only.
    NamedChild child("abcdefghijklmn\xC3\xA9");
    ASSERT_TRUE(child.ready());
    auto info = TLCrashProcessInfo::makeWithProcessID(child.pid());
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->processID(), child.pid());
    EXPECT_EQ(info->parentProcessID(), getpid());
    EXPECT_EQ(info->processName(), "abcdefghijklmn");
    // The kernel counts in clock ticks from a boot time of whole seconds.
    EXPECT_NEAR(secondsSinceEpoch(info->startTime()), child.forkedAt(), 1.5);
    EXPECT_FALSE(info->isTraced());

    if (ptrace(PTRACE_SEIZE, child.pid(), nullptr, nullptr) != 0) {
        GTEST_SKIP() << "ptrace is not permitted here";
    }
    info = TLCrashProcessInfo::makeWithProcessID(child.pid());
    ASSERT_NE(info, nullptr);
    EXPECT_TRUE(info->isTraced());
}

TEST(ProcessInfo, NamesThatAreNoTextAreAbsentAndGoneProcessesHaveNoInformation) {
    NamedChild child("\xFF\xFEname");
    ASSERT_TRUE(child.ready());
    const auto info = TLCrashProcessInfo::makeWithProcessID(child.pid());
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->processName(), std::nullopt);

    const pid_t gone = child.pid();
    child.reap();
    EXPECT_EQ(TLCrashProcessInfo::makeWithProcessID(gone), nullptr);
    EXPECT_EQ(TLCrashProcessInfo::makeWithProcessID(0), nullptr);
    EXPECT_EQ(TLCrashProcessInfo::makeWithProcessID(-1), nullptr);
}
