#pragma once
// Starting a program, for the benchmarks that time or watch whole processes.

#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

// Where the started program's standard output goes, beside a descriptor.
inline constexpr int kSpawnOutputInherited = -1;
inline constexpr int kSpawnOutputDiscarded = -2;

// `arguments[0]` (a path) started with `arguments`, this process's
// environment after `extraEnvironment` (so that those win), and its standard
// output to `out` (a descriptor, or one of the two above). Its pid, or -1
// when it could not be started.
inline pid_t SpawnProgram(const std::vector<std::string>& arguments, const std::vector<std::string>& extraEnvironment,
                          int out) {
    std::vector<std::string> environment(extraEnvironment);
    for (char** entry = environ; *entry != nullptr; ++entry) environment.emplace_back(*entry);
    std::vector<char*> envp;
    for (auto& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::vector<std::string> copies(arguments);
    std::vector<char*> argv;
    for (auto& argument : copies) argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (out == kSpawnOutputDiscarded)
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    if (out >= 0) posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}
