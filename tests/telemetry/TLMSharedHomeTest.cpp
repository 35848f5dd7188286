// Two launches of the app at once on one home, each a process of its own
// (tests/telemetry/helper/TelemetryInstance.cpp) with the whole client,
// sending to the ingestion test server: every log either stores reaches
// the server once, also when the one that sends ends and the other takes
// over.

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

#include <chrono>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

using testsupport::IngestionRequest;

namespace {

// One launch, driven through its standard input and output. Killed with
// the test, if not before.
class Launch {
public:
    Launch(const std::string& home, const std::string& serverUrl, const std::string& tag) : mTag(tag) {
        int input[2];
        int output[2];
        if (pipe2(input, O_CLOEXEC) != 0 || pipe2(output, O_CLOEXEC) != 0) throw std::runtime_error("no pipe");
        const char* const program = VEKMONT_TELEMETRY_INSTANCE;
        mPid = fork();
        if (mPid == 0) {
            // Only async-signal-safe calls until exec.
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            dup2(input[0], STDIN_FILENO);
            dup2(output[1], STDOUT_FILENO);
            execl(program, program, home.c_str(), serverUrl.c_str(), tag.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(input[0]);
        close(output[1]);
        mIn = input[1];
        mOut = output[0];
        if (mPid < 0) throw std::runtime_error("no process");
    }
    ~Launch() {
        kill();
        close(mIn);
        close(mOut);
    }
    Launch(const Launch&) = delete;
    Launch& operator=(const Launch&) = delete;

    // The next line it answers; empty when none came within 30 s.
    std::string readLine() {
        std::string line;
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < until) {
            pollfd ready{mOut, POLLIN, 0};
            if (poll(&ready, 1, 100) <= 0) continue;
            char c = 0;
            if (read(mOut, &c, 1) != 1) return {};
            if (c == '\n') return line;
            line += c;
        }
        return {};
    }
    std::string command(const std::string& line) {
        const std::string text = line + "\n";
        if (write(mIn, text.data(), text.size()) != static_cast<ssize_t>(text.size())) return {};
        return readLine();
    }
    // As a crash would end it.
    void kill() {
        if (mPid <= 0) return;
        ::kill(mPid, SIGKILL);
        waitpid(mPid, nullptr, 0);
        mPid = -1;
    }
    const std::string& tag() const { return mTag; }

private:
    std::string mTag;
    pid_t mPid = -1;
    int mIn = -1;
    int mOut = -1;
};

// "<region> <type> <name>" of every log the server received, with how often.
std::map<std::string, int> received(const testsupport::IngestionTestServer& server) {
    std::map<std::string, int> counts;
    for (const IngestionRequest& request : server.requests()) {
        for (const platform::Value& log : request.logs) {
            std::string key;
            for (const char* field : {"dataResidencyRegion", "type", "name"}) {
                const platform::Value* value = log.find(field);
                key += (key.empty() ? "" : " ") + (value && value->asString() ? *value->asString() : std::string());
            }
            ++counts[key];
        }
    }
    return counts;
}

// What a launch stores: its start-service log, events and critical logs.
void expect(std::set<std::string>& expected, const std::string& tag, int events, int crashes, bool started) {
    if (started) expected.insert(tag + " startService ");
    for (int i = 0; i < events; ++i) expected.insert(tag + " event " + tag + "-event-" + std::to_string(i));
    for (int i = 0; i < crashes; ++i) expected.insert(tag + " event " + tag + "-crash-" + std::to_string(i));
}

// Waits until every expected log has been received; the first missing
// one, or none.
std::string missingAfterWaiting(const testsupport::IngestionTestServer& server, const std::set<std::string>& expected) {
    std::string missing;
    testsupport::eventually([&] {
        const std::map<std::string, int> counts = received(server);
        missing.clear();
        for (const std::string& key : expected) {
            if (counts.count(key) == 0) missing = key;
        }
        return missing.empty();
    });
    return missing;
}

}  // namespace

TEST(TLMSharedHome, TwoLaunchesOnOneHomeSendEveryLogOnceAlsoAfterTheSenderEnds) {
    testsupport::IngestionTestServer server;
    server.start();
    const std::string home = testsupport::processRoot().string();
    Launch first(home, server.baseUrl(), "first");
    Launch second(home, server.baseUrl(), "second");
    ASSERT_EQ(first.readLine(), "ready");
    ASSERT_EQ(second.readLine(), "ready");

    std::set<std::string> expected;
    for (Launch* launch : {&first, &second}) {
        ASSERT_EQ(launch->command("track 60"), "ok");
        ASSERT_EQ(launch->command("crash 3"), "ok");
        expect(expected, launch->tag(), 60, 3, true);
    }
    // Their flush intervals pass side by side.
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(first.command("advance 6"), "ok");
        ASSERT_EQ(second.command("advance 6"), "ok");
    }
    ASSERT_EQ(missingAfterWaiting(server, expected), "");
    ASSERT_EQ(first.command("idle"), "ok");
    ASSERT_EQ(second.command("idle"), "ok");
    for (const auto& [key, count] : received(server)) EXPECT_EQ(count, 1) << key;
    const std::string firstRole = first.command("role");
    const std::string secondRole = second.command("role");
    ASSERT_TRUE((firstRole == "sender") != (secondRole == "sender")) << firstRole << ", " << secondRole;
    Launch& sender = firstRole == "sender" ? first : second;
    Launch& storer = firstRole == "sender" ? second : first;

    // What the other stores reaches the sender, though none of its own
    // waits in those groups.
    ASSERT_EQ(storer.command("track 20"), "ok");
    ASSERT_EQ(storer.command("crash 2"), "ok");
    expected.clear();
    expect(expected, storer.tag(), 80, 5, true);
    for (int i = 0; i < 2; ++i) ASSERT_EQ(sender.command("advance 6"), "ok");
    ASSERT_EQ(missingAfterWaiting(server, expected), "");
    ASSERT_EQ(sender.command("idle"), "ok");

    // Both store more; the sender ends before its interval is over, and the
    // other takes over.
    ASSERT_EQ(storer.command("track 10"), "ok");
    ASSERT_EQ(storer.command("crash 1"), "ok");
    ASSERT_EQ(sender.command("track 10"), "ok");
    sender.kill();
    expected.clear();
    expect(expected, storer.tag(), 90, 6, true);
    expect(expected, sender.tag(), 70, 3, true);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(storer.command("advance 6"), "ok");
    ASSERT_EQ(missingAfterWaiting(server, expected), "");
    ASSERT_EQ(storer.command("idle"), "ok");
    EXPECT_EQ(storer.command("role"), "sender");

    std::map<std::string, int> once;
    for (const std::string& key : expected) once[key] = 1;
    EXPECT_EQ(received(server), once);
}
