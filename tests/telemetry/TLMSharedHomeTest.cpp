// Launches of the app at once on one home, each a process of its own
// (helper/TelemetryInstance.cpp) sending to the ingestion test server.

#include "tests/telemetry/support/IngestionTestServer.h"
#include "tests/telemetry/support/TelemetryTestSupport.h"

#include "tests/support/TempRoot.h"

#include "telemetry/Internals/Channel/TLMSenderLock.h"
#include "telemetry/core/Util/TLMUtility.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <initializer_list>
#include <map>
#include <string>

namespace {

// One launch, driven a line at a time through its standard input and
// output (a socket); killed, as a crash would end it, at the latest with
// the test.
class Launch {
public:
    Launch(const std::string& serverUrl, const std::string& tag) {
        int ends[2] = {-1, -1};
        const char* const home = testsupport::processRoot().c_str();
        if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) == 0 && (mPid = fork()) == 0) {
            // Only async-signal-safe calls until exec.
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            dup2(ends[1], STDIN_FILENO);
            dup2(ends[1], STDOUT_FILENO);
            execl(VEKMONT_TELEMETRY_INSTANCE, VEKMONT_TELEMETRY_INSTANCE, home, serverUrl.c_str(), tag.c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        close(ends[1]);
        mEnd = ends[0];
    }
    ~Launch() {
        kill();
        close(mEnd);
    }
    Launch(const Launch&) = delete;
    Launch& operator=(const Launch&) = delete;

    // The line it answers to `line`; to none, its first: "ready". What
    // came of it when none came within 30 s.
    std::string command(const std::string& line) {
        const std::string text = line + "\n";
        if (!line.empty()) send(mEnd, text.data(), text.size(), MSG_NOSIGNAL);  // a launch ended answers nothing
        std::string answer;
        char c = 0;
        pollfd ready{mEnd, POLLIN, 0};
        while (poll(&ready, 1, 30'000) == 1 && read(mEnd, &c, 1) == 1 && c != '\n') answer += c;
        return answer;
    }
    // Events and critical logs, each of which the server is to get once.
    std::string store(int events, int crashes) {
        mStored += static_cast<std::size_t>(events + crashes);
        return command("store " + std::to_string(events) + " " + std::to_string(crashes));
    }
    // Waits for it to be ready, then stores.
    std::string start(int events, int crashes) { return command("") == "ready" ? store(events, crashes) : "no start"; }
    void kill() {
        if (mPid <= 0) return;
        ::kill(mPid, SIGKILL);
        waitpid(mPid, nullptr, 0);
        mPid = -1;
    }
    // Its exit status once it has ended; -1 when a signal ended it.
    int wait() {
        int status = 0;
        const bool exited = mPid > 0 && waitpid(mPid, &status, 0) == mPid && WIFEXITED(status);
        mPid = -1;
        return exited ? WEXITSTATUS(status) : -1;
    }
    std::size_t stored() const { return mStored; }

private:
    std::size_t mStored = 1;  // its start-service log
    pid_t mPid = -1;
    int mEnd = -1;  // its standard input and output
};

// Waits until the server took every log the launches stored; each is to have
// come once.
void expectEachLogOnce(const testsupport::IngestionTestServer& server, std::initializer_list<const Launch*> launches) {
    std::size_t stored = 0;
    for (const Launch* launch : launches) stored += launch->stored();
    std::map<std::string, int> got;  // each log's JSON, how often it came
    testsupport::eventually([&] {
        got.clear();
        for (const testsupport::IngestionRequest& request : server.requests()) {
            // One the server failed is to come again; one not answered yet
            // counts.
            if (request.status >= 300) continue;
            for (const platform::Value& log : request.logs) ++got[log.toJson()];
        }
        return got.size() >= stored;
    });
    EXPECT_EQ(got.size(), stored);
    std::erase_if(got, [](const auto& log) { return log.second == 1; });
    EXPECT_EQ(got, (std::map<std::string, int>{})) << "logs that came more than once";
}

// Each launch's clock moves a flush interval, `rounds` times in turn.
bool advance(std::initializer_list<Launch*> launches, int rounds) {
    bool ok = true;
    for (int i = 0; i < rounds; ++i) {
        for (Launch* launch : launches) ok = launch->command("advance 6") == "ok" && ok;
    }
    return ok;
}

}  // namespace

TEST(TLMSharedHome, LaunchesOnOneHomeSendEveryLogOnceAlsoWhenTheSenderIsKilledOrItsLockFileRemoved) {
    testsupport::IngestionTestServer server;
    server.start();
    Launch first(server.baseUrl(), "first");
    Launch second(server.baseUrl(), "second");
    for (Launch* launch : {&first, &second}) ASSERT_EQ(launch->start(60, 3), "ok");
    // Their flush intervals pass side by side; one takes the sending.
    ASSERT_TRUE(advance({&first, &second}, 3));
    expectEachLogOnce(server, {&first, &second});
    const std::string roles = first.command("idle") + " " + second.command("idle");
    ASSERT_TRUE(roles == "sender storer" || roles == "storer sender") << roles;
    Launch& sender = roles == "sender storer" ? first : second;
    Launch& storer = roles == "sender storer" ? second : first;

    // What the other stores reaches the sender, none of whose own logs wait.
    ASSERT_EQ(storer.store(20, 2), "ok");
    ASSERT_TRUE(advance({&sender}, 2));
    expectEachLogOnce(server, {&first, &second});
    ASSERT_EQ(sender.command("idle"), "sender");

    // The sender ends before its interval is over; the other, none of whose
    // own logs wait either, takes over. No critical log here: one goes out
    // at once, and a kill between the answer and its delete sends it again.
    ASSERT_EQ(sender.store(10, 0), "ok");
    sender.kill();
    ASSERT_TRUE(advance({&storer}, 3));
    expectEachLogOnce(server, {&first, &second});
    EXPECT_EQ(storer.command("idle"), "sender");
    expectEachLogOnce(server, {&first, &second});

    // The lock file removed (a cleaning tool empties the folder) with
    // batches out (answers held back) and two launches at once: they load
    // nothing until the sender has looked and those batches were answered;
    // the sender, storing a full batch, loads no more; of the three, one sends.
    Launch& last = storer;
    const std::filesystem::path lock = TLMSenderLock::pathFor(*TLMUtility::fullURLForPathComponent("Logs.sqlite"));
    testsupport::IngestionAnswer slow;
    slow.delaySeconds = 0.5;
    server.script("*", {}, slow);
    ASSERT_EQ(last.store(60, 2), "ok");
    ASSERT_TRUE(std::filesystem::remove(lock));
    Launch next(server.baseUrl(), "next");
    Launch other(server.baseUrl(), "other");
    for (Launch* launch : {&next, &other}) ASSERT_EQ(launch->start(30, 2), "ok");
    ASSERT_EQ(last.store(50, 0), "ok");
    EXPECT_EQ(last.command("idle"), "storer");  // its batches out answered
    server.script("*", {});
    ASSERT_TRUE(advance({&last, &next, &other}, 3));
    expectEachLogOnce(server, {&first, &second, &next, &other});
    const std::string three = next.command("idle") + " " + other.command("idle") + " " + last.command("idle");
    ASSERT_TRUE(three == "sender storer storer" || three == "storer sender storer") << three;
    Launch& third = three.starts_with("sender") ? next : other;

    // Once more while its batches wait for a retry (failed): it gives them
    // up on seeing the new file held; they go from the new sender only.
    server.script("*", {testsupport::IngestionAnswer::withStatus(503), testsupport::IngestionAnswer::withStatus(503)});
    const std::size_t answered = server.requests().size() + 2;
    ASSERT_EQ(third.store(0, 2), "ok");
    ASSERT_TRUE(server.waitForRequests(answered));
    ASSERT_TRUE(std::filesystem::remove(lock));
    Launch fourth(server.baseUrl(), "fourth");
    ASSERT_EQ(fourth.start(10, 1), "ok");
    ASSERT_TRUE(advance({&fourth, &third}, 3));
    expectEachLogOnce(server, {&first, &second, &next, &other, &fourth});
    EXPECT_EQ(fourth.command("idle") + " " + third.command("idle"), "sender storer");
}

TEST(TLMSharedHome, LogsStoredAfterTheLogFileWasRemovedArriveOnce) {
    // A cleaning tool empties the folder (the log file, its journal, the
    // lock files) while two launches run; a third starts after.
    testsupport::IngestionTestServer server;
    server.start();
    Launch first(server.baseUrl(), "first");
    Launch second(server.baseUrl(), "second");
    for (Launch* launch : {&first, &second}) ASSERT_EQ(launch->start(20, 1), "ok");
    ASSERT_TRUE(advance({&first, &second}, 3));
    expectEachLogOnce(server, {&first, &second});

    const std::filesystem::path file = *TLMUtility::fullURLForPathComponent("Logs.sqlite");
    for (const char* suffix : {"", "-journal", ".lock", ".setup.lock"}) std::filesystem::remove(file.string() + suffix);
    for (Launch* launch : {&first, &second}) ASSERT_EQ(launch->store(30, 2), "ok");
    Launch third(server.baseUrl(), "third");
    ASSERT_EQ(third.start(10, 1), "ok");
    ASSERT_TRUE(advance({&first, &second, &third}, 3));
    expectEachLogOnce(server, {&first, &second, &third});
}

TEST(TLMSharedHome, AnEventStillBeingSavedWhenTheProcessExitsIsStored) {
    // The save outlasts the statics' destructors; under the address
    // sanitizer a static it reads after its destruction ends the process.
    testsupport::IngestionTestServer server;
    server.start();
    Launch launch(server.baseUrl(), "ending");
    ASSERT_EQ(launch.start(2, 0), "ok");
    EXPECT_EQ(launch.command("exit"), "saved 3");
    EXPECT_EQ(launch.wait(), 0);
}
