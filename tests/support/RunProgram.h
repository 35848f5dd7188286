#pragma once
// Runs a program of the build as a user would, without a shell, and keeps
// what it printed and how it ended.

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

}  // namespace testsupport
