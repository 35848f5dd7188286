// Two launches of the app at once on one home, each a process of its own
// (helper/TelemetryInstance.cpp) sending to the ingestion test server.

#include "tests/telemetry/support/IngestionTestServer.h"
#include "tests/telemetry/support/TelemetryTestSupport.h"

#include "tests/support/TempRoot.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <stdexcept>
#include <string>

namespace {

// "<region> <type> <name>" of a log, with how often the server got it.
using Received = std::map<std::string, int>;

// One launch, driven through its standard input and output; killed, as a
// crash would end it, at the latest with the test.
class Launch {
public:
    Launch(const std::string& serverUrl, std::string tag) : mTag(std::move(tag)) {
        int input[2];
        int output[2];
        if (pipe2(input, O_CLOEXEC) != 0 || pipe2(output, O_CLOEXEC) != 0) throw std::runtime_error("no pipe");
        const std::string home = testsupport::processRoot().string();
        mPid = fork();
        if (mPid == 0) {
            // Only async-signal-safe calls until exec.
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            dup2(input[0], STDIN_FILENO);
            dup2(output[1], STDOUT_FILENO);
            execl(VEKMONT_TELEMETRY_INSTANCE, VEKMONT_TELEMETRY_INSTANCE, home.c_str(), serverUrl.c_str(), mTag.c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        close(input[0]);
        close(output[1]);
        mIn = input[1];
        mOut = output[0];
        if (mPid < 0) throw std::runtime_error("no process");
        mExpected[mTag + " startService "] = 1;
    }
    ~Launch() {
        kill();
        close(mIn);
        close(mOut);
    }
    Launch(const Launch&) = delete;
    Launch& operator=(const Launch&) = delete;

    // The line it answers to `line`; to none, its first: "ready". What
    // came of it when none came within 30 s.
    std::string command(const std::string& line) {
        const std::string text = line + "\n";
        if (!line.empty() && write(mIn, text.data(), text.size()) != static_cast<ssize_t>(text.size())) return {};
        std::string answer;
        char c = 0;
        pollfd ready{mOut, POLLIN, 0};
        while (poll(&ready, 1, 30'000) == 1 && read(mOut, &c, 1) == 1 && c != '\n') answer += c;
        return answer;
    }
    // Events and critical logs, which the server is to get once each.
    std::string store(int events, int crashes) {
        for (int i = 0; i < events; ++i) mExpected[mTag + " event " + mTag + "-event-" + std::to_string(mEvents++)] = 1;
        for (int i = 0; i < crashes; ++i)
            mExpected[mTag + " event " + mTag + "-crash-" + std::to_string(mCrashes++)] = 1;
        return command("store " + std::to_string(events) + " " + std::to_string(crashes));
    }
    void kill() {
        if (mPid <= 0) return;
        ::kill(mPid, SIGKILL);
        waitpid(mPid, nullptr, 0);
        mPid = -1;
    }
    const Received& expected() const { return mExpected; }

private:
    std::string mTag;
    Received mExpected;
    int mEvents = 0;
    int mCrashes = 0;
    pid_t mPid = -1;
    int mIn = -1;
    int mOut = -1;
};

// Waits until the server got what the launches stored, each log once.
void expectEachLogOnce(const testsupport::IngestionTestServer& server, const Launch& a, const Launch& b) {
    Received want = a.expected();
    want.insert(b.expected().begin(), b.expected().end());
    Received got;
    testsupport::eventually([&] {
        got.clear();
        for (const testsupport::IngestionRequest& request : server.requests()) {
            for (const platform::Value& log : request.logs) {
                const auto text = [&log](const char* field) -> std::string {
                    const platform::Value* value = log.find(field);
                    return value && value->asString() ? *value->asString() : "";
                };
                ++got[text("dataResidencyRegion") + " " + text("type") + " " + text("name")];
            }
        }
        return got == want;
    });
    for (const auto& [key, count] : got) want[key] -= count;
    std::erase_if(want, [](const auto& entry) { return entry.second == 0; });
    EXPECT_EQ(want, Received{}) << "1 less the times the server got it, where that is not 0";
}

}  // namespace

TEST(TLMSharedHome, TwoLaunchesOnOneHomeSendEveryLogOnceAlsoWhenTheSenderIsKilled) {
    testsupport::IngestionTestServer server;
    server.start();
    Launch first(server.baseUrl(), "first");
    Launch second(server.baseUrl(), "second");
    for (Launch* launch : {&first, &second}) {
        ASSERT_EQ(launch->command(""), "ready");
        ASSERT_EQ(launch->store(60, 3), "ok");
    }
    // Their flush intervals pass side by side; one takes the sending.
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(first.command("advance 6"), "ok");
        ASSERT_EQ(second.command("advance 6"), "ok");
    }
    expectEachLogOnce(server, first, second);
    const std::string roles = first.command("idle") + " " + second.command("idle");
    ASSERT_TRUE(roles == "sender storer" || roles == "storer sender") << roles;
    Launch& sender = roles == "sender storer" ? first : second;
    Launch& storer = roles == "sender storer" ? second : first;

    // What the other stores reaches the sender, none of whose own logs wait.
    ASSERT_EQ(storer.store(20, 2), "ok");
    for (int i = 0; i < 2; ++i) ASSERT_EQ(sender.command("advance 6"), "ok");
    expectEachLogOnce(server, first, second);
    ASSERT_EQ(sender.command("idle"), "sender");

    // The sender ends before its interval is over; the other takes over.
    ASSERT_EQ(storer.store(10, 1), "ok");
    ASSERT_EQ(sender.store(10, 0), "ok");
    sender.kill();
    for (int i = 0; i < 3; ++i) ASSERT_EQ(storer.command("advance 6"), "ok");
    expectEachLogOnce(server, first, second);
    EXPECT_EQ(storer.command("idle"), "sender");
    expectEachLogOnce(server, first, second);
}
