#pragma once
// What the command-line tools tell their user: texts from the log without
// the function signatures the log keeps for developers, and the system's
// reason when a file cannot be opened or written.

#include <cstdio>
#include <filesystem>
#include <string>

namespace UToolMessages {

// `text` with every C++ function signature taken out ("bool CFoo::Load(FILE *):
// " at the start, " in void CFoo::Bar(int)" inside). Other text is kept.
std::string WithoutSignatures(const std::string& text);

// The system's text for an errno value ("No such file or directory").
std::string SystemReason(int error);

// Whether `path` can be opened for reading as a regular file: a folder, a
// pipe or a device cannot (and the look never waits for a pipe's writer).
// On false `reason` holds the system's text or platform::kNotARegularFile.
bool CanRead(const std::filesystem::path& path, std::string& reason);

// Whether a file can be put at `path`: its folder exists and takes new
// files, and nothing but a plain file is there already. Nothing is created.
// On false `reason` says why.
bool CanWrite(const std::filesystem::path& path, std::string& reason);

// fopen(path, "wb") that says why it failed; null then.
std::FILE* OpenForWriting(const std::filesystem::path& path, std::string& reason);

}  // namespace UToolMessages
