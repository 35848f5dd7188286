#pragma once
// Runs a program of the build as a user would, without a shell, and keeps
// what it printed and how it ended.

#include <sys/types.h>

#include <string>
#include <vector>

namespace testsupport {

struct tProgramRun {
    int status = -1;  // exit status; -1 when the program did not exit normally
    std::string out;
    std::string err;
};

// The whole content of a file; empty when it cannot be read.
std::string ReadWholeFile(const std::string& path);
// Replaces the file's content with `bytes`.
void WriteWholeFile(const std::string& path, const std::string& bytes);

// Runs `program` with `arguments` and waits for it. `environment` changes
// the inherited environment: "NAME=value" sets a variable, "NAME" removes
// it. Standard output and error go through files in the process root.
tProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                       const std::vector<std::string>& environment = {});

// A program started and left running.
struct tRunningProgram {
    pid_t pid = -1;  // -1 when it could not be started
    std::string outPath;
    std::string errPath;
    std::string startError;
};

// Starts `program` as RunProgram does, without waiting for it.
tRunningProgram StartProgram(const std::string& program, const std::vector<std::string>& arguments,
                             const std::vector<std::string>& environment = {});
// True while the program has not ended.
bool IsRunning(const tRunningProgram& running);
// Waits for the program to end; `signal`, when not 0, is sent first. The
// status is -1 when it did not exit normally (killed by a signal).
tProgramRun WaitForProgram(const tRunningProgram& running, int signal = 0, int* endingSignal = nullptr);

}  // namespace testsupport
