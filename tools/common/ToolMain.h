#pragma once
// The end of every program's main: the help when it was asked for, the
// usage status for a command line that was not understood, else the run;
// an exception that escapes the run is printed as "<program>: <what>" and
// ends the program with the internal-failure status.

#include <functional>

namespace UToolMain {

// `parsed` is false when the command line was not understood (the parser has
// said why). Returns the program's exit status.
int Run(const char* program, bool help, bool parsed, void (*printHelp)(), const std::function<int()>& run);

}  // namespace UToolMain
