#pragma once
// What a test program runs after each of its tests, so that the next finds
// the process as a new process would, also when the whole program runs in
// one process (./build/tests/app_tests). CTest runs each test in a process
// of its own, where this only tidies up at the end.

#include <functional>

namespace testsupport {

// Stages in which the resets run, each stage's in the order added.
enum class ResetStage {
    Files,       // the app root and what is read from it
    Singletons,  // process-wide objects and their records
    Dependent,   // what needs a singleton reset first
    Log,         // last: the log lines that the resets wrote
};

// Adds `reset` to what runs after every test. Call it from the static
// initialiser of a file compiled into the test program itself (a static
// library's unreferenced file is left out by the linker); true, for that.
bool ResetAfterEachTest(ResetStage stage, std::function<void()> reset);

// Called by the shared test main: runs the resets after each test, and
// itself adds what every program needs (the locale read anew).
void InstallResetsAfterEachTest();

// Sets the environment variables back to what they were when the tests
// began (a test may set the language's, for one).
void ResetEnvironment();

// Empties this process's app root and makes it the root again; the
// standard user defaults are read anew from it (none) at their next use.
void ResetAppRoot();

}  // namespace testsupport
